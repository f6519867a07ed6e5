#include "live/LiveWindow.h"
#include "zohost/FontCache.h"

namespace zohost::live {

void drawLines(HDC dc, const std::vector<std::string>& lines, int font_height, std::uint32_t colorref, int x, int y) {
    const zolong font = fontForHeight(font_height);
    HGDIOBJ old = font ? SelectObject(dc, reinterpret_cast<HGDIOBJ>(font)) : nullptr;
    SetTextColor(dc, colorref);
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < lines.size(); ++i)
        TextOutA(dc, x, y + static_cast<int>(i) * (font_height + 2), lines[i].c_str(),
                 static_cast<int>(lines[i].size()));
    if (old) SelectObject(dc, old);
}

}  // namespace zohost::live
