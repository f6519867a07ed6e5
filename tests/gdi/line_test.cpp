// LineTo pixels where Wine cannot serve as reference (it breaks down on
// lines longer than about 2^28) and properties that hold for every line.
#include "zogdi_backend.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <set>
#include <utility>

namespace {

using Pixels = std::set<std::pair<int, int>>;

// The Windows rule evaluated directly per canvas column (or row): the pixel
// of major step i sits at the minor offset nearest to i*a/n, a tie going to
// the smaller coordinate. `tiesToSmaller` false gives the opposite rule, as
// a control that the checks can tell the two apart.
Pixels model(int w, int h, int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool tiesToSmaller = true) {
    Pixels out;
    const int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const int64_t du = xMajor ? dx : dy, dv = xMajor ? dy : dx;
    const int64_t u0 = xMajor ? x0 : y0, v0 = xMajor ? y0 : x0;
    const uint64_t n = uint64_t(du < 0 ? -du : du), a = uint64_t(dv < 0 ? -dv : dv);
    const int64_t uSize = xMajor ? w : h, vSize = xMajor ? h : w;
    for (int64_t u = 0; u < uSize; ++u) {
        const int64_t step = du < 0 ? u0 - u : u - u0;
        if (step < 0 || uint64_t(step) >= n)
            continue;
        const uint64_t p = uint64_t(step) * a, q = p / n, r2 = 2 * (p % n);
        // Offset magnitude rounded to nearest; at a tie the direction of the
        // minor axis decides which neighbour is the smaller coordinate.
        const bool towardsLarger = dv >= 0;
        const bool tieTakesMore = tiesToSmaller ? !towardsLarger : towardsLarger;
        const uint64_t m = q + ((r2 > n || (r2 == n && tieTakesMore)) ? 1 : 0);
        const int64_t v = v0 + (dv < 0 ? -int64_t(m) : int64_t(m));
        if (v >= 0 && v < vSize)
            out.insert(xMajor ? std::make_pair(int(u), int(v)) : std::make_pair(int(v), int(u)));
    }
    return out;
}

Pixels drawn(int w, int h, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    HDC dc = ZoGdiCreateCanvasDC(w, h, RGB(0, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    Pixels out;
    const uint32_t* px = ZoGdiPixels(dc, nullptr, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (px[size_t(y) * w + x])
                out.insert({x, y});
    SelectObject(dc, old);
    DeleteObject(pen);
    ZoGdiDeleteDC(dc);
    return out;
}

Pixels parseRuns(const std::string& runs) {
    Pixels out;
    for (const std::string& tok : refcase::split(runs)) {
        int x = 0, y = 0, len = 1;
        if (std::sscanf(tok.c_str(), "%d,%d+%d", &x, &y, &len) < 2)
            ADD_FAILURE() << "bad run " << tok;
        for (int k = 0; k < len; ++k)
            out.insert({x + k, y});
    }
    return out;
}

// The model is the rule read off Wine: it reproduces every line of the
// table, and the opposite tie rule does not.
TEST(LineModel, ReproducesTheWineTableAndTheOppositeTieRuleDoesNot) {
    long lines = 0, modelMisses = 0, oppositeMisses = 0;
    for (const ReferenceRow& row : loadReference()) {
        if (row.caseText[0] != 'L')
            continue;
        ++lines;
        std::vector<std::string> t = refcase::split(row.caseText);
        const int w = std::stoi(t[1]), h = std::stoi(t[2]);
        const int32_t c[4] = {std::stoi(t[3]), std::stoi(t[4]), std::stoi(t[5]), std::stoi(t[6])};
        const Pixels wine = parseRuns(row.result);
        modelMisses += model(w, h, c[0], c[1], c[2], c[3]) != wine;
        oppositeMisses += model(w, h, c[0], c[1], c[2], c[3], false) != wine;
    }
    EXPECT_GT(lines, 5000);
    EXPECT_EQ(modelMisses, 0);
    EXPECT_GT(oppositeMisses, lines / 10);
}

struct FarLine {
    const char* name;
    int32_t x0, y0, x1, y1;
};

class FarLines : public ::testing::TestWithParam<FarLine> {};

TEST_P(FarLines, MatchTheRuleOnTheCanvas) {
    const FarLine& l = GetParam();
    EXPECT_EQ(drawn(64, 48, l.x0, l.y0, l.x1, l.y1), model(64, 48, l.x0, l.y0, l.x1, l.y1));
}

INSTANTIATE_TEST_SUITE_P(
    Extremes, FarLines,
    ::testing::Values(FarLine{"HorizontalTwoBillion", -2000000000, 5, 2000000000, 5},
                      FarLine{"HorizontalBack", 2000000000, 5, -2000000000, 5},
                      FarLine{"VerticalTwoBillion", 7, -2000000000, 7, 2000000000},
                      FarLine{"FullRangeHorizontal", INT_MIN, 0, INT_MAX, 0},
                      FarLine{"FullRangeDiagonal", INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                      FarLine{"FullRangeAntiDiagonal", INT_MAX, INT_MIN, INT_MIN, INT_MAX},
                      FarLine{"NearDiagonal", INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX},
                      FarLine{"ShallowThroughCanvas", -2147000000, -3, 2147000000, 50},
                      FarLine{"SteepThroughCanvas", 70, -2100000000, -5, 2100000000},
                      FarLine{"HalfSlopeTies", -2000000000, -1000000000 + 20, 2000000000, 1000000000 + 20},
                      FarLine{"FromInsideOut", 10, 10, INT_MAX, INT_MAX / 3},
                      FarLine{"FromFarIn", INT_MIN, INT_MIN / 2, 30, 20},
                      FarLine{"MissesCanvas", INT_MIN, INT_MIN, INT_MAX, INT_MIN + 5}),
    [](const ::testing::TestParamInfo<FarLine>& i) { return std::string(i.param.name); });

TEST(FarLines, HorizontalTwoBillionCoversTheRow) {
    const Pixels p = drawn(64, 48, -2000000000, 5, 2000000000, 5);
    ASSERT_EQ(p.size(), 64u);
    EXPECT_EQ(p.begin()->second, 5);
    EXPECT_EQ(p.rbegin()->second, 5);
}

// Random lines through the canvas with ends anywhere in the 32-bit range.
TEST(FarLines, RandomLinesThroughTheCanvasMatchTheRule) {
    refcase::Random r(7);
    int failures = 0, drawnAny = 0;
    for (int i = 0; i < 3000 && failures < 5; ++i) {
        const int shift = int(r.range(4, 32));
        const int64_t reach = (int64_t(1) << shift) - 1;
        const int64_t px = r.range(0, 64), py = r.range(0, 48);
        const int64_t dx = r.range(-reach, reach + 1), dy = r.range(-reach, reach + 1);
        auto clamp = [](int64_t v) { return int32_t(v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v); };
        const int32_t x0 = clamp(px - dx), y0 = clamp(py - dy), x1 = clamp(px + dx), y1 = clamp(py + dy);
        const Pixels got = drawn(64, 48, x0, y0, x1, y1);
        drawnAny += !got.empty();
        if (got != model(64, 48, x0, y0, x1, y1)) {
            ++failures;
            ADD_FAILURE() << x0 << " " << y0 << " -> " << x1 << " " << y1;
        }
    }
    EXPECT_GT(drawnAny, 2700); // the lines do cross the canvas
}

// Clipping never changes a pixel: a line on a small canvas equals the same
// line on a canvas that holds it whole, cut to the small canvas's window.
TEST(Clipping, ClippedLinesEqualTheUnclippedLineCut) {
    refcase::Random r(11);
    const int big = 700, off = 320; // the small 64 x 48 canvas sits at (off, off)
    int failures = 0, clippedAndDrawn = 0;
    for (int i = 0; i < 400 && failures < 5; ++i) {
        // Through a point of the canvas, ends up to 300 pixels away.
        const int32_t px = int32_t(r.range(0, 64)), py = int32_t(r.range(0, 48));
        const int32_t dx = int32_t(r.range(-300, 301)), dy = int32_t(r.range(-300, 301));
        const int32_t f = int32_t(r.range(0, 101));
        const int32_t c[4] = {px - dx * f / 100, py - dy * f / 100, px + dx * (100 - f) / 100, py + dy * (100 - f) / 100};
        const Pixels whole = drawn(big, big, c[0] + off, c[1] + off, c[2] + off, c[3] + off);
        Pixels cut;
        for (const auto& p : whole)
            if (p.first >= off && p.first < off + 64 && p.second >= off && p.second < off + 48)
                cut.insert({p.first - off, p.second - off});
        if (drawn(64, 48, c[0], c[1], c[2], c[3]) != cut) {
            ++failures;
            ADD_FAILURE() << c[0] << " " << c[1] << " -> " << c[2] << " " << c[3];
        }
        clippedAndDrawn += !cut.empty() && cut.size() < whole.size();
    }
    EXPECT_GT(clippedAndDrawn, 300); // most lines are both cut and visible
}

TEST(Trace, JoinedSegmentsDrawEachPointOnceAndEndWhereTheyStop) {
    HDC dc = ZoGdiCreateCanvasDC(40, 30, RGB(0, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(dc, pen);
    const POINT pts[] = {{2, 2}, {20, 9}, {25, 28}, {3, 27}, {2, 3}};
    MoveToEx(dc, pts[0].x, pts[0].y, nullptr);
    Pixels expected;
    for (size_t i = 1; i < sizeof pts / sizeof pts[0]; ++i) {
        EXPECT_TRUE(LineTo(dc, pts[i].x, pts[i].y));
        POINT cp = {-1, -1};
        ASSERT_TRUE(GetCurrentPositionEx(dc, &cp));
        EXPECT_EQ(cp.x, pts[i].x);
        EXPECT_EQ(cp.y, pts[i].y);
        for (const auto& p : model(40, 30, pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y))
            expected.insert(p);
    }
    const uint32_t* px = ZoGdiPixels(dc, nullptr, nullptr);
    Pixels got;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            if (px[y * 40 + x]) {
                got.insert({x, y});
                EXPECT_EQ(px[y * 40 + x], 0x0000FFu);
            }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.count({2, 3}), 0u); // the last end point stays excluded
    SelectObject(dc, old);
    DeleteObject(pen);
    ZoGdiDeleteDC(dc);
}

TEST(Trace, ZeroLengthSegmentsDrawNothing) {
    EXPECT_TRUE(drawn(8, 8, 3, 3, 3, 3).empty());
    EXPECT_TRUE(drawn(8, 8, INT_MIN, INT_MAX, INT_MIN, INT_MAX).empty());
    EXPECT_EQ(drawn(8, 8, 3, 3, 4, 3), (Pixels{{3, 3}})); // control: one step draws one pixel
}

} // namespace
