#include "Generators.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <memory>
#include <vector>

namespace zohost::gen {

namespace {

const double kTwoPi = 6.283185307179586;
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

constexpr int kSineTable = 8192;

const double* sineTable() {
    static const std::vector<double> table = [] {
        std::vector<double> t(kSineTable + 1);
        for (int i = 0; i <= kSineTable; ++i) t[static_cast<std::size_t>(i)] = std::sin(kTwoPi * i / kSineTable);
        return t;
    }();
    return table.data();
}

// sin(2 pi p) for p in [0, 1): the table with linear interpolation.
inline float tableSine(const double* table, double p) {
    const double x = p * kSineTable;
    const int i = static_cast<int>(x);
    const double f = x - i;
    const double a = table[i], b = table[i + 1];
    return static_cast<float>(a + f * (b - a));
}

inline float fast(Shape shape, const double* table, double p) {
    return shape == Shape::Sine ? tableSine(table, p) : static_cast<float>(shapeValue(shape, p));
}

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Whole frequency and rate: one period computed sample by sample as
// periodicSample() does, read out block by block.
Signal wholePeriodSignal(Shape shape, double hz, float amp, double rate) {
    const double* table = sineTable();
    const double inv_rate = 1.0 / rate;
    const std::int64_t irate = static_cast<std::int64_t>(rate);
    const std::int64_t ihz = static_cast<std::int64_t>(hz) % irate;
    // The wave repeats every irate / gcd(ihz, irate) samples: that run,
    // computed once, is copied out.
    const std::int64_t length = irate / std::gcd(ihz, irate);
    auto run = std::make_shared<std::vector<float>>(static_cast<std::size_t>(length));
    for (std::int64_t k = 0, q = 0; k < length; ++k, q = (q + ihz) % irate)
        (*run)[static_cast<std::size_t>(k)] = amp * fast(shape, table, static_cast<double>(q) * inv_rate);
    return Signal::generator([run, length](std::uint64_t first, float* out, int count) {
        const float* wave = run->data();
        std::size_t at = static_cast<std::size_t>(first % static_cast<std::uint64_t>(length));
        std::size_t left = static_cast<std::size_t>(count);
        while (left > 0) {
            const std::size_t take = std::min(left, static_cast<std::size_t>(length) - at);
            std::memcpy(out, wave + at, take * sizeof(float));
            out += take;
            left -= take;
            at = 0;
        }
    });
}

}  // namespace

const std::vector<NamedShape>& namedShapes() {
    static const std::vector<NamedShape> shapes = {
        {"sine", Shape::Sine}, {"square", Shape::Square}, {"saw", Shape::Saw}, {"triangle", Shape::Triangle}};
    return shapes;
}

const char* shapeWord(Shape shape) {
    for (const NamedShape& n : namedShapes())
        if (n.shape == shape) return n.word;
    return "?";
}

double shapeValue(Shape shape, double p) {
    switch (shape) {
    case Shape::Sine: return std::sin(kTwoPi * p);
    case Shape::Square: return p < 0.5 ? 1.0 : -1.0;
    case Shape::Saw: return p < 0.5 ? 2.0 * p : 2.0 * p - 2.0;
    case Shape::Triangle: return p < 0.25 ? 4.0 * p : p < 0.75 ? 2.0 - 4.0 * p : 4.0 * p - 4.0;
    }
    return 0.0;
}

float shapeFast(Shape shape, double phase) { return fast(shape, sineTable(), phase); }

double phaseAt(double hz, double rate, std::uint64_t clock) {
    const std::uint64_t anchor = clock - clock % kAnchor;
    return stepPhase(std::fmod(static_cast<double>(anchor) * hz, rate), static_cast<double>(clock - anchor), hz,
                     rate, 1.0 / rate);
}

double periodPhase(std::uint64_t clock, double period) {
    return std::fmod(static_cast<double>(clock), period) / period;
}

float periodicSample(Shape shape, double hz, float amplitude, double rate, std::uint64_t clock) {
    return amplitude * fast(shape, sineTable(), phaseAt(hz, rate, clock));
}

Signal periodicSignal(Shape shape, double hz, float amp, double rate) {
    if (hz == std::floor(hz) && rate == std::floor(rate) && rate <= 384000.0)
        return wholePeriodSignal(shape, hz, amp, rate);
    const double* table = sineTable();
    const double inv_rate = 1.0 / rate;
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
                out[i + k] = amp * fast(shape, table, stepPhase(base, k0 + k, hz, rate, inv_rate));
            i += n;
            clock += static_cast<std::uint64_t>(n);
        }
    });
}

Signal noiseSignal(float amp, std::uint64_t seed) {
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

float noiseAt(std::uint64_t clock, std::uint64_t seed) {
    const std::uint64_t r = mix(clock ^ mix(seed));
    return static_cast<float>(static_cast<double>(r >> 11) / 4503599627370496.0 - 1.0);
}

}  // namespace zohost::gen
