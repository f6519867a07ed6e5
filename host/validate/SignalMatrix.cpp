// Signals: sample rates, plain and hostile; block sizes and splits; and the
// matrix of trigger mode x time mode x time x vertical scale x input signals,
// sampled by the seed or whole, with list pins thrown out of range between
// blocks.
#include <algorithm>
#include <cmath>
#include <limits>

#include "Harness.h"

namespace zohost::validate {

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

const std::vector<double>& timeValues() {
    static const std::vector<double> v = {-1.0, 0.0, 0.05, 0.5, 1.0, 1.1, kNaN, kInf};
    return v;
}

const std::vector<double>& yValues() {
    static const std::vector<double> v = {-1.0, 0.0, 0.1, 1.0, kNaN, kInf};
    return v;
}

Feed feedOf(Wave w, std::uint64_t seed, double period) {
    Feed f;
    f.wave = w;
    f.seed = seed;
    f.period = period;
    return f;
}

// Runs one scenario, checks every capture, and paints the last one.
void runChecked(TestContext& t, const ModuleLibrary& lib, const Scenario& s, std::uint64_t samples,
                const std::string& where, bool want_capture) {
    ScopeInstance in(lib, scenarioOptions(s));
    applyScenario(in, s);
    in.run(samples);
    const int n = checkCaptures(t, in, scenarioExpectations(in, s), where);
    checkOneOutstanding(t, in, where);
    if (want_capture && t.scope()) t.check(n > 0, where + ": no capture in " + std::to_string(samples) + " samples");
    Canvas c(160, 100, 0);
    paintChecked(t, in, c, 160, 100, where + ", paint");
}

// Finite, normal inputs give finite outputs with no subnormal among them.
void checkFinite(TestContext& t, const ModuleLibrary& lib, const Scenario& s, std::uint64_t samples,
                 const std::string& where) {
    if (runOutputs(lib, s, 0).empty()) return;  // no output stream
    const std::string bad = firstNotFinite(runOutputs(lib, s, samples));
    t.check(bad.empty(), where + ": " + bad + " for finite inputs");
}

void rates(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    for (double rate : {1.0, 8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0, 1234.5678}) {
        Scenario s;
        s.rate = static_cast<float>(rate);
        s.block = t.pick(std::vector<int>{64, 512, 1000});
        s.trigger = 1;
        s.a = feedOf(Wave::Sine, 1, std::fmax(8.0, rate / 440.0));
        s.connect_b = true;
        s.b = feedOf(Wave::Square, 2, 77.0);
        runChecked(t, lib, s, 60000, "rate " + num(rate), true);
        checkFinite(t, lib, s, 60000, "rate " + num(rate) + ", blocks of " + std::to_string(s.block));
        if (t.failures() > 3) return;
    }
}

void hostileRates(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const double rates[] = {0.0, -1.0, -44100.0, kNaN, kInf, -kInf, 1e-30, 3.4e38};
    for (double rate : rates)
        for (int trigger : {1, 4}) {
            Scenario s;
            s.rate = static_cast<float>(rate);
            s.block = 256;
            s.trigger = trigger;
            s.a = feedOf(Wave::Sine, 1, 100.0);
            s.connect_ext = true;
            s.ext = feedOf(trigger == 4 ? Wave::DcPlus : Wave::Square, 3, 300.0);
            runChecked(t, lib, s, 30000, "rate " + num(rate) + ", Trigger " + std::to_string(trigger), false);
            if (t.failures() > 3) return;
        }
}

// Every trigger source crosses zero well within the wait's timeout: a wait
// that times out starts its capture with the next processing call, so there
// the captures depend on where blocks are cut, by design.
Scenario splitScenario(TestContext& t) {
    Scenario s;
    s.trigger = t.uniform(0, 4);
    s.time_mode = t.uniform(0, 3);
    s.has_time = true;
    s.time = t.pick(std::vector<double>{0.0, 0.05, 0.2, 0.5});
    s.a = feedOf(Wave::Sine, 1, 50.0 + t.uniform(0, 400));
    s.connect_b = true;
    s.b = feedOf(Wave::Noise, t.seed(), 100.0);
    s.connect_ext = true;
    s.ext = feedOf(Wave::Square, 0, 100.0 + t.uniform(0, 2000));
    return s;
}

void blockSizes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    Scenario s = splitScenario(t);
    s.block = 512;
    const std::uint64_t samples = 50000;
    const auto reference = runScenario(lib, s, samples);
    t.check(!reference.empty() || !t.scope(), s.text() + ": no capture");
    // Output streams: alike whatever the blocks and their cuts, empty parts included.
    const auto outputs = runOutputs(lib, s, samples);
    const std::string bad = firstNotFinite(outputs);
    t.check(bad.empty(), s.text() + ", blocks of 512: " + bad + " for finite inputs");
    for (int block : {1, 2, 3, 17, 64, 2027, 4096, 16384}) {
        Scenario b = s;
        b.block = block;
        const std::string diff = firstDifference(reference, runScenario(lib, b, samples));
        t.check(diff.empty(), s.text() + ": blocks of " + std::to_string(block) + " against 512: " + diff);
        const auto got = runOutputs(lib, b, samples);
        const std::string out = firstDifference(outputs, got);
        t.check(out.empty(), s.text() + ": outputs in blocks of " + std::to_string(block) + " against 512: " + out);
        const std::string bad_here = firstNotFinite(got);
        t.check(bad_here.empty() || bad_here == bad,
                s.text() + ", blocks of " + std::to_string(block) + ": " + bad_here + " for finite inputs");
    }
    const std::uint64_t seed = t.rng()();
    for (const BlockSplitter& cut : {BlockSplitter::pattern({0, 1}), BlockSplitter::random(seed, 7)}) {
        const std::string out = firstDifference(outputs, runOutputs(lib, s, samples, &cut));
        t.check(out.empty(), s.text() + ": outputs of blocks cut into parts (splitter seed " + std::to_string(seed) +
                                 ") against whole blocks: " + out);
    }
}

