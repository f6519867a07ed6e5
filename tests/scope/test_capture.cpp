// The audio side's trigger and capture machine, driven through the host core
// with the built module: trigger sources, timeouts, sample-exact starts,
// block-split invariance, the external trigger, hold-off and the hand-off.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "GuiModule.h"
#include "ModuleFixture.h"

using namespace zotest;
using zohost::Instance;
using zohost::ScopeInstance;
using zohost::InstanceOptions;
using zohost::Signal;

namespace {

enum Trigger { kAus = 0, kInputA = 1, kInputB = 2, kAuto = 3, kExt = 4 };

InstanceOptions options(int block, bool display = true) {
    InstanceOptions o;
    o.block_size = block;
    o.display = display;
    o.messages.delivery = zohost::Delivery::Immediate;  // acks within the send
    o.messages.self_ack_without_display = !display;
    return o;
}

// First sample of a capture, from a ramp on the channel it records.
std::uint64_t startOf(const Capture& c, int channel) { return clockOf(c.sample(channel, 0)); }

struct SourceCase {
    const char* name;
    int trigger;
    bool a_connected, b_connected;
    char source;  // 'A', 'B', 'E'
};

TEST(Trigger, EveryCaptureStartsAtARisingCrossingOfItsSource) {
    const SourceCase cases[] = {
        {"InputA", kInputA, true, true, 'A'}, {"InputB", kInputB, true, true, 'B'},
        {"Auto with both", kAuto, true, true, 'A'},
        {"Auto with A only", kAuto, true, false, 'A'},
        {"Auto with B only", kAuto, false, true, 'B'},
        {"EXT", kExt, true, true, 'E'},       {"unknown list value", 9, true, true, 'B'},
    };
    // Three sources whose crossings never coincide.
    auto a = [](std::uint64_t t) { return sineAt(t, 50.0); };
    auto b = [](std::uint64_t t) { return sineAt(t, 70.0, 44100.0, 1.0); };
    auto e = [](std::uint64_t t) { return sineAt(t, 30.0, 44100.0, 2.0); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopeInstance in(moduleLibrary(), options(1));
        if (c.a_connected) in.setSignal("Signal A", signalOf(a));
        if (c.b_connected) in.setSignal("Signal B", signalOf(b));
        in.setSignal("EXT-Trigger", signalOf(e));
        in.setValue("Trigger", c.trigger);
        in.run(44100);
        const auto caps = captures(in);
        ASSERT_GE(caps.size(), 5u);
        auto source = [&](std::uint64_t t) {
            return c.source == 'A' ? (c.a_connected ? a(t) : 0.0f)
                                   : c.source == 'B' ? (c.b_connected ? b(t) : 0.0f) : e(t);
        };
        // An external-trigger capture is sent at the crossing that ends it,
        // one sample after its last; the others at their last sample.
        const std::uint64_t after_last = c.trigger == kExt ? 1 : 0;
        // The first capture starts at once, without a trigger.
        EXPECT_EQ(caps[0].sent_clock, static_cast<std::uint64_t>(caps[0].size - 1) + after_last);
        for (std::size_t k = 1; k < caps.size(); ++k) {
            const std::uint64_t start = caps[k].sent_clock - after_last - (caps[k].size - 1);
            EXPECT_GE(source(start), 0.0f) << k;
            EXPECT_LT(source(start - 1), 0.0f) << k;
            // No earlier rising crossing after the previous capture ended.
            for (std::uint64_t t = caps[k - 1].sent_clock + 2; t < start; ++t)
                ASSERT_FALSE(source(t - 1) < 0.0f && source(t) >= 0.0f) << k << " " << t;
        }
    }
}

TEST(Trigger, CapturedSamplesAreTheInputsFromTheTriggerSample) {
    ScopeInstance in(moduleLibrary(), options(64));
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 441.0); }));
    in.setSignal("Signal B", signalOf(rampAt));
    in.setValue("Trigger", kInputA);
    in.run(44100);
    const auto caps = captures(in);
    ASSERT_GE(caps.size(), 10u);
    for (const auto& c : caps) {
        const std::uint64_t start = startOf(c, 1);
        EXPECT_EQ(c.sent_clock / 64, (start + c.size - 1) / 64) << "sent in the block of its last sample";
        for (int i = 0; i < c.size; ++i) {
            ASSERT_EQ(c.sample(1, i), rampAt(start + i));
            ASSERT_EQ(c.sample(0, i), sineAt(start + i, 441.0));
        }
    }
}

