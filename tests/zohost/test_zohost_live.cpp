// zohost --live as a user meets it: a window on a virtual X display, looked
// at from outside the program (xwd), turned with keys (xdotool), fed from a
// file-backed capture device and heard through a file-backed output device
// (SDL's disk audio driver).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "XDisplay.h"
#include "ZohostRun.h"

namespace zotest {
namespace {

const std::string kZohost = ZOHOST_PATH;

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        if (!VirtualDisplay::available()) GTEST_SKIP() << "Xvfb, xdotool or xwd is missing (scripts/setup.sh)";
        display_ = std::make_unique<VirtualDisplay>();
        if (!display_->ok()) GTEST_SKIP() << "Xvfb did not start";
    }
    // Environment of a live run: our display, and no sound device to wait for.
    std::map<std::string, std::string> env(std::map<std::string, std::string> more = {}) const {
        more["DISPLAY"] = display_->name();
        if (!more.count("SDL_AUDIODRIVER")) more["SDL_AUDIODRIVER"] = "dummy";
        // Under AddressSanitizer: the X libraries that SDL loads and unloads
        // leave allocations that LeakSanitizer can name no module for; every
        // other fault still ends the program.
        const char* asan = std::getenv("ASAN_OPTIONS");
        more["ASAN_OPTIONS"] = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
        return more;
    }
    std::vector<std::string> live(std::vector<std::string> args, bool mute = true) const {
        args.insert(args.begin(), {kZohost, "--live"});
        if (mute) args.insert(args.begin() + 2, "--mute");
        return args;
    }
    std::unique_ptr<VirtualDisplay> display_;
    ScratchDir dir_;
};

// Inputs whose every capture is the same: whole periods at the rate, so the
// picture held at any time is the one the pictures' run ends with.
const std::vector<std::string> kSteady = {"--pin", "Signal A=sine:441", "--pin", "Signal B=square:441:0.5",
                                          "--set", "Trigger=InputA", "--size", "320x200"};

