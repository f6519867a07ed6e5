#include "tool/Tool.h"

#include <algorithm>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "live/Live.h"
#include "tool/OutputFile.h"
#include "tool/PinSetup.h"
#include "tool/Render.h"
#include "tool/SoundFile.h"
#include "tool/ToolOptions.h"
#include "tool/Units.h"
#include "Validate.h"
#include "zohost/Describe.h"
#include "zohost/ExecutablePath.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace zohost::tool {

namespace {

const char* const kDefaultModule = "Ondix2.zom";
volatile std::sig_atomic_t g_interrupted = 0;

#ifndef ZOHOST_MODULE_DIR_FROM_BIN
#define ZOHOST_MODULE_DIR_FROM_BIN "../lib"
#endif


int runDescribe(const ToolOptions& o, std::ostream& out, std::ostream& err) {
    ModuleLibrary library;
    if (!library.load(modulePath(o))) {
        err << "zohost: " << library.error() << "\n";
        return kNoModule;
    }
    ModuleDescription d;
    std::string error;
    if (!describeModule(library, d, error)) {
        err << "zohost: " << error << "\n";
        return kNoModule;
    }
    out << "module:      " << library.path() << "\n" << formatDescription(d);
    out << "\nin English (levels in volts; a pin value of 1.0 is 10 V):\n";
    std::size_t width = 0;
    for (const PinDescription& p : d.pins) width = std::max(width, p.name.size() + 2);
    for (const PinDescription& p : d.pins) {
        std::string def = "-";
        if (p.has_default && p.data_type == DT_FSAMPLE) def = p.default_value + " V";
        if (p.has_default && p.has_list)
            for (const PinChoice& c : p.choices())
                if (std::to_string(c.value) == p.default_value) def = c.label;
        const std::string name = "\"" + p.name + "\"";
        out << "  " << name << std::string(width - name.size(), ' ') << "  default " << def
            << std::string(def.size() < 16 ? 16 - def.size() : 1, ' ') << pinMeaning(p.name) << "\n";
        if (!p.has_list) continue;
        for (const PinChoice& c : p.choices()) {
            const std::string label = "    " + std::to_string(c.value) + " \"" + c.label + "\"";
            out << label << std::string(label.size() < width + 28 ? width + 28 - label.size() : 1, ' ')
                << choiceMeaning(p.name, c.label) << "\n";
        }
    }
    return kOk;
}

int runValidate(const ToolOptions& o, std::ostream& out, std::ostream& err, bool terminal) {
    validate::ValidateOptions v;
    v.module = modulePath(o);
    v.seed = o.seed;
    v.seed_given = o.seed_given;
    v.repeat = o.repeat;
    v.randomise = o.randomise;
    v.timeout = o.timeout;
    v.only = o.only;
    v.skip = o.skip;
    v.level = o.level;
    v.verbose = o.verbose;
    if (!o.report.empty()) {
        v.report = o.report_kind == "junit" ? validate::ValidateOptions::Report::JUnit : validate::ValidateOptions::Report::Json;
        v.report_path = o.report;
        v.write_report = [](const std::string& path, const std::string& bytes, std::string& error) {
            OutputFile f;
            if (!f.begin(path, error)) return false;
            std::FILE* s = f.stream();
            if (!s || std::fwrite(bytes.data(), 1, bytes.size(), s) != bytes.size()) {
                error = "cannot write";
                return false;
            }
            return f.commit(error);
        };
    }
    v.list = o.list_tests;
    v.quiet = o.quiet;
    v.progress = terminal && !o.quiet ? &err : nullptr;
    return validate::runValidation(v, out, err);
}

// Without --pin: the demonstration signals, and a trigger on A unless the
// user's own --set says otherwise (set after this, so theirs wins).
void useDemo(ToolOptions& o) {
    o.pins.push_back(PinAssignment{"Signal A", parseSource("sine:440")});
    o.pins.push_back(PinAssignment{"Signal B", parseSource("triangle:660")});
    o.sets.insert(o.sets.begin(), ChoiceAssignment{"Trigger", "InputA"});
}

// One open file per file source, in the order of o.pins (null for others).
std::vector<std::shared_ptr<SoundFile>> openFiles(const ToolOptions& o) {
    std::vector<std::shared_ptr<SoundFile>> files;
    for (const PinAssignment& p : o.pins) {
        if (p.source.kind != SourceKind::File) {
            files.push_back(nullptr);
            continue;
        }
        std::error_code ec;
        if (std::filesystem::is_directory(p.source.path, ec))
            throw UsageError("cannot read " + p.source.path + ": it is a directory");
        auto f = std::make_shared<SoundFile>(p.source.path);
        if (!f->ok()) throw UsageError("cannot read " + p.source.path + ": " + f->error());
        if (f->frames() <= 0) throw UsageError(p.source.path + " holds no samples");
        if (p.source.channel > f->channels())
            throw UsageError(p.source.path + " has " + std::to_string(f->channels()) + " channel" +
                             (f->channels() == 1 ? "" : "s") + ", not " + std::to_string(p.source.channel));
        files.push_back(f);
    }
    return files;
}

std::string seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f s", s);
    return buf;
}

