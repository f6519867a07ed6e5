// Colours in zohost are 0x00RRGGBB; the interface's colour word (COLORREF)
// has red in the low byte. The one conversion between them.
#pragma once

#include <cstdint>

namespace zohost::tool {

constexpr std::uint32_t colorrefOf(std::uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

}  // namespace zohost::tool
