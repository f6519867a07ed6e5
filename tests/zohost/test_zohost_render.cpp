// zohost end to end with the built module: the pictures it writes, the
// capture log against the signals that were fed in, frames against
// captures, sound-file input, and painting only when a picture is wanted.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZohostRun.h"
#include "run/Run.h"
#include "tool/Render.h"
#include "run/SoundFile.h"
#include "run/InputSource.h"
#include "run/Units.h"
#include "ScopeProfile.h"
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
    const std::vector<float> a = last["a"].pinValues(), b = last["b"].pinValues();
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

TEST(ZohostRender, EachDrawnColourHasItsOptionAndNoneIsSeeThrough) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--png", dir / "p.png", "--size", "200x100", "--trace-b-colour", "0080FF",
                           "--readout-colour", "00FF00", "--background", "none", "--seconds", "0.1"});
    ASSERT_EQ(r.rc, 0) << r.err;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / "p.png").c_str()));
    EXPECT_NE(image.format & PNG_FORMAT_FLAG_ALPHA, 0u) << "a see-through background needs alpha";
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    auto at = [&](int x, int y) { return &rgba[4 * (static_cast<std::size_t>(y) * 200 + x)]; };
    EXPECT_EQ(at(1, 1)[3], 0) << "the background is see-through";
    EXPECT_EQ(at(101, 2)[3], 255) << "the axis is not";
    std::size_t blue = 0, green = 0, yellow = 0, lilac = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const unsigned char* p = at(x, y);
            const std::uint32_t c = rgb(p[0], p[1], p[2]);
            blue += c == rgb(0, 0x80, 0xFF);
            green += c == rgb(0, 0xFF, 0);
            yellow += c == rgb(250, 250, 0);
            lilac += c == rgb(220, 140, 250);
        }
    EXPECT_GT(blue, 50u) << "trace B";
    EXPECT_GT(green, 20u) << "readouts";
    EXPECT_EQ(yellow, 0u);
    EXPECT_EQ(lilac, 0u);

    // A trace in the background's colour is warned of; a visible one is not.
    ToolRun hidden = runZohost({kModule, "--png", dir / "h.png", "--background", "FFFFFF", "--seconds", "0.05"});
    EXPECT_NE(hidden.err.find("warning: trace A"), std::string::npos) << hidden.err;
    ToolRun seen = runZohost({kModule, "--png", dir / "h.png", "--background", "FFFFFF", "--text-colour", "000000",
                              "--seconds", "0.05"});
    EXPECT_EQ(seen.err.find("warning"), std::string::npos) << seen.err;
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
        const std::vector<float> a = c["a"].pinValues(), b = c["b"].pinValues();
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
    const std::vector<std::string> frames = frameFiles(dir / "frames");
    EXPECT_EQ(frames.front(), dir / "frames/frame-00001.png") << "five digits, whatever the count";
    Picture first, last, picture;
    ASSERT_TRUE(readPng(frames.front(), first));
    EXPECT_EQ(first.width, 160);
    EXPECT_EQ(first.height, 90);
    ASSERT_TRUE(readPng(frames.back(), last));
    ASSERT_TRUE(readPng(dir / "last.png", picture));
    EXPECT_EQ(last.pixels, picture.pixels);
    EXPECT_NE(first.pixels, last.pixels) << "frames follow the signal";
}

