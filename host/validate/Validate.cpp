#include "Validate.h"

#include <cstdio>
#include <random>

#include "Battery.h"
#include "ChildRunner.h"
#include "Isolation.h"
#include "zohost/ModuleLibrary.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define ZO_LEAK_CHECK 1
#endif

namespace zohost::validate {

using probe::childIsolation;
using probe::reinvokedFor;
using probe::setChildSeed;

namespace {

bool selected(const std::string& name, const std::vector<std::string>& only) {
    if (only.empty()) return true;
    for (const std::string& p : only)
        if (name.compare(0, p.size(), p) == 0) return true;
    return false;
}

std::string quoted(const std::string& s) {
    return s.find_first_of(" \t'\"") == std::string::npos ? s : "'" + s + "'";
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

namespace {

TestResult runOne(const ValidateOptions& o, const TestCase& tc, std::uint64_t round_seed, double timeout,
                  bool scope) {
    setChildSeed(round_seed);
    auto body = [&](TestResult& r) {
        TestContext t(o.module, testSeed(round_seed, tc.name), o.randomise, scope);
        tc.run(t);
#ifdef ZO_LEAK_CHECK
        if (__lsan_do_recoverable_leak_check() != 0) t.fail("memory leaked (LeakSanitizer)");
#endif
        r.passed = !t.failed();
        r.detail = t.detail();
        r.notes = t.notes();
    };
    return runIsolated(tc.name, body, timeout);
}

// Started again to run one test alone: that test and nothing else.
bool runReinvoked(const ValidateOptions& o, std::ostream& err, int& rc) {
    std::string name;
    std::uint64_t round_seed = 0;
    if (!reinvokedFor(name, round_seed)) return false;
    Profile profile = Profile::Generic;
    std::string module_name, error;
    const bool scope = moduleProfile(o.module, profile, module_name, error) && profile == Profile::Scope;
    for (const TestCase& tc : allTests())
        if (name == tc.name) runOne(o, tc, round_seed, 0.0, scope);
    err << "zohost: no test " << name << " to run\n";
    rc = 2;
    return true;
}

struct Plan {
    std::vector<TestCase> tests;
    bool scope = false, full = false;
    std::string name;  // the module's
    std::uint64_t seed = 0;
    double timeout = 0.0;
    int rounds = 1;
};

void printPlan(const ValidateOptions& o, const Plan& p, std::ostream& out) {
    if (o.quiet) return;
    out << "profile: generic" << (p.scope ? " + scope (" + p.name + ")" : std::string()) << "\n";
    out << "validating " << o.module << ": " << p.tests.size() << " test" << (p.tests.size() == 1 ? "" : "s")
        << " x " << p.rounds << " round" << (p.rounds == 1 ? "" : "s") << " from seed " << p.seed
        << (p.full ? ", whole cross products" : ", cross products sampled by the seed") << ", each "
        << "in its own process (" << childIsolation() << ") with a limit of " << p.timeout << " s"
        << (o.timeout > 0.0 ? "" : p.full ? " (the default with --randomise; --timeout S to change)" : " (the default; --timeout S to change)")
        << "\n";
}

std::string lineFor(const ValidateOptions& o, const Plan& p, const TestCase& tc, std::uint64_t round_seed,
                    const TestResult& r) {
    std::string line = std::string(r.passed ? "ok   " : "FAIL ") + tc.name + "  seed " + std::to_string(round_seed);
    if (!r.passed) {
        line += ": " + (r.detail.empty() ? std::string("failed") : r.detail);
        // Every option that changes the run.
        line += "  [replay: zohost --validate " + quoted(o.module) + " --seed " + std::to_string(round_seed) +
                (p.full ? " --randomise" : "") + (o.timeout > 0.0 ? " --timeout " + number(o.timeout) : "") +
                " --only " + tc.name + "]";
    }
    if (!r.notes.empty()) line += "  (" + r.notes + ")";
    return line;
}

int runRounds(const ValidateOptions& o, const Plan& p, std::ostream& out) {
    int passed = 0, failed = 0;
    std::size_t done = 0;
    const std::size_t total = p.tests.size() * static_cast<std::size_t>(p.rounds);
    for (int round = 0; round < p.rounds; ++round) {
        const std::uint64_t round_seed = p.seed + static_cast<std::uint64_t>(round);
        for (const TestCase& tc : p.tests) {
            out.flush();
            ++done;
            if (o.progress)
                *o.progress << "\r\033[K[" << done << "/" << total << "] " << tc.name << " ..." << std::flush;
            const TestResult r = runOne(o, tc, round_seed, p.timeout, p.scope);
            if (o.progress) *o.progress << "\r\033[K" << std::flush;
            (r.passed ? passed : failed)++;
            if (!r.passed || !o.quiet) out << lineFor(o, p, tc, round_seed, r) << "\n";
            out.flush();
        }
    }
    out << passed << " passed, " << failed << " failed\n";
    return failed ? 1 : 0;
}

}  // namespace

int runValidation(const ValidateOptions& o, std::ostream& out, std::ostream& err) {
    int rc = 0;
    if (runReinvoked(o, err, rc)) return rc;
    if (o.list) {
        for (const TestCase& t : allTests())
            if (selected(t.name, o.only))
                out << t.name << "  " << (t.profile == Profile::Scope ? "[scope] " : "") << t.covers << "\n";
        return 0;
    }
    // Loaded here only to report a bad file once; each test loads its own.
    Profile profile = Profile::Generic;
    Plan p;
    std::string error;
    if (!moduleProfile(o.module, profile, p.name, error)) {
        err << "zohost: " << error << "\n";
        return 3;
    }
    p.scope = profile == Profile::Scope;
    for (const TestCase& t : allTests())
        if (selected(t.name, o.only) && (p.scope || t.profile == Profile::Generic)) p.tests.push_back(t);
    if (p.tests.empty()) {
        err << "zohost: --validate: no test name starts with";
        for (const std::string& only : o.only) err << " \"" << only << "\"";
        err << (p.scope ? "" : " in the generic profile") << " (see --validate --list-tests)\n";
        return 2;
    }
    p.full = o.randomise;
    p.seed = o.randomise && !o.seed_given ? std::random_device()() & 0x7FFFFFFFu : o.seed;
    p.timeout = o.timeout > 0.0 ? o.timeout : (p.full ? 3600.0 : 300.0);
    p.rounds = o.repeat < 1 ? 1 : o.repeat;
    printPlan(o, p, out);
    out.flush();
    return runRounds(o, p, out);
}

}  // namespace zohost::validate
