// Every input pin through what its description says it takes: lists through
// each choice and past both ends, 8- and 32-bit values at their bounds and
// beyond, sample streams held at bounds, beyond, NaN and infinities; set
// before opening, changed between blocks and (streams) within a block. The
// module must not crash, write outside its buffers, nor keep calling the
// heap or taking locks once a value is held.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "AllocProbe.h"
#include "Harness.h"

namespace zohost::validate {

using probe::AllocProbe;
using probe::ProbeScope;

namespace {

const std::uint32_t kSentinel = 0x7FA5A5A5u;  // a signalling NaN nobody computes
const int kBlock = 256;
const int kChunkBlocks = 16;  // blocks counted together for heap calls
const int kChunks = 8;        // chunks a held value has to settle in

// What one pin is set to: a value pin's number, or a stream's constant.
struct Setting {
    std::int32_t value = 0;
    float sample = 0.0f;
    std::string text;
};

std::vector<std::int32_t> integerValues(const PinDescription& d) {
    std::vector<std::int32_t> v;
    if (d.data_type == DT_ENUM) {
        const auto choices = d.choices();
        int lo = 0, hi = 0;
        for (std::size_t i = 0; i < choices.size(); ++i) {
            v.push_back(choices[i].value);
            lo = i ? std::min(lo, choices[i].value) : choices[i].value;
            hi = i ? std::max(hi, choices[i].value) : choices[i].value;
        }
        for (std::int32_t x : {lo - 1, hi + 1, lo - 100, hi + 100, -32768, 32767}) v.push_back(x);
    } else if (d.data_type == DT_CHAR) {
        for (std::int32_t x : {0, 1, -1, 127, -128, 128, 255, -129, 0x7FFFFFFF}) v.push_back(x);
    } else {
        for (std::int32_t x : {0, 1, -1, 127, 128, 255, 256, 32767, 32768, -32768, -32769, 0x7FFFFFFF,
                               INT32_MIN, INT32_MIN + 1})
            v.push_back(x);
    }
    if (d.has_default) {
        const std::int32_t def = static_cast<std::int32_t>(std::strtol(d.default_value.c_str(), nullptr, 10));
        for (std::int32_t x : {def, def - 1, def + 1}) v.push_back(x);
    }
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

// A sample of 1.0 is 10 volts, the most an input carries; beyond it, the
// largest floats, infinities, NaN and the smallest magnitudes.
const std::vector<float>& streamValues() {
    static const std::vector<float> v = {
        0.0f, -0.0f, 1.0f, -1.0f, 0.5f, std::nextafter(1.0f, 2.0f), -std::nextafter(1.0f, 2.0f), 10.0f, -10.0f,
        std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
        std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min(), 1e-40f, 1e-30f};
    return v;
}

std::vector<Setting> settingsOf(const PinDescription& d) {
    std::vector<Setting> out;
    if (d.data_type == DT_FSAMPLE) {
        for (float f : streamValues()) out.push_back({0, f, num(f)});
        return out;
    }
    for (std::int32_t x : integerValues(d)) out.push_back({x, 0.0f, std::to_string(x)});
    return out;
}

// Input pins the host can set: value pins with storage, and input streams.
bool settable(const Instance& in, int p) {
    const PinDescription* d = in.pinTable().descriptionAt(p);
    if (!d || d->direction == DR_OUT) return false;
    return d->data_type == DT_FSAMPLE || d->data_type == DT_ENUM || d->data_type == DT_CHAR ||
           d->data_type == DT_INT;
}

std::string pinName(const Instance& in, int p) {
    const PinDescription* d = in.pinTable().descriptionAt(p);
    return "pin " + std::to_string(p) + " \"" + (d ? d->name : std::string("?")) + "\"";
}

InstanceOptions pinOptions() {
    InstanceOptions o = quietOptions(44100.0f, kBlock);
    // The audio side alone, its captures acknowledged by the host: what is
    // counted is the audio path's, not a display's copy.
    o.display = false;
    o.display_optional = true;
    o.messages.self_ack_without_display = true;
    return o;
}

// One instance whose stream buffers the test fills itself: the inputs with
// their values, everything past the processed range with a sentinel.
class Driven {
public:
    Driven(const ModuleLibrary& lib, TestContext& t) : in(lib, pinOptions()), t_(t) {
        for (int p = 0; p < in.pinCount(); ++p) {
            if (!in.buffer(p)) continue;
            const bool input = isSampleInput(in, p);
            if (input) in.setSignal(p, Signal::manual());
            // Inputs start at their default text, in volts (1.0 is 10 V).
            const PinDescription* d = in.pinTable().descriptionAt(p);
            const float idle = input && d && d->has_default ? std::strtof(d->default_value.c_str(), nullptr) / 10.0f : 0.0f;
            streams_.push_back({p, input, idle, -1, 0.0f});
        }
    }

    void set(int p, const Setting& s) {
        for (Stream& st : streams_)
            if (st.position == p) {
                st.value = s.sample;
                st.step_at = -1;
                return;
            }
        in.setValue(p, s.value);
    }
    // A stream that takes `s` from sample `at` of the next block on.
    void stepWithin(int p, const Setting& s, int at) {
        for (Stream& st : streams_)
            if (st.position == p) {
                st.next = s.sample;
                st.step_at = at;
            }
    }

    // One block of `count`: false when a buffer was written where it must not be.
    bool block(int count, const std::string& where) {
        const int cap = kBlock;
        for (Stream& s : streams_) {
            float* b = in.buffer(s.position);
            for (int i = 0; i < cap; ++i) {
                if (s.input && i < count) {
                    b[i] = s.step_at >= 0 && i >= s.step_at ? s.next : s.value;
                } else {
                    std::memcpy(&b[i], &kSentinel, 4);
                }
            }
        }
        snapshot_.clear();
        for (const Stream& s : streams_) snapshot_.insert(snapshot_.end(), in.buffer(s.position), in.buffer(s.position) + cap);
        in.processBlock(count);
        for (Stream& s : streams_)
            if (s.step_at >= 0) {
                s.value = s.next;
                s.step_at = -1;
            }
        return untouched(count, where);
    }

    Instance in;

private:
    struct Stream {
        int position;
        bool input;
        float value;
        int step_at;
        float next;
    };

    bool untouched(int count, const std::string& where) {
        std::size_t k = 0;
        for (const Stream& s : streams_) {
            const float* b = in.buffer(s.position);
            for (int i = 0; i < kBlock; ++i, ++k) {
                if (!s.input && i < count) continue;  // an output's own range
                if (std::memcmp(&snapshot_[k], &b[i], 4) == 0) continue;
                t_.fail(where + ": " + (s.input ? "input " : "output ") + pinName(in, s.position) +
                        " written at " + std::to_string(i) + " in a block of " + std::to_string(count) +
                        (i >= count ? " (past the processed range)" : ""));
                return false;
            }
        }
        return true;
    }

    TestContext& t_;
    std::vector<Stream> streams_;
    std::vector<float> snapshot_;
};

// Runs chunks of blocks at the values now set until one chunk makes no heap
// call and takes no lock; false (and a failure) when none does.
bool settles(TestContext& t, Driven& d, const std::string& where) {
    static const bool counted =
        AllocProbe::watch(reinterpret_cast<const void*>(t.library().getModulePropertiesEntry()));
    long calls = 0;
    for (int c = 0; c < kChunks; ++c) {
        AllocProbe::reset();
        for (int b = 0; b < kChunkBlocks; ++b) {
            const int count = t.uniform(1, kBlock - 1);
            ProbeScope armed;
            if (!d.block(count, where)) return false;
        }
        const auto n = AllocProbe::counts();
        calls = n.allocations + n.frees + n.locks;
        if (!counted || calls == 0) return true;
    }
    t.fail(where + ": still " + std::to_string(calls) + " heap call(s) and lock(s) in the last " +
           std::to_string(kChunkBlocks) + " blocks of " + std::to_string(kChunks * kChunkBlocks) +
           " at a held value");
    return false;
}

// Each pin alone through each of its values: set before opening, and
// changed between blocks of a running instance.
void everyValue(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    Driven probe(lib, t);
    int pins = 0, values = 0;
    for (int p = 0; p < probe.in.pinCount() && t.failures() < 3; ++p) {
        if (!settable(probe.in, p)) continue;
        ++pins;
        const PinDescription& desc = *probe.in.pinTable().descriptionAt(p);
        Driven running(lib, t);
        running.in.applyDefaults();
        for (const Setting& s : settingsOf(desc)) {
            ++values;
            const std::string at = pinName(running.in, p) + " at " + s.text;
            t.during(at);
            Driven fresh(lib, t);
            fresh.in.applyDefaults();
            fresh.set(p, s);
            if (!settles(t, fresh, at + " from the start")) break;
            running.set(p, s);
            if (!settles(t, running, at + ", changed between blocks")) break;
        }
    }
    if (pins == 0) return t.skip("no input pin the host can set");
    t.note(std::to_string(values) + " values on " + std::to_string(pins) + " pins");
}

// Every pin at once, each changed at random between blocks, and streams
// stepping to a new value inside a block.
void changing(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    Driven d(lib, t);
    d.in.applyDefaults();
    std::vector<std::pair<int, std::vector<Setting>>> table;
    for (int p = 0; p < d.in.pinCount(); ++p)
        if (settable(d.in, p)) table.emplace_back(p, settingsOf(*d.in.pinTable().descriptionAt(p)));
    if (table.empty()) return t.skip("no input pin the host can set");
    const int blocks = t.count(400, 3200);
    std::string last;
    for (int b = 0; b < blocks; ++b) {
        const auto& [p, settings] = t.pick(table);
        const Setting& s = t.pick(settings);
        const bool stream = isSampleInput(d.in, p);
        const int at = t.uniform(0, kBlock - 1);
        if (stream && t.uniform(0, 1)) {
            d.stepWithin(p, s, at);
            last = pinName(d.in, p) + " stepping to " + s.text + " at sample " + std::to_string(at);
        } else {
            d.set(p, s);
            last = pinName(d.in, p) + " set to " + s.text;
        }
        t.during("block " + std::to_string(b) + ", " + last);
        if (!d.block(t.uniform(0, kBlock), "block " + std::to_string(b) + ", " + last)) return;
    }
    // Held where the changes left them, the module stops calling the heap.
    settles(t, d, "held after " + std::to_string(blocks) + " blocks of changes, the last " + last);
}

}  // namespace

void addPinTests(std::vector<TestCase>& out) {
    out.push_back({"pins.every_value",
                   "each input pin alone through its described values and beyond, from the start and changed "
                   "between blocks: no crash, no write outside buffers, no heap call or lock once held",
                   &everyValue});
    out.push_back({"pins.changing",
                   "every input pin changed at random between blocks, streams stepping within blocks: no crash, "
                   "no write outside buffers",
                   &changing});
}

}  // namespace zohost::validate