TEST(ZohostRender, PaintsOnlyWhenAPictureIsWanted) {
    zohost::ModuleLibrary library(kModule);
    ASSERT_TRUE(library.loaded()) << library.error();
    ScratchDir dir;
    auto runOnce = [&](bool frames, zohost::tool::RenderStats& st) {
        zohost::Instance in(library,
                            zohost::tool::renderInstanceOptions(44100.0f, 512, 0xFFFFFF, 0, 12));
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
        const std::vector<float> a = c["a"].pinValues();
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

TEST(ZohostRender, BadSoundFilesSayWhyInPlainWords) {
    ScratchDir dir;
    const std::string good = dir / "good.wav";
    writeWav(good, 8000, 2, 4000, SF_FORMAT_PCM_16, [](int c, int t) { return c ? 0.1f : static_cast<float>(t % 9) / 10.0f; });
    const std::string bytes = readFile(good);
    auto save = [&](const std::string& name, const std::string& data) {
        std::ofstream(dir / name, std::ios::binary) << data;
        return dir / name;
    };
    std::string rate0 = bytes.substr(0, 2000);
    rate0.replace(24, 4, std::string(4, '\0'));  // the header's sample rate
    struct Case {
        std::string path;
        const char* says;
    } cases[] = {
        {save("empty.wav", ""), "the file is empty"},
        {save("rate0.wav", rate0), "no sample rate"},
        {save("header.wav", bytes.substr(0, 44)), "holds no samples"},
        {save("text.wav", "just words"), "not a sound file"},
        {dir.path().string(), "is a directory"},
    };
    for (const Case& c : cases) {
        for (const std::vector<std::string>& how : {std::vector<std::string>{"--input", c.path},
                                                     std::vector<std::string>{"--pin", "Signal B=file:" + c.path}}) {
            std::vector<std::string> args{kModule, "--no-png", "--captures", dir / "c.jsonl"};
            args.insert(args.end(), how.begin(), how.end());
            ToolRun r = runZohost(args);
            SCOPED_TRACE(::testing::PrintToString(args));
            EXPECT_EQ(r.rc, 2);
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("SF_INFO"), std::string::npos) << "libsndfile's own words";
        }
    }
    // Cut short: played as far as it goes, with one note.
    ToolRun cut = runZohost({kModule, "--no-png", "--input", save("cut.wav", bytes.substr(0, 3044))});
    EXPECT_EQ(cut.rc, 0) << cut.err;
    EXPECT_NE(cut.out.find("(750 samples)"), std::string::npos) << cut.out;
    EXPECT_EQ(cut.err.find("cut short"), cut.err.rfind("cut short")) << cut.err;
    EXPECT_NE(cut.err.find("cut short"), std::string::npos) << cut.err;
    ToolRun whole = runZohost({kModule, "--no-png", "--input", good});
    EXPECT_EQ(whole.err.find("cut short"), std::string::npos) << "negative control";
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

// --- outputs never destroy data ---

namespace {

std::string pngBytes() {
    // Eight bytes of signature and some text: not a picture zohost made.
    return std::string("\x89PNG\r\n\x1a\nkeep me", 16);
}

}  // namespace

TEST(ZohostOutputs, AFailedRunLeavesEveryExistingOutputByteForByte) {
    ScratchDir dir;
    const std::string keep = pngBytes();
    std::ofstream(dir / "p.png", std::ios::binary) << keep;
    std::ofstream(dir / "c.jsonl", std::ios::binary) << "old log\n";
    std::filesystem::create_directories(dir / "frames/frame-00002.png");  // a frame that cannot be written
    ToolRun r = runZohost({kModule, "--png", dir / "p.png", "--captures", dir / "c.jsonl", "--frames",
                           dir / "frames", "--overwrite", "--seconds", "0.1", "--block", "4096"});
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.err.find("frame-00002.png"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "p.png"), keep);
    EXPECT_EQ(readFile(dir / "c.jsonl"), "old log\n");
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".zohost-"), std::string::npos) << "temporary file left";

    // Nothing is written before an output that cannot be made is found.
    ToolRun early = runZohost({kModule, "--png", dir / "p.png", "--captures", dir / "no/such/c.jsonl"});
    EXPECT_EQ(early.rc, 1);
    EXPECT_EQ(readFile(dir / "p.png"), keep);
}

TEST(ZohostOutputs, AReplacedFileKeepsItsPermissionsAndALinkStaysALink) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    std::ofstream(dir / "p.png") << "old";
    fs::permissions(dir / "p.png", fs::perms::owner_read | fs::perms::owner_write);
    std::ofstream(dir / "real.png") << "old";
    fs::create_symlink(dir / "real.png", dir / "link.png");
    ToolRun r = runZohost({kModule, "--png", dir / "p.png", "--captures", dir / "link.png", "--seconds", "0.05"});
    ASSERT_EQ(r.rc, 0) << r.err;
    Picture pic;
    EXPECT_TRUE(readPng(dir / "p.png", pic));
    EXPECT_EQ(fs::status(dir / "p.png").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::is_symlink(dir / "link.png"));
    EXPECT_FALSE(readCaptures(dir / "real.png").empty()) << "written where the link points";
}

