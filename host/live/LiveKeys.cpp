#include "live/LiveKeys.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zohost::live {

LiveAction actionForKey(LiveKey key, bool shift) {
    switch (key) {
    case LiveKey::T: return shift ? LiveAction::TriggerPrevious : LiveAction::TriggerNext;
    case LiveKey::X: return shift ? LiveAction::XyModePrevious : LiveAction::XyModeNext;
    case LiveKey::M: return shift ? LiveAction::TimeModePrevious : LiveAction::TimeModeNext;
    case LiveKey::Right: return LiveAction::TimeUp;
    case LiveKey::Left: return LiveAction::TimeDown;
    case LiveKey::Up: return LiveAction::YScaleUp;
    case LiveKey::Down: return LiveAction::YScaleDown;
    case LiveKey::Space: return LiveAction::Hold;
    case LiveKey::S: return LiveAction::Save;
    case LiveKey::F1:
    case LiveKey::H: return LiveAction::Help;
    case LiveKey::Q:
    case LiveKey::Escape: return LiveAction::Quit;
    default: return LiveAction::None;
    }
}

std::vector<std::string> keyHelp(const LiveSettings& s) {
    return {
        "T / Shift+T   " + s.trigger.pin + ": next / previous choice",
        "X / Shift+X   " + s.xy_mode.pin + ": next / previous choice",
        "M / Shift+M   " + s.time_mode.pin + ": next / previous choice",
        "Right / Left  " + s.time.pin + ": up / down 0.5 V",
        "Up / Down     " + s.y_scale.pin + ": up / down 0.5 V",
        "Space         hold the picture / go on",
        "S             save the picture as PNG",
        "F1 / H        show / hide these keys",
        "Q / Escape    quit",
    };
}

const std::string& ListSetting::label() const {
    static const std::string none = "-";
    return labels.empty() ? none : labels[static_cast<std::size_t>(index)];
}

void ListSetting::step(int by) {
    if (labels.empty()) return;
    const int n = static_cast<int>(labels.size());
    index = ((index + by) % n + n) % n;
}

void ListSetting::select(int value) {
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] == value) index = static_cast<int>(i);
}

void LevelSetting::step(int by) {
    // Whole steps from zero, so that repeated keys land on round values.
    const double next = std::round(volts / step_volts + by) * step_volts;
    volts = std::clamp(next, low, high);
}

bool LiveSettings::apply(LiveAction a) {
    switch (a) {
    case LiveAction::TriggerNext: trigger.step(1); return true;
    case LiveAction::TriggerPrevious: trigger.step(-1); return true;
    case LiveAction::XyModeNext: xy_mode.step(1); return true;
    case LiveAction::XyModePrevious: xy_mode.step(-1); return true;
    case LiveAction::TimeModeNext: time_mode.step(1); return true;
    case LiveAction::TimeModePrevious: time_mode.step(-1); return true;
    case LiveAction::TimeUp: time.step(1); return true;
    case LiveAction::TimeDown: time.step(-1); return true;
    case LiveAction::YScaleUp: y_scale.step(1); return true;
    case LiveAction::YScaleDown: y_scale.step(-1); return true;
    default: return false;
    }
}

KeyEffect applyKey(LiveAction a, LiveSettings& settings, bool& help) {
    if (settings.apply(a)) return KeyEffect::Settings;
    switch (a) {
    case LiveAction::Hold: settings.held = !settings.held; return KeyEffect::Hold;
    case LiveAction::Help: help = !help; return KeyEffect::Help;
    case LiveAction::Save: return KeyEffect::Save;
    case LiveAction::Quit: return KeyEffect::Quit;
    default: return KeyEffect::None;
    }
}

namespace {

std::string volts(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g V", v);
    return buf;
}

std::string joined(const std::vector<std::string>& fields, std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count && i < fields.size(); ++i) s += (i ? "  " : "") + fields[i];
    return s;
}

}  // namespace

std::vector<std::string> LiveSettings::fields() const {
    return {trigger.pin + "=" + trigger.label(), xy_mode.pin + "=" + xy_mode.label(),
            time_mode.pin + "=" + time_mode.label(), time.pin + "=" + volts(time.volts),
            y_scale.pin + "=" + volts(y_scale.volts)};
}

std::string LiveSettings::text() const {
    const std::vector<std::string> f = fields();
    return joined(f, f.size());
}

std::string liveTitle(const std::string& module_name, const LiveSettings& s) {
    return module_name + " - " + s.text() + (s.held ? "  [held]" : "");
}

std::vector<std::string> liveStatusFields(const LiveSettings& settings, const LiveFigures* f,
                                          const std::string& message) {
    std::vector<std::string> fields;
    if (settings.held) fields.push_back("HOLD");
    if (!message.empty()) fields.push_back(message);
    for (std::string& s : settings.fields()) fields.push_back(std::move(s));
    if (f) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%.0f fps  %.0f ms  late %llu  dropped %llu", f->fps,
                      f->latency_seconds * 1000.0, static_cast<unsigned long long>(f->late),
                      static_cast<unsigned long long>(f->dropped));
        fields.push_back(buf);
    }
    return fields;
}

std::string liveStatus(const LiveSettings& settings, const LiveFigures* figures, const std::string& message) {
    const std::vector<std::string> f = liveStatusFields(settings, figures, message);
    return joined(f, f.size());
}

std::string fitStatus(const std::vector<std::string>& fields, std::size_t columns) {
    for (std::size_t n = fields.size(); n > 0; --n) {
        std::string s = joined(fields, n);
        if (s.size() <= columns) return s;
    }
    return std::string();
}

std::string numberedName(const std::string& pattern, int number) {
    char name[4096];
    std::snprintf(name, sizeof name, pattern.c_str(), number);
    return name;
}

}  // namespace zohost::live
