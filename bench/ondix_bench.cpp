// The module against the physical limits of its work, through the host core:
// the audio path per state of the capture machine beside a memcpy of the same
// channels (capture) or a plain scan of the same buffer (waits), the hand-off
// of a capture to the display, the display's paint, and the memory of one
// instance. Items processed are samples on the audio path, round trips for
// the hand-off.
//
// Inputs are written once into the host's pin buffers (Signal::manual), so
// that the host's signal generation is not what is measured. Before timing,
// each scenario is run once with the message record on to check that the
// module is in the state the benchmark is named after.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AllocProbe.h"
#include "Generators.h"
#include "PaintScenes.h"
#include "Summary.h"
#include "ScopeCaptures.h"
#include "zohost/Canvas.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace {

using zohost::AckPolicy;
using zohost::Instance;
using zohost::probe::AllocProbe;
using zohost::probe::ProbeCounts;

// Counts this thread's allocations from now on.
void startCounting() {
    AllocProbe::reset();
    AllocProbe::arm(true);
}

ProbeCounts stopCounting() {
    AllocProbe::arm(false);
    return AllocProbe::counts();
}

const zohost::ModuleLibrary& library() {
    static zohost::ModuleLibrary lib(ZO_MODULE_FILE);
    static const bool marked = [] {
        if (lib.loaded()) AllocProbe::trackBlocks(lib.symbol("makeModule"));
        return true;
    }();
    (void)marked;
    return lib;
}

enum class Input { SineTriangle, ConstantPositive };

struct Scenario {
    int trigger;    // list index of "Trigger"
    int length;     // capture length: 100 (the default), 4410 or 44100
    bool display;   // a display object receives and copies each capture
    bool self_ack;  // without a display, the host acknowledges each capture at once
    AckPolicy ack;
    Input input;
};

// 0 "Aus": captures back to back, each acknowledged within its own send.
Scenario captureScenario(int length) { return {0, length, false, true, AckPolicy::Deliver, Input::SineTriangle}; }
// "InputA" on a signal that never goes below zero: only the timeout triggers.
Scenario waitScenario() { return {1, 100, false, true, AckPolicy::Deliver, Input::ConstantPositive}; }
// No acknowledgement ever comes back: hold-off after hold-off.
Scenario holdOffScenario(int length) { return {0, length, true, false, AckPolicy::Drop, Input::SineTriangle}; }
Scenario mixScenario() { return {1, 100, true, false, AckPolicy::Deliver, Input::SineTriangle}; }

// The generators' exact shapes, at the phase of sample `i` at 44.1 kHz.
float waveAt(zohost::gen::Shape shape, int i, double hz, double amplitude) {
    const double cycles = hz * i / 44100.0;
    return static_cast<float>(amplitude * zohost::gen::shapeValue(shape, cycles - std::floor(cycles)));
}

// Written once: the block repeats, the sine's phase jumping at its end.
void writeInputs(Instance& in, const Scenario& s, int block) {
    float* a = in.buffer("Signal A");
    float* b = in.buffer("Signal B");
    for (int i = 0; i < block; ++i) {
        a[i] = s.input == Input::ConstantPositive ? 0.5f : waveAt(zohost::gen::Shape::Sine, i, 440.0, 0.8);
        b[i] = waveAt(zohost::gen::Shape::Triangle, i, 220.0, 0.6);
    }
    // The inputs read once per capture carry what the pins' defaults give
    // (a value of 1.0 is 10 volts), except the time for the long captures.
    const float time = s.length == 100 ? 0.5f : s.length == 4410 ? 0.1f : 1.0f;
    std::fill(in.buffer("Time"), in.buffer("Time") + block, time);
    std::fill(in.buffer("Y-Scale"), in.buffer("Y-Scale") + block, 0.1f);
    std::fill(in.buffer("EXT-Trigger"), in.buffer("EXT-Trigger") + block, 0.0f);
}

