// Capture and display with the audio object on one thread and the display on
// another, messages queued by the host between them: in lockstep the captures
// and the picture equal a single-threaded run with queued delivery; running
// free, every capture the display gets equals the one sent and nothing is
// written while the display may read. Also the host's link and its checks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "GuiModule.h"
#include "Module.h"
#include "ModuleFixture.h"
#include "zohost/Canvas.h"
#include "ThreadedCaptures.h"
#include "zohost/ThreadedInstance.h"

using namespace zotest;
using zohost::AckPolicy;
using zohost::BlockSplitter;
using zohost::Delivery;
using zohost::Direction;
using zohost::Fate;
using zohost::Instance;
using zohost::ScopeInstance;
using zohost::InstanceOptions;
using zohost::ReceivedCapture;
using zohost::ThreadedCaptures;
using zohost::ThreadedInstance;
using zohost::ThreadedOptions;

namespace {

enum Trigger { kAus = 0, kInputA = 1, kAuto = 3, kExt = 4 };
const int kWidth = 160;
const int kHeight = 90;

const GuiModule& guiOf(Instance& display) {
    return *static_cast<GuiModule*>(static_cast<ZOGUI_base*>(display.displayRecord()->object));
}
Module& moduleOf(Instance& audio) {
    return *static_cast<Module*>(static_cast<ZOModule_base*>(audio.audioRecord()->object));
}

Capture fromReceived(const ReceivedCapture& r) {
    Capture c;
    c.size = r.scope.ScopeSize;
    c.rate = r.scope.Rate;
    c.time = r.scope.Time;
    c.y_scale = r.scope.Y_Scale;
    c.x_y_mode = r.scope.X_Y_Mode;
    c.trigger = r.scope.Trigger;
    c.active[0] = r.scope.Channel_Active[0];
    c.active[1] = r.scope.Channel_Active[1];
    c.samples = r.samples;
    c.sent_clock = 0;
    return c;
}

Capture fromShown(const T_SCOPE& s) {
    Capture c;
    c.size = s.ScopeSize;
    c.rate = s.Rate;
    c.time = s.Time;
    c.y_scale = s.Y_Scale;
    c.x_y_mode = s.X_Y_Mode;
    c.trigger = s.Trigger;
    c.active[0] = s.Channel_Active[0];
    c.active[1] = s.Channel_Active[1];
    if (s.Samples && s.ScopeSize > 0) c.samples.assign(s.Samples, s.Samples + 2 * s.ScopeSize);
    c.sent_clock = 0;
    return c;
}

struct Scenario {
    const char* name;
    int trigger;
    int block;
    int split;  // 0: none, else the seed of random cuts
    float time;  // pin value of "Time"
};

// Inputs whose crossings never coincide, and a ramp that names each clock.
void feed(Instance& in, const Scenario& s) {
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 190.0); }));
    in.setSignal("Signal B", signalOf(rampAt));
    in.setSignal("EXT-Trigger", signalOf([](std::uint64_t t) { return sineAt(t, 70.0, 44100.0, 1.0); }));
    in.setSignal("Time", zohost::Signal::constant(s.time));
    in.setValue("Trigger", s.trigger);
    if (s.split) in.setSplitter(BlockSplitter::random(static_cast<std::uint64_t>(s.split), 97));
}

InstanceOptions base(int block) {
    InstanceOptions o;
    o.block_size = block;
    o.text_colour = 0x00E0E0E0;
    o.background = 0x00102030;
    return o;
}

const Scenario kScenarios[] = {
    {"InputA, blocks of 64", kInputA, 64, 0, 0.3f},
    {"Auto, blocks of 500 cut at random", kAuto, 500, 7, 0.2f},
    {"Aus, blocks of 128", kAus, 128, 0, 0.45f},
    {"Aus, blocks of 1024 cut at random", kAus, 1024, 3, 0.3f},
    {"EXT, blocks of 256", kExt, 256, 0, 0.5f},
};

}  // namespace