// Polls `ready` every 20 ms for up to a minute.
bool waitFor(const std::function<bool()>& ready) {
    for (int i = 0; i < 3000; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A render of the steady inputs at `size`, as zohost --png writes it.
Picture steadyPicture(const std::string& png, const std::string& size, const std::string& a = "sine:441") {
    std::vector<std::string> render = kSteady;
    render[1] = "Signal A=" + a;
    render[7] = size;
    render.insert(render.end(), {"--seconds", "0.5", "--png", png, "-q", ZO_MODULE_PATH});
    Picture p;
    EXPECT_EQ(runZohost(render).rc, 0);
    EXPECT_TRUE(readPng(png, p)) << png;
    return p;
}

bool same(const Picture& a, const Picture& b) { return differing(a, b) == 0; }

TEST_F(Live, HeldWindowShowsThePicturesPixels) {
    const Picture ref = steadyPicture(dir_ / "ref.png", "320x200");
    const Picture big = steadyPicture(dir_ / "big.png", "400x250");
    const Picture other = steadyPicture(dir_ / "other.png", "320x200", "sine:882");
    std::vector<std::string> args = kSteady;
    args.insert(args.end(), {"--hold-at", "0.5", "--seconds", "60", "-q"});
    Process zohost(live(args), env(), "/dev/null", dir_ / "err.txt");
    const std::string win = display_->window("Ondix2");
    ASSERT_FALSE(win.empty()) << "no window; zohost: " << zohost.wait(0) << " " << readFile(dir_ / "err.txt");
    ASSERT_TRUE(display_->waitTitle(win, "[held]")) << "title: " << display_->title(win) << "; zohost: " << zohost.wait(0);
    // Captures already on their way when the hold came may still be painted.
    Picture shown;
    EXPECT_TRUE(display_->waitShot(win, dir_ / "screen.xwd", 320, 200, [&](const Picture& p) { return same(p, ref); },
                                   shown))
        << differing(shown, ref) << " pixels differ";
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(display_->geometry(win, x, y, w, h));
    EXPECT_EQ(w, 320);
    // Resized while held: painted again at the new size, under a status bar
    // of the font's height and 6.
    display_->run("xdotool windowsize " + win + " 400 268");
    Picture resized;
    EXPECT_TRUE(display_->waitShot(win, dir_ / "resized.xwd", 400, 250, [&](const Picture& p) { return same(p, big); },
                                   resized))
        << differing(resized, big) << " pixels differ";
    ASSERT_TRUE(display_->geometry(win, x, y, w, h));
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 268);
    display_->keys(win, "q");
    EXPECT_EQ(zohost.wait(60), 0);
    // Negative control: another input's picture is told apart.
    EXPECT_GT(differing(shown, other), 100u);
}

// The captures of a log still being written: its whole lines.
std::vector<Json> capturesSoFar(const std::string& path) {
    std::string text = readFile(path);
    text.erase(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1);
    std::vector<Json> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(JsonReader::parse(line));
    return out;
}

TEST_F(Live, KeysTurnTheSettingsAndSpaceHoldsThePicture) {
    // Noise on B: every capture, and so every picture, is new. Played to
    // SDL's dummy output device, which is then the clock.
    // Standard output is no terminal: the status lines go to standard error.
    Process zohost(live({"--pin", "Signal A=sine:441", "--pin", "Signal B=noise:0.5", "--set", "Trigger=InputA",
                         "--size", "320x200", "--captures", "-", "--seconds", "60", "--stats"},
                        false),
                   env(), dir_ / "caps.jsonl", dir_ / "out.txt");
    const std::string win = display_->window("Ondix2");
    ASSERT_FALSE(win.empty()) << "no window";
    ASSERT_TRUE(display_->waitTitle(win, "Trigger=InputA")) << display_->title(win);
    const std::string log = dir_ / "caps.jsonl";
    ASSERT_TRUE(waitFor([&] { return !capturesSoFar(log).empty(); })) << "no capture before the keys";
    display_->keys(win, "t Right Right Up");
    ASSERT_TRUE(display_->waitTitle(win, "Trigger=InputB")) << display_->title(win);
    EXPECT_NE(display_->title(win).find("Time=6 V"), std::string::npos) << display_->title(win);
    EXPECT_NE(display_->title(win).find("Y-Scale=1.5 V"), std::string::npos) << display_->title(win);
    ASSERT_TRUE(waitFor([&] {
        const std::vector<Json> c = capturesSoFar(log);
        return !c.empty() && c.back()["trigger"].number == 2;
    })) << "the new settings reached no capture";

    // Negative control first: running, the picture changes.
    Picture s1, s2, s3;
    ASSERT_TRUE(display_->waitShot(win, dir_ / "1.xwd", 320, 200, [](const Picture&) { return true; }, s1));
    EXPECT_TRUE(display_->waitShot(win, dir_ / "2.xwd", 320, 200, [&](const Picture& p) { return !same(p, s1); }, s2))
        << "the picture did not change while running";

    display_->keys(win, "space");
    ASSERT_TRUE(display_->waitTitle(win, "[held]")) << display_->title(win);
    // Held once two pictures in a row are the same (captures already on
    // their way may still be painted); then it stays while the audio runs on.
    Picture last;
    ASSERT_TRUE(display_->waitShot(
        win, dir_ / "1.xwd", 320, 200,
        [&](const Picture& p) { return std::exchange(last, p).pixels == p.pixels; }, s1))
        << "the held picture kept changing";
    const std::size_t held_at = capturesSoFar(log).size();
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
         std::chrono::steady_clock::now() < until;) {
        ASSERT_TRUE(display_->waitShot(win, dir_ / "2.xwd", 320, 200, [](const Picture&) { return true; }, s2));
        ASSERT_EQ(differing(s1, s2), 0u) << "held picture moved";
    }
    EXPECT_EQ(capturesSoFar(log).size(), held_at) << "captures reached the display while held";
    display_->keys(win, "space");
    EXPECT_TRUE(display_->waitShot(win, dir_ / "3.xwd", 320, 200, [&](const Picture& p) { return !same(p, s2); }, s3))
        << "picture stayed after release";
    display_->keys(win, "q");
    EXPECT_EQ(zohost.wait(60), 0);

    const std::vector<Json> caps = readCaptures(log);
    ASSERT_GE(caps.size(), 4u);
    EXPECT_EQ(caps.front()["trigger"].number, 1);
    EXPECT_EQ(caps.front()["time"].number, 5);
    EXPECT_EQ(caps.front()["y_scale"].number, 1);
    EXPECT_EQ(caps.back()["trigger"].number, 2);
    EXPECT_EQ(caps.back()["time"].number, 6);
    EXPECT_EQ(caps.back()["y_scale"].number, 1.5);
    // Every capture has one setting or the other: the keys changed them once.
    std::size_t changed_at = 0;
    for (std::size_t i = 0; i < caps.size(); ++i)
        if (caps[i]["trigger"].number == 2 && !changed_at) changed_at = i;
    ASSERT_GT(changed_at, 0u);
    for (std::size_t i = changed_at; i < caps.size(); ++i) EXPECT_EQ(caps[i]["trigger"].number, 2) << i;
    // The hold: no capture reached the display for over a second of audio,
    // while before it they came every few blocks.
    double longest = 0.0, usual = 1e9;
    for (std::size_t i = 1; i < caps.size(); ++i) {
        const double gap = caps[i]["clock"].number - caps[i - 1]["clock"].number;
        longest = std::max(longest, gap);
        usual = std::min(usual, gap);
    }
    EXPECT_GT(longest, 44100.0) << "no hold in the captures";
    EXPECT_LT(usual, 44100.0 / 10);

    // Keys, hold and sound added nothing that allocates or locks on the
    // audio thread (the probe checks itself before it counts).
    std::ifstream said(dir_ / "out.txt");
    const std::string out((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
    EXPECT_NE(out.find("clock the output device"), std::string::npos) << out;
    EXPECT_NE(out.find("live layer on the audio thread: 0 allocations, 0 locks"), std::string::npos) << out;
}

TEST_F(Live, ResizesAroundTheHoldDoNotLetGoOfIt) {
    // A repaint at a new size keeps the captures from the display for a
    // moment; a hold that comes meanwhile must outlast it.
    Process zohost(live({"--pin", "Signal A=sine:441", "--set", "Trigger=InputA", "--size", "320x200", "--hold-at",
                         "0.5", "--seconds", "600", "--captures", dir_ / "caps.jsonl", "-q"}),
                   env());
    const std::string win = display_->window("Ondix2");
    ASSERT_FALSE(win.empty()) << "no window";
    for (int k = 0; k < 40; ++k) {
        display_->run("xdotool windowsize " + win + (k % 2 ? " 340 240" : " 320 218"));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(display_->waitTitle(win, "[held]", 10)) << display_->title(win);
    // Ended by its key, not by its length: a loaded machine may take long to find the window.
    display_->keys(win, "q");
    EXPECT_EQ(zohost.wait(60), 0);
    const std::vector<Json> caps = readCaptures(dir_ / "caps.jsonl");
    ASSERT_FALSE(caps.empty());
    // Only captures sent before the hold reached the display.
    for (const Json& c : caps) EXPECT_LT(c["clock"].number, 0.5 * 44100) << c["capture"].number;
}

// A sequence in which every stretch of a few samples is unique; another
// `step` gives another sequence.
float uniqueSample(std::size_t n, std::size_t step = 7919) {
    return static_cast<float>(static_cast<double>((n * step + 1) % 10007) / 10007.0 * 0.8 - 0.4);
}

TEST_F(Live, CaptureDeviceInputReachesTheCaptures) {
    std::vector<float> in(44100 * 4);
    for (std::size_t n = 0; n < in.size(); ++n) in[n] = uniqueSample(n);
    {
        std::ofstream f(dir_ / "in.raw", std::ios::binary);
        f.write(reinterpret_cast<const char*>(in.data()), static_cast<std::streamsize>(in.size() * sizeof(float)));
    }
    Process zohost(live({"--pin", "Signal A=input:1", "--set", "Trigger=Aus", "--seconds", "1", "--captures",
                         dir_ / "caps.jsonl", "-q"}),
                   env({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILEIN", dir_ / "in.raw"}}));
    ASSERT_EQ(zohost.wait(60), 0);
    const std::vector<Json> caps = readCaptures(dir_ / "caps.jsonl");
    ASSERT_GE(caps.size(), 3u);
    std::size_t found = 0;
    for (const Json& c : caps) {
        const std::vector<float> a = c["a"].pinValues();
        ASSERT_GE(a.size(), 8u);
        // Where its first samples are in the input; the rest must follow on.
        std::size_t at = in.size();
        for (std::size_t n = 0; n + a.size() <= in.size() && at == in.size(); ++n)
            if (in[n] == a[0] && in[n + 1] == a[1] && in[n + 2] == a[2]) at = n;
        if (at == in.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < a.size(); ++k) same = same && in[at + k] == a[k];
        found += same;
    }
    EXPECT_EQ(found, caps.size());

    // Negative control: a generator on the pin is not found in the input.
    Process other(live({"--pin", "Signal A=sine:441", "--set", "Trigger=Aus", "--seconds", "0.3", "--captures",
                        dir_ / "gen.jsonl", "-q"}),
                  env());
    ASSERT_EQ(other.wait(60), 0);
    const std::vector<Json> gen = readCaptures(dir_ / "gen.jsonl");
    ASSERT_FALSE(gen.empty());
    const std::vector<float> a = gen.back()["a"].pinValues();
    bool hit = false;
    for (std::size_t n = 0; n + 3 <= in.size(); ++n)
        hit = hit || (in[n] == a[1] && in[n + 1] == a[2] && in[n + 2] == a[3]);
    EXPECT_FALSE(hit);
}

TEST_F(Live, OutputDevicePlaysSignalALeftAndSignalBRight) {
    const int rate = 44100;
    for (const char* side : {"a", "b"})
        writeWav(dir_ / (std::string(side) + ".wav"), rate, 1, rate * 4, SF_FORMAT_FLOAT,
                 [side](int, int t) { return uniqueSample(static_cast<std::size_t>(t), *side == 'a' ? 7919 : 4001); });
    Process zohost(live({"--pin", "Signal A=file:" + (dir_ / "a.wav"), "--pin", "Signal B=file:" + (dir_ / "b.wav"),
                         "--set", "Trigger=Aus", "--seconds", "1", "--rate", std::to_string(rate), "-q"},
                        false),
                   env({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", dir_ / "out.raw"}}));
    ASSERT_EQ(zohost.wait(60), 0);
    std::vector<float> played;
    {
        std::ifstream f(dir_ / "out.raw", std::ios::binary);
        float v;
        while (f.read(reinterpret_cast<char*>(&v), sizeof v)) played.push_back(v);
    }
    // How much of one side, its device-short silences left out, is the
    // sequence from its start; -1 when a sample is not.
    auto followsOn = [&](int side, std::size_t step) {
        long n = 0;
        for (std::size_t i = static_cast<std::size_t>(side); i < played.size(); i += 2) {
            if (played[i] == 0.0f) continue;
            if (played[i] != uniqueSample(static_cast<std::size_t>(n), step)) return -1L;
            ++n;
        }
        return n;
    };
    EXPECT_GT(followsOn(0, 7919), rate / 2);
    EXPECT_GT(followsOn(1, 4001), rate / 2);
    // Negative control: the sides are told apart.
    EXPECT_EQ(followsOn(0, 4001), -1);
    EXPECT_EQ(followsOn(1, 7919), -1);
}

TEST_F(Live, LoopPlaysAFileAgain) {
    // A tenth of a second of sine; after it, silence unless it loops.
    writeWav(dir_ / "short.wav", 44100, 1, 4410, SF_FORMAT_FLOAT,
             [](int, int t) { return 0.6f * static_cast<float>(std::sin(6.283185307179586 * 441.0 * t / 44100.0)); });
    auto loudAfterTheEnd = [&](bool loop) {
        std::vector<std::string> args = {"--pin", "Signal A=file:" + (dir_ / "short.wav"), "--set", "Trigger=Auto",
                                         "--seconds", "0.6", "--captures", dir_ / "caps.jsonl", "-q"};
        if (loop) args.push_back("--loop");
        Process zohost(live(args), env());
        EXPECT_EQ(zohost.wait(60), 0);
        float loudest = 0.0f;
        for (const Json& c : readCaptures(dir_ / "caps.jsonl"))
            if (c["clock"].number > 2 * 4410)
                for (float v : c["a"].pinValues()) loudest = std::max(loudest, std::fabs(v));
        return loudest;
    };
    EXPECT_GT(loudAfterTheEnd(true), 0.5f);
    EXPECT_EQ(loudAfterTheEnd(false), 0.0f);
}

TEST_F(Live, AFailedSaveIsSaidOnStandardErrorToo) {
    // S in a working directory that is gone: nothing can be saved there.
    ::mkdir((dir_ / "gone").c_str(), 0755);
    std::vector<std::string> args = {"sh", "-c", "cd \"$0\" && rmdir \"$0\" && exec \"$@\"", dir_ / "gone"};
    for (const std::string& a : live({"--size", "320x200", "--seconds", "60"})) args.push_back(a);
    Process failing(args, env(), "/dev/null", dir_ / "err.txt");
    const std::string win = display_->window("Ondix2");
    ASSERT_FALSE(win.empty()) << "no window; zohost: " << failing.wait(0) << " " << readFile(dir_ / "err.txt");
    display_->keys(win, "s");
    EXPECT_TRUE(waitFor([&] { return readFile(dir_ / "err.txt").find("not saved") != std::string::npos; }))
        << readFile(dir_ / "err.txt");
    display_->keys(win, "q");
    EXPECT_EQ(failing.wait(60), 0);

    // Negative control: where it can save, S says nothing on standard error.
    // On a display of its own: no key sent to the first run is still about.
    display_ = std::make_unique<VirtualDisplay>();
    ASSERT_TRUE(display_->ok());
    ::mkdir((dir_ / "here").c_str(), 0755);
    args[3] = dir_ / "here";
    args[2] = "cd \"$0\" && exec \"$@\"";
    Process saving(args, env(), "/dev/null", dir_ / "err2.txt");
    const std::string win2 = display_->window("Ondix2");
    ASSERT_FALSE(win2.empty()) << "no window: " << saving.wait(0) << " " << readFile(dir_ / "err2.txt");
    display_->keys(win2, "s");
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(dir_ / "here/zohost-live-001.png"); }));
    display_->keys(win2, "q");
    EXPECT_EQ(saving.wait(60), 0);
    EXPECT_EQ(readFile(dir_ / "err2.txt").find("not saved"), std::string::npos) << readFile(dir_ / "err2.txt");
}

// Without a window of the test's own: no display at all, or none by choice.
class LiveHeadless : public ::testing::Test {
protected:
    std::map<std::string, std::string> env(std::map<std::string, std::string> more = {}) const {
        if (!more.count("ZOHOST_LIVE_HEADLESS")) more["ZOHOST_LIVE_HEADLESS"] = "1";
        if (!more.count("DISPLAY")) more["DISPLAY"] = "";
        more["WAYLAND_DISPLAY"] = "";
        more["SDL_AUDIODRIVER"] = "dummy";
        const char* asan = std::getenv("ASAN_OPTIONS");
        more["ASAN_OPTIONS"] = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
        return more;
    }
    std::vector<std::string> live(std::vector<std::string> args) const {
        args.insert(args.begin(), {kZohost, "--live", "--mute", "--size", "160x90"});
        return args;
    }
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
            if (e.path().filename().string().find(".zohost-") != std::string::npos)
                found.push_back(e.path().filename().string());
        return found;
    }
    ScratchDir dir_;
};

TEST_F(LiveHeadless, WithoutADisplayItFailsAtOnceNamingTheDisplayTried) {
    struct Case {
        const char* display;
        const char* said;
    } cases[] = {{"", "DISPLAY is not set"}, {":4711", "\":4711\""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.display);
        Process zohost(live({"--seconds", "600"}), env({{"DISPLAY", c.display}, {"ZOHOST_LIVE_HEADLESS", "0"}}),
                       dir_ / "out", dir_ / "err");
        EXPECT_EQ(zohost.wait(60), 3);
        const std::string err = readFile(dir_ / "err");
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
        EXPECT_NE(err.find("ZOHOST_LIVE_HEADLESS"), std::string::npos) << err;
        EXPECT_EQ(err.find("captures sent"), std::string::npos) << err;
    }
    // Negative control: headless by choice, the same run goes to its end.
    Process zohost(live({"--seconds", "0.2"}), env(), dir_ / "out", dir_ / "err");
    EXPECT_EQ(zohost.wait(60), 0) << readFile(dir_ / "err");
    EXPECT_NE(readFile(dir_ / "err").find("captures sent"), std::string::npos) << readFile(dir_ / "err");
}

TEST_F(LiveHeadless, SdlIsLoadedOnlyWhenTheLiveViewRuns) {
    // The dynamic loader names every library it loads (LD_DEBUG=libs).
    struct Case {
        std::vector<std::string> args;
        bool sdl;
    } cases[] = {
        {{kZohost, "--version"}, false},
        {{kZohost, "--png", dir_ / "p.png", "--seconds", "0.1"}, false},
        {live({"--seconds", "0.1"}), true},  // the negative control: there it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        Process zohost(c.args, env({{"LD_DEBUG", "libs"}}), dir_ / "out", dir_ / "err");
        ASSERT_EQ(zohost.wait(60), 0) << readFile(dir_ / "err");
        const std::string said = readFile(dir_ / "err");
        EXPECT_NE(said.find("calling init:"), std::string::npos) << "no loader lines";
        EXPECT_EQ(said.find("libSDL2") != std::string::npos, c.sdl);
        EXPECT_EQ(said.find("libX11") != std::string::npos, c.sdl);
    }
}

TEST_F(LiveHeadless, SignalsStopItBetweenBlocksAndCapturesComeLineByLine) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        // Files of this signal's own: an earlier run's line must not pass for this one's.
        const std::string caps = dir_ / ("caps-" + std::to_string(sig) + ".jsonl");
        const std::string err = dir_ / ("err-" + std::to_string(sig));
        const std::string snapshot = dir_ / ("s-" + std::to_string(sig) + ".png");
        Process zohost(live({"--captures", "-", "--snapshot", snapshot, "--seconds", "600"}), env(), caps, err);
        // A whole line on standard output while it runs.
        ASSERT_TRUE(waitFor([&] { return readFile(caps).find('\n') != std::string::npos; })) << readFile(err);
        ::kill(zohost.pid(), sig);
        EXPECT_EQ(zohost.wait(60), 128 + sig) << readFile(err);
        EXPECT_NE(readFile(err).find("interrupted"), std::string::npos) << readFile(err);
        const std::string log = readFile(caps);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), '\n');
        EXPECT_FALSE(readCaptures(caps).empty());
        Picture snap;
        EXPECT_TRUE(readPng(snapshot, snap));
        EXPECT_EQ(snap.width, 160);
        EXPECT_EQ(temporaries(), std::vector<std::string>{});
    }
}

TEST_F(LiveHeadless, ASnapshotOnStandardOutputIsOnePictureAndNothingElse) {
    Process zohost(live({"--seconds", "0.3", "--snapshot", "-"}), env(), dir_ / "out", dir_ / "err");
    ASSERT_EQ(zohost.wait(60), 0) << readFile(dir_ / "err");
    expectOnePicture(dir_ / "out", 160);
    EXPECT_NE(readFile(dir_ / "err").find("snapshot written to standard output"), std::string::npos);
}

TEST_F(LiveHeadless, AnOutputThatCannotBeWrittenIsRefusedBeforeTheRun) {
    struct Case {
        const char* option;
        const char* said;
    } cases[] = {{"--snapshot", "zohost: --snapshot: cannot write"}, {"--captures", "zohost: --captures: cannot write"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        Process zohost(live({c.option, dir_ / "no/such/dir/x", "--seconds", "600"}), env(), dir_ / "out",
                       dir_ / "err");
        EXPECT_EQ(zohost.wait(60), 1);
        EXPECT_NE(readFile(dir_ / "err").find(c.said), std::string::npos) << readFile(dir_ / "err");
        EXPECT_EQ(readFile(dir_ / "err").find("captures sent"), std::string::npos) << readFile(dir_ / "err");
    }
}

TEST_F(LiveHeadless, AFilePlayedOnceEndsTheRun) {
    writeWav(dir_ / "short.wav", 44100, 1, 8820, SF_FORMAT_FLOAT, [](int, int t) { return t % 100 < 50 ? 0.5f : -0.5f; });
    Process once(live({"--pin", "Signal A=file:" + (dir_ / "short.wav")}), env(), dir_ / "out", dir_ / "err");
    ASSERT_EQ(once.wait(60), 0) << readFile(dir_ / "err");
    EXPECT_NE(readFile(dir_ / "err").find("ran 0.2"), std::string::npos) << readFile(dir_ / "err");
    EXPECT_NE(readFile(dir_ / "err").find("end of the input files"), std::string::npos) << readFile(dir_ / "err");
    // Negative control: looped, it runs as long as it is told.
    Process looped(live({"--pin", "Signal A=file:" + (dir_ / "short.wav"), "--loop", "--seconds", "0.5"}), env(),
                   dir_ / "out", dir_ / "err");
    ASSERT_EQ(looped.wait(60), 0) << readFile(dir_ / "err");
    EXPECT_NE(readFile(dir_ / "err").find("ran 0.5"), std::string::npos) << readFile(dir_ / "err");
    EXPECT_EQ(readFile(dir_ / "err").find("end of the input files"), std::string::npos) << readFile(dir_ / "err");
}

}  // namespace
}  // namespace zotest
