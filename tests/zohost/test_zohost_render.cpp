// zohost end to end with the built module: the pictures it writes, the
// capture log against the signals that were fed in, frames against
// captures, sound-file input, and painting only when a picture is wanted.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZohostRun.h"
#include "tool/Render.h"
#include "tool/SoundFile.h"
#include "tool/InputSource.h"
#include "zohost/ModuleLibrary.h"

using namespace zotest;

namespace {

const double kTwoPi = 6.283185307179586;
const std::string kModule = ZO_MODULE_PATH;

double fraction(double x) { return x - std::floor(x); }
float sine(double hz, double amp, double rate, std::int64_t c) {
    return static_cast<float>(amp * std::sin(kTwoPi * fraction(hz * static_cast<double>(c) / rate)));
}
float triangle(double hz, double amp, double rate, std::int64_t c) {
    double p = fraction(hz * static_cast<double>(c) / rate);
    return static_cast<float>(amp * (p < 0.25 ? 4 * p : p < 0.75 ? 2 - 4 * p : 4 * p - 4));
}

// The first clock c0 in [lo, hi] at which `samples` are f(c0), f(c0 + 1), ...;
// -1 when there is none.
std::int64_t findStart(const std::vector<float>& samples, std::int64_t lo, std::int64_t hi,
                       const std::function<float(std::int64_t)>& f, float tolerance = 2e-6f) {
    for (std::int64_t c0 = std::max<std::int64_t>(lo, 0); c0 <= hi; ++c0) {
        bool all = true;
        for (std::size_t i = 0; all && i < samples.size(); ++i)
            all = std::fabs(samples[i] - f(c0 + static_cast<std::int64_t>(i))) <= tolerance;
        if (all) return c0;
    }
    return -1;
}

std::size_t countFiles(const std::string& dir) {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file();
    return n;
}

// Where the display puts sample n of a capture of N samples.
struct Geometry {
    int W, H, Wt, cx, cy;
    float k;
    Geometry(int w, int h, float y_scale) : W(w), H(h), Wt(w - 8), cx(w / 2 + 1), cy(h / 2 + 1) {
        k = y_scale * static_cast<float>(static_cast<float>(h) / 2.15f);
    }
    int x(int n, int N) const { return (n * Wt) / (N - 1) + 4; }
    int y(float s) const { return cy - static_cast<int>(s * k); }
};

std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return (r << 16) | (g << 8) | b; }

}  // namespace

TEST(ZohostRender, DemoPictureShowsTheLastCaptureOnTheBackground) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--png", dir / "scope.png", "--captures", dir / "c.jsonl"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("demo: \"Signal A\" 440 Hz sine"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("picture written to " + dir / "scope.png"), std::string::npos) << r.out;
    Picture pic;
    ASSERT_TRUE(readPng(dir / "scope.png", pic));
    ASSERT_EQ(pic.width, 640);
    ASSERT_EQ(pic.height, 360);
    std::vector<Json> caps = readCaptures(dir / "c.jsonl");
    ASSERT_FALSE(caps.empty());
    const Json& last = caps.back();
    const int N = static_cast<int>(last["size"].number);
    ASSERT_EQ(N, 100);
    const Geometry g(640, 360, last["y_scale"].single);

    EXPECT_EQ(pic.at(2, 2), 0u) << "black background";
    EXPECT_EQ(pic.at(639, 359), 0u) << "the canvas under the painted background";
    EXPECT_EQ(pic.at(g.cx, 10), rgb(127, 127, 127)) << "vertical axis in half the text colour";
    EXPECT_GT(pic.count(rgb(220, 140, 250)), 50u) << "readouts";

    // Channel B is drawn last: each of its points is in its colour.
    const std::vector<float> a = last["a"].floats(), b = last["b"].floats();
    for (int n = 0; n + 1 < N; ++n)
        ASSERT_EQ(pic.at(g.x(n, N), g.y(b[static_cast<std::size_t>(n)])), rgb(250, 250, 0)) << "B point " << n;
    int white = 0;
    for (int n = 0; n + 1 < N; ++n) white += pic.at(g.x(n, N), g.y(a[static_cast<std::size_t>(n)])) == 0xFFFFFFu;
    EXPECT_GT(white, N * 8 / 10) << "A points in the text colour, where B does not cross";
}

