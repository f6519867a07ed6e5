#include "tool/InputSource.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace zohost::tool {

namespace {

const double kTwoPi = 6.283185307179586;

std::vector<std::string> splitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? colon : colon - start));
        if (colon == std::string::npos) return parts;
        start = colon + 1;
    }
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

double number(const std::string& text, const char* what, const std::string& source) {
    const char* s = text.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (text.empty() || end != s + text.size() || std::isspace(static_cast<unsigned char>(text[0])) ||
        !std::isfinite(v))
        throw std::invalid_argument("bad " + std::string(what) + " \"" + text + "\" in source \"" +
                                    source + "\"");
    return v;
}

// Fraction of the period at `clock`, in [0, 1). The remainder is exact for
// whole frequencies and rates, so period boundaries fall on exact phases.
double phase(double hz, double rate, std::uint64_t clock) {
    const double p = std::fmod(static_cast<double>(clock) * hz, rate) / rate;
    return p < 1.0 ? p : 0.0;
}

float shape(SourceKind kind, double p) {
    switch (kind) {
    case SourceKind::Sine:
        return static_cast<float>(std::sin(kTwoPi * p));
    case SourceKind::Square:
        return p < 0.5 ? 1.0f : -1.0f;
    case SourceKind::Saw:
        return static_cast<float>(p < 0.5 ? 2.0 * p : 2.0 * p - 2.0);
    case SourceKind::Triangle:
        return static_cast<float>(p < 0.25 ? 4.0 * p : p < 0.75 ? 2.0 - 4.0 * p : 4.0 * p - 4.0);
    default:
        return 0.0f;
    }
}

bool periodic(SourceKind k) {
    return k == SourceKind::Sine || k == SourceKind::Square || k == SourceKind::Saw ||
           k == SourceKind::Triangle;
}

}  // namespace

InputSource parseSource(const std::string& text) {
    std::vector<std::string> parts = splitColons(text);
    const std::string kind = lower(parts[0]);
    InputSource s;
    auto arity = [&](std::size_t least, std::size_t most, const char* form) {
        if (parts.size() < least || parts.size() > most)
            throw std::invalid_argument("source \"" + text + "\" should be " + form);
    };
    if (kind == "off") {
        arity(1, 1, "off");
        return s;
    }
    if (kind == "sine" || kind == "square" || kind == "saw" || kind == "triangle") {
        s.kind = kind == "sine" ? SourceKind::Sine
                 : kind == "square" ? SourceKind::Square
                 : kind == "saw"    ? SourceKind::Saw
                                    : SourceKind::Triangle;
        arity(2, 3, (kind + ":HZ[:AMP]").c_str());
        s.hz = number(parts[1], "frequency", text);
        if (s.hz <= 0.0) throw std::invalid_argument("frequency must be above 0 in source \"" + text + "\"");
        s.amplitude = parts.size() > 2 ? number(parts[2], "amplitude", text) : kDefaultAmplitude;
        return s;
    }
    if (kind == "noise") {
        arity(1, 2, "noise[:AMP]");
        s.kind = SourceKind::Noise;
        s.amplitude = parts.size() > 1 ? number(parts[1], "amplitude", text) : kDefaultAmplitude;
        return s;
    }
    if (kind == "dc") {
        arity(2, 2, "dc:VALUE");
        s.kind = SourceKind::Dc;
        s.amplitude = number(parts[1], "value", text);
        return s;
    }
    if (kind == "file") {
        if (parts.size() < 2 || text.size() <= 5)
            throw std::invalid_argument("source \"" + text + "\" should be file:PATH[:CHANNEL]");
        s.kind = SourceKind::File;
        s.path = text.substr(5);
        // A last part of digits is the channel; paths may hold colons.
        std::size_t colon = s.path.rfind(':');
        if (colon != std::string::npos && colon + 1 < s.path.size() &&
            s.path.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
            std::string digits = s.path.substr(colon + 1);
            s.path.resize(colon);
            if (digits.size() > 4 || std::atoi(digits.c_str()) < 1)
                throw std::invalid_argument("channel \"" + digits + "\" in source \"" + text +
                                            "\" must be 1 or more");
            s.channel = std::atoi(digits.c_str());
        }
        if (s.path.empty()) throw std::invalid_argument("source \"" + text + "\" names no file");
        return s;
    }
    if (kind == "input") {
        arity(2, 2, "input:CHANNEL");
        s.kind = SourceKind::Input;
        const double c = number(parts[1], "channel", text);
        if (c < 1.0 || c > 64.0 || c != std::floor(c))
            throw std::invalid_argument("channel \"" + parts[1] + "\" in source \"" + text + "\" must be 1..64");
        s.channel = static_cast<int>(c);
        return s;
    }
    throw std::invalid_argument("unknown source \"" + text +
                                "\"; use sine, square, saw, triangle, noise, dc, file, input or off");
}

