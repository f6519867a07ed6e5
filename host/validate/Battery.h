// The validation battery: named tests against any module of the two-object
// audio interface, each run in isolation with a seed that replays it. The
// generic tests hold for every module and are driven by what it describes
// about itself; the scope's tests run too when the module is the scope.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "zohost/ModuleLibrary.h"

namespace zohost::validate {

// What one test sees: the module, its seed and where it reports faults.
class TestContext {
public:
    // `level` 1..10 (levelOf): the sample counts of the cross products.
    TestContext(std::string module_path, std::uint64_t seed, int level, bool scope = true);
    ~TestContext();
    TestContext(const TestContext&) = delete;
    TestContext& operator=(const TestContext&) = delete;

    const std::string& modulePath() const { return module_path_; }
    // Loaded on first use and kept for the test; throws when it cannot be.
    const ModuleLibrary& library();
    std::uint64_t seed() const { return seed_; }
    std::mt19937_64& rng() { return rng_; }
    // Whole cross products instead of seeded samples of them: the top level.
    bool full() const { return level_ >= 10; }
    int level() const { return level_; }
    // How many of `whole` cases to run: `at_default` up to the default level,
    // twice as many for each level above it, all of them at the top.
    int count(int at_default, int whole) const;
    // The module is the scope: generic tests check its captures as well.
    bool scope() const { return scope_; }
    int uniform(int lo, int hi);  // inclusive
    template <typename T>
    const T& pick(const std::vector<T>& from) {
        return from[static_cast<std::size_t>(uniform(0, static_cast<int>(from.size()) - 1))];
    }

    // The first few faults are kept word for word, the rest counted.
    void fail(const std::string& what);
    bool check(bool ok, const std::string& what) {
        if (!ok) fail(what);
        return ok;
    }
    void note(const std::string& what);
    // Printed by the child as it goes: what a crash or a hang interrupted,
    // shown only in the failure's line ("killed by SIGSEGV: during ...").
    void during(const std::string& what);
    // Not a failure, but worth a look: kept in the notes as "warning: ...".
    void warn(const std::string& what) { note("warning: " + what); }
    // The test does not apply to this module (paint without a display):
    // reported as skipped, with the reason, unless something failed first.
    void skip(const std::string& why) { skipped_ = why; }
    const std::string& skipped() const { return skipped_; }
    bool failed() const { return failures_ > 0; }
    int failures() const { return failures_; }
    std::string detail() const;
    const std::string& notes() const { return notes_; }

private:
    std::string module_path_;
    std::uint64_t seed_;
    int level_;
    bool scope_;
    std::mt19937_64 rng_;
    std::unique_ptr<ModuleLibrary> library_;
    std::vector<std::string> kept_;
    int failures_ = 0;
    std::string notes_;
    std::string skipped_;
};

// Whether the module under test makes a display object (a module need not:
// the tests leave it out then); known once noteDisplay() has seen the
// library, as TestContext::library() does.
bool moduleMakesDisplay();
void noteDisplay(const ModuleLibrary& library);

enum class Profile { Generic, Scope };

struct TestCase {
    const char* name;
    const char* covers;
    void (*run)(TestContext&);
    Profile profile = Profile::Generic;
};

void addLifecycleTests(std::vector<TestCase>& out);
void addArgumentTests(std::vector<TestCase>& out);
void addSignalTests(std::vector<TestCase>& out);
void addCaptureLengthTests(std::vector<TestCase>& out);
void addOracleTests(std::vector<TestCase>& out);
void addMessageTests(std::vector<TestCase>& out);
void addPaintTests(std::vector<TestCase>& out);
void addTimingTests(std::vector<TestCase>& out);
void addPinTests(std::vector<TestCase>& out);
void addThreadTests(std::vector<TestCase>& out);

// Every test, in the order they run.
std::vector<TestCase> allTests();

// The lowest level (1..10) that runs the test: the table in Battery.cpp.
int levelOf(const std::string& name);
// Its group: the name up to the first dot.
std::string groupOf(const std::string& name);

// The profile that applies to the module at `path`: Scope when its id is the
// scope's. False with `error` set when the module describes nothing.
bool moduleProfile(const std::string& path, Profile& profile, std::string& name, std::string& error);

// Per-test seed from the run's seed, the test's name and the round.
std::uint64_t testSeed(std::uint64_t run_seed, const std::string& name);

}  // namespace zohost::validate
