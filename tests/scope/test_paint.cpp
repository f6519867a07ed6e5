// The display's picture, through the host core with the built module, on our
// drawing library: every drawing call is recorded, and the pixels are read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "GuiModule.h"
#include "ModuleFixture.h"
#include "zogdi.h"

using namespace zotest;
using zohost::Instance;
using zohost::ScopeInstance;
using zohost::InstanceOptions;

namespace {

struct Segment {
    int x0, y0, x1, y1;
    COLORREF colour;
    bool operator==(const Segment& o) const {
        return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1 && colour == o.colour;
    }
};

struct Text {
    int x, y;
    std::string text;
    COLORREF colour;
    UINT align;
};

// Follows the drawing calls of one paint: pens by handle, the current
// position, text state.
class Recorder {
public:
    Recorder() { ZoGdiSetTrace(&Recorder::trace, this); }
    ~Recorder() { ZoGdiSetTrace(nullptr, nullptr); }

    std::vector<Segment> segments;
    std::vector<Text> texts;
    std::vector<std::string> calls;
    int fills = 0;
    RECT fill_rect{};

    std::vector<Segment> segmentsIn(COLORREF colour) const {
        std::vector<Segment> out;
        for (const auto& s : segments)
            if (s.colour == colour) out.push_back(s);
        return out;
    }
    std::vector<std::string> textStrings() const {
        std::vector<std::string> out;
        for (const auto& t : texts) out.push_back(t.text);
        return out;
    }
    const Text* findText(const std::string& s) const {
        for (const auto& t : texts)
            if (t.text == s) return &t;
        return nullptr;
    }

private:
    static void trace(void* user, const ZoGdiCall* call) { static_cast<Recorder*>(user)->on(*call); }
    void on(const ZoGdiCall& c) {
        const std::string name = c.name;
        calls.push_back(name);
        if (name == "CreatePen") pens_[c.object] = c.colour;
        if (name == "SelectObject" && pens_.count(c.object)) pen_ = pens_[c.object];
        if (name == "MoveToEx") {
            x_ = c.args[0];
            y_ = c.args[1];
        }
        if (name == "LineTo") {
            segments.push_back({x_, y_, c.args[0], c.args[1], pen_});
            x_ = c.args[0];
            y_ = c.args[1];
        }
        if (name == "SetTextColor") text_colour_ = c.colour;
        if (name == "SetTextAlign") align_ = static_cast<UINT>(c.args[0]);
        if (name == "TextOutA") texts.push_back({c.args[0], c.args[1], std::string(c.text, c.length), text_colour_, align_});
        if (name == "FillRect") {
            ++fills;
            fill_rect = {c.args[0], c.args[1], c.args[2], c.args[3]};
        }
    }
    std::map<HGDIOBJ, COLORREF> pens_;
    COLORREF pen_ = 0;
    int x_ = 0, y_ = 0;
    COLORREF text_colour_ = 0;
    UINT align_ = 0;
};

const COLORREF kMarker = 0x00DC6EBE;
const COLORREF kTraceB = 0x0000FAFA;
const COLORREF kFigure = 0x001E1EFA;
const COLORREF kWhite = 0x00FFFFFF;
const COLORREF kAxisOfWhite = 0x007F7F7F;

struct Capture {
    T_SCOPE scope{};
    std::vector<float> samples;
    Capture(int n, float ys = 1.0f, std::int16_t mode = 0, bool a = false, bool b = false,
            float rate = 44100.0f)
        : samples(2 * static_cast<std::size_t>(std::max(n, 0)), 0.0f) {
        scope.Samples = samples.empty() ? nullptr : samples.data();
        scope.ScopeSize = n;
        scope.Rate = rate;
        scope.Time = 5.0f;
        scope.Y_Scale = ys;
        scope.X_Y_Mode = mode;
        scope.Trigger = 3;
        scope.Volt_Oktave = 1;
        scope.Channel_Active[0] = a;
        scope.Channel_Active[1] = b;
    }
    float& at(int channel, int i) { return samples[static_cast<std::size_t>(channel) * scope.ScopeSize + i]; }
};

struct Picture {
    Instance in;
    HDC dc;
    Recorder rec;
    Picture(int w, int h, InstanceOptions o = InstanceOptions())
        : in(moduleLibrary(), [&] {
              o.audio = false;
              return o;
          }()),
          dc(ZoGdiCreateCanvasDC(w > 0 ? w : 1, h > 0 ? h : 1, RGB(0x12, 0x34, 0x56))), w_(w), h_(h) {}
    ~Picture() { ZoGdiDeleteDC(dc); }
    void show(Capture& c) { in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &c.scope); }
    void paint() {
        rec.segments.clear();
        rec.texts.clear();
        in.paint(dc, w_, h_);
    }
    std::uint32_t pixel(int x, int y) const {
        int w = 0, h = 0;
        const std::uint32_t* p = ZoGdiPixels(dc, &w, &h);
        return p[static_cast<std::size_t>(y) * w + x];
    }
    int w_, h_;
};

