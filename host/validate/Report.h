// The validator's report for CI: one entry per test run, as JUnit XML or as
// one JSON document. Only the text; the front end puts it in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zohost::validate {

struct ReportEntry {
    std::string name, group;
    bool passed = false;
    bool skipped = false;  // did not apply to the module; `message` says why
    std::uint64_t seed = 0;
    double seconds = 0.0;
    std::string message;  // what failed, or the notes of a pass
    std::string replay;   // the command that runs it alone again
};

struct ReportRun {
    std::string module;
    std::uint64_t seed = 0;
    int level = 0;
    std::vector<ReportEntry> entries;
};

std::string junitReport(const ReportRun& run);
std::string jsonReport(const ReportRun& run);

}  // namespace zohost::validate
