// Each capture's length follows the time settings read at its first sample,
// however often the same settings come back: a capture that keeps a length
// from earlier settings would be a fault, and one of the quiet kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "ModuleFixture.h"
#include "scopedata.h"

using namespace zotest;

namespace {

struct Step {
    float time;     // pin value; 1.0 is 10 volts
    int time_mode;  // "Time-Mode" list index
};

TEST(CaptureLength, FollowsTimeAndTimeModeAtEveryCapture) {
    zohost::InstanceOptions o;
    o.block_size = 128;
    o.display = false;
    o.messages.self_ack_without_display = true;
    zohost::ScopeInstance in(moduleLibrary(), o);
    in.setSignal("Signal A", signalOf([](std::uint64_t t) { return sineAt(t, 440.0); }));
    float time = 0.5f;
    in.setSignal("Time", signalOf([&time](std::uint64_t) { return time; }));
    in.setValue("Trigger", 0);  // back to back: every change shows at the next capture
    in.open();

    // Changes of one setting at a time, and returns to earlier settings.
    const std::vector<Step> steps = {{0.5f, 1}, {0.5f, 2}, {0.5f, 1}, {0.6f, 1}, {0.6f, 0},
                                     {0.5f, 0}, {0.5f, 1}, {0.02f, 2}, {0.02f, 3}, {0.5f, 1}};
    std::vector<std::uint64_t> starts;
    for (const Step& s : steps) {
        time = s.time;
        in.setValue("Time-Mode", s.time_mode);
        starts.push_back(in.clock());
        in.run(2 * 44100 + 1000);  // at least one whole capture of the longest length
    }

    // A capture that began after its step's change, by a block's margin
    // (the record's clock is that of the block in which it was sent), was
    // taken wholly under that step's settings; its record says which.
    std::set<std::int32_t> lengths;
    std::vector<int> clean(steps.size(), 0);
    for (const zohost::Capture* r : in.captures()) {
        std::size_t k = 0;
        while (k + 1 < starts.size() && starts[k + 1] <= r->clock) ++k;
        const std::uint64_t margin = static_cast<std::uint64_t>(r->scope.ScopeSize) + o.block_size;
        if (k == 0 || r->clock < starts[k] + margin) continue;
        T_SCOPE settings = r->scope;
        EXPECT_EQ(r->scope.ScopeSize, TimeToScopeSize(&settings))
            << "time " << r->scope.Time << " mode " << r->scope.Volt_Oktave << " at clock " << r->clock;
        EXPECT_EQ(r->scope.Volt_Oktave, steps[k].time_mode);
        lengths.insert(r->scope.ScopeSize);
        ++clean[k];
    }
    for (std::size_t k = 1; k < steps.size(); ++k) {
        EXPECT_GE(clean[k], 1) << "step " << k;
        T_SCOPE settings{};
        settings.Rate = 44100.0f;
        settings.Time = steps[k].time * 10.0f;
        settings.Volt_Oktave = static_cast<std::int16_t>(steps[k].time_mode);
        EXPECT_EQ(lengths.count(TimeToScopeSize(&settings)), 1u) << "step " << k;
    }
}

}  // namespace
