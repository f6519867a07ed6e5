#include "tool/Tool.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "live/Live.h"
#include "tool/PinSetup.h"
#include "tool/Render.h"
#include "tool/SoundFile.h"
#include "tool/ToolOptions.h"
#include "Validate.h"
#include "zohost/Describe.h"
#include "zohost/ExecutablePath.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace zohost::tool {

namespace {

const char* const kDefaultModule = "Ondix2.zom";

std::string modulePath(const ToolOptions& o) {
    return o.module.empty() ? executableDirectory() + kDefaultModule : o.module;
}

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
    return kOk;
}

int runValidate(const ToolOptions& o, std::ostream& out, std::ostream& err) {
    validate::ValidateOptions v;
    v.module = modulePath(o);
    v.seed = o.seed;
    v.seed_given = o.seed_given;
    v.repeat = o.repeat;
    v.randomise = o.randomise;
    v.timeout = o.timeout;
    v.only = o.only;
    v.list = o.list_tests;
    return validate::runValidation(v, out, err);
}

void useDemo(ToolOptions& o) {
    o.pins.push_back(PinAssignment{"Signal A", parseSource("sine:440")});
    o.pins.push_back(PinAssignment{"Signal B", parseSource("triangle:660")});
    bool trigger = false;
    for (const ChoiceAssignment& c : o.sets) trigger = trigger || c.pin == "Trigger";
    if (!trigger) o.sets.push_back(ChoiceAssignment{"Trigger", "InputA"});
}

// One open file per file source, in the order of o.pins (null for others).
std::vector<std::shared_ptr<SoundFile>> openFiles(const ToolOptions& o) {
    std::vector<std::shared_ptr<SoundFile>> files;
    for (const PinAssignment& p : o.pins) {
        if (p.source.kind != SourceKind::File) {
            files.push_back(nullptr);
            continue;
        }
        auto f = std::make_shared<SoundFile>(p.source.path);
        if (!f->ok()) throw UsageError("cannot read " + p.source.path + ": " + f->error());
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

int runRender(ToolOptions o, std::ostream& out, std::ostream& err, bool terminal) {
    const bool demo = o.pins.empty();
    if (demo) useDemo(o);
    const std::vector<std::shared_ptr<SoundFile>> files = openFiles(o);

    // Files decide the rate and the length unless the options do.
    std::int64_t longest = -1;
    for (const auto& f : files) {
        if (!f) continue;
        if (!o.rate_given && longest < 0) o.rate = f->rate();
        longest = std::max<std::int64_t>(longest, f->frames());
    }
    for (const auto& f : files)
        if (f && f->rate() != o.rate)
            err << "zohost: note: " << f->path() << " is at " << f->rate() << " Hz and plays at "
                << o.rate << " Hz, not resampled\n";
    std::uint64_t samples;
    if (o.seconds_given || longest < 0)
        samples = static_cast<std::uint64_t>(std::llround(o.seconds * o.rate));
    else
        samples = static_cast<std::uint64_t>(longest);

    ModuleLibrary library;
    if (!library.load(modulePath(o))) {
        err << "zohost: " << library.error() << "\n";
        return kNoModule;
    }
    std::unique_ptr<Instance> in;
    try {
        in = std::make_unique<Instance>(
            library, renderInstanceOptions(static_cast<float>(o.rate), o.block, o.text_colour, o.background,
                                           o.font_height, !o.captures.empty()));
    } catch (const std::exception& e) {
        err << "zohost: " << modulePath(o) << ": " << e.what() << "\n";
        return kNoModule;
    }

    in->applyDefaults();
    std::vector<std::string> told;
    std::vector<int> fed;
    for (std::size_t i = 0; i < o.pins.size(); ++i) {
        const PinAssignment& p = o.pins[i];
        const int pos = findSampleInput(in->pinTable(), p.pin);
        const std::string name = in->pinTable().descriptionAt(pos)->name;
        if (std::find(fed.begin(), fed.end(), pos) != fed.end())
            throw UsageError("--pin \"" + name + "\" is given twice");
        fed.push_back(pos);
        if (p.source.kind == SourceKind::File)
            in->setSignal(pos, fileSignal(files[i], p.source.channel - 1));
        else if (p.source.kind != SourceKind::Off)
            in->setSignal(pos, makeSignal(p.source, o.rate, o.seed + static_cast<std::uint64_t>(pos)));
        told.push_back("\"" + name + "\" " + describeSource(p.source));
    }
    for (const ChoiceAssignment& c : o.sets) {
        const ListChoice choice = findListChoice(in->pinTable(), c.pin, c.choice);
        in->setValue(choice.position, choice.value);
        told.push_back(choice.pin + "=" + choice.label);
    }

    RenderJob job;
    job.samples = samples;
    job.width = o.width;
    job.height = o.height;
    job.canvas_rgb = o.background >= 0 ? rgbOf(static_cast<std::uint32_t>(o.background)) : 0;
    job.png = o.png;
    job.frames_dir = o.frames;
    job.captures = o.captures;
    job.progress = terminal && !o.quiet ? stderr : nullptr;
    RenderStats st;
    std::string error;
    if (!render(*in, job, st, error)) {
        err << "zohost: " << error << "\n";
        return kFailed;
    }
    if (o.quiet) return kOk;
    out << (demo ? "demo: " : "inputs: ");
    for (std::size_t i = 0; i < told.size(); ++i) out << (i ? "; " : "") << told[i];
    out << "\nran " << seconds(static_cast<double>(st.samples) / o.rate) << " (" << st.samples
        << " samples) at " << o.rate << " Hz in blocks of " << o.block << ": " << st.captures << " capture"
        << (st.captures == 1 ? "" : "s") << "\n";
    if (!o.captures.empty()) out << "captures written to " << o.captures << "\n";
    if (!o.frames.empty())
        out << st.frames << " frame" << (st.frames == 1 ? "" : "s") << " written to " << o.frames << "/\n";
    if (!o.png.empty()) out << "picture written to " << o.png << " (" << o.width << "x" << o.height << ")\n";
    return kOk;
}

}  // namespace

int runTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal) {
    ToolOptions o;
    int rc = parseToolOptions(argc, argv, o, out, err);
    if (rc >= 0) return rc;
    try {
        if (o.validate) return runValidate(o, out, err);
        if (o.live) return live::runLive(o, out, err);
        return o.describe ? runDescribe(o, out, err) : runRender(o, out, err, terminal);
    } catch (const std::invalid_argument& e) {  // UsageError, UnknownPin
        err << "zohost: " << e.what() << "\n";
        return kUsage;
    }
}

}  // namespace zohost::tool
