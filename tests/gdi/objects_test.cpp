// Handles, selection, deletion, device-context state and canvases.
#include "zogdi.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace {

// A small canvas DC, deleted at scope end.
struct Canvas {
    explicit Canvas(int w = 8, int h = 8, COLORREF fill = RGB(255, 255, 255)) : dc(ZoGdiCreateCanvasDC(w, h, fill)) {}
    ~Canvas() { ZoGdiDeleteDC(dc); }
    uint32_t at(int x, int y) const {
        int w = 0, h = 0;
        const uint32_t* px = ZoGdiPixels(dc, &w, &h);
        return px[y * w + x];
    }
    HDC dc;
};

HGDIOBJ garbage() { return reinterpret_cast<HGDIOBJ>(uintptr_t(0x12345678)); }

TEST(DefaultState, IsThatOfAFreshWindowsDC) {
    Canvas c;
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(SetTextColor(c.dc, RGB(1, 2, 3)), RGB(0, 0, 0));
    EXPECT_EQ(SetBkMode(c.dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetTextAlign(c.dc, TA_RIGHT), UINT(TA_LEFT | TA_TOP));
    EXPECT_EQ(SetBkColor(c.dc, RGB(0, 0, 0)), RGB(255, 255, 255));
    POINT p = {-1, -1};
    EXPECT_TRUE(MoveToEx(c.dc, 3, 4, &p));
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    // The default pen draws black on the white canvas.
    EXPECT_TRUE(LineTo(c.dc, 5, 4));
    EXPECT_EQ(c.at(3, 4), 0x000000u);
    EXPECT_EQ(c.at(5, 4), 0xFFFFFFu);
}

TEST(Setters, ReturnThePreviousValueAndRejectBadInput) {
    Canvas c;
    EXPECT_EQ(SetTextColor(c.dc, RGB(10, 20, 30)), RGB(0, 0, 0));
    EXPECT_EQ(SetTextColor(c.dc, RGB(40, 50, 60)), RGB(10, 20, 30));
    EXPECT_EQ(SetBkMode(c.dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(c.dc, 5), 0); // not a mode: refused, nothing changes
    EXPECT_EQ(SetBkMode(c.dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextAlign(c.dc, TA_RIGHT | TA_TOP), UINT(TA_LEFT));
    EXPECT_EQ(SetTextAlign(c.dc, TA_LEFT), UINT(TA_RIGHT));
    POINT p;
    MoveToEx(c.dc, 7, -9, nullptr);
    EXPECT_TRUE(MoveToEx(c.dc, INT_MIN, INT_MAX, &p));
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, -9);
    ASSERT_TRUE(GetCurrentPositionEx(c.dc, &p));
    EXPECT_EQ(p.x, INT_MIN);
    EXPECT_EQ(p.y, INT_MAX);
}

struct Kind {
    const char* name;
    int kind;
    HGDIOBJ (*make)();
    int stock;
};

class Selection : public ::testing::TestWithParam<Kind> {};

TEST_P(Selection, ReturnsThePreviousObjectOfThatKind) {
    const Kind& k = GetParam();
    Canvas c;
    HGDIOBJ a = k.make(), b = k.make();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a, b);
    EXPECT_EQ(SelectObject(c.dc, a), GetStockObject(k.stock));
    EXPECT_EQ(SelectObject(c.dc, b), a);
    EXPECT_EQ(SelectObject(c.dc, b), b); // reselecting returns itself
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, k.kind), b);
    EXPECT_EQ(SelectObject(c.dc, GetStockObject(k.stock)), b);
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_TRUE(DeleteObject(b));
}

