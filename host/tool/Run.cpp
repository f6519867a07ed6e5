#include "tool/Run.h"

#include <algorithm>
#include <filesystem>

#include "tool/Render.h"
#include "tool/Tool.h"

namespace zohost::tool {

Run::Run(const ToolOptions& options)
    : o_(options), demo_(options.pins.empty() && options.input.empty()), module_(modulePath(options)) {}

void Run::takeInputs() {
    expandInput();
    if (!demo_) return;
    // A trigger on A unless the user's own --set says otherwise (later, so theirs wins).
    o_.pins.push_back(PinAssignment{"Signal A", parseSource("sine:440")});
    o_.pins.push_back(PinAssignment{"Signal B", parseSource("triangle:660")});
    o_.sets.insert(o_.sets.begin(), ChoiceAssignment{"Trigger", "InputA"});
}

void Run::expandInput() {
    if (o_.input.empty()) return;
    std::error_code ec;
    if (std::filesystem::is_directory(o_.input, ec)) throw UsageError("--input " + o_.input + " is a directory");
    SoundFile probe(o_.input);
    if (!probe.ok()) throw UsageError("cannot read " + o_.input + ": " + probe.error());
    o_.pins.insert(o_.pins.begin(), PinAssignment{"Signal A", parseSource("file:" + o_.input + ":1")});
    if (probe.channels() >= 2)
        o_.pins.insert(o_.pins.begin() + 1, PinAssignment{"Signal B", parseSource("file:" + o_.input + ":2")});
}

void Run::openFiles(std::ostream& err) {
    files_.clear();
    for (const PinAssignment& p : o_.pins) {
        if (p.source.kind != SourceKind::File) {
            files_.push_back(nullptr);
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
        if (!o_.rate_given && longest_ < 0) o_.rate = f->rate();
        longest_ = std::max<std::int64_t>(longest_, f->frames());
        files_.push_back(f);
    }
    noteFiles(err);
}

void Run::noteFiles(std::ostream& err) const {
    std::vector<std::string> noted;
    for (const auto& f : files_)
        if (f && f->cut() && std::find(noted.begin(), noted.end(), f->path()) == noted.end() &&
            (noted.push_back(f->path()), true))
            err << "zohost: note: " << f->path() << " is cut short: its header promises more than the "
                << f->frames() << " samples it holds, which are played\n";
    for (const auto& f : files_)
        if (f && f->rate() != o_.rate)
            err << "zohost: note: " << f->path() << " is at " << f->rate() << " Hz and plays at " << o_.rate
                << " Hz, not resampled\n";
}

bool Run::load(std::ostream& err) {
    if (library_.load(module_)) return true;
    err << "zohost: " << library_.error() << "\n";
    return false;
}

bool Run::describe(ModuleDescription& description, std::ostream& err) const {
    std::string error;
    if (describeModule(library_, description, error)) return true;
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
        told_.push_back("\"" + table.descriptionAt(pos)->name + "\" " + describeSource(o_.pins[i].source));
    }
}

void Run::applySets(const PinTable& table, const std::function<void(const ListChoice&)>& set) {
    for (const ChoiceAssignment& c : o_.sets) {
        const ListChoice choice = findListChoice(table, c.pin, c.choice);
        const auto seen = std::find(set_.begin(), set_.end(), choice.position);
        if (seen != set_.end() && !(demo_ && seen == set_.begin()))
            throw UsageError("--set \"" + choice.pin + "\" is given twice");
        set(choice);
        const std::string told = choice.pin + "=" + choice.label;
        if (seen == set_.end()) {
            set_.push_back(choice.position);
            set_told_.push_back(told);
        } else {
            set_told_[static_cast<std::size_t>(seen - set_.begin())] = told;
        }
    }
    told_.insert(told_.end(), set_told_.begin(), set_told_.end());
}

bool Run::wasSet(int position) const { return std::find(set_.begin(), set_.end(), position) != set_.end(); }

void Run::printInputs(std::ostream& out) const {
    out << (demo_ ? "demo: " : "inputs: ");
    for (std::size_t i = 0; i < told_.size(); ++i) out << (i ? "; " : "") << told_[i];
}

}  // namespace zohost::tool
