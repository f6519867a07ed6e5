#include "ScopeWindow.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "scopedata.h"

namespace zohost::scope {

namespace {

// Time-Mode's values.
enum : int { kPerKilohertz = 0, kPerOctave = 1, kPerTenthSecond = 2, kPerThousandSamples = 3 };

int lengthOf(int mode, float pin, float rate) {
    T_SCOPE s{};
    DefaultScope(&s);
    s.Volt_Oktave = static_cast<std::int16_t>(mode);
    SetRate(&s, rate);
    SetTime(&s, pin);
    return TimeToScopeSize(&s);
}

float floatOf(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The pin value of `mode` whose length is nearest `wanted`. Lengths grow
// with the value but in the frequency and pitch modes, where they shrink;
// positive floats order as their bits do.
WindowSetting nearestIn(int mode, int wanted, double rate) {
    const bool shrinking = mode == kPerKilohertz || mode == kPerOctave;
    auto len = [&](std::uint32_t bits) { return lengthOf(mode, floatOf(bits), static_cast<float>(rate)); };
    // 0.0f .. 1.0f (10 volts); at exactly 0 the frequency mode falls back to
    // a second, so it is searched from the smallest positive value.
    std::uint32_t lo = shrinking ? 1 : 0, hi = 0x3F800000;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        const bool past = shrinking ? len(mid) <= wanted : len(mid) >= wanted;
        if (past)
            hi = mid;
        else
            lo = mid + 1;
    }
    std::uint32_t best = lo;
    if (lo > (shrinking ? 1u : 0u) && std::abs(len(lo - 1) - wanted) < std::abs(len(lo) - wanted)) best = lo - 1;
    WindowSetting r;
    r.time_mode = mode;
    r.time_pin = floatOf(best);
    r.samples = len(best);
    r.wanted = wanted;
    return r;
}

int modeOf(CaptureWindow::Unit unit) {
    switch (unit) {
    case CaptureWindow::Unit::Samples: return kPerThousandSamples;
    case CaptureWindow::Unit::Hertz: return kPerKilohertz;
    default: return kPerTenthSecond;
    }
}

}  // namespace

WindowSetting scopeWindow(const CaptureWindow& w, double rate) {
    double wanted = w.value;
    if (w.unit == CaptureWindow::Unit::Seconds) wanted = w.value * rate;
    if (w.unit == CaptureWindow::Unit::Hertz) wanted = rate / w.value;
    char buf[240];
    if (!(wanted >= 0.5 && wanted < SCOPE_MAX_TIMED_SIZE + 0.5)) {
        std::snprintf(buf, sizeof buf,
                      "%.0f samples at %g Hz; the module's captures are 1 to %d samples, "
                      "the nearest it shows is %d",
                      wanted, rate, SCOPE_MAX_TIMED_SIZE,
                      wanted < 1.0 ? 1 : static_cast<int>(SCOPE_MAX_TIMED_SIZE));
        throw std::invalid_argument(buf);
    }
    const int n = static_cast<int>(std::llround(wanted));
    // The window's own mode first, so that a time reads as a time.
    WindowSetting best = nearestIn(modeOf(w.unit), n, rate);
    for (int mode : {kPerTenthSecond, kPerThousandSamples, kPerKilohertz, kPerOctave}) {
        if (best.samples == n) break;
        const WindowSetting other = nearestIn(mode, n, rate);
        if (std::abs(other.samples - n) < std::abs(best.samples - n)) best = other;
    }
    if (std::abs(best.samples - n) > 1) {
        std::snprintf(buf, sizeof buf, "%d samples at %g Hz; the nearest the module shows is %d", n, rate,
                      best.samples);
        throw std::invalid_argument(buf);
    }
    return best;
}

}  // namespace zohost::scope
