// The host's drawing on Windows: a canvas is a DIB section selected into a
// memory device context; fonts come from the system.
#include <algorithm>

#include "Drawing.h"
#include "zohost/Canvas.h"

namespace zohost {

struct Canvas::Surface {
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* bits = nullptr;
};

void Canvas::SurfaceDelete::operator()(Surface* s) const { delete s; }

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
    surface_.reset(new Surface);
    Surface& s = *surface_;
    s.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!s.bitmap || !bits) return;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    s.bits = static_cast<std::uint32_t*>(bits);
    s.previous = SelectObject(dc, s.bitmap);
    dc_ = dc;
    fill(fill_rgb);
}

Canvas::~Canvas() {
    if (dc_) {
        SelectObject(dc_, surface_->previous);
        DeleteDC(dc_);
    }
    if (surface_ && surface_->bitmap) DeleteObject(surface_->bitmap);
}

const std::uint32_t* Canvas::pixels() const {
    GdiFlush();
    return surface_ ? surface_->bits : nullptr;
}

void Canvas::fill(std::uint32_t rgb) {
    std::uint32_t* bits = surface_ ? surface_->bits : nullptr;
    if (!bits) return;
    GdiFlush();
    std::fill(bits, bits + static_cast<std::size_t>(width_) * height_, rgb & 0xFFFFFFu);
}

namespace detail {

HFONT makeFont(int height) {
    HFONT f = CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          FIXED_PITCH | FF_MODERN, "DejaVu Sans Mono");
    if (!f)
        f = CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        FIXED_PITCH | FF_MODERN, "Courier New");
    return f;
}

}  // namespace detail

}  // namespace zohost
