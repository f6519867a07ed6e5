// Pictures of 0x00RRGGBB pixels, top row first, written as 8-bit RGB PNG;
// with alpha, of 0xAARRGGBB pixels written as RGBA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zohost::tool {

class PngWriter {
public:
    // Fast: about twice as quick and half again as large, for many pictures.
    explicit PngWriter(bool fast = false, bool alpha = false) : fast_(fast), alpha_(alpha) {}

    // False with `error` set to the reason when the file cannot be written.
    bool write(const std::string& path, const std::uint32_t* pixels, int width, int height,
               std::string& error);

private:
    bool fast_;
    bool alpha_;
    std::vector<unsigned char> rgb_;  // kept between pictures of one run
};

}  // namespace zohost::tool