TEST(ZohostRender, ColoursFontAndSizeReachTheDisplay) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--png", dir / "p.png", "--size", "200x100", "--text-colour", "20C040",
                           "--background", "102030", "--seconds", "0.1"});
    ASSERT_EQ(r.rc, 0) << r.err;
    Picture pic;
    ASSERT_TRUE(readPng(dir / "p.png", pic));
    ASSERT_EQ(pic.width, 200);
    ASSERT_EQ(pic.height, 100);
    EXPECT_EQ(pic.at(1, 1), rgb(0x10, 0x20, 0x30));
    EXPECT_EQ(pic.at(199, 99), rgb(0x10, 0x20, 0x30));
    EXPECT_EQ(pic.at(101, 2), rgb(0x10, 0x60, 0x20)) << "axis: each component of the text colour halved";
    EXPECT_GT(pic.count(rgb(0x20, 0xC0, 0x40)), 100u) << "channel A and the labels";
    EXPECT_EQ(pic.count(0xFFFFFFu), 0u);

    // No background: the display leaves the canvas as it is.
    ToolRun none = runZohost({kModule, "--png", dir / "n.png", "--size", "200x100", "--background", "none",
                              "--seconds", "0.1"});
    ASSERT_EQ(none.rc, 0) << none.err;
    ASSERT_TRUE(readPng(dir / "n.png", pic));
    EXPECT_EQ(pic.at(1, 1), 0u);
    EXPECT_EQ(pic.at(101, 2), rgb(127, 127, 127));
}

TEST(ZohostRender, FontHeightDecidesWhetherTextIsDrawn) {
    ScratchDir dir;
    auto readouts = [&](const char* font) {
        ToolRun r = runZohost({kModule, "--png", dir / "f.png", "--size", "200x40", "--font-height", font,
                               "--seconds", "0.05"});
        EXPECT_EQ(r.rc, 0) << r.err;
        Picture pic;
        EXPECT_TRUE(readPng(dir / "f.png", pic));
        return pic.count(rgb(220, 140, 250));
    };
    EXPECT_GT(readouts("10"), 20u);
    EXPECT_EQ(readouts("40"), 0u) << "a window no taller than the font shows no text";
}

TEST(ZohostRender, XYModeDrawsAFigureAndNoTraces) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--png", dir / "xy.png", "--set", "X-Y-Mode=X-Y", "--pin",
                           "Signal A=sine:440", "--pin", "Signal B=sine:660", "--seconds", "0.2"});
    ASSERT_EQ(r.rc, 0) << r.err;
    Picture pic;
    ASSERT_TRUE(readPng(dir / "xy.png", pic));
    EXPECT_GT(pic.count(rgb(250, 30, 30)), 300u);
    EXPECT_EQ(pic.count(rgb(250, 250, 0)), 0u);
}

TEST(ZohostRender, CaptureLogHoldsTheSignalsThatWereFedIn) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--no-png", "--captures", dir / "c.jsonl", "--block", "256"});
    ASSERT_EQ(r.rc, 0) << r.err;
    std::vector<Json> caps = readCaptures(dir / "c.jsonl");
    ASSERT_GE(caps.size(), 40u);
    EXPECT_NE(r.out.find(": " + std::to_string(caps.size()) + " captures"), std::string::npos) << r.out;

    std::int64_t previous_clock = -1;
    for (std::size_t i = 0; i < caps.size(); ++i) {
        SCOPED_TRACE("capture " + std::to_string(i + 1));
        const Json& c = caps[i];
        EXPECT_EQ(c["capture"].number, static_cast<double>(i + 1));
        // Default Time (5 volts, V/Oktave): one period of 440 Hz.
        ASSERT_EQ(c["size"].number, 100);
        EXPECT_EQ(c["rate"].number, 44100);
        EXPECT_EQ(c["time"].number, 5);
        EXPECT_EQ(c["y_scale"].number, 1);
        EXPECT_EQ(c["x_y_mode"].number, 0);
        EXPECT_EQ(c["trigger"].number, 1);
        EXPECT_TRUE(c["active"].items.at(0).boolean);
        EXPECT_TRUE(c["active"].items.at(1).boolean);
        const std::int64_t clock = static_cast<std::int64_t>(c["clock"].number);
        EXPECT_EQ(clock % 256, 0) << "sent from a processing call at a block start";
        EXPECT_GT(clock, previous_clock) << "one capture per block at most";
        previous_clock = clock;

        // The capture ended in the block that sent it.
        const std::vector<float> a = c["a"].floats(), b = c["b"].floats();
        ASSERT_EQ(a.size(), 100u);
        ASSERT_EQ(b.size(), 100u);
        const std::int64_t c0 = findStart(a, clock - 99, clock + 256 - 100,
                                          [](std::int64_t t) { return sine(440, 0.8, 44100, t); });
        ASSERT_GE(c0, 0) << "channel A is not a stretch of the 440 Hz sine";
        for (std::size_t n = 0; n < b.size(); ++n)
            ASSERT_NEAR(b[n], triangle(660, 0.8, 44100, c0 + static_cast<std::int64_t>(n)), 2e-6f)
                << "channel B, sample " << n;
        if (i > 0) {
            EXPECT_GE(sine(440, 0.8, 44100, c0), 0.0f) << "starts at a rising zero crossing";
            EXPECT_LT(sine(440, 0.8, 44100, c0 - 1), 0.0f);
        } else {
            EXPECT_EQ(c0, 0) << "the first capture starts at once";
        }
    }
}

