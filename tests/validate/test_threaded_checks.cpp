// What the validator's threaded pass reads from ThreadedInstance: hooks that
// add up rather than replace each other, one call of the after-block hook per
// block, the count of what the display sent, and messages sent on a thread
// other than their object's (the detector, with its negative control).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ModuleFixture.h"
#include "ThreadedCaptures.h"
#include "zohost/ThreadedInstance.h"

using namespace zotest;
using zohost::Instance;
using zohost::ThreadedCaptures;
using zohost::ThreadedInstance;
using zohost::ThreadedMessage;
using zohost::ThreadedOptions;

namespace {

ThreadedOptions options(int block) {
    ThreadedOptions o;
    o.instance.block_size = block;
    o.lockstep = true;
    return o;
}

void feed(Instance& audio) {
    audio.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 190.0); }));
    audio.setValue("Trigger", 1);
}

}  // namespace

TEST(ThreadedChecks, HooksOfAKindRunInTheOrderSetAndNoneReplacesAnother) {
    ThreadedInstance threaded(moduleLibrary(), options(128));
    std::vector<std::string> display_order;  // display thread, read after stop()
    std::vector<std::string> audio_order;    // audio thread, read after run()
    // ThreadedCaptures takes the display and delivery hooks first.
    ThreadedCaptures view(threaded);
    threaded.beforeDisplayDelivery([&](Instance&, const ThreadedMessage&) { display_order.push_back("before 2"); });
    threaded.afterDisplayDelivery([&](Instance&, const ThreadedMessage&) { display_order.push_back("after 2"); });
    threaded.beforeAudioDelivery([&](Instance&, const ThreadedMessage&) { audio_order.push_back("delivery"); });
    int before_blocks = 0, after_blocks = 0, second_before = 0;
    threaded.onAudioBlock([&](Instance&) {
        EXPECT_EQ(before_blocks, after_blocks) << "a block started before the last one ended";
        ++before_blocks;
    });
    threaded.onAudioBlock([&](Instance&) { ++second_before; });
    threaded.afterAudioBlock([&](Instance&) { ++after_blocks; });
    feed(threaded.audio());
    threaded.start();
    threaded.run(10 * 128 + 5);
    threaded.stop();

    EXPECT_EQ(before_blocks, 11);
    EXPECT_EQ(second_before, 11);
    EXPECT_EQ(after_blocks, 11);
    ASSERT_FALSE(view.received().empty()) << "the first hooks still run";
    ASSERT_EQ(display_order.size(), 2 * view.received().size());
    for (std::size_t k = 0; k < display_order.size(); k += 2) {
        EXPECT_EQ(display_order[k], "before 2");
        EXPECT_EQ(display_order[k + 1], "after 2");
    }
    EXPECT_EQ(audio_order.size(), threaded.acksDelivered());
}

TEST(ThreadedChecks, WhatTheDisplaySentIsCountedOnceEach) {
    ThreadedInstance threaded(moduleLibrary(), options(256));
    ThreadedCaptures view(threaded);
    feed(threaded.audio());
    threaded.start();
    threaded.run(44100);
    threaded.stop();
    ASSERT_GE(view.received().size(), 3u);
    // The scope answers each capture with one "ack"; in lockstep all but
    // perhaps the last reached the audio side before the run ended.
    EXPECT_EQ(threaded.sentByDisplay(), view.received().size());
    EXPECT_GE(threaded.acksDelivered() + 1, threaded.sentByDisplay());
    EXPECT_TRUE(threaded.threadViolations().empty()) << threaded.threadViolations().front();
}

// The negative control: the display object takes a capture on this thread,
// which is neither of the two, while the display thread runs; its "ack" is
// named for the thread it came on.
TEST(ThreadedChecks, AnAckFromAThreadOtherThanTheDisplaysIsNamed) {
    ThreadedInstance threaded(moduleLibrary(), options(256));
    feed(threaded.audio());
    threaded.start();
    threaded.run(4096);
    threaded.settle();
    ASSERT_TRUE(threaded.threadViolations().empty());
    std::vector<float> samples(2 * 50, 0.25f);
    T_SCOPE s{};
    s.Samples = samples.data();
    s.ScopeSize = 50;
    s.Rate = 44100.0f;
    // As a window thread may call the display when the host holds no lock.
    threaded.display().displayCall(zo_gui_op::module_msg, sizeof s, SCOPE_MSG_DATA, &s);
    threaded.stop();
    const auto v = threaded.threadViolations();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0], "\"ack\" sent by the display object (request gui_send_to_audio) on a thread of neither object, "
                    "not on the display thread");
}

// The other way: "data" of the audio object sent while the audio thread
// is not the caller (here, the display thread is running and this thread
// calls the audio object directly, as a host that got its threads wrong).
TEST(ThreadedChecks, DataFromAThreadOtherThanTheAudioThreadIsNamed) {
    ThreadedInstance threaded(moduleLibrary(), options(256));
    feed(threaded.audio());
    std::atomic<bool> sent_outside{false};
    threaded.start();
    // During the run, the audio thread is known: a send from elsewhere is wrong.
    threaded.onAudioBlock([&](Instance& audio) {
        if (sent_outside.exchange(true)) return;
        std::thread other([&audio] { audio.processBlock(256); });
        other.join();
    });
    threaded.run(44100);
    threaded.stop();
    bool named = false;
    for (const std::string& v : threaded.threadViolations())
        named = named || v == "\"data\" sent by the audio object (request send_to_gui) on a thread of neither "
                              "object, not on the audio thread";
    EXPECT_TRUE(named) << "violations: " << threaded.threadViolations().size();
}
