// The audio side of the scope: waits for a rising zero crossing, captures
// both signals into m_scope and hands each capture to the display.
//
// Each state of the capture machine is one per-block routine; a routine that
// finishes mid-block installs its successor and hands it the rest at once,
// so every state change happens at an exact sample.
#pragma once

#include "ZOModule_base.h"
#include "scopedata.h"

// Pin positions: the order of the scope's pin table.
enum ScopePin : int {
    PIN_SIGNAL_A,
    PIN_SIGNAL_B,
    PIN_TIME,
    PIN_Y_SCALE,
    PIN_X_Y_MODE,
    PIN_TRIGGER,
    PIN_EXT_TRIGGER,
    PIN_TIME_MODE,
    PIN_COUNT
};

class Module : public ZOModule_base {
public:
    Module(ZOHostCallback callback, void* host_data);
    ~Module() override;

    static void getModuleProperties(ZOModuleProperties* properties);

    void open() override;
    bool getPinProperties(zolong index, ZOPinProperties* properties) override;
    // Audio thread (the ack arrives through the dispatcher, zo_audio_op::gui_notify).
    void OnGuiNotify(int id, int size, void* data) override;

    // Processing routines (audio thread).
    void WaitForTrigger1(zolong offset, zolong count);
    void WaitForTrigger2(zolong offset, zolong count);
    void sub_process(zolong offset, zolong count);
    void sub_process_cruise(zolong offset, zolong count);

    const float* CalcTrigger(const T_SCOPE* scope, const float* signal_a, const float* signal_b,
                             const float* ext_trigger) const;
    int CalcCountFromEXT(zolong offset, int count);
    void ForceTrigger();
    void send_result_to_gui();
    void SendStringToGui(int id, int size, unsigned char* data);

    const T_SCOPE& scope() const { return m_scope; }
    bool guiBusy() const { return m_gui_busy; }

private:
    struct PinRow;
    static const PinRow kPins[];

    void callRest(zolong offset, zolong count, zolong used);
    void rearm();
    std::int32_t oneSecond();
    std::int32_t lengthFromTime();  // TimeToScopeSize, remembered for its settings

    float* m_signal_a = nullptr;
    float* m_signal_b = nullptr;
    float* m_time = nullptr;
    float* m_y_scale = nullptr;
    float* m_ext_trigger = nullptr;
    std::int32_t m_count;
    bool m_ext_armed = false;
    bool m_ext_done = false;
    std::int32_t m_timeout = 0;
    bool m_gui_busy;
    T_SCOPE m_scope{};
    bool m_length_known = false;
    float m_length_time = 0.0f;  // the Time and Rate that gave m_length
    float m_length_rate = 0.0f;
    std::int16_t m_length_mode = 0;
    std::int32_t m_length = 0;
};
