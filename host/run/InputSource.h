// What feeds one sample-stream pin, as written on the command line:
// "sine:440", "square:100:0.5", "noise:0.2", "dc:0.3", "file:take.wav:2",
// "input:1" (a channel of the default capture device, --live only), "off".
#pragma once

#include <cstdint>
#include <string>

#include "Generators.h"
#include "zohost/Signal.h"

namespace zohost::tool {

// Periodic waveforms (the generators' shapes) cross zero rising at clock 0
// of every period, like a sine.
enum class SourceKind { Off, Periodic, Noise, Dc, File, Input };

struct InputSource {
    SourceKind kind = SourceKind::Off;
    gen::Shape shape = gen::Shape::Sine;  // periodic kinds
    double hz = 0.0;         // periodic kinds
    double amplitude = 0.0;  // periodic kinds and noise; the value for dc
    std::string path;        // file
    int channel = 1;         // file or input (a capture device), counted from 1
};

// Amplitude of a waveform or noise whose AMP is left out: 8 volts, inside
// the display's range at the default Y-Scale.
constexpr double kDefaultAmplitude = 0.8;

// Parses SOURCE; std::invalid_argument with a message naming the fault.
InputSource parseSource(const std::string& text);

// The source's first word: "sine", "noise", "file", ...
const char* kindName(const InputSource& source);
// "sine, square, saw, triangle, noise, dc, file, input or off".
std::string sourceWords();
// "440 Hz sine, amplitude 0.8" and the like, for people.
std::string describeSource(const InputSource& source);

// One sample of a waveform at `clock` for a run at `rate`; zero for kinds
// that are not computed (off, file). Noise is not a function of the clock.
float waveSample(const InputSource& source, double rate, std::uint64_t clock);

// A block-filling signal for every kind but off and file. `seed` makes noise
// repeatable and different per pin.
Signal makeSignal(const InputSource& source, double rate, std::uint64_t seed);

}  // namespace zohost::tool
