// Base class of every audio-side object: turns the host's dispatcher calls
// into virtual operations, owns the pins, and offers the sample clock, timed
// events and the switchable per-block routine.
//
// Threads: the host calls one object from one thread at a time; the
// dispatcher, the process word and the event word all run on its audio path.
#pragma once

#include <cstdint>

#include "ZOHostTypes.h"
#include "my_delegate.h"

class ZOPin;

class ZOModule_base {
public:
    ZOModule_base(ZOHostCallback callback, void* host_data);
    virtual ~ZOModule_base();
    ZOModule_base(const ZOModule_base&) = delete;
    ZOModule_base& operator=(const ZOModule_base&) = delete;

    // --- virtual operations, in slot order after the destructors ---
    virtual void OnPlugStateChange(ZOPin* pin);
    virtual void HandleEvent(ZoEvent* e);
    virtual zolong dispatcher(zolong opcode, zolong index, zolong value, void* ptr, float opt);
    virtual void open();
    virtual void close();
    virtual void OnInputStatusChange(int pin_index, state_type state);
    virtual void setSampleRate(float rate);
    virtual void setBlockSize(zolong size);
    virtual float getSampleRate();
    virtual zolong getBlockSize();
    virtual bool getPinProperties(zolong index, ZOPinProperties* properties);
    virtual bool getName(char* name);
    virtual bool getUniqueId(char* id);
    virtual void Resume();
    virtual void VoiceReset(int voice);
    virtual void OnMidiData(std::uint32_t time_stamp, std::uint32_t message, short value);
    virtual void OnGuiNotify(int id, int size, void* data);

    // Entry word of the record's dispatcher: any thread the host uses for the
    // audio side; the record must be alive.
    static zolong dispatchEffectClass(ZOMod_struct_base2* record, zolong opcode, zolong index,
                                      zolong value, void* ptr, float opt);

    ZOMod_struct_base2* getRecord() { return &m_record; }
    zolong CallHost(zolong opcode, zolong index, zolong value, void* ptr, float opt);

    // Pins exist from open on. A position outside them is a contract
    // violation and yields an inert pin whose requests do nothing.
    ZOPin* getPin(int index);
    int getPinCount() const { return m_pin_count; }
    bool getPinProperties_clean(zolong index, ZOPinProperties* properties);

    std::uint32_t SampleClock();
    void AddEvent(std::uint32_t p_time_stamp, int type, int int_value1, int int_value2,
                  void* ptr_value);

    // Queues a call of member function F at the given sample clock.
    template <auto F>
    void RunDelayed(unsigned int time_stamp) {
        RunDelayed(time_stamp, ZoDelayedCall::of<F>());
    }
    void RunDelayed(unsigned int time_stamp, const ZoDelayedCall& call);

    // Installs member function F as the per-block routine.
    template <auto F>
    void setSubProcess() {
        setSubProcess(ZoSubProcess::of<F>());
    }
    void setSubProcess(const ZoSubProcess& routine);
    const ZoSubProcess& getSubProcess() const { return m_sub_process; }

    void process_idle(zolong offset, zolong count);
    void private_HandleEvent(ZoEvent* e);

private:
    static void eventWord(void* object, ZoEvent* e);
    void destroyPins();

    ZOHostCallback host_callback;

protected:
    ZOMod_struct_base2 m_record;
    float m_sample_rate;
    zolong m_block_size;
    ZOPin* m_pins;
    ZoSubProcess m_sub_process;

private:
    int m_pin_count = 0;
};

// Filled by dispatcher opcode zo_audio_op::info; one for the whole library.
struct ZoModuleInfo {
    std::int32_t word0;
    std::int32_t word1;
    const ZoSubProcess* sub_process;
    std::int32_t word3;
};
#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(ZoModuleInfo) == 16, "info record size");
#endif
