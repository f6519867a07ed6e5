// Reference cases for the drawing calls. A case is one text line; running it
// through a backend (real GDI on Windows, zogdi elsewhere) gives a result
// line. A table of "case | result" lines made with one backend can so be
// checked against the other. Include <windows.h> or "zogdi.h" first.
#ifndef ZOGDI_REFCASE_H
#define ZOGDI_REFCASE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace refcase {

// What a platform must supply: blank (all 0) canvases and fonts of an em
// height in pixels. Every other call goes through the Windows names.
class Backend {
public:
    virtual ~Backend() = default;
    virtual HDC open(int width, int height) = 0;
    // Pixels as 0x00RRGGBB, row-major, top row first, valid until close.
    virtual const uint32_t* pixels(HDC dc) = 0;
    virtual void close(HDC dc) = 0;
    virtual HFONT font(int pixelHeight) = 0;
};

const COLORREF kInk = RGB(255, 255, 255);
const COLORREF kTextInk = RGB(255, 0, 0);  // pixel 0x00FF0000
const COLORREF kTextBox = RGB(0, 255, 0);  // pixel 0x0000FF00

inline std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string t; in >> t;)
        out.push_back(t);
    return out;
}

inline long num(const std::string& s) { return std::strtol(s.c_str(), nullptr, 0); }

// Non-zero pixels as horizontal runs "x,y+len" (or "x,y"), by row then column.
inline std::string runs(const uint32_t* px, int w, int h) {
    std::string out;
    char buf[48];
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w;) {
            if (!px[static_cast<size_t>(y) * w + x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < w && px[static_cast<size_t>(y) * w + end])
                ++end;
            if (end - x > 1)
                std::snprintf(buf, sizeof buf, "%s%d,%d+%d", out.empty() ? "" : " ", x, y, end - x);
            else
                std::snprintf(buf, sizeof buf, "%s%d,%d", out.empty() ? "" : " ", x, y);
            out += buf;
            x = end;
        }
    }
    return out;
}

// Inclusive bounding box of the pixels that pass the test, or "none".
template <typename Pred>
std::string box(const uint32_t* px, int w, int h, Pred pred) {
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (pred(px[static_cast<size_t>(y) * w + x])) {
                x0 = x < x0 ? x : x0;
                y0 = y < y0 ? y : y0;
                x1 = x > x1 ? x : x1;
                y1 = y > y1 ? y : y1;
            }
    if (x1 < 0)
        return "none";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d %d %d %d", x0, y0, x1, y1);
    return buf;
}

// Cases (tokens separated by blanks):
//   L w h x0 y0 x1 y1         MoveToEx, LineTo with a white 1-pixel pen
//   P w h x0 y0 x1 y1 ...     MoveToEx to the first point, LineTo the others
//   F w h l t r b             FillRect with a white brush
//   K colour                  pen and brush pixel of a COLORREF (hex)
//   T w h px align mode x y "text"   TextOutA, text red, background green
// Returns the result text, or "?" for a malformed case.
inline std::string run(Backend& b, const std::string& line) {
    const std::vector<std::string> t = split(line);
    if (t.empty())
        return "?";
    const char kind = t[0][0];
    if (kind == 'K' && t.size() == 2) {
        const COLORREF c = static_cast<COLORREF>(std::strtoul(t[1].c_str(), nullptr, 16));
        HDC dc = b.open(4, 1);
        HPEN pen = CreatePen(PS_SOLID, 1, c);
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, 0, 0, nullptr);
        LineTo(dc, 1, 0);
        SelectObject(dc, old);
        DeleteObject(pen);
        HBRUSH brush = CreateSolidBrush(c);
        RECT r = {2, 0, 3, 1};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        const uint32_t* px = b.pixels(dc);
        char buf[64];
        std::snprintf(buf, sizeof buf, "pen %08x brush %08x", static_cast<unsigned>(px[0]), static_cast<unsigned>(px[2]));
        b.close(dc);
        return buf;
    }
    if (t.size() < 3)
        return "?";
    const int w = static_cast<int>(num(t[1])), h = static_cast<int>(num(t[2]));
    std::string result;
    if ((kind == 'L' && t.size() == 7) || (kind == 'P' && t.size() >= 7 && t.size() % 2 == 1)) {
        HDC dc = b.open(w, h);
        HPEN pen = CreatePen(PS_SOLID, 1, kInk);
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, static_cast<int>(num(t[3])), static_cast<int>(num(t[4])), nullptr);
        for (size_t i = 5; i + 1 < t.size(); i += 2)
            LineTo(dc, static_cast<int>(num(t[i])), static_cast<int>(num(t[i + 1])));
        SelectObject(dc, old);
        DeleteObject(pen);
        result = runs(b.pixels(dc), w, h);
        b.close(dc);
        return result;
    }
    if (kind == 'F' && t.size() == 7) {
        HDC dc = b.open(w, h);
        HBRUSH brush = CreateSolidBrush(kInk);
        RECT r = {static_cast<int>(num(t[3])), static_cast<int>(num(t[4])), static_cast<int>(num(t[5])),
                  static_cast<int>(num(t[6]))};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        result = runs(b.pixels(dc), w, h);
        b.close(dc);
        return result;
    }
    if (kind == 'T' && t.size() >= 9) {
        const size_t q0 = line.find('"'), q1 = line.rfind('"');
        if (q0 == std::string::npos || q1 <= q0)
            return "?";
        const std::string text = line.substr(q0 + 1, q1 - q0 - 1);
        HDC dc = b.open(w, h);
        HFONT font = b.font(static_cast<int>(num(t[3])));
        HGDIOBJ old = SelectObject(dc, font);
        SetTextAlign(dc, static_cast<UINT>(num(t[4])));
        SetBkMode(dc, static_cast<int>(num(t[5])));
        SetTextColor(dc, kTextInk);
        SetBkColor(dc, kTextBox);
        TextOutA(dc, static_cast<int>(num(t[6])), static_cast<int>(num(t[7])), text.c_str(),
                 static_cast<int>(text.size()));
        SelectObject(dc, old);
        DeleteObject(font);
        const uint32_t* px = b.pixels(dc);
        result = "box " + box(px, w, h, [](uint32_t p) { return p != 0; }) + " ink " +
                 box(px, w, h, [](uint32_t p) { return p == 0xFF0000u; });
        b.close(dc);
        return result;
    }
    return "?";
}

