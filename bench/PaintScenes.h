// The pictures whose paint is timed, made the same way on every platform: a
// capture of a 440 Hz sine on channel A and a 220 Hz triangle on channel B at
// 44100 samples per second, as the audio side would have taken it.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "scopedata.h"

namespace zobench {

struct PaintScene {
    const char* name;
    int width, height;
    int samples;
    std::int16_t mode;  // 0 time display, 1 X-Y
};

inline std::vector<PaintScene> paintScenes() {
    return {
        {"time_44100_1920x1080", 1920, 1080, 44100, 0},  // the worst case
        {"time_100_640x360", 640, 360, 100, 0},          // the default capture
        {"xy_44100_1920x1080", 1920, 1080, 44100, 1},
    };
}

// Line segments the paint draws for the signal.
inline long segmentsOf(const PaintScene& s) {
    const long joins = s.samples > 1 ? s.samples - 1 : 0;
    return s.mode == 0 ? 2 * joins : joins;
}

inline float sceneSample(int channel, int i) {
    const double t = static_cast<double>(i) / 44100.0;
    if (channel == 0) return static_cast<float>(0.8 * std::sin(6.283185307179586 * 440.0 * t));
    const double phase = std::fmod(t * 220.0, 1.0);
    return static_cast<float>(0.6 * (phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase));
}

inline T_SCOPE sceneRecord(const PaintScene& s, std::vector<float>& storage) {
    storage.assign(2 * static_cast<std::size_t>(s.samples), 0.0f);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < s.samples; ++i)
            storage[static_cast<std::size_t>(ch) * s.samples + i] = sceneSample(ch, i);
    T_SCOPE r{};
    r.Samples = storage.data();
    r.ScopeSize = s.samples;
    r.Rate = 44100.0f;
    r.Time = 5.0f;
    r.Y_Scale = 1.0f;
    r.X_Y_Mode = s.mode;
    r.Trigger = 1;
    r.Volt_Oktave = 1;
    r.Channel_Active[0] = true;
    r.Channel_Active[1] = true;
    return r;
}

}  // namespace zobench
