// Whether two PNG files hold the same picture, pixel for pixel, whatever
// their compression: exit 0 when they do, 1 when they differ (with where),
// 2 when one cannot be read.
//
//   png_same A.png B.png
#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Picture {
    png_uint_32 width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

bool readPng(const char* path, Picture& p) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path)) {
        image.format = PNG_FORMAT_RGBA;
        p.rgba.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr)) {
            p.width = image.width;
            p.height = image.height;
            return true;
        }
    }
    std::fprintf(stderr, "png_same: cannot read %s: %s\n", path, image.message);
    png_image_free(&image);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: png_same A.png B.png\n");
        return 2;
    }
    Picture a, b;
    if (!readPng(argv[1], a) || !readPng(argv[2], b)) return 2;
    if (a.width != b.width || a.height != b.height) {
        std::printf("sizes differ: %ux%u and %ux%u\n", static_cast<unsigned>(a.width),
                    static_cast<unsigned>(a.height), static_cast<unsigned>(b.width), static_cast<unsigned>(b.height));
        return 1;
    }
    long differing = 0;
    long first = -1;
    for (std::size_t i = 0; i < a.rgba.size(); i += 4) {
        if (std::memcmp(&a.rgba[i], &b.rgba[i], 4) == 0) continue;
        if (first < 0) first = static_cast<long>(i / 4);
        ++differing;
    }
    if (differing == 0) return 0;
    std::printf("%ld pixels differ, the first at x=%ld y=%ld\n", differing, first % static_cast<long>(a.width),
                first / static_cast<long>(a.width));
    return 1;
}
