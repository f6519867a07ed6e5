// The audio side's trigger and capture machine, driven through the host core
// with the built module: trigger sources, timeouts, sample-exact starts,
// block-split invariance, the external trigger, hold-off and the hand-off.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
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
        in.audioCall(2, 0, 0, nullptr, 96000.0f);  // too late for the record
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