const char* kindName(SourceKind kind) {
    switch (kind) {
    case SourceKind::Off: return "off";
    case SourceKind::Sine: return "sine";
    case SourceKind::Square: return "square";
    case SourceKind::Saw: return "saw";
    case SourceKind::Triangle: return "triangle";
    case SourceKind::Noise: return "noise";
    case SourceKind::Dc: return "dc";
    case SourceKind::File: return "file";
    case SourceKind::Input: return "input";
    }
    return "?";
}

std::string describeSource(const InputSource& s) {
    char buf[96];
    switch (s.kind) {
    case SourceKind::Off:
        return "not connected";
    case SourceKind::Noise:
        std::snprintf(buf, sizeof buf, "noise, amplitude %g", s.amplitude);
        return buf;
    case SourceKind::Dc:
        std::snprintf(buf, sizeof buf, "constant %g", s.amplitude);
        return buf;
    case SourceKind::File:
        return "channel " + std::to_string(s.channel) + " of " + s.path;
    case SourceKind::Input:
        return "channel " + std::to_string(s.channel) + " of the capture device";
    default:
        std::snprintf(buf, sizeof buf, "%g Hz %s, amplitude %g", s.hz, kindName(s.kind), s.amplitude);
        return buf;
    }
}

float waveSample(const InputSource& s, double rate, std::uint64_t clock) {
    if (s.kind == SourceKind::Dc) return static_cast<float>(s.amplitude);
    if (!periodic(s.kind)) return 0.0f;
    return static_cast<float>(s.amplitude) * shape(s.kind, phase(s.hz, rate, clock));
}

Signal makeSignal(const InputSource& source, double rate, std::uint64_t seed) {
    if (source.kind == SourceKind::Dc) return Signal::constant(static_cast<float>(source.amplitude));
    if (source.kind == SourceKind::Noise) {
        const float amp = static_cast<float>(source.amplitude);
        std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
        return Signal::generator([amp, state](std::uint64_t, float* out, int count) mutable {
            for (int i = 0; i < count; ++i) {
                // xorshift64*: top 24 bits give an exact float in [0, 1).
                state ^= state >> 12;
                state ^= state << 25;
                state ^= state >> 27;
                std::uint64_t r = state * 0x2545F4914F6CDD1Dull;
                float u = static_cast<float>(r >> 40) * (1.0f / 16777216.0f);
                out[i] = amp * (2.0f * u - 1.0f);
            }
        });
    }
    if (!periodic(source.kind)) throw std::invalid_argument("no generated signal for a source of kind " +
                                                          std::string(kindName(source.kind)));
    const SourceKind kind = source.kind;
    const float amp = static_cast<float>(source.amplitude);
    const double hz = source.hz;
    return Signal::generator([kind, amp, hz, rate](std::uint64_t first, float* out, int count) {
        for (int i = 0; i < count; ++i)
            out[i] = amp * shape(kind, phase(hz, rate, first + static_cast<std::uint64_t>(i)));
    });
}

}  // namespace zohost::tool