TEST(Trigger, TimeoutsForceACaptureAfterAThirdOfASecond) {
    const struct {
        const char* name;
        float level;
    } cases[] = {{"silence exactly 0.0", 0.0f}, {"constant negative", -0.3f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopeInstance in(moduleLibrary(), options(1));
        in.setSignal("Signal A", Signal::constant(c.level));
        in.setSignal("Signal B", signalOf(rampAt));
        in.setValue("Trigger", kInputA);
        in.run(4 * 14702 + 200);
        const auto caps = captures(in);
        ASSERT_GE(caps.size(), 3u);
        for (std::size_t k = 1; k < caps.size(); ++k) {
            const std::uint64_t end_before = startOf(caps[k - 1], 1) + caps[k - 1].size - 1;
            // 14700 samples of timeout; the wait that passes below zero hands
            // over with the next call.
            EXPECT_EQ(startOf(caps[k], 1), end_before + 14702) << k;
        }
    }
}

TEST(Trigger, TimeoutFollowsTheSampleRate) {
    ScopeInstance in(moduleLibrary(), [] {
        auto o = options(1);
        o.sample_rate = 48000.0f;
        return o;
    }());
    in.setSignal("Signal A", Signal::constant(0.0f));
    in.setSignal("Signal B", signalOf(rampAt));
    in.setValue("Trigger", kInputA);
    in.run(3 * 16002 + 200);
    const auto caps = captures(in);
    ASSERT_GE(caps.size(), 2u);
    EXPECT_EQ(startOf(caps[1], 1), startOf(caps[0], 1) + caps[0].size - 1 + 16002);
}

struct RunSpec {
    int trigger;
    int block;
    int split;  // 0: none; >0: random split seed
};

std::vector<Capture> runScope(const RunSpec& run, std::uint64_t samples) {
    ScopeInstance in(moduleLibrary(), options(run.block));
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 440.0); }));
    in.setSignal("Signal B", signalOf([](std::uint64_t t) {
        return static_cast<float>(std::fmod(static_cast<double>(t) * 660.0 / 44100.0, 1.0) - 0.5);
    }));
    in.setSignal("EXT-Trigger", signalOf([](std::uint64_t t) { return (t / 150) % 2 ? -1.0f : 1.0f; }));
    in.setSignal("Time", signalOf([](std::uint64_t t) { return 0.3f + 0.1f * ((t / 20000) % 3); }));
    in.setValue("Trigger", run.trigger);
    if (run.split) in.setSplitter(zohost::BlockSplitter::random(run.split, 37));
    in.run(samples);
    return captures(in);
}

TEST(Capture, IdenticalWhateverTheBlockSplits) {
    for (int trigger : {kAus, kInputA, kInputB, kAuto, kExt}) {
        SCOPED_TRACE("trigger " + std::to_string(trigger));
        const auto reference = runScope({trigger, 1, 0}, 88200);
        ASSERT_GE(reference.size(), 3u);
        for (RunSpec run : {RunSpec{trigger, 7, 0}, RunSpec{trigger, 64, 0}, RunSpec{trigger, 512, 0},
                             RunSpec{trigger, 4096, 0}, RunSpec{trigger, 512, 11},
                             RunSpec{trigger, 4096, 12345}}) {
            const auto caps = runScope(run, 88200);
            SCOPED_TRACE("block " + std::to_string(run.block) + " split " + std::to_string(run.split));
            ASSERT_EQ(caps.size(), reference.size());
            for (std::size_t k = 0; k < caps.size(); ++k) ASSERT_TRUE(caps[k] == reference[k]) << k;
        }
    }
}