std::uint32_t rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

TEST(Paint, MarkersReadoutsAndLabelsOfTheDefaultRecord) {
    Picture p(200, 100);
    p.paint();
    const auto markers = p.rec.segmentsIn(kMarker);
    EXPECT_EQ(markers, (std::vector<Segment>{{4, 47, 4, 55, kMarker}, {196, 47, 196, 55, kMarker},
                                             {196, 47, 196, 55, kMarker}}));
    EXPECT_EQ(p.rec.textStrings(), (std::vector<std::string>{"441.00", "2.27", " 0 Hz", " 0 msec", "-10",
                                                             "-5", " 0", " 5", "10"}));
    const struct {
        const char* text;
        int x, y;
        UINT align;
        COLORREF colour;
    } expected[] = {{"441.00", 196, 53, 2, 0x00FA8CDC}, {"2.27", 196, 37, 2, 0x00FA8CDC},
                    {" 0 Hz", 0, 53, 0, 0x00FA8CDC},    {" 0 msec", 0, 37, 0, 0x00FA8CDC},
                    {"-10", 105, 91, 0, kWhite},        {"-5", 105, 68, 0, kWhite},
                    {" 0", 105, 45, 0, kWhite},         {" 5", 105, 22, 0, kWhite},
                    {"10", 105, -1, 0, kWhite}};
    for (const auto& e : expected) {
        const Text* t = p.rec.findText(e.text);
        ASSERT_NE(t, nullptr) << e.text;
        EXPECT_EQ(t->x, e.x) << e.text;
        EXPECT_EQ(t->y, e.y) << e.text;
        EXPECT_EQ(t->align, e.align) << e.text;
        EXPECT_EQ(t->colour, e.colour) << e.text;
    }
    // Axes and 21 main ticks in the halved text colour.
    const auto axis = p.rec.segmentsIn(kAxisOfWhite);
    ASSERT_EQ(axis.size(), 23u);
    EXPECT_EQ(axis[0], (Segment{0, 51, 200, 51, kAxisOfWhite}));
    EXPECT_EQ(axis[1], (Segment{101, 0, 101, 100, kAxisOfWhite}));
    for (int i = -10; i <= 10; ++i) {
        const Segment& s = axis[2 + i + 10];
        const int y = 51 + static_cast<int>(i * 4.6511627);
        const int half = i % 5 == 0 ? 4 : 2;
        EXPECT_EQ(s, (Segment{101 - half, y, 101 + half, y, kAxisOfWhite})) << i;
    }
    EXPECT_EQ(axis[2].y0, 5);
    EXPECT_EQ(axis[22].y0, 97);
    // No trace: both channels of a fresh record are inactive.
    EXPECT_TRUE(p.rec.segmentsIn(kTraceB).empty());
    EXPECT_TRUE(p.rec.segmentsIn(kWhite).empty());
}

TEST(Paint, RoundingOfTheFrequencyMovesTheSecondMarker) {
    Picture p(100, 60);
    Capture c(19);
    p.show(c);
    p.paint();
    const auto markers = p.rec.segmentsIn(kMarker);
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[1].x0, 95);
    EXPECT_EQ(markers[2].x0, 96);
    ASSERT_NE(p.rec.findText("2321.05"), nullptr);
    EXPECT_EQ(p.rec.findText("2321.05")->x, 95);
    ASSERT_NE(p.rec.findText("0.43"), nullptr);
    EXPECT_EQ(p.rec.findText("0.43")->x, 96);
}

