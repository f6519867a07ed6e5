#include "run/Run.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "ScopeProfile.h"
#include "run/Colour.h"
#include "zohost/ExecutablePath.h"

namespace zohost::tool {

namespace {

const char* const kDefaultModule = "Ondix2.zom";

#ifndef ZOHOST_MODULE_DIR_FROM_BIN
#define ZOHOST_MODULE_DIR_FROM_BIN "../lib"
#endif

}  // namespace

std::string installedFile(const char* name) {
    std::error_code ec;
    const std::string beside = executableDirectory() + name;
    if (std::filesystem::exists(beside, ec)) return beside;
    const std::string installed =
        (std::filesystem::path(executableDirectory()) / ZOHOST_MODULE_DIR_FROM_BIN / name).string();
    return std::filesystem::exists(installed, ec) ? installed : std::string();
}

std::string modulePath(const ToolOptions& o) {
    if (!o.module.empty()) return o.module;
    const std::string found = installedFile(kDefaultModule);
    return found.empty() ? executableDirectory() + kDefaultModule : found;
}

InstanceOptions renderInstanceOptions(float rate, int block, std::uint32_t text_rgb, std::int64_t background_rgb,
                                      int font_height) {
    InstanceOptions o;
    o.sample_rate = rate;
    o.block_size = block;
    o.text_colour = colorrefOf(text_rgb);
    o.background = background_rgb < 0 ? -1 : static_cast<std::int32_t>(colorrefOf(static_cast<std::uint32_t>(background_rgb)));
    o.font_height = font_height;
    o.log_requests = false;
    o.messages.delivery = Delivery::Queued;
    o.messages.record = true;  // captures are counted from the records
    return o;
}


Run::Run(const ToolOptions& options)
    : o_(options), demo_(options.pins.empty() && options.input.empty()), module_(modulePath(options)) {}

bool Run::start(std::ostream& err) {
    err_ = &err;
    if (!load(err)) return false;
    profile_ = &scope::profileFor(description_.id);
    refuseForeignOptions();
    takeInputs();
    return true;
}

void Run::refuseForeignOptions() const {
    const ModuleProfile& p = *profile_;
    std::string refused;
    if (!o_.window.empty() && (p.time_mode_pin.empty() || p.time_pin.empty())) refused = "--window";
    if (o_.scale_given && p.scale_pin.empty()) refused = "--scale";
    const std::pair<const char*, std::int64_t> colours[] = {{"--trace-b-colour", o_.trace_b_colour},
                                                            {"--readout-colour", o_.readout_colour},
                                                            {"--figure-colour", o_.figure_colour}};
    for (const auto& [option, value] : colours)
        if (value >= 0 && !p.drawnBy(option)) refused = option;
    if (!refused.empty())
        throw UsageError(refused + " does not go with the module " + description_.name + " (" + module_ +
                         "): it has nothing that option sets");
    if (o_.scale_given && (o_.scale < p.scale_lo || o_.scale > p.scale_hi)) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "--scale: %g V is outside %g V..%g V, what \"%s\" takes", o_.scale * 10.0,
                      p.scale_lo * 10.0, p.scale_hi * 10.0, p.scale_pin.c_str());
        throw UsageError(buf);
    }
}

void Run::takeInputs() {
    expandInput();
    if (!demo_) return;
    demo_ = !profile_->demo_pins.empty();
    for (const ModuleProfile::Assign& a : profile_->demo_pins)
        o_.pins.push_back(PinAssignment{a.pin, parseSource(a.value)});
    // Before the user's own --set, so that theirs wins.
    for (auto a = profile_->demo_sets.rbegin(); a != profile_->demo_sets.rend(); ++a)
        o_.sets.insert(o_.sets.begin(), ChoiceAssignment{a->pin, a->value});
}

namespace {

// The module's sample inputs in order, unless its profile names them.
std::vector<std::string> inputPins(const ModuleDescription& d, const ModuleProfile& p) {
    if (!p.input_pins.empty()) return p.input_pins;
    std::vector<std::string> names;
    for (const PinDescription& pin : d.pins)
        if (pin.data_type == DT_FSAMPLE && pin.direction != DR_OUT) names.push_back(pin.name);
    return names;
}

}  // namespace

