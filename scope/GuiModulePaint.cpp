// Drawing of one capture: background, time-axis markers, centre axes, the
// vertical scale with its labels, the readouts, and the traces or the X-Y
// figure. Sizes and pixel positions follow from 32-bit float and integer
// arithmetic exactly as written here; do not "simplify" the casts.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "GuiModule.h"

namespace {

// Windows keeps device coordinates in 28.4 fixed point, so it can draw only
// what lies within 2^27 of the origin. Inside that range every coordinate goes
// to the device context as computed, however far outside the window.
constexpr double kRange = 134217727.0;  // 2^27 - 1
// An infinite value stands beyond every finite one (which stay below 2^130),
// so far that a line to it from a finite point runs along its axis.
constexpr double kInfinite = 0x1p200;

// Truncation toward zero of a scaled value, exact for every finite value; NaN
// lands on the axis.
double truncated(double v) {
    if (std::isnan(v)) return 0.0;
    if (std::isinf(v)) return v > 0.0 ? kInfinite : -kInfinite;
    return std::trunc(v);
}

bool inRange(double v) { return v >= -kRange && v <= kRange; }

int deviceCoord(double v) { return static_cast<int>(v < -kRange ? -kRange : v > kRange ? kRange : v); }

// a * b - p exactly, where p is a * b rounded: by the fused multiply-add where
// the processor has one (and the compiler may fuse on its own), otherwise by
// Dekker's product.
double productError(double a, double b, double p) {
#ifdef __FMA__
    return std::fma(a, b, -p);
#else
    auto high = [](double v) {
        const double c = 134217729.0 * v;  // 2^27 + 1
        return c - (c - v);
    };
    const double ah = high(a), al = a - ah, bh = high(b), bl = b - bh;
    return al * bl - (((p - ah * bh) - al * bh) - ah * bl);
#endif
}

// s * k * w rounded to a 32-bit float once. s * k is exact in double; of the
// two doubles around the exact product with w, the one with an odd last bit
// (rounding to odd) rounds to the same float as the exact product.
float roundedProduct(float s, float k, std::int64_t w) {
    const double p = static_cast<double>(s) * static_cast<double>(k);
    const double wd = static_cast<double>(w);
    const double hi = p * wd;
    if (!std::isfinite(hi)) return static_cast<float>(hi);
    const double lo = productError(p, wd, hi);
    std::uint64_t bits;
    std::memcpy(&bits, &hi, sizeof bits);
    if (lo == 0.0 || (bits & 1u) != 0) return static_cast<float>(hi);
    return static_cast<float>(std::nextafter(hi, lo > 0.0 ? HUGE_VAL : -HUGE_VAL));
}

struct Point {
    double x, y;
};

// The part of the segment a-b within the drawable range, its ends rounded to
// the nearest pixel on the line; false when it misses the range. Each cut is
// computed from the end nearer to it: next to an end inside the range it is
// exact however far the other end lies; with both ends beyond, the error of
// double precision stays far below a pixel while they lie within 2^45.
bool clipToRange(Point a, Point b, Point& ca, Point& cb) {
    const double d[2] = {b.x - a.x, b.y - a.y};
    const double from[2] = {a.x, a.y};
    double t0 = 0.0, t1 = 1.0;
    int axis0 = -1, axis1 = -1;
    double edge0 = 0.0, edge1 = 0.0;
    for (int i = 0; i < 2; ++i) {
        if (d[i] == 0.0) {
            if (!inRange(from[i])) return false;
            continue;
        }
        const double entry = d[i] > 0.0 ? -kRange : kRange, exit = -entry;
        const double enter = (entry - from[i]) / d[i], leave = (exit - from[i]) / d[i];
        if (enter > t0) t0 = enter, axis0 = i, edge0 = entry;
        if (leave < t1) t1 = leave, axis1 = i, edge1 = exit;
    }
    if (!(t0 < t1)) return false;
    auto cut = [&](int axis, double edge) {
        const double qa[2] = {a.x, a.y}, qb[2] = {b.x, b.y};
        const double* q = std::fabs(edge - qa[axis]) <= std::fabs(edge - qb[axis]) ? qa : qb;
        double r[2];
        r[axis] = edge;
        const int other = 1 - axis;
        const double v = std::round(q[other] + (edge - q[axis]) * (d[other] / d[axis]));
        r[other] = v < -kRange ? -kRange : v > kRange ? kRange : v;
        return Point{r[0], r[1]};
    };
    ca = axis0 < 0 ? a : cut(axis0, edge0);
    cb = axis1 < 0 ? b : cut(axis1, edge1);
    return true;
}

const COLORREF kMarkerColour = 0x00DC6EBE;
const COLORREF kReadoutColour = 0x00FA8CDC;
const COLORREF kTraceBColour = 0x0000FAFA;
const COLORREF kFigureColour = 0x001E1EFA;
const float kHeightPerUnit = 2.15f;

// What the font request fills in; the host may write more than we read.
struct FontInfo {
    std::int32_t words[zo_font::record_bytes / sizeof(std::int32_t)];
    COLORREF textColour() const { return static_cast<COLORREF>(words[zo_font::text_colour_word]); }
    std::int32_t background() const { return words[zo_font::background_word]; }
    std::int32_t height() const { return words[zo_font::height_word]; }
};

// Everything the picture is placed by, computed once before drawing.
struct Geometry {
    std::int64_t W, H;
    std::int32_t N;
    float R, Ys;
    std::int16_t mode;
    bool active[2];
    std::int64_t Wt, cx, cy;
    float k;  // pixels per unit of sample value
    float fHz, tms;
    double xHz;
    std::int64_t xms;

