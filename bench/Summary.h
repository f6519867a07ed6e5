// A console reporter that also keeps the median of each benchmark (or its
// single run, without repetitions) and ends with a table of the figures that
// matter: nanoseconds per sample beside the physical limit, the budgets, and
// whether each is met.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zobench {

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter();  // colours only on a terminal
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    struct Figure {
        bool median = false;
        double cpu_seconds = 0.0;  // per iteration
        std::map<std::string, double> counters;
    };
    const Figure* find(const std::string& name) const;
    double counter(const std::string& name, const char* counter) const;  // NaN when missing
    double nsPerSample(const std::string& name) const;                    // from items per second

    std::map<std::string, Figure> figures_;
    double load_at_start_ = -1.0;
};

}  // namespace zobench
