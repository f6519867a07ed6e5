#include "raster.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace zogdi {
namespace {

// The line along its major axis u and minor axis v.
struct Axes {
    int64_t u0, v0;   // start
    int64_t su, sv;   // unit steps (sv is +1 when the minor axis does not move)
    uint64_t n, a;    // major and minor extent, a <= n, n >= 1
    bool tieUp;       // a tie takes the larger minor offset
    int64_t uSize, vSize;
    ptrdiff_t uStride, vStride;
};

// Minor offset of step i, exactly; i < 2^32 and a < 2^32 keep i*a in 64 bits.
inline uint64_t minorAt(const Axes& l, uint64_t i) {
    const uint64_t p = i * l.a;
    const uint64_t q = p / l.n;
    const uint64_t r2 = 2 * (p % l.n) + (l.tieUp ? 1 : 0);
    return q + (r2 > l.n ? 1 : 0);
}

// Smallest step whose minor offset reaches m (l.n when none does). The
// floating-point guess is within a step or two; the exact test settles it.
uint64_t firstStepReaching(const Axes& l, int64_t m) {
    if (m <= 0)
        return 0;
    if (l.a == 0 || static_cast<uint64_t>(m) > l.a)
        return l.n;
    const double guess = (2.0 * static_cast<double>(m) - 1.0) * static_cast<double>(l.n) / (2.0 * static_cast<double>(l.a));
    uint64_t i = guess <= 0.0 ? 0 : guess >= static_cast<double>(l.n) ? l.n : static_cast<uint64_t>(guess);
    const uint64_t target = static_cast<uint64_t>(m);
    while (i > 0 && minorAt(l, i - 1) >= target)
        --i;
    while (i < l.n && minorAt(l, i) < target)
        ++i;
    return i;
}

void drawClipped(const Canvas& c, const Axes& l, uint32_t pixel) {
    // Steps whose major coordinate lies on the canvas.
    int64_t lo, hi;
    if (l.su > 0) {
        lo = std::max<int64_t>(0, -l.u0);
        hi = std::min<int64_t>(static_cast<int64_t>(l.n), l.uSize - l.u0);
    } else {
        lo = std::max<int64_t>(0, l.u0 - l.uSize + 1);
        hi = std::min<int64_t>(static_cast<int64_t>(l.n), l.u0 + 1);
    }
    if (lo >= hi)
        return;

    // Steps whose minor coordinate lies on the canvas: minor offsets are
    // monotonic in the step, so they form one interval too.
    int64_t mLo, mHi;
    if (l.sv > 0) {
        mLo = -l.v0;
        mHi = l.vSize - 1 - l.v0;
    } else {
        mLo = l.v0 - l.vSize + 1;
        mHi = l.v0;
    }
    if (mHi < 0 || mLo > static_cast<int64_t>(l.a))
        return;
    lo = std::max<int64_t>(lo, static_cast<int64_t>(firstStepReaching(l, mLo)));
    hi = std::min<int64_t>(hi, static_cast<int64_t>(firstStepReaching(l, mHi + 1)));
    if (lo >= hi)
        return;

    const uint64_t first = static_cast<uint64_t>(lo);
    const uint64_t p = first * l.a;
    const uint64_t r = p % l.n;
    const uint64_t m = minorAt(l, first);
    const int64_t d = 2 * static_cast<int64_t>(r) - (m != p / l.n ? 2 * static_cast<int64_t>(l.n) : 0);
    const int64_t u = l.u0 + l.su * lo;
    const int64_t v = l.v0 + l.sv * static_cast<int64_t>(m);
    const ptrdiff_t index = static_cast<ptrdiff_t>(u) * l.uStride + static_cast<ptrdiff_t>(v) * l.vStride;
    const int64_t twoN = 2 * static_cast<int64_t>(l.n);
    walkLine<int64_t>(c.pixels, index, l.su * l.uStride, l.sv * l.vStride, static_cast<uint32_t>(hi - lo), d,
                      2 * static_cast<int64_t>(l.a), twoN, static_cast<int64_t>(l.n) - (l.tieUp ? 1 : 0), pixel);
}

} // namespace

void drawClippedLine(const Canvas& c, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    if ((dx == 0 && dy == 0) || c.width <= 0 || c.height <= 0)
        return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);

    // Entirely beside the canvas: nothing to clip.
    if ((x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 >= c.width && x1 >= c.width) ||
        (y0 >= c.height && y1 >= c.height))
        return;

    Axes l;
    if (xMajor) {
        l.u0 = x0; l.v0 = y0;
        l.su = dx < 0 ? -1 : 1; l.sv = dy < 0 ? -1 : 1;
        l.n = static_cast<uint64_t>(dx < 0 ? -dx : dx); l.a = static_cast<uint64_t>(dy < 0 ? -dy : dy);
        l.uSize = c.width; l.vSize = c.height;
        l.uStride = 1; l.vStride = c.width;
    } else {
        l.u0 = y0; l.v0 = x0;
        l.su = dy < 0 ? -1 : 1; l.sv = dx < 0 ? -1 : 1;
        l.n = static_cast<uint64_t>(dy < 0 ? -dy : dy); l.a = static_cast<uint64_t>(dx < 0 ? -dx : dx);
        l.uSize = c.height; l.vSize = c.width;
        l.uStride = c.width; l.vStride = 1;
    }
    l.tieUp = l.sv < 0;
    drawClipped(c, l, pixel);
}

void fillBox(const Canvas& c, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel) {
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, c.width);
    bottom = std::min<int64_t>(bottom, c.height);
    if (left >= right || top >= bottom)
        return;
    // One row pixel by pixel, the others copied from it: the copy stores
    // whole vectors, the fill of 32-bit pixels one pixel at a time.
    const size_t count = static_cast<size_t>(right - left);
    uint32_t* const first = c.pixels + static_cast<ptrdiff_t>(top) * c.width + left;
    std::fill(first, first + count, pixel);
    for (int64_t y = top + 1; y < bottom; ++y)
        std::memcpy(c.pixels + static_cast<ptrdiff_t>(y) * c.width + left, first, count * sizeof(uint32_t));
}

} // namespace zogdi
