// Oracles that hold whatever the module draws or captures: buffers it must
// not write, the bounds of every capture, no heap or lock on the audio path
// at a fixed capture length, and the floating-point control state.
#include <cfenv>
#include <cmath>
#include <cstring>
#include <functional>

#include "AllocProbe.h"
#include "Harness.h"
#include "scopedata.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace zohost::validate {

using probe::AllocProbe;
using probe::ProbeCounts;
using probe::ProbeScope;

namespace {

const std::uint32_t kSentinel = 0x7FA5A5A5u;  // a signalling NaN nobody computes

struct Stream {
    int position;
    bool input;
    Wave wave;
    float* buffer;
};

// The buffers after a block of `count` against their snapshot before it: an
// input anywhere, an output past the processed range.
void compareBuffers(TestContext& t, const Instance& in, const std::vector<Stream>& streams,
                    const std::vector<float>& snapshot, int cap, int count) {
    std::size_t k = 0;
    for (const Stream& s : streams) {
        for (int i = 0; i < cap; ++i, ++k) {
            const bool outside = i >= count;
            if (!s.input && !outside) continue;  // an output's own range
            if (std::memcmp(&snapshot[k], &s.buffer[i], 4) != 0) {
                const PinDescription* d = in.pinTable().descriptionAt(s.position);
                t.fail("block of " + std::to_string(count) + " in buffers of " + std::to_string(cap) + ": " +
                       (s.input ? "input" : "output") + " \"" + (d ? d->name : "?") + "\" changed at " +
                       std::to_string(i) + (outside ? " (past the processed range)" : " (inside the processed range)"));
                k += static_cast<std::size_t>(cap - i);
                break;
            }
        }
    }
}

void buffersUntouched(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const int rounds = t.count(4, 12);
    for (int r = 0; r < rounds && !t.failed(); ++r) {
        const int cap = t.pick(std::vector<int>{16, 257, 1024});
        InstanceOptions o = recordingOptions(44100.0f, cap);
        Instance in(lib, o);
        std::vector<Stream> streams;
        for (int p = 0; p < in.pinCount(); ++p) {
            float* b = in.buffer(p);
            if (!b) continue;
            const bool input = isSampleInput(in, p);
            if (input) in.setSignal(p, Signal::manual());
            streams.push_back({p, input, t.pick(allWaves()), b});
        }
        // Short captures, so that many end within the run.
        const int time = pinOf(in, pins::kTime), yscale = pinOf(in, pins::kYScale), trig = pinOf(in, pins::kTrigger);
        for (Stream& s : streams)
            if (s.position == time || s.position == yscale) s.wave = Wave::Silence;
        if (trig >= 0) in.setValue(trig, t.uniform(0, 4));
        in.setSplitter(BlockSplitter::random(t.rng()(), t.uniform(1, cap)));
        std::vector<float> snapshot;
        std::uint64_t clock = 0;
        for (int block = 0; block < 400 && !t.failed(); ++block) {
            const int count = t.uniform(0, cap - 1);
            for (Stream& s : streams) {
                for (int i = 0; i < cap; ++i) {
                    float v;
                    if (s.input && i < count)
                        v = waveAt(s.wave, clock + static_cast<std::uint64_t>(i), 7, 60.0);
                    else
                        std::memcpy(&v, &kSentinel, 4);
                    s.buffer[i] = v;
                }
            }
            snapshot.clear();
            for (const Stream& s : streams) snapshot.insert(snapshot.end(), s.buffer, s.buffer + cap);
            in.processBlock(count);
            compareBuffers(t, in, streams, snapshot, cap, count);
            clock += static_cast<std::uint64_t>(count);
        }
    }
}

void captureBounds(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    // The longest captures the time settings give, at a high rate.
    struct Case {
        int mode;
        double time;
    };
    for (const Case& c : {Case{0, 0.0001}, Case{0, 0.0}, Case{1, 0.0}, Case{2, 1.0}, Case{3, 1.0}, Case{2, 1e9}}) {
        Scenario s;
        s.rate = 384000.0f;
        s.block = 4096;
        s.trigger = 0;
        s.time_mode = c.mode;
        s.has_time = true;
        s.time = c.time;
        s.a.wave = Wave::Noise;
        ScopeInstance in(lib, scenarioOptions(s));
        applyScenario(in, s);
        in.run(100000);
        const int n = checkCaptures(t, in, scenarioExpectations(in, s), s.text());
        t.check(n > 0, s.text() + ": no capture");
    }
    // An external trigger that never crosses: the capture grows until it
    // is cut off, and never past the growth limit.
    {
        Scenario s;
        s.rate = 1.0e7f;
        s.block = 16384;
        s.trigger = 4;
        s.connect_ext = true;
        s.ext.wave = Wave::DcPlus;
        s.a.wave = Wave::Square;
        s.a.period = 1000.0;
        InstanceOptions o = scenarioOptions(s);
        ScopeInstance in(lib, o);
        applyScenario(in, s);
        in.run(12000000);
        const int n = checkCaptures(t, in, scenarioExpectations(in, s), s.text());
        t.check(n > 0, s.text() + ": no capture in 1.2 s");
        std::int32_t longest = 0;
        for (const Capture* r : in.captures())
            longest = std::max(longest, r->scope.ScopeSize);
        t.note("longest capture " + std::to_string(longest) + " samples per channel at 10 MHz");
    }
}

// Blocks run with the probe armed; the host itself is quiet in this
// configuration, so whatever is counted is the module's.
ProbeCounts countedRun(Instance& in, int blocks, int block) {
    AllocProbe::reset();
    for (int b = 0; b < blocks; ++b) {
        ProbeScope armed;
        in.processBlock(block);
    }
    return AllocProbe::counts();
}

std::vector<std::int32_t> sizesOf(const ScopeInstance& in, std::size_t from) {
    std::vector<std::int32_t> out;
    const auto caps = in.captures();
    for (std::size_t i = from; i < caps.size(); ++i) out.push_back(caps[i]->scope.ScopeSize);
    return out;
}

long unacknowledgedAllocations(TestContext& t, const ModuleLibrary& lib);
void lengthChangeAllocations(TestContext& t, const ModuleLibrary& lib);

void noAllocation(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!AllocProbe::watch(reinterpret_cast<const void*>(lib.getModulePropertiesEntry()))) {
        t.skip("heap and lock calls of the module cannot be counted here");
        return;
    }
    long total_blocks = 0;
    for (int trigger : {0, 1, 2, 3}) {
        Scenario s;
        s.block = t.pick(std::vector<int>{64, 256, 1000});
        s.trigger = trigger;
        s.has_time = true;
        s.time = t.pick(std::vector<double>{0.0, 0.05, 0.3});
        s.time_mode = t.uniform(0, 3);
        s.a = Feed{Wave::Sine, 1, 90.0};
        s.connect_b = true;
        s.b = Feed{Wave::Square, 2, 70.0};
        ScopeInstance in(lib, scenarioOptions(s));
        applyScenario(in, s);
        if (t.uniform(0, 1)) in.setSplitter(BlockSplitter::random(t.rng()(), t.uniform(1, s.block)));
        in.run(44100);  // the first captures size the records on both sides
        const auto settled = sizesOf(in, 0);
        if (!t.check(!settled.empty() || !t.scope(), s.text() + ": no capture to settle on")) continue;
        const std::size_t seen = in.captures().size();
        in.messages().options().record = false;
        const int blocks = 88200 / s.block;
        const ProbeCounts c = countedRun(in, blocks, s.block);
        total_blocks += blocks;
        in.messages().options().record = true;
        in.run(44100);
        // The length must really have stayed put for the count to mean anything.
        for (std::int32_t n : sizesOf(in, seen))
            t.check(!settled.empty() && n == settled.back(), s.text() + ": capture length changed from " +
                                             std::to_string(settled.back()) + " to " + std::to_string(n));
        t.check(c.allocations == 0 && c.frees == 0 && c.locks == 0,
                s.text() + ": at a fixed capture length, " + std::to_string(c.allocations) + " allocation(s), " +
                    std::to_string(c.frees) + " free(s) and " + std::to_string(c.locks) + " lock(s) in " +
                    std::to_string(blocks) + " blocks");
    }
    total_blocks += unacknowledgedAllocations(t, lib);
    lengthChangeAllocations(t, lib);
    t.note("0 allocations, frees and locks expected and checked in " + std::to_string(total_blocks) +
           " blocks at fixed lengths");
}

