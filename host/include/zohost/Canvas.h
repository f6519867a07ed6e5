// A device context over a W x H picture of 0x00RRGGBB pixels, top row first:
// the platform's GDI into a DIB section on Windows, our drawing library
// elsewhere. The display paints into it exactly as into a window.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zohost/Gdi.h"

namespace zohost {

class Canvas {
public:
    // Sizes below 1 give a 1 x 1 picture; check valid() for sizes that could
    // not be had.
    Canvas(int width, int height, std::uint32_t fill_rgb);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool valid() const { return dc_ != nullptr; }
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Pixels as 0x00RRGGBB, row-major, top row first; flushes pending drawing.
    const std::uint32_t* pixels() const;
    std::uint32_t pixel(int x, int y) const { return pixels()[static_cast<std::size_t>(y) * width_ + x]; }
    void fill(std::uint32_t rgb);

private:
    // What the platform draws into besides dc_, where it needs one of ours.
    struct Surface;
    struct SurfaceDelete {
        void operator()(Surface* s) const;
    };
    int width_;
    int height_;
    HDC dc_ = nullptr;
    std::unique_ptr<Surface, SurfaceDelete> surface_;
};

}  // namespace zohost
