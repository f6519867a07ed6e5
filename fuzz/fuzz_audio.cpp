// The audio object under a scripted host: opcodes, pin values, blocks cut
// into arbitrary parts, pin-status and MIDI events (and others), acks at any
// point between processing calls. Beyond crashes and undefined behaviour the
// host checks the hand-off: no second "data" before the ack, the sent
// capture untouched until the ack, a well-formed record, and the record's
// process word updated before each process_changed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "ZOHostTypes.h"
#include "scopedata.h"

extern "C" int getModuleProperties(zolong index, ZOModuleProperties* properties);
extern "C" void* makeModule(zolong index, zolong type, ZOHostCallback callback, void* host_data);

namespace {

const int kCapacity = 2048;   // samples per stream buffer
const int kMaxPins = 16;      // positions with buffers and connection answers
const int kMaxDescribed = 12;
// Per input: enough for an external-trigger capture's one-second cut at
// 44100 Hz; lower rates reach the timeouts sooner.
const std::uint64_t kSampleBudget = 1u << 16;

struct Described {
    bool present = false;
    std::int32_t data_type = -1;
    void* variable = nullptr;
    bool unbound = false;  // a stream the host gives no buffer
};

struct Host {
    ZOMod_struct_base2* record = nullptr;
    zolong pin_count = 8;
    bool connected[kMaxPins] = {};
    std::uint32_t clock = 0;
    std::uint32_t block_start = 0;
    bool opened = false;
    std::vector<float> buffers[kMaxPins];
    Described described[kMaxDescribed];
    std::vector<ZoEvent> queued;  // from add_event
    std::uint64_t samples = 0;     // processed so far: the position of a sample in the stream
    std::uint64_t part_start = 0;  // position of the part being processed
    // "Signal B" (pin 1, channel 1) carries its own positions from ramp_since
    // on; a capture that began after capture_mark then holds them unbroken.
    bool ramp = false;
    std::uint64_t ramp_since = 0;
    std::uint64_t capture_mark = 0;
    unsigned ramps_checked = 0;
    unsigned captures = 0;
    unsigned acks = 0;
    unsigned switches = 0;

    // The hand-off as the host sees it.
    bool outstanding = false;
    const T_SCOPE* sent = nullptr;
    T_SCOPE sent_copy{};
    std::vector<float> sent_samples;
    zo_process_word last_process = nullptr;

