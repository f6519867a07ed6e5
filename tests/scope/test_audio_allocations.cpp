// The audio path allocates only when a capture's length changes. The shared
// allocation probe, armed only inside processing calls, shows it: on Linux
// through interposition, on Windows through the module's import table.
#include <gtest/gtest.h>

#include "AllocProbe.h"
#include "ModuleFixture.h"

using namespace zotest;

namespace {

using zohost::probe::AllocProbe;

// Heap calls of both kinds and locks: none is allowed on the audio path.
long countedBlocks(zohost::Instance& in, int blocks, int block_size) {
    AllocProbe::reset();
    for (int b = 0; b < blocks; ++b) {
        zohost::probe::ProbeScope armed;
        in.processBlock(block_size);
    }
    const zohost::probe::ProbeCounts c = AllocProbe::counts();
    return c.allocations + c.frees + c.locks;
}

zohost::InstanceOptions quiet(int block) {
    zohost::InstanceOptions o;
    o.block_size = block;
    o.log_requests = false;
    o.messages.record = false;
    return o;
}

bool moduleAllocationsAreVisible() {
    return AllocProbe::watch(reinterpret_cast<const void*>(moduleLibrary().getModulePropertiesEntry()));
}

TEST(AudioAllocations, NoneAtAFixedCaptureLength) {
    if (!moduleAllocationsAreVisible()) GTEST_SKIP() << "allocations of the module are not visible here";
    // (The external trigger grows and shrinks every capture: not a fixed length.)
    for (int trigger : {0, 1, 2, 3}) {
        zohost::ScopeInstance in(moduleLibrary(), quiet(256));
        in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 440.0); }));
        in.setSignal("Signal B", zohost::Signal::constant(0.1f));
        in.setSignal("EXT-Trigger", signalOf([](std::uint64_t t) { return (t / 150) % 2 ? -1.0f : 1.0f; }));
        in.setValue("Trigger", trigger);
        in.run(44100);  // settle: the first captures size the record
        EXPECT_EQ(countedBlocks(in, 4000, 256), 0) << "trigger " << trigger;
    }
}

TEST(AudioAllocations, NoneWhileBusyWithoutAcknowledgement) {
    if (!moduleAllocationsAreVisible()) GTEST_SKIP() << "allocations of the module are not visible here";
    auto o = quiet(128);
    o.messages.ack = zohost::AckPolicy::Drop;
    zohost::ScopeInstance in(moduleLibrary(), o);
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 440.0); }));
    in.setValue("Trigger", 1);
    in.run(4410);
    EXPECT_EQ(countedBlocks(in, 5000, 128), 0);
}

// The negative control: a length change must be seen.
TEST(AudioAllocations, ALengthChangeIsCounted) {
    if (!moduleAllocationsAreVisible()) GTEST_SKIP() << "allocations of the module are not visible here";
    zohost::ScopeInstance in(moduleLibrary(), quiet(256));
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 440.0); }));
    float time = 0.5f;
    in.setSignal("Time", signalOf([&time](std::uint64_t) { return time; }));
    in.setValue("Trigger", 0);
    in.run(44100);
    time = 0.6f;
    EXPECT_GT(countedBlocks(in, 100, 256), 0);
}

}  // namespace
