#include "zohost/Canvas.h"

#include <algorithm>

namespace zohost {

#ifdef _WIN32

Canvas::Canvas(int width, int height, std::uint32_t fill_rgb)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_ || !bits) return;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    bits_ = static_cast<std::uint32_t*>(bits);
    previous_ = SelectObject(dc, bitmap_);
    dc_ = dc;
    fill(fill_rgb);
}

Canvas::~Canvas() {
    if (dc_) {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
}

const std::uint32_t* Canvas::pixels() const {
    GdiFlush();
    return bits_;
}

void Canvas::fill(std::uint32_t rgb) {
    if (!bits_) return;
    GdiFlush();
    std::fill(bits_, bits_ + static_cast<std::size_t>(width_) * height_, rgb & 0xFFFFFFu);
}

#else

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

#endif

}  // namespace zohost
