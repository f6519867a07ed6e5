// zohost --validate: the battery against one module file, one line per test
// and a closing "N passed, N failed".
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zohost::validate {

struct ValidateOptions {
    std::string module;
    std::uint64_t seed = 1;
    bool seed_given = false;
    int repeat = 1;          // rounds, with seeds seed, seed + 1, ...
    bool randomise = false;  // whole cross products, and a fresh seed unless given
    double timeout = 0.0;    // seconds per test; 0: the default
    bool quiet = false;      // print only failures and the closing line
    std::ostream* progress = nullptr;  // a terminal to show the test in progress on, or null
    std::vector<std::string> only;  // name prefixes
    bool list = false;
};

// Exit status: 0 all passed, 1 a test failed, 2 nothing selected, 3 the
// module could not be loaded.
int runValidation(const ValidateOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zohost::validate
