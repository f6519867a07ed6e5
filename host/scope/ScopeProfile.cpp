#include "ScopeProfile.h"

#include "ScopeCaptures.h"
#include "ScopeWindow.h"

namespace zohost::scope {

namespace {

ModuleProfile makeScopeProfile() {
    ModuleProfile p;
    p.id = kScopeModuleId;
    p.name = "Ondix2";
    p.demo_pins = {{"Signal A", "sine:440"}, {"Signal B", "triangle:660"}};
    p.demo_sets = {{"Trigger", "InputA"}};
    p.input_pins = {"Signal A", "Signal B"};
    p.meanings = {
    {"Signal A", nullptr, "", "channel A, in volts (1.0 is 10 V); drawn in the text colour"},
    {"Signal B", nullptr, "", "channel B, in volts; drawn in yellow"},
    {"Time", nullptr, "", "capture length in volts, read per Time-Mode (--window sets both)"},
    {"Y-Scale", nullptr, "", "vertical gain in volts: at 1 V, +-10 V fills the height; 2 V doubles it (--scale)"},
    {"EXT-Trigger", nullptr, "", "a rising zero crossing here starts a capture when Trigger is EXT"},
    {"X-Y-Mode", nullptr, "", "traces over time, or one channel against the other"},
    {"X-Y-Mode", "Aus", "off,time", "off: both traces over time"},
    {"X-Y-Mode", "X-Y", "xy", "A across, B up"},
    {"X-Y-Mode", "Y-X", "yx", "B across, A up"},
    {"Trigger", nullptr, "", "what starts a capture"},
    {"Trigger", "Aus", "off,none,free", "off: capture at once, again and again"},
    {"Trigger", "InputA", "a,input-a", "a rising zero crossing of Signal A"},
    {"Trigger", "InputB", "b,input-b", "a rising zero crossing of Signal B"},
    {"Trigger", "Auto", "", "a rising zero crossing of Signal A if it is connected, else of Signal B"},
    {"Trigger", "EXT", "ext,external", "a rising zero crossing of EXT-Trigger; the capture runs until the next"},
    {"Time-Mode", nullptr, "", "the unit of Time"},
    {"Time-Mode", "V/KHz", "khz,frequency", "Time is a frequency in kHz; one period is captured"},
    {"Time-Mode", "V/Oktave", "octave,octaves,pitch", "Time is a pitch: 5 V is 440 Hz, each volt an octave up"},
    {"Time-Mode", "V/zehntel Sek.", "tenths,seconds,tenths-of-a-second", "each volt of Time is a tenth of a second"},
    {"Time-Mode", "V/1000 Samples", "samples,thousands", "each volt of Time is 1000 samples"},
};
    p.drawn = {{"--trace-b-colour", "trace B", 0x00FAFA00u, true},
               {"--readout-colour", "the readouts", 0x00DC8CFAu, false},
               {"--figure-colour", "the X-Y figure", 0x00FA1E1Eu, true, "X-Y-Mode"}};
    p.no_capture_hints = {
        {"Trigger", "EXT", "EXT-Trigger", "Trigger is EXT and nothing feeds EXT-Trigger"},
    };
    p.no_capture_reason =
        "a capture may be longer than the run (Time-Mode and Time, or --window), or its trigger signal never "
        "rose through zero";
    p.text_colour_draws = "trace A";
    p.time_mode_pin = "Time-Mode";
    p.time_pin = "Time";
    p.scale_pin = "Y-Scale";
    p.window = &scopeWindow;
    p.scale_lo = 0.0;  // 0 V .. 10 V
    p.scale_hi = 1.0;
    p.live_lists[0] = "Trigger";
    p.live_lists[1] = "X-Y-Mode";
    p.live_lists[2] = "Time-Mode";
    p.live_levels[0] = "Time";
    p.live_levels[1] = "Y-Scale";
    p.played[0] = "Signal A";
    p.played[1] = "Signal B";
    return p;
}

}  // namespace

const ModuleProfile& scopeProfile() {
    static const ModuleProfile p = makeScopeProfile();
    return p;
}

const ModuleProfile& profileFor(const std::string& module_id) {
    static const ModuleProfile generic;
    return module_id == scopeProfile().id ? scopeProfile() : generic;
}

}  // namespace zohost::scope