    bool figure() const { return mode != 0 && active[0] && active[1]; }
};

Geometry geometryOf(const ZOWndInfo& window, const T_SCOPE& scope) {
    Geometry g;
    g.W = window.width;
    g.H = window.height;
    g.N = GetScopeSize(&scope);
    g.R = GetRate(&scope);
    g.Ys = GetY_Scale(&scope);
    g.mode = GetX_Y_Mode(&scope);
    g.active[0] = GetChannel_Active(&scope, 0);
    g.active[1] = GetChannel_Active(&scope, 1);
    g.Wt = g.W - 8;
    g.cx = g.W / 2 + 1;
    g.cy = g.H / 2 + 1;
    g.k = g.Ys * static_cast<float>(static_cast<float>(g.H) / kHeightPerUnit);
    // A record without samples has no time scale: its readouts stand at 0 on
    // the right end of the trace area.
    g.fHz = 0.0f;
    g.tms = 0.0f;
    g.xHz = static_cast<double>(g.Wt + 4);
    g.xms = g.Wt + 4;
    if (g.N > 0) {
        g.fHz = static_cast<float>(g.R / static_cast<float>(g.N));
        g.tms = static_cast<float>(static_cast<float>(static_cast<std::int64_t>(g.N) * 1000) / g.R);
        // The quotient keeps double precision until v is rounded: with fHz
        // rounded up, v falls just short and the marker moves one pixel left.
        const float v = static_cast<float>(static_cast<double>(g.R) / static_cast<double>(g.fHz) *
                                           static_cast<double>(g.Wt));
        g.xHz = truncated(static_cast<float>(v / static_cast<float>(g.N))) + 4;
        g.xms = (static_cast<std::int64_t>(g.N) * g.Wt) / g.N + 4;
    }
    return g;
}

// The device context with the pen it had on entry, known from the first
// pen selection on. Coordinates within the drawable range reach it as they
// are. Beyond it, a segment is clipped to the range along its own direction
// and a lone point (text, or the start of a path) is moved onto its edge:
// Windows cannot draw there, and only this keeps the visible part of every
// line where it belongs.
class Canvas {
public:
    explicit Canvas(HDC dc) : m_dc(dc) {}

    void moveTo(double x, double y) {
        m_at = {x, y};
        moveDevice(deviceCoord(x), deviceCoord(y));
    }
    void lineTo(double x, double y) {
        const Point from = m_at, to{x, y};
        m_at = to;
        Point a = from, b = to;
        if (!(inRange(from.x) && inRange(from.y) && inRange(x) && inRange(y)) && !clipToRange(from, to, a, b))
            return;
        const int ax = static_cast<int>(a.x), ay = static_cast<int>(a.y);
        if (ax != m_device_x || ay != m_device_y) moveDevice(ax, ay);
        m_device_x = static_cast<int>(b.x);
        m_device_y = static_cast<int>(b.y);
        LineTo(m_dc, m_device_x, m_device_y);
    }
    void line(double x0, double y0, double x1, double y1) {
        moveTo(x0, y0);
        lineTo(x1, y1);
    }
    void text(double x, double y, const char* format, double value) {
        char buffer[96];
        const int length = std::snprintf(buffer, sizeof buffer, format, value);
        if (length > 0)
            TextOutA(m_dc, deviceCoord(x), deviceCoord(y), buffer,
                     length < static_cast<int>(sizeof buffer) ? length : static_cast<int>(sizeof buffer) - 1);
    }
    void selectPen(HPEN pen) {
        const HGDIOBJ previous = SelectObject(m_dc, pen);
        if (!m_entry_known) m_entry_pen = previous;
        m_entry_known = true;
    }
    void restoreEntryPen() { SelectObject(m_dc, m_entry_pen); }
    HDC dc() const { return m_dc; }

private:
    void moveDevice(int x, int y) {
        m_device_x = x;
        m_device_y = y;
        MoveToEx(m_dc, x, y, nullptr);
    }

