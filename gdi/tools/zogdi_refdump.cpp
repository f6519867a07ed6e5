// Runs the reference cases with the real GDI of Windows (or Wine):
//   zogdi_refdump gen            prints the reference table of the standard cases
//   zogdi_refdump run            reads cases from stdin, prints "case | result"
//   zogdi_refdump check TABLE    checks a table against this GDI
#include <windows.h>

#include "refcase.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <fstream>
#include <iostream>
#include <map>

namespace {

class GdiBackend : public refcase::Backend {
public:
    HDC open(int width, int height) override {
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        std::memset(bits, 0, static_cast<size_t>(width) * height * 4);
        surfaces_[dc] = {bitmap, SelectObject(dc, bitmap), static_cast<uint32_t*>(bits)};
        return dc;
    }
    const uint32_t* pixels(HDC dc) override {
        GdiFlush();
        return surfaces_[dc].bits;
    }
    void close(HDC dc) override {
        Surface s = surfaces_[dc];
        SelectObject(dc, s.previous);
        DeleteObject(s.bitmap);
        DeleteDC(dc);
        surfaces_.erase(dc);
    }
    HFONT font(int pixelHeight) override {
        return CreateFontA(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, "DejaVu Sans Mono");
    }

private:
    struct Surface {
        HBITMAP bitmap;
        HGDIOBJ previous;
        uint32_t* bits;
    };
    std::map<HDC, Surface> surfaces_;
};

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY); // the table has Unix line ends
    GdiBackend gdi;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "gen") {
        std::cout << "# Reference table of zogdi: cases drawn with the GDI of Wine 8.0 (zogdi_refdump gen).\n"
                     "# case | result; see gdi/tools/refcase.h for the format.\n";
        for (const std::string& c : refcase::standardCases())
            std::cout << c << " | " << refcase::run(gdi, c) << "\n";
        return 0;
    }
    if (mode == "run") {
        for (std::string c; std::getline(std::cin, c);)
            if (!c.empty() && c[0] != '#')
                std::cout << c << " | " << refcase::run(gdi, c) << "\n";
        return 0;
    }
    if (mode == "check" && argc > 2) {
        std::ifstream in(argv[2]);
        if (!in) {
            std::cerr << "cannot read " << argv[2] << "\n";
            return 2;
        }
        long passed = 0, failed = 0;
        for (std::string line, c, expected; std::getline(in, line);) {
            if (!refcase::parse(line, c, expected))
                continue;
            const std::string actual = refcase::run(gdi, c);
            if (refcase::same(c, expected, actual, 0)) {
                ++passed;
            } else if (++failed <= 20) {
                std::cout << "MISMATCH " << c << "\n  expected " << expected << "\n  actual   " << actual << "\n";
            }
        }
        std::cout << passed << " passed, " << failed << " failed\n";
        return failed == 0 && passed > 0 ? 0 : 1;
    }
    std::cerr << "usage: zogdi_refdump gen | run | check TABLE\n";
    return 2;
}