// Splits a table line into case and result; false for blank and # lines.
inline bool parse(std::string line, std::string& caseText, std::string& result) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    const size_t bar = line.find('|');
    if (line.empty() || line[0] == '#' || bar == std::string::npos)
        return false;
    size_t end = bar;
    while (end > 0 && line[end - 1] == ' ')
        --end;
    caseText = line.substr(0, end);
    size_t begin = bar + 1;
    while (begin < line.size() && line[begin] == ' ')
        ++begin;
    result = line.substr(begin);
    return true;
}

// Text results may differ by `slack` pixels on each box edge (another font
// engine); every other kind must match exactly.
inline bool same(const std::string& caseText, const std::string& expected, const std::string& actual, int slack) {
    if (caseText.empty() || caseText[0] != 'T' || slack == 0)
        return expected == actual;
    const std::vector<std::string> e = split(expected), a = split(actual);
    if (e.size() != a.size())
        return false;
    for (size_t i = 0; i < e.size(); ++i) {
        if (e[i] == a[i])
            continue;
        const char c = e[i][0];
        if (!(c == '-' || (c >= '0' && c <= '9')))
            return false;
        if (std::labs(num(e[i]) - num(a[i])) > slack)
            return false;
    }
    return true;
}

// A fixed generator, so that every platform builds the same case list.
class Random {
public:
    explicit Random(uint64_t seed) : s_(seed) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi).
    int64_t range(int64_t lo, int64_t hi) { return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo)); }

private:
    uint64_t s_;
};

inline std::string fmt(const char* f, long long a, long long b, long long c, long long d, long long e, long long g) {
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a, b, c, d, e, g);
    return buf;
}

