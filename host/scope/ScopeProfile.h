// zohost's knowledge of the scope, in one place: its pins by name, its
// demonstration, the English for its pins and choices, its colours.
#pragma once

#include <string>

#include "zohost/ModuleProfile.h"

namespace zohost::scope {

const ModuleProfile& scopeProfile();
// The scope's profile for the scope's id, else the generic one.
const ModuleProfile& profileFor(const std::string& module_id);

}  // namespace zohost::scope
