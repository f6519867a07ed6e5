// zohost's offline front end: a run rendered to pictures, frames, an
// animation and a capture log.
#pragma once

#include <ostream>

#include "run/ToolOptions.h"

namespace zohost::tool {

int runRender(const ToolOptions& options, std::ostream& out, std::ostream& err, bool terminal, bool status_on_out);

// Asks a running render to stop after its block; safe in a signal handler.
void stopRender();

}  // namespace zohost::tool
