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

// What host request 10 fills in; the host may write more than we read.
struct FontInfo {
    std::int32_t words[64];
    COLORREF textColour() const { return static_cast<COLORREF>(words[1]); }
    std::int32_t background() const { return words[2]; }
    std::int32_t height() const { return words[4]; }
};

class Painter {
public:
    Painter(HDC dc, HGDIOBJ entry_pen) : m_dc(dc), m_entry_pen(entry_pen) {}

    void line(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
        MoveToEx(m_dc, coord(x0), coord(y0), nullptr);
        LineTo(m_dc, coord(x1), coord(y1));
    }
    void text(std::int64_t x, std::int64_t y, const char* format, double value) {
        char buffer[96];
        const int length = std::snprintf(buffer, sizeof buffer, format, value);
        if (length > 0)
            TextOutA(m_dc, coord(x), coord(y), buffer,
                     length < static_cast<int>(sizeof buffer) ? length : static_cast<int>(sizeof buffer) - 1);
    }
    HPEN selectNewPen(COLORREF colour) {
        HPEN pen = CreatePen(0, 1, colour);
        SelectObject(m_dc, pen);
        return pen;
    }
    void dropPen(HPEN pen) {
        SelectObject(m_dc, m_entry_pen);
        DeleteObject(pen);
    }
    HDC dc() const { return m_dc; }

private:
    HDC m_dc;
    HGDIOBJ m_entry_pen;
};

}  // namespace