// Busy for ever (acknowledgements dropped): waits and hold-offs only. The
// blocks counted.
long unacknowledgedAllocations(TestContext& t, const ModuleLibrary& lib) {
    {
        InstanceOptions o = quietOptions(44100.0f, 128);
        o.messages.ack = AckPolicy::Drop;
        Instance in(lib, o);
        Scenario s;
        applyScenario(in, s);
        in.run(4410);
        const ProbeCounts c = countedRun(in, 2000, 128);
        t.check(c.allocations == 0 && c.frees == 0 && c.locks == 0,
                "without acknowledgements: " + std::to_string(c.allocations) + " allocation(s), " +
                    std::to_string(c.frees) + " free(s), " + std::to_string(c.locks) + " lock(s) in 2000 blocks");
    }
    return 2000;
}

// Lengths that change every capture may allocate: counted, not judged.
void lengthChangeAllocations(TestContext& t, const ModuleLibrary& lib) {
    {
        Instance in(lib, quietOptions(44100.0f, 256));
        Scenario s;
        s.trigger = 0;
        applyScenario(in, s);
        const int time = pinOf(in, pins::kTime);
        if (time >= 0 && isSampleInput(in, time)) {
            in.setSignal(time, Signal::generator([](std::uint64_t first, float* out, int count) {
                for (int i = 0; i < count; ++i) out[i] = ((first + static_cast<std::uint64_t>(i)) / 5000) % 2 ? 0.3f : 0.35f;
            }));
            in.run(10000);
            const ProbeCounts c = countedRun(in, 400, 256);
            t.note(std::to_string(c.allocations) + " allocation(s) in 400 blocks while the length changes");
        }
    }
}

