// zohost: hosts one instance of a module, renders its display to pictures,
// or describes the module (--describe).
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/Tool.h"

namespace {
extern "C" void onInterrupt(int) { zohost::tool::interrupt(); }
}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, onInterrupt);
    return zohost::tool::runTool(argc, argv, std::cout, std::cerr, isatty(fileno(stderr)) != 0,
                                 isatty(fileno(stdout)) != 0);
}