std::uint32_t rgbOf(std::uint32_t colorref) {
    return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// Plays a file from `skip` samples in.
Signal fileSignalFrom(std::shared_ptr<SoundFile> file, int channel, std::uint64_t skip) {
    if (skip > 0) {
        std::vector<float> scrap(4096);
        while (skip > 0) {
            const int n = static_cast<int>(std::min<std::uint64_t>(skip, scrap.size()));
            file->read(channel, scrap.data(), n);
            skip -= static_cast<std::uint64_t>(n);
        }
    }
    return fileSignal(std::move(file), channel);
}

bool isFrameName(const std::string& name) {
    if (name.size() < 11 || name.compare(0, 6, "frame-") != 0 || name.compare(name.size() - 4, 4, ".png") != 0)
        return false;
    return name.find_first_not_of("0123456789", 6) == name.size() - 4;
}

// Frames of an earlier run in `dir`; false when there are some and they may not be replaced.
std::vector<std::filesystem::path> oldFrames(const std::string& dir) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return found;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        if (isFrameName(e.path().filename().string())) found.push_back(e.path());
    return found;
}

// Every output against every input and every other output, by identity.
void checkOutputs(const ToolOptions& o, const std::string& module) {
    std::vector<std::pair<std::string, std::string>> outs;  // option, path
    if (!o.png.empty()) outs.push_back({"--png", o.png});
    if (!o.captures.empty()) outs.push_back({"--captures", o.captures});
    if (!o.animation.empty()) outs.push_back({"--animation", o.animation});
    if (!o.frames.empty()) outs.push_back({"--frames", o.frames});
    std::vector<std::pair<std::string, std::string>> ins{{"the module", module}};
    for (const PinAssignment& p : o.pins)
        if (p.source.kind == SourceKind::File) ins.push_back({"--pin \"" + p.pin + "\"", p.source.path});
    for (std::size_t i = 0; i < outs.size(); ++i) {
        if (outs[i].second == "-" && outs[i].first != "--png" && outs[i].first != "--captures")
            throw UsageError(outs[i].first + ": \"-\" (standard output) is for --png and --captures only");
        for (const auto& in : ins)
            if (sameFile(outs[i].second, in.second))
                throw UsageError(outs[i].first + " " + outs[i].second + " is " + in.first + "'s input; it would be destroyed");
        for (std::size_t j = 0; j < i; ++j)
            if (sameFile(outs[i].second, outs[j].second))
                throw UsageError(outs[i].first + " and " + outs[j].first + " are the same file, " + outs[i].second);
    }
    if (!o.frames.empty()) {
        for (const auto& out : outs)
            if (out.first != "--frames" && out.second != "-" &&
                sameFile(std::filesystem::path(out.second).parent_path().string().empty()
                             ? "."
                             : std::filesystem::path(out.second).parent_path().string(),
                         o.frames) &&
                isFrameName(std::filesystem::path(out.second).filename().string()))
                throw UsageError(out.first + " " + out.second + " is one of the --frames");
        const auto old = oldFrames(o.frames);
        if (!old.empty() && !o.overwrite)
            throw UsageError("--frames " + o.frames + " holds " + std::to_string(old.size()) +
                             " frames of another run; choose an empty folder, or --overwrite to replace them");
    }
}