// One instance's life, each call followed by `same`; false when a call
// changed the state.
bool keepsState(TestContext& t, const ModuleLibrary& lib, const std::function<bool(const std::string&)>& same) {
    Scenario s;
    s.trigger = t.uniform(0, 4);
    s.connect_b = true;
    s.b.wave = Wave::Denormal;
    s.connect_ext = true;
    s.ext = Feed{Wave::Square, 0, 333.0};
    ScopeInstance in(lib, scenarioOptions(s));
    if (!same("makeModule and opcodes 2 and 3")) return false;
    applyScenario(in, s);
    in.open();
    if (!same("open")) return false;
    for (zolong op : {zo_audio_op::nothing_4, zo_audio_op::nothing_5, zo_audio_op::resume, zo_audio_op::nothing_9,
                      zo_audio_op::nothing_11, zo_audio_op::info}) {
        in.audioCall(op);
        if (!same("audio opcode " + std::to_string(op))) break;
    }
    Canvas c(90, 70, 0);
    for (int b = 0; b < 200; ++b) {
        in.processBlock(t.uniform(0, 512));
        if (!same("a processing call (block " + std::to_string(b) + ")")) break;
        if (b % 40 == 0) {
            in.paint(c.dc(), 90, 70);
            if (!same("paint")) break;
        }
    }
    for (zolong op : {zo_gui_op::initialise, zo_gui_op::window_open, zo_gui_op::window_close, zo_gui_op::idle,
                      zo_gui_op::new_connection, zo_gui_op::disconnect}) {
        ZOWndInfo w{90, 70, 0};
        in.displayCall(op, 0, 0, &w, 0.0f);
        if (!same("display opcode " + std::to_string(op))) break;
    }
    in.destroy();
    return same("opcode 1");
}

void fpState(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    struct Env {
        const char* name;
        int rounding;
        bool flush;
    };
    const Env envs[] = {{"default", FE_TONEAREST, false},
                        {"rounding upward", FE_UPWARD, false},
                        {"rounding toward zero", FE_TOWARDZERO, false},
                        {"flush-to-zero and denormals-are-zero", FE_TONEAREST, true}};
    const FpControl original = FpControl::now();
    for (const Env& env : envs) {
        std::fesetround(env.rounding);
#if defined(__x86_64__) || defined(__i386__)
        if (env.flush) _mm_setcsr(_mm_getcsr() | 0x8040u);
#endif
        const FpControl set = FpControl::now();
        auto same = [&](const std::string& call) {
            const FpControl now = FpControl::now();
            if (now == set) return true;
            t.fail(std::string(env.name) + ": " + call + " changed the floating-point control state (" + set.text() +
                   " -> " + now.text() + ")");
            return false;
        };
        if (!keepsState(t, lib, same)) break;
    }
    std::fesetround(original.rounding);
#if defined(__x86_64__) || defined(__i386__)
    _mm_setcsr((_mm_getcsr() & 0x3Fu) | original.sse);
#endif
}

}  // namespace

void addOracleTests(std::vector<TestCase>& out) {
    out.push_back({"oracle.buffers_untouched", "input buffers, and every byte past the processed range, unchanged",
                   &buffersUntouched});
    out.push_back({"oracle.capture_bounds", "capture lengths 1..44100, up to the growth limit in trigger mode 4",
                   &captureBounds, Profile::Scope});
    out.push_back({"oracle.no_allocation", "no heap call and no lock on the audio path at a fixed capture length",
                   &noAllocation});
    out.push_back({"oracle.fp_state", "the floating-point control state is as the host left it after every call",
                   &fpState});
}

}  // namespace zohost::validate
