// The live window: the display's latest picture on top, a one-line status
// bar under it (outside the module's drawing), the keys over it on request.
// Everything but wake() and takePicture() happens on the thread that made it.
// - SDL (Linux): the display thread paints into a picture of its own and
//   hands it over; the window copies it onto its surface.
// - Windows: the window paints the display itself, on WM_PAINT, through the
//   painter given, into a buffer of the window's own kind (no flicker).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "live/LiveKeys.h"
#include "zohost/Gdi.h"

namespace zohost::live {

struct LiveRect {
    int x, y, w, h;
};

// The window's own parts, around and over the display's picture: a status
// bar under it, the keys over it on request. Sizes are the client area's.
struct LiveLook {
    // The bar's own size, whatever the display's font: it fits its fields
    // the same way at every window size.
    int font_height = 12;
    std::vector<std::string> help;  // the keys' lines
    std::uint32_t text_colorref = 0x00FFFFFF;
    std::uint32_t background_rgb = 0;  // 0x00RRGGBB, as behind the display

    int barHeight() const { return font_height + 6; }
    // Wide enough for any character of the monospaced font.
    int charWidth() const { return (font_height * 5 + 7) / 8; }
    // The characters a bar `width` wide shows whole.
    std::size_t barColumns(int width) const;
    // The display's height in a client area `height` high.
    int displayHeight(int height) const { return height - barHeight() > 1 ? height - barHeight() : 1; }
    LiveRect barRect(int width, int height) const;
    LiveRect helpRect(int width, int height) const;
    // Each fills its rectangle and writes into it.
    // As many of the status fields, from the first, as fit whole.
    void drawBar(HDC dc, const LiveRect& r, const std::vector<std::string>& status) const;
    void drawHelp(HDC dc, const LiveRect& r) const;
};

struct LiveEvent {
    enum class Kind { Quit, Key, Resized, Exposed, Picture };
    Kind kind = Kind::Picture;
    LiveAction action = LiveAction::None;
};

class LiveWindow {
public:
    // Starts the platform's windowing; check ready().
    LiveWindow();
    ~LiveWindow();
    LiveWindow(const LiveWindow&) = delete;
    LiveWindow& operator=(const LiveWindow&) = delete;
    // False with `error` when there is no display to open a window on.
    bool ready(std::string& error) const;

    // True where the window paints the display itself (setPainter).
    static bool paintsDisplay();
    // Paints the display into `dc` at width x height; returns the block of
    // the newest capture painted (0: none yet).
    using Painter = std::function<std::uint64_t(HDC dc, int width, int height)>;
    void setPainter(Painter painter);

    // A display of width x height, with the look's status bar under it.
    bool open(const std::string& title, int width, int height, const LiveLook& look, std::string& error);
    void setTitle(const std::string& title);
    // The size the display's picture should have now.
    int displayWidth() const;
    int displayHeight() const;

    // Any thread: the display's newest picture (where the window does not
    // paint it), or nullptr pixels where it does and the display asked for a
    // repaint. Wakes the window thread with a Picture event.
    void takePicture(const std::uint32_t* pixels, int width, int height, std::uint64_t block);
    // Any thread: next() returns.
    void wake();

    // Waits up to `timeout_ms` for an event; false when none came.
    bool next(LiveEvent& event, int timeout_ms);
    // Draws picture, bar and help into the window. Returns the block of the
    // newest capture shown.
    std::uint64_t present(const std::vector<std::string>& status, bool help);
    // The window's pixels as it shows them now, 0x00RRGGBB.
    bool readBack(std::vector<std::uint32_t>& pixels, int& width, int& height) const;
    // The display's picture alone, as the window shows it.
    bool picture(std::vector<std::uint32_t>& pixels, int& width, int& height) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Writes a PNG through a temporary file in the same directory. With
// `fresh`, `path` is a pattern with one %03d, and the first number whose
// file does not exist is taken (never replacing one); `written` says which.
bool savePicture(const std::string& path, bool fresh, const std::uint32_t* pixels, int width, int height,
                 std::string& written, std::string& error);

}  // namespace zohost::live