std::unique_ptr<zohost::ScopeInstance> makeInstance(const Scenario& s, int block, bool record = false) {
    zohost::InstanceOptions o;
    o.block_size = block;
    o.messages.delivery = zohost::Delivery::Immediate;
    o.display = s.display;
    o.log_requests = false;
    o.messages.record = record;
    o.messages.self_ack_without_display = s.self_ack;
    o.messages.ack = s.ack;
    auto in = std::make_unique<zohost::ScopeInstance>(library(), o);
    for (const char* pin : {"Signal A", "Signal B", "Time", "Y-Scale", "EXT-Trigger"})
        in->setSignal(pin, zohost::Signal::manual());
    in->setConnected("Time", s.length != 100);
    in->setConnected("Y-Scale", false);
    in->setConnected("EXT-Trigger", false);
    in->applyDefaults();
    in->setValue("Trigger", s.trigger);
    in->setValue("Time-Mode", s.length == 100 ? 1 : 2);
    in->open();
    writeInputs(*in, s, block);
    return in;
}

// Long enough for the first captures to size both records, and for a few
// timeouts of the waits.
std::uint64_t settleSamples(const Scenario& s) { return 3 * static_cast<std::uint64_t>(s.length) + 44100; }

// Captures sent while the scenario runs `samples` samples after settling.
std::string checkStateOnce(const Scenario& s, int block, const char* state_name) {
    auto in = makeInstance(s, block, true);
    in->run(settleSamples(s));
    in->messages().clearRecords();
    const std::uint64_t samples = 20 * 44100;
    in->run(samples);
    const auto sent = static_cast<std::uint64_t>(in->captures().size());
    const std::uint64_t per_length = samples / static_cast<std::uint64_t>(s.length);
    bool ok = false;
    const std::string st = state_name;
    if (st == "capture") ok = sent + 1 >= per_length && sent <= per_length + 1;
    if (st == "wait") ok = sent >= 1 && sent <= samples / 14700 + 1;
    if (st == "hold-off") ok = sent == 0;
    if (st == "mix") ok = sent >= samples / 250 && sent <= per_length + 1;
    if (ok && s.display) {
        for (const zohost::Capture* c : in->captures())
            if (!in->delivered(*c)) ok = false;
    }
    if (ok) return std::string();
    return std::string("not in the ") + state_name + " state: " + std::to_string(sent) + " captures sent in " +
           std::to_string(samples) + " samples";
}

// The framework calls a benchmark several times (to size its iterations,
// and per repetition); the state is checked once per scenario and block.
std::string checkState(const Scenario& s, int block, const char* state_name) {
    static std::map<std::string, std::string> checked;
    const std::string key = std::string(state_name) + "/" + std::to_string(block) + "/" + std::to_string(s.length);
    auto it = checked.find(key);
    if (it == checked.end()) it = checked.emplace(key, checkStateOnce(s, block, state_name)).first;
    return it->second;
}

void finishAudio(benchmark::State& state, int block) {
    const ProbeCounts a = stopCounting();
    state.SetItemsProcessed(state.iterations() * block);
    state.counters["allocs"] = static_cast<double>(a.allocations);
}

// One host block per iteration, or with `direct` one call of the module's
// processing word for the whole block: the difference is the host's
// per-block work.
void runAudio(benchmark::State& state, const Scenario& s, const char* state_name, bool direct) {
    if (!library().loaded()) {
        state.SkipWithError(library().error().c_str());
        return;
    }
    const int block = static_cast<int>(state.range(0));
    const std::string problem = checkState(s, block, state_name);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    auto in = makeInstance(s, block);
    in->run(settleSamples(s));
    ZOMod_struct_base2* record = in->audioRecord();
    startCounting();
    if (direct) {
        // The record's process word changes with the state: read it each time.
        for (auto _ : state) record->process(record->object, 0, block);
    } else {
        for (auto _ : state) in->processBlock(block);
    }
    finishAudio(state, block);
}

// Arguments: block size, capture length.
void BM_Capture(benchmark::State& state) {
    runAudio(state, captureScenario(static_cast<int>(state.range(1))), "capture", false);
}

