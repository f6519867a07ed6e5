// The sample clock, the event queue and block splitting, seen from the fake
// module: where processing calls are cut and when events arrive.
#include <gtest/gtest.h>

#include <string>

#include "FakeFixture.h"

using namespace zohost;

namespace {

// "P<offset>+<count>@<clock>" for a processing call, "E<type>.<value1>@<clock>/<stamp>" for an event.
std::string trace(const std::vector<FakeCall>& calls) {
    std::string s;
    for (const FakeCall& c : calls) {
        if (!s.empty()) s += " ";
        if (c.kind == FK_PROCESS || c.kind == FK_PROCESS2)
            s += std::string(c.kind == FK_PROCESS ? "P" : "Q") + std::to_string(c.offset) + "+" +
                 std::to_string(c.count) + "@" + std::to_string(c.clock);
        else if (c.kind == FK_EVENT)
            s += "E" + std::to_string(c.event.type) + "." + std::to_string(c.event.int_value1) + "@" +
                 std::to_string(c.clock) + "/" + std::to_string(c.event.time_stamp);
    }
    return s;
}

}  // namespace

class HostEvents : public FakeModuleTest {
protected:
    std::string run(Instance& inst, int blocks, int size) {
        for (int i = 0; i < blocks; ++i) inst.processBlock(size);
        return trace(calls({FK_PROCESS, FK_PROCESS2, FK_EVENT}));
    }
};

TEST_F(HostEvents, BlocksAreCutExactlyAtTimeStamps) {
    Instance inst(library);
    inst.open();
    addEvent(inst, 25, 6);
    addEvent(inst, 10, 5);
    addEvent(inst, 25, 7);  // same stamp: after the one queued first
    addEvent(inst, 64, 8);  // the next block's first sample
    EXPECT_EQ(run(inst, 2, 64),
              "P0+10@0 E5.0@10/10 P10+15@10 E6.0@25/25 E7.0@25/25 P25+39@25 "
              "E8.0@64/64 P0+64@64");
}

TEST_F(HostEvents, EventsQueuedWhileProcessingCutLaterBlocks) {
    fake->in_process_count = 2;
    fake->in_process[0] = FakeInProcess{0, 70, 3, 1};   // queued at clock 0 for 70
    fake->in_process[1] = FakeInProcess{1, 100, 3, 2};  // queued at clock 64 for 164
    Instance inst(library);
    EXPECT_EQ(run(inst, 3, 64), "P0+64@0 P0+6@64 E3.1@70/70 P6+58@70 P0+36@128 E3.2@164/164 P36+28@164");
}

TEST_F(HostEvents, LateEventsArriveAtTheStartOfTheNextBlock) {
    fake->in_process_count = 1;
    fake->in_process[0] = FakeInProcess{0, 3, 4, 9};  // inside the part being processed
    InstanceOptions o;
    o.block_size = 16;
    Instance inst(library, o);
    inst.processBlock(16);
    addEvent(inst, 5, 2);  // the clock is already 16
    EXPECT_EQ(run(inst, 1, 16), "P0+16@0 E4.9@16/3 E2.0@16/5 P0+16@16");
}

TEST_F(HostEvents, EventsQueuedDuringDeliveryForTheSameClockComeFirst) {
    fake->chain_type = 9;  // each delivery of type 9 queues the next, int_value2 times
    Instance inst(library);
    inst.open();
    addEvent(inst, 20, 9, 0, 3);
    addEvent(inst, 20, 4);
    addEvent(inst, 21, 1);
    EXPECT_EQ(run(inst, 1, 32),
              "P0+20@0 E9.0@20/20 E4.0@20/20 E9.1@20/20 E9.2@20/20 E9.3@20/20 P20+1@20 E1.0@21/21 P21+11@21");
}

TEST_F(HostEvents, EventsAreCopiedDuringTheRequest) {
    // The fake overwrites its event right after add_event returns.
    fake->in_process_count = 1;
    fake->in_process[0] = FakeInProcess{0, 40, 12, 77};
    Instance inst(library);
    EXPECT_EQ(run(inst, 2, 32), "P0+32@0 P0+8@32 E12.77@40/40 P8+24@40");
    FakeCall e = calls({FK_EVENT})[0];
    EXPECT_EQ(e.event.next, nullptr);
    EXPECT_EQ(e.event.int_value2, 0);
}

TEST_F(HostEvents, TheModuleSeesTheLow32BitsOfTheClockAcrossTheWrap) {
    InstanceOptions o;
    o.block_size = 32;
    o.start_clock = (1ull << 32) - 10;
    Instance inst(library, o);
    inst.open();
    addEvent(inst, 6, 1);  // 16 samples on, past the wrap
    EXPECT_EQ(run(inst, 1, 32), "P0+16@4294967286 E1.0@6/6 P16+16@6");
    EXPECT_EQ(inst.clock(), (1ull << 32) + 22);
    EXPECT_EQ(calls({FK_PROCESS})[1].buffer_clock, 4294967286u);
}