TEST(ZohostOutputs, AFailedWriteIntoADeviceLeavesTheDevice) {
    ScratchDir dir;
    // A node of its own that fails every write, as a full disk would.
    if (::mknod((dir / "full").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here (not root)";
    struct stat before{}, after{};
    ASSERT_EQ(::stat((dir / "full").c_str(), &before), 0);
    for (const char* option : {"--png", "--captures"}) {
        ToolRun r = runZohost({kModule, option, dir / "full", "--seconds", "0.05"});
        EXPECT_EQ(r.rc, 1) << option;
        ASSERT_EQ(::stat((dir / "full").c_str(), &after), 0) << option << ": the node is gone";
        EXPECT_TRUE(S_ISCHR(after.st_mode));
        EXPECT_EQ(after.st_rdev, before.st_rdev);
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
    // Negative control: a regular file in its place is replaced.
    ToolRun r = runZohost({kModule, "--png", dir / "plain", "--seconds", "0.05"});
    EXPECT_EQ(r.rc, 0);
}

TEST(ZohostOutputs, AnOutputThatIsAnInputOrAnotherOutputIsRefused) {
    ScratchDir dir;
    const std::string wav = dir / "in.wav";
    writeWav(wav, 8000, 1, 800, SF_FORMAT_PCM_16, [](int, int t) { return static_cast<float>(t % 50) / 100.0f; });
    const std::string original = readFile(wav);
    std::filesystem::create_hard_link(wav, dir / "same.wav");
    std::filesystem::create_directories(dir / "sub");
    const std::string file = "Signal A=file:" + wav;
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--pin", file, "--png", wav}, "--png"},
        {{"--pin", file, "--no-png", "--captures", wav}, "--captures"},
        {{"--input", wav, "--png", dir / "same.wav"}, "input"},
        {{"--pin", file, "--png", dir / "sub/../in.wav"}, "input"},
        {{"--png", dir / "x.png", "--captures", dir / "sub/../x.png"}, "same file"},
        {{"--png", "-", "--captures", "-"}, "same file"},
        {{"--png", kModule}, "module"},
        {{"--frames", dir / "f", "--png", dir / "f/frame-01.png"}, "one of the --frames"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), kModule);
        ToolRun r = runZohost(args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(r.rc, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(readFile(wav), original);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(ZohostOutputs, StandardOutputGetsExactlyOnePictureAndStatusGoesToStandardError) {
    ScratchDir dir;
    ASSERT_EQ(runProcess({kModule, "--png", "-", "--size", "160x90", "--seconds", "0.1"}, dir / "out", dir / "err"), 0);
    expectOnePicture(dir / "out", 160);
    EXPECT_NE(readFile(dir / "err").find("picture written to standard output"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "-"));

    // Captures on standard output: whole lines only, status elsewhere.
    ASSERT_EQ(runProcess({kModule, "--no-png", "--captures", "-", "--seconds", "0.1"}, dir / "out", dir / "err"), 0);
    std::vector<Json> caps = readCaptures(dir / "out");
    EXPECT_GT(caps.size(), 3u);
    // A standard output that is no terminal gets no status at all.
    ASSERT_EQ(runProcess({kModule, "--png", dir / "p.png", "--seconds", "0.1"}, dir / "out", dir / "err"), 0);
    EXPECT_EQ(readFile(dir / "out"), "");
    EXPECT_NE(readFile(dir / "err").find("picture written to"), std::string::npos);
}

TEST(ZohostOutputs, FramesOfAnotherRunAreRefusedUnlessOverwritten) {
    ScratchDir dir;
    const std::vector<std::string> run = {kModule, "--no-png", "--frames", dir / "f", "--seconds", "0.1", "--size",
                                          "64x48"};
    ASSERT_EQ(runZohost(run).rc, 0);
    const std::size_t first = countFiles(dir / "f");
    ASSERT_GT(first, 3u);
    std::ofstream(dir / "f/notes.txt") << "mine";
    ToolRun again = runZohost(run);
    EXPECT_EQ(again.rc, 2);
    EXPECT_NE(again.err.find("--overwrite"), std::string::npos) << again.err;
    // A shorter run with --overwrite leaves no stale frame behind, and nothing else touched.
    std::vector<std::string> shorter = run;
    shorter[5] = "0.05";
    shorter.push_back("--overwrite");
    ToolRun over = runZohost(shorter);
    ASSERT_EQ(over.rc, 0) << over.err;
    EXPECT_LT(countFiles(dir / "f"), first + 1);
    EXPECT_EQ(readFile(dir / "f/notes.txt"), "mine");
    std::size_t frames = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir / "f")) frames += e.path().extension() == ".png";
    EXPECT_NE(over.out.find(std::to_string(frames) + " frames written"), std::string::npos) << over.out;
}

TEST(ZohostOutputs, FramesAreNamedAsTheHelpSaysOrByAPattern) {
    ScratchDir dir;
    struct Case {
        const char* frames;  // under the scratch folder
        const char* first;   // the first frame's name
        const char* tenth;
        const char* shown;   // in the status line
    } cases[] = {
        {"d", "d/frame-00001.png", "d/frame-00010.png", "written to "},
        {"p/take-%03d.png", "p/take-001.png", "p/take-010.png", "written as "},
        {"n/%d.png", "n/1.png", "n/10.png", "written as "},
        {"c/a%%b-%02d.png", "c/a%b-01.png", "c/a%b-10.png", "written as "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        ToolRun r = runZohost({kModule, "--frames", dir / c.frames, "--fps", "20", "--seconds", "0.55", "--size",
                               "48x32"});
        ASSERT_EQ(r.rc, 0) << r.err;
        const std::vector<std::string> files = frameFiles(std::filesystem::path(dir / c.first).parent_path());
        ASSERT_EQ(files.size(), 11u);
        EXPECT_EQ(files[0], dir / c.first);
        EXPECT_TRUE(std::filesystem::exists(dir / c.tenth));
        EXPECT_NE(r.out.find(std::string("11 frames ") + c.shown), std::string::npos) << r.out;
    }
    const char* bad[] = {"x/%d-%d.png", "x/%s.png", "x/%5d.png", "x/f-%05d.jpg", "x%d/f.png", "x/%0d.png",
                         "x/f.png%"};
    for (const char* b : bad) {
        ToolRun r = runZohost({kModule, "--frames", dir / b, "--seconds", "0.05"});
        EXPECT_EQ(r.rc, 2) << b << ": " << r.err;
        EXPECT_NE(r.err.find("--frames"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "x")) << b << ": nothing made";
    }
}

TEST(ZohostOutputs, APatternReplacesOnlyItsOwnFrames) {
    ScratchDir dir;
    const std::vector<std::string> run = {kModule, "--frames", dir / "f/take-%03d.png", "--fps", "20", "--seconds",
                                          "0.3", "--size", "48x32"};
    ASSERT_EQ(runZohost(run).rc, 0);
    for (const char* mine : {"take-notes.png", "other-001.png", "take-001.jpg", "frame-00001.png"})
        std::ofstream(dir / ("f/" + std::string(mine))) << "mine";
    EXPECT_EQ(runZohost(run).rc, 2) << "six frames of another run";
    std::vector<std::string> shorter = run;
    shorter[6] = "0.1";
    shorter.push_back("--overwrite");
    ToolRun over = runZohost(shorter);
    ASSERT_EQ(over.rc, 0) << over.err;
    EXPECT_NE(over.out.find("(4 older frames removed)"), std::string::npos) << over.out;
    EXPECT_EQ(frameFiles(dir / "f").size(), 2u + 4u);
    for (const char* mine : {"take-notes.png", "other-001.png", "take-001.jpg", "frame-00001.png"})
        EXPECT_EQ(readFile(dir / ("f/" + std::string(mine))), "mine") << mine;
}

TEST(ZohostOutputs, AnInterruptedRunLeavesWholeLinesAndWholeFiles) {
    ScratchDir dir;
    // Interrupted once the run is under way: its capture log has lines.
    auto running = [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir.path(), ec))
            if (e.path().filename().string().rfind(".c.jsonl.zohost-", 0) == 0 && e.file_size(ec) > 20000 && !ec)
                return true;
        return false;
    };
    const int rc = runProcess({kModule, "--png", dir / "p.png", "--captures", dir / "c.jsonl", "--seconds", "3000",
                               "--block", "64"},
                              dir / "out", dir / "err", running);
    EXPECT_EQ(rc, 130) << readFile(dir / "err");
    const std::string log = readFile(dir / "c.jsonl");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    // At least what its temporary held when the signal came, however long
    // its lines are.
    EXPECT_GT(log.size(), 20000u);
    std::vector<Json> caps;
    EXPECT_NO_THROW(caps = readCaptures(dir / "c.jsonl"));
    EXPECT_FALSE(caps.empty());
    Picture pic;
    EXPECT_TRUE(readPng(dir / "p.png", pic));
    EXPECT_NE(readFile(dir / "err").find("interrupted"), std::string::npos);
}

// --- units, moments and motion ---

TEST(ZohostUnits, WindowGivesCapturesOfThatLength) {
    ScratchDir dir;
    struct Case {
        const char* window;
        double rate;
        int size;
        const char* mode;
        const char* seconds = "0.3";
    } cases[] = {
        {"20ms", 44100, 882, "V/zehntel Sek."}, {"4410samples", 44100, 4410, "V/1000 Samples"},
        {"440Hz", 44100, 100, "V/KHz"},         {"0.1s", 48000, 4800, "V/zehntel Sek."},
        {"1ms", 8000, 8, "V/zehntel Sek."},     {"100Hz", 48000, 480, "V/KHz"},
        {"0.02", 8000, 160, "V/zehntel Sek."},  {"1k", 8000, 8, "V/KHz"},
        // Past what one mode reaches, another mode gives the length asked for.
        {"44100samples", 44100, 44100, "V/zehntel Sek.", "1.2"},
        {"22050samples", 44100, 22050, "V/zehntel Sek.", "0.7"},
        {"1s", 44100, 44100, "V/zehntel Sek.", "1.2"},
        {"0.01min", 8000, 4800, "V/zehntel Sek.", "1.3"},
        {"20000samples", 48000, 20000, "V/zehntel Sek.", "0.9"},
        {"40000samples", 8000, 40000, "V/KHz", "5.5"},
        {"4.5 s", 8000, 36000, "V/KHz", "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        ToolRun r = runZohost({kModule, "--no-png", "--captures", dir / "c.jsonl", "--window", c.window, "--rate",
                               std::to_string(c.rate), "--seconds", c.seconds});
        ASSERT_EQ(r.rc, 0) << r.err;
        EXPECT_NE(r.out.find("captures of " + std::to_string(c.size) + " samples"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("Time-Mode=") + c.mode + ","), std::string::npos) << r.out;
        std::vector<Json> caps = readCaptures(dir / "c.jsonl");
        ASSERT_FALSE(caps.empty());
        for (const Json& cap : caps) EXPECT_EQ(cap["size"].number, c.size);
    }
}

// A run's length in samples is counted at the run's rate, the file's when
// --rate does not give one.
TEST(ZohostUnits, SecondsInSamplesAtTheRunsRate) {
    ScratchDir dir;
    writeWav(dir / "a.wav", 8000, 1, 4000, SF_FORMAT_PCM_16, [](int, int t) { return std::sin(t * 0.3f) * 0.5f; });
    struct Case {
        std::vector<std::string> args;
        const char* ran;
    } cases[] = {
        {{"--seconds", "1000samples", "--rate", "16k"}, "ran 0.062 s (1000 samples) at 16000 Hz"},
        {{"--seconds", "800samples", "--input", dir / "a.wav"}, "ran 0.100 s (800 samples) at 8000 Hz"},
        {{"--seconds", "0.1", "--input", dir / "a.wav"}, "ran 0.100 s (800 samples) at 8000 Hz"},
        {{"--seconds", "2min", "--rate", "100"}, "ran 120.000 s (12000 samples) at 100 Hz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::vector<std::string> args{kModule, "--no-png", "--captures", dir / "c.jsonl"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ToolRun r = runZohost(args);
        ASSERT_EQ(r.rc, 0) << r.err;
        EXPECT_NE(r.out.find(c.ran), std::string::npos) << r.out;
    }
}

// Every length the module captures is reachable, at common rates, and in
// each unit that names it; one past the longest is refused.
TEST(ZohostUnits, WindowReachesEveryLengthTheModuleCaptures) {
    const zohost::ModuleProfile& scope = zohost::scope::scopeProfile();
    using Unit = zohost::CaptureWindow::Unit;
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0}) {
        SCOPED_TRACE(rate);
        int missed = 0;
        for (int n = 1; n <= 44100; ++n) {
            const zohost::WindowSetting w = zohost::tool::windowSetting(scope, {Unit::Samples, double(n)}, rate);
            missed += w.samples != n;
            if (n % 97 == 0) {
                const zohost::WindowSetting t = zohost::tool::windowSetting(scope, {Unit::Seconds, n / rate}, rate);
                EXPECT_EQ(t.samples, n) << n << " samples as a time";
            }
        }
        EXPECT_EQ(missed, 0);
        EXPECT_THROW(zohost::tool::windowSetting(scope, {Unit::Samples, 44101.0}, rate), std::invalid_argument);
    }
}