void BM_CaptureDirect(benchmark::State& state) {
    runAudio(state, captureScenario(static_cast<int>(state.range(1))), "capture", true);
}

void BM_Wait(benchmark::State& state) { runAudio(state, waitScenario(), "wait", false); }
void BM_WaitDirect(benchmark::State& state) { runAudio(state, waitScenario(), "wait", true); }
void BM_HoldOff(benchmark::State& state) {
    runAudio(state, holdOffScenario(static_cast<int>(state.range(1))), "hold-off", false);
}
void BM_Mix(benchmark::State& state) { runAudio(state, mixScenario(), "mix", false); }
void BM_MixDirect(benchmark::State& state) { runAudio(state, mixScenario(), "mix", true); }

// The physical limit of capturing: the memcpy calls a capture of `length`
// makes, from the same pin buffers, wrapping at the end of the record.
void BM_CaptureMemcpy(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const int length = static_cast<int>(state.range(1));
    auto in = makeInstance(captureScenario(length), block);
    const float* a = in->buffer("Signal A");
    const float* b = in->buffer("Signal B");
    std::vector<float> record(2 * static_cast<std::size_t>(length));
    float* const ch0 = record.data();
    float* const ch1 = record.data() + length;
    int count = 0;
    for (auto _ : state) {
        for (int done = 0; done < block;) {
            const int n = std::min(length - count, block - done);
            std::memcpy(ch0 + count, a + done, sizeof(float) * static_cast<std::size_t>(n));
            std::memcpy(ch1 + count, b + done, sizeof(float) * static_cast<std::size_t>(n));
            done += n;
            count += n;
            if (count == length) count = 0;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * block);
}

// The physical limit of waiting: one scan of the trigger buffer per block.
void BM_WaitFindIf(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    auto in = makeInstance(waitScenario(), block);
    const float* a = in->buffer("Signal A");
    for (auto _ : state) {
        const float* found = std::find_if(a, a + block, [](float x) { return x < 0.0f; });
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * block);
}

// One "data" message as the audio side sends it at the end of a capture, the
// display's copy, and the "ack" back to the audio side.
void BM_HandOff(benchmark::State& state) {
    if (!library().loaded()) {
        state.SkipWithError(library().error().c_str());
        return;
    }
    const int length = static_cast<int>(state.range(0));
    const Scenario s{0, length, true, false, AckPolicy::Deliver, Input::SineTriangle};
    auto in = makeInstance(s, 1024, true);
    in->run(settleSamples(s));
    const void* audio_record = nullptr;
    for (const zohost::Capture* r : in->captures())
        if (r->scope.ScopeSize == length) audio_record = r->ptr;
    if (!audio_record) {
        state.SkipWithError("no capture of that length was sent");
        return;
    }
    in->messages().clearRecords();
    in->messages().options().record = false;
    const int repaints = in->repaints();
    const std::uint64_t blocks = in->blocksStarted();
    void* const payload = const_cast<void*>(audio_record);
    startCounting();
    for (auto _ : state) in->messages().fromAudio(sizeof(T_SCOPE), SCOPE_MSG_DATA, payload, blocks);
    const ProbeCounts a = stopCounting();
    if (in->repaints() - repaints != static_cast<int>(state.iterations())) {
        state.SkipWithError("the display did not receive every capture");
        return;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * 2 * length * static_cast<std::int64_t>(sizeof(float)));
    state.counters["allocs"] = static_cast<double>(a.allocations);
}

// The copy alone: both channels from one record into another.
void BM_HandOffMemcpy(benchmark::State& state) {
    const std::size_t count = 2 * static_cast<std::size_t>(state.range(0));
    std::vector<float> from(count, 0.25f), to(count);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), count * sizeof(float));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(count * sizeof(float)));
}

long countPixels(const zohost::Canvas& canvas, std::uint32_t rgb) {
    const std::uint32_t* p = canvas.pixels();
    return static_cast<long>(
        std::count(p, p + static_cast<std::size_t>(canvas.width()) * canvas.height(), rgb));
}