// At 30 Hz a wait times out after 10 samples, and a square wave of 40
// samples on "Signal A" keeps both waits timing out. Empty processing calls
// then matter: one that meets a timed-out Wait-high forces the trigger.
const float kSlowRate = 30.0f;
float squareAt(std::uint64_t t) { return (t / 20) % 2 ? -1.0f : 1.0f; }

struct SlowRun {
    std::vector<int> parts;       // processing calls in turn; 0 is an empty call
    std::vector<int> block_sizes;  // calls of processBlock: each one a block of its own;
                                   // -1: an empty call at an offset no buffer reaches
    std::function<float(std::uint64_t)> time = [](std::uint64_t) { return 0.1f; };  // 3 samples
    std::function<float(std::uint64_t)> y_scale = [](std::uint64_t) { return 0.1f; };
};

std::vector<Capture> runSlow(const SlowRun& run, std::uint64_t samples) {
    auto o = options(run.parts.empty() ? 64 : 40);
    o.sample_rate = kSlowRate;
    ScopeInstance in(moduleLibrary(), o);
    in.setSignal("Signal A", signalOf(squareAt));
    in.setSignal("Signal B", signalOf(rampAt));
    in.setSignal("Time", signalOf(run.time));
    in.setSignal("Y-Scale", signalOf(run.y_scale));
    in.setValue("Trigger", kInputA);
    in.setValue("Time-Mode", 2);  // V/zehntel Sek.: 3 samples a volt at 30 Hz
    if (!run.parts.empty()) {
        in.setSplitter(zohost::BlockSplitter::pattern(run.parts));
        in.run(samples);
    }
    for (int n : run.block_sizes) {
        if (n >= 0) {
            in.processBlock(n);
            continue;
        }
        const zolong beyond = sizeof(zolong) > 4 ? static_cast<zolong>(std::int64_t{1} << 40) : zolong{1} << 28;
        ZOMod_struct_base2* r = in.audioRecord();
        r->process(r->object, beyond, 0);
    }
    return captures(in);
}

std::vector<std::uint64_t> startsOf(const std::vector<Capture>& caps) {
    std::vector<std::uint64_t> out;
    for (const auto& c : caps) out.push_back(startOf(c, 1));
    return out;
}

TEST(EmptyCalls, WorkedCaseAtThirtyHertz) {
    // Blocks of 40 cut as given. Capture 0..2 hands Wait-low the rest of the
    // first call (3, 4) and the second (5..19), all high: 2 + 15 samples
    // run the timeout of 10 out, and Wait-high takes over from clock 20.
    // Without an empty call it finds 20..29 low, times out, and the capture
    // begins with the next call, at 30. An empty call at 20 meets Wait-high
    // timed out and forces the trigger: the capture begins at 20. Empty calls
    // elsewhere find nothing and change nothing.
    const struct {
        const char* name;
        std::vector<int> parts;
        std::vector<std::uint64_t> starts;
    } cases[] = {
        {"no empty call", {5, 15, 10, 10}, {0, 30, 40, 70, 80, 110}},
        {"empty call after Wait-low timed out", {5, 15, 0, 10, 10}, {0, 20, 40, 60, 80, 100}},
        {"two empty calls there", {5, 15, 0, 0, 10, 10}, {0, 20, 40, 60, 80, 100}},
        {"empty call before a capture's first sample", {0, 5, 15, 10, 10}, {0, 30, 40, 70, 80, 110}},
        {"empty call while Wait-low counts", {5, 0, 15, 10, 10}, {0, 30, 40, 70, 80, 110}},
        {"empty call while Wait-high counts", {5, 15, 10, 10, 0}, {0, 30, 40, 70, 80, 110}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SlowRun run;
        run.parts = c.parts;
        const auto caps = runSlow(run, 120);
        EXPECT_EQ(startsOf(caps), c.starts);
        for (const auto& cap : caps) {
            EXPECT_EQ(cap.size, 3);
            EXPECT_EQ(cap.rate, kSlowRate);
        }
    }
    // The same calls as blocks of their own, the empty ones far outside any
    // buffer: they read nothing, and the second one meets the capture before
    // its first sample, whose "Time" and "Y-Scale" wait for the next call.
    SlowRun run;
    run.block_sizes = {5, 15, -1, -1, 10, 10, 5, 15, 10, 10};
    EXPECT_EQ(startsOf(runSlow(run, 0)), (std::vector<std::uint64_t>{0, 20, 40, 70}));
}

// The routines' steps for trigger "InputA" with every capture acknowledged
// at once, written out for a sequence of calls: capture starts and lengths.
struct StepModel {
    enum State { kCapture, kWaitLow, kWaitHigh };
    State state = kCapture;
    std::int32_t count = 0, timeout = 0, size = 0;
    std::uint64_t start = 0;
    bool skip_empty = false;  // the fault to catch: empty calls return at once
    std::function<std::int32_t(std::uint64_t)> length;
    std::vector<std::pair<std::uint64_t, std::int32_t>> caps;

    void call(std::uint64_t t, std::int64_t c) {
        if (c == 0 && skip_empty) return;
        switch (state) {
        case kWaitLow:
            for (std::int64_t i = 0; i < c; ++i)
                if (squareAt(t + i) < 0.0f) {
                    count = 0;
                    state = kWaitHigh;
                    return call(t + i, c - i);
                }
            timeout -= static_cast<std::int32_t>(c);
            if (timeout < 0) state = kWaitHigh;
            return;
        case kWaitHigh:
            for (std::int64_t i = 0; i < c; ++i)
                if (squareAt(t + i) >= 0.0f) {
                    force();
                    return call(t + i, c - i);
                }
            timeout -= static_cast<std::int32_t>(c);
            if (timeout < 0) force();
            return;
        case kCapture: {
            if (count == 0) {
                if (c == 0) return;  // its settings are read at its first sample
                start = t;
                size = length(t);
            }
            const std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(size - count, c));
            count += n;
            if (count < size) return;
            caps.push_back({start, size});
            state = kWaitLow;
            timeout = static_cast<std::int32_t>(kSlowRate) / 3;
            if (c - n > 0) call(t + n, c - n);
            return;
        }
        }
    }
    void force() {
        count = 0;
        state = kCapture;
    }
};

