// Real units on the command line: volts for levels ("5V", or pin units
// where 1.0 is 10 volts), and capture windows as a time, a number of samples
// or a frequency, turned into the module's own "Time-Mode" and "Time".
#pragma once

#include <cstdint>
#include <string>

namespace zohost::tool {

// "5V", "-250mV" in volts, or a bare number in pin units; the pin value.
// std::invalid_argument naming `what` when it is neither.
double parsePinValue(const std::string& text, const std::string& what);
// Only volts ("2V", "500mV"); the pin value.
double parseVolts(const std::string& text, const std::string& what);
// Seconds: "1.5s", "250ms", or a bare number of seconds.
double parseSeconds(const std::string& text, const std::string& what);

struct Window {
    enum class Unit { Seconds, Samples, Hertz } unit = Unit::Seconds;
    double value = 0.0;  // seconds, samples or hertz
};
// "20ms", "0.5s", "4410samples", "440Hz"; std::invalid_argument otherwise.
Window parseWindow(const std::string& text);

// What a window makes of the module's settings at `rate`.
struct WindowSetting {
    int time_mode = 0;       // list value of "Time-Mode"
    float time_pin = 0.0f;   // the "Time" pin value (volts / 10)
    int samples = 0;         // capture length the module computes from them
    int wanted = 0;          // the length asked for
};
// The setting whose capture length, by the module's own rule, is nearest the
// window. std::invalid_argument when the module cannot show it.
WindowSetting windowSetting(const Window& w, double rate);

// "20 ms" and the like, for people.
std::string describeWindow(const Window& w);

}  // namespace zohost::tool
