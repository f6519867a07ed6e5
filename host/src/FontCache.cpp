#include "zohost/FontCache.h"

#include <map>

#include "zohost/Gdi.h"

namespace zohost {

namespace {

HFONT makeFont(int height) {
#ifdef _WIN32
    HFONT f = CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          FIXED_PITCH | FF_MODERN, "DejaVu Sans Mono");
    if (!f)
        f = CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        FIXED_PITCH | FF_MODERN, "Courier New");
    return f;
#else
    return ZoGdiCreateFont(height);
#endif
}

}  // namespace

zolong fontForHeight(int pixel_height) {
    // Display requests come from the host's one window thread.
    static std::map<int, HFONT> fonts;
    auto it = fonts.find(pixel_height);
    if (it == fonts.end()) it = fonts.emplace(pixel_height, makeFont(pixel_height)).first;
    return reinterpret_cast<zolong>(it->second);
}

}  // namespace zohost
