// The live window through SDL2: the display's pictures arrive from the
// display thread and are copied onto the window's surface.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>

#include "live/LiveHost.h"
#include "live/LiveWindow.h"
#include "zohost/Canvas.h"

namespace zohost::live {

// Before SDL starts its video: false with `error` naming the display tried
// when none answers; else windows will be in the X screen's default visual.
bool displayAnswers(std::string& error);
// SDL2 itself, loaded at run time; false with `error` when it cannot be.
bool loadSdl(std::string& error);

namespace {

// Copies 0x00RRGGBB pixels into part of a surface.
void put(SDL_Surface* surface, int x, int y, const std::uint32_t* pixels, int width, int height, int pitch_pixels) {
    width = std::min(width, surface->w - x);
    height = std::min(height, surface->h - y);
    if (width <= 0 || height <= 0) return;
    auto* dst = static_cast<std::uint8_t*>(surface->pixels) + y * surface->pitch +
                x * surface->format->BytesPerPixel;
    SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, pixels, pitch_pixels * 4, surface->format->format,
                      dst, surface->pitch);
}

void fillRect(SDL_Surface* surface, int x, int y, int w, int h, std::uint32_t rgb) {
    SDL_Rect r{x, y, w, h};
    SDL_FillRect(surface, &r, SDL_MapRGB(surface->format, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
}

Uint32 pictureEvent() {
    static const Uint32 type = SDL_RegisterEvents(1);
    return type;
}

}  // namespace

struct LiveWindow::Impl {
    bool video = false;
    std::string init_error;
    SDL_Window* window = nullptr;
    LiveLook look;
    mutable std::mutex frame_mutex;
    std::vector<std::uint32_t> frame;
    int frame_width = 0, frame_height = 0;
    std::uint64_t frame_block = 0;
    std::atomic<bool> woken{false};

    // Drawn into a picture of their own, put on the surface.
    void drawPart(SDL_Surface* surface, const LiveRect& r, const std::function<void(HDC, const LiveRect&)>& draw);
};

LiveWindow::LiveWindow() : impl_(std::make_unique<Impl>()) {
    if (!loadSdl(impl_->init_error)) return;
    const char* headless = std::getenv("ZOHOST_LIVE_HEADLESS");
    if (headless && *headless && std::string(headless) != "0")
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 0);  // chosen: a window that no one sees
    else if (!displayAnswers(impl_->init_error))
        return;
    // The program's own handlers stop it on a signal.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        impl_->init_error = std::string("no display: ") + SDL_GetError();
        return;
    }
    impl_->video = true;
    pictureEvent();
}

LiveWindow::~LiveWindow() {
    if (impl_->window) SDL_DestroyWindow(impl_->window);
    if (impl_->video) SDL_Quit();
}

bool LiveWindow::ready(std::string& error) const {
    error = impl_->init_error;
    return impl_->video;
}

bool LiveWindow::paintsDisplay() { return false; }

void LiveWindow::setPainter(Painter) {}

bool LiveWindow::open(const std::string& title, int width, int height, const LiveLook& look, std::string& error) {
    Impl& m = *impl_;
    m.look = look;
    m.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                height + look.barHeight(), SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    // Taking the window's surface may make SDL build the window anew (for a
    // texture of its own), so the window is shown only after: nobody outside
    // sees a window that then goes away.
    if (!m.window || !SDL_GetWindowSurface(m.window)) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return false;
    }
    SDL_ShowWindow(m.window);
    return true;
}

void LiveWindow::setTitle(const std::string& title) { SDL_SetWindowTitle(impl_->window, title.c_str()); }

int LiveWindow::displayWidth() const {
    int w = 0, h = 0;
    SDL_GetWindowSize(impl_->window, &w, &h);
    return std::max(1, w);
}

int LiveWindow::displayHeight() const {
    int w = 0, h = 0;
    SDL_GetWindowSize(impl_->window, &w, &h);
    return impl_->look.displayHeight(h);
}

