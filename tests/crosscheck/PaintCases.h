// The pictures rendered on both sides of the cross-check with Windows GDI
// (under Wine): window sizes, captures and colours, each made the same way on
// every platform from its index alone.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "scopedata.h"

namespace crosscheck {

struct PaintCase {
    std::string name;
    int width, height;
    int samples;
    std::int16_t mode;  // 0 time, 1 X-Y, 2 Y-X
    float y_scale;      // volts
    bool background;    // black, or none
    bool far_values;    // samples far outside the window, infinities, NaN
    bool a_active = true, b_active = true;
    bool wide_values = false;  // points 2^22 to 2^28 away, lines across the window
};

inline std::vector<PaintCase> paintCases() {
    std::vector<PaintCase> cases;
    auto add = [&](int w, int h, int n, std::int16_t mode, float ys, bool bg, bool far) {
        PaintCase c{"", w, h, n, mode, ys, bg, far};
        c.name = std::to_string(w) + "x" + std::to_string(h) + " n" + std::to_string(n) + " mode" +
                 std::to_string(mode) + " ys" + std::to_string(ys).substr(0, 3) + (bg ? " black" : " none") +
                 (far ? " far" : "");
        cases.push_back(c);
    };
    const int sizes[][2] = {{200, 100}, {100, 60}, {640, 480}, {1, 1}, {7, 3}};
    const float scales[] = {0.0f, 1.0f, 2.5f, 6.0f};
    const int lengths[] = {1, 19, 100, 44100};
    for (const auto& s : sizes)
        for (std::int16_t mode = 0; mode < 3; ++mode)
            for (int li = 0; li < 4; ++li) {
                const float ys = scales[(li + mode) % 4];
                add(s[0], s[1], lengths[li], mode, ys, (li + mode) % 2 == 0, false);
            }
    for (const auto& s : sizes)
        for (std::int16_t mode = 0; mode < 3; ++mode) add(s[0], s[1], 100, mode, 10.0f, true, true);
    const int wide_sizes[][2] = {{200, 100}, {640, 480}, {100, 60}};
    for (const auto& s : wide_sizes)
        for (std::int16_t mode = 0; mode < 3; ++mode) {
            add(s[0], s[1], mode == 0 ? 100 : 19, mode, 1.0f, mode != 1, false);
            cases.back().wide_values = true;
            cases.back().name += " wide";
        }
    add(200, 100, 100, 1, 1.0f, false, false);
    cases.back().b_active = false;  // a figure with one channel falls back to the time display
    add(1920, 1080, 44100, 0, 1.0f, true, false);
    return cases;
}

// Channel A a sine, B a triangle, of incommensurate periods; or, with far
// values, every kind of value that lands far outside the window.
inline float sampleOf(const PaintCase& c, int channel, int i) {
    if (c.far_values) {
        const float kinds[] = {1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(), std::nanf(""),
                               3e9f, -3e9f, 0.25f, -0.5f, 1e-40f};
        return kinds[(i * (channel + 3)) % 10];
    }
    if (c.wide_values) {
        // Alternating sides at 2^22 to 2^28 pixels (k about 46 on 100 rows),
        // so that consecutive points join across the window. In a figure the
        // two channels keep a ratio for four samples at a time, so that the
        // lines pass near the centre, a few pixels apart.
        const float sizes[] = {9e4f, 1.3e5f, 4e5f, 1e6f, 2.2e6f, 2.9e6f, 5e6f, 1.2e7f, 3e5f, 6e4f, 7e6f};
        const float offsets[] = {0.0f, 0.1f, -0.2f, 0.3f, -0.05f};
        const float ratios[] = {0.05f, -0.02f, 0.3f, -1.0f, 0.004f};
        const float v = (i % 2 == 0 ? 1.0f : -1.0f) * sizes[i % 11];
        if (c.mode == 0) return channel == 0 ? v : -0.5f * v;
        return (channel == 0 ? v * ratios[(i / 4) % 5] : v) + offsets[(i + channel) % 5];
    }
    const double t = static_cast<double>(i) / (c.samples > 1 ? c.samples - 1 : 1);
    if (channel == 0) return static_cast<float>(0.8 * std::sin(6.283185307179586 * 3.0 * t));
    const double phase = std::fmod(t * 4.5, 1.0);
    return static_cast<float>(phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase) * 0.6f;
}

inline T_SCOPE recordOf(const PaintCase& c, std::vector<float>& storage) {
    storage.assign(2 * static_cast<std::size_t>(c.samples), 0.0f);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < c.samples; ++i) storage[static_cast<std::size_t>(ch) * c.samples + i] = sampleOf(c, ch, i);
    T_SCOPE s{};
    s.Samples = storage.data();
    s.ScopeSize = c.samples;
    s.Rate = 44100.0f;
    s.Time = 5.0f;
    s.Y_Scale = c.y_scale;
    s.X_Y_Mode = c.mode;
    s.Trigger = 3;
    s.Volt_Oktave = 1;
    s.Channel_Active[0] = c.a_active;
    s.Channel_Active[1] = c.b_active;
    return s;
}

}  // namespace crosscheck