TEST(Link, AnAudioOnlyInstanceHandsEachCaptureToTheLink) {
    struct Recorder : zohost::MessageLink {
        std::vector<T_SCOPE> seen;
        std::vector<Direction> directions;
        void forward(Direction d, zolong size, zolong code, const void* ptr) override {
            directions.push_back(d);
            if (size == static_cast<zolong>(sizeof(T_SCOPE)) && code == SCOPE_MSG_DATA && ptr) {
                T_SCOPE s;
                std::memcpy(&s, ptr, sizeof s);
                seen.push_back(s);
            }
        }
    } link;
    InstanceOptions o = base(64);
    o.display = false;
    o.messages.link = &link;
    ScopeInstance in(moduleLibrary(), o);
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 190.0); }));
    in.setValue("Trigger", kInputA);
    in.run(20000);
    // No ack came back through the link: one capture, then busy.
    ASSERT_EQ(link.seen.size(), 1u);
    EXPECT_EQ(link.directions, std::vector<Direction>{Direction::ToDisplay});
    EXPECT_EQ(link.seen[0].Samples, moduleOf(in).scope().Samples) << "the audio side's own storage";
    ASSERT_EQ(in.messages().records().size(), 1u);
    EXPECT_EQ(in.messages().records()[0].fate, Fate::Linked);
    EXPECT_FALSE(in.messages().records()[0].delivered);
    EXPECT_TRUE(moduleOf(in).guiBusy());
    in.audioCall(zo_audio_op::gui_notify, 0, SCOPE_MSG_ACK);
    in.run(20000);
    EXPECT_GT(link.seen.size(), 1u);
}

TEST(Link, ADisplayOnlyInstanceHandsAcksToTheLinkUnlessDropped) {
    for (AckPolicy policy : {AckPolicy::Deliver, AckPolicy::Hold, AckPolicy::Drop}) {
        struct Recorder : zohost::MessageLink {
            std::vector<zolong> codes;
            void forward(Direction d, zolong, zolong code, const void*) override {
                EXPECT_EQ(d, Direction::ToAudio);
                codes.push_back(code);
            }
        } link;
        InstanceOptions o = base(64);
        o.audio = false;
        o.messages.link = &link;
        o.messages.ack = policy;
        ScopeInstance in(moduleLibrary(), o);
        std::vector<float> samples(2 * 50, 0.25f);
        T_SCOPE s{};
        s.Samples = samples.data();
        s.ScopeSize = 50;
        s.Rate = 44100.0f;
        in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &s);
        const bool dropped = policy == AckPolicy::Drop;
        EXPECT_EQ(link.codes, dropped ? std::vector<zolong>{} : std::vector<zolong>{SCOPE_MSG_ACK});
        ASSERT_EQ(in.messages().records().size(), 1u);
        EXPECT_EQ(in.messages().records()[0].fate, dropped ? Fate::Dropped : Fate::Linked);
        EXPECT_EQ(guiOf(in).scope().ScopeSize, 50);
    }
}

