#include "ZOPin.h"

#include <cstring>

#include "ZOContract.h"
#include "ZOModule_base.h"

void ZOPin::Init(ZOModule_base* module, int index, EPlugDataType type, void* variable) {
    m_module = module;
    m_pin_index = index;
    m_datatype = type;
    m_variable_ptr = variable;
    m_status = 0;
    if (variable) {
        std::memset(&m_own_value, 0, sizeof m_own_value);
        return;
    }
    switch (type) {
    case DT_ENUM: m_own_value.list = 0; break;
    case DT_CHAR: m_own_value.byte = 0; break;
    case DT_INT: m_own_value.word = 0; break;
    case DT_FSAMPLE:
        m_own_value.buffer = reinterpret_cast<float*>(
            module ? module->CallHost(zo_request::pin_buffer, m_pin_index, 0, nullptr, 0.0f) : 0);
        break;
    default: return;
    }
    m_variable_ptr = &m_own_value;
}

void ZOPin::TransmitStatusChange(std::uint32_t time_stamp, state_type state) {
    if (!m_module) return;
    m_module->CallHost(zo_request::pin_status, m_pin_index, state,
                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(time_stamp)), 0.0f);
}

void ZOPin::TransmitMIDI(std::uint32_t sampleclock, std::uint32_t message) {
    if (!m_module) return;
    if (!ZO_CONTRACT("ZOPin", sampleclock >= m_module->SampleClock())) return;
    m_module->CallHost(zo_request::pin_midi, m_pin_index, static_cast<zolong>(message),
                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(sampleclock)), 0.0f);
}

void ZOPin::OnStatusUpdate(state_type state) {
    m_status = state;
    if (m_module) m_module->OnPlugStateChange(this);
    if (state == 1) m_status = 0;
}

bool ZOPin::IsConnected() {
    if (!m_module) return false;
    return m_module->CallHost(zo_request::pin_connected, m_pin_index, 0, nullptr, 0.0f) != 0;
}

float ZOPin::getValue() {
    if (!ZO_CONTRACT("ZOPin", m_datatype == DT_FSAMPLE)) return 0.0f;
    if (!m_module || !m_variable_ptr) return 0.0f;
    const std::uint32_t start = static_cast<std::uint32_t>(
        m_module->CallHost(zo_request::pin_buffer_clock, m_pin_index, 0, nullptr, 0.0f));
    const std::uint32_t now = m_module->SampleClock();
    const float* buffer = *static_cast<float* const*>(m_variable_ptr);
    // The position must lie inside the current block's buffer.
    const std::uint32_t position = now - start;
    const zolong block = m_module->getBlockSize();
    if (!buffer || block <= 0 || position >= static_cast<std::uint64_t>(block)) return 0.0f;
    return buffer[position];
}
