// Command-line pin names and list choices resolved against a module's pin
// table: a pin name to its position, NAME=CHOICE to a position and a value.
#pragma once

#include <stdexcept>
#include <string>

#include "zohost/ModuleProfile.h"
#include "zohost/PinTable.h"

namespace zohost::tool {

// A name or choice the module does not have; the message says what it has.
struct UnknownPin : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Position of the sample-stream input of this name (exact, else the only
// one equal ignoring case).
int findSampleInput(const PinTable& table, const std::string& name);

struct ListChoice {
    int position;
    int value;
    std::string pin;    // as the module names it
    std::string label;  // the chosen item's label
};

// A list pin by name (exact, else ignoring case), and a choice on it by
// label (exact, else ignoring case), by an English alias of the profile, or
// by one of its numbers.
ListChoice findListChoice(const PinTable& table, const std::string& pin, const std::string& choice,
                          const ModuleProfile& profile);

// In English, for people: what a pin of this module does ("" when unknown),
// and what one of its list choices means with the aliases it takes.
std::string pinMeaning(const ModuleProfile& profile, const std::string& pin);
std::string choiceMeaning(const ModuleProfile& profile, const std::string& pin, const std::string& label);

}  // namespace zohost::tool
