// The zohost command: options to exit status, with everything it prints
// going to the two given streams.
#pragma once

#include <ostream>

namespace zohost::tool {

// `terminal`: standard error is a terminal, so a long run may show progress there.
int runTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal);

}  // namespace zohost::tool
