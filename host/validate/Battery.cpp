#include "Battery.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "Harness.h"
#include "ScopeCaptures.h"
#include "zohost/Describe.h"

namespace zohost::validate {

namespace {
const int kKeptFailures = 3;
bool g_makes_display = true;
zolong silentHost(void*, zolong, zolong, zolong, void*, float) { return 0; }
}  // namespace

bool moduleMakesDisplay() { return g_makes_display; }

void noteDisplay(const ModuleLibrary& lib) {
    auto* g = static_cast<ZOGUI_struct_base*>(lib.makeModule(0, zo_object::gui, &silentHost, nullptr));
    if (g) g->dispatcher(g, zo_gui_op::close, 0, 0, nullptr, 0.0f);
    g_makes_display = g != nullptr;
}

TestContext::TestContext(std::string module_path, std::uint64_t seed, int level, bool scope)
    : module_path_(std::move(module_path)), seed_(seed), level_(level), scope_(scope), rng_(seed) {}

int TestContext::count(int at_default, int whole) const {
    if (full() || at_default >= whole) return whole;
    int n = at_default;
    for (int l = 5; l < level_ && n < whole; ++l) n *= 2;
    return n < whole ? n : whole;
}

TestContext::~TestContext() = default;

const ModuleLibrary& TestContext::library() {
    if (!library_) {
        library_ = std::make_unique<ModuleLibrary>();
        if (!library_->load(module_path_)) throw std::runtime_error(library_->error());
        noteDisplay(*library_);
        watchDrawingObjects(reinterpret_cast<const void*>(library_->getModulePropertiesEntry()));
    }
    return *library_;
}

int TestContext::uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

void TestContext::fail(const std::string& what) {
    ++failures_;
    if (static_cast<int>(kept_.size()) < kKeptFailures) kept_.push_back(what);
}

void TestContext::during(const std::string& what) {
    std::fprintf(stderr, "during %s\n", what.c_str());
    std::fflush(stderr);
}

void TestContext::note(const std::string& what) { notes_ += (notes_.empty() ? "" : "; ") + what; }

std::string TestContext::detail() const {
    std::string s;
    for (const std::string& k : kept_) s += (s.empty() ? "" : "; ") + k;
    if (failures_ > static_cast<int>(kept_.size()))
        s += "; and " + std::to_string(failures_ - static_cast<int>(kept_.size())) + " more";
    return s;
}

std::vector<TestCase> allTests() {
    std::vector<TestCase> all;
    addLifecycleTests(all);
    addArgumentTests(all);
    addSignalTests(all);
    addPinTests(all);
    addCaptureLengthTests(all);
    addOracleTests(all);
    addMessageTests(all);
    addPaintTests(all);
    addThreadTests(all);
    addTimingTests(all);
    return all;
}

namespace {
// The first prefix that matches gives the level; quick, broad checks first.
struct LevelRow {
    const char* prefix;
    int level;
};
const LevelRow kLevels[] = {
    {"lifecycle.describe", 1}, {"args.", 1},
    {"lifecycle.", 2}, {"signal.rates", 2}, {"signal.block_sizes", 2}, {"signal.lists_out_of_range", 2},
    {"signal.hostile_rates", 3}, {"signal.capture_length", 3}, {"pins.", 3}, {"messages.", 3}, {"threads.", 3}, {"oracle.", 3},
    {"paint.", 4}, {"signal.matrix.", 4}, {"timing.", 4},
};
}  // namespace

int levelOf(const std::string& name) {
    for (const LevelRow& r : kLevels)
        if (name.compare(0, std::char_traits<char>::length(r.prefix), r.prefix) == 0) return r.level;
    return 5;
}

std::string groupOf(const std::string& name) { return name.substr(0, name.find('.')); }

bool moduleProfile(const std::string& path, Profile& profile, std::string& name, std::string& error) {
    ModuleLibrary lib;
    if (!lib.load(path)) {
        error = lib.error();
        return false;
    }
    ModuleDescription d;
    if (!describeModule(lib, d, error)) return false;
    profile = d.id == kScopeModuleId ? Profile::Scope : Profile::Generic;
    name = d.name;
    return true;
}

std::uint64_t testSeed(std::uint64_t run_seed, const std::string& name) {
    // FNV-1a over the name, mixed with the run's seed: stable across builds.
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ull;
    }
    std::uint64_t x = h ^ (run_seed * 0x9E3779B97F4A7C15ull);
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace zohost::validate
