// zohost's command line, parsed and checked for form. Names of pins and
// choices are checked later, against the loaded module.
#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run/InputSource.h"

namespace zohost::tool {

// A run stopped by a signal ends with 128 + the signal (kInterrupted for SIGINT).
enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNoModule = 3, kNoDisplay = 3, kInterrupted = 130 };

// A malformed or unknown value: exit status 2.
struct UsageError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

struct PinAssignment {
    std::string pin;
    InputSource source;
};

struct ChoiceAssignment {
    std::string pin;
    std::string choice;
};

// What every mode that runs the module reads.
struct CommonOptions {
    std::string module;  // empty: the module beside the executable
    std::vector<PinAssignment> pins;
    std::vector<ChoiceAssignment> sets;
    std::string input;   // --input: a sound file onto the first inputs
    double rate = 44100.0;
    bool rate_given = false;
    int block = 512;
    double seconds = 1.0;
    bool seconds_given = false;
    double seconds_samples = -1.0;  // --seconds in samples, made seconds at the run's rate; -1: not
    int width = 640;
    int height = 360;
    int font_height = 0;  // 0: from the picture height
    // Colours are 0x00RRGGBB throughout; the module's COLORREF is made in one place (colorrefOf).
    std::uint32_t text_colour = 0x00FFFFFF;
    std::int64_t background = 0;  // or -1 for none (see-through)
    std::string captures;         // the capture log
    std::uint64_t seed = 1;
    bool quiet = false;
    bool version = false;
    bool force = false;  // binary data to standard output even on a terminal
};

// Pictures, frames, animations and sound files, offline.
struct RenderOptions {
    double start = 0.0;  // seconds into the input
    double at = -1.0;    // seconds of the input whose capture is the picture; -1: the end
    std::string window;  // --window as given; empty: none
    double scale = -1.0;  // the scale pin's value from --scale, checked by the module's profile
    bool scale_given = false;
    double fps = 0.0;    // time-regular frames; 0: a frame per capture
    std::string animation;
    bool overwrite = false;
    // Colours the module draws on its own, replaced in the pictures, or -1 to keep.
    std::int64_t trace_b_colour = -1, readout_colour = -1, figure_colour = -1;
    std::string png = "scope.png";  // empty: no picture file
    bool png_given = false;         // --png itself, not the default
    std::string frames;
    std::string output;             // --output: the module's output streams
    std::string output_format = "float";
};

// --validate: the battery against the module instead of a run.
struct ValidateModeOptions {
    bool validate = false;
    bool seed_given = false;
    int repeat = 1;
    bool randomise = false;
    double timeout = 0.0;
    std::vector<std::string> only;
    std::vector<std::string> skip;
    int level = 0;                    // 0: the default (or the top with --randomise)
    bool verbose = false;
    std::string report_kind, report;  // --report junit|json FILE
    bool list_tests = false;
};

// --live: a window showing the display as it runs.
struct LiveOptions {
    bool live = false;
    bool mute = false;
    bool loop = false;
    bool stats = false;
    std::string snapshot;   // the window's pixels at the end
    double hold_at = -1.0;  // seconds of audio after which the picture is held
};

// The whole command line: the common part and one part per mode.
struct ToolOptions : CommonOptions, RenderOptions, ValidateModeOptions, LiveOptions {
    bool describe = false;
};

// Form checks; each throws UsageError with a message.
// "640x360"
void parseSize(const std::string& text, int& width, int& height);
// "RRGGBB" (or "#RRGGBB") as 0x00RRGGBB.
std::uint32_t parseColour(const std::string& text);
// "NAME=VALUE", split at the first "=".
void splitAssignment(const std::string& text, const char* option, std::string& name, std::string& value);

// Parses argv into `o`. Returns -1 when the command should run; otherwise
// the exit status, with help written to `out` or one line to `err`.
// The font height zohost hands out for a picture `height` pixels tall.
int autoFontHeight(int height);

// Every option of the command line, by its first long name.
struct OptionInfo {
    std::string name;
    bool takes_value = false;
    bool repeatable = false;  // each one given adds to a list
};
std::vector<OptionInfo> toolOptionList();

int parseToolOptions(int argc, const char* const* argv, ToolOptions& o, std::ostream& out,
                     std::ostream& err);

}  // namespace zohost::tool
