// Runs one test body under a time limit. On POSIX in a forked child, so a
// crash, a contract abort or a hang of the module becomes a failed test; on
// Windows in this process, with a watchdog that reports a hang and exits.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace zohost::validate {

struct TestResult {
    bool passed = false;
    std::string detail;  // what failed
    std::string notes;
};

// `body` fills the result. `on_hang` runs (Windows only) before the process
// exits on a hang, so the caller can still print its line and summary.
TestResult runIsolated(const std::function<void(TestResult&)>& body, double timeout_seconds,
                       const std::function<void(const TestResult&)>& on_hang);

// Whether a failure of the module takes only the test down (forked children).
bool isolationByProcess();

}  // namespace zohost::validate
