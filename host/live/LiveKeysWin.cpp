// The live window's keys as Windows names them: virtual-key codes, the
// letters' being their capitals.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "live/LiveKeys.h"

namespace zohost::live {

LiveKey platformKey(std::int32_t code) {
    switch (code) {
    case 'T': return LiveKey::T;
    case 'X': return LiveKey::X;
    case 'M': return LiveKey::M;
    case VK_RIGHT: return LiveKey::Right;
    case VK_LEFT: return LiveKey::Left;
    case VK_UP: return LiveKey::Up;
    case VK_DOWN: return LiveKey::Down;
    case VK_SPACE: return LiveKey::Space;
    case 'S': return LiveKey::S;
    case VK_F1: return LiveKey::F1;
    case 'H': return LiveKey::H;
    case 'Q': return LiveKey::Q;
    case VK_ESCAPE: return LiveKey::Escape;
    default: return LiveKey::Other;
    }
}

}  // namespace zohost::live
