#include "zohost/FontCache.h"

#include <map>

#include "Drawing.h"

namespace zohost {

zolong fontForHeight(int pixel_height) {
    // Display requests come from the host's one window thread.
    static std::map<int, HFONT> fonts;
    auto it = fonts.find(pixel_height);
    if (it == fonts.end()) it = fonts.emplace(pixel_height, detail::makeFont(pixel_height)).first;
    return reinterpret_cast<zolong>(it->second);
}

}  // namespace zohost
