// Compares a picture zohost wrote on Windows with the picture the same
// command writes here, everywhere outside the text (the two font engines
// draw glyphs differently).
//
//   zohost_png_compare WINDOWS.png ZOHOST-ARGUMENTS...   (without --png)
#include <png.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/Tool.h"
#include "TextBoxes.h"

namespace {

bool readPng(const std::string& path, std::vector<std::uint32_t>& rgb, int& w, int& h) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        std::cerr << "cannot read " << path << ": " << image.message << "\n";
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
        std::cerr << "cannot read " << path << ": " << image.message << "\n";
        return false;
    }
    w = static_cast<int>(image.width);
    h = static_cast<int>(image.height);
    rgb.resize(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<std::uint32_t>(bytes[3 * i]) << 16 | bytes[3 * i + 1] << 8 | bytes[3 * i + 2];
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: zohost_png_compare WINDOWS.png ZOHOST-ARGUMENTS...\n";
        return 2;
    }
    const std::string theirs_path = argv[1];
    const std::string ours_path = theirs_path + ".linux.png";
    std::vector<std::string> args{"zohost", ZO_MODULE_PATH};
    crosscheck::TextBoxes text;
    for (int i = 2; i < argc; ++i) {
        args.push_back(argv[i]);
        if (std::strcmp(argv[i], "--font-height") == 0 && i + 1 < argc) text.setFontHeight(std::atoi(argv[i + 1]));
    }
    args.push_back("--png");
    args.push_back(ours_path);
    std::vector<const char*> cargs;
    for (const std::string& a : args) cargs.push_back(a.c_str());
    std::ostringstream out, err;
    text.trace();
    const int rc = zohost::tool::runTool(static_cast<int>(cargs.size()), cargs.data(), out, err, false);
    ZoGdiSetTrace(nullptr, nullptr);
    if (rc != 0) {
        std::cerr << "zohost here: exit " << rc << "\n" << err.str();
        return 1;
    }
    std::vector<std::uint32_t> ours, theirs;
    int ow = 0, oh = 0, tw = 0, th = 0;
    if (!readPng(ours_path, ours, ow, oh) || !readPng(theirs_path, theirs, tw, th)) return 1;
    std::remove(ours_path.c_str());
    if (ow != tw || oh != th) {
        std::cout << "FAIL: the Windows picture is " << tw << "x" << th << ", ours " << ow << "x" << oh << "\n";
        return 1;
    }
    long differing = 0, compared = 0;
    int first_x = -1, first_y = -1;
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            if (text.covers(x, y)) continue;
            ++compared;
            const std::size_t i = static_cast<std::size_t>(y) * ow + x;
            if (ours[i] != theirs[i] && differing++ == 0) {
                first_x = x;
                first_y = y;
            }
        }
    if (differing) {
        std::cout << "FAIL: " << differing << " of " << compared << " pixels differ outside the text, first at ("
                  << first_x << "," << first_y << ")\n";
        return 1;
    }
    std::cout << "ok: " << ow << "x" << oh << ", " << compared << " pixels outside " << text.size()
              << " text boxes agree\n";
    return 0;
}