TEST(ZohostRender, OneFramePerCaptureAndTheLastIsThePicture) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--png", dir / "last.png", "--frames", dir / "frames", "--captures",
                           dir / "c.jsonl", "--seconds", "0.25", "--size", "160x90"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::size_t captures = readCaptures(dir / "c.jsonl").size();
    ASSERT_GT(captures, 5u);
    EXPECT_EQ(countFiles(dir / "frames"), captures);
    Picture first, last, picture;
    ASSERT_TRUE(readPng(zohost::tool::framePath(dir / "frames", 1), first));
    EXPECT_EQ(first.width, 160);
    EXPECT_EQ(first.height, 90);
    ASSERT_TRUE(readPng(zohost::tool::framePath(dir / "frames", captures), last));
    ASSERT_TRUE(readPng(dir / "last.png", picture));
    EXPECT_EQ(last.pixels, picture.pixels);
    EXPECT_NE(first.pixels, last.pixels) << "frames follow the signal";
    EXPECT_EQ(zohost::tool::framePath("d", 12), (std::filesystem::path("d") / "frame-00012.png").string());
}

TEST(ZohostRender, PaintsOnlyWhenAPictureIsWanted) {
    zohost::ModuleLibrary library(kModule);
    ASSERT_TRUE(library.loaded()) << library.error();
    ScratchDir dir;
    auto runOnce = [&](bool frames, zohost::tool::RenderStats& st) {
        zohost::Instance in(library,
                            zohost::tool::renderInstanceOptions(44100.0f, 512, 0xFFFFFF, 0, 12, false));
        in.setSignal("Signal A", zohost::tool::makeSignal(zohost::tool::parseSource("sine:1000"), 44100.0, 1));
        zohost::tool::RenderJob job;
        job.samples = 22050;
        job.width = 64;
        job.height = 48;
        job.png = dir / "p.png";
        job.frames_dir = frames ? dir / "frames" : "";
        std::string error;
        ASSERT_TRUE(zohost::tool::render(in, job, st, error)) << error;
    };
    zohost::tool::RenderStats st;
    runOnce(false, st);
    EXPECT_EQ(st.samples, 22050u);
    EXPECT_GT(st.captures, 10u);
    EXPECT_EQ(static_cast<std::size_t>(st.repaints), st.captures) << "every capture asks for a repaint";
    EXPECT_EQ(st.paints, 1u) << "the last picture only";
    EXPECT_EQ(st.frames, 0u);
    runOnce(true, st);
    EXPECT_EQ(st.frames, st.captures);
    EXPECT_EQ(st.paints, st.captures) << "the last frame is the picture";
}

