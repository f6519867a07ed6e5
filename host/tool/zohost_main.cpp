// zohost: loads a module and reports on it. One command today (--describe);
// the option set is parsed into ToolOptions so commands can be added beside it.
#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "zohost/Describe.h"
#include "zohost/ExecutablePath.h"
#include "zohost/ModuleLibrary.h"

namespace {

enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNoModule = 3 };

const char* const kDefaultModule = "Ondix2.zom";

struct ToolOptions {
    bool describe = false;
    std::string module;  // empty: the module beside the executable
};

std::string modulePath(const ToolOptions& o) {
    return o.module.empty() ? zohost::executableDirectory() + kDefaultModule : o.module;
}

int runDescribe(const ToolOptions& o) {
    zohost::ModuleLibrary library;
    if (!library.load(modulePath(o))) {
        std::cerr << "zohost: " << library.error() << "\n";
        return kNoModule;
    }
    zohost::ModuleDescription d;
    std::string error;
    if (!zohost::describeModule(library, d, error)) {
        std::cerr << "zohost: " << error << "\n";
        return kNoModule;
    }
    std::cout << "module:      " << library.path() << "\n" << zohost::formatDescription(d);
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("Loads a module of the two-object audio interface and reports on it.", "zohost");
    ToolOptions o;
    app.add_option("--describe", o.module,
                   "Print the module's description and pin table (default module: " +
                       std::string(kDefaultModule) + " beside zohost)")
        ->expected(0, 1)
        ->type_name("[MODULE]");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kOk;
    } catch (const CLI::ParseError& e) {
        std::cerr << "zohost: " << e.what() << "\n" << app.help();
        return kUsage;
    }
    o.describe = app.count("--describe") > 0;
    if (!o.describe) {
        std::cerr << "zohost: nothing to do\n" << app.help();
        return kUsage;
    }
    return runDescribe(o);
}
