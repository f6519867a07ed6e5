// Loads the built module once per test program and helps drive instances of
// it through the host core.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "ScopeCaptures.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace zotest {

inline const zohost::ModuleLibrary& moduleLibrary() {
    static zohost::ModuleLibrary library(ZO_MODULE_PATH);
    EXPECT_TRUE(library.loaded()) << library.error();
    return library;
}

// A capture as the display received it: size, settings and samples.
struct Capture {
    std::int32_t size;
    float rate, time, y_scale;
    std::int16_t x_y_mode, trigger;
    bool active[2];
    std::vector<float> samples;
    std::uint64_t sent_clock;

    // Floats compared by their bits: a NaN setting or sample equals itself.
    bool operator==(const Capture& o) const {
        auto same = [](const float* a, const float* b, std::size_t n) {
            return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0;
        };
        return size == o.size && same(&rate, &o.rate, 1) && same(&time, &o.time, 1) &&
               same(&y_scale, &o.y_scale, 1) && x_y_mode == o.x_y_mode && trigger == o.trigger &&
               active[0] == o.active[0] && active[1] == o.active[1] && samples.size() == o.samples.size() &&
               same(samples.data(), o.samples.data(), samples.size());
    }
    float sample(int channel, int index) const {
        return samples[static_cast<std::size_t>(channel) * size + index];
    }
};

inline std::vector<Capture> captures(const zohost::CaptureRecorder& recorder) {
    std::vector<Capture> out;
    for (const zohost::Capture* r : recorder.captures()) {
        Capture c;
        c.size = r->scope.ScopeSize;
        c.rate = r->scope.Rate;
        c.time = r->scope.Time;
        c.y_scale = r->scope.Y_Scale;
        c.x_y_mode = r->scope.X_Y_Mode;
        c.trigger = r->scope.Trigger;
        c.active[0] = r->scope.Channel_Active[0];
        c.active[1] = r->scope.Channel_Active[1];
        c.samples = r->samples;
        c.sent_clock = r->clock;
        out.push_back(std::move(c));
    }
    return out;
}
inline std::vector<Capture> captures(const zohost::ScopeInstance& instance) { return captures(instance.recorder()); }

// A signal given as a function of the sample clock, evaluated per block.
inline zohost::Signal signalOf(std::function<float(std::uint64_t)> f) {
    return zohost::Signal::generator([f](std::uint64_t first, float* out, int count) {
        for (int i = 0; i < count; ++i) out[i] = f(first + static_cast<std::uint64_t>(i));
    });
}

inline float sineAt(std::uint64_t clock, double hz, double rate = 44100.0, double phase = 0.0) {
    const double kTwoPi = 6.283185307179586;
    return static_cast<float>(std::sin(kTwoPi * hz * static_cast<double>(clock) / rate + phase));
}

// Sample values that name their own clock exactly (below 2^24).
inline float rampAt(std::uint64_t clock) { return static_cast<float>(clock % (1u << 24)); }
inline std::uint64_t clockOf(float ramp_sample) { return static_cast<std::uint64_t>(ramp_sample); }

}  // namespace zotest
