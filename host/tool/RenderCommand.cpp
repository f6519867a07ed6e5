#include "tool/RenderCommand.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "run/OutputFile.h"
#include "tool/FrameNames.h"
#include "tool/Outputs.h"
#include "tool/Render.h"
#include "run/Run.h"
#include "run/Units.h"

namespace zohost::tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

std::string seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f s", s);
    return buf;
}

// Plays a file from `skip` samples in.
Signal fileSignalFrom(std::shared_ptr<SoundFile> file, int channel, std::uint64_t skip) {
    std::vector<float> scrap(4096);
    while (skip > 0) {
        const int n = static_cast<int>(std::min<std::uint64_t>(skip, scrap.size()));
        file->read(channel, scrap.data(), n);
        skip -= static_cast<std::uint64_t>(n);
    }
    return fileSignal(std::move(file), channel);
}

using Named = std::vector<std::pair<std::string, std::string>>;  // option, path

Named outputsOf(const ToolOptions& o) {
    Named outs;
    if (!o.png.empty()) outs.push_back({"--png", o.png});
    if (!o.captures.empty()) outs.push_back({"--captures", o.captures});
    if (!o.animation.empty()) outs.push_back({"--animation", o.animation});
    if (!o.frames.empty()) outs.push_back({"--frames", o.frames});
    if (!o.output.empty()) outs.push_back({"--output", o.output});
    return outs;
}

std::string folderOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

void checkFrames(const ToolOptions& o, const Named& outs) {
    const FrameNames names(o.frames);
    for (const auto& out : outs)
        if (out.first != "--frames" && out.second != "-" && sameFile(folderOf(out.second), names.dir()) &&
            names.matches(std::filesystem::path(out.second).filename().string()))
            throw UsageError(out.first + " " + out.second + " is one of the --frames");
    const auto old = names.existing();
    if (!old.empty() && !o.overwrite)
        throw UsageError("--frames " + o.frames + " holds " + std::to_string(old.size()) +
                         " frames of another run; choose an empty folder, or --overwrite to replace them");
}

// Its format by extension, and one this build writes.
void checkAnimation(const ToolOptions& o) {
    if (o.animation.empty()) return;
    const AnimationFormat* format = animationFormat(o.animation);
    if (!format)
        throw UsageError("--animation " + o.animation + ": not a format zohost knows by its extension; it writes " +
                         animationExtensions());
    RenderJob job;
    job.animation = o.animation;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    job.rate = o.rate;
    std::string why;
    if (!format->make(job, why)) throw UsageError("--animation " + o.animation + ": " + why);
}

// Every output against every input and every other output, by identity.
void checkOutputs(const ToolOptions& o, const std::string& module) {
    checkAnimation(o);
    const Named outs = outputsOf(o);
    Named ins{{"the module", module}};
    for (const PinAssignment& p : o.pins)
        // Standard input is no file an output could destroy; "-" there is standard output.
        if (p.source.kind == SourceKind::File && !isStandardInput(p.source.path))
            ins.push_back({"--pin \"" + p.pin + "\"", p.source.path});
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
    if (!o.frames.empty()) checkFrames(o, outs);
}

// Which samples of the input the run covers, and where its picture is.
struct Span {
    std::uint64_t start = 0, samples = 0;
    std::int64_t at = -1;
};

Span spanOf(const ToolOptions& o, std::int64_t longest) {
    Span s;
    s.start = static_cast<std::uint64_t>(std::llround(o.start * o.rate));
    if (o.seconds_given || longest < 0) {
        s.samples = static_cast<std::uint64_t>(std::llround(o.seconds * o.rate));
        if (!o.seconds_given && o.at >= 0.0)  // run on past the chosen moment
            s.samples = static_cast<std::uint64_t>(std::llround((o.at - o.start + 1.0) * o.rate));
    } else {
        if (static_cast<std::int64_t>(s.start) >= longest)
            throw UsageError("--start " + seconds(o.start) + " is past the end of the input (" +
                             seconds(static_cast<double>(longest) / o.rate) + ")");
        s.samples = static_cast<std::uint64_t>(longest) - s.start;
    }
    if (o.at >= 0.0) {
        s.at = std::llround((o.at - o.start) * o.rate);
        if (s.at >= static_cast<std::int64_t>(s.samples))
            throw UsageError("--at " + seconds(o.at) + " is past the end of the run (" +
                             seconds(o.start + static_cast<double>(s.samples) / o.rate) + ")");
    }
    if (s.samples == 0) throw UsageError("the run is shorter than one sample");
    return s;
}