void Run::expandInput() {
    if (o_.input.empty()) return;
    const std::vector<std::string> names = inputPins(description_, *profile_);
    std::string fed;
    for (std::size_t i = 0; i < names.size() && i < 2; ++i) fed += (i ? " and \"" : "\"") + names[i] + "\"";
    for (const PinAssignment& p : o_.pins)
        if (std::find(names.begin(), names.begin() + std::min<std::size_t>(2, names.size()), p.pin) !=
            names.begin() + std::min<std::size_t>(2, names.size()))
            throw UsageError("--input feeds " + fed + "; --pin \"" + p.pin + "\" too");
    std::error_code ec;
    if (std::filesystem::is_directory(o_.input, ec)) throw UsageError("--input " + o_.input + " is a directory");
    SoundFile probe(o_.input);
    if (!probe.ok()) throw UsageError("cannot read " + soundFileName(o_.input) + ": " + probe.error());
    const std::size_t channels =
        std::min<std::size_t>({static_cast<std::size_t>(probe.channels()), names.size(), 2});
    for (std::size_t c = 0; c < channels; ++c)
        o_.pins.insert(o_.pins.begin() + static_cast<std::ptrdiff_t>(c),
                       PinAssignment{names[c], parseSource("file:" + o_.input + ":" + std::to_string(c + 1))});
    const int total = probe.channels(), used = static_cast<int>(channels);
    if (total > used && err_)
        *err_ << "zohost: warning: " << soundFileName(o_.input) << " has " << total << " channels; --input plays "
              << (used == 1 ? "channel 1 on " : "channels 1 and 2 on ") << fed << ", and not channel"
              << (used + 1 == total ? " " + std::to_string(total) : "s " + std::to_string(used + 1) + " to " +
                                                                        std::to_string(total))
              << " (--pin NAME=file:PATH:CHANNEL plays one)\n";
}

void Run::openFiles(std::ostream& err) {
    files_.clear();
    for (const PinAssignment& p : o_.pins) {
        if (p.source.kind != SourceKind::File) {
            files_.push_back(nullptr);
            continue;
        }
        const std::string name = soundFileName(p.source.path);
        std::error_code ec;
        if (std::filesystem::is_directory(p.source.path, ec))
            throw UsageError("cannot read " + name + ": it is a directory");
        auto f = std::make_shared<SoundFile>(p.source.path);
        if (!f->ok()) throw UsageError("cannot read " + name + ": " + f->error());
        if (f->frames() <= 0) throw UsageError(name + " holds no samples");
        if (p.source.channel > f->channels())
            throw UsageError(name + " has " + std::to_string(f->channels()) + " channel" +
                             (f->channels() == 1 ? "" : "s") + ", not " + std::to_string(p.source.channel));
        if (!o_.rate_given && longest_ < 0) o_.rate = f->rate();
        longest_ = std::max<std::int64_t>(longest_, f->frames());
        files_.push_back(f);
    }
    if (o_.seconds_samples > 0.0) o_.seconds = o_.seconds_samples / o_.rate;
    noteFiles(err);
}

void Run::noteFiles(std::ostream& err) const {
    // Once per file, however many pins play its channels.
    std::vector<std::string> noted;
    for (const auto& f : files_) {
        if (!f || std::find(noted.begin(), noted.end(), f->path()) != noted.end()) continue;
        noted.push_back(f->path());
        if (f->cut())
            err << "zohost: note: " << soundFileName(f->path()) << " is cut short: its header promises more than the "
                << f->frames() << " samples it holds, which are played\n";
        if (f->rate() != o_.rate)
            err << "zohost: note: " << soundFileName(f->path()) << " is at " << f->rate() << " Hz and plays at "
                << o_.rate << " Hz, not resampled\n";
    }
    for (const PinAssignment& p : o_.pins)
        if (p.source.hz > o_.rate / 2.0)
            err << "zohost: warning: --pin \"" << p.pin << "\": " << p.source.hz << " Hz is above half the rate ("
                << o_.rate / 2.0 << " Hz); it plays as an alias of a lower frequency\n";
}

bool Run::load(std::ostream& err) {
    if (!library_.load(module_)) {
        // A sound file where the module goes: the user meant it as the input.
        if (std::filesystem::is_regular_file(module_) && SoundFile(module_).ok())
            throw UsageError(module_ + " is a sound file, not a module; did you mean --input " + module_ + "?");
        err << "zohost: " << library_.error() << "\n";
        return false;
    }
    std::string error;
    if (describeModule(library_, description_, error)) return true;
    err << "zohost: " << error << "\n";
    return false;
}

