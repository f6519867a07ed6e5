// zohost --live: the display in a window while audio runs in real time.
#pragma once

#include <ostream>

#include "run/ToolOptions.h"

namespace zohost::live {

// The run settings as parsed for pictures; returns the exit status.
int runLive(const tool::ToolOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zohost::live