void feedPins(Run& run, Instance& in, std::uint64_t start) {
    const ToolOptions& o = run.options();
    run.feedPins(in.pinTable(), [&](std::size_t i, int pos) {
        const InputSource& source = o.pins[i].source;
        if (source.kind == SourceKind::File)
            in.setSignal(pos, fileSignalFrom(run.file(i), source.channel - 1, start));
        else if (source.kind != SourceKind::Off)
            in.setSignal(pos, makeSignal(source, o.rate, o.seed + static_cast<std::uint64_t>(pos)));
        else
            in.setSignal(pos, Signal());
    });
    run.applySets(in.pinTable(), [&](const ListChoice& c) { in.setValue(c.position, c.value); });
}

void applyWindow(Run& run, Instance& in) {
    const ToolOptions& o = run.options();
    const ModuleProfile& p = run.profile();
    const WindowSetting w = windowSetting(p, parseWindow(o.window), o.rate);
    const int mode = in.pin(p.time_mode_pin), time = in.pin(p.time_pin);
    if (run.wasSet(mode) || run.fed(time))
        throw UsageError("--window sets \"" + p.time_mode_pin + "\" and \"" + p.time_pin +
                         "\"; give it or them, not both");
    in.setValue(mode, w.time_mode);
    run.claim(in.pinTable(), time);
    in.setSignal(time, Signal::constant(w.time_pin));
    std::string label;
    for (const PinChoice& c : in.pinTable().descriptionAt(mode)->choices())
        if (c.value == w.time_mode) label = c.label;
    char buf[200];
    std::snprintf(buf, sizeof buf, "window %s: %s=%s, \"%s\" %.6g V, captures of %d samples",
                  describeWindow(parseWindow(o.window)).c_str(), p.time_mode_pin.c_str(), label.c_str(),
                  p.time_pin.c_str(), w.time_pin * 10.0, w.samples);
    run.tell(buf);
}

void applyScale(Run& run, Instance& in) {
    const std::string& name = run.profile().scale_pin;
    const int pos = in.pin(name);
    run.claim(in.pinTable(), pos);
    in.setSignal(pos, Signal::constant(static_cast<float>(run.options().scale)));
    char buf[96];
    std::snprintf(buf, sizeof buf, "\"%s\" %g V", name.c_str(), run.options().scale * 10.0);
    run.tell(buf);
}

// A colour option's value, 0x00RRGGBB, or -1 when not given.
std::int64_t colourGiven(const ToolOptions& o, const std::string& option) {
    if (option == "--trace-b-colour") return o.trace_b_colour;
    if (option == "--readout-colour") return o.readout_colour;
    if (option == "--figure-colour") return o.figure_colour;
    return -1;
}

void setColours(const ToolOptions& o, const ModuleProfile& profile, RenderJob& job, std::ostream& err) {
    // Without a background the canvas is a colour the module never draws, see-through in the pictures.
    job.canvas_rgb = o.background >= 0 ? static_cast<std::uint32_t>(o.background) : 0x00010203u;
    job.transparent = o.background < 0;
    for (const ModuleProfile::Drawn& d : profile.drawn)
        if (colourGiven(o, d.option) >= 0) job.recolour.push_back({d.rgb, static_cast<std::uint32_t>(colourGiven(o, d.option))});
    if (o.background < 0) return;
    const std::uint32_t bg = static_cast<std::uint32_t>(o.background);
    std::vector<std::pair<std::string, std::uint32_t>> drawn;
    if (profile.text_colour_draws) drawn.push_back({std::string(profile.text_colour_draws) + " (--text-colour)", o.text_colour});
    for (const ModuleProfile::Drawn& d : profile.drawn) {
        const std::int64_t given = colourGiven(o, d.option);
        if (d.warn) drawn.push_back({std::string(d.what) + " (" + d.option + ")", given >= 0 ? static_cast<std::uint32_t>(given) : d.rgb});
    }
    for (const auto& [what, colour] : drawn)
        if (colour == bg) err << "zohost: warning: " << what << " is the background's colour and cannot be seen\n";
}

