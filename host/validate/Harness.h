// Helpers the tests share: signals whose every sample is known, instance
// options, checks on capture messages, the floating-point control state and
// drawing objects.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Battery.h"
#include "zohost/Canvas.h"
#include "ScopeCaptures.h"
#include "ScopePins.h"
#include "zohost/Instance.h"

namespace zohost::validate {

namespace pins = ::zohost::scope::pins;

std::string num(double v);

// ---------------------------------------------------------------- signals

enum class Wave {
    Silence,
    DcPlus,
    DcMinus,
    Sine,
    Square,
    Noise,
    NaN,
    PlusInf,
    MinusInf,
    Denormal,
    PlusHuge,
    MinusHuge,
};
const std::vector<Wave>& allWaves();
const char* waveName(Wave w);
// The sample at a clock: a pure function, so a capture can be checked
// against the input it came from. `period` in samples for the periodic ones.
float waveAt(Wave w, std::uint64_t clock, std::uint64_t seed, double period);
Signal waveSignal(Wave w, std::uint64_t seed, double period);

struct Feed {
    Wave wave = Wave::Silence;
    std::uint64_t seed = 0;
    double period = 100.0;
    float at(std::uint64_t clock) const { return waveAt(wave, clock, seed, period); }
};

// ---------------------------------------------------------------- module

// Whether the module makes a display object; if not, the test is skipped.
bool needsDisplay(TestContext& t);

// Positions of pins by name, -1 when the module has none of that name.
int pinOf(const Instance& in, const char* name);
bool isList(const Instance& in, int position);
bool isSampleInput(const Instance& in, int position);

// The host configuration under which the host itself neither allocates nor
// records: requests not logged, messages not recorded, delivered at once.
InstanceOptions quietOptions(float rate = 44100.0f, int block = 512);
InstanceOptions recordingOptions(float rate = 44100.0f, int block = 512);
// Recording, with a display object of its own and no audio object: fed by hand.
InstanceOptions displayOnly();

// ---------------------------------------------------------------- captures

// A capture as sent, compared bit for bit.
struct CaptureCopy {
    std::int32_t size = 0;
    std::vector<std::uint32_t> header;  // the record's settings words
    std::vector<float> samples;
    std::uint64_t clock = 0;
    bool sameAs(const CaptureCopy& o) const;
};
std::vector<CaptureCopy> copyCaptures(const ScopeInstance& in);
// The first difference between two runs' captures, or empty.
std::string firstDifference(const std::vector<CaptureCopy>& a, const std::vector<CaptureCopy>& b);

struct CaptureExpectations {
    float rate = 44100.0f;
    bool check_rate = true;
    bool active[2] = {false, false};
    const Feed* feeds[2] = {nullptr, nullptr};  // channel inputs, to find each capture in
    int max_part = 512;          // longest processing call, for the search window
    bool check_trigger = false;  // the list value stays fixed:
    int trigger = 0;             // this one
    bool growth_allowed = true;  // trigger 4 at some point
    double time_input = NAN;     // pins::kTime value, when fixed
    double y_input = NAN;        // pins::kYScale value, when fixed
};
// Every "data" message: record size, length bounds, settings and samples.
// Returns the number of captures seen.
int checkCaptures(TestContext& t, const ScopeInstance& in, const CaptureExpectations& e, const std::string& where);
// The same over an audio side's message records and the captures copied
// from them (a threaded host's).
int checkCaptures(TestContext& t, const std::vector<MessageRecord>& records, const std::vector<const Capture*>& caps,
                  const CaptureExpectations& e, const std::string& where);

// Where a captured channel starts in its input: the clock in [lo, hi] from
// which `n` samples of the feed equal the capture bit for bit, or -1.
std::int64_t findRunStart(const float* got, std::size_t n, const Feed& f, std::int64_t lo, std::int64_t hi);

// Messages of the audio side: "data" never again before the previous one's
// acknowledgement reached it.
void checkOneOutstanding(TestContext& t, const Instance& in, const std::string& where);

// ---------------------------------------------------------------- runs

// One way of driving the module: rate, block, list values and inputs. Pins
// the module lacks are left alone; a module other than the scope gets the
// first wave on each of its sample inputs.
struct Scenario {
    float rate = 44100.0f;
    int block = 512;
    static constexpr int kLeave = INT32_MIN;  // a list pin left as it is
    int trigger = 1;           // pins::kTrigger
    int time_mode = kLeave;    // pins::kTimeMode
    int xy_mode = kLeave;      // pins::kXYMode
    bool has_time = false, has_y = false;
    double time = 0.5, y = 0.1;  // pins::kTime and pins::kYScale as constant inputs
    bool connect_a = true, connect_b = false, connect_ext = false;
    Feed a, b, ext;
    std::string text() const;
};
InstanceOptions scenarioOptions(const Scenario& s);
void applyScenario(Instance& in, const Scenario& s);
CaptureExpectations scenarioExpectations(const Instance& in, const Scenario& s);
// The run of a scenario under a splitter, its captures.
std::vector<CaptureCopy> runScenario(const ModuleLibrary& lib, const Scenario& s, std::uint64_t samples,
                                     const BlockSplitter* splitter = nullptr);

// Every output stream over a run of the scenario, one copy per output pin
// (none for a module without output streams).
std::vector<CaptureCopy> runOutputs(const ModuleLibrary& lib, const Scenario& s, std::uint64_t samples,
                                    const BlockSplitter* splitter = nullptr);
// The first output sample that is NaN, infinite or subnormal ("output stream
// 1, sample 4096: NaN"), or empty: what finite normal inputs must never give.
std::string firstNotFinite(const std::vector<CaptureCopy>& outputs);

// ---------------------------------------------------------------- state

// The floating-point control state (rounding, enabled traps, flush modes);
// status flags excluded.
struct FpControl {
    int rounding = 0;
    unsigned sse = 0;
    unsigned x87 = 0;
    static FpControl now();
    bool operator==(const FpControl& o) const { return rounding == o.rounding && sse == o.sse && x87 == o.x87; }
    std::string text() const;
};

// Drawing objects: none may outlive a paint, and the DC's pen and font
// come back as they were.
struct PaintCheck {
    long live_before = 0;
    void* pen = nullptr;
    void* font = nullptr;
    void before(const Canvas& c);
    void after(TestContext& t, const Canvas& c, const std::string& where) const;
};
// What the platform tells of drawing objects (DrawingObjectsZoGdi.cpp, or
// DrawingObjectsWin.cpp through the probe's watch of the module's imports):
// pens and brushes alive, and the object of a kind selected into a DC.
long liveDrawingObjects();
void* currentObject(HDC dc, int kind);
// Makes the module's drawing objects countable, where that takes watching it.
void watchDrawingObjects(const void* address_in_module);
// Paints once and checks the above.
void paintChecked(TestContext& t, Instance& in, Canvas& canvas, int width, int height, const std::string& where);

}  // namespace zohost::validate
