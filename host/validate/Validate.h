// zohost --validate: the battery against one module file, one line per test
// and a closing "N passed, N failed".
#pragma once

#include <cstdint>
#include <functional>
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
    std::vector<std::string> skip;  // name prefixes left out, after `only`
    int level = 0;          // 1..10 (Battery.h, levelOf); 0: the default, or the top with randomise
    bool verbose = false;   // each test's time on its line
    bool list = false;

    // A report of every test for CI, besides the lines.
    enum class Report { None, JUnit, Json };
    Report report = Report::None;
    std::string report_path;
    // Puts the report's bytes at the path without destroying what was there
    // if it cannot; false with `error` set. The front end's safe output.
    std::function<bool(const std::string& path, const std::string& bytes, std::string& error)> write_report;
};

// The default level: today's battery at today's sample counts.
constexpr int kDefaultLevel = 5;
constexpr int kTopLevel = 10;

// Exit status: 0 all passed, 1 a test failed, 2 nothing selected, 3 the
// module could not be loaded.
int runValidation(const ValidateOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zohost::validate
