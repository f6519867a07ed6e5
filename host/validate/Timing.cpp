// Time per sample on subnormal input against normal input of the same
// shape: a module that slows down much on subnormals (no flush to zero, a
// filter decaying into them) stalls a real host's audio thread. A warning,
// not a failure: timings on a shared machine are not a verdict.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

#include "Harness.h"

namespace zohost::validate {

namespace {

// More than this many times slower per sample on subnormal input warns.
constexpr double kSubnormalFactor = 10.0;
constexpr int kBlock = 512;
constexpr int kRepetitions = 15;
// A run lasts at least this long on normal input (a fast module gets more
// blocks), so that the clock's grain does not decide; short enough that
// most runs fit in one time slice of a loaded machine.
constexpr double kRunSeconds = 0.0005;
constexpr int kMaxBlocksPerRun = 4096;
// A factor above the limit is measured again; only one seen every time warns.
constexpr int kRounds = 3;

// The same alternating pattern at two magnitudes: the host's cost of
// feeding either is the same, only the values differ.
std::vector<float> pattern(float magnitude) {
    std::vector<float> v(kBlock * 4);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = ((i / 37) % 2 ? 1.0f : -1.0f) * magnitude * static_cast<float>(1 + i % 7);
    return v;
}

// One instance fed `data` on every sample input; the best of the runs, in
// seconds per sample, after one run to warm up.
struct Timed {
    Instance in;
    explicit Timed(const ModuleLibrary& lib, const std::vector<float>& data) : in(lib, quietOptions(44100.0f, kBlock)) {
        for (int p = 0; p < in.pinCount(); ++p)
            if (isSampleInput(in, p)) in.setSignal(p, Signal::view(data.data(), data.size(), true));
        run();
    }
    int blocks = 8;
    double run() {
        const auto t0 = std::chrono::steady_clock::now();
        for (int b = 0; b < blocks; ++b) in.processBlock(kBlock);
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        return d.count() / (static_cast<double>(blocks) * kBlock);
    }
};

void subnormalInput(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const std::vector<float> normal = pattern(3.0e-30f), subnormal = pattern(3.0e-40f);
    Timed a(lib, normal), b(lib, subnormal);
    for (Timed* x : {&a, &b})
        while (x->blocks < kMaxBlocksPerRun && x->run() * x->blocks * kBlock < kRunSeconds) x->blocks *= 2;
    double best_normal = 0.0, best_subnormal = 0.0, factor = 0.0;
    for (int round = 0; round < kRounds && (round == 0 || factor > kSubnormalFactor); ++round) {
        best_normal = best_subnormal = std::numeric_limits<double>::infinity();
        // Interleaved, so that a busy spell of the machine costs both alike.
        for (int r = 0; r < kRepetitions; ++r) {
            best_normal = std::min(best_normal, a.run());
            best_subnormal = std::min(best_subnormal, b.run());
        }
        factor = best_subnormal / std::max(best_normal, 1e-12);
    }
    char text[160];
    std::snprintf(text, sizeof text, "%.1f ns a sample on normal input, %.1f ns on subnormal input (x%.1f)",
                  best_normal * 1e9, best_subnormal * 1e9, factor);
    if (factor > kSubnormalFactor)
        t.warn(std::string(text) + ", more than x" + num(kSubnormalFactor) + ": flush subnormals to zero");
    else
        t.note(text);
    t.note("best of " + std::to_string(kRepetitions) + " runs of " + std::to_string(a.blocks * kBlock) + " and " +
           std::to_string(b.blocks * kBlock) + " samples");
}

}  // namespace

void addTimingTests(std::vector<TestCase>& out) {
    out.push_back({"timing.subnormal_input",
                   "time per sample on subnormal input at most 10 times that on normal input, else a warning",
                   &subnormalInput});
}

}  // namespace zohost::validate