TEST(ZohostUnits, ChoicesAndNamesIgnoreCaseTakeAliasesAndBeatTheDemo) {
    ScratchDir dir;
    struct Case {
        std::vector<std::string> set;
        const char* field;
        int value;
    } cases[] = {
        {{"--set", "trigger=auto"}, "trigger", 3},
        {{"--set", "TRIGGER=off"}, "trigger", 0},
        {{"--set", "Trigger=input-b"}, "trigger", 2},
        {{"--set", "x-y-mode=xy"}, "x_y_mode", 1},
        {{}, "trigger", 1},  // the demo's own default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.set));
        std::vector<std::string> args{kModule, "--no-png", "--captures", dir / "c.jsonl", "--seconds", "0.2"};
        args.insert(args.end(), c.set.begin(), c.set.end());
        ToolRun r = runZohost(args);
        ASSERT_EQ(r.rc, 0) << r.err;
        std::vector<Json> caps = readCaptures(dir / "c.jsonl");
        ASSERT_FALSE(caps.empty());
        EXPECT_EQ(caps.back()[c.field].number, c.value);
    }
    ToolRun tenths = runZohost({kModule, "--no-png", "--set", "Time-Mode=tenths", "--seconds", "0.1"});
    EXPECT_EQ(tenths.rc, 0) << tenths.err;
    EXPECT_NE(tenths.out.find("Time-Mode=V/zehntel Sek."), std::string::npos) << tenths.out;

    // Volts and pin units name the same level.
    ToolRun volts = runZohost({kModule, "--no-png", "--captures", dir / "v.jsonl", "--pin", "Signal A=dc:2.5V",
                               "--set", "Trigger=off", "--seconds", "0.05", "--scale", "2V"});
    ASSERT_EQ(volts.rc, 0) << volts.err;
    std::vector<Json> caps = readCaptures(dir / "v.jsonl");
    ASSERT_FALSE(caps.empty());
    EXPECT_EQ(caps.back()["a"].items.at(5).number, 2.5);
    EXPECT_EQ(caps.back()["y_scale"].number, 2);
}