TEST(EmptyCalls, RandomEmptyCallsFollowTheSteps) {
    // "Time" and "Y-Scale" differ at every sample, so a capture shows the
    // sample it read them at; an empty block of its own leaves the buffers
    // holding the previous block, which no read may reach.
    auto time = [](std::uint64_t t) { return 0.1f + 0.01f * static_cast<float>(t % 13); };
    auto y_scale = [](std::uint64_t t) { return static_cast<float>(t % 89) / 100.0f; };
    auto length = [&](std::uint64_t t) {
        T_SCOPE s{};
        s.Rate = kSlowRate;
        s.Volt_Oktave = 2;
        SetTime(&s, time(t));
        return TimeToScopeSize(&s);
    };
    auto expectSteps = [&](const std::vector<int>& blocks, const std::vector<Capture>& caps, bool skip_empty) {
        StepModel m;
        m.length = length;
        m.skip_empty = skip_empty;
        std::uint64_t clock = 0;
        for (int n : blocks) {
            m.call(clock, n);
            clock += static_cast<std::uint64_t>(n);
        }
        bool same = m.caps.size() == caps.size();
        for (std::size_t k = 0; same && k < caps.size(); ++k) {
            T_SCOPE settings{};
            SetTime(&settings, time(m.caps[k].first));
            SetY_Scale(&settings, y_scale(m.caps[k].first));
            same = startOf(caps[k], 1) == m.caps[k].first && caps[k].size == m.caps[k].second &&
                   caps[k].time == settings.Time && caps[k].y_scale == settings.Y_Scale;
        }
        return same;
    };
    int forced_differently = 0;
    for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::vector<int> plain, with_empty;
        for (std::uint64_t total = 0; total < 6000;) {
            const int n = static_cast<int>(rng() % 12) + 1;
            plain.push_back(n);
            with_empty.push_back(n);
            total += static_cast<std::uint64_t>(n);
            while (rng() % 4 == 0) with_empty.push_back(0);
        }
        SlowRun a, b;
        a.time = b.time = time;
        a.y_scale = b.y_scale = y_scale;
        a.block_sizes = plain;
        b.block_sizes = with_empty;
        const auto without = runSlow(a, 0);
        const auto with = runSlow(b, 0);
        ASSERT_GE(without.size(), 50u);
        EXPECT_TRUE(expectSteps(plain, without, false));
        EXPECT_TRUE(expectSteps(with_empty, with, false));
        // Negative control: empty calls that did nothing would give other captures.
        EXPECT_FALSE(expectSteps(with_empty, with, true));
        if (startsOf(with) != startsOf(without)) ++forced_differently;
    }
    EXPECT_EQ(forced_differently, 5) << "every seed met a timed-out wait with an empty call";
}

