// What zohost knows of one module beyond what it describes of itself: the
// demonstration it runs, the English it speaks of its pins, the colours it
// draws, which pins the scope-style options and the live keys turn. A
// module without a profile of its own gets the generic one: everything
// empty, its pins addressed by the names its descriptions give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zohost {

// A capture length as asked for: a time, a number of samples, or one period
// of a frequency.
struct CaptureWindow {
    enum class Unit { Seconds, Samples, Hertz } unit = Unit::Seconds;
    double value = 0.0;  // seconds, samples or hertz
};

// What a window makes of a module's settings at a rate.
struct WindowSetting {
    int time_mode = 0;      // list value of the time-mode pin
    float time_pin = 0.0f;  // the time pin's value
    int samples = 0;        // capture length the module computes from them
    int wanted = 0;         // the length asked for
};

struct ModuleProfile {
    std::string id;    // the module's id; empty: the generic profile
    std::string name;  // as people call it
    struct Assign {
        const char* pin;
        const char* value;
    };
    // Without --pin and --input: what feeds the module, and lists set first.
    std::vector<Assign> demo_pins, demo_sets;
    // --input's channels in order; empty: the module's sample inputs in order.
    std::vector<std::string> input_pins;
    struct Meaning {
        const char* pin;
        const char* label;    // null: the pin itself
        const char* aliases;  // comma-separated, lower case
        const char* text;
    };
    std::vector<Meaning> meanings;
    // Colours the display draws on its own, each with the option that replaces it.
    struct Drawn {
        const char* option;
        const char* what;
        std::uint32_t rgb;  // 0x00RRGGBB
        bool warn;          // worth a warning when it is the background's colour
        // A list pin that must be off its first choice for this to be drawn; null: always.
        const char* drawn_when = nullptr;
    };
    std::vector<Drawn> drawn;
    // What the text colour draws, for the warning when it is the background's.
    const char* text_colour_draws = nullptr;
    // --window sets these two; --scale the third. Empty: the option is refused.
    std::string time_mode_pin, time_pin, scale_pin;
    // --window's rule: the setting nearest the window; std::invalid_argument
    // when the module cannot capture it.
    WindowSetting (*window)(const CaptureWindow& w, double rate) = nullptr;
    // --scale's pin values, lowest and highest.
    double scale_lo = 0.0, scale_hi = 0.0;
    // The live view: three list pins stepped by keys, two levels moved, and
    // the two inputs played left and right.
    std::string live_lists[3], live_levels[2], played[2];
    // Why a run may have sent no capture: list `pin` at `label` while
    // nothing feeds `input` gives `why`; else the general reason. No reason:
    // the module sends no captures to count.
    struct NoCaptureHint {
        const char* pin;
        const char* label;
        const char* input;
        const char* why;
    };
    std::vector<NoCaptureHint> no_capture_hints;
    const char* no_capture_reason = nullptr;
    // A module that draws: a picture by default.
    bool pictures = true;

    const Drawn* drawnBy(const std::string& option) const {
        for (const Drawn& d : drawn)
            if (option == d.option) return &d;
        return nullptr;
    }
};

}  // namespace zohost
