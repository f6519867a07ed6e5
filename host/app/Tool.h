// The zohost command: options to exit status, with everything it prints
// going to the two given streams.
#pragma once

#include <ostream>
#include <string>

namespace zohost::tool {

// `terminal`: standard error is a terminal, so a long run may show progress
// there. `status_on_out`: status lines may go to `out` (standard output is a
// terminal); else, and whenever an output is "-", they go to `err`.
// `out_terminal`: `out` is a terminal, which takes no picture unless forced.
int runTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal,
            bool status_on_out = true, bool out_terminal = false);

// Asks a running render or live view to stop after its block, keeping what
// is whole; safe in a signal handler.
void interrupt();

}  // namespace zohost::tool