TEST(ExternalTrigger, OnePeriodOfASquareWave) {
    ScopeInstance in(moduleLibrary(), options(512));
    in.setSignal("Signal A", signalOf(rampAt));
    in.setSignal("EXT-Trigger", signalOf([](std::uint64_t t) { return (t / 150) % 2 ? -1.0f : 1.0f; }));
    in.setValue("Trigger", kExt);
    in.run(44100);
    const auto caps = captures(in);
    ASSERT_GE(caps.size(), 5u);
    for (std::size_t k = 1; k < caps.size(); ++k) {
        EXPECT_EQ(caps[k].size, 300) << k;
        EXPECT_EQ(startOf(caps[k], 0) % 300, 0u) << "starts at a rising edge";
        for (int i = 0; i < caps[k].size; ++i) ASSERT_EQ(caps[k].sample(0, i), rampAt(startOf(caps[k], 0) + i));
    }
}

TEST(ExternalTrigger, GrowsByDoublingAndIsCutAfterOneSecond) {
    ScopeInstance in(moduleLibrary(), options(512));
    in.setSignal("Signal A", signalOf(rampAt));
    in.setSignal("Signal B", signalOf([](std::uint64_t t) { return -rampAt(t); }));
    in.setSignal("EXT-Trigger", Signal::constant(0.5f));
    in.setValue("Trigger", kExt);
    in.run(3 * 44100);
    const auto caps = captures(in);
    ASSERT_GE(caps.size(), 2u);
    // The first capture is sized from the time settings; the next one starts
    // from that length and doubles until a second of samples has passed.
    EXPECT_EQ(caps[0].size, 51200);
    const auto& c = caps[1];
    EXPECT_EQ(c.size, 51200);
    const std::uint64_t start = startOf(c, 0);
    for (int i = 0; i < c.size; ++i) {
        ASSERT_EQ(c.sample(0, i), rampAt(start + i)) << i;
        ASSERT_EQ(c.sample(1, i), -rampAt(start + i)) << i;
    }
}

TEST(HoldOff, NothingIsWrittenWhileTheDisplayIsBusy) {
    auto o = options(256);
    o.messages.delivery = zohost::Delivery::Queued;
    o.messages.ack = zohost::AckPolicy::Hold;
    o.messages.ack_hold_blocks = 5;
    ScopeInstance in(moduleLibrary(), o);
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 300.0); }));
    in.setSignal("Signal B", signalOf(rampAt));
    in.setValue("Trigger", kAus);
    const T_SCOPE& shown =
        static_cast<GuiModule*>(static_cast<ZOGUI_base*>(in.displayRecord()->object))->scope();
    std::size_t checked = 0;
    for (int block = 0; block < 200; ++block) {
        in.processBlock(256);
        // The display copies each capture a block or more after it was sent,
        // through the pointer in the message: it must see what was sent.
        const auto caps = in.captures();
        for (std::size_t r = caps.size(); r-- > 0;) {
            const zohost::MessageRecord* sent = in.messageOf(*caps[r]);
            if (!sent || !sent->delivered) continue;
            if (r + 1 > checked) {
                EXPECT_GT(sent->delivered_clock, sent->clock);
                ASSERT_EQ(shown.ScopeSize, caps[r]->scope.ScopeSize);
                for (int i = 0; i < 2 * shown.ScopeSize; ++i)
                    ASSERT_EQ(shown.Samples[i], caps[r]->samples[i]) << r << " " << i;
                checked = r + 1;
            }
            break;
        }
    }
    const auto caps = captures(in);
    ASSERT_GE(caps.size(), 3u);
    EXPECT_GT(checked, caps.size() - 2);
    for (std::size_t k = 1; k < caps.size(); ++k) {
        const std::uint64_t gap = startOf(caps[k], 1) - (startOf(caps[k - 1], 1) + caps[k - 1].size);
        EXPECT_GT(gap, 0u) << "held acks force hold-offs";
        EXPECT_EQ(gap % caps[k - 1].size, 0u) << "hold-offs last whole capture lengths";
    }
}

