#include "ZOModule_base.h"

#include <atomic>
#include <cstring>
#include <new>

#include "ZOContract.h"
#include "ZOPin.h"

namespace {

ZoModuleInfo g_info;
constexpr zolong kMaxPins = 1 << 16;

// Targets of delayed calls this library handed out. A delayed-call event
// carries its target through the host, so only these are ever called.
constexpr int kMaxDelayedTargets = 64;
std::atomic<ZoDelayedCall::code_type> g_delayed_targets[kMaxDelayedTargets];

bool rememberDelayedTarget(ZoDelayedCall::code_type code) {
    for (auto& slot : g_delayed_targets) {
        ZoDelayedCall::code_type seen = slot.load(std::memory_order_acquire);
        if (seen == code) return true;
        if (!seen && slot.compare_exchange_strong(seen, code, std::memory_order_acq_rel))
            return true;
        if (seen == code) return true;
    }
    return false;
}

bool isDelayedTarget(ZoDelayedCall::code_type code) {
    if (!code) return false;
    for (auto& slot : g_delayed_targets) {
        ZoDelayedCall::code_type seen = slot.load(std::memory_order_acquire);
        if (seen == code) return true;
        if (!seen) return false;
    }
    return false;
}

ZOPin& inertPin() {
    static ZOPin pin;
    return pin;
}

}  // namespace

ZOModule_base::ZOModule_base(ZOHostCallback callback, void* host_data)
    : host_callback(callback), m_pins(nullptr), m_sub_process() {
    std::memset(&m_record, 0, sizeof m_record);
    m_record.magic = ZO_MAGIC_AUDIO;
    m_sub_process = ZoSubProcess::of<&ZOModule_base::process_idle>();
    m_record.process = m_sub_process.RawPointer();
    m_record.event_handler = &ZOModule_base::eventWord;
    m_record.dispatcher = &ZOModule_base::dispatchEffectClass;
    m_record.host_data = host_data;
    m_record.object = this;
    m_record.version = 1;
    m_sample_rate = 44100.0f;
    m_block_size = 1024;
}

ZOModule_base::~ZOModule_base() { destroyPins(); }

void ZOModule_base::destroyPins() {
    // Array delete destroys the pins from the last to the first.
    delete[] m_pins;
    m_pins = nullptr;
    m_pin_count = 0;
}

zolong ZOModule_base::dispatchEffectClass(ZOMod_struct_base2* record, zolong opcode, zolong index,
                                          zolong value, void* ptr, float opt) {
    if (!record || !record->object) return 0;
    return static_cast<ZOModule_base*>(record->object)->dispatcher(opcode, index, value, ptr, opt);
}

void ZOModule_base::eventWord(void* object, ZoEvent* e) {
    if (object && e) static_cast<ZOModule_base*>(object)->private_HandleEvent(e);
}

