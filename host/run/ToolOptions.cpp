#include "run/ToolOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "run/SoundWriter.h"
#include "run/Units.h"
#include "ScopePins.h"
#include "ScopeProfile.h"
#include "ZoVersion.h"

namespace zohost::tool {

namespace {

const char* const kUsageLine =
    "usage: zohost [MODULE] [--pin NAME=SOURCE]... [--set NAME=CHOICE]... [--png FILE|-] [OPTIONS]\n"
    "       zohost --describe [MODULE] | --validate [MODULE] | --help | --version\n";

// The help's closing text; the scope's pin names come from its profile, as
// the default module's.
std::string footer() {
    using namespace scope::pins;
    const ModuleProfile& scope = scope::scopeProfile();
    std::string demo = "Without --pin:";
    for (const ModuleProfile::Assign& a : scope.demo_pins) {
        const InputSource s = parseSource(a.value);
        char what[64];
        std::snprintf(what, sizeof what, " a %g Hz %s", s.hz, kindName(s));
        demo += std::string(&a == scope.demo_pins.data() ? "" : ",") + what + " on \"" + a.pin + "\"";
    }
    for (const ModuleProfile::Assign& a : scope.demo_sets) demo += std::string(",\nand ") + a.pin + "=" + a.value;
    demo += " unless --set gives it.";
    std::string shapes;
    for (const gen::NamedShape& n : gen::namedShapes()) shapes += std::string("  ") + n.word + ":HZ[:AMP]";
    return std::string(kUnitsHelp) + R"(

SOURCE (AMP defaults to 8V):
)" + shapes + R"(
                      periodic, rising through 0 at clock 0
  noise[:AMP]         white, repeatable for a given --seed
  dc:VALUE            constant (dc:5V, or dc:0.5 in pin units)
  file:PATH[:CHANNEL] a sound file (any format libsndfile reads), channel
                      counted from 1; played at the run's rate, without
                      resampling; - is standard input (one source only).
                      The first file's rate is the default --rate, and
                      the longest file's length the default --seconds.
                      --input FILE is ")" + kSignalA + R"(" from channel 1 and
                      ")" + kSignalB + R"(" from channel 2 (a mono file: A only).
  input:CHANNEL       a channel of the default capture device (--live only)
  off                 not connected
)" + demo + R"( Unconnected inputs carry their
default values; list pins start at their defaults.

Messages between the audio and display objects travel between blocks, as
through a host's window thread; the display is painted after each block in
which it asked for a repaint, and only when a picture is wanted.

--captures writes one JSON line per capture message (levels in volts):
  {"capture":1,"clock":N,"size":N,"rate":R,"time":T,"y_scale":Y,
   "x_y_mode":M,"trigger":G,"active":[A,B],"a":[...],"b":[...]}
  where clock is the host sample clock at the start of the processing call
  that sent it.

Outputs are written to a temporary file and renamed into place when
complete; a file that cannot be written is left as it was. "-" is standard
output for --png, --captures and --snapshot; status lines go to standard
error whenever standard output is not a terminal or carries an output. A
picture is not written to a terminal unless --force (-f) is given.
SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break, a closed console) stop a
run after its block: whole outputs are kept, temporary files removed.
Warnings go to standard error.

Exit status: 0 done, 1 an output could not be written, 2 bad usage (option,
value, file, pin or choice), 3 the module could not be loaded or --live
has no display, 128+N stopped by signal N (130 for SIGINT; what was
written is whole).)";
}

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

// "--ratte" -> "--rate", from the app's own long names.
std::string nearestOption(const CLI::App& app, const std::string& word) {
    std::string name = word.substr(0, word.find('='));
    std::string best;
    std::size_t best_d = 3;
    for (const CLI::Option* opt : app.get_options()) {
        for (const std::string& l : opt->get_lnames()) {
            const std::size_t d = editDistance(name, "--" + l);
            if (d < best_d) {
                best_d = d;
                best = "--" + l;
            }
        }
    }
    return best;
}