TEST_P(Selection, BadHandlesReturnNullAndChangeNothing) {
    const Kind& k = GetParam();
    Canvas c;
    HGDIOBJ mine = k.make();
    SelectObject(c.dc, mine);
    HGDIOBJ stale = k.make();
    DeleteObject(stale);
    Canvas other;
    const HGDIOBJ bad[] = {nullptr, garbage(), stale, reinterpret_cast<HGDIOBJ>(other.dc), HGDI_ERROR,
                           reinterpret_cast<HGDIOBJ>(&c)};
    for (HGDIOBJ h : bad) {
        EXPECT_EQ(SelectObject(c.dc, h), nullptr) << h;
        EXPECT_EQ(ZoGdiCurrentObject(c.dc, k.kind), mine);
    }
    EXPECT_EQ(SelectObject(nullptr, mine), nullptr);
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(garbage()), mine), nullptr);
    SelectObject(c.dc, GetStockObject(k.stock));
    DeleteObject(mine);
}

TEST_P(Selection, DeletingASelectedObjectWaitsUntilItIsDeselected) {
    const Kind& k = GetParam();
    Canvas c;
    HGDIOBJ o = k.make();
    SelectObject(c.dc, o);
    EXPECT_TRUE(DeleteObject(o));
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, k.kind), o); // still there, still in use
    EXPECT_EQ(SelectObject(c.dc, GetStockObject(k.stock)), o);
    EXPECT_FALSE(DeleteObject(o)); // now gone
    EXPECT_EQ(SelectObject(c.dc, o), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Selection,
    ::testing::Values(Kind{"Pen", OBJ_PEN, [] { return HGDIOBJ(CreatePen(PS_SOLID, 1, RGB(1, 2, 3))); }, BLACK_PEN},
                      Kind{"Brush", OBJ_BRUSH, [] { return HGDIOBJ(CreateSolidBrush(RGB(4, 5, 6))); }, WHITE_BRUSH},
                      Kind{"Font", OBJ_FONT, [] { return HGDIOBJ(ZoGdiCreateFont(12)); }, SYSTEM_FONT}),
    [](const ::testing::TestParamInfo<Kind>& i) { return std::string(i.param.name); });

TEST(Deletion, ValidatesEveryHandle) {
    Canvas c;
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen)); // double delete
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_FALSE(DeleteObject(garbage()));
    EXPECT_FALSE(DeleteObject(HGDI_ERROR));
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(c.dc))); // a DC is not an object
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(&c)));
    // Stock objects survive deletion and keep working.
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
    EXPECT_EQ(SelectObject(c.dc, GetStockObject(BLACK_PEN)), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetStockObject(9), nullptr);
}

TEST(Deletion, StaleHandlesStayInvalidThroughManyReuses) {
    HPEN first = CreatePen(PS_SOLID, 1, 0);
    ASSERT_TRUE(DeleteObject(first));
    for (int i = 0; i < 20000; ++i) {
        HPEN p = CreatePen(PS_SOLID, 1, 0);
        ASSERT_NE(p, first) << "cycle " << i;
        ASSERT_TRUE(DeleteObject(p));
    }
    EXPECT_FALSE(DeleteObject(first));
}

TEST(LiveObjects, BalancedPaintLeavesTheCountAsItWas) {
    Canvas c(32, 32);
    const long before = ZoGdiLiveObjects();
    HBRUSH background = CreateSolidBrush(RGB(0, 0, 0));
    const RECT r = {0, 0, 31, 31};
    FillRect(c.dc, &r, background);
    DeleteObject(background);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(250, 250, 0));
    HGDIOBJ entry = SelectObject(c.dc, pen);
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 31, 31);
    EXPECT_EQ(ZoGdiLiveObjects(), before + 1);
    SelectObject(c.dc, entry);
    DeleteObject(pen);
    EXPECT_EQ(ZoGdiLiveObjects(), before);
}

