// The live window's keys as SDL names them.
#include <SDL_keycode.h>

#include "live/LiveKeys.h"

namespace zohost::live {

LiveKey platformKey(std::int32_t code) {
    switch (code) {
    case SDLK_t: return LiveKey::T;
    case SDLK_x: return LiveKey::X;
    case SDLK_m: return LiveKey::M;
    case SDLK_RIGHT: return LiveKey::Right;
    case SDLK_LEFT: return LiveKey::Left;
    case SDLK_UP: return LiveKey::Up;
    case SDLK_DOWN: return LiveKey::Down;
    case SDLK_SPACE: return LiveKey::Space;
    case SDLK_s: return LiveKey::S;
    case SDLK_F1: return LiveKey::F1;
    case SDLK_h: return LiveKey::H;
    case SDLK_q: return LiveKey::Q;
    case SDLK_ESCAPE: return LiveKey::Escape;
    default: return LiveKey::Other;
    }
}

}  // namespace zohost::live