bool sameWord(const std::string& a, const char* b) {
    std::string lower = a;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == b;
}

int parseInt(const std::string& text, const char* option, long lo, long hi) {
    const char* s = text.c_str();
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (text.empty() || *end != '\0' || std::isspace(static_cast<unsigned char>(text[0])))
        throw UsageError(std::string(option) + ": \"" + text + "\" is not a whole number");
    if (v < lo || v > hi)
        throw UsageError(std::string(option) + ": " + text + " is outside " + std::to_string(lo) + ".." +
                         std::to_string(hi));
    return static_cast<int>(v);
}

struct Texts {
    std::string describe_module, validate_module, module;
    std::string repeat, timeout, level;
    std::vector<std::string> report;
    std::vector<std::string> pins, sets;
    std::string rate, block, seconds, size, font_height, text_colour, background, seed;
    std::string start, at, scale, fps;
    std::string trace_b_colour, readout_colour, figure_colour;
    bool no_png = false;
    std::string hold_at;
};

void checkOutput(const CLI::App& app, const ToolOptions& o) {
    SampleFormat format;
    if (!parseSampleFormat(o.output_format, format))
        throw UsageError("--output-format: \"" + o.output_format + "\" should be float, pcm16 or pcm24");
    if (app.count("--output-format") && o.output.empty()) throw UsageError("--output-format goes with --output");
    if (app.count("--output") && o.output.empty()) throw UsageError("--output: no file name");
}