int runRender(ToolOptions o, std::ostream& out, std::ostream& err, bool terminal, bool status_on_out) {
    const bool demo = o.pins.empty() && o.input.empty();
    if (!o.input.empty()) {
        std::error_code ec;
        if (std::filesystem::is_directory(o.input, ec)) throw UsageError("--input " + o.input + " is a directory");
        SoundFile probe(o.input);
        if (!probe.ok()) throw UsageError("cannot read " + o.input + ": " + probe.error());
        o.pins.insert(o.pins.begin(), PinAssignment{"Signal A", parseSource("file:" + o.input + ":1")});
        if (probe.channels() >= 2)
            o.pins.insert(o.pins.begin() + 1, PinAssignment{"Signal B", parseSource("file:" + o.input + ":2")});
    }
    if (demo) useDemo(o);
    // Status goes where it cannot mix with an output.
    std::ostream& status = (!status_on_out || o.png == "-" || o.captures == "-") ? err : out;
    checkOutputs(o, modulePath(o));
    const std::vector<std::shared_ptr<SoundFile>> files = openFiles(o);

    // Files decide the rate and the length unless the options do.
    std::int64_t longest = -1;
    for (const auto& f : files) {
        if (!f) continue;
        if (!o.rate_given && longest < 0) o.rate = f->rate();
        longest = std::max<std::int64_t>(longest, f->frames());
    }
    std::vector<std::string> noted;
    for (const auto& f : files)
        if (f && f->cut() && std::find(noted.begin(), noted.end(), f->path()) == noted.end() &&
            (noted.push_back(f->path()), true))
            err << "zohost: note: " << f->path() << " is cut short: its header promises more than the "
                << f->frames() << " samples it holds, which are played\n";
    for (const auto& f : files)
        if (f && f->rate() != o.rate)
            err << "zohost: note: " << f->path() << " is at " << f->rate() << " Hz and plays at "
                << o.rate << " Hz, not resampled\n";
    const std::uint64_t start = static_cast<std::uint64_t>(std::llround(o.start * o.rate));
    std::uint64_t samples;
    if (o.seconds_given || longest < 0) {
        samples = static_cast<std::uint64_t>(std::llround(o.seconds * o.rate));
        if (!o.seconds_given && o.at >= 0.0)  // run on past the chosen moment
            samples = static_cast<std::uint64_t>(std::llround((o.at - o.start + 1.0) * o.rate));
    } else {
        if (static_cast<std::int64_t>(start) >= longest)
            throw UsageError("--start " + seconds(o.start) + " is past the end of the input (" +
                             seconds(static_cast<double>(longest) / o.rate) + ")");
        samples = static_cast<std::uint64_t>(longest) - start;
    }
    std::int64_t at = -1;
    if (o.at >= 0.0) {
        at = std::llround((o.at - o.start) * o.rate);
        if (at >= static_cast<std::int64_t>(samples))
            throw UsageError("--at " + seconds(o.at) + " is past the end of the run (" +
                             seconds(o.start + static_cast<double>(samples) / o.rate) + ")");
    }
    if (samples == 0) throw UsageError("the run is shorter than one sample");
    const int font_height = o.font_height > 0 ? o.font_height : autoFontHeight(o.height);

    ModuleLibrary library;
    if (!library.load(modulePath(o))) {
        err << "zohost: " << library.error() << "\n";
        return kNoModule;
    }
    std::unique_ptr<Instance> in;
    try {
        InstanceOptions io = renderInstanceOptions(static_cast<float>(o.rate), o.block, o.text_colour,
                                                   o.background, font_height);
        io.start_clock = start;
        in = std::make_unique<Instance>(library, io);
    } catch (const std::exception& e) {
        err << "zohost: " << modulePath(o) << ": " << e.what() << "\n";
        return kNoModule;
    }

    in->applyDefaults();
    std::vector<std::string> told;
    std::vector<int> fed;
    auto feed = [&](int pos, Signal signal) {
        if (std::find(fed.begin(), fed.end(), pos) != fed.end())
            throw UsageError("--pin \"" + in->pinTable().descriptionAt(pos)->name + "\" is given twice");
        fed.push_back(pos);
        in->setSignal(pos, std::move(signal));
    };
    for (std::size_t i = 0; i < o.pins.size(); ++i) {
        const PinAssignment& p = o.pins[i];
        const int pos = findSampleInput(in->pinTable(), p.pin);
        const std::string name = in->pinTable().descriptionAt(pos)->name;
        if (p.source.kind == SourceKind::File)
            feed(pos, fileSignalFrom(files[i], p.source.channel - 1, start));
        else if (p.source.kind != SourceKind::Off)
            feed(pos, makeSignal(p.source, o.rate, o.seed + static_cast<std::uint64_t>(pos)));
        else
            feed(pos, Signal());
        told.push_back("\"" + name + "\" " + describeSource(p.source));
    }
    std::vector<int> set;
    std::vector<std::string> set_told;
    for (std::size_t i = 0; i < o.sets.size(); ++i) {
        const ChoiceAssignment& c = o.sets[i];
        const ListChoice choice = findListChoice(in->pinTable(), c.pin, c.choice);
        const auto seen = std::find(set.begin(), set.end(), choice.position);
        if (seen != set.end() && !(demo && seen == set.begin()))
            throw UsageError("--set \"" + choice.pin + "\" is given twice");
        in->setValue(choice.position, choice.value);
        if (seen == set.end()) {
            set.push_back(choice.position);
            set_told.push_back(choice.pin + "=" + choice.label);
        } else {
            set_told[static_cast<std::size_t>(seen - set.begin())] = choice.pin + "=" + choice.label;
        }
    }
    told.insert(told.end(), set_told.begin(), set_told.end());
    if (!o.window.empty()) {
        const WindowSetting w = windowSetting(parseWindow(o.window), o.rate);
        const int mode = in->pin("Time-Mode"), time = in->pin("Time");
        if (std::find(set.begin(), set.end(), mode) != set.end() || std::find(fed.begin(), fed.end(), time) != fed.end())
            throw UsageError("--window sets \"Time-Mode\" and \"Time\"; give it or them, not both");
        in->setValue(mode, w.time_mode);
        feed(time, Signal::constant(w.time_pin));
        std::string label;
        for (const PinChoice& c : in->pinTable().descriptionAt(mode)->choices())
            if (c.value == w.time_mode) label = c.label;
        char buf[160];
        std::snprintf(buf, sizeof buf, "window %s: Time-Mode=%s, \"Time\" %.6g V, captures of %d samples",
                      describeWindow(parseWindow(o.window)).c_str(), label.c_str(), w.time_pin * 10.0, w.samples);
        told.push_back(buf);
    }
    if (o.scale >= 0.0) {
        const int pos = in->pin("Y-Scale");
        feed(pos, Signal::constant(static_cast<float>(o.scale)));
        char buf[64];
        std::snprintf(buf, sizeof buf, "\"Y-Scale\" %g V", o.scale * 10.0);
        told.push_back(buf);
    }

    RenderJob job;
    job.samples = samples;
    job.rate = o.rate;
    job.width = o.width;
    job.height = o.height;
    // Without a background the canvas is a colour the module never draws, see-through in the pictures.
    job.canvas_rgb = o.background >= 0 ? rgbOf(static_cast<std::uint32_t>(o.background)) : 0x00010203u;
    job.transparent = o.background < 0;
    const std::uint32_t trace_b = 0x00FAFA00u, readout = 0x00DC8CFAu, figure = 0x00FA1E1Eu;
    if (o.trace_b_colour >= 0) job.recolour.push_back({trace_b, static_cast<std::uint32_t>(o.trace_b_colour)});
    if (o.readout_colour >= 0) job.recolour.push_back({readout, static_cast<std::uint32_t>(o.readout_colour)});
    if (o.figure_colour >= 0) job.recolour.push_back({figure, static_cast<std::uint32_t>(o.figure_colour)});
    if (o.background >= 0) {
        const std::uint32_t bg = rgbOf(static_cast<std::uint32_t>(o.background));
        const std::pair<const char*, std::uint32_t> drawn[] = {
            {"trace A (--text-colour)", rgbOf(o.text_colour)},
            {"trace B (--trace-b-colour)", o.trace_b_colour >= 0 ? static_cast<std::uint32_t>(o.trace_b_colour) : trace_b},
            {"the X-Y figure (--figure-colour)", o.figure_colour >= 0 ? static_cast<std::uint32_t>(o.figure_colour) : figure}};
        for (const auto& [what, colour] : drawn)
            if (colour == bg) err << "zohost: warning: " << what << " is the background's colour and cannot be seen\n";
    }
    job.png = o.png;
    job.frames_dir = o.frames;
    job.captures = o.captures;
    job.animation = o.animation;
    job.fps = o.fps;
    job.at = at;
    job.end_at_picture = o.frames.empty() && o.captures.empty() && o.animation.empty();
    {
        // Padded to the most frames the run can make.
        const std::size_t most = o.fps > 0.0 ? frameCount(static_cast<double>(samples) / o.rate, o.fps)
                                             : static_cast<std::size_t>((samples + static_cast<std::uint64_t>(o.block) - 1) /
                                                                        static_cast<std::uint64_t>(o.block)) + 1;
        job.frame_digits = frameDigits(most);
    }
    job.progress = terminal && !o.quiet ? stderr : nullptr;
    job.stop = &g_interrupted;
    const std::vector<std::filesystem::path> stale = o.frames.empty() ? std::vector<std::filesystem::path>{} : oldFrames(o.frames);
    RenderStats st;
    std::string error;
    if (!render(*in, job, st, error)) {
        err << "zohost: " << error << "\n";
        return kFailed;
    }
    // --overwrite: frames of the earlier run that this one did not replace.
    std::size_t removed = 0;
    for (const auto& f : stale) {
        bool ours = false;
        for (std::size_t n = 1; n <= st.frames && !ours; ++n) ours = sameFile(f.string(), framePath(o.frames, n, job.frame_digits));
        std::error_code ec;
        if (!ours && std::filesystem::remove(f, ec)) ++removed;
    }
    if (st.stopped) {
        err << "zohost: interrupted after " << seconds(static_cast<double>(st.samples) / o.rate)
            << "; the outputs hold what was done\n";
        return kInterrupted;
    }
    if (o.quiet) return kOk;
    status << (demo ? "demo: " : "inputs: ");
    for (std::size_t i = 0; i < told.size(); ++i) status << (i ? "; " : "") << told[i];
    status << "\nran " << seconds(static_cast<double>(st.samples) / o.rate) << " (" << st.samples
           << " samples) at " << o.rate << " Hz in blocks of " << o.block << ": " << st.captures << " capture"
           << (st.captures == 1 ? "" : "s") << "\n";
    if (!o.captures.empty()) status << "captures written to " << (o.captures == "-" ? "standard output" : o.captures) << "\n";
    if (!o.frames.empty()) {
        status << st.frames << " frame" << (st.frames == 1 ? "" : "s") << " written to " << o.frames << "/";
        if (removed) status << " (" << removed << " older frames removed)";
        status << "\n";
    }
    if (!o.animation.empty())
        status << "animation written to " << o.animation << " (" << st.frames << " frames at " << o.fps << " fps)\n";
    if (!o.png.empty()) {
        status << "picture written to " << (o.png == "-" ? "standard output" : o.png) << " (" << o.width << "x"
               << o.height;
        if (st.picture_capture) status << ", capture " << st.picture_capture << " at " << seconds(o.at);
        status << ")\n";
    }
    return kOk;
}

}  // namespace

std::string modulePath(const ToolOptions& o) {
    if (!o.module.empty()) return o.module;
    const std::string beside = executableDirectory() + kDefaultModule;
    std::error_code ec;
    if (std::filesystem::exists(beside, ec)) return beside;
    const std::string installed =
        (std::filesystem::path(executableDirectory()) / ZOHOST_MODULE_DIR_FROM_BIN / kDefaultModule).string();
    return std::filesystem::exists(installed, ec) ? installed : beside;
}

void interrupt() { g_interrupted = 1; }

int runTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal,
            bool status_on_out) {
    ToolOptions o;
    int rc = parseToolOptions(argc, argv, o, out, err);
    if (rc >= 0) return rc;
    try {
        if (o.validate) return runValidate(o, out, err, terminal);
        if (o.live) return live::runLive(o, out, err);
        return o.describe ? runDescribe(o, out, err) : runRender(o, out, err, terminal, status_on_out);
    } catch (const std::invalid_argument& e) {  // UsageError, UnknownPin
        err << "zohost: " << e.what() << "\n";
        return kUsage;
    }
}

}  // namespace zohost::tool