TEST(Paint, TimeDisplayPlacesEverySample) {
    Picture p(200, 100);
    Capture c(100, 1.0f, 0, true, true);
    for (int i = 0; i < 100; ++i) {
        c.at(0, i) = 0.5f;
        c.at(1, i) = -0.25f;
    }
    p.show(c);
    p.paint();
    const auto a = p.rec.segmentsIn(kWhite);
    const auto b = p.rec.segmentsIn(kTraceB);
    ASSERT_EQ(a.size(), 99u);
    ASSERT_EQ(b.size(), 99u);
    EXPECT_EQ(a[0].x0, 4);
    EXPECT_EQ(a[0].x1, 5);
    EXPECT_EQ(a[1].x1, 7);
    EXPECT_EQ(a[98].x1, 196);
    for (int n = 1; n < 100; ++n) {
        EXPECT_EQ(a[n - 1].x1, (n * 192) / 99 + 4);
        EXPECT_EQ(a[n - 1].y1, 51 - 23);
        EXPECT_EQ(b[n - 1].y1, 51 + 11);
    }
}

TEST(Paint, XYFigures) {
    const struct {
        std::int16_t mode;
        int x, y;
    } cases[] = {{1, 56, 40}, {2, 79, 28}, {3, 56, 40}};
    for (const auto& m : cases) {
        Picture p(200, 100);
        Capture c(100, 1.0f, m.mode, true, true);
        for (int i = 0; i < 100; ++i) {
            c.at(0, i) = 0.5f;
            c.at(1, i) = 0.25f;
        }
        p.show(c);
        p.paint();
        const auto fig = p.rec.segmentsIn(kFigure);
        ASSERT_EQ(fig.size(), 99u) << m.mode;
        EXPECT_EQ(fig[0].x0, m.x) << m.mode;
        EXPECT_EQ(fig[0].y0, m.y) << m.mode;
        EXPECT_TRUE(p.rec.segmentsIn(kWhite).empty());
    }
    // One channel inactive: the time display of the other instead.
    Picture p(200, 100);
    Capture c(100, 1.0f, 1, true, false);
    p.show(c);
    p.paint();
    EXPECT_TRUE(p.rec.segmentsIn(kFigure).empty());
    EXPECT_EQ(p.rec.segmentsIn(kWhite).size(), 99u);
}

// u = sx * k * Wt is rounded to a float once. Each sample lands one pixel
// elsewhere when sx * k is rounded first; the expected x come from exact
// rational arithmetic of cx - trunc(u / (N - 1)).
TEST(Paint, XYHorizontalProductIsRoundedOnce) {
    const struct {
        int w, h, n;
        float ys, sample;
        int x;
    } cases[] = {
        {200, 100, 100, 1.0f, 0.188460931f, 85},   {200, 100, 100, 1.0f, 0.886874974f, 22},
        {200, 100, 100, 1.0f, 0.676242173f, 40},   {200, 100, 100, 1.0f, -0.809273422f, 173},
        {320, 180, 50, 2.5f, -0.925189137f, 1393}, {320, 180, 50, 2.5f, 0.815637171f, -926},
        {1000, 700, 441, 6.0f, 0.463191241f, -1538}, {1000, 700, 441, 6.0f, -0.581486642f, 3061},
    };
    for (const auto& c : cases)
        for (std::int16_t mode : {1, 2}) {
            Picture p(c.w, c.h);
            Capture cap(c.n, c.ys, mode, true, true);
            cap.at(mode == 2 ? 1 : 0, 1) = c.sample;
            p.show(cap);
            p.paint();
            const auto fig = p.rec.segmentsIn(kFigure);
            ASSERT_EQ(fig.size(), static_cast<std::size_t>(c.n - 1));
            EXPECT_EQ(fig[0].x1, c.x) << c.sample << " mode " << mode;
        }
}

