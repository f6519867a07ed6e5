// One grammar of units for the command line, listed once in --help (kUnitsHelp):
// times (s, ms, min, h; a bare number is seconds), lengths (a time or
// samples), frequencies (Hz, kHz or k; a bare number is hertz) and levels
// (V, mV; a bare number as each option says).
#pragma once

#include <cstdint>
#include <string>

#include "zohost/ModuleProfile.h"

namespace zohost::tool {

// The grammar as --help and the README give it.
extern const char* const kUnitsHelp;

// "5V", "-250mV" in volts, or a bare number in pin units; the pin value.
// std::invalid_argument naming `what` when it is neither.
double parsePinValue(const std::string& text, const std::string& what);
// A level in volts: "2V", "500mV", or a bare number of volts; the pin value.
double parseVolts(const std::string& text, const std::string& what);
// Seconds: "1.5s", "250ms", "2min", "1h", or a bare number of seconds.
double parseSeconds(const std::string& text, const std::string& what);
// A length of a run: a time, or "44100samples" (a number of samples, set
// apart in `samples` because the rate may not be known yet; else -1).
double parseLength(const std::string& text, const std::string& what, double& samples);
// Hertz: "440Hz", "1.5kHz", "44.1k", or a bare number of hertz.
double parseFrequency(const std::string& text, const std::string& what);

using Window = CaptureWindow;
// A time, "4410samples", or a frequency whose period to show ("440Hz");
// std::invalid_argument otherwise.
Window parseWindow(const std::string& text);

// What the module's profile makes of a window at `rate`; std::invalid_argument
// naming the window when the module cannot capture it.
WindowSetting windowSetting(const ModuleProfile& profile, const Window& w, double rate);

// "20 ms" and the like, for people.
std::string describeWindow(const Window& w);

}  // namespace zohost::tool
