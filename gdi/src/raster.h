// Pixel operations on a canvas, independent of handles and device contexts.
#ifndef ZOGDI_RASTER_H
#define ZOGDI_RASTER_H

#include <cstddef>
#include <cstdint>

namespace zogdi {

struct Canvas {
    uint32_t* pixels = nullptr; // row-major, stride == width
    int32_t width = 0;
    int32_t height = 0;
};

// Windows picks, for each step i along the major axis of a line of n major
// steps and a minor steps, the minor offset nearest to i*a/n; an exact tie
// goes to the smaller screen coordinate (up, or left), whichever way the line
// runs. In Bresenham terms, with D = 2*(i*a - m*n) the scaled distance of the
// true position ahead of the drawn one, the minor step happens when
// D + 2a > n if the minor axis runs towards larger coordinates, and when
// D + 2a >= n if it runs towards smaller ones.
template <typename Int>
inline void walkLine(uint32_t* pixels, ptrdiff_t index, ptrdiff_t majorStep, ptrdiff_t minorStep, uint32_t count,
                     Int d, Int twoA, Int twoN, Int threshold, uint32_t pixel) {
    for (; count != 0; --count) {
        pixels[index] = pixel;
        index += majorStep;
        d += twoA;
        if (d > threshold) {
            index += minorStep;
            d -= twoN;
        }
    }
}

// The general case of drawLine: ends anywhere in the 32-bit range.
void drawClippedLine(const Canvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel);

// A 1-pixel line from (x0, y0) towards (x1, y1), end point excluded, with the
// pixel choice of Windows GDI, clipped to the canvas. Inline for the common
// case of a segment within the canvas.
inline void drawLine(const Canvas& c, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    const uint32_t w = static_cast<uint32_t>(c.width), h = static_cast<uint32_t>(c.height);
    if (!(static_cast<uint32_t>(x0) < w && static_cast<uint32_t>(x1) < w && static_cast<uint32_t>(y0) < h &&
          static_cast<uint32_t>(y1) < h)) {
        drawClippedLine(c, x0, y0, x1, y1, pixel);
        return;
    }
    // Canvas sides stay below 2^28, so 32-bit state cannot overflow.
    const int32_t dx = x1 - x0, dy = y1 - y0;
    const int32_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const ptrdiff_t stepX = dx < 0 ? -1 : 1;
    const ptrdiff_t stepY = dy < 0 ? -static_cast<ptrdiff_t>(c.width) : static_cast<ptrdiff_t>(c.width);
    const ptrdiff_t start = static_cast<ptrdiff_t>(y0) * c.width + x0;
    if (ax >= ay)
        walkLine<int32_t>(c.pixels, start, stepX, stepY, static_cast<uint32_t>(ax), 0, 2 * ay, 2 * ax,
                          ax - (dy < 0 ? 1 : 0), pixel);
    else
        walkLine<int32_t>(c.pixels, start, stepY, stepX, static_cast<uint32_t>(ay), 0, 2 * ax, 2 * ay,
                          ay - (dx < 0 ? 1 : 0), pixel);
}

// Fills the half-open box [left, right) x [top, bottom), clipped.
void fillBox(const Canvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel);

} // namespace zogdi

#endif
