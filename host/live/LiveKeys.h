// Keys of the live window, and the settings they turn: three list pins
// stepped through their choices, two control inputs moved in volts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zohost::live {

enum class LiveAction {
    None,
    TriggerNext,
    TriggerPrevious,
    XyModeNext,
    XyModePrevious,
    TimeModeNext,
    TimeModePrevious,
    TimeUp,
    TimeDown,
    YScaleUp,
    YScaleDown,
    Hold,
    Save,
    Help,
    Quit,
};

// The keys the live window answers, whatever the platform calls them.
enum class LiveKey { T, X, M, Right, Left, Up, Down, Space, S, F1, H, Q, Escape, Other };

LiveAction actionForKey(LiveKey key, bool shift);

// The key a platform's key code stands for: SDL key codes (LiveKeysSdl.cpp)
// or Windows virtual-key codes (LiveKeysWin.cpp), as the build chooses.
LiveKey platformKey(std::int32_t code);

struct LiveSettings;
// One line per key, naming the pins the settings turn, for the help overlay.
std::vector<std::string> keyHelp(const LiveSettings& settings);

struct ListSetting {
    std::string pin;
    int position = -1;  // -1: the module has no such pin
    std::vector<std::string> labels;
    std::vector<int> values;
    int index = 0;  // into labels
    int value() const { return values.empty() ? 0 : values[static_cast<std::size_t>(index)]; }
    const std::string& label() const;
    void step(int by);
    void select(int value);
};

struct LevelSetting {
    std::string pin;
    int position = -1;
    double volts = 0.0;  // 1.0 in a sample is 10 volts
    double step_volts = 0.5;
    double low = 0.0, high = 10.0;
    void step(int by);
};

struct LiveSettings {
    ListSetting trigger, xy_mode, time_mode;
    LevelSetting time, y_scale;
    bool held = false;

    // Turns a setting; false for actions that are not settings.
    bool apply(LiveAction action);
    // Each setting as PIN=VALUE, lists first: "Time=5 V".
    std::vector<std::string> fields() const;
    // The fields, two spaces apart.
    std::string text() const;
};

// What a key did to the view.
enum class KeyEffect { None, Settings, Hold, Help, Save, Quit };
// Turns the settings, the hold or the help overlay as `action` asks; saving
// and quitting are left to the caller.
KeyEffect applyKey(LiveAction action, LiveSettings& settings, bool& help);

// The window's title: the module's name and the settings, marked when held.
std::string liveTitle(const std::string& module_name, const LiveSettings& settings);

// The status bar's figures (--stats).
struct LiveFigures {
    double fps = 0.0;
    double latency_seconds = 0.0;  // mean, audio to picture
    std::uint64_t late = 0;
    std::uint64_t dropped = 0;
};
// The status bar's fields, most wanted first: HOLD while held, the last
// message when there is one, the settings, the figures when given.
std::vector<std::string> liveStatusFields(const LiveSettings& settings, const LiveFigures* figures,
                                          const std::string& message);
// All of them, two spaces apart.
std::string liveStatus(const LiveSettings& settings, const LiveFigures* figures, const std::string& message);
// As many whole fields from the first as fit in `columns` characters.
std::string fitStatus(const std::vector<std::string>& fields, std::size_t columns);

// Where S saves: a new file of this pattern in the working directory.
inline const char* const kSavePattern = "zohost-live-%03d.png";
// `pattern` with its one %03d made `number`.
std::string numberedName(const std::string& pattern, int number);

}  // namespace zohost::live