TEST(Threaded, InLockstepCapturesAndPictureEqualASingleThreadedRun) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        const std::uint64_t samples = 3 * 44100 / 2;

        InstanceOptions single_options = base(s.block);
        single_options.messages.delivery = Delivery::Queued;
        ScopeInstance single(moduleLibrary(), single_options);
        feed(single, s);
        single.run(samples);
        std::size_t acks_in_time = 0;
        for (const auto& r : single.messages().records())
            if (r.direction == Direction::ToAudio && r.delivered) ++acks_in_time;
        single.deliverMessages();
        const auto expected = captures(single);
        ASSERT_GE(expected.size(), 4u);
        zohost::Canvas expected_picture(kWidth, kHeight, 0);
        single.paint(expected_picture.dc(), kWidth, kHeight);

        ThreadedOptions o;
        o.instance = base(s.block);
        o.lockstep = true;
        o.paint_width = kWidth;
        o.paint_height = kHeight;
        ThreadedInstance threaded(moduleLibrary(), o);
        ThreadedCaptures view(threaded);
        feed(threaded.audio(), s);
        std::vector<Capture> shown;
        view.onDelivery([&](Instance& display, const ReceivedCapture&) {
            shown.push_back(fromShown(guiOf(display).scope()));
        });
        threaded.start();
        threaded.run(samples);
        threaded.stop();

        const auto sent = captures(view.sent());
        ASSERT_EQ(sent.size(), expected.size());
        for (std::size_t k = 0; k < sent.size(); ++k) {
            ASSERT_TRUE(sent[k] == expected[k]) << k;
            EXPECT_EQ(sent[k].sent_clock, expected[k].sent_clock) << k;
        }
        ASSERT_EQ(view.received().size(), sent.size());
        ASSERT_EQ(shown.size(), sent.size());
        for (std::size_t k = 0; k < sent.size(); ++k) {
            ASSERT_TRUE(fromReceived(view.received()[k]) == sent[k]) << k;
            ASSERT_TRUE(shown[k] == sent[k]) << k;
        }
        EXPECT_EQ(view.busyWindowViolations(), 0u);
        EXPECT_EQ(view.overlappingSends(), 0u);
        EXPECT_EQ(threaded.acksDelivered(), acks_in_time);

        ASSERT_NE(threaded.canvas(), nullptr);
        EXPECT_EQ(threaded.paints(), static_cast<int>(sent.size()));
        EXPECT_EQ(std::memcmp(threaded.canvas()->pixels(), expected_picture.pixels(),
                              sizeof(std::uint32_t) * kWidth * kHeight),
                  0)
            << "the display thread's last picture";
    }
}

TEST(Threaded, HeldAcksGiveTheSameHoldOffsAsASingleThreadedRun) {
    const Scenario s{"Aus, blocks of 100", kAus, 100, 0, 0.4f};
    InstanceOptions single_options = base(s.block);
    single_options.messages.delivery = Delivery::Queued;
    single_options.messages.ack = AckPolicy::Hold;
    single_options.messages.ack_hold_blocks = 3;
    ScopeInstance single(moduleLibrary(), single_options);
    feed(single, s);
    single.run(44100);
    const auto expected = captures(single);
    ASSERT_GE(expected.size(), 4u);

    ThreadedOptions o;
    o.instance = single_options;
    o.lockstep = true;
    ThreadedInstance threaded(moduleLibrary(), o);
    ThreadedCaptures view(threaded);
    feed(threaded.audio(), s);
    threaded.run(44100);
    threaded.stop();
    const auto sent = captures(view.sent());
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t k = 0; k < sent.size(); ++k) {
        ASSERT_TRUE(sent[k] == expected[k]) << k;
        EXPECT_EQ(sent[k].sent_clock, expected[k].sent_clock) << k;
    }
    EXPECT_EQ(view.busyWindowViolations(), 0u);
}

