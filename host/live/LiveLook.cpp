#include <algorithm>

#include "live/LiveKeys.h"
#include "live/LiveWindow.h"
#include "zohost/FontCache.h"

namespace zohost::live {

namespace {

const std::uint32_t kBarColorref = 0x00202020;
const std::uint32_t kHelpColorref = 0x00483030;  // a dark blue
const std::uint32_t kHelpTextColorref = 0x00FFFFFF;
const int kBarMargin = 4;

void fill(HDC dc, const LiveRect& r, std::uint32_t colorref) {
    const RECT rect{r.x, r.y, r.x + r.w, r.y + r.h};
    HBRUSH brush = CreateSolidBrush(colorref);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void drawLines(HDC dc, const std::vector<std::string>& lines, int font_height, std::uint32_t colorref, int x,
               int y) {
    const zolong font = fontForHeight(font_height);
    HGDIOBJ old = font ? SelectObject(dc, reinterpret_cast<HGDIOBJ>(font)) : nullptr;
    SetTextColor(dc, colorref);
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < lines.size(); ++i)
        TextOutA(dc, x, y + static_cast<int>(i) * (font_height + 2), lines[i].c_str(),
                 static_cast<int>(lines[i].size()));
    if (old) SelectObject(dc, old);
}

}  // namespace

LiveRect LiveLook::barRect(int width, int height) const {
    const int h = barHeight();
    return LiveRect{0, std::max(0, height - h), width, h};
}

LiveRect LiveLook::helpRect(int width, int height) const {
    const int lines = static_cast<int>(help.size());
    const int w = std::min(width, font_height * 32);
    const int h = std::min(height, lines * (font_height + 2) + 12);
    // Centred over the display's part.
    return LiveRect{std::max(0, (width - w) / 2), std::max(0, (height - barHeight() - h) / 2), w, h};
}

std::size_t LiveLook::barColumns(int width) const {
    const int room = width - 2 * kBarMargin;
    return room > 0 ? static_cast<std::size_t>(room / charWidth()) : 0;
}

void LiveLook::drawBar(HDC dc, const LiveRect& r, const std::vector<std::string>& status) const {
    fill(dc, r, kBarColorref);
    drawLines(dc, {fitStatus(status, barColumns(r.w))}, font_height, text_colorref, r.x + kBarMargin, r.y + 3);
}

void LiveLook::drawHelp(HDC dc, const LiveRect& r) const {
    fill(dc, r, kHelpColorref);
    drawLines(dc, help, font_height, kHelpTextColorref, r.x + 8, r.y + 6);
}

}  // namespace zohost::live
