// Apart from the rest: Xlib's macros clash with the host's names.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace zohost::live {

namespace {

const char* const kHeadlessHint = " (ZOHOST_LIVE_HEADLESS=1 runs without a window)";

void useDefaultVisual(Display* x) {
    // SDL prefers a DirectColor visual where there is one, and such a window
    // shows its pixels through a colour map; the screen's own visual shows
    // them as they are.
    if (std::getenv("SDL_VIDEO_X11_VISUALID")) return;
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", XVisualIDFromVisual(DefaultVisual(x, DefaultScreen(x))));
    ::setenv("SDL_VIDEO_X11_VISUALID", id, 1);
}

}  // namespace

// Asked before SDL starts its video, which would otherwise fall back on a
// driver that shows nothing.
bool displayAnswers(std::string& error) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (wayland && *wayland) return true;  // SDL's own Wayland driver
        error = std::string("no display: DISPLAY is not set") + kHeadlessHint;
        return false;
    }
    Display* x = XOpenDisplay(name);
    if (!x) {
        error = std::string("no display: cannot open display \"") + name + "\" (DISPLAY)" + kHeadlessHint;
        return false;
    }
    useDefaultVisual(x);
    XCloseDisplay(x);
    return true;
}

}  // namespace zohost::live