RenderJob jobOf(const Run& run, const Span& span, bool terminal, std::ostream& err) {
    const ToolOptions& o = run.options();
    RenderJob job;
    job.samples = span.samples;
    job.rate = o.rate;
    job.width = o.width;
    job.height = o.height;
    setColours(o, run.profile(), job, err);
    job.png = o.png;
    job.frames_dir = o.frames;
    job.captures = o.captures;
    job.animation = o.animation;
    job.fps = o.fps;
    job.at = span.at;
    job.at_seconds = o.at;
    job.sound = o.output;
    parseSampleFormat(o.output_format, job.sound_format);
    job.end_at_picture = o.frames.empty() && o.captures.empty() && o.animation.empty() && o.output.empty();
    job.progress = terminal && !o.quiet ? stderr : nullptr;
    job.stop = &g_interrupted;
    return job;
}

void printSummary(const Run& run, const RenderStats& st, std::ostream& status) {
    const ToolOptions& o = run.options();
    run.printInputs(status);
    status << "\nran " << seconds(static_cast<double>(st.samples) / o.rate) << " (" << st.samples
           << " samples) at " << o.rate << " Hz in blocks of " << o.block << ": " << st.captures << " capture"
           << (st.captures == 1 ? "" : "s") << "\n";
    for (const std::string& line : st.written) status << line << "\n";
}

// A module without a display draws no picture: none by default, and a
// picture asked for is refused with the reason.
void checkPictures(const Run& run, const Instance& in) {
    const ToolOptions& o = run.options();
    if (in.hasDisplay()) return;
    const std::pair<const char*, bool> asked[] = {{"--png", o.png_given}, {"--frames", !o.frames.empty()},
                                                  {"--animation", !o.animation.empty()}};
    for (const auto& [option, given] : asked)
        if (given)
            throw UsageError(std::string(option) + ": the module " + run.description().name + " (" + run.module() +
                             ") has no display object, so there is no picture to draw");
}

void checkSound(const Run& run) {
    if (run.options().output.empty()) return;
    for (const PinDescription& p : run.description().pins)
        if (p.direction == DR_OUT && p.data_type == DT_FSAMPLE) return;
    throw UsageError("--output: the module " + run.description().name + " (" + run.module() +
                     ") has no output streams");
}

std::unique_ptr<Instance> makeInstance(Run& run, std::uint64_t start, std::ostream& err) {
    try {
        InstanceOptions io = run.instanceOptions();
        io.start_clock = start;
        // A module need not draw.
        io.display_optional = true;
        auto in = std::make_unique<Instance>(run.library(), io);
        in->applyDefaults();
        return in;
    } catch (const std::exception& e) {
        err << "zohost: " << run.module() << ": " << e.what() << "\n";
        return nullptr;
    }
}

}  // namespace

void stopRender() { g_interrupted = 1; }

int runRender(const ToolOptions& options, std::ostream& out, std::ostream& err, bool terminal, bool status_on_out) {
    Run run(options);
    if (!run.start(err)) return kNoModule;
    checkSound(run);
    ToolOptions& o = run.options();
    // Status goes where it cannot mix with an output.
    std::ostream& status = (!status_on_out || o.png == "-" || o.captures == "-") ? err : out;
    checkOutputs(o, run.module());
    run.openFiles(err);
    const Span span = spanOf(o, run.longestFile());
    const std::unique_ptr<Instance> in = makeInstance(run, span.start, err);
    if (!in) return kNoModule;
    checkPictures(run, *in);
    if (!in->hasDisplay()) o.png.clear();
    feedPins(run, *in, span.start);
    if (!o.window.empty()) applyWindow(run, *in);
    if (o.scale >= 0.0) applyScale(run, *in);
    RenderJob job = jobOf(run, span, terminal, err);
    RenderStats st;
    std::string error;
    if (!render(*in, job, st, error)) {
        err << "zohost: " << error << "\n";
        return kFailed;
    }
    if (st.stopped) {
        err << "zohost: interrupted after " << seconds(static_cast<double>(st.samples) / o.rate)
            << "; the outputs hold what was done\n";
        return kInterrupted;
    }
    for (const std::string& w : st.warnings) err << "zohost: warning: " << w << "\n";
    if (!o.quiet) printSummary(run, st, status);
    if (st.captures == 0) run.explainNoCaptures(err);
    return kOk;
}

}  // namespace zohost::tool
