#include "Module.h"

#include <algorithm>
#include <cstring>

#include "ZOPin.h"

namespace {

// A capture counter or timeout moved by a host-given count stays in range.
std::int32_t subtractSaturating(std::int32_t value, zolong amount) {
    const std::int64_t result = static_cast<std::int64_t>(value) - static_cast<std::int64_t>(amount);
    if (result < INT32_MIN) return INT32_MIN;
    if (result > INT32_MAX) return INT32_MAX;
    return static_cast<std::int32_t>(result);
}

// An input the host never pointed at a buffer reads as silence.
float sampleOf(const float* buffer, zolong index) { return buffer ? buffer[index] : 0.0f; }

// The description's flag words; their meaning is the host's.
constexpr std::int32_t kDescriptionFlags = 0x42;
constexpr std::int32_t kDescriptionGuiFlags = 0x180;

}  // namespace

Module::Module(ZOHostCallback callback, void* host_data)
    : ZOModule_base(callback, host_data), m_count(0), m_gui_busy(false) {}

Module::~Module() { DeleteScope(&m_scope); }

void Module::getModuleProperties(ZOModuleProperties* properties) {
    properties->name = "Ondix2";
    properties->id = "Tovalinth Ondix2";
    properties->about = "Ondix2 two-channel oscilloscope, by the Ondix2 developers";
    properties->flags = kDescriptionFlags;
    properties->gui_flags = kDescriptionGuiFlags;
    properties->sdk_version = ZO_SDK_VERSION;
}

// A stream pin is bound to the member that receives its buffer's address, a
// list pin to its field of the scope record.
struct Module::PinRow {
    const char* name;
    std::int32_t direction;
    std::int32_t data_type;
    const char* default_value;
    const char* list_text;
    float* Module::*stream;
    std::int16_t* (*list_field)(T_SCOPE*);
};

const Module::PinRow Module::kPins[] = {
    {"Signal A", DR_IN, DT_FSAMPLE, "0", nullptr, &Module::m_signal_a, nullptr},
    {"Signal B", DR_IN, DT_FSAMPLE, "0", nullptr, &Module::m_signal_b, nullptr},
    {"Time", DR_IN, DT_FSAMPLE, "5", nullptr, &Module::m_time, nullptr},
    {"Y-Scale", DR_IN, DT_FSAMPLE, "1", nullptr, &Module::m_y_scale, nullptr},
    {"X-Y-Mode", DR_IN, DT_ENUM, "0", "Aus=0,X-Y=1,Y-X=2", nullptr, &GetAddressX_Y_Mode},
    {"Trigger", DR_IN, DT_ENUM, "1", "Aus=0,InputA=1,InputB=2,Auto=3,EXT=4", nullptr,
     &GetAddressTrigger},
    {"EXT-Trigger", DR_IN, DT_FSAMPLE, "0", nullptr, &Module::m_ext_trigger, nullptr},
    {"Time-Mode", DR_PARAMETER, DT_ENUM, "1", "V/KHz=0,V/Oktave=1,V/zehntel Sek.=2,V/1000 Samples",
     nullptr, &GetAddressVolt_Oktave},
};

bool Module::getPinProperties(zolong index, ZOPinProperties* properties) {
    static_assert(sizeof kPins / sizeof kPins[0] == PIN_COUNT, "one row per pin position");
    if (index < 0 || index >= PIN_COUNT || !properties) return false;
    const PinRow& row = kPins[index];
    properties->name = row.name;
    properties->direction = row.direction;
    properties->data_type = row.data_type;
    properties->default_value = row.default_value;
    if (row.list_text) properties->list_text = row.list_text;
    properties->variable_address =
        row.stream ? static_cast<void*>(&(this->*row.stream)) : row.list_field(&m_scope);
    return true;
}

void Module::open() {
    ZOModule_base::open();
    setSubProcess<&Module::sub_process>();
    DefaultScope(&m_scope);
    for (int channel = 0; channel < 2; ++channel) {
        // A host that made fewer pins leaves the channel unconnected.
        const bool connected = channel < getPinCount() && getPin(channel)->IsConnected();
        SetChannel_Active(&m_scope, channel, connected);
    }
    CreateScope(&m_scope, GetScopeSize(&m_scope));
    SetRate(&m_scope, getSampleRate());
}

void Module::OnGuiNotify(int id, int, void*) {
    if (id == SCOPE_MSG_ACK) m_gui_busy = false;
}

const float* Module::CalcTrigger(const T_SCOPE* scope, const float* signal_a,
                                 const float* signal_b, const float* ext_trigger) const {
    switch (scope->Trigger) {
    case TRIGGER_INPUT_A: return signal_a;
    case TRIGGER_INPUT_B: return signal_b;
    case TRIGGER_AUTO:
        if (scope->Channel_Active[0]) return signal_a;
        if (scope->Channel_Active[1]) return signal_b;
        return signal_a;
    case TRIGGER_EXT: return ext_trigger;
    default: return signal_b;
    }
}

std::int32_t Module::oneSecond() { return TruncToInt32(getSampleRate()); }

std::int32_t Module::lengthFromTime() {
    // The power in TimeToScopeSize costs more than a short capture's copy;
    // the settings it reads seldom change between captures. Equal settings
    // give equal lengths (+0 and -0 included); a NaN is never equal.
    if (m_length_known && m_scope.Time == m_length_time && m_scope.Rate == m_length_rate &&
        m_scope.Volt_Oktave == m_length_mode)
        return m_length;
    m_length = TimeToScopeSize(&m_scope);
    m_length_time = m_scope.Time;
    m_length_rate = m_scope.Rate;
    m_length_mode = m_scope.Volt_Oktave;
    m_length_known = true;
    return m_length;
}