    int bound() const {
        const zolong n = std::min<zolong>(pin_count, kMaxDescribed);
        return n < 0 ? 0 : static_cast<int>(n);
    }
};

void checkSentIntact(Host& h, bool full) {
    if (!h.outstanding) return;
    const T_SCOPE& now = *h.sent;
    FUZZ_CHECK(now.Samples == h.sent_copy.Samples);
    FUZZ_CHECK(now.ScopeSize == h.sent_copy.ScopeSize);
    if (full && !h.sent_samples.empty())
        FUZZ_CHECK(std::memcmp(now.Samples, h.sent_samples.data(), h.sent_samples.size() * sizeof(float)) == 0);
}

const std::uint32_t kRampMask = (1u << 23) - 1;  // exact as a float

float rampAt(std::uint64_t position) { return static_cast<float>(position & kRampMask); }

// A capture is one unbroken stretch of its inputs, whatever the cuts, events,
// acks and list changes in between.
void checkUnbroken(Host& h, const T_SCOPE& s) {
    if (!h.ramp || h.ramp_since > h.capture_mark || !s.Channel_Active[1] || s.ScopeSize <= 0) return;
    const float* b = s.Samples + s.ScopeSize;
    const float first = b[0];
    FUZZ_CHECK(first >= 0.0f && first <= static_cast<float>(kRampMask) && first == std::floor(first));
    const std::uint64_t start = static_cast<std::uint64_t>(first);
    for (std::int32_t i = 1; i < s.ScopeSize; ++i) FUZZ_CHECK(b[i] == rampAt(start + static_cast<std::uint64_t>(i)));
    ++h.ramps_checked;
}

void onData(Host& h, zolong size, zolong code, const void* ptr) {
    FUZZ_CHECK(static_cast<std::int32_t>(code) == SCOPE_MSG_DATA);
    FUZZ_CHECK(size == static_cast<zolong>(sizeof(T_SCOPE)));
    FUZZ_CHECK(ptr != nullptr);
    FUZZ_CHECK(!h.outstanding);  // at most one capture unacknowledged
    const T_SCOPE* s = static_cast<const T_SCOPE*>(ptr);
    FUZZ_CHECK(s->ScopeSize >= 0 && s->ScopeSize <= SCOPE_MAX_SIZE);
    FUZZ_CHECK(s->ScopeSize == 0 || s->Samples != nullptr);
    ++h.captures;
    checkUnbroken(h, *s);
    h.capture_mark = h.part_start;  // the next capture begins in this part or later
    h.outstanding = true;
    h.sent = s;
    h.sent_copy = *s;
    // Reads every sample the display may read: out of bounds shows here.
    if (s->ScopeSize > 0)
        h.sent_samples.assign(s->Samples, s->Samples + 2 * static_cast<std::size_t>(s->ScopeSize));
    else
        h.sent_samples.clear();
}

zolong callback(void* record, zolong opcode, zolong index, zolong value, void* ptr, float) {
    Host& h = *static_cast<Host*>(static_cast<ZOMod_struct_base2*>(record)->host_data);
    switch (opcode) {
    case zo_request::pin_connected:
        return index >= 0 && index < kMaxPins && h.connected[index] ? 1 : 0;
    case zo_request::sample_clock: return static_cast<zolong>(h.clock);
    case zo_request::pin_buffer:
        return index >= 0 && index < h.bound() ? reinterpret_cast<zolong>(h.buffers[index].data()) : 0;
    case zo_request::pin_buffer_clock: return static_cast<zolong>(h.block_start);
    case zo_request::pin_count: return h.pin_count;
    case zo_request::send_to_gui: onData(h, index, value, ptr); return 0;
    case zo_request::add_event:
        if (ptr && h.queued.size() < 64) h.queued.push_back(*static_cast<const ZoEvent*>(ptr));
        return 0;
    case zo_request::process_changed:
        FUZZ_CHECK(h.record->process != nullptr);
        FUZZ_CHECK(h.record->process != h.last_process);
        h.last_process = h.record->process;
        ++h.switches;
        return 0;
    default: return 0;
    }
}

// The host points each bound stream variable at its buffer before a call.
void bindBuffers(Host& h) {
    for (int i = 0; i < h.bound(); ++i)
        if (h.described[i].present && h.described[i].data_type == DT_FSAMPLE && h.described[i].variable)
            *static_cast<float**>(h.described[i].variable) = h.described[i].unbound ? nullptr : h.buffers[i].data();
}

void deliver(Host& h, ZoEvent e) {
    // The module sees the host's copy, only during the call.
    if (h.record->event_handler) h.record->event_handler(h.record->object, &e);
}

void deliverDue(Host& h) {
    for (std::size_t i = 0; i < h.queued.size();) {
        if (h.queued[i].time_stamp == h.clock) {
            ZoEvent e = h.queued[i];
            h.queued.erase(h.queued.begin() + static_cast<std::ptrdiff_t>(i));
            deliver(h, e);
        } else {
            ++i;
        }
    }
}

void ack(Host& h, fuzz::Input& in) {
    checkSentIntact(h, true);
    h.outstanding = false;
    ++h.acks;
    const zolong size = in.flag() ? in.i32() : 0;
    h.record->dispatcher(h.record, zo_audio_op::gui_notify, size, SCOPE_MSG_ACK, nullptr, 0.0f);
}

float sineAt(std::uint64_t t, std::uint32_t period) {
    // A table keeps the per-sample cost of the inputs low.
    static const std::vector<float> table = [] {
        std::vector<float> v(4096);
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<float>(std::sin(6.283185307179586 * static_cast<double>(i) / 4096.0));
        return v;
    }();
    return table[static_cast<std::size_t>((t % period) * 4096 / period)];
}

void fillBlock(Host& h, fuzz::Input& in, int count, std::uint64_t repeat) {
    for (int pin = 0; pin < h.bound(); ++pin) {
        float* b = h.buffers[pin].data();
        const std::uint32_t kind = in.below(7);
        const std::uint32_t period = 1 + in.below16(4000);
        const float level = in.value();
        if (pin == 1) {
            const bool carries = kind == 6 && h.described[1].present && h.described[1].data_type == DT_FSAMPLE &&
                                 h.described[1].variable && !h.described[1].unbound;
            if (carries && !h.ramp) h.ramp_since = h.samples;
            h.ramp = carries;
        }
        for (int i = 0; i < count; ++i) {
            const std::uint64_t t = h.block_start + static_cast<std::uint64_t>(i) + repeat;
            switch (kind) {
            case 0: b[i] = level; break;
            case 1: b[i] = sineAt(t, period); break;
            case 2: b[i] = (t / period) % 2 ? -1.0f : 1.0f; break;
            case 3: b[i] = static_cast<float>(t % period) / static_cast<float>(period) - 0.5f; break;
            case 4: b[i] = static_cast<float>(static_cast<std::int8_t>(in.u8())) / 64.0f; break;
            case 5: b[i] = i % 7 == 3 ? level : -level; break;
            default: b[i] = rampAt(h.samples + static_cast<std::uint64_t>(i)); break;
            }
        }
    }
}

void processBlock(Host& h, fuzz::Input& in) {
    const int count = static_cast<int>(in.below16(kCapacity + 1));
    const std::uint32_t cutting = in.below(4);  // none, pattern, from the input, with acks
    const int pattern = 1 + static_cast<int>(in.below(97));
    const std::uint64_t repeat = 1 + in.below(in.flag() ? 64 : 2);
    for (std::uint64_t r = 0; r < repeat && h.samples < kSampleBudget; ++r) {
        h.block_start = h.clock;
        fillBlock(h, in, count, r);
        int pos = 0;
        while (pos < count || (pos == 0 && count == 0)) {
            int part = count - pos;
            if (cutting == 1) part = std::min(part, pattern);
            // Parts of 0 samples are allowed; an input that has run out ends the block.
            if (cutting >= 2 && !in.empty()) part = std::min(part, static_cast<int>(in.below(200)));
            h.clock = h.block_start + static_cast<std::uint32_t>(pos);
            h.part_start = h.samples + static_cast<std::uint64_t>(pos);
            deliverDue(h);
            if (cutting == 3 && in.below(4) == 0) ack(h, in);
            checkSentIntact(h, false);
            bindBuffers(h);
            FUZZ_CHECK(h.record->process != nullptr);
            h.record->process(h.record->object, pos, part);
            // A module that writes into a capture it has sent.
            if (fuzz::fault("busy-write") && h.outstanding && h.sent->ScopeSize > 0) h.sent->Samples[0] += 1.0f;
            // One that spoils a capture it is still taking.
            if (fuzz::fault("torn-capture") && h.sent && !h.outstanding && h.sent->ScopeSize > 1)
                h.sent->Samples[h.sent->ScopeSize + 1] += 0.5f;
            pos += part;
            if (count == 0) break;
        }
        h.clock = h.block_start + static_cast<std::uint32_t>(count);
        h.samples += static_cast<std::uint64_t>(count);
    }
}

void event(Host& h, fuzz::Input& in) {
    static const std::int32_t kTypes[] = {zo_event::pin_status, zo_event::pin_status, zo_event::pin_status,
                                         zo_event::midi,       zo_event::midi,       zo_event::midi,
                                         6,                    zo_event::delayed_call, 99, -1};
    const std::int32_t type = kTypes[in.below(10)];
    const bool on_time = in.below(8) != 0;
    const std::uint32_t stamp = on_time ? h.clock : in.u32();
    const std::int32_t v1 = in.i32();
    const std::int32_t v2 = in.i32();
    zolong position;
    switch (in.below(4)) {
    case 0: position = static_cast<zolong>(in.below(10)); break;
    case 1: position = -static_cast<zolong>(1 + in.below(4)); break;
    case 2: position = static_cast<zolong>(in.i32()); break;
    default: position = static_cast<zolong>(in.u32()) << 20; break;
    }
    ZoEvent e(stamp, type, v1, v2, reinterpret_cast<void*>(position));
    deliver(h, e);
}

void opcode(Host& h, fuzz::Input& in) {
    // open comes once and close ends the object: both have their own steps.
    using namespace zo_audio_op;
    static const zolong kOpcodes[] = {set_sample_rate, set_block_size, nothing_4, nothing_5, pin_properties,
                                      forbidden_7, resume, nothing_9, forbidden_10, nothing_11, info, count,
                                      1000, -1, -100};
    const zolong op = kOpcodes[in.below(15)];
    const zolong index = in.flag() ? static_cast<zolong>(in.i32()) : static_cast<zolong>(in.below(12));
    const zolong value = in.i32();
    const float opt = in.value();
    ZOPinProperties props;
    std::memset(&props, 0x5A, sizeof props);
    void* ptr = op == zo_audio_op::pin_properties && in.flag() ? &props : nullptr;
    const zolong answer = h.record->dispatcher(h.record, op, index, value, ptr, opt);
    if (op == zo_audio_op::info) {
        FUZZ_CHECK(answer != 0);
        const std::int32_t* info = reinterpret_cast<const std::int32_t*>(answer);
        FUZZ_CHECK(info[0] == zo_info::word0 && info[1] == zo_info::word1);
    }
}

// A list value; on a stream pin, whether the host gives it a buffer.
void setList(Host& h, fuzz::Input& in) {
    const int i = static_cast<int>(in.below(kMaxDescribed));
    const std::int16_t v = in.flag() ? in.i16() : static_cast<std::int16_t>(in.below(6));
    if (i >= h.bound() || !h.described[i].present || !h.described[i].variable) return;
    switch (h.described[i].data_type) {
    case DT_ENUM: *static_cast<std::int16_t*>(h.described[i].variable) = v; break;
    case DT_CHAR: *static_cast<std::int8_t*>(h.described[i].variable) = static_cast<std::int8_t>(v); break;
    case DT_INT: *static_cast<std::int32_t*>(h.described[i].variable) = v; break;
    case DT_FSAMPLE:
        h.described[i].unbound = !h.described[i].unbound;
        if (i == 1) h.ramp = false;
        break;
    default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::installContractRecorder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Host h;
    ZOModuleProperties props{};
    FUZZ_CHECK(getModuleProperties(0, &props) == 1);

    // The host's answers and settings before opening.
    static const float kRates[] = {44100.0f, 48000.0f, 100.0f, 3.0f, 0.0f, -44100.0f, 1.0e9f};
    const std::uint32_t rate_choice = in.below(9);
    const float rate = rate_choice < 7 ? kRates[rate_choice] : in.value();
    const zolong block_size = in.flag() ? static_cast<zolong>(in.i32()) : kCapacity;
    switch (in.below(6)) {
    case 0: h.pin_count = static_cast<zolong>(in.below(kMaxDescribed + 1)); break;
    case 1: h.pin_count = static_cast<zolong>(in.i32()) % 70000; break;
    default: h.pin_count = 8; break;
    }
    const std::uint16_t connected = in.u16();
    for (int i = 0; i < kMaxPins; ++i) h.connected[i] = (connected >> i) & 1;
    h.clock = in.flag() ? in.u32() : 0;
    for (auto& b : h.buffers) b.assign(kCapacity, 0.0f);

    h.record = static_cast<ZOMod_struct_base2*>(makeModule(zo_object::library_index, zo_object::audio, &callback, &h));
    FUZZ_CHECK(h.record != nullptr);
    FUZZ_CHECK(h.record->magic == ZO_MAGIC_AUDIO && h.record->process != nullptr);
    h.last_process = h.record->process;
    h.record->dispatcher(h.record, zo_audio_op::set_sample_rate, 0, 0, nullptr, rate);
    h.record->dispatcher(h.record, zo_audio_op::set_block_size, 0, block_size, nullptr, 0.0f);
    for (int i = 0; i < kMaxDescribed; ++i) {
        ZOPinProperties p;
        std::memset(&p, 0, sizeof p);
        Described& d = h.described[i];
        d.present = h.record->dispatcher(h.record, zo_audio_op::pin_properties, i, 0, &p, 0.0f) != 0;
        d.data_type = p.data_type;
        d.variable = p.variable_address;
    }

    while (!in.empty()) {
        switch (in.below(10)) {
        case 0:
            if (!h.opened) {
                h.opened = true;
                h.capture_mark = h.samples;  // the first capture begins with the next sample
                h.record->dispatcher(h.record, zo_audio_op::open, 0, 0, nullptr, 0.0f);
            }
            break;
        case 1:
        case 2:
        case 3: processBlock(h, in); break;
        case 4: ack(h, in); break;
        case 5: {
            // Any other message code is ignored by the module.
            zolong code = in.i32();
            if (static_cast<std::int32_t>(code) == SCOPE_MSG_ACK) code = 0;
            h.record->dispatcher(h.record, zo_audio_op::gui_notify, in.i32(), code, nullptr, 0.0f);
            break;
        }
        case 6: event(h, in); break;
        case 7: opcode(h, in); break;
        case 8: setList(h, in); break;
        default: h.clock += in.u16(); break;
        }
    }
    checkSentIntact(h, true);
    FUZZ_CHECK(h.record->dispatcher(h.record, zo_audio_op::close, 0, 0, nullptr, 0.0f) == 1);
    if (fuzz::verbose())
        std::fprintf(stderr,
                     "audio: opened %d, %llu samples, %u captures (%u checked unbroken), %u acks, %u switches, "
                     "%lu contract reports\n",
                     h.opened ? 1 : 0, static_cast<unsigned long long>(h.samples), h.captures, h.ramps_checked,
                     h.acks, h.switches, fuzz::contractViolations());
    return 0;
}
