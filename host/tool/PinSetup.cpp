#include "tool/PinSetup.h"

#include <cctype>
#include <cstdlib>
#include <functional>
#include <vector>

namespace zohost::tool {

namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Exact match first; else a single match ignoring case; else -1.
int findPin(const PinTable& table, const std::string& name,
            const std::function<bool(const PinDescription&)>& fits, std::string& names) {
    int loose = -1, loose_count = 0;
    for (int p = 0; p < table.count(); ++p) {
        const PinDescription* d = table.descriptionAt(p);
        if (!d || !fits(*d)) continue;
        if (d->name == name) return p;
        if (sameIgnoringCase(d->name, name)) {
            loose = p;
            ++loose_count;
        }
        names += (names.empty() ? "\"" : ", \"") + d->name + "\"";
    }
    return loose_count == 1 ? loose : -1;
}

struct Meaning {
    const char* pin;
    const char* label;    // null: the pin itself
    const char* aliases;  // comma-separated, lower case
    const char* text;
};

const Meaning kMeanings[] = {
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

bool hasAlias(const char* aliases, const std::string& word) {
    std::string list = std::string(",") + aliases + ",";
    std::string w = "," + word + ",";
    for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return !word.empty() && list.find(w) != std::string::npos;
}

bool isSampleInput(const PinDescription& d) { return d.data_type == DT_FSAMPLE && d.direction != DR_OUT; }
bool isList(const PinDescription& d) { return d.data_type == DT_ENUM && !d.list_text.empty(); }

}  // namespace

int findSampleInput(const PinTable& table, const std::string& name) {
    std::string names;
    int p = findPin(table, name, isSampleInput, names);
    if (p < 0)
        throw UnknownPin("no sample input \"" + name + "\"; the module's are " +
                         (names.empty() ? std::string("none") : names));
    return p;
}

ListChoice findListChoice(const PinTable& table, const std::string& pin, const std::string& choice) {
    std::string names;
    int p = findPin(table, pin, isList, names);
    if (p < 0)
        throw UnknownPin("no list pin \"" + pin + "\"; the module's are " +
                         (names.empty() ? std::string("none") : names));
    const PinDescription& d = *table.descriptionAt(p);
    const std::vector<PinChoice> choices = d.choices();
    const PinChoice* found = nullptr;
    for (const PinChoice& c : choices)
        if (c.label == choice) found = &c;
    for (const PinChoice& c : choices)
        if (!found && sameIgnoringCase(c.label, choice)) found = &c;
    for (const Meaning& m : kMeanings)
        if (!found && m.label && sameIgnoringCase(m.pin, d.name) && hasAlias(m.aliases, choice))
            for (const PinChoice& c : choices)
                if (c.label == m.label) found = &c;
    if (!found && !choice.empty()) {
        char* end = nullptr;
        long v = std::strtol(choice.c_str(), &end, 10);
        if (*end == '\0')
            for (const PinChoice& c : choices)
                if (!found && c.value == v) found = &c;
    }
    if (!found) {
        std::string list;
        for (const PinChoice& c : choices)
            list += (list.empty() ? "" : ", ") + c.label + "=" + std::to_string(c.value);
        throw UnknownPin("no choice \"" + choice + "\" on \"" + d.name + "\"; it has " + list);
    }
    return ListChoice{p, found->value, d.name, found->label};
}

std::string pinMeaning(const std::string& pin) {
    for (const Meaning& m : kMeanings)
        if (!m.label && pin == m.pin) return m.text;
    return "";
}

std::string choiceMeaning(const std::string& pin, const std::string& label) {
    for (const Meaning& m : kMeanings) {
        if (!m.label || pin != m.pin || label != m.label) continue;
        std::string text = m.text;
        if (*m.aliases) text += std::string(" (also: ") + m.aliases + ")";
        return text;
    }
    return "";
}

}  // namespace zohost::tool