void randomSplits(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const int rounds = t.count(3, 12);
    for (int r = 0; r < rounds; ++r) {
        Scenario s = splitScenario(t);
        s.block = 1024;
        const std::uint64_t samples = 40000;
        const auto reference = runScenario(lib, s, samples);
        std::vector<std::pair<std::string, BlockSplitter>> splits;
        for (int max_part : {1, 3, 64, 700}) {
            const std::uint64_t seed = t.rng()();
            splits.emplace_back("random parts of 0.." + std::to_string(max_part) + " (splitter seed " +
                                    std::to_string(seed) + ")",
                                BlockSplitter::random(seed, max_part));
        }
        splits.emplace_back("parts 0,1", BlockSplitter::pattern({0, 1}));
        splits.emplace_back("parts 1", BlockSplitter::pattern({1}));
        splits.emplace_back("parts 0,0,5,1,17", BlockSplitter::pattern({0, 0, 5, 1, 17}));
        for (const auto& sp : splits) {
            const std::string diff = firstDifference(reference, runScenario(lib, s, samples, &sp.second));
            t.check(diff.empty(), s.text() + ", " + sp.first + ": " + diff);
        }
    }
}

struct Combo {
    int time_mode;
    double time, y;
    Wave wave;
};

Scenario matrixScenario(TestContext& t, int trigger, const Combo& c) {
    Scenario s;
    s.trigger = trigger;
    s.time_mode = c.time_mode;
    s.xy_mode = t.uniform(0, 2);
    s.block = t.pick(std::vector<int>{64, 512, 2027});
    s.has_time = true;
    s.time = c.time;
    s.has_y = true;
    s.y = c.y;
    s.a = feedOf(c.wave, t.rng()(), 40.0 + t.uniform(0, 900));
    s.connect_b = t.uniform(0, 3) != 0;
    s.b = feedOf(t.pick(allWaves()), t.rng()(), 40.0 + t.uniform(0, 900));
    s.connect_ext = trigger == 4 || t.uniform(0, 1) == 1;
    s.ext = feedOf(t.pick(allWaves()), t.rng()(), 100.0 + t.uniform(0, 3000));
    return s;
}

