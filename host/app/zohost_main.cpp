// zohost: hosts one instance of a module, renders its display to pictures,
// shows it live, validates or describes the module.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "app/Signals.h"
#include "app/Tool.h"

int main(int argc, char** argv) {
    zohost::tool::installStopHandlers(zohost::tool::interrupt);
    const bool out_terminal = isatty(fileno(stdout)) != 0;
    int rc = zohost::tool::runTool(argc, argv, std::cout, std::cerr, isatty(fileno(stderr)) != 0, out_terminal,
                                   out_terminal);
    if (const int sig = zohost::tool::stopSignal()) rc = 128 + sig;
    std::cout.flush();
    zohost::tool::stopDone();
    return rc;
}
