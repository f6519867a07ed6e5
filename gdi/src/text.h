// Glyphs of DejaVu Sans Mono rendered by FreeType, monochrome, cached per size.
#ifndef ZOGDI_TEXT_H
#define ZOGDI_TEXT_H

#include "raster.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zogdi {

struct Glyph {
    int32_t left = 0;    // ink offset from the pen position
    int32_t top = 0;     // ink top above the baseline
    int32_t width = 0;
    int32_t rows = 0;
    int32_t advance = 0;
    std::vector<uint8_t> mask; // width * rows, non-zero where inked
};

class Font {
public:
    explicit Font(int pixelHeight);
    int pixelHeight() const { return px_; }
    int ascent() const { return ascent_; }
    int height() const { return ascent_ + descent_; }
    // Sum of the advances of the first length bytes of text (code page 1252).
    int64_t measure(const char* text, int length);
    // Draws the text with its cell's top left corner at (left, top).
    void draw(const Canvas& canvas, int64_t left, int64_t top, const char* text, int length, uint32_t pixel);

private:
    const Glyph& glyph(unsigned char c);
    int px_;
    int ascent_ = 0;
    int descent_ = 0;
    std::unique_ptr<Glyph> cache_[256];
};

} // namespace zogdi

#endif