// The matrix for one trigger mode.
void matrix(TestContext& t, int trigger) {
    const ModuleLibrary& lib = t.library();
    std::vector<Combo> combos;
    for (int m = 0; m < 4; ++m)
        for (double time : timeValues())
            for (double y : yValues())
                for (Wave w : allWaves()) combos.push_back({m, time, y, w});
    if (!t.full()) {
        std::shuffle(combos.begin(), combos.end(), t.rng());
        combos.resize(static_cast<std::size_t>(t.count(12, static_cast<int>(combos.size()))));
    }
    int done = 0;
    for (const Combo& c : combos) {
        const Scenario s = matrixScenario(t, trigger, c);
        const bool chaos = t.uniform(0, 3) == 0;

        ScopeInstance in(lib, scenarioOptions(s));
        applyScenario(in, s);
        const std::uint64_t samples = 60000;
        const int lists[] = {pinOf(in, pins::kTrigger), pinOf(in, pins::kTimeMode), pinOf(in, pins::kXYMode)};
        const int wild[] = {-1, 5, 32767, -32768, 0, 1, 2, 3, 4};
        std::string where = s.text();
        if (chaos) where += ", list pins thrown out of range between blocks";
        for (std::uint64_t at = 0; at < samples;) {
            const int n = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(s.block), samples - at));
            if (chaos && t.uniform(0, 7) == 0) {
                const int p = lists[t.uniform(0, 2)];
                if (p >= 0) in.setValue(p, wild[t.uniform(0, 8)]);
            }
            in.processBlock(n);
            at += static_cast<std::uint64_t>(n);
        }
        CaptureExpectations e = scenarioExpectations(in, s);
        if (chaos) {
            e.check_trigger = false;
            e.growth_allowed = true;
        }
        checkCaptures(t, in, e, where);
        checkOneOutstanding(t, in, where);
        Canvas canvas(160, 100, 0);
        paintChecked(t, in, canvas, 160, 100, where + ", paint");
        if (t.failures() > 3) break;
        ++done;
    }
    t.note(std::to_string(done) + " of " + std::to_string(4 * timeValues().size() * yValues().size() * allWaves().size()) +
           " combinations");
}

void matrix0(TestContext& t) { matrix(t, 0); }
void matrix1(TestContext& t) { matrix(t, 1); }
void matrix2(TestContext& t) { matrix(t, 2); }
void matrix3(TestContext& t) { matrix(t, 3); }
void matrix4(TestContext& t) { matrix(t, 4); }

void listsOutOfRange(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    for (int v : {-1, 5, 32767, -32768}) {
        Scenario s;
        s.block = 300;
        s.trigger = v;
        s.time_mode = v;
        s.xy_mode = v;
        s.a = feedOf(Wave::Sine, 1, 120.0);
        s.connect_b = true;
        s.b = feedOf(Wave::Sine, 2, 80.0);
        s.connect_ext = true;
        s.ext = feedOf(Wave::Square, 3, 500.0);
        runChecked(t, lib, s, 50000, "every list pin at " + std::to_string(v), false);
    }
}

}  // namespace

void addSignalTests(std::vector<TestCase>& out) {
    out.push_back({"signal.rates",
                   "rates 1 to 384000 and 1234.5678: captures valid and taken from the input, outputs finite and "
                   "never subnormal",
                   &rates});
    out.push_back({"signal.hostile_rates", "rates 0, negative, NaN, infinite, tiny, huge", &hostileRates});
    out.push_back({"signal.block_sizes",
                   "blocks of 1 to 16384, and blocks cut at random, give the captures and outputs of blocks of 512; "
                   "outputs finite and never subnormal",
                   &blockSizes});
    out.push_back({"oracle.split_identity", "blocks cut at random (parts of 0 and 1 included) change no capture",
                   &randomSplits, Profile::Scope});
    out.push_back({"signal.matrix.trigger0", "trigger 0 x time modes x time x vertical scale x signals", &matrix0, Profile::Scope});
    out.push_back({"signal.matrix.trigger1", "trigger 1 x time modes x time x vertical scale x signals", &matrix1, Profile::Scope});
    out.push_back({"signal.matrix.trigger2", "trigger 2 x time modes x time x vertical scale x signals", &matrix2, Profile::Scope});
    out.push_back({"signal.matrix.trigger3", "trigger 3 x time modes x time x vertical scale x signals", &matrix3, Profile::Scope});
    out.push_back({"signal.matrix.trigger4", "trigger 4 x time modes x time x vertical scale x signals", &matrix4, Profile::Scope});
    out.push_back({"signal.lists_out_of_range", "list pins held at -1, 5, 32767, -32768", &listsOutOfRange});
}

}  // namespace zohost::validate
