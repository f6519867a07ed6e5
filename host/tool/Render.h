// The render loop: runs audio through an opened-or-not instance block by
// block, takes each capture message as it is sent, and paints the display
// into a canvas only when a picture is wanted: after each capture for
// frames, once at the end for the last picture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "zohost/Instance.h"

namespace zohost::tool {

// Instance options for rendering: messages travel between blocks (one
// capture per block at most reaches the display, as through a host's window
// thread), no request log.
InstanceOptions renderInstanceOptions(float rate, int block, std::uint32_t text_colour,
                                      std::int32_t background, int font_height);

struct RenderJob {
    std::uint64_t samples = 0;
    int width = 640, height = 360;
    std::uint32_t canvas_rgb = 0;  // 0x00RRGGBB, under each paint
    std::string png;               // empty: none
    std::string frames_dir;        // empty: none
    std::string captures;          // empty: none
    std::FILE* progress = nullptr;  // a terminal to draw a progress bar on, or null
};

struct RenderStats {
    std::uint64_t samples = 0;
    std::size_t captures = 0;  // "data" messages sent by the audio object
    std::size_t frames = 0;
    std::size_t paints = 0;
    int repaints = 0;  // display requests gui_repaint
};

// False with `error` set when an output cannot be written. Capture samples
// are copied only when they are written out.
bool render(Instance& instance, const RenderJob& job, RenderStats& stats, std::string& error);

// "DIR/frame-00001.png"
std::string framePath(const std::string& dir, std::size_t number);

}  // namespace zohost::tool