void GuiModule::paint(HDC dc, ZOWndInfo* window) {
    if (!window) return;

    // 1. Geometry.
    const std::int64_t W = window->width;
    const std::int64_t H = window->height;
    const std::int32_t N = GetScopeSize(&m_scope);
    const float R = GetRate(&m_scope);
    const float Ys = GetY_Scale(&m_scope);
    const std::int16_t mode = GetX_Y_Mode(&m_scope);
    const bool active_a = GetChannel_Active(&m_scope, 0);
    const bool active_b = GetChannel_Active(&m_scope, 1);

    const std::int64_t Wt = W - 8;
    const std::int64_t cx = W / 2 + 1;
    const std::int64_t cy = H / 2 + 1;
    const float k = Ys * static_cast<float>(static_cast<float>(H) / kHeightPerUnit);
    // A record without samples has no time scale: its readouts stand at 0 on
    // the right end of the trace area.
    float fHz = 0.0f;
    float tms = 0.0f;
    std::int64_t xHz = Wt + 4;
    std::int64_t xms = Wt + 4;
    if (N > 0) {
        fHz = static_cast<float>(R / static_cast<float>(N));
        tms = static_cast<float>(static_cast<float>(static_cast<std::int64_t>(N) * 1000) / R);
        // The quotient keeps double precision until v is rounded: with fHz
        // rounded up, v falls just short and the marker moves one pixel left.
        const float v = static_cast<float>(static_cast<double>(R) / static_cast<double>(fHz) *
                                           static_cast<double>(Wt));
        xHz = trunc64(static_cast<float>(v / static_cast<float>(N))) + 4;
        xms = (static_cast<std::int64_t>(N) * Wt) / N + 4;
    }

    // 2. Font and colours.
    FontInfo info;
    std::memset(&info, 0, sizeof info);
    static const char kCategory[] = "tty";
    // The context word is signed 32-bit; the request's index is a long.
    const zolong font_handle = CallHost(zo_request::gui_font, static_cast<zolong>(window->context),
                                        reinterpret_cast<zolong>(kCategory), &info, 0.0f);
    const HFONT font = reinterpret_cast<HFONT>(font_handle);
    const COLORREF text_colour = info.textColour();
    const std::int64_t fh = info.height();

    // 3. Background.
    if (info.background() >= 0) {
        HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(info.background()));
        RECT rect;
        rect.left = 0;
        rect.top = 0;
        rect.right = coord(W - 1);
        rect.bottom = coord(H - 1);
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }

    // 4. Time-axis markers, drawn in the pen the entry pen is swapped for.
    HPEN marker = CreatePen(0, 1, kMarkerColour);
    const HGDIOBJ entry_pen = SelectObject(dc, marker);
    Painter p(dc, entry_pen);
    for (std::int64_t x : {std::int64_t{4}, xHz, xms}) p.line(x, H / 2 - 3, x, H / 2 + 5);
    p.dropPen(marker);

    // 5. Centre axes, in the text colour at half strength.
    HPEN axis = p.selectNewPen((text_colour >> 1) & 0x7F7F7F);
    p.line(0, cy, W, cy);
    p.line(cx, 0, cx, H);

    // 6. Vertical scale.
    for (int i = -10; i <= 10; ++i) {
        // The main tick keeps the full quotient; the fine ticks start from it
        // rounded to a 32-bit float.
        const double tick = static_cast<double>(static_cast<float>(i) * k) / 10.0;
        const float ti = static_cast<float>(tick);
        const std::int64_t y = cy + trunc64(tick);
        const std::int64_t half = i % 5 == 0 ? 4 : 2;
        p.line(cx - half, y, cx + half, y);
        if (H > 50 && Ys > 2.0f && i >= -5 && i <= 4) {
            for (int j : {0, 5}) {
                const std::int64_t yj = cy + trunc64(ti + static_cast<double>(static_cast<float>(j) * k) / 100.0);
                const std::int64_t hj = j == 0 ? 4 : 2;
                p.line(cx - hj, yj, cx + hj, yj);
            }
        }
        if (H > 75 && Ys > 4.0f && i >= -3 && i <= 2) {
            for (int j = 1; j <= 9; ++j) {
                const std::int64_t yj = cy + trunc64(ti + static_cast<double>(static_cast<float>(j) * k) / 100.0);
                const std::int64_t hj = j == 5 ? 3 : 2;
                p.line(cx - hj, yj, cx + hj, yj);
            }
        }
    }

    // 7. Texts, when the window is taller than the font.
    if (H > fh) {
        const HGDIOBJ previous_font = font ? SelectObject(dc, font) : nullptr;
        SetTextColor(dc, kReadoutColour);
        SetBkMode(dc, 1);
        SetTextAlign(dc, 2);
        p.text(xHz, cy + fh / 5, "%2.2f", fHz);
        p.text(xms, cy - (6 * fh) / 5, "%2.2f", tms);
        SetTextAlign(dc, 0);
        p.text(0, cy + fh / 5, "%2.0f Hz", 0.0);
        p.text(0, cy - (6 * fh) / 5, "%2.0f msec", 0.0);
        SetTextColor(dc, text_colour);

        const std::int64_t label_x = cx + 4;
        auto label = [&](double position, const char* format) {
            const float pk = static_cast<float>(position * static_cast<double>(k) / 10.0);
            p.text(label_x, cy - trunc64(pk) - fh / 2, format, position);
        };
        if (!(Ys > 0.0f) || H <= 30) {
            p.text(label_x, cy - fh / 2, "%2.0f", 0.0);
        } else {
            for (int i = -10; i <= 10; ++i) {
                if (Ys <= 2.0f) {
                    if (i % 5 == 0) label(i, "%2.0f");
                    continue;
                }
                if (i >= -5 && i <= 5 && (i % 2 == 0 || H > 75 || Ys > 3.0f)) label(i, "%2.0f");
                if (H > 75 && Ys > 5.0f && i >= -2 && i <= 2) label(i + 0.5, "%2.1f");
            }
        }
        if (font) SelectObject(dc, previous_font);
    }

    // 8. The axis pen has done its work.
    p.dropPen(axis);

    // 9. Signal.
    if (mode != 0 && active_a && active_b) {
        HPEN pen = p.selectNewPen(kFigureColour);
        const int horizontal = mode == 2 ? 1 : 0;
        const int vertical = 1 - horizontal;
        if (N > 1) {
            const float across = static_cast<float>(N - 1);
            auto point_x = [&](int n) {
                const float u = static_cast<float>(GetScope(&m_scope, horizontal, n) * k *
                                                   static_cast<float>(Wt));
                return cx - trunc64(static_cast<float>(u / across));
            };
            auto point_y = [&](int n) {
                return cy - trunc64(static_cast<float>(GetScope(&m_scope, vertical, n) * k));
            };
            MoveToEx(dc, coord(point_x(0)), coord(point_y(0)), nullptr);
            for (int n = 1; n < N; ++n) LineTo(dc, coord(point_x(n)), coord(point_y(n)));
        }
        p.dropPen(pen);
    } else {
        HPEN pen = p.selectNewPen(text_colour);
        for (int c = 0; c < 2; ++c) {
            if (c == 1) {
                p.dropPen(pen);
                pen = p.selectNewPen(kTraceBColour);
            }
            if (!(c == 0 ? active_a : active_b) || N < 1) continue;
            auto trace_y = [&](int n) {
                return cy - trunc64(static_cast<float>(GetScope(&m_scope, c, n) * k));
            };
            MoveToEx(dc, 4, coord(trace_y(0)), nullptr);
            // x of sample n is (n * Wt) / (N - 1) + 4, from a running sum.
            std::int64_t sum = 0;
            const std::int64_t across = static_cast<std::int64_t>(N) - 1;
            for (int n = 1; n < N; ++n) {
                sum += Wt;
                LineTo(dc, coord(sum / across + 4), coord(trace_y(n)));
            }
        }
        // 10. Entry pen back.
        p.dropPen(pen);
    }
}