TEST(ZohostMoments, AtPicksTheCaptureInProgressAtThatTime) {
    ScratchDir dir;
    for (const char* at : {"0.1s", "250ms", "0.5"}) {
        SCOPED_TRACE(at);
        std::filesystem::remove_all(dir / "f");
        ToolRun r = runZohost({kModule, "--png", dir / "p.png", "--at", at, "--frames", dir / "f", "--captures",
                               dir / "c.jsonl", "--seconds", "0.6", "--size", "120x80", "--block", "1024"});
        ASSERT_EQ(r.rc, 0) << r.err;
        const double seconds = zohost::tool::parseSeconds(at, "at");
        const std::int64_t sample = std::llround(seconds * 44100);
        std::vector<Json> caps = readCaptures(dir / "c.jsonl");
        // The first capture sent from a block that ends past the moment.
        std::size_t k = 0;
        while (k < caps.size() && static_cast<std::int64_t>(caps[k]["clock"].number) + 1024 <= sample) ++k;
        ASSERT_LT(k, caps.size());
        EXPECT_NE(r.out.find("capture " + std::to_string(k + 1) + " at"), std::string::npos) << r.out;
        const std::vector<std::string> frames = frameFiles(dir / "f");
        ASSERT_EQ(frames.size(), caps.size());
        Picture pic, frame, other;
        ASSERT_TRUE(readPng(dir / "p.png", pic));
        ASSERT_TRUE(readPng(frames[k], frame));
        ASSERT_TRUE(readPng(frames[k + 1], other));
        EXPECT_EQ(pic.pixels, frame.pixels);
        EXPECT_NE(pic.pixels, other.pixels) << "negative control: the next capture looks different";
    }
    ToolRun past = runZohost({kModule, "--png", dir / "p.png", "--at", "2s", "--seconds", "1"});
    EXPECT_EQ(past.rc, 2);
    EXPECT_NE(past.err.find("past the end"), std::string::npos);
}

