#include "Isolation.h"

#include <cstdio>
#include <exception>

#include "ChildRunner.h"

namespace zohost::validate {

using probe::ChildOutcome;
using probe::outputGist;
using probe::runChild;

namespace {

// The last "during ..." line the test printed (TestContext::during): what
// a crash or a hang interrupted.
std::string lastDuring(const std::string& output) {
    const std::string mark = "during ";
    std::size_t at = output.rfind("\n" + mark);
    at = at == std::string::npos ? (output.compare(0, mark.size(), mark) == 0 ? 0 : at) : at + 1;
    if (at == std::string::npos) return std::string();
    std::string line = output.substr(at, output.find('\n', at) - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

}  // namespace

TestResult runIsolated(const std::string& name, const std::function<void(TestResult&)>& body,
                       double timeout_seconds) {
    const ChildOutcome c = runChild(
        name,
        [&body] {
            TestResult r;
            try {
                body(r);
            } catch (const std::exception& e) {
                r.passed = false;
                r.detail += (r.detail.empty() ? "" : "; ") + std::string("exception: ") + e.what();
            } catch (...) {
                r.passed = false;
                r.detail += (r.detail.empty() ? "" : "; ") + std::string("unknown exception");
            }
            return std::string(r.skipped ? "S" : r.passed ? "P" : "F") + r.detail + '\0' + r.notes;
        },
        timeout_seconds);
    TestResult r;
    const std::string gist = outputGist(c.output);
    switch (c.end) {
    case ChildOutcome::End::Reported: {
        const std::size_t z = c.report.find('\0');
        r.skipped = !c.report.empty() && c.report[0] == 'S';
        r.passed = !c.report.empty() && (c.report[0] == 'P' || r.skipped);
        r.detail = c.report.substr(c.report.empty() ? 0 : 1, z == std::string::npos ? std::string::npos : z - 1);
        if (z != std::string::npos) r.notes = c.report.substr(z + 1);
        return r;
    }
    case ChildOutcome::End::TimedOut: {
        char t[64];
        std::snprintf(t, sizeof t, "timed out after %.0f s (hang), killed", timeout_seconds);
        r.detail = t;
        const std::string during = lastDuring(c.output);
        if (!during.empty()) r.detail += " (" + during + ")";
        return r;
    }
    case ChildOutcome::End::Killed: r.detail = "killed by " + c.how; break;
    case ChildOutcome::End::Exited: r.detail = "exited with status " + std::to_string(c.status) + " before reporting"; break;
    case ChildOutcome::End::NotStarted: r.detail = "not run: " + (c.how.empty() ? std::string("no child") : c.how); break;
    }
    if (!gist.empty()) r.detail += ": " + gist;
    const std::string during = lastDuring(c.output);
    if (!during.empty() && during != gist) r.detail += " (" + during + ")";
    return r;
}

}  // namespace zohost::validate
