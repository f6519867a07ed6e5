// The audio path allocates only when a capture's length changes. A counting
// operator new, armed only inside processing calls, shows it. The module's
// allocations reach this program's operator new where the platform lets a
// program replace it for the libraries it loads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ModuleFixture.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

// These replace the global allocation functions, so malloc and free pair up.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace zotest;

namespace {

long countedBlocks(zohost::Instance& in, int blocks, int block_size) {
    g_allocations = 0;
    for (int b = 0; b < blocks; ++b) {
        g_counting = true;
        in.processBlock(block_size);
        g_counting = false;
    }
    return g_allocations.load();
}

zohost::InstanceOptions quiet(int block) {
    zohost::InstanceOptions o;
    o.block_size = block;
    o.log_requests = false;
    o.messages.record = false;
    return o;
}

bool moduleAllocationsAreVisible() {
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__)
    return false;  // the module carries its own runtime, or the sanitizer owns new
#else
    return true;
#endif
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
