// With logging and recording off, the per-block path allocates nothing:
// counted by the shared allocation probe, watching this program's own calls
// (on Windows through this program's import table).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "AllocProbe.h"
#include "FakeFixture.h"

namespace {

using zohost::probe::AllocProbe;

bool hostAllocationsAreVisible() {
    static const int here = 0;
    return AllocProbe::watch(&here);
}

long allocationsIn(const std::function<void()>& work) {
    AllocProbe::reset();
    {
        zohost::probe::ProbeScope armed;
        work();
    }
    return AllocProbe::counts().allocations;
}

}  // namespace

using namespace zohost;

using HostAllocation = FakeModuleTest;

TEST_F(HostAllocation, BlocksWithEventsSplitsAndSelfAcksAllocateNothing) {
    if (!hostAllocationsAreVisible()) GTEST_SKIP() << "allocations are not counted here";
    fake->in_process_count = 2;
    fake->in_process[0] = FakeInProcess{3, 40, 1, 0};
    fake->in_process[1] = FakeInProcess{5, 10, 2, 0};
    fake->send_at_call = 4;
    fake->scope_size = 8;
    InstanceOptions o;
    o.block_size = 64;
    o.display = false;
    o.log_requests = false;
    o.messages.record = false;
    o.messages.self_ack_without_display = true;
    Instance inst(library, o);
    std::vector<float> data(4096, 0.25f);
    inst.setSignal("In A", Signal::samples(data, true));
    inst.setSignal("In B", Signal::constant(0.5f));
    inst.setSplitter(BlockSplitter::random(3, 20));
    inst.processBlock(64);  // warm-up: opening and first use

    EXPECT_EQ(allocationsIn([&] {
                  for (int i = 0; i < 200; ++i) inst.processBlock(64);
              }),
              0);
    EXPECT_GE(calls({FK_EVENT}).size(), 2u);
    EXPECT_EQ(audioOps(zo_audio_op::gui_notify).size(), 1u);  // the host's own ack came through
}

TEST_F(HostAllocation, TheCounterSeesAllocations) {
    if (!hostAllocationsAreVisible()) GTEST_SKIP() << "allocations are not counted here";
    EXPECT_GT(allocationsIn([&] {
                  InstanceOptions o;
                  o.log_requests = true;
                  Instance inst(library, o);
                  inst.processBlock(64);
              }),
              0);
}

// The benchmarks' figures: a block allocated while armed stays live until it
// is freed, on whichever thread; one allocated before does not count.
TEST(AllocProbeBlocks, LiveBytesFollowTheBlocksAllocatedWhileArmed) {
    static const int here = 0;
    if (!AllocProbe::trackBlocks(&here)) GTEST_SKIP() << "blocks are not tracked here";
    void* (*volatile allocate)(std::size_t) = &std::malloc;
    void (*volatile release)(void*) = &std::free;
    void* before = allocate(1000);
    AllocProbe::reset();
    void *kept, *gone;
    {
        zohost::probe::ProbeScope armed;
        kept = allocate(100);
        gone = allocate(28);
        release(before);
    }
    zohost::probe::ProbeCounts c = AllocProbe::counts();
    EXPECT_TRUE(c.live_known);
    EXPECT_EQ(c.allocations, 2);
    EXPECT_EQ(c.bytes, 128);
    EXPECT_EQ(c.live_bytes, 128);
    std::thread([&] { release(gone); }).join();
    EXPECT_EQ(AllocProbe::counts().live_bytes, 100);
    release(kept);
    EXPECT_EQ(AllocProbe::counts().live_bytes, 0);
}
