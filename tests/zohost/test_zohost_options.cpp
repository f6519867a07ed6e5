// zohost's command line: what each option makes of good values, the one
// line and exit status 2 for bad ones, and 3 for a module that cannot be loaded.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ZohostRun.h"
#include "run/ToolOptions.h"

using namespace zohost::tool;

namespace {

struct Parsed {
    int rc;
    ToolOptions options;
    std::string out, err;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "zohost");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    Parsed p;
    std::ostringstream out, err;
    p.rc = parseToolOptions(static_cast<int>(argv.size()), argv.data(), p.options, out, err);
    p.out = out.str();
    p.err = err.str();
    return p;
}

int lines(const std::string& s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace

TEST(ZohostOptions, NoArgumentsPrintUsageAndWriteNothing) {
    Parsed p = parse({});
    EXPECT_EQ(p.rc, 2);
    EXPECT_NE(p.err.find("usage: zohost"), std::string::npos) << p.err;
    EXPECT_TRUE(p.out.empty());
}

TEST(ZohostOptions, Defaults) {
    Parsed p = parse({"--seed", "1"});
    ASSERT_EQ(p.rc, -1) << p.err;
    const ToolOptions& o = p.options;
    EXPECT_FALSE(o.describe);
    EXPECT_TRUE(o.module.empty());
    EXPECT_TRUE(o.pins.empty());
    EXPECT_TRUE(o.sets.empty());
    EXPECT_EQ(o.rate, 44100.0);
    EXPECT_FALSE(o.rate_given);
    EXPECT_EQ(o.block, 512);
    EXPECT_EQ(o.seconds, 1.0);
    EXPECT_FALSE(o.seconds_given);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 360);
    EXPECT_EQ(o.font_height, 0) << "from the picture's height";
    EXPECT_EQ(autoFontHeight(360), 12);
    EXPECT_EQ(autoFontHeight(1080), 36);
    EXPECT_EQ(autoFontHeight(100), 12);
    EXPECT_EQ(o.text_colour, 0x00FFFFFFu);
    EXPECT_EQ(o.background, 0);
    EXPECT_EQ(o.png, "scope.png");
    EXPECT_TRUE(o.frames.empty());
    EXPECT_TRUE(o.captures.empty());
}