float kOf(int h, float ys) { return ys * static_cast<float>(static_cast<float>(h) / 2.15f); }

// Points between 2^22 and 2^27 away reach the device context exactly as the
// formulas place them: far outside the window, and not limited.
TEST(Paint, FarPointsWithinTheDrawableRangeAreNotLimited) {
    const float k = kOf(100, 1.0f);  // window 200 x 100: Wt 192, cx 101, cy 51
    const float vertical[] = {1e5f, -2e5f, 2.5e6f, -2.8e6f, 0.3f, 9e5f};
    const float horizontal[] = {3000.0f, -5000.0f, 4e4f, -7e4f, 0.1f, 1e4f};
    auto y = [&](float s) { return 51 - static_cast<long long>(s * k); };
    // sx * k is exact in double, and * 192 stays exact: one rounding.
    auto x = [&](float s) {
        const float u = static_cast<float>(static_cast<double>(s) * static_cast<double>(k) * 192.0);
        return 101 - static_cast<long long>(u / 5.0f);
    };
    for (std::int16_t mode : {0, 1}) {
        Picture p(200, 100);
        Capture c(6, 1.0f, mode, true, true);
        for (int i = 0; i < 6; ++i) {
            c.at(0, i) = mode == 0 ? vertical[i] : horizontal[i];
            c.at(1, i) = vertical[i];
        }
        p.show(c);
        p.paint();
        const auto drawn = p.rec.segmentsIn(mode == 0 ? kTraceB : kFigure);
        ASSERT_EQ(drawn.size(), 5u) << mode;
        for (int n = 1; n < 6; ++n) {
            const long long x0 = mode == 0 ? ((n - 1) * 192) / 5 + 4 : x(horizontal[n - 1]);
            const long long x1 = mode == 0 ? (n * 192) / 5 + 4 : x(horizontal[n]);
            const Segment& s = drawn[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(s.x0, x0) << mode << " " << n;
            EXPECT_EQ(s.y0, y(vertical[n - 1])) << mode << " " << n;
            EXPECT_EQ(s.x1, x1) << mode << " " << n;
            EXPECT_EQ(s.y1, y(vertical[n])) << mode << " " << n;
        }
        const long long far = mode == 0 ? std::llabs(y(-2.8e6f)) : std::llabs(x(-7e4f));
        EXPECT_GT(far, 1 << 22);
        EXPECT_LT(far, 1 << 27);
    }
}

// Pixels of one colour in a picture.
std::vector<bool> maskOf(HDC dc, COLORREF colour) {
    int w = 0, h = 0;
    const std::uint32_t* p = ZoGdiPixels(dc, &w, &h);
    std::vector<bool> out(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = p[i] == rgb(colour);
    return out;
}

// A polyline drawn straight onto a canvas, ends anywhere in 32 bits.
std::vector<bool> polyline(int w, int h, const std::vector<std::pair<long long, long long>>& points,
                           COLORREF colour) {
    HDC dc = ZoGdiCreateCanvasDC(w, h, 0);
    HPEN pen = CreatePen(0, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, static_cast<int>(points[0].first), static_cast<int>(points[0].second), nullptr);
    for (std::size_t i = 1; i < points.size(); ++i)
        LineTo(dc, static_cast<int>(points[i].first), static_cast<int>(points[i].second));
    SelectObject(dc, old);
    DeleteObject(pen);
    std::vector<bool> out = maskOf(dc, colour);
    ZoGdiDeleteDC(dc);
    return out;
}

// Beyond 2^27 a segment is clipped along its own direction: from a point in
// range, what shows in the window is the line to the far point itself.
// Limiting each axis on its own (the control) bends the figure's line.
TEST(Paint, SegmentsBeyondTheRangeKeepTheirDirection) {
    const float k = kOf(100, 1.0f);
    const long long range = (1LL << 27) - 1;
    auto y = [&](float s) { return 51 - static_cast<long long>(s * k); };
    auto x = [&](float s, int across) {
        const float u = static_cast<float>(static_cast<double>(s) * static_cast<double>(k) * 192.0);
        return 101 - static_cast<long long>(u / static_cast<float>(across));
    };
    auto limited = [](std::vector<std::pair<long long, long long>> v) {
        for (auto& p : v) {
            p.first = std::max(-(1LL << 22), std::min(1LL << 22, p.first));
            p.second = std::max(-(1LL << 22), std::min(1LL << 22, p.second));
        }
        return v;
    };
    // Time display of channel B: a steep line up and out, then back.
    {
        Picture p(200, 100);
        Capture c(3, 1.0f, 0, false, true);
        const float b[] = {0.3f, 1e7f, -0.2f};
        for (int i = 0; i < 3; ++i) c.at(1, i) = b[i];
        p.show(c);
        p.paint();
        const auto drawn = p.rec.segmentsIn(kTraceB);
        ASSERT_EQ(drawn.size(), 2u);
        for (const auto& s : drawn) {
            EXPECT_LE(std::max(std::llabs(s.y0), std::llabs(s.y1)), range);
            EXPECT_EQ(std::min(s.y0, s.y1), -range) << "cut at the edge of the range";
        }
        const std::vector<std::pair<long long, long long>> line = {{4, y(b[0])}, {100, y(b[1])}, {196, y(b[2])}};
        ASSERT_LT(line[1].second, -range);
        EXPECT_EQ(maskOf(p.dc, kTraceB), polyline(200, 100, line, kTraceB));
    }
    // An X-Y figure from the centre out at a shallow angle and back.
    {
        Picture p(200, 100);
        Capture c(3, 1.0f, 1, true, true);
        const float a[] = {0.0f, 2e5f, 0.0f}, b[] = {0.0f, 9e6f, 0.0f};
        for (int i = 0; i < 3; ++i) {
            c.at(0, i) = a[i];
            c.at(1, i) = b[i];
        }
        p.show(c);
        p.paint();
        std::vector<std::pair<long long, long long>> line;
        for (int i = 0; i < 3; ++i) line.push_back({x(a[i], 2), y(b[i])});
        ASSERT_LT(line[1].first, -range);
        EXPECT_EQ(maskOf(p.dc, kFigure), polyline(200, 100, line, kFigure));
        EXPECT_NE(maskOf(p.dc, kFigure), polyline(200, 100, limited(line), kFigure)) << "the control";
    }
    // Both ends beyond, the line through the window: the cut ends lie on the
    // edge of the range, each within half a pixel of the line.
    {
        Picture p(200, 100);
        Capture c(2, 1.0f, 1, true, true);
        const float a[] = {-2e5f, 2e5f}, b[] = {-9e6f, 9.5e6f};
        for (int i = 0; i < 2; ++i) {
            c.at(0, i) = a[i];
            c.at(1, i) = b[i];
        }
        p.show(c);
        p.paint();
        const auto drawn = p.rec.segmentsIn(kFigure);
        ASSERT_EQ(drawn.size(), 1u);
        const double x0 = static_cast<double>(x(a[0], 1)), y0 = static_cast<double>(y(b[0]));
        const double dx = static_cast<double>(x(a[1], 1)) - x0, dy = static_cast<double>(y(b[1])) - y0;
        for (const auto& end : {std::make_pair(drawn[0].x0, drawn[0].y0), std::make_pair(drawn[0].x1, drawn[0].y1)}) {
            EXPECT_EQ(std::max(std::llabs(end.first), std::llabs(end.second)), range);
            const double off = std::fabs((end.first - x0) * dy - (end.second - y0) * dx) / std::hypot(dx, dy);
            EXPECT_LE(off, 0.5) << end.first << "," << end.second;
        }
        EXPECT_GT(drawn[0].x0, 0);
        EXPECT_LT(drawn[0].x1, 0) << "drawn from sample 0 (to the right) to sample 1";
    }
}

// A sender's flag byte of 2 or 0x80 means active: traces and figure are drawn.
TEST(Paint, AnyNonzeroFlagByteIsActive) {
    const unsigned char flags[][2] = {{2, 0x80}, {0x80, 2}};
    for (const auto& f : flags)
        for (std::int16_t mode : {0, 1}) {
            Picture p(200, 100);
            Capture c(100, 1.0f, mode);
            for (int i = 0; i < 100; ++i) c.at(0, i) = c.at(1, i) = 0.25f;
            std::memcpy(reinterpret_cast<unsigned char*>(&c.scope) + offsetof(T_SCOPE, Channel_Active), f, 2);
            p.show(c);
            p.paint();
            if (mode == 0) {
                EXPECT_EQ(p.rec.segmentsIn(kWhite).size(), 99u) << int(f[0]);
                EXPECT_EQ(p.rec.segmentsIn(kTraceB).size(), 99u) << int(f[1]);
            } else {
                EXPECT_EQ(p.rec.segmentsIn(kFigure).size(), 99u) << int(f[0]) << " " << int(f[1]);
            }
        }
}

TEST(Paint, BackgroundAndColours) {
    {
        InstanceOptions o;
        o.background = 0;
        Picture p(200, 100, o);
        p.paint();
        EXPECT_EQ(p.pixel(198, 98), 0u);
        EXPECT_EQ(p.pixel(0, 0), 0u);
        EXPECT_EQ(p.pixel(199, 10), 0x123456u) << "the right column is not filled";
        EXPECT_EQ(p.pixel(10, 99), 0x123456u) << "nor the bottom row";
        EXPECT_EQ(p.pixel(4, 48), rgb(kMarker));
        EXPECT_EQ(p.pixel(4, 55), 0u) << "the end point is not drawn";
        EXPECT_EQ(p.pixel(150, 51), 0x7F7F7Fu);
    }
    {
        InstanceOptions o;
        o.background = -1;
        o.text_colour = 0x00C08040;  // red 64, green 128, blue 192
        Picture p(200, 100, o);
        p.paint();
        EXPECT_EQ(p.rec.fills, 0);
        EXPECT_EQ(p.pixel(198, 98), 0x123456u);
        EXPECT_EQ(p.pixel(150, 51), 0x204060u);
    }
}

TEST(Paint, ScaleLevelsAndLabelsFollowScaleAndHeight) {
    const struct {
        const char* name;
        int h;
        float ys;
        std::vector<std::string> labels;
        std::size_t ticks;
    } cases[] = {
        {"flat", 100, 0.0f, {" 0"}, 21},
        {"first fine level, tall", 100, 2.5f, {"-5", "-4", "-3", "-2", "-1", " 0", " 1", " 2", " 3", " 4", " 5"}, 41},
        {"first fine level, short", 60, 2.5f, {"-4", "-2", " 0", " 2", " 4"}, 41},
        {"both fine levels", 100, 6.0f,
         {"-5", "-4", "-3", "-2", "-1.5", "-1", "-0.5", " 0", "0.5", " 1", "1.5", " 2", "2.5", " 3", " 4", " 5"},
         41 + 54},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p(200, c.h);
        Capture cap(100, c.ys, 0, true, false);
        p.show(cap);
        p.paint();
        std::vector<std::string> labels;
        for (const auto& t : p.rec.texts)
            if (t.x == 105) labels.push_back(t.text);
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(p.rec.segmentsIn(kAxisOfWhite).size(), 2 + c.ticks);
    }
    Picture p(200, 100);
    Capture cap(100, 0.0f, 0, true, false);
    cap.at(0, 50) = 0.9f;
    p.show(cap);
    p.paint();
    ASSERT_NE(p.rec.findText(" 0"), nullptr);
    EXPECT_EQ(p.rec.findText(" 0")->y, 45);
    for (const auto& s : p.rec.segmentsIn(kWhite)) EXPECT_EQ(s.y1, 51) << "a scale of 0 is flat";
}

TEST(Paint, OneSampleAndShortWindows) {
    Picture p(200, 100);
    Capture c(1, 1.0f, 1, true, true);
    p.show(c);
    p.paint();
    EXPECT_NE(p.rec.findText("44100.00"), nullptr);
    EXPECT_NE(p.rec.findText("0.02"), nullptr);
    EXPECT_TRUE(p.rec.segmentsIn(kFigure).empty());
    for (int h : {12, 5}) {
        Picture q(200, h);
        q.paint();
        EXPECT_TRUE(q.rec.texts.empty()) << h;
    }
    Picture q(200, 13);
    q.paint();
    EXPECT_FALSE(q.rec.texts.empty());
}

TEST(Paint, LeavesTheDeviceContextAsItFoundIt) {
    Picture p(200, 100);
    Capture c(500, 6.0f, 0, true, true);
    p.show(c);
    const HGDIOBJ pen = ZoGdiCurrentObject(p.dc, 1);
    const HGDIOBJ font = ZoGdiCurrentObject(p.dc, 6);
    const long live = ZoGdiLiveObjects();
    for (int round = 0; round < 3; ++round) p.paint();
    EXPECT_EQ(ZoGdiCurrentObject(p.dc, 1), pen);
    EXPECT_EQ(ZoGdiCurrentObject(p.dc, 6), font);
    EXPECT_EQ(ZoGdiLiveObjects(), live) << "every pen and brush deleted";
    const auto& calls = p.rec.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CreatePen") +
                  std::count(calls.begin(), calls.end(), "CreateSolidBrush"),
              std::count(calls.begin(), calls.end(), "DeleteObject"));
}

TEST(Paint, HostileRecordsAndWindowsDrawSomethingDefined) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int w, h, n;
        std::int16_t mode;
        float value, ys, rate;
    } cases[] = {
        {200, 100, 0, 0, 0.0f, 1.0f, 44100.0f},    {200, 100, 0, 1, 0.0f, 1.0f, 44100.0f},
        {200, 100, 100, 0, 1e30f, 10.0f, 44100.0f}, {200, 100, 100, 1, -1e30f, 10.0f, 44100.0f},
        {200, 100, 100, 0, inf, 1.0f, 0.0f},       {200, 100, 100, 2, nan, nan, nan},
        {200, 100, 100, 1, -inf, inf, -1.0f},      {0, 0, 100, 0, 0.5f, 1.0f, 44100.0f},
        {1, 1, 100, 1, 0.5f, 1.0f, 44100.0f},      {-50, -20, 100, 0, 0.5f, 1.0f, 44100.0f},
        {7, 3, 44100, 0, 0.5f, 6.0f, 44100.0f},     {640, 480, 1, 2, 0.5f, 2.5f, 1.0f},
    };
    for (const auto& c : cases) {
        Picture p(c.w, c.h);
        Capture cap(c.n, 1.0f, c.mode, true, true, c.rate);
        cap.scope.Y_Scale = c.ys;
        for (auto& s : cap.samples) s = c.value;
        p.show(cap);
        const long live = ZoGdiLiveObjects();
        p.paint();
        EXPECT_EQ(ZoGdiLiveObjects(), live);
        for (const auto& s : p.rec.segments) {
            EXPECT_LE(std::abs(static_cast<long long>(s.x1)), 1 << 22);
            EXPECT_LE(std::abs(static_cast<long long>(s.y1)), 1 << 22);
        }
    }
}

