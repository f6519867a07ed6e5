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

// Every coordinate handed to the device context stays in a range that it
// clips correctly, whatever the samples, the window or the font hold.
constexpr std::int64_t kCoordLimit = 1 << 22;

int coord(std::int64_t v) {
    if (v > kCoordLimit) return static_cast<int>(kCoordLimit);
    if (v < -kCoordLimit) return static_cast<int>(-kCoordLimit);
    return static_cast<int>(v);
}

// Truncation toward zero of a scaled value; NaN lands on the axis.
std::int64_t trunc64(double v) {
    if (std::isnan(v)) return 0;
    if (v > static_cast<double>(kCoordLimit)) return kCoordLimit + 1;
    if (v < -static_cast<double>(kCoordLimit)) return -kCoordLimit - 1;
    return static_cast<std::int64_t>(v);
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
    std::int64_t xHz, xms;

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
    g.xHz = g.Wt + 4;
    g.xms = g.Wt + 4;
    if (g.N > 0) {
        g.fHz = static_cast<float>(g.R / static_cast<float>(g.N));
        g.tms = static_cast<float>(static_cast<float>(static_cast<std::int64_t>(g.N) * 1000) / g.R);
        // The quotient keeps double precision until v is rounded: with fHz
        // rounded up, v falls just short and the marker moves one pixel left.
        const float v = static_cast<float>(static_cast<double>(g.R) / static_cast<double>(g.fHz) *
                                           static_cast<double>(g.Wt));
        g.xHz = trunc64(static_cast<float>(v / static_cast<float>(g.N))) + 4;
        g.xms = (static_cast<std::int64_t>(g.N) * g.Wt) / g.N + 4;
    }
    return g;
}

// The device context with the pen it had on entry, known from the first
// pen selection on.
class Canvas {
public:
    explicit Canvas(HDC dc) : m_dc(dc) {}

    void moveTo(std::int64_t x, std::int64_t y) { MoveToEx(m_dc, coord(x), coord(y), nullptr); }
    void lineTo(std::int64_t x, std::int64_t y) { LineTo(m_dc, coord(x), coord(y)); }
    void line(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
        moveTo(x0, y0);
        lineTo(x1, y1);
    }
    void text(std::int64_t x, std::int64_t y, const char* format, double value) {
        char buffer[96];
        const int length = std::snprintf(buffer, sizeof buffer, format, value);
        if (length > 0)
            TextOutA(m_dc, coord(x), coord(y), buffer,
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
    HDC m_dc;
    HGDIOBJ m_entry_pen = nullptr;
    bool m_entry_known = false;
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
    rect.right = coord(g.W - 1);
    rect.bottom = coord(g.H - 1);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void drawMarkers(Canvas& canvas, const Geometry& g) {
    Pen marker(canvas, kMarkerColour);
    for (std::int64_t x : {std::int64_t{4}, g.xHz, g.xms}) canvas.line(x, g.H / 2 - 3, x, g.H / 2 + 5);
}

void drawAxes(Canvas& canvas, const Geometry& g) {
    canvas.line(0, g.cy, g.W, g.cy);
    canvas.line(g.cx, 0, g.cx, g.H);
}

void drawScale(Canvas& canvas, const Geometry& g) {
    auto tick = [&](std::int64_t y, std::int64_t half) { canvas.line(g.cx - half, y, g.cx + half, y); };
    for (int i = -10; i <= 10; ++i) {
        // The main tick keeps the full quotient; the fine ticks start from it
        // rounded to a 32-bit float.
        const double main = static_cast<double>(static_cast<float>(i) * g.k) / 10.0;
        const float ti = static_cast<float>(main);
        auto fine = [&](int j) {
            return g.cy + trunc64(ti + static_cast<double>(static_cast<float>(j) * g.k) / 100.0);
        };
        tick(g.cy + trunc64(main), i % 5 == 0 ? 4 : 2);
        if (g.H > 50 && g.Ys > 2.0f && i >= -5 && i <= 4)
            for (int j : {0, 5}) tick(fine(j), j == 0 ? 4 : 2);
        if (g.H > 75 && g.Ys > 4.0f && i >= -3 && i <= 2)
            for (int j = 1; j <= 9; ++j) tick(fine(j), j == 5 ? 3 : 2);
    }
}

void drawReadouts(Canvas& canvas, const Geometry& g, std::int64_t fh) {
    SetTextColor(canvas.dc(), kReadoutColour);
    SetBkMode(canvas.dc(), 1);
    SetTextAlign(canvas.dc(), 2);
    canvas.text(g.xHz, g.cy + fh / 5, "%2.2f", g.fHz);
    canvas.text(g.xms, g.cy - (6 * fh) / 5, "%2.2f", g.tms);
    SetTextAlign(canvas.dc(), 0);
    canvas.text(0, g.cy + fh / 5, "%2.0f Hz", 0.0);
    canvas.text(0, g.cy - (6 * fh) / 5, "%2.0f msec", 0.0);
}

void drawLabels(Canvas& canvas, const Geometry& g, std::int64_t fh) {
    const std::int64_t x = g.cx + 4;
    auto label = [&](double position, const char* format) {
        const float pk = static_cast<float>(position * static_cast<double>(g.k) / 10.0);
        canvas.text(x, g.cy - trunc64(pk) - fh / 2, format, position);
    };
    if (!(g.Ys > 0.0f) || g.H <= 30) {
        canvas.text(x, g.cy - fh / 2, "%2.0f", 0.0);
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
    auto x = [&](int n) {
        const float u = static_cast<float>(GetScope(&scope, horizontal, n) * g.k * static_cast<float>(g.Wt));
        return g.cx - trunc64(static_cast<float>(u / across));
    };
    auto y = [&](int n) { return g.cy - trunc64(static_cast<float>(GetScope(&scope, vertical, n) * g.k)); };
    canvas.moveTo(x(0), y(0));
    for (int n = 1; n < g.N; ++n) canvas.lineTo(x(n), y(n));
}

void drawTraces(Canvas& canvas, const Geometry& g, const T_SCOPE& scope, COLORREF colour_a) {
    for (int c = 0; c < 2; ++c) {
        Pen pen(canvas, c == 0 ? colour_a : kTraceBColour);
        if (!g.active[c] || g.N < 1) continue;
        auto y = [&](int n) { return g.cy - trunc64(static_cast<float>(GetScope(&scope, c, n) * g.k)); };
        canvas.moveTo(4, y(0));
        // x of sample n is (n * Wt) / (N - 1) + 4, from a running sum.
        std::int64_t sum = 0;
        const std::int64_t across = static_cast<std::int64_t>(g.N) - 1;
        for (int n = 1; n < g.N; ++n) {
            sum += g.Wt;
            canvas.lineTo(sum / across + 4, y(n));
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
