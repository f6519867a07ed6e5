// TextOutA: reference points of the alignments, background modes, colours
// and clipping. The glyph shapes themselves are FreeType's.
#include "zogdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct Box {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN; // inclusive
    bool empty() const { return x1 < x0; }
};

// Draws text on a black canvas with red ink and a green background.
class Text {
public:
    Text(int px, UINT align, int mode, int w = 240, int h = 80) : w_(w), h_(h) {
        dc_ = ZoGdiCreateCanvasDC(w, h, RGB(0, 0, 0));
        font_ = ZoGdiCreateFont(px);
        old_ = SelectObject(dc_, font_);
        SetTextAlign(dc_, align);
        SetBkMode(dc_, mode);
        SetTextColor(dc_, RGB(255, 0, 0));
        SetBkColor(dc_, RGB(0, 255, 0));
    }
    ~Text() {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        ZoGdiDeleteDC(dc_);
    }
    BOOL out(int x, int y, const char* s) { return TextOutA(dc_, x, y, s, int(std::strlen(s))); }
    // Bounding box of pixels of a colour (0: any non-black).
    Box box(uint32_t colour = 0) const {
        Box b;
        const uint32_t* px = ZoGdiPixels(dc_, nullptr, nullptr);
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                const uint32_t p = px[y * w_ + x];
                if (colour ? p == colour : p != 0) {
                    b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                    b.x1 = std::max(b.x1, x), b.y1 = std::max(b.y1, y);
                }
            }
        return b;
    }
    int count(uint32_t colour) const {
        const uint32_t* px = ZoGdiPixels(dc_, nullptr, nullptr);
        int n = 0;
        for (int i = 0; i < w_ * h_; ++i)
            n += px[i] == colour;
        return n;
    }
    HDC dc() const { return dc_; }

private:
    int w_, h_;
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
};

const uint32_t kInk = 0xFF0000, kBack = 0x00FF00;

struct Sample {
    int px;
    const char* text;
};

class Alignment : public ::testing::TestWithParam<Sample> {};

// The opaque box is the text's cell: left-aligned it starts at x, right-
// aligned it ends just before x, and both have the same width and pixels.
TEST_P(Alignment, RightAlignedTextEndsAtXAndLeftAlignedStartsThere) {
    const Sample& s = GetParam();
    Text left(s.px, TA_LEFT | TA_TOP, OPAQUE), right(s.px, TA_RIGHT | TA_TOP, OPAQUE);
    ASSERT_TRUE(left.out(20, 10, s.text));
    ASSERT_TRUE(right.out(200, 10, s.text));
    const Box l = left.box(), r = right.box();
    ASSERT_FALSE(l.empty());
    EXPECT_EQ(l.x0, 20);
    EXPECT_EQ(l.y0, 10);
    EXPECT_EQ(r.x1, 199);
    EXPECT_EQ(r.y0, 10);
    EXPECT_EQ(r.x1 - r.x0, l.x1 - l.x0);
    EXPECT_EQ(r.y1, l.y1);
    // A monospaced cell: roughly 0.6 em per character, 1.16 em high.
    const int chars = int(std::strlen(s.text));
    EXPECT_NEAR(double(l.x1 - l.x0 + 1) / chars, 0.6 * s.px, 0.6);
    EXPECT_NEAR(double(l.y1 - l.y0 + 1), 1.164 * s.px, 1.0);
    // The same text left-aligned at x - width lands on the same pixels.
    Text shifted(s.px, TA_LEFT | TA_TOP, OPAQUE);
    shifted.out(200 - (l.x1 - l.x0 + 1), 10, s.text);
    const Box sh = shifted.box(), ink = right.box(kInk), shInk = shifted.box(kInk);
    EXPECT_EQ(sh.x0, r.x0);
    EXPECT_EQ(shInk.x0, ink.x0);
    EXPECT_EQ(shInk.x1, ink.x1);
    EXPECT_EQ(shifted.count(kInk), right.count(kInk));
}

TEST_P(Alignment, TransparentModeDrawsOnlyInkInsideTheCell) {
    const Sample& s = GetParam();
    Text opaque(s.px, TA_RIGHT | TA_TOP, OPAQUE), clear(s.px, TA_RIGHT | TA_TOP, TRANSPARENT);
    opaque.out(150, 20, s.text);
    clear.out(150, 20, s.text);
    EXPECT_EQ(clear.count(kBack), 0);
    EXPECT_GT(opaque.count(kBack), 0);
    EXPECT_EQ(clear.count(kInk), opaque.count(kInk));
    const Box cell = opaque.box(), ink = clear.box();
    ASSERT_FALSE(ink.empty());
    EXPECT_EQ(ink.x0, clear.box(kInk).x0); // nothing but ink was drawn
    EXPECT_GE(ink.x0, cell.x0);
    EXPECT_LE(ink.x1, cell.x1);
    EXPECT_GE(ink.y0, cell.y0);
    EXPECT_LE(ink.y1, cell.y1);
}

