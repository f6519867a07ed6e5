// Throughput of the host driving the real module, as benchmarks and long
// renders use it: no display, the host acknowledging captures, logging off.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Module.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace {

const zohost::ModuleLibrary& module() {
    static zohost::ModuleLibrary library(ZO_MODULE_FILE);
    return library;
}

std::vector<float> sine(std::size_t n, double cycles) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<float>(0.5 * std::sin(6.283185307179586 * cycles * static_cast<double>(i) / static_cast<double>(n)));
    return v;
}

void runBlocks(benchmark::State& state, bool split) {
    if (!module().loaded()) {
        state.SkipWithError(module().error().c_str());
        return;
    }
    const int block = static_cast<int>(state.range(0));
    zohost::InstanceOptions o;
    o.block_size = block;
    o.display = false;
    o.log_requests = false;
    o.messages.record = false;
    o.messages.self_ack_without_display = true;
    zohost::Instance inst(module(), o);
    std::vector<float> a = sine(44100, 441.0), b = sine(44100, 300.0);
    // The scope's pins by position, as its pin table orders them.
    inst.setSignal(PIN_SIGNAL_A, zohost::Signal::view(a.data(), a.size(), true));
    inst.setSignal(PIN_SIGNAL_B, zohost::Signal::view(b.data(), b.size(), true));
    inst.setSignal(PIN_TIME, zohost::Signal::constant(0.3f));
    inst.applyDefaults();
    if (split) inst.setSplitter(zohost::BlockSplitter::random(1, 48));
    for (auto _ : state) inst.processBlock(block);
    state.SetItemsProcessed(state.iterations() * block);
}

void BM_ProcessBlocks(benchmark::State& state) { runBlocks(state, false); }
void BM_ProcessBlocksRandomSplit(benchmark::State& state) { runBlocks(state, true); }

void BM_EventQueuePushPop(benchmark::State& state) {
    zohost::EventQueue q(1024);
    std::uint64_t now = 0;
    std::uint32_t stamp = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) q.push(ZoEvent(stamp + static_cast<std::uint32_t>((i * 37) % 64), 0, i, 0, nullptr), now);
        ZoEvent e;
        now += 64;
        while (q.popDue(now, e)) benchmark::DoNotOptimize(e);
        stamp += 64;
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

}  // namespace

BENCHMARK(BM_ProcessBlocks)->Arg(16)->Arg(64)->Arg(256)->Arg(1024);
BENCHMARK(BM_ProcessBlocksRandomSplit)->Arg(256);
BENCHMARK(BM_EventQueuePushPop);

BENCHMARK_MAIN();
