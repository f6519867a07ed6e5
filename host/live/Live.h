// zohost --live: the display in a window while audio runs in real time.
#pragma once

#include <ostream>

#include "run/ToolOptions.h"

namespace zohost::live {

// The run settings as parsed for pictures; returns the exit status.
// `out` takes the status lines, `err` the messages.
int runLive(const tool::ToolOptions& options, std::ostream& out, std::ostream& err);

// Ends a running live view as Q does, with exit status kInterrupted; safe in
// a signal handler.
void stopLive();

}  // namespace zohost::live