TEST(ZohostRender, UnwritableOutputsFailWithStatus1) {
    ScratchDir dir;
    for (auto args : {std::vector<std::string>{"--png", dir / "no/such/dir/p.png"},
                      std::vector<std::string>{"--no-png", "--captures", dir / "no/such/c.jsonl"}}) {
        args.insert(args.begin(), kModule);
        args.insert(args.end(), {"--seconds", "0.05"});
        ToolRun r = runZohost(args);
        EXPECT_EQ(r.rc, 1) << r.out;
        EXPECT_NE(r.err.find("no/such"), std::string::npos) << r.err;
    }
}

namespace {

float fileSample(int channel, int t) {
    return channel == 0 ? 0.5f * std::sin(static_cast<float>(t) * 0.01f)
                        : sine(441.0, 0.6, 22050.0, t) + 0.001f * static_cast<float>(t % 7);
}

}  // namespace

TEST(ZohostRender, SoundFileFeedsAPinAtItsOwnRateAndLength) {
    ScratchDir dir;
    const std::string wav = dir / "in.wav";
    writeWav(wav, 22050, 2, 6615, SF_FORMAT_FLOAT, fileSample);
    ToolRun r = runZohost({kModule, "--no-png", "--captures", dir / "c.jsonl", "--pin",
                           "Signal A=file:" + wav + ":2"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("(6615 samples) at 22050 Hz"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "") << "no note when the rates agree";
    std::vector<Json> caps = readCaptures(dir / "c.jsonl");
    ASSERT_GT(caps.size(), 5u);
    for (const Json& c : caps) {
        EXPECT_EQ(c["rate"].number, 22050);
        EXPECT_TRUE(c["active"].items.at(0).boolean);
        EXPECT_FALSE(c["active"].items.at(1).boolean) << "Signal B is not connected";
        const std::vector<float> a = c["a"].floats();
        const std::int64_t clock = static_cast<std::int64_t>(c["clock"].number);
        const std::int64_t size = static_cast<std::int64_t>(a.size());
        EXPECT_GE(findStart(a, clock - size + 1, clock + 512 - size,
                            [](std::int64_t t) { return fileSample(1, static_cast<int>(t)); }, 0.0f),
                  0)
            << "channel 2 of the file, sample for sample";
    }

    // At another rate it plays unresampled, with a note.
    ToolRun other = runZohost({kModule, "--no-png", "--rate", "44100", "--pin", "Signal A=file:" + wav});
    ASSERT_EQ(other.rc, 0) << other.err;
    EXPECT_NE(other.err.find("note"), std::string::npos);
    EXPECT_NE(other.out.find("(6615 samples) at 44100 Hz"), std::string::npos) << other.out;

    ToolRun third = runZohost({kModule, "--no-png", "--pin", "Signal A=file:" + wav + ":3"});
    EXPECT_EQ(third.rc, 2);
    EXPECT_NE(third.err.find("has 2 channels"), std::string::npos) << third.err;

    const std::string text = dir / "not-sound.wav";
    std::ofstream(text) << "plain text";
    ToolRun bad = runZohost({kModule, "--no-png", "--pin", "Signal B=file:" + text});
    EXPECT_EQ(bad.rc, 2);
    EXPECT_NE(bad.err.find("not-sound.wav"), std::string::npos) << bad.err;
}

TEST(ZohostRender, SoundFileReadsInBlocksThenZeros) {
    ScratchDir dir;
    const std::string wav = dir / "pcm.wav";
    writeWav(wav, 8000, 3, 100, SF_FORMAT_PCM_16,
             [](int c, int t) { return static_cast<float>((c + 1) * 1000 + t) / 32768.0f; });
    auto file = std::make_shared<zohost::tool::SoundFile>(wav);
    ASSERT_TRUE(file->ok()) << file->error();
    EXPECT_EQ(file->rate(), 8000);
    EXPECT_EQ(file->channels(), 3);
    EXPECT_EQ(file->frames(), 100);
    zohost::Signal s = zohost::tool::fileSignal(file, 2);
    std::vector<float> got(150, -1.0f);
    s.fill(0, got.data(), 30, 0.0f);
    s.fill(30, got.data() + 30, 1, 0.0f);
    s.fill(31, got.data() + 31, 119, 0.0f);
    for (int t = 0; t < 150; ++t)
        ASSERT_EQ(got[static_cast<std::size_t>(t)], t < 100 ? static_cast<float>(3000 + t) / 32768.0f : 0.0f)
            << t;
}