TEST_F(HostEvents, SplitPatternsTileEachBlockIncludingEmptyParts) {
    InstanceOptions o;
    o.block_size = 10;
    Instance inst(library, o);
    inst.setSplitter(BlockSplitter::pattern({0, 1, 4}));
    inst.open();
    addEvent(inst, 3, 1);
    // Parts 0,1,4 in turn across blocks; the event cuts a 4 at 3, the block end the last 4.
    EXPECT_EQ(run(inst, 2, 10),
              "P0+0@0 P0+1@0 P1+2@1 E1.0@3/3 P3+0@3 P3+1@3 P4+4@4 P8+0@8 P8+1@8 P9+1@9 "
              "P0+0@10 P0+1@10 P1+4@11 P5+0@15 P5+1@15 P6+4@16");
}

TEST_F(HostEvents, RandomSplitsTileEveryBlockAndRepeatWithTheSeed) {
    auto parts = [&](std::uint64_t seed) {
        fake->call_count = 0;
        InstanceOptions o;
        o.block_size = 50;
        Instance inst(library, o);
        inst.setSplitter(BlockSplitter::random(seed, 7));
        inst.open();
        addEvent(inst, 33, 1);
        addEvent(inst, 77, 2);
        for (int b = 0; b < 4; ++b) inst.processBlock(b == 3 ? 0 : 50);
        return calls({FK_PROCESS, FK_EVENT});
    };
    std::vector<FakeCall> a = parts(5);
    EXPECT_EQ(trace(a), trace(parts(5)));
    EXPECT_NE(trace(a), trace(parts(6)));
    std::uint64_t expect_clock = 0;
    int zero_parts = 0, events = 0;
    for (const FakeCall& c : a) {
        if (c.kind == FK_EVENT) {
            ++events;
            EXPECT_EQ(c.clock, c.event.time_stamp);
            continue;
        }
        EXPECT_EQ(c.clock, expect_clock);
        EXPECT_EQ(static_cast<std::uint64_t>(c.buffer_clock) + static_cast<std::uint64_t>(c.offset), expect_clock);
        expect_clock += static_cast<std::uint64_t>(c.count);
        if (c.count == 0) ++zero_parts;
    }
    EXPECT_EQ(expect_clock, 150u);
    EXPECT_EQ(events, 2);
    EXPECT_GT(zero_parts, 0);
}

TEST_F(HostEvents, AnEmptyBlockStillDeliversDueEventsAndCallsOnce) {
    Instance inst(library);
    inst.open();
    addEvent(inst, 0, 3);
    EXPECT_EQ(run(inst, 1, 0), "E3.0@0/0 P0+0@0");
    EXPECT_EQ(inst.clock(), 0u);
}

TEST_F(HostEvents, TheProcessWordIsReadAgainForEveryPart) {
    fake->switch_at_call = 2;  // the second call switches routine and sends process_changed
    InstanceOptions o;
    o.block_size = 12;
    Instance inst(library, o);
    inst.setSplitter(BlockSplitter::pattern({4}));
    EXPECT_EQ(run(inst, 2, 12), "P0+4@0 P4+4@4 Q8+4@8 Q0+4@12 Q4+4@16 Q8+4@20");
    EXPECT_EQ(inst.processChanges(), 1);
    EXPECT_EQ(inst.log().count(Side::Audio, zo_request::process_changed), 1u);
}

TEST_F(HostEvents, RequestLogStampsEachRequestWithTheClock) {
    InstanceOptions o;
    o.block_size = 8;
    Instance inst(library, o);
    inst.setSplitter(BlockSplitter::pattern({3}));
    inst.run(8);
    std::vector<RequestEntry> clocks = inst.log().find(Side::Audio, zo_request::sample_clock);
    ASSERT_FALSE(clocks.empty());
    for (const RequestEntry& e : clocks) {
        EXPECT_EQ(static_cast<std::uint64_t>(static_cast<std::uint32_t>(e.answer)), e.clock);
        EXPECT_EQ(e.record, inst.audioRecord());
        EXPECT_TRUE(e.known);
    }
    std::vector<RequestEntry> buffers = inst.log().find(Side::Audio, zo_request::pin_buffer);
    ASSERT_GE(buffers.size(), 6u);
    EXPECT_EQ(buffers[0].index, 0);
    EXPECT_EQ(buffers[0].answer, reinterpret_cast<zolong>(inst.buffer(0)));
}
