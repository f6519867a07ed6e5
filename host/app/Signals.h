// Stopping on a signal: SIGINT, SIGTERM and SIGHUP; on Windows Ctrl-C,
// Ctrl-Break and the console closed (as SIGINT, SIGBREAK and SIGHUP).
// While a front end that looks for the stop between blocks runs, the first
// signal asks it to stop, and it ends by the normal path (outputs kept or
// removed as documented). Otherwise, and on a second signal, the temporary
// files are removed and the program ends at once. Either way the exit
// status is 128 + the signal.
#pragma once

namespace zohost::tool {

// `stop` is called from the handler; it must be safe there.
void installStopHandlers(void (*stop)());
// On while render or live runs.
void stopBetweenBlocks(bool on);
// The signal that came, 0 when none did.
int stopSignal();
// The program is about to return from main: a handler that waits for the
// normal path (the console closed, on Windows) may let the process end.
void stopDone();

}  // namespace zohost::tool