TEST(ZohostOptions, GoodValues) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(const ToolOptions&)> check;
    } cases[] = {
        {{"--rate", "48000"}, [](const ToolOptions& o) { EXPECT_EQ(o.rate, 48000.0); EXPECT_TRUE(o.rate_given); }},
        {{"--rate=22050.5"}, [](const ToolOptions& o) { EXPECT_EQ(o.rate, 22050.5); }},
        {{"--block", "1"}, [](const ToolOptions& o) { EXPECT_EQ(o.block, 1); }},
        {{"--block", "65536"}, [](const ToolOptions& o) { EXPECT_EQ(o.block, 65536); }},
        {{"--seconds", "0.25"},
         [](const ToolOptions& o) { EXPECT_EQ(o.seconds, 0.25); EXPECT_TRUE(o.seconds_given); }},
        {{"--size", "200x100"}, [](const ToolOptions& o) { EXPECT_EQ(o.width, 200); EXPECT_EQ(o.height, 100); }},
        {{"--size", "1X1"}, [](const ToolOptions& o) { EXPECT_EQ(o.width, 1); EXPECT_EQ(o.height, 1); }},
        {{"--font-height", "20"}, [](const ToolOptions& o) { EXPECT_EQ(o.font_height, 20); }},
        // RRGGBB on the command line, COLORREF 0x00BBGGRR for the display.
        {{"--text-colour", "102030"}, [](const ToolOptions& o) { EXPECT_EQ(o.text_colour, 0x00102030u); }},
        {{"--text-color", "#A0B0C0"}, [](const ToolOptions& o) { EXPECT_EQ(o.text_colour, 0x00A0B0C0u); }},
        {{"--background", "ff0000"}, [](const ToolOptions& o) { EXPECT_EQ(o.background, 0x00FF0000); }},
        {{"--background", "none"}, [](const ToolOptions& o) { EXPECT_LT(o.background, 0); }},
        {{"--png", "a.png"}, [](const ToolOptions& o) { EXPECT_EQ(o.png, "a.png"); }},
        {{"--no-png"}, [](const ToolOptions& o) { EXPECT_TRUE(o.png.empty()); }},
        {{"--frames", "d", "--captures", "c.jsonl"},
         [](const ToolOptions& o) { EXPECT_EQ(o.frames, "d"); EXPECT_EQ(o.captures, "c.jsonl"); }},
        {{"--seed", "7", "-q"}, [](const ToolOptions& o) { EXPECT_EQ(o.seed, 7u); EXPECT_TRUE(o.quiet); }},
        {{"--describe"}, [](const ToolOptions& o) { EXPECT_TRUE(o.describe); EXPECT_TRUE(o.module.empty()); }},
        {{"--describe", "m.zom"}, [](const ToolOptions& o) { EXPECT_TRUE(o.describe); EXPECT_EQ(o.module, "m.zom"); }},
        {{"m.zom", "--describe"}, [](const ToolOptions& o) { EXPECT_TRUE(o.describe); EXPECT_EQ(o.module, "m.zom"); }},
        {{"other.zom"}, [](const ToolOptions& o) { EXPECT_FALSE(o.describe); EXPECT_EQ(o.module, "other.zom"); }},
        // Each --pin takes one value; the module after it stays positional.
        {{"--pin", "Signal A=sine:440", "--pin", "Time=dc:-0.3", "m.zom"},
         [](const ToolOptions& o) {
             ASSERT_EQ(o.pins.size(), 2u);
             EXPECT_EQ(o.pins[0].pin, "Signal A");
             EXPECT_EQ(o.pins[0].source.kind, SourceKind::Periodic);
             EXPECT_EQ(o.pins[0].source.shape, zohost::gen::Shape::Sine);
             EXPECT_EQ(o.pins[1].pin, "Time");
             EXPECT_EQ(o.pins[1].source.amplitude, -0.3);
             EXPECT_EQ(o.module, "m.zom");
         }},
        {{"--set", "Trigger=InputA", "--set", "Time-Mode=V/1000 Samples"},
         [](const ToolOptions& o) {
             ASSERT_EQ(o.sets.size(), 2u);
             EXPECT_EQ(o.sets[0].pin, "Trigger");
             EXPECT_EQ(o.sets[0].choice, "InputA");
             EXPECT_EQ(o.sets[1].choice, "V/1000 Samples");
         }},
        // Single-valued options: the last one given wins.
        {{"--rate", "48000", "--rate", "22050"}, [](const ToolOptions& o) { EXPECT_EQ(o.rate, 22050.0); }},
        {{"--png", "a.png", "--png", "b.png"}, [](const ToolOptions& o) { EXPECT_EQ(o.png, "b.png"); }},
        // Times in seconds or milliseconds; volts or pin values.
        {{"--seconds", "250ms", "--start", "1.5s", "--at", "2"},
         [](const ToolOptions& o) {
             EXPECT_EQ(o.seconds, 0.25);
             EXPECT_EQ(o.start, 1.5);
             EXPECT_EQ(o.at, 2.0);
         }},
        {{"--scale", "2V"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.scale, 0.2); }},
        {{"--scale", "500mV"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.scale, 0.05); }},
        {{"--pin", "Time=dc:5V", "--pin", "Y-Scale=dc:0.5"},
         [](const ToolOptions& o) {
             EXPECT_DOUBLE_EQ(o.pins.at(0).source.amplitude, 0.5);
             EXPECT_DOUBLE_EQ(o.pins.at(1).source.amplitude, 0.5);
         }},
        {{"--pin", "Signal A=sine:440:3V"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.pins.at(0).source.amplitude, 0.3); }},
        {{"--window", "20ms"}, [](const ToolOptions& o) { EXPECT_EQ(o.window, "20ms"); }},
        // One grammar of units: times, frequencies and levels, with or without their unit.
        {{"--rate", "44.1k"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.rate, 44100.0); }},
        {{"--rate", "48kHz"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.rate, 48000.0); }},
        {{"--rate", "44100Hz"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.rate, 44100.0); }},
        {{"--seconds", "1h"}, [](const ToolOptions& o) { EXPECT_EQ(o.seconds, 3600.0); }},
        {{"--seconds", "4410samples"}, [](const ToolOptions& o) { EXPECT_EQ(o.seconds_samples, 4410.0); }},
        {{"--seconds", "2min", "--start", "500ms"},
         [](const ToolOptions& o) { EXPECT_EQ(o.seconds, 120.0); EXPECT_EQ(o.start, 0.5); }},
        {{"--scale", "0.5"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.scale, 0.05); EXPECT_TRUE(o.scale_given); }},
        {{"--scale", "2"}, [](const ToolOptions& o) { EXPECT_DOUBLE_EQ(o.scale, 0.2); }},
        {{"--frames", "d", "--fps", "12.5Hz"}, [](const ToolOptions& o) { EXPECT_EQ(o.fps, 12.5); }},
        {{"--validate", "--timeout", "2min"}, [](const ToolOptions& o) { EXPECT_EQ(o.timeout, 120.0); }},
        {{"--pin", "Signal A=sine:440Hz", "--pin", "Signal B=saw:1.5kHz", "--pin", "Time=square:2k:1V"},
         [](const ToolOptions& o) {
             EXPECT_EQ(o.pins.at(0).source.hz, 440.0);
             EXPECT_EQ(o.pins.at(1).source.hz, 1500.0);
             EXPECT_EQ(o.pins.at(2).source.hz, 2000.0);
             EXPECT_DOUBLE_EQ(o.pins.at(2).source.amplitude, 0.1);
         }},
        {{"--background", "None"}, [](const ToolOptions& o) { EXPECT_LT(o.background, 0); }},
        {{"--background", "TRANSPARENT"}, [](const ToolOptions& o) { EXPECT_LT(o.background, 0); }},
        {{"--input", "-"}, [](const ToolOptions& o) { EXPECT_EQ(o.input, "-"); }},
        {{"--pin", "Signal A=file:-:2"},
         [](const ToolOptions& o) { EXPECT_EQ(o.pins.at(0).source.path, "-"); EXPECT_EQ(o.pins.at(0).source.channel, 2); }},
        {{"--animation", "a.gif"}, [](const ToolOptions& o) { EXPECT_EQ(o.fps, 25.0) << "real time at 25 frames a second"; }},
        {{"--frames", "d", "--fps", "12.5"}, [](const ToolOptions& o) { EXPECT_EQ(o.fps, 12.5); }},
        {{"--input", "song.wav"}, [](const ToolOptions& o) { EXPECT_EQ(o.input, "song.wav"); }},
        // Split at the first '=': a choice may hold one.
        {{"--set", "X=a=b"}, [](const ToolOptions& o) { EXPECT_EQ(o.sets.at(0).choice, "a=b"); }},
        {{"--live", "--mute", "--loop", "--stats", "--snapshot", "w.png", "--hold-at", "0.5", "--pin",
          "Signal A=input:2"},
         [](const ToolOptions& o) {
             EXPECT_TRUE(o.live && o.mute && o.loop && o.stats);
             EXPECT_EQ(o.snapshot, "w.png");
             EXPECT_EQ(o.hold_at, 0.5);
             EXPECT_EQ(o.pins.at(0).source.kind, zohost::tool::SourceKind::Input);
             EXPECT_EQ(o.pins.at(0).source.channel, 2);
         }},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        ASSERT_EQ(p.rc, -1) << p.err;
        c.check(p.options);
    }
}