// The cases of the committed reference table.
inline std::vector<std::string> standardCases() {
    std::vector<std::string> out;
    const char* line = "L %lld %lld %lld %lld %lld %lld";
    // Every direction and slope up to 16 from one start.
    for (int y = 0; y <= 32; ++y)
        for (int x = 0; x <= 32; ++x)
            out.push_back(fmt(line, 33, 33, 16, 16, x, y));
    // Every start and end in an 8 x 8 box: the rule does not depend on where.
    for (int y0 = 1; y0 <= 8; ++y0)
        for (int x0 = 1; x0 <= 8; ++x0)
            for (int y1 = 1; y1 <= 8; ++y1)
                for (int x1 = 1; x1 <= 8; ++x1)
                    out.push_back(fmt(line, 10, 10, x0, y0, x1, y1));
    Random r(20261208);
    // Long lines inside a larger canvas.
    for (int i = 0; i < 48; ++i)
        out.push_back(fmt(line, 256, 192, r.range(0, 256), r.range(0, 192), r.range(0, 256), r.range(0, 192)));
    // Lines along and across the edges.
    const int edge[][4] = {{-5, 0, 70, 0},   {70, 0, -5, 0},   {-5, 47, 70, 47}, {0, -5, 0, 60},  {63, 60, 63, -5},
                           {-10, -10, 70, 70}, {70, 70, -10, -10}, {-10, 57, 60, -13}, {64, 0, 0, 48}, {63, 47, -1, -1},
                           {-1, 0, 64, 1},   {64, 47, -1, 46},  {0, -1, 1, 48},   {63, 48, 62, -1}, {-3, 24, 66, 25}};
    for (const auto& e : edge)
        out.push_back(fmt(line, 64, 48, e[0], e[1], e[2], e[3]));
    // Lines with one or both ends off the canvas.
    for (int i = 0; i < 400; ++i)
        out.push_back(fmt(line, 64, 48, r.range(-300, 364), r.range(-300, 348), r.range(-300, 364), r.range(-300, 348)));
    // Far ends (to 2^26) on lines that cross the canvas.
    const int64_t reach[] = {1000, 100000, 10000000, 1ll << 26};
    for (int i = 0; i < 200; ++i) {
        const int64_t m = reach[i % 4];
        const int64_t px = r.range(0, 64), py = r.range(0, 48);
        const int64_t dx = r.range(-m, m), dy = r.range(-m, m);
        const int64_t f0 = r.range(0, 1000), f1 = r.range(0, 1000);
        out.push_back(fmt(line, 64, 48, px - dx * f0 / 1000, py - dy * f0 / 1000, px + dx * f1 / 1000, py + dy * f1 / 1000));
    }
    // Traces: joined segments, some leaving the canvas.
    for (int i = 0; i < 30; ++i) {
        std::string p = "P 64 48";
        for (int k = 0; k < 20; ++k)
            p += " " + std::to_string(r.range(-20, 84)) + " " + std::to_string(r.range(-20, 68));
        out.push_back(p);
    }
    // Rectangles: ordinary, empty, inverted, clipped, huge.
    const char* rect = "F %lld %lld %lld %lld %lld %lld";
    const int64_t rects[][4] = {{2, 3, 6, 8},   {6, 8, 2, 3},   {6, 3, 2, 8},        {2, 8, 6, 3},       {2, 3, 2, 8},
                                {2, 3, 6, 3},   {5, 5, 6, 6},   {-5, -5, 3, 3},      {14, 14, 40, 40},   {0, 0, 16, 16},
                                {0, 0, 15, 15}, {16, 16, 0, 0}, {15, 15, -1, -1},    {-1, -1, 0, 0},     {16, 0, 17, 16},
                                {-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647},
                                {2147483647, 2147483647, -2147483647 - 1, -2147483647 - 1},
                                {-2000000000, 4, 2000000000, 9},
                                {2147483647, 2, 5, 9},
                                {10, 2, -2147483647 - 1, 9},
                                {3, 2147483647, 9, 5}};
    for (const auto& q : rects)
        out.push_back(fmt(rect, 16, 16, q[0], q[1], q[2], q[3]));
    for (int i = 0; i < 60; ++i)
        out.push_back(fmt(rect, 16, 16, r.range(-5, 21), r.range(-5, 21), r.range(-5, 21), r.range(-5, 21)));
    // Colours, including palette indices and stray high bytes.
    const char* colours[] = {"00000000", "000000ff", "0000ff00", "00ff0000", "00563412", "00ffffff", "007f7f7f",
                             "01000000", "01000001", "01000007", "0100000a", "01000013", "01000014", "010000ff",
                             "01abcdef", "02abcdef", "03123456", "04123456", "10123456", "80123456", "ff123456"};
    for (const char* c : colours)
        out.push_back(std::string("K ") + c);
    // Text boxes: alignments, modes and sizes.
    const char* texts[] = {"0.43", " 0 Hz", "2321.05", "-10", " 0 msec"};
    const int sizes[] = {8, 10, 12, 13, 16, 20, 24};
    const int aligns[] = {0, 2, 6, 8, 24};
    for (int s : sizes)
        for (int a : aligns)
            for (int mode = 1; mode <= 2; ++mode)
                for (const char* text : texts) {
                    char buf[160];
                    std::snprintf(buf, sizeof buf, "T 200 60 %d %d %d 100 30 \"%s\"", s, a, mode, text);
                    out.push_back(buf);
                }
    // Far-away lines, ends anywhere within 2^27 (the range of device
    // coordinates): from the canvas out, through it with both ends far, and
    // past it.
    const int64_t range = (int64_t{1} << 27) - 1;
    const int64_t corners[][4] = {{-range, -range, range, range},  {range, range, -range, -range},
                                  {-range, 24, range, 24},         {31, -range, 31, range},
                                  {range, -range, -range, range},  {-range, 47, range, 0},
                                  {-range, -range + 40, range, range - 40}};
    for (const auto& e : corners)
        out.push_back(fmt(line, 64, 48, e[0], e[1], e[2], e[3]));
    for (int i = 0; i < 60; ++i)
        out.push_back(fmt(line, 64, 48, r.range(0, 64), r.range(0, 48), r.range(-range, range + 1),
                          r.range(-range, range + 1)));
    for (int i = 0; i < 120; ++i) {
        const int64_t px = r.range(-8, 72), py = r.range(-8, 56);
        const int64_t fx = r.range(-range + 100, range - 100), fy = r.range(-range + 100, range - 100);
        if (i % 3 == 0)
            out.push_back(fmt(line, 64, 48, fx, fy, 2 * px - fx, 2 * py - fy));
        else if (i % 3 == 1)
            out.push_back(fmt(line, 64, 48, fx, py, 2 * px - fx, py + r.range(-50, 50)));
        else
            out.push_back(fmt(line, 64, 48, px + r.range(-50, 50), fy, px, 2 * py - fy));
    }
    return out;
}

} // namespace refcase

#endif
