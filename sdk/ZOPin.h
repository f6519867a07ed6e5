// An audio-side pin: knows its module, position and data type, and forwards
// pin-level requests to the host. Pins run on the audio path of their module.
#pragma once

#include <cstdint>

#include "ZOHostTypes.h"

class ZOModule_base;

class ZOPin {
public:
    ZOPin() = default;
    virtual ~ZOPin() = default;
    ZOPin(const ZOPin&) = delete;
    ZOPin& operator=(const ZOPin&) = delete;

    void Init(ZOModule_base* module, int index, EPlugDataType type, void* variable);
    void TransmitStatusChange(std::uint32_t time_stamp, state_type state);
    void TransmitMIDI(std::uint32_t sampleclock, std::uint32_t message);
    void OnStatusUpdate(state_type state);
    bool IsConnected();
    float getValue();
    ZOModule_base* getModule() { return m_module; }

    int getIndex() const { return m_pin_index; }
    state_type getStatus() const { return m_status; }
    EPlugDataType getDataType() const { return m_datatype; }
    void* getVariablePtr() const { return m_variable_ptr; }

private:
    // A pin that no description filled stays in this inert state: no module,
    // no variable, so requests through it reach nothing.
    void* m_variable_ptr = nullptr;
    ZOModule_base* m_module = nullptr;
    std::int32_t m_pin_index = -1;
    state_type m_status = 0;
    EPlugDataType m_datatype = static_cast<EPlugDataType>(-1);
    union OwnValue {
        std::int16_t list;
        std::int8_t byte;
        std::int32_t word;
        float* buffer;
    } m_own_value{};
};