// Every option of the parser, given twice: the last one wins. Each value
// option is first given a value it refuses, so an option that kept its
// first value, or refused a second, fails here; a flag given twice is one.
TEST(ZohostOptions, TheLastValueWinsForEveryOption) {
    struct Twice {
        std::vector<std::string> context;  // what the option goes with
        std::string refused = "", taken = "";
    };
    const std::map<std::string, Twice> values = {
        {"--describe", {{"b.zom"}, "a.zom", "b.zom"}},  // a.zom would be a second module
        {"--validate", {{"b.zom"}, "a.zom", "b.zom"}},
        {"--input", {{}, "", "x.wav"}},
        {"--window", {{}, "20parsecs", "20ms"}},
        {"--scale", {{}, "loud", "2V"}},
        {"--rate", {{}, "0", "8000"}},
        {"--block", {{}, "0", "64"}},
        {"--seconds", {{}, "0", "1"}},
        {"--start", {{}, "-1", "0"}},
        {"--at", {{}, "-1", "0.5"}},
        {"--size", {{}, "wide", "10x10"}},
        {"--font-height", {{}, "0", "12"}},
        {"--text-colour", {{}, "G", "102030"}},
        {"--trace-b-colour", {{}, "G", "102030"}},
        {"--readout-colour", {{}, "G", "102030"}},
        {"--figure-colour", {{}, "G", "102030"}},
        {"--background", {{}, "nothing", "none"}},
        {"--png", {{}, "", "a.png"}},
        {"--frames", {{}, "", "d"}},
        {"--fps", {{"--frames", "d"}, "0", "10"}},
        {"--animation", {{}, "", "a.gif"}},
        {"--captures", {{}, "", "c.jsonl"}},
        {"--output", {{}, "", "o.wav"}},
        {"--output-format", {{"--output", "o.wav"}, "wav", "pcm16"}},
        {"--seed", {{}, "-1", "3"}},
        {"--repeat", {{"--validate"}, "0", "2"}},
        {"--timeout", {{"--validate"}, "0", "5"}},
        {"--snapshot", {{"--live"}, "", "s.png"}},
        {"--hold-at", {{"--live"}, "-1", "0.5"}},
        {"--level", {{"--validate"}, "11", "3"}},
        {"--report", {{"--validate"}, "xml r.xml", "junit r.xml"}},  // two words
        // Flags.
        {"--version", {{}, "", ""}}, {"--no-png", {{"--captures", "c.jsonl"}, "", ""}}, {"--overwrite", {{"--frames", "d"}, "", ""}},
        {"--quiet", {{}, "", ""}},
        {"--randomise", {{"--validate"}, "", ""}}, {"--list-tests", {{"--validate"}, "", ""}}, {"--live", {{}, "", ""}},
        {"--mute", {{"--live"}, "", ""}}, {"--loop", {{"--live"}, "", ""}}, {"--stats", {{"--live"}, "", ""}},
        {"--verbose", {{"--validate"}, "", ""}}, {"--force", {{}, "", ""}},
    };
    std::size_t tried = 0;
    for (const OptionInfo& option : toolOptionList()) {
        SCOPED_TRACE(option.name);
        if (option.repeatable || option.name == "--help") continue;
        const auto v = values.find(option.name);
        ASSERT_NE(v, values.end()) << "a new option: add it to this table";
        std::vector<std::string> args = v->second.context;
        if (option.takes_value) {
            for (const std::string& value : {v->second.refused, v->second.taken}) {
                args.push_back(option.name);
                std::istringstream words(value);
                std::string word;
                if (value.empty()) args.push_back(value);
                while (words >> word) args.push_back(word);
            }
        } else {
            args.push_back(option.name);
            args.push_back(option.name);
        }
        const Parsed p = parse(args);
        EXPECT_EQ(p.rc, option.name == "--version" ? 0 : -1) << p.err;
        ++tried;
    }
    EXPECT_EQ(tried, values.size()) << "the table names an option the parser does not have";
    // The negative control: the refused value alone is refused.
    EXPECT_EQ(parse({"--hold-at", "-1", "--live"}).rc, 2);
}

