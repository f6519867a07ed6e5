// zohost: hosts one instance of a module, renders its display to pictures,
// or describes the module (--describe).
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "tool/Tool.h"

int main(int argc, char** argv) {
    return zohost::tool::runTool(argc, argv, std::cout, std::cerr, isatty(fileno(stderr)) != 0);
}