double secondsOf(const std::string& text, const char* option) {
    try {
        return parseSeconds(text, option);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

double frequencyOf(const std::string& text, const char* option) {
    try {
        return parseFrequency(text, option);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

// The mode and the module: common to all.
void checkModule(const Texts& t, const CLI::App& app, ToolOptions& o) {
    o.describe = app.count("--describe") > 0;
    o.validate = app.count("--validate") > 0;
    if (o.describe && o.validate) throw UsageError("--describe and --validate together");
    const std::string& named = o.validate ? t.validate_module : t.describe_module;
    o.module = !named.empty() ? named : t.module;
    if (!named.empty() && !t.module.empty() && named != t.module)
        throw UsageError("two modules given: " + named + " and " + t.module);
}

// --validate's own options.
void checkValidate(const Texts& t, const CLI::App& app, ToolOptions& o) {
    if (!o.validate)
        for (const char* v : {"--repeat", "--randomise", "--timeout", "--only", "--list-tests", "--skip", "--level",
                              "--verbose", "--report"})
            if (app.count(v)) throw UsageError(std::string(v) + " goes with --validate");
    if (app.count("--repeat")) o.repeat = parseInt(t.repeat, "--repeat", 1, 100000);
    if (app.count("--level")) o.level = parseInt(t.level, "--level", 1, 10);
    if (app.count("--report")) {
        if (t.report.size() != 2 || (t.report[0] != "junit" && t.report[0] != "json"))
            throw UsageError("--report: junit FILE or json FILE");
        if (t.report[1] == "-") throw UsageError("--report: a file; standard output carries the test lines");
        o.report_kind = t.report[0];
        o.report = t.report[1];
    }
    if (app.count("--timeout")) {
        o.timeout = secondsOf(t.timeout, "--timeout");
        if (o.timeout <= 0.0 || o.timeout > 86400.0) throw UsageError("--timeout: " + t.timeout + " is outside (0, 86400]");
    }
}

// What feeds the module: common to every mode that runs it.
void checkInputs(const Texts& t, const CLI::App& app, ToolOptions& o) {
    o.seed_given = app.count("--seed") > 0;
    for (const std::string& a : t.pins) {
        PinAssignment p;
        std::string source;
        splitAssignment(a, "--pin", p.pin, source);
        try {
            p.source = parseSource(source);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--pin \"") + p.pin + "\": " + e.what());
        }
        for (const PinAssignment& q : o.pins)
            if (q.pin == p.pin) throw UsageError("--pin \"" + p.pin + "\" is given twice");
        o.pins.push_back(p);
    }
    for (const std::string& a : t.sets) {
        ChoiceAssignment c;
        splitAssignment(a, "--set", c.pin, c.choice);
        for (const ChoiceAssignment& q : o.sets)
            if (q.pin == c.pin) throw UsageError("--set \"" + c.pin + "\" is given twice");
        o.sets.push_back(c);
    }
}

// Rate, block and length of the run.
void checkRun(const Texts& t, const CLI::App& app, ToolOptions& o) {
    if (app.count("--rate")) {
        o.rate = frequencyOf(t.rate, "--rate");
        if (o.rate < 1.0 || o.rate > 1e6) throw UsageError("--rate: " + t.rate + " is outside 1..1000000 Hz");
        o.rate_given = true;
    }
    if (app.count("--block")) o.block = parseInt(t.block, "--block", 1, 65536);
    if (app.count("--seconds")) {
        try {
            o.seconds = parseLength(t.seconds, "--seconds", o.seconds_samples);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
        // In samples: seconds at this rate for the check, again at the run's rate once files are open.
        if (o.seconds_samples > 0.0) o.seconds = o.seconds_samples / o.rate;
        if (o.seconds <= 0.0 || o.seconds > 86400.0)
            throw UsageError("--seconds: " + t.seconds + " is outside (0, 86400]");
        o.seconds_given = true;
    }
    if (app.count("--start")) {
        o.start = secondsOf(t.start, "--start");
        if (o.start < 0.0 || o.start > 86400.0) throw UsageError("--start: " + t.start + " is outside [0, 86400]");
    }
}

// The pictures of a render, and what they show.
void checkPictures(const Texts& t, const CLI::App& app, ToolOptions& o) {
    if (t.no_png) {
        if (app.count("--png")) throw UsageError("--png and --no-png together");
        o.png.clear();
    } else if (o.png.empty()) {
        throw UsageError("--png: no file name");
    } else if (!app.count("--png") && (app.count("--frames") || app.count("--captures") || app.count("--animation") ||
                                       app.count("--output"))) {
        o.png.clear();  // the default picture only when nothing else is asked for
    }
    if (app.count("--at")) {
        o.at = secondsOf(t.at, "--at");
        if (o.at < o.start || o.at > 86400.0)
            throw UsageError("--at: " + t.at + " is before --start or past a day");
        if (o.png.empty()) throw UsageError("--at chooses the --png picture, and there is none");
    }
    if (app.count("--window")) {
        try {
            parseWindow(o.window);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
    }
    if (app.count("--scale")) {
        try {
            o.scale = parseVolts(t.scale, "--scale");
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
        o.scale_given = true;  // its range is the module's
    }
    if (app.count("--fps")) {
        o.fps = frequencyOf(t.fps, "--fps");
        if (o.fps <= 0.0 || o.fps > 1000.0) throw UsageError("--fps: " + t.fps + " is outside (0, 1000]");
    }
    if (!o.animation.empty() && o.fps == 0.0) o.fps = 25.0;
    if (o.fps > 0.0 && o.frames.empty() && o.animation.empty())
        throw UsageError("--fps goes with --frames or --animation");
    if (app.count("--animation") && o.animation.empty()) throw UsageError("--animation: no file name");
    if (app.count("--input") && o.input.empty()) throw UsageError("--input: no file name");
    if (app.count("--frames") && o.frames.empty()) throw UsageError("--frames: no directory");
    if (app.count("--captures") && o.captures.empty()) throw UsageError("--captures: no file name");
}

// The look: size, font and colours, for pictures and the live window alike.
void checkLook(const Texts& t, const CLI::App& app, ToolOptions& o) {
    // A NAME=VALUE where the module goes: a second value meant for --pin or --set.
    if (t.module.find('=') != std::string::npos && !std::filesystem::exists(t.module))
        throw UsageError("\"" + t.module + "\" is not a module file; give each value its own --pin or --set");
    if (app.count("--size")) parseSize(t.size, o.width, o.height);
    if (app.count("--font-height")) o.font_height = parseInt(t.font_height, "--font-height", 1, 512);
    if (app.count("--no-png") && app.count("--at")) throw UsageError("--at chooses the --png picture, and there is none");
    if (app.count("--text-colour")) o.text_colour = parseColour(t.text_colour);
    if (app.count("--background")) {
        if (sameWord(t.background, "none") || sameWord(t.background, "transparent"))
            o.background = -1;
        else
            o.background = parseColour(t.background);
    }
    auto rgb = [](const std::string& text) { return static_cast<std::int64_t>(parseColour(text)); };
    if (app.count("--trace-b-colour")) o.trace_b_colour = rgb(t.trace_b_colour);
    if (app.count("--readout-colour")) o.readout_colour = rgb(t.readout_colour);
    if (app.count("--figure-colour")) o.figure_colour = rgb(t.figure_colour);
    if (app.count("--seed")) o.seed = static_cast<std::uint64_t>(parseInt(t.seed, "--seed", 0, 2147483647));
}

// --live and its own options.
void checkLive(const Texts& t, const CLI::App& app, ToolOptions& o) {
    o.png_given = app.count("--png") > 0;
    checkOutput(app, o);
    if (o.live)
        for (const char* v : {"--png", "--frames", "--animation", "--at", "--start", "--fps", "--window", "--scale",
                              "--output", "--output-format"})
            if (app.count(v)) throw UsageError(std::string(v) + " does not go with --live");
    if (!o.live)
        for (const char* v : {"--mute", "--loop", "--snapshot", "--stats", "--hold-at"})
            if (app.count(v)) throw UsageError(std::string(v) + " goes with --live");
    for (const PinAssignment& p : o.pins)
        if (p.source.kind == SourceKind::Input && !o.live)
            throw UsageError("--pin \"" + p.pin + "\": input: goes with --live");
    if (app.count("--hold-at")) {
        o.hold_at = secondsOf(t.hold_at, "--hold-at");
        if (o.hold_at < 0.0 || o.hold_at > 86400.0) throw UsageError("--hold-at: " + t.hold_at + " is outside 0..86400");
    }
    if (app.count("--snapshot") && o.snapshot.empty()) throw UsageError("--snapshot: no file name");
}

// Options that would do nothing: refused, or said on `err`.
void checkNoOps(const CLI::App& app, const ToolOptions& o, std::ostream& err) {
    if (app.count("--overwrite") && o.frames.empty()) throw UsageError("--overwrite goes with --frames");
    for (const auto& [option, names] : {std::pair{"--only", &o.only}, std::pair{"--skip", &o.skip}})
        for (const std::string& name : *names)
            if (name.empty()) throw UsageError(std::string(option) + " \"\": an empty name matches every test");
    if (o.describe)
        for (const char* v : {"--pin", "--set", "--input", "--png", "--no-png", "--frames", "--animation", "--captures",
                              "--output", "--window", "--scale", "--at", "--start", "--fps", "--seconds", "--live"})
            if (app.count(v)) throw UsageError(std::string(v) + " does not go with --describe, which runs nothing");
    const std::size_t inputs = app.count("--input");
    if (inputs > 1)
        err << "zohost: warning: --input is given " << inputs << " times; only the last, " << o.input
            << ", is read (one sound file feeds the inputs; --pin NAME=file:PATH feeds more)\n";
    int stdin_readers = o.input == "-" ? 1 : 0;
    for (const PinAssignment& p : o.pins)
        stdin_readers += p.source.kind == SourceKind::File && p.source.path == "-";
    if (stdin_readers > 1) throw UsageError("standard input (-) can feed one source only");
}

void check(const Texts& t, const CLI::App& app, ToolOptions& o, std::ostream& err) {
    checkModule(t, app, o);
    checkValidate(t, app, o);
    checkInputs(t, app, o);
    checkRun(t, app, o);
    checkPictures(t, app, o);
    checkLook(t, app, o);
    checkLive(t, app, o);
    checkNoOps(app, o, err);
}

}  // namespace

int autoFontHeight(int height) { return std::max(12, (height + 15) / 30); }

void parseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) throw UsageError("--size: \"" + text + "\" should be WIDTHxHEIGHT");
    width = parseInt(text.substr(0, x), "--size", 1, 16384);
    height = parseInt(text.substr(x + 1), "--size", 1, 16384);
}

std::uint32_t parseColour(const std::string& text) {
    std::string hex = text;
    if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
    bool ok = hex.size() == 6;
    for (char c : hex) ok = ok && std::isxdigit(static_cast<unsigned char>(c));
    if (!ok) throw UsageError("colour \"" + text + "\" should be RRGGBB in hexadecimal");
    return static_cast<std::uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
}

void splitAssignment(const std::string& text, const char* option, std::string& name, std::string& value) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw UsageError(std::string(option) + ": \"" + text + "\" should be NAME=" +
                         (std::string(option) == "--pin" ? "SOURCE" : "CHOICE"));
    name = text.substr(0, eq);
    value = text.substr(eq + 1);
}

namespace {

// "Trace B (the module's FAFA00)": the default module's own colour, from its profile.
std::string drawnHelp(const char* option, const char* what) {
    const ModuleProfile::Drawn* d = scope::scopeProfile().drawnBy(option);
    char text[96];
    std::snprintf(text, sizeof text, "%s (the module's %06X)", what, d ? static_cast<unsigned>(d->rgb) : 0u);
    return text;
}

// The module, its inputs and the run: every mode.
void addRunOptions(CLI::App& app, ToolOptions& o, Texts& t) {
    app.add_option("MODULE", t.module, "Module file (default: Ondix2.zom beside zohost)");
    app.add_option("--describe", t.describe_module, "Print the module's description and pin table, and stop")
        ->expected(0, 1)
        ->type_name("[MODULE]");
    using namespace scope::pins;
    const auto quoted = [](const char* name) { return std::string("\"") + name + "\""; };
    app.add_option("--pin", t.pins,
                   "Feed a sample input by name (" + quoted(kSignalA) + ", " + quoted(kTime) + ", ...); repeatable")
        ->type_name("NAME=SOURCE")
        ->allow_extra_args(false);
    app.add_option("--set", t.sets,
                   std::string("Set a list pin by label, English word or number (") + kTrigger + "=InputA, trigger=off, \"" + kTimeMode + "=2\"); repeatable")
        ->type_name("NAME=CHOICE")
        ->allow_extra_args(false);
    app.add_flag("--version", o.version, "Print zohost's version and stop");
    app.add_option("--input", o.input,
                   "A sound file, - for standard input: channel 1 on " + quoted(kSignalA) + ", channel 2 on " +
                       quoted(kSignalB))
        ->type_name("FILE|-");
    app.add_option("--window", o.window,
                   std::string("Capture length: sets ") + kTimeMode + " and " + kTime + " (20ms, 4410samples, 1s, 440Hz)")
        ->type_name("LENGTH");
    app.add_option("--scale", t.scale, std::string(kYScale) + ", a gain in volts (2V, or 2); at 1V, +-10 V fills the height")
        ->type_name("LEVEL");
    app.add_option("--rate", t.rate, "Sample rate (default 44100, or the first file's; 48k, 96kHz)")->type_name("FREQ");
    app.add_option("--block", t.block, "Samples per processing call (default 512)")->type_name("N");
    app.add_option("--seconds", t.seconds, "Length of the run (default 1s, or the longest file's)")
        ->type_name("TIME");
    app.add_option("--start", t.start, "Where in the input the run starts (default 0s)")->type_name("TIME");
    app.add_option("--at", t.at, "The picture shows the capture in progress at this time of the input")
        ->type_name("TIME");
}

// What a render draws and writes.
void addPictureOptions(CLI::App& app, ToolOptions& o, Texts& t) {
    app.add_option("--size", t.size, "Picture size (default 640x360)")->type_name("WxH");
    app.add_option("--font-height", t.font_height,
                   "Font height the host hands out (default: 1/30 of the height, at least 12)")
        ->type_name("PX");
    app.add_option("--text-colour,--text-color", t.text_colour,
                   "Colour the host hands the display: trace A and the labels, the axes at half (default FFFFFF)")
        ->type_name("RRGGBB");
    app.add_option("--trace-b-colour,--trace-b-color", t.trace_b_colour, drawnHelp("--trace-b-colour", "Trace B"))
        ->type_name("RRGGBB");
    app.add_option("--readout-colour,--readout-color", t.readout_colour, drawnHelp("--readout-colour", "The readouts"))
        ->type_name("RRGGBB");
    app.add_option("--figure-colour,--figure-color", t.figure_colour, drawnHelp("--figure-colour", "The X-Y figure"))
        ->type_name("RRGGBB");
    app.add_option("--background", t.background,
                   "Background the display paints (default 000000); none (or transparent): not painted, "
                   "see-through in PNG and GIF pictures")
        ->type_name("RRGGBB|none");
    app.add_option("--png", o.png, "The picture after the last capture, or at --at; - for standard output (default scope.png when nothing else is written)")->type_name("FILE|-");
    app.add_flag("--no-png", t.no_png, "Write no --png picture");
    app.add_option("--frames", o.frames,
                   "One picture per capture (or per --fps): DIR/frame-00001.png, DIR/frame-00002.png, ...; "
                   "or named by a pattern with one %d or %0Nd, as DIR/take-%03d.png")
        ->type_name("DIR|PATTERN");
    app.add_flag("--overwrite", o.overwrite, "--frames: replace the frames of an earlier run");
    app.add_option("--fps", t.fps, "Frames per second of input, at regular times (default 25 for --animation)")
        ->type_name("FREQ");
    app.add_option("--animation", o.animation,
                   "The display at --fps, at real time, by the file's extension: .gif, .webp (lossless), "
                   ".mp4, .webm or .mkv (video, with the first two inputs as stereo sound; .mkv lossless)")
        ->type_name("FILE");
    app.add_option("--output", o.output,
                   "The module's output streams, in pin order, as the channels of one WAV file")
        ->type_name("FILE.wav");
    app.add_option("--output-format", o.output_format, "--output's samples: float (32-bit, the default), pcm16 or pcm24")
        ->type_name("FORMAT");
    app.add_option("--captures", o.captures, "One JSON line per capture message (see below); - for standard output")
        ->type_name("FILE|-");
}

// Seed, quiet and force, shared by the modes.
void addQuietOptions(CLI::App& app, ToolOptions& o, Texts& t) {
    app.add_option("--seed", t.seed, "Seed of the noise sources, or of --validate (default 1)")->type_name("N");
    app.add_flag("-q,--quiet", o.quiet, "Print nothing on success; no progress bar");
    app.add_flag("-f,--force", o.force, "Write a picture to standard output (\"-\") even when it is a terminal");
}

// --validate and its choices.
void addValidateOptions(CLI::App& app, ToolOptions& o, Texts& t) {
    app.add_option("--validate", t.validate_module,
                   "Run the validation battery against the module: one line per test, then \"N passed, N failed\"")
        ->expected(0, 1)
        ->type_name("[MODULE]");
    app.add_option("--repeat", t.repeat, "--validate: rounds, with seeds SEED, SEED+1, ...")->type_name("N");
    app.add_flag("--randomise,--randomize", o.randomise,
                 "--validate: whole cross products, and a fresh seed unless --seed gives one");
    app.add_option("--only", o.only, "--validate: only the tests whose names start so; repeatable")
        ->type_name("NAME")
        ->allow_extra_args(false);
    app.add_option("--skip", o.skip, "--validate: leave out the tests whose names start so; repeatable")
        ->type_name("NAME")
        ->allow_extra_args(false);
    app.add_option("--level", t.level, "--validate: 1..10, which tests and how many cases (default 5; 10 with --randomise)")
        ->type_name("N");
    app.add_flag("--verbose", o.verbose, "--validate: each test's time on its line");
    app.add_option("--report", t.report, "--validate: a report of every test for CI")
        ->expected(2)
        ->type_name("junit|json FILE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);  // the last pair
    app.add_option("--timeout", t.timeout, "--validate: how long each test may take (default 300s; 1h with --randomise)")->type_name("TIME");
    app.add_flag("--list-tests", o.list_tests, "--validate: list the tests and stop");
}

// --live and its choices.
void addLiveOptions(CLI::App& app, ToolOptions& o, Texts& t) {
    app.add_flag("--live", o.live,
                 "Show the display in a window as audio runs in real time (keys: H); --seconds quits");
    app.add_flag("--mute", o.mute, "--live: play nothing; a timer is the clock");
    app.add_flag("--loop", o.loop, "--live: files play again from the start");
    app.add_option("--snapshot", o.snapshot, "--live: the window's pixels as PNG when it ends")->type_name("FILE");
    app.add_flag("--stats", o.stats, "--live: show frames, latency and dropped or late blocks");
    app.add_option("--hold-at", t.hold_at, "--live: hold the picture after this much audio")->type_name("TIME");
}

void addOptions(CLI::App& app, ToolOptions& o, Texts& t) {
    app.footer(footer());
    // The same options everywhere: on Windows "/path" stays a path.
    app.allow_windows_style_options(false);
    app.get_formatter()->column_width(32);
    addRunOptions(app, o, t);
    addPictureOptions(app, o, t);
    addQuietOptions(app, o, t);
    addValidateOptions(app, o, t);
    addLiveOptions(app, o, t);
    // Single-valued options: the last one given wins.
    for (CLI::Option* opt : app.get_options())
        if (opt->get_expected_max() == 1 && opt->get_items_expected_max() <= 1)
            opt->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

}  // namespace

std::vector<OptionInfo> toolOptionList() {
    CLI::App app;
    ToolOptions o;
    Texts t;
    addOptions(app, o, t);
    std::vector<OptionInfo> list;
    for (const CLI::Option* opt : app.get_options()) {
        if (opt->get_lnames().empty()) continue;  // the module, and -h
        OptionInfo i;
        i.name = "--" + opt->get_lnames().front();
        i.takes_value = opt->get_expected_max() > 0;
        i.repeatable = i.takes_value && opt->get_multi_option_policy() != CLI::MultiOptionPolicy::TakeLast;
        list.push_back(i);
    }
    return list;
}

int parseToolOptions(int argc, const char* const* argv, ToolOptions& o, std::ostream& out,
                     std::ostream& err) {
    CLI::App app("Hosts one instance of a module of the two-object audio interface, runs audio "
                 "through it and renders its display to PNG pictures.",
                 "zohost");
    Texts t;
    addOptions(app, o, t);
    if (argc <= 1) {
        err << kUsageLine << "(zohost --help for all options; zohost --png scope.png draws the demonstration)\n";
        return kUsage;
    }
    try {
        app.parse(argc, argv);
        if (app.count("--version")) {
            out << "zohost " << ZOHOST_VERSION << "\n";
            return kOk;
        }
        check(t, app, o, err);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kOk;
    } catch (const CLI::ExtrasError& e) {
        std::string hint;
        for (const std::string& x : app.remaining()) {
            if (x.rfind("--", 0) != 0) continue;
            const std::string near = nearestOption(app, x);
            if (!near.empty()) {
                hint = "; did you mean " + near + "?";
                break;
            }
        }
        err << "zohost: " << e.what() << hint << " (see zohost --help)\n";
        return kUsage;
    } catch (const CLI::ParseError& e) {
        err << "zohost: " << e.what() << " (see zohost --help)\n";
        return kUsage;
    } catch (const UsageError& e) {
        err << "zohost: " << e.what() << "\n";
        return kUsage;
    }
    return -1;
}

}  // namespace zohost::tool
