#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>

#ifndef ZOGDI_FONT_FILE
#define ZOGDI_FONT_FILE "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
#endif

namespace zogdi {
namespace {

// Loaded once, on first use, and kept for the life of the process so that no
// exit-time destructor runs before a host's last call.
FT_Face sharedFace() {
    static FT_Face face = [] {
        FT_Library library = nullptr;
        FT_Face f = nullptr;
        if (FT_Init_FreeType(&library) != 0)
            return f;
        if (FT_New_Face(library, ZOGDI_FONT_FILE, 0, &f) != 0) {
            FT_Done_FreeType(library);
            return static_cast<FT_Face>(nullptr);
        }
        return f;
    }();
    return face;
}

// Bytes 0x80..0x9F of Windows code page 1252; the rest are Latin-1.
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t toUnicode(unsigned char c) {
    return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
}

// Windows sizes the cell from the OS/2 table's Windows ascent and descent,
// rounded to whole pixels at the em size.
int scaled(long units, int px, int unitsPerEm) {
    return static_cast<int>((static_cast<int64_t>(units) * px + unitsPerEm / 2) / unitsPerEm);
}

} // namespace

Font::Font(int pixelHeight) : px_(pixelHeight) {
    FT_Face face = sharedFace();
    if (!face || face->units_per_EM == 0)
        return;
    long up = face->ascender;
    long down = -face->descender;
    if (auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            up = os2->usWinAscent;
            down = os2->usWinDescent;
        }
    }
    ascent_ = scaled(up, px_, face->units_per_EM);
    descent_ = scaled(down, px_, face->units_per_EM);
}

const Glyph& Font::glyph(unsigned char c) {
    std::unique_ptr<Glyph>& slot = cache_[c];
    if (slot)
        return *slot;
    slot.reset(new Glyph());
    FT_Face face = sharedFace();
    if (!face || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px_)) != 0)
        return *slot;
    if (FT_Load_Char(face, toUnicode(c), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0)
        return *slot;
    const FT_GlyphSlot g = face->glyph;
    Glyph& out = *slot;
    out.advance = static_cast<int32_t>((g->advance.x + 32) >> 6);
    out.left = g->bitmap_left;
    out.top = g->bitmap_top;
    const FT_Bitmap& b = g->bitmap;
    if (b.pixel_mode != FT_PIXEL_MODE_MONO && b.pixel_mode != FT_PIXEL_MODE_GRAY)
        return out;
    out.width = static_cast<int32_t>(b.width);
    out.rows = static_cast<int32_t>(b.rows);
    out.mask.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.rows), 0);
    for (int32_t y = 0; y < out.rows; ++y) {
        const unsigned char* row = b.buffer + static_cast<ptrdiff_t>(y) * b.pitch;
        for (int32_t x = 0; x < out.width; ++x) {
            const bool on = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0
                                                                : row[x] >= 128;
            out.mask[static_cast<size_t>(y) * out.width + x] = on ? 1 : 0;
        }
    }
    return out;
}

int64_t Font::measure(const char* text, int length) {
    int64_t width = 0;
    for (int i = 0; i < length; ++i)
        width += glyph(static_cast<unsigned char>(text[i])).advance;
    return width;
}

void Font::draw(const Canvas& c, int64_t left, int64_t top, const char* text, int length, uint32_t pixel) {
    const int64_t baseline = top + ascent_;
    int64_t pen = left;
    for (int i = 0; i < length; ++i) {
        const Glyph& g = glyph(static_cast<unsigned char>(text[i]));
        const int64_t gx = pen + g.left;
        const int64_t gy = baseline - g.top;
        pen += g.advance;
        const int64_t x0 = std::max<int64_t>(0, -gx), x1 = std::min<int64_t>(g.width, c.width - gx);
        const int64_t y0 = std::max<int64_t>(0, -gy), y1 = std::min<int64_t>(g.rows, c.height - gy);
        for (int64_t y = y0; y < y1; ++y) {
            const uint8_t* src = g.mask.data() + y * g.width;
            uint32_t* row = c.pixels + (gy + y) * c.width;
            for (int64_t x = x0; x < x1; ++x)
                if (src[x])
                    row[gx + x] = pixel;
        }
    }
}

} // namespace zogdi
