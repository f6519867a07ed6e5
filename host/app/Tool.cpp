#include "app/Tool.h"

#include <algorithm>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Signals.h"
#include "live/Live.h"
#include "run/OutputFile.h"
#include "run/PinSetup.h"
#include "tool/RenderCommand.h"
#include "run/Run.h"
#include "run/ToolOptions.h"
#include "ScopeProfile.h"
#include "Validate.h"
#include "zohost/Describe.h"
#include "zohost/ExecutablePath.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace zohost::tool {

namespace {

void describePins(const ModuleDescription& d, const ModuleProfile& profile, std::ostream& out) {
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
            << std::string(def.size() < 16 ? 16 - def.size() : 1, ' ') << pinMeaning(profile, p.name) << "\n";
        if (!p.has_list) continue;
        for (const PinChoice& c : p.choices()) {
            const std::string label = "    " + std::to_string(c.value) + " \"" + c.label + "\"";
            out << label << std::string(label.size() < width + 28 ? width + 28 - label.size() : 1, ' ')
                << choiceMeaning(profile, p.name, c.label) << "\n";
        }
    }
}

int runDescribe(const ToolOptions& o, std::ostream& out, std::ostream& err) {
    Run run(o);
    if (!run.load(err)) return kNoModule;
    const ModuleDescription& d = run.description();
    out << "module:      " << run.library().path() << "\n" << formatDescription(d);
    describePins(d, scope::profileFor(d.id), out);
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

// gzip's rule: binary data is not dumped on a terminal unless asked to.
void refuseBinaryOnTerminal(const ToolOptions& o) {
    if (o.force) return;
    const std::pair<const char*, bool> binary[] = {{"--png", !o.live && o.png == "-"}, {"--snapshot", o.snapshot == "-"}};
    for (const auto& [option, to_out] : binary)
        if (to_out)
            throw UsageError(std::string(option) +
                             " -: standard output is a terminal; a PNG picture is not written to it (redirect it, "
                             "or use --force (-f) to write it anyway)");
}

}  // namespace

void interrupt() {
    stopRender();
    live::stopLive();
}

int runTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool terminal,
            bool status_on_out, bool out_terminal) {
    ToolOptions o;
    int rc = parseToolOptions(argc, argv, o, out, err);
    if (rc >= 0) return rc;
    try {
        if (o.validate) return runValidate(o, out, err, terminal);
        if (out_terminal) refuseBinaryOnTerminal(o);
        if (o.describe) return runDescribe(o, out, err);
        stopBetweenBlocks(true);
        if (o.live) {
            // Status where it cannot mix with an output.
            const bool data_on_out = o.snapshot == "-" || o.captures == "-";
            return live::runLive(o, status_on_out && !data_on_out ? out : err, err);
        }
        return runRender(o, out, err, terminal, status_on_out);
    } catch (const std::invalid_argument& e) {  // UsageError, UnknownPin
        err << "zohost: " << e.what() << "\n";
        return kUsage;
    }
}

}  // namespace zohost::tool
