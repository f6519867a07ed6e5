// Runs one test body in a child process of its own under a time limit
// (ChildRunner.h), so that a crash, a contract abort or a hang of the module
// becomes that test's failure.
#pragma once

#include <string>

#include <functional>

namespace zohost::validate {

struct TestResult {
    bool passed = false;
    bool skipped = false;  // did not apply; `notes` say why
    std::string detail;  // what failed
    std::string notes;
};

// `name` is the test's, which a re-invoked program runs (Windows).
TestResult runIsolated(const std::string& name, const std::function<void(TestResult&)>& body,
                       double timeout_seconds);

}  // namespace zohost::validate
