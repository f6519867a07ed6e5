#include "tool/InputSource.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <memory>
#include <vector>

#include "tool/Units.h"

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

// Volts ("5V") or a pin value ("0.5").
double level(const std::string& text, const char* what, const std::string& source) {
    try {
        return parsePinValue(text, what);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("bad " + std::string(what) + " \"" + text + "\" in source \"" + source +
                                    "\" (volts like 5V, or a pin value like 0.5)");
    }
}

const std::uint64_t kAnchor = 4096;

// Fraction of the period at `clock`, in [0, 1): the exact remainder at the
// multiple of kAnchor below the clock, plus whole steps of `hz` from there, so
// that a sample depends on its clock alone; exact for whole frequencies and
// rates, so period boundaries fall on exact phases. The block generator
// computes the same, term for term.
double stepPhase(double base, double steps, double hz, double rate, double inv_rate) {
    double p = base + steps * hz;
    p -= rate * std::floor(p * inv_rate);
    if (p >= rate) p -= rate;
    if (p < 0.0) p += rate;
    return p * inv_rate;
}

double phase(double hz, double rate, std::uint64_t clock) {
    const std::uint64_t anchor = clock - clock % kAnchor;
    return stepPhase(std::fmod(static_cast<double>(anchor) * hz, rate), static_cast<double>(clock - anchor), hz,
                     rate, 1.0 / rate);
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

constexpr int kSineTable = 8192;

const double* sineTable() {
    static const std::vector<double> table = [] {
        std::vector<double> t(kSineTable + 1);
        for (int i = 0; i <= kSineTable; ++i) t[static_cast<std::size_t>(i)] = std::sin(kTwoPi * i / kSineTable);
        return t;
    }();
    return table.data();
}

// sin(2 pi p) for p in [0, 1): the table with linear interpolation, within
// 3e-8 of the library's sine.
inline float tableSine(const double* table, double p) {
    const double x = p * kSineTable;
    const int i = static_cast<int>(x);
    const double f = x - i;
    const double a = table[i], b = table[i + 1];
    return static_cast<float>(a + f * (b - a));
}

inline float shapeFast(SourceKind kind, const double* table, double p) {
    return kind == SourceKind::Sine ? tableSine(table, p) : shape(kind, p);
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
        s.amplitude = parts.size() > 2 ? level(parts[2], "amplitude", text) : kDefaultAmplitude;
        return s;
    }
    if (kind == "noise") {
        arity(1, 2, "noise[:AMP]");
        s.kind = SourceKind::Noise;
        s.amplitude = parts.size() > 1 ? level(parts[1], "amplitude", text) : kDefaultAmplitude;
        return s;
    }
    if (kind == "dc") {
        arity(2, 2, "dc:VALUE");
        s.kind = SourceKind::Dc;
        s.amplitude = level(parts[1], "value", text);
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
        std::snprintf(buf, sizeof buf, "noise, amplitude %g V", s.amplitude * 10.0);
        return buf;
    case SourceKind::Dc:
        std::snprintf(buf, sizeof buf, "constant %g V", s.amplitude * 10.0);
        return buf;
    case SourceKind::File:
        return "channel " + std::to_string(s.channel) + " of " + s.path;
    case SourceKind::Input:
        return "channel " + std::to_string(s.channel) + " of the capture device";
    default:
        std::snprintf(buf, sizeof buf, "%g Hz %s, amplitude %g V", s.hz, kindName(s.kind), s.amplitude * 10.0);
        return buf;
    }
}

float waveSample(const InputSource& s, double rate, std::uint64_t clock) {
    if (s.kind == SourceKind::Dc) return static_cast<float>(s.amplitude);
    if (!periodic(s.kind)) return 0.0f;
    return static_cast<float>(s.amplitude) * shapeFast(s.kind, sineTable(), phase(s.hz, rate, clock));
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
    const double* table = sineTable();
    const double inv_rate = 1.0 / rate;
    if (hz == std::floor(hz) && rate == std::floor(rate) && rate <= 384000.0) {
        // Whole numbers: the phase in whole steps, exactly what phase() gives.
        const std::int64_t irate = static_cast<std::int64_t>(rate);
        const std::int64_t ihz = static_cast<std::int64_t>(hz) % irate;
        // One period, sample by sample, computed as waveSample() does; a
        // block is then read out of it.
        auto period = std::make_shared<std::vector<float>>(static_cast<std::size_t>(irate));
        for (std::int64_t q = 0; q < irate; ++q)
            (*period)[static_cast<std::size_t>(q)] = amp * shapeFast(kind, table, static_cast<double>(q) * inv_rate);
        return Signal::generator([period, irate, ihz](std::uint64_t first, float* out, int count) {
            const float* wave = period->data();
            std::int64_t q = static_cast<std::int64_t>(first % static_cast<std::uint64_t>(irate)) * ihz % irate;
            auto step = [irate](std::int64_t a, std::int64_t by) { return a + by >= irate ? a + by - irate : a + by; };
            // Four phases a step apart, each stepping by four: four short
            // chains instead of one long one.
            const std::int64_t ihz4 = 4 * ihz % irate;
            std::int64_t q1 = step(q, ihz), q2 = step(q1, ihz), q3 = step(q2, ihz);
            int i = 0;
            for (; i + 4 <= count; i += 4) {
                out[i] = wave[q];
                out[i + 1] = wave[q1];
                out[i + 2] = wave[q2];
                out[i + 3] = wave[q3];
                q = step(q, ihz4);
                q1 = step(q1, ihz4);
                q2 = step(q2, ihz4);
                q3 = step(q3, ihz4);
            }
            for (; i < count; ++i) {
                out[i] = wave[q];
                q = step(q, ihz);
            }
        });
    }
    return Signal::generator([=](std::uint64_t first, float* out, int count) {
        std::uint64_t clock = first;
        int i = 0;
        while (i < count) {
            const std::uint64_t anchor = clock - clock % kAnchor;
            const double base = std::fmod(static_cast<double>(anchor) * hz, rate);
            const int n = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(count - i),
                                                                   anchor + kAnchor - clock));
            const double k0 = static_cast<double>(clock - anchor);
            for (int k = 0; k < n; ++k)
                out[i + k] = amp * shapeFast(kind, table, stepPhase(base, k0 + k, hz, rate, inv_rate));
            i += n;
            clock += static_cast<std::uint64_t>(n);
        }
    });
}

}  // namespace zohost::tool
