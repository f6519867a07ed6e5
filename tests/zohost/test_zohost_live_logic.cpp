// What the live window decides without a window: the platform's key codes,
// the action of each key and what it turns, the title and the status bar,
// the window's parts, and the name a saved picture gets. The window itself
// is test_zohost_live.cpp's (Linux) and live_window_wine.sh's (Windows).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "live/LiveKeys.h"
#include "live/LiveWindow.h"
#include "zohost/Canvas.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <SDL_keycode.h>
#endif

using namespace zohost::live;

namespace {

struct Code {
    std::int32_t code;
    LiveKey key;
};

#ifdef _WIN32
// Virtual keys: capitals for letters; the small letters are other keys
// ('t' is F5, 'q' F2, 'h' the keypad's 8).
const std::vector<Code> kCodes = {
    {'T', LiveKey::T},       {'X', LiveKey::X},        {'M', LiveKey::M},       {VK_RIGHT, LiveKey::Right},
    {VK_LEFT, LiveKey::Left}, {VK_UP, LiveKey::Up},     {VK_DOWN, LiveKey::Down}, {VK_SPACE, LiveKey::Space},
    {'S', LiveKey::S},       {VK_F1, LiveKey::F1},     {'H', LiveKey::H},       {'Q', LiveKey::Q},
    {VK_ESCAPE, LiveKey::Escape}, {'t', LiveKey::Other}, {'q', LiveKey::Other}, {'h', LiveKey::Other},
    {VK_SHIFT, LiveKey::Other}, {'A', LiveKey::Other},
};
#else
// SDL key codes: small letters, whatever the shift.
const std::vector<Code> kCodes = {
    {SDLK_t, LiveKey::T},        {SDLK_x, LiveKey::X},         {SDLK_m, LiveKey::M},
    {SDLK_RIGHT, LiveKey::Right}, {SDLK_LEFT, LiveKey::Left},   {SDLK_UP, LiveKey::Up},
    {SDLK_DOWN, LiveKey::Down},  {SDLK_SPACE, LiveKey::Space}, {SDLK_s, LiveKey::S},
    {SDLK_F1, LiveKey::F1},      {SDLK_h, LiveKey::H},         {SDLK_q, LiveKey::Q},
    {SDLK_ESCAPE, LiveKey::Escape}, {'T', LiveKey::Other},     {'Q', LiveKey::Other},
    {SDLK_LSHIFT, LiveKey::Other}, {SDLK_a, LiveKey::Other},
};
#endif

TEST(LiveLogic, PlatformKeyCodesReachEveryKeyOnce) {
    std::set<int> reached;
    for (const Code& c : kCodes) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(platformKey(c.code), c.key);
        if (c.key != LiveKey::Other) {
            EXPECT_TRUE(reached.insert(static_cast<int>(c.key)).second);
        }
    }
    EXPECT_EQ(reached.size(), static_cast<std::size_t>(LiveKey::Other));
}

