#include "live/LiveWindow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "live/LiveHost.h"
#include "live/LiveKeys.h"
#include "tool/PngWriter.h"
#include "zohost/Canvas.h"
#include "zohost/FontCache.h"

namespace zohost::live {

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

// Text lines drawn by our drawing library into a picture of their own.
void drawText(Canvas& canvas, const std::vector<std::string>& lines, int font_height, std::uint32_t colorref,
              int x, int y) {
    HDC dc = canvas.dc();
    const zolong font = fontForHeight(font_height);
    HGDIOBJ old = font ? SelectObject(dc, reinterpret_cast<HGDIOBJ>(font)) : nullptr;
    SetTextColor(dc, colorref);
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < lines.size(); ++i)
        TextOutA(dc, x, y + static_cast<int>(i) * (font_height + 2), lines[i].c_str(),
                 static_cast<int>(lines[i].size()));
    if (old) SelectObject(dc, old);
}

}  // namespace

LiveWindow::~LiveWindow() {
    if (window_) SDL_DestroyWindow(window_);
}

Uint32 LiveWindow::pictureEvent() {
    static const Uint32 type = SDL_RegisterEvents(1);
    return type;
}

bool LiveWindow::open(const std::string& title, int width, int height, int font_height,
                      std::uint32_t text_colorref, std::uint32_t background_rgb, std::string& error) {
    font_height_ = font_height;
    text_colorref_ = text_colorref;
    background_rgb_ = background_rgb;
    bar_height_ = font_height + 6;
    pictureEvent();
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                               height + bar_height_, SDL_WINDOW_RESIZABLE);
    if (!window_) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return false;
    }
    return true;
}

void LiveWindow::setTitle(const std::string& title) { SDL_SetWindowTitle(window_, title.c_str()); }

int LiveWindow::displayWidth() const {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    return std::max(1, w);
}

int LiveWindow::displayHeight() const {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    return std::max(1, h - bar_height_);
}

void LiveWindow::takePicture(const std::uint32_t* pixels, int width, int height, std::uint64_t block) {
    {
        std::lock_guard<std::mutex> lock(frame_mutex_);
        frame_.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
        frame_width_ = width;
        frame_height_ = height;
        frame_block_ = block;
    }
    // One wake-up pending at a time, however fast pictures come.
    if (!woken_.exchange(true)) {
        SDL_Event e{};
        e.type = pictureEvent();
        SDL_PushEvent(&e);
    }
}

std::uint64_t LiveWindow::present(const std::string& status, bool help) {
    woken_.store(false);
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface) return 0;
    std::uint64_t block = 0;
    SDL_LockSurface(surface);
    fillRect(surface, 0, 0, surface->w, surface->h, background_rgb_);
    {
        std::lock_guard<std::mutex> lock(frame_mutex_);
        if (!frame_.empty()) put(surface, 0, 0, frame_.data(), frame_width_, frame_height_, frame_width_);
        block = frame_block_;
    }
    drawBar(surface, status);
    if (help) drawHelp(surface);
    SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window_);
    return block;
}

void LiveWindow::drawBar(SDL_Surface* surface, const std::string& status) {
    const int y = std::max(0, surface->h - bar_height_);
    std::lock_guard<std::mutex> lock(LiveHost::paintLock());
    Canvas bar(surface->w, bar_height_, 0x202020);
    if (!bar.valid()) return;
    drawText(bar, {status}, font_height_, text_colorref_, 4, 3);
    put(surface, 0, y, bar.pixels(), bar.width(), bar.height(), bar.width());
}

void LiveWindow::drawHelp(SDL_Surface* surface) {
    const std::vector<std::string>& lines = keyHelp();
    const int w = std::min(surface->w, font_height_ * 32);
    const int h = std::min(surface->h, static_cast<int>(lines.size()) * (font_height_ + 2) + 12);
    std::lock_guard<std::mutex> lock(LiveHost::paintLock());
    Canvas box(w, h, 0x303048);
    if (!box.valid()) return;
    drawText(box, lines, font_height_, 0x00FFFFFF, 8, 6);
    put(surface, std::max(0, (surface->w - w) / 2), std::max(0, (surface->h - bar_height_ - h) / 2), box.pixels(),
        box.width(), box.height(), box.width());
}

bool LiveWindow::readBack(std::vector<std::uint32_t>& pixels, int& width, int& height) const {
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
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
    std::lock_guard<std::mutex> lock(frame_mutex_);
    if (frame_.empty()) return false;
    pixels = frame_;
    width = frame_width_;
    height = frame_height_;
    return true;
}

bool savePicture(const std::string& path, bool fresh, const std::uint32_t* pixels, int width, int height,
                 std::string& written, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmp = (dir / ".zohost-live-XXXXXX").string();
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = "cannot write in " + dir.string() + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes it private; a picture gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    tmp = name.data();
    tool::PngWriter png;
    if (!png.write(tmp, pixels, width, height, error)) {
        std::remove(tmp.c_str());
        return false;
    }
    if (!fresh) {
        if (std::rename(tmp.c_str(), path.c_str()) != 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            std::remove(tmp.c_str());
            return false;
        }
        written = path;
        return true;
    }
    // link() fails where a file exists, so no file is ever replaced.
    for (int n = 1; n < 100000; ++n) {
        char buf[4096];
        std::snprintf(buf, sizeof buf, path.c_str(), n);
        if (::link(tmp.c_str(), buf) == 0) {
            std::remove(tmp.c_str());
            written = buf;
            return true;
        }
        if (errno != EEXIST) {
            error = std::string("cannot write ") + buf + ": " + std::strerror(errno);
            std::remove(tmp.c_str());
            return false;
        }
    }
    std::remove(tmp.c_str());
    error = "no free name for " + path;
    return false;
}

}  // namespace zohost::live
