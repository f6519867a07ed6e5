// What a module says about itself: its description record and its pin
// table, read from a short-lived audio object, and a text form for people.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zohost/ModuleLibrary.h"
#include "zohost/PinTable.h"

namespace zohost {

struct ModuleDescription {
    std::string name, id, about;
    std::int32_t flags = 0;
    std::int32_t gui_flags = 0;
    std::int32_t sdk_version = 0;
    std::vector<PinDescription> pins;
    std::vector<int> positions;  // per description: its pin position, or -1
};

// False with `error` set when the module describes nothing at index 0 or
// makes no audio object.
bool describeModule(const ModuleLibrary& library, ModuleDescription& out, std::string& error,
                    zolong index = 0);

std::string directionName(std::int32_t direction);
std::string dataTypeName(std::int32_t type);
// "IO_PRIVATE|IO_REPEATING|0x2", or "-" for none.
std::string flagNames(std::int32_t flags);

std::string formatDescription(const ModuleDescription& d);

}  // namespace zohost