// A scope run with the given "Time" and "Y-Scale" inputs until it has sent
// two captures, then painted: what reached the display and what it drew.
struct ScopeRun {
    zohost::ScopeInstance in;
    HDC dc;
    Recorder rec;
    ScopeRun(int time_mode, float time, float y_scale) : in(moduleLibrary(), InstanceOptions()) {
        in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 440.0); }));
        in.setSignal("Signal B", zohost::Signal::constant(0.25f));
        in.setSignal("Time", zohost::Signal::constant(time));
        in.setSignal("Y-Scale", zohost::Signal::constant(y_scale));
        in.setValue("Trigger", 0);
        in.setValue("Time-Mode", time_mode);
        while (in.captures().size() < 2) in.run(4096);
        in.deliverMessages();
        dc = ZoGdiCreateCanvasDC(200, 100, RGB(0x12, 0x34, 0x56));
        in.paint(dc, 200, 100);
    }
    ~ScopeRun() { ZoGdiDeleteDC(dc); }
    const T_SCOPE& shown() const {
        return static_cast<GuiModule*>(static_cast<ZOGUI_base*>(in.displayRecord()->object))->scope();
    }
    std::vector<std::uint32_t> pixels() const {
        int w = 0, h = 0;
        const std::uint32_t* p = ZoGdiPixels(dc, &w, &h);
        return std::vector<std::uint32_t>(p, p + static_cast<std::size_t>(w) * h);
    }
};

