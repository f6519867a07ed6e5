#include "Summary.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <unistd.h>

namespace zobench {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const int kBlocks[] = {64, 256, 1024};

double loadAverage() {
    double load[1];
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

std::string audioName(const char* family, int block, int length) {
    return std::string(family) + "/block:" + std::to_string(block) + "/len:" + std::to_string(length);
}

const char* verdict(bool known, bool met) { return !known ? "n/a" : met ? "met" : "MISSED"; }

// A figure, or "-" where there is none.
std::string num(double v, int decimals) {
    if (std::isnan(v)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

SummaryReporter::SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    if (load_at_start_ < 0.0) load_at_start_ = loadAverage();
    // On the console, of the aggregates only the median: the file keeps all.
    std::vector<Run> shown;
    for (const Run& r : runs)
        if (r.run_type != Run::RT_Aggregate || r.aggregate_name == "median") shown.push_back(r);
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    for (const Run& r : runs) {
        if (r.error_occurred) continue;
        const bool median = r.run_type == Run::RT_Aggregate;
        if (median && r.aggregate_name != "median") continue;
        Figure& f = figures_[r.run_name.str()];
        if (f.median && !median) continue;  // a median is never replaced by one repetition
        f.median = median;
        f.cpu_seconds = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        f.counters.clear();
        for (const auto& c : r.counters) f.counters[c.first] = c.second.value;
    }
}

const SummaryReporter::Figure* SummaryReporter::find(const std::string& name) const {
    auto it = figures_.find(name);
    return it == figures_.end() ? nullptr : &it->second;
}

double SummaryReporter::counter(const std::string& name, const char* counter) const {
    const Figure* f = find(name);
    if (!f) return kNaN;
    auto it = f->counters.find(counter);
    return it == f->counters.end() ? kNaN : it->second;
}

double SummaryReporter::nsPerSample(const std::string& name) const {
    const double rate = counter(name, "items_per_second");
    return rate > 0.0 ? 1e9 / rate : kNaN;
}

void SummaryReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::FILE* out = stdout;
    std::fprintf(out,
                 "\nSummary: medians of CPU time (the single run without repetitions); load average %.2f at the "
                 "start, %.2f at the end\n",
                 load_at_start_, loadAverage());

    std::fprintf(out, "\nAudio path, ns per sample: via the host core, the processing word called directly, the "
                      "physical limit,\nvia-host / limit, and allocations while timed\n");
    std::fprintf(out, "%-10s %6s %6s %10s %10s %6s %10s %7s  %-24s %s\n", "state", "len", "block", "via host", "direct",
                 "host %", "limit", "ratio", "budget", "allocs");
    struct Row {
        const char* state;
        const char* family;
        const char* direct;
        const char* limit;
        int length;
        double budget;  // ratio to the limit; 0: none
    };
    const Row rows[] = {
        {"capture", "BM_Capture", "BM_CaptureDirect", "BM_CaptureMemcpy", 100, 2.0},
        {"capture", "BM_Capture", "BM_CaptureDirect", "BM_CaptureMemcpy", 44100, 2.0},
        {"wait", "BM_Wait", "BM_WaitDirect", "BM_WaitFindIf", 100, 1.5},
        {"hold-off", "BM_HoldOff", nullptr, "BM_CaptureMemcpy", 100, 0.0},
        {"hold-off", "BM_HoldOff", nullptr, "BM_CaptureMemcpy", 44100, 0.0},
        {"mix", "BM_Mix", "BM_MixDirect", nullptr, 100, 0.0},
    };
    long allocations = 0;
    bool allocations_known = false;
    for (const Row& row : rows) {
        for (int block : kBlocks) {
            const std::string name = audioName(row.family, block, row.length);
            if (!find(name)) continue;
            const double host = nsPerSample(name);
            const double direct = row.direct ? nsPerSample(audioName(row.direct, block, row.length)) : kNaN;
            const double limit = row.limit ? nsPerSample(audioName(row.limit, block, row.length)) : kNaN;
            const double ratio = host / limit;
            const double allocs = counter(name, "allocs");
            if (!std::isnan(allocs)) {
                allocations_known = true;
                allocations += std::lround(allocs);
            }
            char budget[64] = "";
            if (row.budget > 0.0)
                std::snprintf(budget, sizeof budget, "<=%.1fx %s", row.budget,
                              verdict(!std::isnan(ratio), ratio <= row.budget));
            else if (std::string(row.state) == "mix")
                std::snprintf(budget, sizeof budget, ">=441 M/s %s (%.0f)", verdict(!std::isnan(host), host <= 1e3 / 441.0),
                              1e3 / host);
            std::fprintf(out, "%-10s %6d %6d %10s %10s %6s %10s %7s  %-24s %s\n", row.state, row.length, block,
                         num(host, 3).c_str(), num(direct, 3).c_str(), num(100.0 * (1.0 - direct / host), 0).c_str(),
                         num(limit, 3).c_str(), num(ratio, 2).c_str(), budget, num(allocs, 0).c_str());
        }
    }
    std::fprintf(out, "allocations on the audio path at a fixed capture length: %ld (budget 0: %s)\n", allocations,
                 verdict(allocations_known, allocations == 0));

    std::fprintf(out, "\nHand-off: ns per data/ack round trip with the display's copy, a memcpy of both channels, "
                      "ratio\n");
    std::fprintf(out, "%6s %12s %12s %7s\n", "len", "round trip", "memcpy", "ratio");
    for (int length : {100, 4410, 44100}) {
        const std::string name = "BM_HandOff/len:" + std::to_string(length);
        const Figure* f = find(name);
        const Figure* m = find("BM_HandOffMemcpy/len:" + std::to_string(length));
        if (!f) continue;
        const double trip = f->cpu_seconds * 1e9;
        const double copy = m ? m->cpu_seconds * 1e9 : kNaN;
        std::fprintf(out, "%6d %12.1f %12s %7s\n", length, trip, num(copy, 1).c_str(), num(trip / copy, 2).c_str());
    }

    std::fprintf(out, "\nPaint through the display object on our drawing library\n");
    std::fprintf(out, "%-24s %10s %14s  %s\n", "scene", "ms/paint", "M segments/s", "budget");
    const char* scenes[] = {"time_44100_1920x1080", "time_100_640x360", "xy_44100_1920x1080"};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "BM_Paint/scene:" + std::to_string(i);
        const Figure* f = find(name);
        if (!f) continue;
        const double ms = f->cpu_seconds * 1e3;
        char budget[32] = "";
        if (i == 0) std::snprintf(budget, sizeof budget, "<4 ms %s", verdict(true, ms < 4.0));
        std::fprintf(out, "%-24s %10.3f %14.2f  %s\n", scenes[i], ms, counter(name, "segments") / 1e6, budget);
    }

    std::fprintf(out, "\nMemory of one instance (audio and display object), bytes live after its captures\n");
    std::fprintf(out, "%6s %12s %14s %12s %12s\n", "len", "module", "module allocs", "host core", "total");
    for (int length : {100, 44100}) {
        const std::string name = "BM_InstanceMemory/len:" + std::to_string(length) + "/iterations:1";
        if (!find(name)) continue;
        std::fprintf(out, "%6d %12.0f %14.0f %12.0f %12.0f\n", length, counter(name, "module_bytes"),
                     counter(name, "module_allocs"), counter(name, "host_bytes"), counter(name, "total_bytes"));
    }
    std::fflush(out);
}

}  // namespace zobench