TEST(ZohostMoments, TimeRegularFramesWhateverTheBlock) {
    ScratchDir dir;
    for (const char* block : {"64", "4096"}) {
        const std::string frames = dir / (std::string("f") + block);
        ToolRun r = runZohost({kModule, "--no-png", "--frames", frames, "--fps", "20", "--seconds", "0.5", "--block",
                               block, "--size", "96x64", "--pin", "Signal A=sine:100", "--set", "Trigger=off"});
        ASSERT_EQ(r.rc, 0) << r.err;
        const std::vector<std::string> files = frameFiles(frames);
        ASSERT_EQ(files.size(), 10u);
        EXPECT_EQ(files[0], frames + "/frame-00001.png");
    }
}

TEST(ZohostMoments, AnimationFramesAndDelaysFollowFpsAndSeconds) {
    ScratchDir dir;
    struct Case {
        const char* fps;
        const char* seconds;
        int frames;
        int total_cs;
        int shortest_cs;   // viewers slow down delays under 2
        bool dropped;      // and say so
    } cases[] = {{"10", "0.5", 5, 50, 10, false},   {"30", "1", 30, 100, 3, false}, {nullptr, "0.4", 10, 40, 4, false},
                 {"60", "1", 40, 100, 2, true},     {"100", "0.1", 5, 10, 2, true}, {"1000", "0.1", 5, 10, 2, true},
                 {"50", "0.33", 16, 33, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        std::vector<std::string> args{kModule, "--no-png", "--animation", dir / "a.gif", "--seconds", c.seconds,
                                      "--size", "80x60"};
        if (c.fps) args.insert(args.end(), {"--fps", c.fps});
        ToolRun r = runZohost(args);
        ASSERT_EQ(r.rc, 0) << r.err;
        int err = 0;
        GifFileType* gif = DGifOpenFileName((dir / "a.gif").c_str(), &err);
        ASSERT_NE(gif, nullptr);
        ASSERT_EQ(DGifSlurp(gif), GIF_OK);
        EXPECT_EQ(gif->SWidth, 80);
        EXPECT_EQ(gif->ImageCount, c.frames);
        int total = 0;
        for (int i = 0; i < gif->ImageCount; ++i) {
            GraphicsControlBlock gcb;
            ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &gcb), GIF_OK);
            EXPECT_GE(gcb.DelayTime, c.shortest_cs);
            total += gcb.DelayTime;
        }
        EXPECT_EQ(total, c.total_cs) << "plays at real time";
        EXPECT_EQ(r.err.find("dropped to keep real time") != std::string::npos, c.dropped) << r.err;
        DGifCloseFile(gif, &err);
    }
}

