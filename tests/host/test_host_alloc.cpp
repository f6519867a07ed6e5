// With logging and recording off, the per-block path allocates nothing:
// counted through the program's own operator new. A program of its own, as
// the replacement reaches every test linked with it; sanitizers bring their
// own allocator, so there the count is not taken.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "FakeFixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZO_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZO_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef ZO_COUNT_ALLOCATIONS
#define ZO_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> g_allocations{0};
}

#if ZO_COUNT_ALLOCATIONS
// The replacements pair malloc with free; GCC sees new paired with free once inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

using namespace zohost;

using HostAllocation = FakeModuleTest;

TEST_F(HostAllocation, BlocksWithEventsSplitsAndSelfAcksAllocateNothing) {
    if (!ZO_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
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

    long before = g_allocations.load();
    for (int i = 0; i < 200; ++i) inst.processBlock(64);
    long during = g_allocations.load() - before;
    EXPECT_EQ(during, 0);
    EXPECT_GE(calls({FK_EVENT}).size(), 2u);
    EXPECT_EQ(audioOps(zo_audio_op::gui_notify).size(), 1u);  // the host's own ack came through
}

TEST_F(HostAllocation, TheCounterSeesAllocations) {
    if (!ZO_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
    long before = g_allocations.load();
    InstanceOptions o;
    o.log_requests = true;
    Instance inst(library, o);
    inst.processBlock(64);
    EXPECT_GT(g_allocations.load() - before, 0);
}