// The display object's whole paint into a canvas of our drawing library.
void BM_Paint(benchmark::State& state) {
    if (!library().loaded()) {
        state.SkipWithError(library().error().c_str());
        return;
    }
    const zobench::PaintScene scene = zobench::paintScenes()[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(scene.name);
    zohost::InstanceOptions o;
    o.audio = false;
    o.log_requests = false;
    o.messages.record = false;
    Instance in(library(), o);
    std::vector<float> storage;
    T_SCOPE record = zobench::sceneRecord(scene, storage);
    in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &record);
    zohost::Canvas canvas(scene.width, scene.height, 0);
    if (!canvas.valid()) {
        state.SkipWithError("no canvas");
        return;
    }
    in.paint(canvas.dc(), scene.width, scene.height);
    // Channel B of the time display, or the figure, in its own colour.
    const std::uint32_t signal_rgb = scene.mode == 0 ? 0xFAFA00u : 0xFA1E1Eu;
    if (countPixels(canvas, signal_rgb) < 100) {
        state.SkipWithError("the signal was not drawn");
        return;
    }
    for (auto _ : state) {
        in.paint(canvas.dc(), scene.width, scene.height);
        benchmark::ClobberMemory();
    }
    state.counters["segments"] =
        benchmark::Counter(static_cast<double>(zobench::segmentsOf(scene)), benchmark::Counter::kIsIterationInvariantRate);
}

// Bytes one placed instance (audio and display object) holds once its
// captures have the given length: the module's own and the host core's.
void BM_InstanceMemory(benchmark::State& state) {
    if (!library().loaded()) {
        state.SkipWithError(library().error().c_str());
        return;
    }
    const int length = static_cast<int>(state.range(0));
    const Scenario s{1, length, true, false, AckPolicy::Deliver, Input::SineTriangle};
    {
        // What the first instance of a process sets up once is not per instance.
        auto first = makeInstance(s, 1024);
        first->run(settleSamples(s));
    }
    startCounting();
    auto in = makeInstance(s, 1024);
    in->run(settleSamples(s));
    const ProbeCounts a = stopCounting();
    for (auto _ : state) benchmark::DoNotOptimize(a);
    if (!a.live_known) {
        state.SkipWithError("the blocks could not be tracked");
        return;
    }
    state.counters["module_bytes"] = static_cast<double>(a.module_live_bytes);
    state.counters["module_allocs"] = static_cast<double>(a.module_allocations);
    state.counters["host_bytes"] = static_cast<double>(a.live_bytes - a.module_live_bytes);
    state.counters["total_bytes"] = static_cast<double>(a.live_bytes);
}

void blocks(benchmark::internal::Benchmark* b, std::initializer_list<int> lengths) {
    for (int length : lengths)
        for (int block : {64, 256, 1024}) b->Args({block, length});
}

}  // namespace

BENCHMARK(BM_Capture)->Apply([](auto* b) { blocks(b, {100, 44100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_CaptureMemcpy)->Apply([](auto* b) { blocks(b, {100, 44100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_CaptureDirect)->Apply([](auto* b) { blocks(b, {100, 44100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_Wait)->Apply([](auto* b) { blocks(b, {100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_WaitDirect)->Apply([](auto* b) { blocks(b, {100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_WaitFindIf)->Apply([](auto* b) { blocks(b, {100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_HoldOff)->Apply([](auto* b) { blocks(b, {100, 44100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_Mix)->Apply([](auto* b) { blocks(b, {100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_MixDirect)->Apply([](auto* b) { blocks(b, {100}); })->ArgNames({"block", "len"});
BENCHMARK(BM_HandOff)->Arg(100)->Arg(4410)->Arg(44100)->ArgName("len");
BENCHMARK(BM_HandOffMemcpy)->Arg(100)->Arg(4410)->Arg(44100)->ArgName("len");
BENCHMARK(BM_Paint)->DenseRange(0, 2)->ArgName("scene")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InstanceMemory)->Arg(100)->Arg(44100)->ArgName("len")->Iterations(1);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    zobench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
