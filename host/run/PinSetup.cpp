#include "run/PinSetup.h"

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

using Meaning = ModuleProfile::Meaning;


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

ListChoice findListChoice(const PinTable& table, const std::string& pin, const std::string& choice,
                          const ModuleProfile& profile) {
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
    for (const Meaning& m : profile.meanings)
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

std::string pinMeaning(const ModuleProfile& profile, const std::string& pin) {
    for (const Meaning& m : profile.meanings)
        if (!m.label && pin == m.pin) return m.text;
    return "";
}

std::string choiceMeaning(const ModuleProfile& profile, const std::string& pin, const std::string& label) {
    for (const Meaning& m : profile.meanings) {
        if (!m.label || pin != m.pin || label != m.label) continue;
        std::string text = m.text;
        if (*m.aliases) text += std::string(" (also: ") + m.aliases + ")";
        return text;
    }
    return "";
}

}  // namespace zohost::tool