zolong ZOModule_base::dispatcher(zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    switch (static_cast<std::uintptr_t>(opcode)) {
    case zo_audio_op::open: open(); return 0;
    case zo_audio_op::close:
        close();
        delete this;
        return 1;
    case zo_audio_op::set_sample_rate: setSampleRate(opt); return 0;
    case zo_audio_op::set_block_size: setBlockSize(value); return 0;
    case zo_audio_op::pin_properties: {
        if (!ptr) return 0;
        const bool described = getPinProperties(index, static_cast<ZOPinProperties*>(ptr));
        ZO_CONTRACT("ZOModule_base",
                    (((ZOPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || (((ZOPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || ((ZOPinProperties*)ptr)->direction == DR_OUT || ( ( (ZOPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0);
        return described ? 1 : 0;
    }
    case zo_audio_op::forbidden_7:
    case zo_audio_op::forbidden_10: ZO_CONTRACT("ZOModule_base", false); return 0;
    case zo_audio_op::resume:
        Resume();
        if (index > 0) VoiceReset(static_cast<int>(index));
        return 0;
    case zo_audio_op::gui_notify:
        OnGuiNotify(static_cast<int>(value), static_cast<int>(index), ptr);
        return 0;
    case zo_audio_op::info:
        g_info.word0 = zo_info::word0;
        g_info.word1 = zo_info::word1;
        g_info.sub_process = &m_sub_process;
        g_info.word3 = zo_info::word3;
        return reinterpret_cast<zolong>(&g_info);
    default: return 0;
    }
}

void ZOModule_base::OnPlugStateChange(ZOPin*) {}
void ZOModule_base::close() {}
void ZOModule_base::OnInputStatusChange(int, state_type) {}
void ZOModule_base::setSampleRate(float rate) { m_sample_rate = rate; }
void ZOModule_base::setBlockSize(zolong size) { m_block_size = size; }
float ZOModule_base::getSampleRate() { return m_sample_rate; }
zolong ZOModule_base::getBlockSize() { return m_block_size; }
bool ZOModule_base::getPinProperties(zolong, ZOPinProperties*) { return false; }
bool ZOModule_base::getName(char*) { return false; }
bool ZOModule_base::getUniqueId(char*) { return false; }
void ZOModule_base::Resume() {}
void ZOModule_base::VoiceReset(int) {}
void ZOModule_base::OnMidiData(std::uint32_t, std::uint32_t, short) {}
void ZOModule_base::OnGuiNotify(int, int, void*) {}

zolong ZOModule_base::CallHost(zolong opcode, zolong index, zolong value, void* ptr, float opt) {
    if (!host_callback) return 0;
    return host_callback(&m_record, opcode, index, value, ptr, opt);
}

ZOPin* ZOModule_base::getPin(int index) {
    if (!ZO_CONTRACT("ZOModule_base", m_pins != 0)) return &inertPin();
    if (!ZO_CONTRACT("ZOModule_base", index >= 0 && index < m_pin_count)) return &inertPin();
    return &m_pins[index];
}

bool ZOModule_base::getPinProperties_clean(zolong index, ZOPinProperties* properties) {
    std::memset(properties, 0, sizeof *properties);
    return getPinProperties(index, properties);
}

void ZOModule_base::open() {
    const zolong count = CallHost(zo_request::pin_count, 0, 0, nullptr, 0.0f);
    if (m_pins) return;  // a second open keeps the pins of the first
    if (count > 0) {
        // Positions past what a table can fill would only hold inert pins;
        // a hostile count must not exhaust memory.
        const zolong created = count > kMaxPins ? kMaxPins : count;
        m_pins = new (std::nothrow) ZOPin[static_cast<std::size_t>(created)];
        if (!m_pins) return;
        m_pin_count = static_cast<int>(created);
    }
    const zolong pins = m_pin_count;

    ZOPinProperties description;
    zolong i = 0;
    zolong p = 0;
    for (;;) {
        if (!getPinProperties_clean(i, &description)) break;
        if (p >= pins) break;
        const bool gui_only = (description.flags & IO_UI_COMMUNICATION) != 0 &&
                              (description.flags & IO_UI_WITH_DSP_PIN) == 0;
        if (!gui_only) {
            m_pins[p].Init(this, static_cast<int>(p),
                           static_cast<EPlugDataType>(description.data_type),
                           description.variable_address);
            ++p;
        }
        ++i;
    }
    getPinProperties_clean(i - 1, &description);
    if ((description.flags & IO_UI_COMMUNICATION) != 0 &&
        (description.flags & IO_UI_WITH_DSP_PIN) == 0)
        return;
    if (description.flags & IO_REPEATING) {
        for (; p < pins; ++p)
            m_pins[p].Init(this, static_cast<int>(p),
                           static_cast<EPlugDataType>(description.data_type), nullptr);
    }
}

std::uint32_t ZOModule_base::SampleClock() {
    return static_cast<std::uint32_t>(CallHost(zo_request::sample_clock, 0, 0, nullptr, 0.0f));
}

void ZOModule_base::AddEvent(std::uint32_t p_time_stamp, int type, int int_value1,
                             int int_value2, void* ptr_value) {
    if (!ZO_CONTRACT("ZOModule_base", p_time_stamp >= SampleClock())) return;
    ZoEvent event(p_time_stamp, type, int_value1, int_value2, ptr_value);
    CallHost(zo_request::add_event, 0, 0, &event, 0.0f);
}

void ZOModule_base::RunDelayed(unsigned int time_stamp, const ZoDelayedCall& call) {
    if (!ZO_CONTRACT("ZOModule_base", rememberDelayedTarget(call.RawPointer()))) return;
    AddEvent(time_stamp, zo_event::delayed_call, 0, 0, reinterpret_cast<void*>(call.RawPointer()));
}

void ZOModule_base::private_HandleEvent(ZoEvent* e) { HandleEvent(e); }

void ZOModule_base::HandleEvent(ZoEvent* e) {
    if (!e) return;
    ZO_CONTRACT("ZOModule_base", e->time_stamp == SampleClock());
    switch (e->type) {
    case zo_event::pin_status: {
        const zolong position = reinterpret_cast<zolong>(e->ptr_value);
        if (position < 0 || position > INT32_MAX) {
            ZO_CONTRACT("ZOModule_base", position >= 0 && position <= INT32_MAX);
            return;
        }
        ZOPin* pin = getPin(static_cast<int>(position));
        if (pin->getModule()) pin->OnStatusUpdate(e->int_value1);
        return;
    }
    case zo_event::midi:
        OnMidiData(e->time_stamp, static_cast<std::uint32_t>(e->int_value1),
                   static_cast<short>(static_cast<std::uint16_t>(e->int_value2 & 0xFFFF)));
        return;
    case zo_event::delayed_call: {
        const auto code = reinterpret_cast<ZoDelayedCall::code_type>(e->ptr_value);
        if (!ZO_CONTRACT("ZOModule_base", isDelayedTarget(code))) return;
        const ZoDelayedCall call(code);
        call(this);
        return;
    }
    default: return;
    }
}

void ZOModule_base::setSubProcess(const ZoSubProcess& routine) {
    if (routine == m_sub_process) return;
    m_sub_process = routine;
    m_record.process = routine.RawPointer();
    CallHost(zo_request::process_changed, 0, 0, nullptr, 0.0f);
}

void ZOModule_base::process_idle(zolong, zolong) {}
