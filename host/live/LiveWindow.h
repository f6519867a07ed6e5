// The live window: the display's latest picture on top, a one-line status
// bar under it (outside the module's drawing), the keys over it on request.
// Pictures arrive from the display thread; everything else happens on the
// thread that made the window.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zohost::live {

class LiveWindow {
public:
    LiveWindow() = default;
    ~LiveWindow();
    LiveWindow(const LiveWindow&) = delete;
    LiveWindow& operator=(const LiveWindow&) = delete;

    // False with `error` when there is no display to open a window on.
    bool open(const std::string& title, int width, int height, int font_height, std::uint32_t text_colorref,
              std::uint32_t background_rgb, std::string& error);
    void setTitle(const std::string& title);
    // The size the display's picture should have now.
    int displayWidth() const;
    int displayHeight() const;
    int barHeight() const { return bar_height_; }

    // Any thread: the display's newest picture. Wakes the window thread.
    void takePicture(const std::uint32_t* pixels, int width, int height, std::uint64_t block);

    // Window thread: draws picture, bar and help into the window. Returns
    // the block of the newest capture shown.
    std::uint64_t present(const std::string& status, bool help);
    // The window's pixels as it shows them now, 0x00RRGGBB.
    bool readBack(std::vector<std::uint32_t>& pixels, int& width, int& height) const;
    // The display's picture alone.
    bool picture(std::vector<std::uint32_t>& pixels, int& width, int& height) const;

    static Uint32 pictureEvent();

private:
    void drawBar(SDL_Surface* surface, const std::string& status);
    void drawHelp(SDL_Surface* surface);

    SDL_Window* window_ = nullptr;
    int bar_height_ = 0;
    int font_height_ = 12;
    std::uint32_t text_colorref_ = 0x00FFFFFF;
    std::uint32_t background_rgb_ = 0;
    mutable std::mutex frame_mutex_;
    std::vector<std::uint32_t> frame_;
    int frame_width_ = 0, frame_height_ = 0;
    std::uint64_t frame_block_ = 0;
    std::atomic<bool> woken_{false};
};

// Before SDL starts its video: windows in the X screen's default visual.
void useDefaultVisual();

// Writes a PNG through a temporary file in the same directory. With
// `fresh`, `path` is a pattern with one %03d, and the first number whose
// file does not exist is taken (never replacing one); `written` says which.
bool savePicture(const std::string& path, bool fresh, const std::uint32_t* pixels, int width, int height,
                 std::string& written, std::string& error);

}  // namespace zohost::live
