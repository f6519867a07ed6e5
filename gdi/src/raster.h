// Pixel operations on a canvas, independent of handles and device contexts.
#ifndef ZOGDI_RASTER_H
#define ZOGDI_RASTER_H

#include <cstdint>

namespace zogdi {

struct Canvas {
    uint32_t* pixels = nullptr; // row-major, stride == width
    int32_t width = 0;
    int32_t height = 0;
};

// A 1-pixel line from (x0, y0) towards (x1, y1), end point excluded, with the
// pixel choice of Windows GDI, clipped to the canvas.
void drawLine(const Canvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel);

// Fills the half-open box [left, right) x [top, bottom), clipped.
void fillBox(const Canvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t pixel);

} // namespace zogdi

#endif
