// The host's drawing on our drawing library: the canvas is its own device
// context, which holds the pixels; no surface of ours.
#include <algorithm>

#include "Drawing.h"
#include "zohost/Canvas.h"

namespace zohost {

struct Canvas::Surface {};

void Canvas::SurfaceDelete::operator()(Surface* s) const { delete s; }

Canvas::Canvas(int width, int height, std::uint32_t fill_rgb)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {
    const COLORREF colour = RGB((fill_rgb >> 16) & 0xFF, (fill_rgb >> 8) & 0xFF, fill_rgb & 0xFF);
    dc_ = ZoGdiCreateCanvasDC(width_, height_, colour);
}

Canvas::~Canvas() {
    if (dc_) ZoGdiDeleteDC(dc_);
}

const std::uint32_t* Canvas::pixels() const {
    int w = 0, h = 0;
    return dc_ ? ZoGdiPixels(dc_, &w, &h) : nullptr;
}

void Canvas::fill(std::uint32_t rgb) {
    auto* p = const_cast<std::uint32_t*>(pixels());
    if (p) std::fill(p, p + static_cast<std::size_t>(width_) * height_, rgb & 0xFFFFFFu);
}

namespace detail {

HFONT makeFont(int height) { return ZoGdiCreateFont(height); }

}  // namespace detail

}  // namespace zohost