// Negative controls: each kind of leak shows in the count.
TEST(LiveObjects, LeaksAreCounted) {
    const long before = ZoGdiLiveObjects();
    HPEN forgotten = CreatePen(PS_SOLID, 1, 0);
    HBRUSH forgottenBrush = CreateSolidBrush(0);
    EXPECT_EQ(ZoGdiLiveObjects(), before + 2);
    {
        // Deleted while still selected: GDI keeps it until the DC lets go.
        Canvas c;
        HPEN pen = CreatePen(PS_SOLID, 1, 0);
        SelectObject(c.dc, pen);
        DeleteObject(pen);
        EXPECT_EQ(ZoGdiLiveObjects(), before + 3);
    }
    EXPECT_EQ(ZoGdiLiveObjects(), before + 2); // freed with its DC
    DeleteObject(forgotten);
    DeleteObject(forgottenBrush);
    EXPECT_EQ(ZoGdiLiveObjects(), before);
    // Fonts and DCs are not pens or brushes.
    HFONT f = ZoGdiCreateFont(10);
    HDC dc = ZoGdiCreateCanvasDC(4, 4, 0);
    EXPECT_EQ(ZoGdiLiveObjects(), before);
    DeleteObject(f);
    ZoGdiDeleteDC(dc);
}

TEST(DeviceContext, ADeletedDCRefusesEveryCall) {
    HDC dc = ZoGdiCreateCanvasDC(4, 4, 0);
    ZoGdiDeleteDC(dc);
    ZoGdiDeleteDC(dc); // harmless twice
    const HDC bad[] = {dc, nullptr, reinterpret_cast<HDC>(garbage())};
    const RECT r = {0, 0, 2, 2};
    for (HDC d : bad) {
        POINT p;
        int w = -1, h = -1;
        EXPECT_FALSE(MoveToEx(d, 1, 1, &p));
        EXPECT_FALSE(LineTo(d, 2, 2));
        EXPECT_FALSE(GetCurrentPositionEx(d, &p));
        EXPECT_FALSE(FillRect(d, &r, HBRUSH(GetStockObject(BLACK_BRUSH))));
        EXPECT_FALSE(TextOutA(d, 0, 0, "x", 1));
        EXPECT_EQ(SetTextColor(d, 0), CLR_INVALID);
        EXPECT_EQ(SetBkColor(d, 0), CLR_INVALID);
        EXPECT_EQ(SetBkMode(d, OPAQUE), 0);
        EXPECT_EQ(SetTextAlign(d, 0), 0xFFFFFFFFu);
        EXPECT_EQ(ZoGdiPixels(d, &w, &h), nullptr);
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
        EXPECT_EQ(ZoGdiCurrentObject(d, OBJ_PEN), nullptr);
    }
}

struct Size {
    int w, h;
    bool valid;
    int expectW, expectH;
};

class CanvasSizes : public ::testing::TestWithParam<Size> {};

TEST_P(CanvasSizes, EmptyGivesAnInertDCAndAbsurdGivesNull) {
    const Size& s = GetParam();
    HDC dc = ZoGdiCreateCanvasDC(s.w, s.h, RGB(1, 2, 3));
    if (!s.valid) {
        EXPECT_EQ(dc, nullptr);
        return;
    }
    ASSERT_NE(dc, nullptr);
    int w = -1, h = -1;
    const uint32_t* px = ZoGdiPixels(dc, &w, &h);
    EXPECT_EQ(w, s.expectW);
    EXPECT_EQ(h, s.expectH);
    EXPECT_EQ(px == nullptr, w * h == 0);
    MoveToEx(dc, -5, -5, nullptr);
    EXPECT_TRUE(LineTo(dc, 50, 40));
    const RECT r = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_TRUE(FillRect(dc, &r, HBRUSH(GetStockObject(BLACK_BRUSH))));
    if (px) {
        EXPECT_EQ(px[0], 0x000000u);
    }
    EXPECT_TRUE(TextOutA(dc, 0, 0, "text", 4));
    ZoGdiDeleteDC(dc);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CanvasSizes,
                         ::testing::Values(Size{0, 0, true, 0, 0}, Size{0, 10, true, 0, 0}, Size{10, 0, true, 0, 0},
                                           Size{-3, 5, true, 0, 0}, Size{INT_MIN, INT_MIN, true, 0, 0},
                                           Size{1, 1, true, 1, 1}, Size{37, 3, true, 37, 3},
                                           Size{100000, 100000, false, 0, 0}, Size{INT_MAX, INT_MAX, false, 0, 0},
                                           Size{INT_MAX, 2, false, 0, 0}));

