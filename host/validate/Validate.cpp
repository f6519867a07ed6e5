#include "Validate.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "Battery.h"
#include "ChildRunner.h"
#include "Isolation.h"
#include "Report.h"
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

bool startsWithAny(const std::string& name, const std::vector<std::string>& prefixes) {
    for (const std::string& p : prefixes)
        if (name.compare(0, p.size(), p) == 0) return true;
    return false;
}

// Named by --only (or by none), not by --skip, and within the level; a test
// named whole by --only runs at any level.
bool selected(const std::string& name, const ValidateOptions& o, int level) {
    if (startsWithAny(name, o.skip)) return false;
    if (!o.only.empty() && !startsWithAny(name, o.only)) return false;
    for (const std::string& p : o.only)
        if (p == name) return true;
    return levelOf(name) <= level;
}

int levelFor(const ValidateOptions& o) {
    if (o.level > 0) return o.level;
    return o.randomise ? kTopLevel : kDefaultLevel;
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
        TestContext t(o.module, testSeed(round_seed, tc.name), levelFor(o), scope);
        tc.run(t);
#ifdef ZO_LEAK_CHECK
        if (__lsan_do_recoverable_leak_check() != 0) t.fail("memory leaked (LeakSanitizer)");
#endif
        r.passed = !t.failed();
        r.skipped = r.passed && !t.skipped().empty();
        r.detail = t.detail();
        r.notes = r.skipped ? t.skipped() : t.notes();
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
    int level = kDefaultLevel;
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
        << (p.level != kDefaultLevel ? ", level " + std::to_string(p.level) : std::string())
        << (p.full ? ", whole cross products" : ", cross products sampled by the seed") << ", each "
        << "in its own process (" << childIsolation() << ") with a limit of " << p.timeout << " s"
        << (o.timeout > 0.0 ? "" : p.full ? " (the default with --randomise; --timeout S to change)" : " (the default; --timeout S to change)")
        << "\n";
}

}  // namespace

