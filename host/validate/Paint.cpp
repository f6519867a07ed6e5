// Paint: before any capture and after every kind of capture, in windows of
// every size (none, one pixel, odd, huge, negative), with odd fonts and
// colours; every drawing object deleted, the DC's pen and font restored, and
// the same picture every time nothing changed.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "Harness.h"

namespace zohost::validate {

namespace {

std::vector<std::uint32_t> pixelsOf(const Canvas& c) {
    return std::vector<std::uint32_t>(c.pixels(), c.pixels() + static_cast<std::size_t>(c.width()) * c.height());
}

// Paints twice into a fresh canvas: checked each time, and alike.
void paintTwice(TestContext& t, Instance& in, int width, int height, const std::string& where) {
    const int cw = width < 1 ? 64 : width, ch = height < 1 ? 64 : height;
    Canvas c(cw, ch, 0x203040);
    if (!t.check(c.valid(), where + ": no canvas of " + std::to_string(cw) + "x" + std::to_string(ch))) return;
    paintChecked(t, in, c, width, height, where);
    const auto first = pixelsOf(c);
    c.fill(0x203040);
    paintChecked(t, in, c, width, height, where + ", again");
    t.check(pixelsOf(c) == first, where + ": painting again drew another picture");
}

InstanceOptions withColours(std::uint32_t text, std::int32_t background, std::int32_t font_height) {
    InstanceOptions o = recordingOptions(44100.0f, 512);
    o.text_colour = text;
    o.background = background;
    o.font_height = font_height;
    return o;
}

void beforeCapture(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    if (moduleMakesDisplay()) {
        Instance in(lib, displayOnly());
        paintTwice(t, in, 200, 100, "display alone, before any capture");
        paintTwice(t, in, 640, 360, "display alone, before any capture");
    }
    {
        ScopeInstance in(lib, recordingOptions());
        paintTwice(t, in, 200, 100, "audio side not opened");
        in.open();
        paintTwice(t, in, 320, 240, "audio side opened, no block yet");
    }
}

struct Size {
    int w, h;
};

void windowSizes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    const Size sizes[] = {{0, 0},   {1, 1},     {2, 2},    {3, 5},      {17, 33},    {641, 359},
                          {8, 100}, {100, 8},   {-1, -1},  {-7, 20},    {30, -9},    {-1000, -1000},
                          {9, 9},   {8192, 8192}};
    for (bool captured : {false, true}) {
        ScopeInstance in(lib, recordingOptions(44100.0f, 512));
        if (captured) {
            Scenario s;
            s.connect_b = true;
            s.b = Feed{Wave::Square, 1, 60.0};
            s.has_y = true;
            s.y = 0.3;
            applyScenario(in, s);
            in.run(20000);
            t.check(!in.captures().empty() || !t.scope(), "no capture to paint");
        }
        for (const Size& z : sizes) {
            const std::string at = std::to_string(z.w) + "x" + std::to_string(z.h) + " window" +
                                   (captured ? ", after a capture" : ", before any capture");
            if (z.w == 8192) {
                Canvas c(8192, 8192, 0);
                if (t.check(c.valid(), "no canvas of 8192x8192")) paintChecked(t, in, c, z.w, z.h, at);
                continue;
            }
            paintTwice(t, in, z.w, z.h, at);
            // The window record may claim more than the canvas holds.
            if (z.w > 0 && z.h > 0) {
                Canvas small(5, 4, 0);
                paintChecked(t, in, small, z.w, z.h, at + " on a 5x4 canvas");
            }
        }
    }
}

void fontRecords(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    const std::vector<std::int32_t> heights = {0, -1, -12, 1, 12, 101, 1000};
    const std::vector<std::uint32_t> texts = {0xFFFFFFFFu, 0u, 0x00FFFFFFu, 0x80123456u};
    const std::vector<std::int32_t> backs = {-1, 0, static_cast<std::int32_t>(0xFFFFFFFFu), 0x7FFFFFFF, 0x00FF00FF};
    struct Combo {
        std::int32_t h;
        std::uint32_t text;
        std::int32_t back;
    };
    std::vector<Combo> combos;
    for (auto h : heights)
        for (auto tc : texts)
            for (auto b : backs) combos.push_back({h, tc, b});
    if (!t.full()) {
        std::shuffle(combos.begin(), combos.end(), t.rng());
        combos.resize(static_cast<std::size_t>(t.count(16, static_cast<int>(combos.size()))));
    }
    for (const Combo& c : combos) {
        Instance in(lib, withColours(c.text, c.back, c.h));
        Scenario s;
        s.connect_b = true;
        s.b.wave = Wave::Sine;
        applyScenario(in, s);
        in.run(static_cast<std::uint64_t>(t.uniform(0, 1) ? 20000 : 0));
        const std::string at = "font height " + std::to_string(c.h) + ", text colour " + std::to_string(c.text) +
                               ", background " + std::to_string(c.back);
        paintTwice(t, in, 200, 100, at);
        if (t.failures() > 3) return;
    }
}

void afterCaptures(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    struct Kind {
        int trigger, xy, channels;
        double y;
        int length;  // 0: short, 1: one sample, 2: long, 3: grown by the external trigger
    };
    std::vector<Kind> kinds;
    const double ys[] = {0.0, 0.25, 1.0, std::numeric_limits<double>::quiet_NaN()};
    for (int trigger = 0; trigger < 5; ++trigger)
        for (int xy = 0; xy < 3; ++xy)
            for (int ch = 0; ch < 4; ++ch)
                for (double y : ys)
                    for (int len = 0; len < 4; ++len) kinds.push_back({trigger, xy, ch, y, len});
    if (!t.full()) {
        std::shuffle(kinds.begin(), kinds.end(), t.rng());
        kinds.resize(static_cast<std::size_t>(t.count(24, static_cast<int>(kinds.size()))));
    }
    for (const Kind& k : kinds) {
        Scenario s;
        s.trigger = k.length == 3 ? 4 : k.trigger;
        s.xy_mode = k.xy;
        s.connect_a = k.channels & 1;
        s.connect_b = (k.channels & 2) != 0;
        s.a = Feed{t.pick(allWaves()), t.rng()(), 70.0};
        s.b = Feed{t.pick(allWaves()), t.rng()(), 110.0};
        s.has_y = true;
        s.y = k.y;
        s.has_time = true;
        s.time_mode = 2;
        s.time = k.length == 1 ? 0.0 : k.length == 2 ? 1.0 : 0.05;
        s.connect_ext = true;
        s.ext = Feed{k.length == 3 ? Wave::DcPlus : Wave::Square, 0, 500.0};
        ScopeInstance in(lib, scenarioOptions(s));
        applyScenario(in, s);
        in.run(k.length >= 2 ? 110000 : 20000);
        const std::string at = s.text();
        t.check(!in.captures().empty(), at + ": no capture to paint");
        paintTwice(t, in, 200, 100, at);
        paintTwice(t, in, 33, 17, at);
        paintTwice(t, in, 1, 1, at);
        if (t.failures() > 3) return;
    }
}

}  // namespace

void addPaintTests(std::vector<TestCase>& out) {
    out.push_back({"paint.before_capture", "paint before any capture, before and after opening", &beforeCapture});
    out.push_back({"paint.window_sizes", "windows 0x0, 1x1, odd, 8192x8192, negative, larger than the canvas",
                   &windowSizes});
    out.push_back({"paint.font_records", "font heights 0, negative, over the window; colours -1, 0, 0xFFFFFFFF",
                   &fontRecords});
    out.push_back({"paint.after_captures", "paint after every kind of capture: triggers, X-Y modes, channels, lengths",
                   &afterCaptures, Profile::Scope});
}

}  // namespace zohost::validate
