// The render loop: runs audio through an opened-or-not instance block by
// block, takes each capture message as it is sent, and paints the display
// into a canvas only when a picture is wanted: after each capture for
// frames, at each frame time for time-regular frames and animations, at the
// chosen moment or once at the end for the picture.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "run/Output.h"
#include "zohost/Instance.h"

namespace zohost::tool {

struct RenderJob {
    std::uint64_t samples = 0;
    double rate = 44100.0;
    int width = 640, height = 360;
    std::uint32_t canvas_rgb = 0;  // 0x00RRGGBB, under each paint
    bool transparent = false;      // what stays canvas_rgb is see-through in PNG pictures
    struct Recolour {
        std::uint32_t from, to;  // 0x00RRGGBB
    };
    std::vector<Recolour> recolour;  // colours the display draws, replaced in every picture
    std::string png;               // empty: none; "-": standard output
    std::string frames_dir;        // empty: none; a folder or a pattern (FrameNames.h)
    std::string captures;          // empty: none; "-": standard output
    std::string animation;         // empty: none; its format by extension (Outputs.h)
    std::string sound;             // the module's output streams as a WAV file; empty: none
    SampleFormat sound_format = SampleFormat::Float32;
    double fps = 0.0;              // frames per second of input; 0: a frame per capture
    std::int64_t at = -1;          // sample of the run whose capture in progress is the picture; -1: the end
    double at_seconds = -1.0;      // the same moment as given, for the status line
    bool end_at_picture = false;   // with `at`: stop once the picture is taken
    std::vector<Output*> outputs;  // more outputs, after those above
    std::FILE* progress = nullptr;  // a terminal to draw a progress bar on, or null
    const volatile std::sig_atomic_t* stop = nullptr;  // set: finish early, keeping what is whole
};

struct RenderStats {
    std::uint64_t samples = 0;
    std::size_t captures = 0;  // "data" messages sent by the audio object
    std::size_t frames = 0;
    std::size_t paints = 0;
    int repaints = 0;  // display requests gui_repaint
    std::size_t picture_capture = 0;  // the capture the picture shows (counted from 1), 0: none
    bool stopped = false;             // ended early by `stop`
    std::vector<std::string> written;   // each output's status line, in order
    std::vector<std::string> warnings;  // and what they warn of
};

// False with `error` set when an output cannot be written; outputs are
// checked (and their temporary files made) before the first block. Capture
// samples are copied only when they are written out.
bool render(Instance& instance, const RenderJob& job, RenderStats& stats, std::string& error);

// Frame `number` of --frames `frames`: "DIR/frame-00001.png", or by its pattern.
std::string framePath(const std::string& frames, std::size_t number);
// Frames of time-regular output in `seconds` at `fps`.
std::size_t frameCount(double seconds, double fps);

}  // namespace zohost::tool
