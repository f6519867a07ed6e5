// One run of a module, as every front end sets it up: the inputs from the
// options (--input, --pin, the demonstration's defaults), the files they
// read, the module loaded, pins fed and list pins set with the "given
// twice" check, and the line that tells what fed the run. The front ends
// (pictures, live, describe) add only what is theirs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "run/PinSetup.h"
#include "run/SoundFile.h"
#include "run/ToolOptions.h"
#include "zohost/Describe.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"
#include "zohost/ModuleProfile.h"

namespace zohost::tool {

// Instance options for rendering: messages travel between blocks (one
// capture per block at most reaches the display, as through a host's window
// thread), no request log.
// Colours 0x00RRGGBB; a negative background: none.
InstanceOptions renderInstanceOptions(float rate, int block, std::uint32_t text_rgb, std::int64_t background_rgb,
                                      int font_height);

// The named module; else the one beside zohost (a build), else the one in
// the library folder of the prefix zohost is installed to.
std::string modulePath(const ToolOptions& o);
// A file zohost ships: beside it (a build), else in the library folder of
// its prefix (an install); empty when in neither.
std::string installedFile(const char* name);

class Run {
public:
    explicit Run(const ToolOptions& options);
    // Loads and describes the module and takes its profile; false, with the
    // message on `err`, when it cannot be loaded (exit status 3). Throws
    // UsageError for an option the module's profile has no use for.
    bool start(std::ostream& err);
    // --input and the demonstration's inputs become --pin and --set entries.
    void takeInputs();

    ToolOptions& options() { return o_; }
    const ToolOptions& options() const { return o_; }
    bool demo() const { return demo_; }
    const std::string& module() const { return module_; }

    // Opens every file source, checked; the first one's rate becomes the
    // run's unless --rate gives one. Notes on files go to `err`.
    void openFiles(std::ostream& err);
    // The file behind o.pins[index], or null when that pin reads none.
    const std::shared_ptr<SoundFile>& file(std::size_t index) const { return files_[index]; }
    // Frames of the longest file; -1 without files.
    std::int64_t longestFile() const { return longest_; }

    // Only loads and describes.
    bool load(std::ostream& err);
    const ModuleLibrary& library() const { return library_; }
    const ModuleDescription& description() const { return description_; }
    const ModuleProfile& profile() const { return *profile_; }
    int fontHeight() const;
    InstanceOptions instanceOptions() const;

    // Each --pin resolved against `table`: `feed(index in o.pins, position)`.
    void feedPins(const PinTable& table, const std::function<void(std::size_t, int)>& feed);
    // A pin fed by something other than --pin; throws when it is fed twice.
    void claim(const PinTable& table, int position);
    bool fed(int position) const;
    // Each --set resolved and handed to `set`, the later of the demonstration's
    // default and the user's own winning.
    void applySets(const PinTable& table, const std::function<void(const ListChoice&)>& set);
    bool wasSet(int position) const;

    // After a run that sent no capture: says so on `err`, and why it may be,
    // for a module whose profile counts captures.
    void explainNoCaptures(std::ostream& err) const;

    // A phrase for the inputs line.
    void tell(std::string what) { told_.push_back(std::move(what)); }
    // "demo: ..." or "inputs: ...", without the line's end.
    void printInputs(std::ostream& out) const;

private:
    void refuseForeignOptions() const;
    void expandInput();
    void noteFiles(std::ostream& err) const;
    void warnUndrawnColours() const;
    // The label a list pin is at: set, else its default; "" when unknown.
    std::string labelOf(const std::string& pin) const;

    ToolOptions o_;
    bool demo_;
    std::string module_;
    std::vector<std::shared_ptr<SoundFile>> files_;
    std::int64_t longest_ = -1;
    ModuleLibrary library_;
    ModuleDescription description_;
    const ModuleProfile* profile_ = nullptr;
    std::vector<int> fed_, set_;
    std::vector<std::string> told_, set_told_;
    std::vector<std::pair<std::string, std::string>> labels_;  // list pin, label set
    std::vector<std::string> fed_names_;                        // inputs fed something
    std::ostream* err_ = nullptr;                               // warnings, from start()
};

}  // namespace zohost::tool