TEST(DeviceContext, CanvasStartsInTheFillColour) {
    Canvas c(3, 2, RGB(0x12, 0x34, 0x56));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(c.at(x, y), 0x123456u);
}

TEST(Pens, NullPenDrawsNothingButMovesThePosition) {
    Canvas c(8, 8, 0);
    HPEN none = CreatePen(PS_NULL, 1, RGB(255, 255, 255));
    SelectObject(c.dc, none);
    MoveToEx(c.dc, 0, 1, nullptr);
    EXPECT_TRUE(LineTo(c.dc, 7, 1));
    POINT p;
    GetCurrentPositionEx(c.dc, &p);
    EXPECT_EQ(p.x, 7);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(c.at(x, 1), 0u);
    // Control: the stock white pen on the same row draws.
    SelectObject(c.dc, GetStockObject(WHITE_PEN));
    MoveToEx(c.dc, 0, 1, nullptr);
    LineTo(c.dc, 7, 1);
    EXPECT_EQ(c.at(6, 1), 0xFFFFFFu);
    DeleteObject(none);
}

TEST(Pens, OtherStylesAndWidthsDrawAsThinSolidLines) {
    const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_INSIDEFRAME, 0x7F};
    const int widths[] = {0, 1, 2, 7, -3, INT_MAX};
    for (int s : styles)
        for (int w : widths) {
            Canvas c(8, 3, 0);
            HPEN pen = CreatePen(s, w, RGB(0, 255, 0));
            ASSERT_NE(pen, nullptr);
            SelectObject(c.dc, pen);
            MoveToEx(c.dc, 1, 1, nullptr);
            LineTo(c.dc, 6, 1);
            for (int x = 1; x < 6; ++x)
                EXPECT_EQ(c.at(x, 1), 0x00FF00u) << s << " " << w;
            EXPECT_EQ(c.at(6, 1), 0u);
            EXPECT_EQ(c.at(3, 0), 0u);
            SelectObject(c.dc, GetStockObject(BLACK_PEN));
            DeleteObject(pen);
        }
}

TEST(Fill, RightAndBottomEdgesAreExcludedAndBadArgumentsRefused) {
    Canvas c(8, 8, 0);
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    const RECT r = {1, 2, 4, 6};
    EXPECT_TRUE(FillRect(c.dc, &r, brush)); // need not be selected
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(c.at(x, y), (x >= 1 && x < 4 && y >= 2 && y < 6) ? 0xFF0000u : 0u) << x << "," << y;
    const RECT all = {0, 0, 8, 8};
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    EXPECT_FALSE(FillRect(c.dc, &all, HBRUSH(pen)));
    EXPECT_FALSE(FillRect(c.dc, &all, nullptr));
    EXPECT_FALSE(FillRect(c.dc, nullptr, brush));
    EXPECT_TRUE(FillRect(c.dc, &all, HBRUSH(GetStockObject(NULL_BRUSH))));
    EXPECT_EQ(c.at(0, 0), 0u); // none of these painted
    DeleteObject(brush);
    EXPECT_FALSE(FillRect(c.dc, &all, brush));
    EXPECT_EQ(c.at(0, 0), 0u);
    DeleteObject(pen);
}

TEST(Fonts, HeightsOutsideTheRangeGiveNoFont) {
    EXPECT_EQ(ZoGdiCreateFont(0), nullptr);
    EXPECT_EQ(ZoGdiCreateFont(-12), nullptr);
    EXPECT_EQ(ZoGdiCreateFont(1025), nullptr);
    for (int px : {1, 1024}) {
        HFONT f = ZoGdiCreateFont(px);
        EXPECT_NE(f, nullptr) << px;
        EXPECT_TRUE(DeleteObject(f));
    }
    Canvas c;
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, 3), nullptr);
    EXPECT_EQ(ZoGdiCurrentObject(c.dc, 0), nullptr);
}

} // namespace