INSTANTIATE_TEST_SUITE_P(Samples, Alignment,
                         ::testing::Values(Sample{12, "0.43"}, Sample{12, "2321.05"}, Sample{12, " 0 msec"},
                                           Sample{8, "441.00"}, Sample{16, "-10"}, Sample{24, "Hz"},
                                           Sample{13, "-1.5"}));

TEST(Text, VerticalAlignmentsAndCentreUseTheCell) {
    Text top(12, TA_LEFT | TA_TOP, OPAQUE), bottom(12, TA_LEFT | TA_BOTTOM, OPAQUE),
        base(12, TA_LEFT | TA_BASELINE, OPAQUE), centre(12, TA_CENTER | TA_TOP, OPAQUE);
    top.out(50, 40, "ab");
    bottom.out(50, 40, "ab");
    base.out(50, 40, "ab");
    centre.out(50, 40, "ab");
    const Box t = top.box(), b = bottom.box(), l = base.box(), c = centre.box();
    const int height = t.y1 - t.y0 + 1, width = t.x1 - t.x0 + 1;
    EXPECT_EQ(b.y1, 39);
    EXPECT_EQ(b.y1 - b.y0 + 1, height);
    EXPECT_GT(l.y0, b.y0); // the baseline lies above the cell's bottom
    EXPECT_LT(l.y0, t.y0);
    EXPECT_EQ(c.x0, 50 - width / 2);
}

TEST(Text, UpdateCurrentPositionUsesAndAdvancesIt) {
    Text t(12, TA_UPDATECP | TA_LEFT | TA_TOP, OPAQUE);
    MoveToEx(t.dc(), 30, 5, nullptr);
    ASSERT_TRUE(t.out(0, 60, "abc"));
    const Box b = t.box();
    EXPECT_EQ(b.x0, 30);
    EXPECT_EQ(b.y0, 5);
    POINT p;
    GetCurrentPositionEx(t.dc(), &p);
    EXPECT_EQ(p.x, b.x1 + 1);
    EXPECT_EQ(p.y, 5);
    SetTextAlign(t.dc(), TA_UPDATECP | TA_RIGHT);
    t.out(0, 60, "abc");
    GetCurrentPositionEx(t.dc(), &p);
    EXPECT_EQ(p.x, 30);
}

TEST(Text, ColourFollowsSetTextColor) {
    Text t(16, TA_LEFT, TRANSPARENT);
    SetTextColor(t.dc(), RGB(0xFA, 0x8C, 0xDC));
    t.out(5, 5, "8");
    EXPECT_GT(t.count(0xFA8CDC), 10);
    EXPECT_EQ(t.count(kInk), 0);
}

TEST(Text, EmptyNegativeAndMissingTextsDrawNothing) {
    Text t(12, TA_LEFT, OPAQUE);
    EXPECT_TRUE(TextOutA(t.dc(), 5, 5, "abc", 0));
    EXPECT_TRUE(TextOutA(t.dc(), 5, 5, nullptr, 0));
    EXPECT_FALSE(TextOutA(t.dc(), 5, 5, "abc", -1));
    EXPECT_FALSE(TextOutA(t.dc(), 5, 5, nullptr, 3));
    EXPECT_TRUE(t.box().empty());
    t.out(5, 5, "a"); // control
    EXPECT_FALSE(t.box().empty());
}

TEST(Text, FarAndPartlyVisibleTextIsClipped) {
    Text t(12, TA_RIGHT | TA_TOP, OPAQUE, 40, 20);
    const int far[][2] = {{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, {INT_MAX, 0}, {INT_MIN, 0}, {0, INT_MIN}, {3, INT_MAX}};
    for (const auto& p : far)
        EXPECT_TRUE(t.out(p[0], p[1], "-1.5 far text"));
    EXPECT_TRUE(t.box().empty());
    t.out(4, -5, "2321.05"); // only the last characters' lower part shows
    const Box b = t.box();
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.x0, 0);
    EXPECT_EQ(b.y0, 0);
    EXPECT_EQ(b.x1, 3);
}

TEST(Text, TheDefaultFontDrawsWithoutAnySelection) {
    HDC dc = ZoGdiCreateCanvasDC(60, 30, RGB(255, 255, 255));
    EXPECT_TRUE(TextOutA(dc, 2, 2, "Hz", 2));
    const uint32_t* px = ZoGdiPixels(dc, nullptr, nullptr);
    int black = 0;
    for (int i = 0; i < 60 * 30; ++i)
        black += px[i] == 0;
    EXPECT_GT(black, 10);
    ZoGdiDeleteDC(dc);
}

TEST(Text, CodePage1252BytesHaveGlyphs) {
    Text euro(16, TA_LEFT, TRANSPARENT), eAcute(16, TA_LEFT, TRANSPARENT), space(16, TA_LEFT, TRANSPARENT);
    euro.out(5, 5, "\x80");
    eAcute.out(5, 5, "\xE9");
    space.out(5, 5, " ");
    EXPECT_GT(euro.count(kInk), 10);
    EXPECT_GT(eAcute.count(kInk), 10);
    EXPECT_EQ(space.count(kInk), 0);
}

} // namespace