TEST(ZohostMoments, AnInterruptedAnimationEndsWithItsLastFrame) {
    ScratchDir dir;
    auto running = [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir.path(), ec))
            if (e.path().filename().string().rfind(".a.gif.zohost-", 0) == 0 && e.file_size(ec) > 20000 && !ec)
                return true;
        return false;
    };
    const int rc = runProcess({kModule, "--no-png", "--animation", dir / "a.gif", "--fps", "10", "--seconds", "3000",
                               "--size", "48x32", "--block", "64"},
                              dir / "out", dir / "err", running);
    ASSERT_EQ(rc, 130) << readFile(dir / "err");
    int err = 0;
    GifFileType* gif = DGifOpenFileName((dir / "a.gif").c_str(), &err);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_GT(gif->ImageCount, 3);
    for (int i = 0; i < gif->ImageCount; ++i) {
        GraphicsControlBlock gcb;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, 10) << "frame " << i + 1 << " of " << gif->ImageCount << ", not the rest of 3000 s";
    }
    DGifCloseFile(gif, &err);
}

TEST(ZohostMoments, AnimationFramesAreTheFramePictures) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--animation", dir / "a.gif", "--frames", dir / "f", "--fps", "10", "--seconds",
                           "0.5", "--size", "80x60", "--set", "trigger=off"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.find("picture written"), std::string::npos) << "no default picture beside other outputs";
    const std::vector<std::string> frames = frameFiles(dir / "f");
    int err = 0;
    GifFileType* gif = DGifOpenFileName((dir / "a.gif").c_str(), &err);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(static_cast<std::size_t>(gif->ImageCount), frames.size());
    std::vector<std::uint32_t> previous;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& im = gif->SavedImages[i];
        const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
        ASSERT_NE(map, nullptr);
        Picture png;
        ASSERT_TRUE(readPng(frames[static_cast<std::size_t>(i)], png));
        std::vector<std::uint32_t> pixels;
        for (int p = 0; p < 80 * 60; ++p) {
            const GifColorType c = map->Colors[im.RasterBits[p]];
            pixels.push_back((std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue);
        }
        EXPECT_EQ(pixels, png.pixels) << "frame " << i + 1;
        if (i) {
            EXPECT_NE(pixels, previous) << "frames move";
        }
        previous = pixels;
    }
    DGifCloseFile(gif, &err);
}