TEST(ZohostOptions, BadValuesGiveOneLineAndStatus2) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--nope"}, "--nope"},
        {{"--rate", "abc"}, "--rate"},
        {{"--rate", "0"}, "--rate"},
        {{"--rate", "nan"}, "--rate"},
        {{"--rate", "inf"}, "--rate"},
        {{"--block", "0"}, "--block"},
        {{"--block", "65537"}, "--block"},
        {{"--block", "1.5"}, "--block"},
        {{"--seconds", "0"}, "--seconds"},
        {{"--seconds", "-1"}, "--seconds"},
        {{"--size", "640"}, "--size"},
        {{"--size", "640x"}, "--size"},
        {{"--size", "0x360"}, "--size"},
        {{"--size", "axb"}, "--size"},
        {{"--font-height", "0"}, "--font-height"},
        {{"--text-colour", "FFF"}, "FFF"},
        {{"--text-colour", "GGGGGG"}, "GGGGGG"},
        {{"--background", "nothing"}, "nothing"},
        {{"--seed", "-1"}, "--seed"},
        {{"--pin", "Signal A"}, "NAME=SOURCE"},
        {{"--pin", "=sine:4"}, "NAME=SOURCE"},
        {{"--pin", "Signal A="}, "NAME=SOURCE"},
        {{"--pin", "Signal A=sine"}, "sine:HZ"},
        {{"--pin", "Signal A=sine:0"}, "frequency"},
        {{"--pin", "Signal A=sine:440:loud"}, "amplitude"},
        {{"--pin", "Signal A=wobble:3"}, "unknown source"},
        {{"--pin", "Signal A=dc"}, "dc:VALUE"},
        {{"--pin", "Signal A=sine:1", "--pin", "Signal A=sine:2"}, "twice"},
        {{"--set", "Trigger"}, "NAME=CHOICE"},
        {{"--set", "Trigger=1", "--set", "Trigger=2"}, "twice"},
        {{"--png", ""}, "--png"},
        {{"--png", "a.png", "--no-png"}, "--no-png"},
        {{"--describe", "a.zom", "b.zom"}, "two modules"},
        {{"--ratte", "48000"}, "did you mean --rate?"},
        {{"--animaton", "a.gif"}, "did you mean --animation?"},
        // A second value after one --pin is no module path.
        {{"--pin", "Signal A=sine:440", "Signal B=sine:660"}, "give each value its own --pin"},
        {{"--set", "Trigger=Auto", "X-Y-Mode=X-Y"}, "give each value its own --pin"},
        {{"--window", "20 furlongs"}, "--window"},
        {{"--window", "-5ms"}, "--window"},
        {{"--seconds", "3 weeks"}, "--seconds"},
        {{"--start", "100samples"}, "samples are a length (--seconds, --window)"},
        {{"--seconds", "10.5samples"}, "whole number of samples"},
        {{"--rate", "44.1kV"}, "--rate"},
        {{"--rate", "fast"}, "should be a frequency"},
        {{"--pin", "Signal A=sine:440V"}, "frequency"},
        {{"--scale", "2W"}, "volts"},
        {{"--window", "20 furlongs"}, "--window"},
        // Options that would do nothing.
        {{"--overwrite"}, "--overwrite goes with --frames"},
        {{"--describe", "--png", "x.png"}, "--png does not go with --describe"},
        {{"--describe", "--pin", "Signal A=sine:1"}, "--pin does not go with --describe"},
        {{"--validate", "--only", ""}, "--only \"\""},
        {{"--validate", "--skip", ""}, "--skip \"\""},
        {{"--input", "-", "--pin", "EXT-Trigger=file:-"}, "standard input (-) can feed one source only"},
        {{"--pin", "Signal A=file:-", "--pin", "Signal B=file:-:2"}, "one source only"},
        {{"--at", "1s", "--no-png"}, "--at"},
        {{"--at", "1s", "--start", "2s"}, "--at"},
        {{"--fps", "10"}, "--fps goes with"},
        {{"--fps", "0", "--frames", "d"}, "--fps"},
        {{"--pin", "Time=dc:5W"}, "volts"},
        {{"--mute"}, "--live"},
        {{"--snapshot", "w.png"}, "--live"},
        {{"--hold-at", "1"}, "--live"},
        {{"--pin", "Signal A=input:1"}, "--live"},
        {{"--live", "--pin", "Signal A=input:0"}, "channel"},
        {{"--live", "--pin", "Signal A=input"}, "input:CHANNEL"},
        {{"--live", "--hold-at", "-1"}, "--hold-at"},
        {{"--live", "--snapshot", ""}, "--snapshot"},
        {{"--live", "--animation", "a.gif"}, "--animation does not go with --live"},
        {{"--live", "--window", "20ms"}, "--window does not go with --live"},
        {{"--validate", "--level", "0"}, "--level"},
        {{"--validate", "--level", "11"}, "--level"},
        {{"--validate", "--report", "xml", "r.xml"}, "junit FILE"},
        {{"--validate", "--report", "junit", "-"}, "--report"},
        {{"--skip", "args."}, "--skip goes with --validate"},
        {{"--report", "json", "r.json"}, "--report goes with --validate"},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(p.rc, 2);
        EXPECT_EQ(lines(p.err), 1) << p.err;
        EXPECT_NE(p.err.find(c.says), std::string::npos) << p.err;
        EXPECT_TRUE(p.out.empty());
    }
}