TEST(Threaded, RunningFreeTheDisplayGetsEveryCaptureAsSent) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        ThreadedOptions o;
        o.instance = base(s.block);
        o.paint_width = kWidth;
        o.paint_height = kHeight;
        ThreadedInstance threaded(moduleLibrary(), o);
        ThreadedCaptures view(threaded);
        feed(threaded.audio(), s);
        std::vector<Capture> shown;
        int delivery = 0;
        view.onDelivery([&](Instance& display, const ReceivedCapture&) {
            shown.push_back(fromShown(guiOf(display).scope()));
            // A slow display now and then: the audio side holds off meanwhile.
            if (++delivery % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        // Audio time passes while the display works: the audio thread gives
        // way for a moment in each block it spends waiting for an ack.
        threaded.onAudioBlock([](Instance& audio) {
            if (moduleOf(audio).guiBusy()) std::this_thread::sleep_for(std::chrono::microseconds(50));
        });
        threaded.start();
        for (int part = 0; part < 3; ++part) threaded.run(44100);
        threaded.settle();

        const auto sent = captures(view.sent());
        ASSERT_GE(sent.size(), 3u);
        ASSERT_EQ(view.received().size(), sent.size()) << "nothing lost between the threads";
        ASSERT_EQ(shown.size(), sent.size());
        for (std::size_t k = 0; k < sent.size(); ++k) {
            ASSERT_TRUE(fromReceived(view.received()[k]) == sent[k]) << k;
            ASSERT_TRUE(shown[k] == sent[k]) << k;
            // Channel B is a ramp: a capture is one unbroken stretch of input.
            const std::uint64_t start = clockOf(sent[k].sample(1, 0));
            for (int i = 0; i < sent[k].size; ++i)
                ASSERT_EQ(sent[k].sample(1, i), rampAt(start + static_cast<std::uint64_t>(i))) << k;
            if (k > 0) {
                EXPECT_GE(start, clockOf(sent[k - 1].sample(1, 0)) + sent[k - 1].size) << k;
            }
        }
        EXPECT_EQ(view.busyWindowViolations(), 0u);
        EXPECT_EQ(view.overlappingSends(), 0u);
        EXPECT_GE(threaded.acksDelivered() + 1, sent.size());
        threaded.stop();
    }
}

TEST(Threaded, AckThatNeverComesStopsCapturing) {
    ThreadedOptions o;
    o.instance = base(512);
    o.instance.messages.ack = AckPolicy::Drop;
    ThreadedInstance threaded(moduleLibrary(), o);
    ThreadedCaptures view(threaded);
    feed(threaded.audio(), Scenario{"", kAus, 512, 0, 0.3f});
    threaded.run(3 * 44100);
    threaded.stop();
    EXPECT_EQ(captures(view.sent()).size(), 1u);
    EXPECT_EQ(view.received().size(), 1u);
    EXPECT_EQ(threaded.acksDelivered(), 0u);
    EXPECT_TRUE(moduleOf(threaded.audio()).guiBusy());
}

// The host's own checks must fire when their rule is broken.
TEST(ThreadedChecks, AWriteIntoASentCaptureBeforeItsAckIsCounted) {
    ThreadedOptions o;
    o.instance = base(128);
    o.instance.messages.ack = AckPolicy::Hold;
    o.instance.messages.ack_hold_blocks = 4;
    // Lockstep: the display has copied before the next block, so the write
    // below races with nothing; only the ack is still on hold.
    o.lockstep = true;
    ThreadedInstance threaded(moduleLibrary(), o);
    ThreadedCaptures view(threaded);
    feed(threaded.audio(), Scenario{"", kAus, 128, 0, 0.3f});
    int spoiled = 0;
    std::size_t spoiled_capture = 0;
    threaded.onAudioBlock([&](Instance& audio) {
        Module& m = moduleOf(audio);
        const std::size_t sent = audio.messages().records().size();
        // Once in each of two busy windows.
        if (m.guiBusy() && m.scope().Samples && spoiled < 2 && sent != spoiled_capture) {
            m.scope().Samples[0] += 1.0f;
            ++spoiled;
            spoiled_capture = sent;
        }
    });
    threaded.run(44100);
    threaded.stop();
    ASSERT_EQ(spoiled, 2);
    EXPECT_EQ(view.busyWindowViolations(), 2u);
}

TEST(ThreadedChecks, ASecondCaptureBeforeTheAckIsCounted) {
    ThreadedOptions o;
    o.instance = base(128);
    o.instance.messages.ack = AckPolicy::Drop;
    o.lockstep = true;
    ThreadedInstance threaded(moduleLibrary(), o);
    ThreadedCaptures view(threaded);
    feed(threaded.audio(), Scenario{"", kAus, 128, 0, 0.3f});
    // An ack the host never sent: the module is free again while the host
    // still waits for the display's.
    threaded.onAudioBlock([&](Instance& audio) {
        if (moduleOf(audio).guiBusy()) audio.audioCall(zo_audio_op::gui_notify, 0, SCOPE_MSG_ACK);
    });
    threaded.run(20000);
    threaded.stop();
    EXPECT_GE(captures(view.sent()).size(), 3u);
    EXPECT_EQ(view.overlappingSends(), captures(view.sent()).size() - 1);
}