int Run::fontHeight() const { return o_.font_height > 0 ? o_.font_height : autoFontHeight(o_.height); }

InstanceOptions Run::instanceOptions() const {
    return renderInstanceOptions(static_cast<float>(o_.rate), o_.block, o_.text_colour, o_.background,
                                 fontHeight());
}

void Run::claim(const PinTable& table, int position) {
    if (fed(position)) throw UsageError("--pin \"" + table.descriptionAt(position)->name + "\" is given twice");
    fed_.push_back(position);
}

bool Run::fed(int position) const { return std::find(fed_.begin(), fed_.end(), position) != fed_.end(); }

void Run::feedPins(const PinTable& table, const std::function<void(std::size_t, int)>& feed) {
    for (std::size_t i = 0; i < o_.pins.size(); ++i) {
        const int pos = findSampleInput(table, o_.pins[i].pin);
        claim(table, pos);
        feed(i, pos);
        if (o_.pins[i].source.kind != SourceKind::Off) fed_names_.push_back(table.descriptionAt(pos)->name);
        told_.push_back("\"" + table.descriptionAt(pos)->name + "\" " + describeSource(o_.pins[i].source));
    }
}

void Run::applySets(const PinTable& table, const std::function<void(const ListChoice&)>& set) {
    for (const ChoiceAssignment& c : o_.sets) {
        const ListChoice choice = findListChoice(table, c.pin, c.choice, *profile_);
        const auto seen = std::find(set_.begin(), set_.end(), choice.position);
        if (seen != set_.end() && !(demo_ && seen == set_.begin()))
            throw UsageError("--set \"" + choice.pin + "\" is given twice");
        set(choice);
        labels_.emplace_back(choice.pin, choice.label);
        const std::string told = choice.pin + "=" + choice.label;
        if (seen == set_.end()) {
            set_.push_back(choice.position);
            set_told_.push_back(told);
        } else {
            set_told_[static_cast<std::size_t>(seen - set_.begin())] = told;
        }
    }
    told_.insert(told_.end(), set_told_.begin(), set_told_.end());
    warnUndrawnColours();
}

std::string Run::labelOf(const std::string& pin) const {
    for (auto l = labels_.rbegin(); l != labels_.rend(); ++l)
        if (l->first == pin) return l->second;
    for (const PinDescription& d : description_.pins)
        if (d.name == pin && d.has_default)
            for (const PinChoice& c : d.choices())
                if (std::to_string(c.value) == d.default_value) return c.label;
    return "";
}

void Run::warnUndrawnColours() const {
    if (!err_) return;
    const std::pair<const char*, std::int64_t> colours[] = {{"--trace-b-colour", o_.trace_b_colour},
                                                            {"--readout-colour", o_.readout_colour},
                                                            {"--figure-colour", o_.figure_colour}};
    for (const auto& [option, value] : colours) {
        const ModuleProfile::Drawn* d = profile_->drawnBy(option);
        if (value < 0 || !d || !d->drawn_when) continue;
        const std::string label = labelOf(d->drawn_when);
        std::string first;
        for (const PinDescription& p : description_.pins)
            if (p.name == d->drawn_when && !p.choices().empty()) first = p.choices().front().label;
        if (label == first)
            *err_ << "zohost: warning: " << option << " colours " << d->what << ", which is drawn only when "
                  << d->drawn_when << " is not " << first << " (--set " << d->drawn_when << "=...)\n";
    }
}

void Run::explainNoCaptures(std::ostream& err) const {
    const ModuleProfile& p = *profile_;
    if (!p.no_capture_reason) return;
    std::string why = p.no_capture_reason;
    for (const ModuleProfile::NoCaptureHint& h : p.no_capture_hints)
        if (labelOf(h.pin) == h.label &&
            std::find(fed_names_.begin(), fed_names_.end(), h.input) == fed_names_.end())
            why = h.why;
    err << "zohost: warning: the run sent no capture, so the pictures show none: " << why << "\n";
}

bool Run::wasSet(int position) const { return std::find(set_.begin(), set_.end(), position) != set_.end(); }

void Run::printInputs(std::ostream& out) const {
    out << (demo_ ? "demo: " : "inputs: ");
    if (told_.empty()) out << "none";
    for (std::size_t i = 0; i < told_.size(); ++i) out << (i ? "; " : "") << told_[i];
}

}  // namespace zohost::tool
