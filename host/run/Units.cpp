#include "run/Units.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace zohost::tool {

const char* const kUnitsHelp =
    R"(UNITS, the same for every option that takes one:
  time       1.5s  250ms  2min  1h; a bare number is seconds
  length     a time, or a number of samples: 4410samples (--seconds, --window)
  frequency  440Hz  1.5kHz  44.1k; a bare number is hertz
  level      5V  250mV; a bare number is a pin value (0.5 is 5 V) in
             sources, and volts for --scale (1 is 1 V, unity gain)
--window takes a length or a frequency whose period to show (440Hz).)";

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

// Seconds in one of a time's units; 0 for a word that is none.
double secondsPer(const std::string& unit) {
    if (unit.empty() || unit == "s") return 1.0;
    if (unit == "ms") return 0.001;
    if (unit == "min") return 60.0;
    if (unit == "h") return 3600.0;
    return 0.0;
}

// Hertz in one of a frequency's units; 0 for a word that is none.
double hertzPer(const std::string& unit) {
    if (unit.empty() || unit == "hz") return 1.0;
    if (unit == "khz" || unit == "k") return 1000.0;
    return 0.0;
}

bool isSamples(const std::string& unit) { return unit == "samples" || unit == "sample"; }

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
    if (!split(text, v, unit) || (!unit.empty() && unit != "v" && unit != "mv"))
        throw std::invalid_argument(what + ": \"" + text + "\" should be volts, like 2V, 500mV or 2");
    return unit == "mv" ? v / 1000.0 / kVoltsPerPinUnit : v / kVoltsPerPinUnit;
}

double parseSeconds(const std::string& text, const std::string& what) {
    double v;
    std::string unit;
    if (!split(text, v, unit)) throw std::invalid_argument(what + ": \"" + text + "\" is not a time");
    if (isSamples(unit))
        throw std::invalid_argument(what + ": \"" + text + "\": samples are a length (--seconds, --window); give a time");
    const double per = secondsPer(unit);
    if (per == 0.0)
        throw std::invalid_argument(what + ": \"" + text + "\" should be a time, like 1.5s, 250ms, 2min or 1h");
    return v * per;
}

double parseLength(const std::string& text, const std::string& what, double& samples) {
    double v;
    std::string unit;
    samples = -1.0;
    if (split(text, v, unit) && isSamples(unit)) {
        if (v != std::floor(v)) throw std::invalid_argument(what + ": \"" + text + "\" is not a whole number of samples");
        samples = v;
        return 0.0;
    }
    return parseSeconds(text, what);
}

double parseFrequency(const std::string& text, const std::string& what) {
    double v;
    std::string unit;
    const double per = split(text, v, unit) ? hertzPer(unit) : 0.0;
    if (per == 0.0)
        throw std::invalid_argument(what + ": \"" + text + "\" should be a frequency, like 440Hz, 1.5kHz or 44.1k");
    return v * per;
}

Window parseWindow(const std::string& text) {
    double v;
    std::string unit;
    Window w;
    if (split(text, v, unit) && v > 0.0) {
        w.value = v;
        if (isSamples(unit)) {
            w.unit = Window::Unit::Samples;
            return w;
        }
        if (secondsPer(unit) > 0.0) {
            w.value = v * secondsPer(unit);
            return w;
        }
        if (hertzPer(unit) > 0.0) {
            w.unit = Window::Unit::Hertz;
            w.value = v * hertzPer(unit);
            return w;
        }
    }
    throw std::invalid_argument("--window: \"" + text +
                                "\" should be a time (20ms, 0.5s), a length (4410samples) or a frequency whose "
                                "period to show (440Hz)");
}

WindowSetting windowSetting(const ModuleProfile& profile, const Window& w, double rate) {
    if (!profile.window) throw std::invalid_argument("--window: the module has no capture length to set");
    try {
        return profile.window(w, rate);
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument("--window " + describeWindow(w) + ": " + e.what());
    }
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
    case Window::Unit::Samples: std::snprintf(buf, sizeof buf, "%g samples", w.value); break;
    default: std::snprintf(buf, sizeof buf, "one period of %g Hz", w.value); break;
    }
    return buf;
}

}  // namespace zohost::tool