TEST(ZohostMoments, StereoInputAndAStretchOfIt) {
    ScratchDir dir;
    const std::string wav = dir / "song.wav";
    writeWav(wav, 22050, 2, 22050, SF_FORMAT_FLOAT, fileSample);
    ToolRun r = runZohost({kModule, "--no-png", "--captures", dir / "c.jsonl", "--input", wav, "--start", "0.5s",
                           "--seconds", "0.25", "--set", "Trigger=off"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("(5513 samples)"), std::string::npos) << r.out;
    std::vector<Json> caps = readCaptures(dir / "c.jsonl");
    ASSERT_GT(caps.size(), 2u);
    for (const Json& c : caps) {
        EXPECT_TRUE(c["active"].items.at(0).boolean);
        EXPECT_TRUE(c["active"].items.at(1).boolean);
        const std::int64_t clock = static_cast<std::int64_t>(c["clock"].number);
        EXPECT_GE(clock, 11025) << "the clock counts from the start of the file";
        const std::vector<float> a = c["a"].pinValues(), b = c["b"].pinValues();
        const std::int64_t size = static_cast<std::int64_t>(a.size());
        const std::int64_t c0 = findStart(a, clock - size + 1, clock + 512,
                                          [](std::int64_t t) { return fileSample(0, static_cast<int>(t)); }, 0.0f);
        ASSERT_GE(c0, 11025);
        for (std::size_t n = 0; n < b.size(); ++n)
            ASSERT_EQ(b[n], fileSample(1, static_cast<int>(c0 + static_cast<std::int64_t>(n))));
    }
}

// --- inputs from pipes, and what is said rather than dropped ---

// A sound file through a pipe plays as the same file does from its path, in
// any format libsndfile reads; standard input feeds one source.
TEST(ZohostInputs, APipedSoundFilePlaysAsTheFileDoes) {
    ScratchDir dir;
    struct Case {
        const char* name;
        int major, format;
        std::vector<std::string> feed;
    } cases[] = {
        {"a.wav", SF_FORMAT_WAV, SF_FORMAT_PCM_16, {"--input", "-"}},
        {"a.flac", SF_FORMAT_FLAC, SF_FORMAT_PCM_16, {"--input", "-"}},
        {"a.aiff", SF_FORMAT_AIFF, SF_FORMAT_FLOAT, {"--pin", "Signal B=file:-:2", "--set", "Trigger=InputB"}},
    };
    auto wave = [](int c, int t) { return c ? 0.3f * std::sin(t * 0.05f) : static_cast<float>(t % 40) / 50.0f - 0.4f; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        writeWav(path, 8000, 2, 2400, c.format, wave, c.major);
        const std::string bytes = readFile(path);
        std::vector<std::string> piped{kModule, "--no-png", "--captures", dir / "piped.jsonl", "--window", "20ms"};
        piped.insert(piped.end(), c.feed.begin(), c.feed.end());
        ASSERT_EQ(runProcess(piped, dir / "out", dir / "err", nullptr, &bytes), 0) << readFile(dir / "err");
        EXPECT_NE(readFile(dir / "err").find("of standard input"), std::string::npos) << readFile(dir / "err");
        std::vector<std::string> named = piped;
        named[3] = dir / "named.jsonl";
        for (std::string& a : named) a = a == "-" ? path : a == "Signal B=file:-:2" ? "Signal B=file:" + path + ":2" : a;
        ToolRun r = runZohost(named);
        ASSERT_EQ(r.rc, 0) << r.err;
        const std::string log = readFile(dir / "piped.jsonl");
        EXPECT_GT(readCaptures(dir / "piped.jsonl").size(), 2u);
        EXPECT_EQ(log, readFile(dir / "named.jsonl"));
        // The negative control: another signal through the same pipe logs otherwise.
        writeWav(path, 8000, 2, 2400, c.format, [](int, int t) { return static_cast<float>(t % 30) / 40.0f - 0.3f; }, c.major);
        const std::string other = readFile(path);
        ASSERT_EQ(runProcess(piped, dir / "out", dir / "err", nullptr, &other), 0);
        EXPECT_NE(readFile(dir / "piped.jsonl"), log);
    }
    // A picture to standard output from sound on standard input: a filter.
    const std::string stereo = readFile(dir / "a.wav");
    ASSERT_EQ(runProcess({kModule, "--input", "-", "--png", "-", "--size", "96x54"}, dir / "out.png", dir / "err", nullptr,
                         &stereo),
              0)
        << readFile(dir / "err");
    Picture pic;
    EXPECT_TRUE(readPng(dir / "out.png", pic));
    EXPECT_EQ(pic.width, 96);
    const std::string text = "not a sound file at all";
    EXPECT_EQ(runProcess({kModule, "--no-png", "--input", "-"}, dir / "out", dir / "err", nullptr, &text), 2);
    EXPECT_NE(readFile(dir / "err").find("cannot read standard input: not a sound file"), std::string::npos)
        << readFile(dir / "err");
}

// Each would-be silent no-op says so on standard error; each case's control
// (the same without the fault) says nothing of it.
TEST(ZohostInputs, WhatWouldBeDroppedIsSaid) {
    ScratchDir dir;
    writeWav(dir / "six.wav", 8000, 6, 800, SF_FORMAT_PCM_16, [](int c, int t) { return 0.1f * c * std::sin(t * 0.1f); });
    writeWav(dir / "two.wav", 8000, 2, 800, SF_FORMAT_PCM_16, [](int c, int t) { return 0.1f * c * std::sin(t * 0.1f); });
    struct Case {
        std::vector<std::string> args, control;
        const char* says;
    } cases[] = {
        {{"--input", dir / "six.wav"}, {"--input", dir / "two.wav"},
         "has 6 channels; --input plays channels 1 and 2 on \"Signal A\" and \"Signal B\", and not channels 3 to 6"},
        {{"--rate", "8k", "--pin", "Signal A=sine:4.1k"}, {"--rate", "8k", "--pin", "Signal A=sine:4k"},
         "4100 Hz is above half the rate (4000 Hz)"},
        {{"--set", "Trigger=EXT"}, {"--set", "Trigger=EXT", "--pin", "EXT-Trigger=square:50"},
         "sent no capture, so the pictures show none: Trigger is EXT and nothing feeds EXT-Trigger"},
        {{"--window", "0.2s"}, {"--window", "0.05s"}, "sent no capture, so the pictures show none: a capture may be longer"},
        {{"--figure-colour", "FF0000"}, {"--figure-colour", "FF0000", "--set", "X-Y-Mode=xy"},
         "--figure-colour colours the X-Y figure, which is drawn only when X-Y-Mode is not Aus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        for (bool control : {false, true}) {
            std::vector<std::string> args{kModule, "--png", dir / "p.png", "--size", "96x54", "--seconds", "0.1"};
            args.insert(args.end(), (control ? c.control : c.args).begin(), (control ? c.control : c.args).end());
            ToolRun r = runZohost(args);
            EXPECT_EQ(r.rc, 0) << r.err;
            EXPECT_EQ(r.err.find(c.says) == std::string::npos, control) << r.err;
        }
    }
    // A sound file where the module goes is pointed at --input.
    ToolRun wav = runZohost({dir / "two.wav"});
    EXPECT_EQ(wav.rc, 2);
    EXPECT_NE(wav.err.find("is a sound file, not a module; did you mean --input " + dir / "two.wav" + "?"),
              std::string::npos)
        << wav.err;
    ToolRun missing = runZohost({dir / "none.zom"});
    EXPECT_EQ(missing.rc, 3) << "negative control: a module that is not there is no sound file";
    EXPECT_EQ(missing.err.find("did you mean"), std::string::npos) << missing.err;
}