TEST(HoldOff, AusWithImmediateAcksCapturesBackToBack) {
    ScopeInstance in(moduleLibrary(), options(300));
    in.setSignal("Signal B", signalOf(rampAt));
    in.setValue("Trigger", kAus);
    in.run(20000);
    const auto caps = captures(in);
    ASSERT_GE(caps.size(), 100u);
    for (std::size_t k = 1; k < caps.size(); ++k)
        ASSERT_EQ(startOf(caps[k], 1), startOf(caps[k - 1], 1) + caps[k - 1].size) << k;
}

TEST(HoldOff, AckThatNeverComesStopsCapturing) {
    auto o = options(512);
    o.messages.ack = zohost::AckPolicy::Drop;
    for (int trigger : {kAus, kInputA}) {
        ScopeInstance in(moduleLibrary(), o);
        in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 300.0); }));
        in.setValue("Trigger", trigger);
        in.run(5 * 44100);
        EXPECT_EQ(captures(in).size(), 1u) << trigger;
    }
}

TEST(Opening, ChannelsAndRateAreTakenAtOpening) {
    const struct {
        bool a, b;
    } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        auto o = options(128);
        o.sample_rate = 48000.0f;
        ScopeInstance in(moduleLibrary(), o);
        if (c.a) in.setSignal("Signal A", Signal::constant(0.25f));
        if (c.b) in.setSignal("Signal B", Signal::constant(-0.5f));
        in.setValue("Trigger", kAus);
        in.open();
        in.audioCall(zo_audio_op::set_sample_rate, 0, 0, nullptr, 96000.0f);  // too late for the record
        if (!c.a) in.setConnected("Signal A", true);  // and so is a new connection
        in.run(1000);
        const auto caps = captures(in);
        ASSERT_FALSE(caps.empty());
        for (const auto& cap : caps) {
            EXPECT_EQ(cap.rate, 48000.0f);
            EXPECT_EQ(cap.active[0], c.a);
            EXPECT_EQ(cap.active[1], c.b);
            for (int i = 0; i < cap.size; ++i) {
                ASSERT_EQ(cap.sample(0, i), c.a ? 0.25f : 0.0f);
                ASSERT_EQ(cap.sample(1, i), c.b ? -0.5f : 0.0f);
            }
        }
    }
}

TEST(Opening, FirstCaptureUsesTimeAndScaleOfItsFirstSample) {
    ScopeInstance in(moduleLibrary(), options(32));
    in.setSignal("Signal A", Signal::constant(0.1f));
    in.setSignal("Time", Signal::constant(0.1f));      // 1 V/Oktave: 1603 samples
    in.setSignal("Y-Scale", Signal::constant(0.25f));  // 2.5 V
    in.setValue("Trigger", kAus);
    in.run(2000);
    const auto caps = captures(in);
    ASSERT_FALSE(caps.empty());
    EXPECT_EQ(caps[0].size, 1603);
    EXPECT_EQ(caps[0].time, 1.0f);
    EXPECT_EQ(caps[0].y_scale, 2.5f);
}

TEST(Opening, FewerPinsThanTheTableIsSafe) {
    for (int pins : {0, 1, 2, 3, 5}) {
        auto o = options(64);
        o.pin_count = pins;
        ScopeInstance in(moduleLibrary(), o);
        in.run(44100);  // inputs the host never made read as silence
        const auto caps = captures(in);
        ASSERT_FALSE(caps.empty()) << pins;
        for (const auto& c : caps) {
            EXPECT_FALSE(c.active[0]);
            EXPECT_FALSE(c.active[1]);
        }
    }
}

}  // namespace
