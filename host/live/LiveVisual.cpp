// Apart from the rest: Xlib's macros clash with the host's names.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace zohost::live {

void useDefaultVisual() {
    // SDL prefers a DirectColor visual where there is one, and such a window
    // shows its pixels through a colour map; the screen's own visual shows
    // them as they are.
    if (std::getenv("SDL_VIDEO_X11_VISUALID")) return;
    Display* x = XOpenDisplay(nullptr);
    if (!x) return;
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", XVisualIDFromVisual(DefaultVisual(x, DefaultScreen(x))));
    XCloseDisplay(x);
    ::setenv("SDL_VIDEO_X11_VISUALID", id, 1);
}

}  // namespace zohost::live
