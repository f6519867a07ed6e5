#include "run/PngWriter.h"

#include <png.h>

#include <cstring>

namespace zohost::tool {

bool PngWriter::write(const std::string& path, const std::uint32_t* pixels, int width, int height,
                      std::string& error) {
    if (!pixels || width < 1 || height < 1) {
        error = "no picture to write";
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t channels = alpha_ ? 4 : 3;
    rgb_.resize(channels * count);
    unsigned char* out = rgb_.data();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        out[0] = static_cast<unsigned char>(p >> 16);
        out[1] = static_cast<unsigned char>(p >> 8);
        out[2] = static_cast<unsigned char>(p);
        if (alpha_) out[3] = static_cast<unsigned char>(p >> 24);
        out += channels;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = alpha_ ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    image.flags = fast_ ? PNG_IMAGE_FLAG_FAST : 0;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb_.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace zohost::tool