void Module::rearm() {
    if (m_scope.Trigger != TRIGGER_OFF)
        setSubProcess<&Module::WaitForTrigger1>();
    else
        ForceTrigger();
}

void Module::callRest(zolong offset, zolong count, zolong used) {
    // Without storage a capture is full before it takes a sample; handing the
    // same samples on again would never end.
    if (used == 0 && m_scope.ScopeSize <= 0) return;
    if (count - used > 0) getSubProcess()(this, offset + used, count - used);
}

// An empty call (count 0) runs the steps like any other: it finds nothing,
// so a wait whose timeout has run out hands over or forces the trigger.
// A negative count is no call at all.
void Module::WaitForTrigger1(zolong offset, zolong count) {
    if (count < 0) return;
    const float* s = CalcTrigger(&m_scope, m_signal_a, m_signal_b, m_ext_trigger);
    zolong i = count;
    if (s) {
        const float* first = s + offset;
        i = std::find_if(first, first + count, [](float x) { return x < 0.0f; }) - first;
    }
    if (i < count) {
        m_count = 0;
        setSubProcess<&Module::WaitForTrigger2>();
        WaitForTrigger2(offset + i, count - i);
        return;
    }
    m_timeout = subtractSaturating(m_timeout, count);
    if (m_timeout < 0) setSubProcess<&Module::WaitForTrigger2>();
}

void Module::WaitForTrigger2(zolong offset, zolong count) {
    if (count < 0) return;
    const float* s = CalcTrigger(&m_scope, m_signal_a, m_signal_b, m_ext_trigger);
    zolong i = 0;  // silence is at or above zero
    if (s) {
        const float* first = s + offset;
        i = std::find_if(first, first + count, [](float x) { return x >= 0.0f; }) - first;
    }
    if (i < count) {
        ForceTrigger();
        getSubProcess()(this, offset + i, count - i);
        return;
    }
    m_timeout = subtractSaturating(m_timeout, count);
    if (m_timeout < 0) ForceTrigger();
}

void Module::ForceTrigger() {
    m_count = 0;
    if (m_gui_busy)
        setSubProcess<&Module::sub_process_cruise>();
    else
        setSubProcess<&Module::sub_process>();
}

void Module::sub_process(zolong offset, zolong count) {
    if (count < 0) return;
    if (m_count == 0) {
        // "Time" and "Y-Scale" are read at the capture's first sample, which
        // an empty call does not have: the capture begins with the next call
        // that has samples, and nothing is read outside this one.
        if (count == 0) return;
        SetTime(&m_scope, sampleOf(m_time, offset));
        if (m_scope.Trigger == TRIGGER_EXT) {
            m_ext_done = false;
            m_ext_armed = false;
            m_timeout = oneSecond();
        } else {
            UpdateScopeSize(&m_scope, lengthFromTime());
        }
        SetY_Scale(&m_scope, sampleOf(m_y_scale, offset));
    }
    const std::int32_t room = std::max<std::int32_t>(0, m_scope.ScopeSize - m_count);
    int n = static_cast<int>(std::min<zolong>(room, count));
    if (m_scope.Trigger == TRIGGER_EXT) {
        n = CalcCountFromEXT(offset, n);
        m_timeout = subtractSaturating(m_timeout, n);
    }
    if (n > 0 && m_scope.Samples) {
        const float* sources[2] = {m_signal_a, m_signal_b};
        for (int channel = 0; channel < 2; ++channel) {
            if (!m_scope.Channel_Active[channel]) continue;
            float* target = m_scope.Samples + static_cast<std::size_t>(channel) * m_scope.ScopeSize +
                            m_count;
            if (sources[channel])
                std::memcpy(target, sources[channel] + offset, sizeof(float) * n);
            else
                std::memset(target, 0, sizeof(float) * n);
        }
    }
    m_count += n;
    if (m_count < m_scope.ScopeSize) return;

    if (m_scope.Trigger == TRIGGER_EXT && !m_ext_done && m_timeout >= 0 && m_count > 0 &&
        m_count <= SCOPE_MAX_SIZE / 2)
        UpdateScopeSize(&m_scope, 2 * m_count);
    else
        send_result_to_gui();
    callRest(offset, count, n);
}

int Module::CalcCountFromEXT(zolong offset, int count) {
    if (!m_ext_trigger) return count;
    for (int i = 0; i < count; ++i) {
        const float x = m_ext_trigger[offset + i];
        if (!m_ext_armed && x < 0.0f) m_ext_armed = true;
        if (m_ext_armed && x >= 0.0f) {
            m_ext_done = true;
            UpdateScopeSize(&m_scope, m_count + i);
            return i;
        }
    }
    return count;
}

void Module::send_result_to_gui() {
    if (!m_gui_busy) {
        m_gui_busy = true;
        SendStringToGui(SCOPE_MSG_DATA, static_cast<int>(sizeof(T_SCOPE)),
                        reinterpret_cast<unsigned char*>(&m_scope));
    }
    rearm();
    m_timeout = oneSecond() / 3;
}

void Module::sub_process_cruise(zolong offset, zolong count) {
    if (count < 0) return;
    const std::int32_t room = std::max<std::int32_t>(0, m_scope.ScopeSize - m_count);
    const int n = static_cast<int>(std::min<zolong>(room, count));
    m_count += n;
    if (m_count < m_scope.ScopeSize) return;
    rearm();
    m_timeout = oneSecond() / 3;
    callRest(offset, count, n);
}

void Module::SendStringToGui(int id, int size, unsigned char* data) {
    CallHost(zo_request::send_to_gui, size, id, data, 0.0f);
}