TEST(LiveLogic, KeysGiveTheirActionsWithAndWithoutShift) {
    using A = LiveAction;
    struct Case {
        LiveKey key;
        A plain, shifted;
    } cases[] = {
        {LiveKey::T, A::TriggerNext, A::TriggerPrevious},  {LiveKey::X, A::XyModeNext, A::XyModePrevious},
        {LiveKey::M, A::TimeModeNext, A::TimeModePrevious}, {LiveKey::Right, A::TimeUp, A::TimeUp},
        {LiveKey::Left, A::TimeDown, A::TimeDown},          {LiveKey::Up, A::YScaleUp, A::YScaleUp},
        {LiveKey::Down, A::YScaleDown, A::YScaleDown},      {LiveKey::Space, A::Hold, A::Hold},
        {LiveKey::S, A::Save, A::Save},                     {LiveKey::F1, A::Help, A::Help},
        {LiveKey::H, A::Help, A::Help},                     {LiveKey::Q, A::Quit, A::Quit},
        {LiveKey::Escape, A::Quit, A::Quit},                {LiveKey::Other, A::None, A::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        EXPECT_EQ(actionForKey(c.key, false), c.plain);
        EXPECT_EQ(actionForKey(c.key, true), c.shifted);
    }
    // Every key but Other has a line of help, naming the pins the module's profile gives.
    LiveSettings named;
    named.trigger.pin = "Trig";
    named.time.pin = "Span";
    const std::vector<std::string> help = keyHelp(named);
    EXPECT_EQ(help.size(), 9u);
    EXPECT_EQ(help[0], "T / Shift+T   Trig: next / previous choice");
    EXPECT_EQ(help[3], "Right / Left  Span: up / down 0.5 V");
}

LiveSettings someSettings() {
    LiveSettings s;
    s.trigger = ListSetting{"Trigger", 3, {"Aus", "InputA", "InputB"}, {0, 1, 2}, 1};
    s.xy_mode = ListSetting{"X-Y-Mode", 4, {"Aus", "X-Y"}, {0, 1}, 0};
    s.time_mode = ListSetting{"Time-Mode", -1, {}, {}, 0};  // a module without it
    s.time.pin = "Time";
    s.time.volts = 5.0;
    s.y_scale.pin = "Y-Scale";
    s.y_scale.volts = 1.0;
    return s;
}

TEST(LiveLogic, KeysTurnSettingsHoldAndHelp) {
    using A = LiveAction;
    struct Case {
        A action;
        KeyEffect effect;
        const char* text;  // the settings after it, from someSettings()
        bool held = false, help = false;
    } cases[] = {
        {A::TriggerNext, KeyEffect::Settings, "Trigger=InputB  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
        {A::TriggerPrevious, KeyEffect::Settings, "Trigger=Aus  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
        {A::XyModePrevious, KeyEffect::Settings, "Trigger=InputA  X-Y-Mode=X-Y  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
        {A::TimeModeNext, KeyEffect::Settings, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
        {A::TimeUp, KeyEffect::Settings, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5.5 V  Y-Scale=1 V"},
        {A::YScaleDown, KeyEffect::Settings, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=0.5 V"},
        {A::Hold, KeyEffect::Hold, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V", true},
        {A::Help, KeyEffect::Help, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V", false, true},
        {A::Save, KeyEffect::Save, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
        {A::Quit, KeyEffect::Quit, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
        {A::None, KeyEffect::None, "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.action));
        LiveSettings s = someSettings();
        bool help = false;
        EXPECT_EQ(applyKey(c.action, s, help), c.effect);
        EXPECT_EQ(s.text(), c.text);
        EXPECT_EQ(s.held, c.held);
        EXPECT_EQ(help, c.help);
    }
    // Hold and help toggle back.
    LiveSettings s = someSettings();
    bool help = false;
    for (int i = 0; i < 2; ++i) {
        applyKey(A::Hold, s, help);
        applyKey(A::Help, s, help);
    }
    EXPECT_FALSE(s.held);
    EXPECT_FALSE(help);
}

TEST(LiveLogic, SettingsStepRoundWrapAndStayInRange) {
    LiveSettings s = someSettings();
    s.trigger.step(2);
    EXPECT_EQ(s.trigger.label(), "Aus");  // past the last choice to the first
    s.trigger.step(-1);
    EXPECT_EQ(s.trigger.value(), 2);
    s.trigger.select(1);
    EXPECT_EQ(s.trigger.label(), "InputA");
    s.trigger.select(7);  // no such value: stays
    EXPECT_EQ(s.trigger.label(), "InputA");
    struct Level {
        double volts;
        int by;
        double after;
    } levels[] = {
        {5.0, 1, 5.5}, {0.3, 1, 1.0}, {0.3, -1, 0.0}, {0.2, 0, 0.0}, {0.0, -1, 0.0}, {9.8, 1, 10.0}, {10.0, 3, 10.0},
    };
    for (const Level& l : levels) {
        SCOPED_TRACE(l.volts);
        LevelSetting level;
        level.volts = l.volts;
        level.step(l.by);
        EXPECT_DOUBLE_EQ(level.volts, l.after);
    }
}

TEST(LiveLogic, TitleAndStatusSayTheSettingsTheHoldAndTheFigures) {
    LiveSettings s = someSettings();
    const std::string settings = "Trigger=InputA  X-Y-Mode=Aus  Time-Mode=-  Time=5 V  Y-Scale=1 V";
    EXPECT_EQ(liveTitle("Ondix2", s), "Ondix2 - " + settings);
    EXPECT_EQ(liveStatus(s, nullptr, ""), settings);
    s.held = true;
    EXPECT_EQ(liveTitle("Ondix2", s), "Ondix2 - " + settings + "  [held]");
    LiveFigures f;
    f.fps = 45.6;
    f.latency_seconds = 0.0019;
    f.late = 3;
    f.dropped = 12;
    EXPECT_EQ(liveStatus(s, &f, "saved zohost-live-002.png"),
              "HOLD  saved zohost-live-002.png  " + settings + "  46 fps  2 ms  late 3  dropped 12");
    s.held = false;
    EXPECT_EQ(liveStatus(s, nullptr, "not saved: disk full"), "not saved: disk full  " + settings);
}

TEST(LiveLogic, TheStatusBarDropsWholeFieldsFromTheRight) {
    LiveSettings s = someSettings();
    s.held = true;
    LiveFigures f{45.6, 0.0019, 3, 12};
    const std::vector<std::string> fields = liveStatusFields(s, &f, "not saved: cannot write zohost-live-001.png");
    const std::string all = liveStatus(s, &f, "not saved: cannot write zohost-live-001.png");
    // Each width shows the fields that fit, whole, from the first.
    for (std::size_t columns = 0; columns <= all.size() + 2; ++columns) {
        SCOPED_TRACE(columns);
        const std::string shown = fitStatus(fields, columns);
        EXPECT_LE(shown.size(), columns);
        std::size_t whole = 0;
        std::string joined;
        while (whole < fields.size() && (joined.empty() ? fields[whole] : joined + "  " + fields[whole]).size() <= columns)
            joined = joined.empty() ? fields[whole++] : joined + "  " + fields[whole++];
        EXPECT_EQ(shown, joined);
    }
    EXPECT_EQ(fitStatus(fields, all.size()), all);
    EXPECT_EQ(fitStatus(fields, 4), "HOLD");
    EXPECT_EQ(fitStatus(fields, 3), "");
}

TEST(LiveLogic, TheStatusBarFitsItsFontAtEveryWindowSize) {
    // Its own font size: the same at 640x360 and 1920x1080, and each
    // character cell wide enough for the font's widest glyph.
    LiveLook look;
    EXPECT_EQ(look.font_height, 12);
    struct Case {
        int width;
        std::size_t columns;
    } cases[] = {{640, 79}, {1920, 239}, {320, 39}, {8, 0}, {0, 0}};
    for (const Case& c : cases) EXPECT_EQ(look.barColumns(c.width), c.columns) << c.width;
    // Drawn, a bar's worth of the widest letters stays inside the bar.
    const int width = 200;
    const std::string text(look.barColumns(width), 'W');
    zohost::Canvas canvas(width + 40, look.barHeight(), 0);
    look.drawBar(canvas.dc(), LiveRect{0, 0, width, look.barHeight()}, {text});
    int rightmost = -1;
    for (int y = 0; y < look.barHeight(); ++y)
        for (int x = 0; x < width + 40; ++x)
            if ((canvas.pixel(x, y) & 0xFF) > 0x80) rightmost = std::max(rightmost, x);
    EXPECT_GT(rightmost, width / 2) << "nothing drawn";
    EXPECT_LT(rightmost, width);
    // Negative control: a third more characters reach past the bar, so
    // the check above can see an overrun.
    zohost::Canvas wider(width + 80, look.barHeight(), 0);
    look.drawBar(wider.dc(), LiveRect{0, 0, width + 80, look.barHeight()}, {text + std::string(8, 'W')});
    int past = -1;
    for (int y = 0; y < look.barHeight(); ++y)
        for (int x = 0; x < width + 80; ++x)
            if ((wider.pixel(x, y) & 0xFF) > 0x80) past = std::max(past, x);
    EXPECT_GE(past, width);
}

TEST(LiveLogic, WindowPartsSitUnderAndOverTheDisplay) {
    LiveLook look;
    look.font_height = 12;
    EXPECT_EQ(look.barHeight(), 18);
    struct Case {
        int w, h;
        int display_h;
    } cases[] = {{640, 378, 360}, {320, 218, 200}, {100, 18, 1}, {100, 5, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.h);
        EXPECT_EQ(look.displayHeight(c.h), c.display_h);
        const LiveRect bar = look.barRect(c.w, c.h);
        EXPECT_EQ(bar.x, 0);
        EXPECT_EQ(bar.w, c.w);
        EXPECT_EQ(bar.y + bar.h, std::max(c.h, bar.h));
        const LiveRect help = look.helpRect(c.w, c.h);
        EXPECT_GE(help.x, 0);
        EXPECT_GE(help.y, 0);
        EXPECT_LE(help.x + help.w, c.w);
        EXPECT_LE(help.h, c.h);
        // Centred across, and over the display's part when it fits.
        EXPECT_LE(std::abs(help.x - (c.w - help.x - help.w)), 1);
        if (help.h <= c.display_h) {
            EXPECT_LE(help.y + help.h, c.display_h);
        }
    }
}

namespace fs = std::filesystem;

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LiveLogic, SavedPicturesTakeTheFirstFreeNumberAndReplaceNothing) {
    EXPECT_EQ(numberedName(kSavePattern, 7), "zohost-live-007.png");
    EXPECT_EQ(numberedName(kSavePattern, 1234), "zohost-live-1234.png");

    const fs::path dir = fs::path(::testing::TempDir()) / "zohost-live-save";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string pattern = (dir / kSavePattern).string();
    for (int n : {1, 3}) std::ofstream(numberedName(pattern, n)) << "kept " << n;
    const std::uint32_t pixels[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0, 0xFFFFFF, 0x808080};
    std::vector<std::string> got;
    for (int i = 0; i < 2; ++i) {
        std::string written, error;
        ASSERT_TRUE(savePicture(pattern, true, pixels, 3, 2, written, error)) << error;
        got.push_back(fs::path(written).filename().string());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"zohost-live-002.png", "zohost-live-004.png"}));
    EXPECT_EQ(contents(dir / "zohost-live-001.png"), "kept 1");
    EXPECT_EQ(contents(dir / "zohost-live-003.png"), "kept 3");
    EXPECT_EQ(contents(dir / "zohost-live-002.png").substr(1, 3), "PNG");
    // Nothing else is left behind.
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 4u);
    fs::remove_all(dir);
}

}  // namespace
