// The length of every capture outside the external trigger follows from the
// time value and the time mode in force at its first sample and the rate:
// checked against the rule, computed here, while both inputs keep changing
// and earlier settings come back.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "Harness.h"

namespace zohost::validate {

namespace {

// The capture length the time settings give. Where the rule leaves the
// precision of an intermediate step open, both 32-bit and 64-bit are right.
std::vector<std::int32_t> lengthsFor(float time, int mode, float rate) {
    std::vector<std::int32_t> out;
    for (int variant = 0; variant < 4; ++variant) {
        const bool float_period = variant & 1, float_product = (variant & 2) != 0;
        double period;
        switch (mode) {
        case 0: period = time > 0.0f ? 1.0 / (static_cast<double>(time) * 1000.0) : 1.0; break;
        case 1:
            period = static_cast<float>(1.0 / (440.0 * std::pow(2.0, static_cast<double>(time) - 5.0)));
            break;
        case 3: period = static_cast<double>(time) * 1000.0 / static_cast<double>(rate); break;
        default: period = static_cast<double>(time) / 10.0; break;
        }
        if (float_period) period = static_cast<float>(period);
        double product = static_cast<double>(rate) * period;
        if (float_product) product = static_cast<float>(product);
        std::int32_t n;
        if (std::isnan(product))
            n = 1;
        else if (product > 44100.0)
            n = 44100;
        else {
            n = static_cast<std::int32_t>(product);
            if (n <= 0) n = 1;
        }
        out.push_back(n);
    }
    return out;
}

float voltsOf(float v) {
    const float x = v * 10.0f;
    return x < 0.0f ? 0.0f : x > 10.0f ? 10.0f : x;
}

// Each capture of the run against the time and the mode at its first
// sample; returns how many were checked, or -1 after too many failures.
int checkLengths(TestContext& t, const ScopeInstance& in, const Feed& noise, const std::map<std::uint64_t, int>& modes,
                 const std::function<float(std::uint64_t)>& timeAt, float rate, int block) {
    int checked = 0;
    for (const Capture* c : in.captures()) {
        if (c->samples.empty() || c->scope.Trigger != 0) continue;
        const std::size_t n = static_cast<std::size_t>(c->scope.ScopeSize);
        const std::int64_t lo = static_cast<std::int64_t>(c->clock) - static_cast<std::int64_t>(n) - 1;
        const std::int64_t hi = static_cast<std::int64_t>(c->clock) + block - static_cast<std::int64_t>(n);
        const std::int64_t start = findRunStart(c->samples.data(), n, noise, lo, hi);
        if (!t.check(start >= 0, "capture of " + std::to_string(n) + " samples sent at clock " +
                                     std::to_string(c->clock) + " is not a run of \"" + pins::kSignalA + "\""))
            continue;
        const std::uint64_t s = static_cast<std::uint64_t>(start);
        const int m = std::prev(modes.upper_bound(s))->second;
        const float volts = voltsOf(timeAt(s));
        const float held = c->scope.Time;
        const auto want = lengthsFor(held, m, rate);
        const bool ok = std::find(want.begin(), want.end(), c->scope.ScopeSize) != want.end();
        t.check(ok, "rate " + num(rate) + ": capture starting at clock " + std::to_string(s) + " with Time " +
                        num(held) + " V in " + pins::kTimeMode + " " + std::to_string(m) + " has " + std::to_string(n) +
                        " samples, not " + std::to_string(want[0]));
        t.check(std::fabs(held - volts) <= 1e-5f, "capture starting at clock " + std::to_string(s) +
                                                      " holds Time " + num(held) + ", its first sample gave " +
                                                      num(volts));
        ++checked;
        if (t.failures() > 3) return -1;
    }
    return checked;
}

void captureLength(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const int rounds = t.count(2, 8);
    for (int r = 0; r < rounds; ++r) {
        const float rate = t.pick(std::vector<float>{44100.0f, 48000.0f, 8000.0f, 96000.0f});
        const int block = t.pick(std::vector<int>{64, 500, 2048});
        ScopeInstance in(lib, recordingOptions(rate, block));
        const int a = pinOf(in, pins::kSignalA), time = pinOf(in, pins::kTime), mode = pinOf(in, pins::kTimeMode),
                  trig = pinOf(in, pins::kTrigger);
        if (a < 0 || time < 0 || mode < 0 || trig < 0 || !isSampleInput(in, time) || !isList(in, mode)) {
            t.skip(std::string("no \"") + pins::kSignalA + "\", \"" + pins::kTime + "\", \"" + pins::kTimeMode + "\" and \"" +
                   pins::kTrigger + "\" pins");
            return;
        }
        Feed noise{Wave::Noise, t.rng()(), 100.0};
        in.setSignal(a, waveSignal(noise.wave, noise.seed, noise.period));
        in.setValue(trig, 0);
        // The time pin steps through values that repeat, every few thousand samples.
        const std::vector<float> times = {0.0f, 0.01f, 0.05f, 0.1f, 0.35f, 0.5f, 0.7f, 1.0f, 1.2f, -0.3f, 0.002f};
        std::vector<float> steps;
        for (int i = 0; i < 64; ++i) steps.push_back(t.pick(times));
        const std::uint64_t step_len = static_cast<std::uint64_t>(t.uniform(700, 9000));
        auto timeAt = [steps, step_len](std::uint64_t clock) { return steps[(clock / step_len) % steps.size()]; };
        in.setSignal(time, Signal::generator([timeAt](std::uint64_t first, float* out, int count) {
            for (int i = 0; i < count; ++i) out[i] = timeAt(first + static_cast<std::uint64_t>(i));
        }));
        // The time mode changes between blocks, out of range at times.
        std::map<std::uint64_t, int> modes;  // clock from which a mode holds
        const int mode_values[] = {0, 1, 2, 3, 0, 1, 3, 5, -1};
        int current = t.uniform(0, 3);
        in.setValue(mode, current);
        modes[0] = current;
        const std::uint64_t samples = 300000;
        for (std::uint64_t at = 0; at < samples;) {
            if (t.uniform(0, 5) == 0) {
                current = mode_values[t.uniform(0, 8)];
                in.setValue(mode, current);
                modes[at] = current;
            }
            const int n = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(block), samples - at));
            in.processBlock(n);
            at += static_cast<std::uint64_t>(n);
        }
        const int checked = checkLengths(t, in, noise, modes, timeAt, rate, block);
        if (checked < 0) return;
        t.check(checked > 10, "only " + std::to_string(checked) + " captures to check at rate " + num(rate));
    }
}

}  // namespace

void addCaptureLengthTests(std::vector<TestCase>& out) {
    out.push_back({"signal.capture_length", "each capture's length follows the time pin and the time mode at its first sample",
                   &captureLength, Profile::Scope});
}

}  // namespace zohost::validate