TEST(Paint, NaNTimeAndScaleGoThroughACaptureAndDrawAsScaleZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // A NaN "Time" is not above 0: one second in V/KHz, limited to 44100;
    // elsewhere the period is NaN and the length 1.
    const struct {
        int time_mode;
        std::int32_t size;
        const char *hz, *ms;
    } cases[] = {{0, 44100, "1.00", "1000.00"},
                 {1, 1, "44100.00", "0.02"},
                 {2, 1, "44100.00", "0.02"},
                 {3, 1, "44100.00", "0.02"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("Time-Mode " + std::to_string(c.time_mode));
        ScopeRun run(c.time_mode, nan, nan);
        for (const zohost::Capture* r : run.in.captures()) {
            EXPECT_EQ(r->scope.ScopeSize, c.size);
            EXPECT_TRUE(std::isnan(r->scope.Time)) << r->scope.Time;
            EXPECT_TRUE(std::isnan(r->scope.Y_Scale)) << r->scope.Y_Scale;
        }
        EXPECT_TRUE(std::isnan(run.shown().Time));
        EXPECT_TRUE(std::isnan(run.shown().Y_Scale));
        EXPECT_EQ(run.rec.textStrings(), (std::vector<std::string>{c.hz, c.ms, " 0 Hz", " 0 msec", " 0"}));
        // A scale that is not a number is not above 0: the picture of scale 0.
        ScopeRun zero(c.time_mode, nan, 0.0f);
        EXPECT_EQ(zero.shown().Y_Scale, 0.0f);
        EXPECT_TRUE(run.rec.segments == zero.rec.segments);
        EXPECT_EQ(run.rec.textStrings(), zero.rec.textStrings());
        EXPECT_TRUE(run.pixels() == zero.pixels());
        // Negative control: a real scale draws another picture.
        ScopeRun one(c.time_mode, nan, 0.1f);
        EXPECT_FALSE(run.rec.segments == one.rec.segments);
    }
}

// A window record of exactly its three words, at the very end of readable
// memory where the platform allows: reading a byte past it faults.
class EdgeWindow {
public:
    explicit EdgeWindow(const ZOWndInfo& w) {
#ifndef _WIN32
        const long page = sysconf(_SC_PAGESIZE);
        void* m = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m != MAP_FAILED) {
            map_ = static_cast<unsigned char*>(m);
            map_size_ = 2 * page;
            mprotect(map_ + page, page, PROT_NONE);
            bytes_ = map_ + page - sizeof(ZOWndInfo);
        }
#endif
        if (!bytes_) {
            heap_.reset(new unsigned char[sizeof(ZOWndInfo)]);
            bytes_ = heap_.get();
        }
        std::memcpy(bytes_, &w, sizeof w);
    }
    ~EdgeWindow() {
#ifndef _WIN32
        if (map_) munmap(map_, map_size_);
#endif
    }
    ZOWndInfo* get() { return reinterpret_cast<ZOWndInfo*>(bytes_); }

private:
    unsigned char* map_ = nullptr;
    std::size_t map_size_ = 0;
    std::unique_ptr<unsigned char[]> heap_;
    unsigned char* bytes_ = nullptr;
};

TEST(Paint, WindowContextIsItsThirdWordWidenedAsSigned) {
    static_assert(sizeof(ZOWndInfo) == 12, "three 32-bit words");
    const std::int32_t contexts[] = {0, 0x5A0C, -1, -5, INT32_MIN, INT32_MAX};
    for (std::int32_t context : contexts) {
        Picture p(200, 100);
        EdgeWindow window(ZOWndInfo{200, 100, context});
        p.in.displayCall(zo_gui_op::paint, reinterpret_cast<zolong>(p.dc), 0, window.get(), 0.0f);
        EXPECT_EQ(p.in.lastFontContext(), static_cast<zolong>(context)) << context;
        EXPECT_EQ(p.rec.textStrings().size(), 9u) << "the whole default picture, " << context;
    }
}

}  // namespace
