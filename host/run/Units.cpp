#include "run/Units.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "scopedata.h"

namespace zohost::tool {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The number at the front of `text` and the unit after it (spaces allowed
// between); false when there is no number.
bool split(const std::string& text, double& number, std::string& unit) {
    const char* s = text.c_str();
    char* end = nullptr;
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    number = std::strtod(s, &end);
    if (end == s || !std::isfinite(number)) return false;
    while (*end == ' ') ++end;
    unit = lower(end);
    return true;
}

const double kVoltsPerPinUnit = 10.0;

}  // namespace

double parsePinValue(const std::string& text, const std::string& what) {
    double v;
    std::string unit;
    if (!split(text, v, unit)) throw std::invalid_argument("bad " + what + " \"" + text + "\"");
    if (unit.empty()) return v;
    if (unit == "v") return v / kVoltsPerPinUnit;
    if (unit == "mv") return v / 1000.0 / kVoltsPerPinUnit;
    throw std::invalid_argument("bad " + what + " \"" + text + "\": give volts (5V, 250mV) or a pin value (0.5)");
}

double parseVolts(const std::string& text, const std::string& what) {
    double v;
    std::string unit;
    if (!split(text, v, unit) || (unit != "v" && unit != "mv"))
        throw std::invalid_argument(what + ": \"" + text + "\" should be volts, like 2V or 500mV");
    return unit == "v" ? v / kVoltsPerPinUnit : v / 1000.0 / kVoltsPerPinUnit;
}

double parseSeconds(const std::string& text, const std::string& what) {
    double v;
    std::string unit;
    if (!split(text, v, unit)) throw std::invalid_argument(what + ": \"" + text + "\" is not a time");
    if (unit.empty() || unit == "s") return v;
    if (unit == "ms") return v / 1000.0;
    if (unit == "min") return v * 60.0;
    throw std::invalid_argument(what + ": \"" + text + "\" should be seconds, like 1.5s or 250ms");
}

Window parseWindow(const std::string& text) {
    double v;
    std::string unit;
    Window w;
    if (split(text, v, unit) && v > 0.0) {
        w.value = v;
        if (unit == "s") return w;
        if (unit == "ms") {
            w.value = v / 1000.0;
            return w;
        }
        if (unit == "samples" || unit == "sample") {
            w.unit = Window::Unit::Samples;
            return w;
        }
        if (unit == "hz" || unit == "khz") {
            w.unit = Window::Unit::Hertz;
            w.value = unit == "hz" ? v : v * 1000.0;
            return w;
        }
    }
    throw std::invalid_argument("--window: \"" + text +
                                "\" should be a time (20ms, 0.5s), a length (4410samples) or a frequency whose "
                                "period to show (440Hz)");
}

namespace {

int lengthOf(int mode, float pin, float rate) {
    T_SCOPE s{};
    DefaultScope(&s);
    s.Volt_Oktave = static_cast<std::int16_t>(mode);
    SetRate(&s, rate);
    SetTime(&s, pin);
    return TimeToScopeSize(&s);
}

}  // namespace

WindowSetting windowSetting(const Window& w, double rate) {
    WindowSetting r;
    double wanted;
    switch (w.unit) {
    case Window::Unit::Seconds:
        r.time_mode = 2;  // "V/zehntel Sek.": a volt is a tenth of a second
        wanted = w.value * rate;
        break;
    case Window::Unit::Samples:
        r.time_mode = 3;  // "V/1000 Samples"
        wanted = w.value;
        break;
    default:
        r.time_mode = 0;  // "V/KHz": the period of a frequency in kHz
        wanted = rate / w.value;
        break;
    }
    r.wanted = static_cast<int>(std::llround(wanted));
    // Search the pin values for the length asked for, by the module's own
    // rule: lengths grow with the value in these modes but "V/KHz", where
    // they shrink; positive floats order as their bits do.
    const bool shrinking = r.time_mode == 0;
    std::uint32_t lo = 0, hi = 0x3F800000;  // 0.0f .. 1.0f (10 volts)
    auto at = [&](std::uint32_t bits) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    };
    auto len = [&](std::uint32_t bits) { return lengthOf(r.time_mode, at(bits), static_cast<float>(rate)); };
    // The first value whose length is at least (shrinking: at most) the wanted.
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        const bool past = shrinking ? len(mid) <= r.wanted : len(mid) >= r.wanted;
        if (past)
            hi = mid;
        else
            lo = mid + 1;
    }
    std::uint32_t best = lo;
    if (lo > 0 && std::abs(len(lo - 1) - r.wanted) < std::abs(len(lo) - r.wanted)) best = lo - 1;
    r.time_pin = at(best);
    r.samples = len(best);
    if (r.samples != r.wanted) {
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "--window %s: the module's captures are 1 to %d samples; the nearest it shows at %g Hz is %d",
                      describeWindow(w).c_str(), SCOPE_MAX_TIMED_SIZE, rate, r.samples);
        if (std::abs(r.samples - r.wanted) > 1) throw std::invalid_argument(buf);
    }
    return r;
}

std::string describeWindow(const Window& w) {
    char buf[64];
    switch (w.unit) {
    case Window::Unit::Seconds:
        if (w.value < 1.0)
            std::snprintf(buf, sizeof buf, "%g ms", w.value * 1000.0);
        else
            std::snprintf(buf, sizeof buf, "%g s", w.value);
        break;
    case Window::Unit::Samples:
        std::snprintf(buf, sizeof buf, "%g samples", w.value);
        break;
    default:
        std::snprintf(buf, sizeof buf, "one period of %g Hz", w.value);
        break;
    }
    return buf;
}

}  // namespace zohost::tool
