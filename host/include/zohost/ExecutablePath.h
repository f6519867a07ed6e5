// Where the running program lives, to find files shipped beside it.
#pragma once

#include <string>

namespace zohost {

// Directory of the running executable, with a trailing separator; empty when unknown.
std::string executableDirectory();

}  // namespace zohost
