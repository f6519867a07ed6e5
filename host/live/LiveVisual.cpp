// Apart from the rest: Xlib's macros clash with the host's names. Xlib is
// loaded when --live asks for the display, as SDL2 is (LiveLibrarySdl.cpp).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "run/SystemLibrary.h"

namespace zohost::live {

namespace {

const char* const kHeadlessHint = " (ZOHOST_LIVE_HEADLESS=1 runs without a window)";

struct Xlib {
    Display* (*open)(const char*) = nullptr;
    int (*close)(Display*) = nullptr;
    VisualID (*visual_id)(Visual*) = nullptr;
};

bool loadXlib(Xlib& x, std::string& error) {
    const char* const soname = "libX11.so.6";
    void* lib = tool::loadSystemLibrary(soname, "Xlib", error);
    const bool found = lib && tool::findSystemFunction(lib, soname, "Xlib", "XOpenDisplay", x.open, error) &&
                       tool::findSystemFunction(lib, soname, "Xlib", "XCloseDisplay", x.close, error) &&
                       tool::findSystemFunction(lib, soname, "Xlib", "XVisualIDFromVisual", x.visual_id, error);
    if (!found) error = "no display: " + error;
    return found;
}

void useDefaultVisual(const Xlib& xlib, Display* x) {
    // SDL prefers a DirectColor visual where there is one, and such a window
    // shows its pixels through a colour map; the screen's own visual shows
    // them as they are.
    if (std::getenv("SDL_VIDEO_X11_VISUALID")) return;
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", xlib.visual_id(DefaultVisual(x, DefaultScreen(x))));
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
    Xlib xlib;
    if (!loadXlib(xlib, error)) return false;
    Display* x = xlib.open(name);
    if (!x) {
        error = std::string("no display: cannot open display \"") + name + "\" (DISPLAY)" + kHeadlessHint;
        return false;
    }
    useDefaultVisual(xlib, x);
    xlib.close(x);
    return true;
}

}  // namespace zohost::live