// What would be silently dropped is said on standard error, and the run goes on.
TEST(ZohostOptions, ASecondInputIsSaidToReplaceTheFirst) {
    Parsed twice = parse({"--input", "a.wav", "--input", "b.wav"});
    ASSERT_EQ(twice.rc, -1) << twice.err;
    EXPECT_EQ(twice.options.input, "b.wav");
    EXPECT_NE(twice.err.find("warning: --input is given 2 times; only the last, b.wav, is read"), std::string::npos)
        << twice.err;
    // The negative control: one --input says nothing.
    Parsed once = parse({"--input", "b.wav"});
    ASSERT_EQ(once.rc, -1);
    EXPECT_EQ(once.err, "");
}

// The help lists the units once, and every option that takes one names its kind.
TEST(ZohostOptions, HelpListsTheUnitsOnce) {
    Parsed p = parse({"--help"});
    ASSERT_EQ(p.rc, 0);
    const std::size_t units = p.out.find("UNITS");
    ASSERT_NE(units, std::string::npos);
    EXPECT_EQ(p.out.find("UNITS", units + 1), std::string::npos) << "listed twice";
    for (const char* word : {"1h", "2min", "250ms", "4410samples", "44.1k", "1.5kHz", "250mV"})
        EXPECT_NE(p.out.find(word, units), std::string::npos) << word;
    for (const char* option : {"--rate FREQ", "--seconds TIME", "--start TIME", "--window LENGTH", "--scale LEVEL",
                               "--hold-at TIME", "--timeout TIME", "--fps FREQ"})
        EXPECT_NE(p.out.find(option), std::string::npos) << option;
}