void LiveWindow::takePicture(const std::uint32_t* pixels, int width, int height, std::uint64_t block) {
    Impl& m = *impl_;
    if (pixels) {
        std::lock_guard<std::mutex> lock(m.frame_mutex);
        m.frame.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
        m.frame_width = width;
        m.frame_height = height;
        m.frame_block = block;
    }
    // One wake-up pending at a time, however fast pictures come.
    if (!m.woken.exchange(true)) wake();
}

void LiveWindow::wake() {
    SDL_Event e{};
    e.type = pictureEvent();
    SDL_PushEvent(&e);
}

bool LiveWindow::next(LiveEvent& event, int timeout_ms) {
    SDL_Event e;
    while (SDL_WaitEventTimeout(&e, timeout_ms)) {
        if (e.type == SDL_QUIT) {
            event.kind = LiveEvent::Kind::Quit;
            return true;
        }
        if (e.type == SDL_WINDOWEVENT &&
            (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_RESIZED)) {
            event.kind = LiveEvent::Kind::Resized;
            return true;
        }
        if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED) {
            event.kind = LiveEvent::Kind::Exposed;
            return true;
        }
        if (e.type == SDL_KEYDOWN) {
            event.kind = LiveEvent::Kind::Key;
            event.action = actionForKey(platformKey(e.key.keysym.sym), (e.key.keysym.mod & KMOD_SHIFT) != 0);
            return true;
        }
        if (e.type == pictureEvent()) {
            event.kind = LiveEvent::Kind::Picture;
            return true;
        }
        // Anything else: wait on, without the whole timeout again.
        timeout_ms = 0;
    }
    return false;
}

std::uint64_t LiveWindow::present(const std::vector<std::string>& status, bool help) {
    Impl& m = *impl_;
    m.woken.store(false);
    SDL_Surface* surface = SDL_GetWindowSurface(m.window);
    if (!surface) return 0;
    std::uint64_t block = 0;
    SDL_LockSurface(surface);
    fillRect(surface, 0, 0, surface->w, surface->h, m.look.background_rgb);
    {
        std::lock_guard<std::mutex> lock(m.frame_mutex);
        if (!m.frame.empty()) put(surface, 0, 0, m.frame.data(), m.frame_width, m.frame_height, m.frame_width);
        block = m.frame_block;
    }
    m.drawPart(surface, m.look.barRect(surface->w, surface->h),
               [&](HDC dc, const LiveRect& r) { m.look.drawBar(dc, r, status); });
    if (help)
        m.drawPart(surface, m.look.helpRect(surface->w, surface->h),
                   [&](HDC dc, const LiveRect& r) { m.look.drawHelp(dc, r); });
    SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(m.window);
    return block;
}

void LiveWindow::Impl::drawPart(SDL_Surface* surface, const LiveRect& r,
                                const std::function<void(HDC, const LiveRect&)>& draw) {
    std::lock_guard<std::mutex> lock(LiveHost::paintLock());
    Canvas part(r.w, r.h, 0);
    if (!part.valid()) return;
    draw(part.dc(), LiveRect{0, 0, r.w, r.h});
    put(surface, r.x, r.y, part.pixels(), part.width(), part.height(), part.width());
}

bool LiveWindow::readBack(std::vector<std::uint32_t>& pixels, int& width, int& height) const {
    SDL_Surface* surface = SDL_GetWindowSurface(impl_->window);
    if (!surface) return false;
    width = surface->w;
    height = surface->h;
    pixels.assign(static_cast<std::size_t>(width) * height, 0);
    SDL_LockSurface(surface);
    const int rc = SDL_ConvertPixels(width, height, surface->format->format, surface->pixels, surface->pitch,
                                     SDL_PIXELFORMAT_RGB888, pixels.data(), width * 4);
    SDL_UnlockSurface(surface);
    return rc == 0;
}

bool LiveWindow::picture(std::vector<std::uint32_t>& pixels, int& width, int& height) const {
    std::lock_guard<std::mutex> lock(impl_->frame_mutex);
    if (impl_->frame.empty()) return false;
    pixels = impl_->frame;
    width = impl_->frame_width;
    height = impl_->frame_height;
    return true;
}

}  // namespace zohost::live