    HDC m_dc;
    HGDIOBJ m_entry_pen = nullptr;
    bool m_entry_known = false;
    Point m_at{0.0, 0.0};  // the current point as computed
    int m_device_x = 0, m_device_y = 0;  // and as the device context has it
};

// A solid pen of width 1, selected while it lives; the entry pen comes back
// before the pen is deleted.
class Pen {
public:
    Pen(Canvas& canvas, COLORREF colour) : m_canvas(canvas), m_pen(CreatePen(0, 1, colour)) {
        m_canvas.selectPen(m_pen);
    }
    ~Pen() {
        m_canvas.restoreEntryPen();
        DeleteObject(m_pen);
    }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;

private:
    Canvas& m_canvas;
    HPEN m_pen;
};

// The host's font, selected while this lives; without one the device
// context keeps its own.
class FontSelection {
public:
    FontSelection(HDC dc, HFONT font)
        : m_dc(dc), m_font(font), m_previous(font ? SelectObject(dc, font) : nullptr) {}
    ~FontSelection() {
        if (m_font) SelectObject(m_dc, m_previous);
    }
    FontSelection(const FontSelection&) = delete;
    FontSelection& operator=(const FontSelection&) = delete;

private:
    HDC m_dc;
    HFONT m_font;
    HGDIOBJ m_previous;
};

void drawBackground(HDC dc, const Geometry& g, const FontInfo& font) {
    if (font.background() < 0) return;
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(font.background()));
    RECT rect;
    rect.left = 0;
    rect.top = 0;
    rect.right = deviceCoord(static_cast<double>(g.W - 1));
    rect.bottom = deviceCoord(static_cast<double>(g.H - 1));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void drawMarkers(Canvas& canvas, const Geometry& g) {
    Pen marker(canvas, kMarkerColour);
    const double top = static_cast<double>(g.H / 2 - 3), bottom = static_cast<double>(g.H / 2 + 5);
    for (double x : {4.0, g.xHz, static_cast<double>(g.xms)}) canvas.line(x, top, x, bottom);
}

void drawAxes(Canvas& canvas, const Geometry& g) {
    const double W = static_cast<double>(g.W), H = static_cast<double>(g.H);
    const double cx = static_cast<double>(g.cx), cy = static_cast<double>(g.cy);
    canvas.line(0, cy, W, cy);
    canvas.line(cx, 0, cx, H);
}

void drawScale(Canvas& canvas, const Geometry& g) {
    const double cx = static_cast<double>(g.cx), cy = static_cast<double>(g.cy);
    auto tick = [&](double y, double half) { canvas.line(cx - half, y, cx + half, y); };
    for (int i = -10; i <= 10; ++i) {
        // The main tick keeps the full quotient; the fine ticks start from it
        // rounded to a 32-bit float.
        const double main = static_cast<double>(static_cast<float>(i) * g.k) / 10.0;
        const float ti = static_cast<float>(main);
        auto fine = [&](int j) {
            return cy + truncated(ti + static_cast<double>(static_cast<float>(j) * g.k) / 100.0);
        };
        tick(cy + truncated(main), i % 5 == 0 ? 4 : 2);
        if (g.H > 50 && g.Ys > 2.0f && i >= -5 && i <= 4)
            for (int j : {0, 5}) tick(fine(j), j == 0 ? 4 : 2);
        if (g.H > 75 && g.Ys > 4.0f && i >= -3 && i <= 2)
            for (int j = 1; j <= 9; ++j) tick(fine(j), j == 5 ? 3 : 2);
    }
}

void drawReadouts(Canvas& canvas, const Geometry& g, std::int64_t fh) {
    const double below = static_cast<double>(g.cy + fh / 5), above = static_cast<double>(g.cy - (6 * fh) / 5);
    SetTextColor(canvas.dc(), kReadoutColour);
    SetBkMode(canvas.dc(), 1);
    SetTextAlign(canvas.dc(), 2);
    canvas.text(g.xHz, below, "%2.2f", g.fHz);
    canvas.text(static_cast<double>(g.xms), above, "%2.2f", g.tms);
    SetTextAlign(canvas.dc(), 0);
    canvas.text(0, below, "%2.0f Hz", 0.0);
    canvas.text(0, above, "%2.0f msec", 0.0);
}

void drawLabels(Canvas& canvas, const Geometry& g, std::int64_t fh) {
    const double x = static_cast<double>(g.cx + 4), centre = static_cast<double>(g.cy - fh / 2);
    auto label = [&](double position, const char* format) {
        const float pk = static_cast<float>(position * static_cast<double>(g.k) / 10.0);
        canvas.text(x, centre - truncated(pk), format, position);
    };
    if (!(g.Ys > 0.0f) || g.H <= 30) {
        canvas.text(x, centre, "%2.0f", 0.0);
        return;
    }
    for (int i = -10; i <= 10; ++i) {
        if (g.Ys <= 2.0f) {
            if (i % 5 == 0) label(i, "%2.0f");
            continue;
        }
        if (i >= -5 && i <= 5 && (i % 2 == 0 || g.H > 75 || g.Ys > 3.0f)) label(i, "%2.0f");
        if (g.H > 75 && g.Ys > 5.0f && i >= -2 && i <= 2) label(i + 0.5, "%2.1f");
    }
}

void drawFigure(Canvas& canvas, const Geometry& g, const T_SCOPE& scope) {
    Pen pen(canvas, kFigureColour);
    if (g.N <= 1) return;
    const int horizontal = g.mode == 2 ? 1 : 0;
    const int vertical = 1 - horizontal;
    const float across = static_cast<float>(g.N - 1);
    const double cx = static_cast<double>(g.cx), cy = static_cast<double>(g.cy);
    auto x = [&](int n) {
        const float u = roundedProduct(GetScope(&scope, horizontal, n), g.k, g.Wt);
        return cx - truncated(static_cast<float>(u / across));
    };
    auto y = [&](int n) { return cy - truncated(static_cast<float>(GetScope(&scope, vertical, n) * g.k)); };
    canvas.moveTo(x(0), y(0));
    for (int n = 1; n < g.N; ++n) canvas.lineTo(x(n), y(n));
}

void drawTraces(Canvas& canvas, const Geometry& g, const T_SCOPE& scope, COLORREF colour_a) {
    for (int c = 0; c < 2; ++c) {
        Pen pen(canvas, c == 0 ? colour_a : kTraceBColour);
        if (!g.active[c] || g.N < 1) continue;
        const double cy = static_cast<double>(g.cy);
        auto y = [&](int n) { return cy - truncated(static_cast<float>(GetScope(&scope, c, n) * g.k)); };
        canvas.moveTo(4, y(0));
        // x of sample n is (n * Wt) / (N - 1) + 4, from a running sum.
        std::int64_t sum = 0;
        const std::int64_t across = static_cast<std::int64_t>(g.N) - 1;
        for (int n = 1; n < g.N; ++n) {
            sum += g.Wt;
            canvas.lineTo(static_cast<double>(sum / across + 4), y(n));
        }
    }
}

}  // namespace

void GuiModule::paint(HDC dc, ZOWndInfo* window) {
    if (!window) return;
    const Geometry g = geometryOf(*window, m_scope);

    FontInfo font;
    std::memset(&font, 0, sizeof font);
    static const char kCategory[] = "tty";
    const auto font_handle = reinterpret_cast<HFONT>(CallHost(
        zo_request::gui_font, static_cast<zolong>(window->context), reinterpret_cast<zolong>(kCategory), &font, 0.0f));
    const COLORREF text_colour = font.textColour();

    drawBackground(dc, g, font);
    Canvas canvas(dc);
    drawMarkers(canvas, g);
    {
        // Axes and ticks in the text colour at half strength.
        Pen axis(canvas, (text_colour >> 1) & 0x7F7F7F);
        drawAxes(canvas, g);
        drawScale(canvas, g);
        if (g.H > font.height()) {
            FontSelection selected(dc, font_handle);
            drawReadouts(canvas, g, font.height());
            SetTextColor(dc, text_colour);
            drawLabels(canvas, g, font.height());
        }
    }
    if (g.figure())
        drawFigure(canvas, g, m_scope);
    else
        drawTraces(canvas, g, m_scope, text_colour);
}