namespace {

// Every option that changes the run, so that the line replays it alone.
std::string replayOf(const ValidateOptions& o, const TestCase& tc, std::uint64_t round_seed, int level) {
    return "zohost --validate " + quoted(o.module) + " --seed " + std::to_string(round_seed) +
           (o.randomise ? " --randomise" : "") +
           (o.level > 0 && level != kDefaultLevel && !(o.randomise && level == kTopLevel)
                ? " --level " + std::to_string(level) : "") +
           (o.timeout > 0.0 ? " --timeout " + number(o.timeout) : "") + " --only " + tc.name;
}

std::string lineFor(const ValidateOptions& o, const ReportEntry& e) {
    std::string line = std::string(e.skipped ? "skip " : e.passed ? "ok   " : "FAIL ") + e.name + "  seed " +
                       std::to_string(e.seed);
    if (e.skipped) line += "  (skipped: " + e.message + ")";
    else if (!e.passed) line += ": " + (e.message.empty() ? std::string("failed") : e.message) + "  [replay: " + e.replay + "]";
    else if (!e.message.empty()) line += "  (" + e.message + ")";
    if (o.verbose) line += "  [" + number(std::round(e.seconds * 1000.0) / 1000.0) + " s]";
    return line;
}

struct Counts {
    int passed = 0, failed = 0, skipped = 0;
    void add(const ReportEntry& e) { (e.skipped ? skipped : e.passed ? passed : failed)++; }
};

// "groups: lifecycle 9/9, args 14/14, paint 0/0 (4 skipped), ..." passed of
// run, in the order run; the skipped ones apart.
std::string groupSummary(const std::vector<ReportEntry>& entries) {
    std::vector<std::string> order;
    std::map<std::string, Counts> counts;
    for (const ReportEntry& e : entries) {
        if (!counts.count(e.group)) order.push_back(e.group);
        counts[e.group].add(e);
    }
    std::string s = "groups:";
    for (const std::string& g : order) {
        const Counts& c = counts[g];
        s += (g == order.front() ? " " : ", ") + g + " " + std::to_string(c.passed) + "/" +
             std::to_string(c.passed + c.failed) +
             (c.skipped ? " (" + std::to_string(c.skipped) + " skipped)" : std::string());
    }
    return s + " passed";
}

// "N passed, N failed", and ", N skipped" when some did not apply.
std::string closingLine(const Counts& c) {
    return std::to_string(c.passed) + " passed, " + std::to_string(c.failed) + " failed" +
           (c.skipped ? ", " + std::to_string(c.skipped) + " skipped" : std::string());
}

int writeReport(const ValidateOptions& o, const ReportRun& run, std::ostream& err) {
    if (o.report == ValidateOptions::Report::None) return 0;
    const std::string bytes = o.report == ValidateOptions::Report::JUnit ? junitReport(run) : jsonReport(run);
    std::string error = "no writer for the report";
    if (o.write_report && o.write_report(o.report_path, bytes, error)) return 0;
    err << "zohost: --report " << o.report_path << ": " << error << "\n";
    return 1;
}

// The test under way on a terminal: its name at once and, from a few seconds
// on, how long it has run, once a second, so that a long test is seen alive.
class Ticker {
public:
    Ticker(std::ostream* to, std::string label) : to_(to), label_(std::move(label)) {
        if (!to_) return;
        *to_ << "\r\033[K" << label_ << " ..." << std::flush;
        thread_ = std::thread([this] { tick(); });
    }
    ~Ticker() {
        if (!to_) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
        *to_ << "\r\033[K" << std::flush;
    }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

private:
    void tick() {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(mutex_);
        for (int s = kQuietSeconds;; ++s) {
            if (cv_.wait_until(lock, start + std::chrono::seconds(s), [this] { return done_; })) return;
            *to_ << "\r\033[K" << label_ << " ... " << s << " s" << std::flush;
        }
    }
    static constexpr int kQuietSeconds = 3;
    std::ostream* to_;
    std::string label_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

ReportEntry entryOf(const ValidateOptions& o, const Plan& p, const TestCase& tc, std::uint64_t round_seed,
                    const TestResult& r, double seconds) {
    const std::string message = r.passed ? r.notes
                                         : (r.detail.empty() ? std::string("failed") : r.detail) +
                                               (r.notes.empty() ? "" : "  (" + r.notes + ")");
    ReportEntry e{tc.name, groupOf(tc.name), r.passed, r.skipped, round_seed, seconds, message,
                  replayOf(o, tc, round_seed, p.level)};
    return e;
}

int runRounds(const ValidateOptions& o, const Plan& p, std::ostream& out, std::ostream& err) {
    ReportRun run{o.module, p.seed, p.level, {}};
    Counts counts;
    std::size_t done = 0;
    const std::size_t total = p.tests.size() * static_cast<std::size_t>(p.rounds);
    for (int round = 0; round < p.rounds; ++round) {
        const std::uint64_t round_seed = p.seed + static_cast<std::uint64_t>(round);
        for (const TestCase& tc : p.tests) {
            ++done;
            const auto t0 = std::chrono::steady_clock::now();
            TestResult r;
            {
                Ticker ticker(o.progress, "[" + std::to_string(done) + "/" + std::to_string(total) + "] " + tc.name);
                r = runOne(o, tc, round_seed, p.timeout, p.scope);
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
            ReportEntry e = entryOf(o, p, tc, round_seed, r, took.count());
            counts.add(e);
            if (!r.passed || !o.quiet) out << lineFor(o, e) << "\n";
            out.flush();
            run.entries.push_back(std::move(e));
        }
    }
    // Quiet: nothing at all on success.
    if (!o.quiet) out << groupSummary(run.entries) << "\n";
    if (!o.quiet || counts.failed) out << closingLine(counts) << "\n";
    const int report_status = writeReport(o, run, err);
    return counts.failed || report_status ? 1 : 0;
}

}  // namespace

int runValidation(const ValidateOptions& o, std::ostream& out, std::ostream& err) {
    int rc = 0;
    if (runReinvoked(o, err, rc)) return rc;
    const int level = levelFor(o);
    if (o.list) {
        for (const TestCase& t : allTests())
            if (selected(t.name, o, level))
                out << t.name << "  " << (t.profile == Profile::Scope ? "[scope] " : "") << "[level "
                    << levelOf(t.name) << "] " << t.covers << "\n";
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
        if (selected(t.name, o, level) && (p.scope || t.profile == Profile::Generic)) p.tests.push_back(t);
    if (p.tests.empty()) {
        err << "zohost: --validate: no test name starts with";
        for (const std::string& only : o.only) err << " \"" << only << "\"";
        err << (o.skip.empty() ? "" : " (less --skip)") << (p.scope ? "" : " in the generic profile")
            << " at level " << level << " (see --validate --list-tests)\n";
        return 2;
    }
    p.level = level;
    p.full = level >= kTopLevel;
    p.seed = o.randomise && !o.seed_given ? std::random_device()() & 0x7FFFFFFFu : o.seed;
    p.timeout = o.timeout > 0.0 ? o.timeout : (p.full ? 3600.0 : 300.0);
    p.rounds = o.repeat < 1 ? 1 : o.repeat;
    printPlan(o, p, out);
    out.flush();
    return runRounds(o, p, out, err);
}

}  // namespace zohost::validate