TEST(ZohostOptions, DescribeExplainsEveryPinAndChoiceInEnglish) {
    zotest::ToolRun r = zotest::runZohost({"--describe", ZO_MODULE_PATH});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string english = r.out.substr(r.out.find("in English"));
    for (const char* line : {"\"Time\"         default 5 V", "\"Trigger\"      default InputA", "2 \"V/zehntel Sek.\"",
                             "a tenth of a second", "(also: tenths", "0 \"Aus\""})
        EXPECT_NE(english.find(line), std::string::npos) << line << "\n" << english;
    // Every pin and every choice has its explanation.
    std::size_t described = 0;
    std::istringstream in(english);
    std::string text;
    std::getline(in, text);
    while (std::getline(in, text)) {
        ++described;
        EXPECT_GT(text.size(), 40u) << "no explanation: " << text;
    }
    EXPECT_EQ(described, 8u + 3u + 5u + 4u);
}

TEST(ZohostOptions, VersionSaysItsNameAndStops) {
    Parsed p = parse({"--version", "--png", ""});
    EXPECT_EQ(p.rc, 0);
    EXPECT_EQ(p.out.rfind("zohost ", 0), 0u) << p.out;
    EXPECT_EQ(lines(p.out), 1);
}

TEST(ZohostOptions, HelpNamesEveryOptionAndEverySource) {
    Parsed p = parse({"--help"});
    EXPECT_EQ(p.rc, 0);
    for (const char* word : {"--pin", "--set", "--rate", "--block", "--seconds", "--size", "--font-height",
                             "--text-colour", "--background", "--png", "--frames", "--captures",
                             "--describe", "--window", "--scale", "--at", "--start", "--fps", "--animation",
                             "--input", "--overwrite", "--version", "--live", "--mute", "--loop",
                             "--snapshot", "--stats", "--hold-at", "--force", "sine:HZ", "square:HZ", "saw:HZ", "triangle:HZ", "noise",
                             "dc:VALUE", "file:PATH", "input:CHANNEL", "off", "Exit status"})
        EXPECT_NE(p.out.find(word), std::string::npos) << word;
}

// Through the whole command: names and files are checked against what
// exists, after the options' form.
TEST(ZohostOptions, ExitStatusesOfTheCommand) {
    const std::string module = ZO_MODULE_PATH;
    struct Case {
        std::vector<std::string> args;
        int rc;
        const char* says;
    } cases[] = {
        {{module, "--pin", "Signal C=sine:3"}, 2, "\"Signal B\", \"Time\", \"Y-Scale\", \"EXT-Trigger\""},
        {{module, "--pin", "Trigger=sine:3"}, 2, "no sample input \"Trigger\""},
        {{module, "--pin", "Time=dc:0.1", "--pin", "TIME=dc:0.2"}, 2, "\"Time\" is given twice"},
        {{module, "--set", "Signal A=1"}, 2, "no list pin \"Signal A\""},
        {{module, "--set", "Trigger=Foo"}, 2, "Aus=0, InputA=1, InputB=2, Auto=3, EXT=4"},
        {{module, "--set", "Trigger=7"}, 2, "no choice \"7\""},
        {{module, "--set", "Time-Mode=4"}, 2, "V/1000 Samples=3"},
        {{module, "--window", "2s"}, 2, "the module's captures are 1 to 44100 samples"},
        {{module, "--window", "2min"}, 2, "--window 120 s: 5292000 samples at 44100 Hz"},
        {{module, "--scale", "20V"}, 2, "--scale: 20 V is outside 0 V..10 V"},
        {{module, "--scale", "-1"}, 2, "--scale: -1 V is outside"},
        {{module, "--window", "0.5Hz"}, 2, "nearest it shows"},
        {{module, "--window", "20ms", "--set", "Time-Mode=1"}, 2, "--window sets"},
        {{module, "--pin", "Signal A=file:/tmp"}, 2, "directory"},
        {{module, "--input", "s.wav", "--pin", "Signal A=sine:3"}, 2, "--input feeds"},
        {{module, "--pin", "Signal A=file:/nonexistent/take.wav"}, 2, "/nonexistent/take.wav"},
        {{"/nonexistent/missing.zom"}, 3, "missing.zom"},
        {{"--describe", "/nonexistent/missing.zom"}, 3, "missing.zom"},
        {{ZO_FAKE_NOMAKE}, 3, "FakeNoMake"},
        {{"--describe", ZO_FAKE_NOMAKE}, 3, "FakeNoMake"},
    };
    for (const Case& c : cases) {
        zotest::ToolRun r = zotest::runZohost(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}
