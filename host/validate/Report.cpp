#include "Report.h"

#include <cstdio>
#include <map>

namespace zohost::validate {

namespace {

// Bytes that neither XML 1.0 nor JSON text may carry raw (controls, and
// anything not ASCII, which a crashed child's output may hold) become '?'.
char plain(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\n' && c != '\t') || u >= 0x7F ? '?' : c;
}

std::string xml(const std::string& s) {
    std::string o;
    for (char c : s) {
        switch (c) {
        case '&': o += "&amp;"; break;
        case '<': o += "&lt;"; break;
        case '>': o += "&gt;"; break;
        case '"': o += "&quot;"; break;
        case '\n': o += "&#10;"; break;
        default: o += plain(c);
        }
    }
    return o;
}

std::string json(const std::string& s) {
    std::string o = "\"";
    for (char c : s) {
        switch (c) {
        case '"': o += "\\\""; break;
        case '\\': o += "\\\\"; break;
        case '\n': o += "\\n"; break;
        case '\t': o += "\\t"; break;
        default: o += plain(c);
        }
    }
    return o + "\"";
}

std::string seconds(double s) {
    char b[32];
    std::snprintf(b, sizeof b, "%.3f", s);
    return b;
}

struct Tally {
    int tests = 0, failures = 0, skipped = 0;
    double seconds = 0.0;
    void add(const ReportEntry& e) {
        ++tests;
        failures += e.passed ? 0 : 1;
        skipped += e.skipped ? 1 : 0;
        seconds += e.seconds;
    }
};

std::string counts(const Tally& t) {
    return "tests=\"" + std::to_string(t.tests) + "\" failures=\"" + std::to_string(t.failures) +
           "\" errors=\"0\" skipped=\"" +
           std::to_string(t.skipped) + "\" time=\"" + seconds(t.seconds) + "\"";
}

}  // namespace

std::string junitReport(const ReportRun& run) {
    // One suite per group, in the order the groups first ran.
    std::vector<std::string> order;
    std::map<std::string, Tally> groups;
    Tally all;
    for (const ReportEntry& e : run.entries) {
        if (!groups.count(e.group)) order.push_back(e.group);
        groups[e.group].add(e);
        all.add(e);
    }
    std::string o = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"zohost --validate " +
                    xml(run.module) + "\" " + counts(all) + ">\n";
    for (const std::string& g : order) {
        o += "  <testsuite name=\"" + xml(g) + "\" " + counts(groups[g]) + ">\n";
        o += "    <properties><property name=\"module\" value=\"" + xml(run.module) +
             "\"/><property name=\"level\" value=\"" + std::to_string(run.level) + "\"/></properties>\n";
        for (const ReportEntry& e : run.entries) {
            if (e.group != g) continue;
            o += "    <testcase name=\"" + xml(e.name) + "\" classname=\"" + xml(e.group) + "\" time=\"" +
                 seconds(e.seconds) + "\">\n";
            if (e.skipped) o += "      <skipped message=\"" + xml(e.message) + "\"/>\n";
            if (!e.passed) o += "      <failure message=\"" + xml(e.message) + "\" type=\"failure\">" + xml(e.replay) + "</failure>\n";
            o += "      <system-out>seed " + std::to_string(e.seed) + (e.passed && !e.skipped && !e.message.empty() ? ": " + xml(e.message) : "") +
                 "&#10;replay: " + xml(e.replay) + "</system-out>\n";
            o += "    </testcase>\n";
        }
        o += "  </testsuite>\n";
    }
    return o + "</testsuites>\n";
}

std::string jsonReport(const ReportRun& run) {
    Tally all;
    for (const ReportEntry& e : run.entries) all.add(e);
    std::string o = "{\n  \"module\": " + json(run.module) + ",\n  \"seed\": " + std::to_string(run.seed) +
                    ",\n  \"level\": " + std::to_string(run.level) + ",\n  \"passed\": " +
                    std::to_string(all.tests - all.failures - all.skipped) + ",\n  \"failed\": " + std::to_string(all.failures) +
                    ",\n  \"skipped\": " + std::to_string(all.skipped) +
                    ",\n  \"time\": " + seconds(all.seconds) + ",\n  \"tests\": [";
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        const ReportEntry& e = run.entries[i];
        o += std::string(i ? "," : "") + "\n    {\"name\": " + json(e.name) + ", \"group\": " + json(e.group) +
             ", \"result\": " + (e.skipped ? "\"skipped\"" : e.passed ? "\"passed\"" : "\"failed\"") + ", \"seed\": " + std::to_string(e.seed) +
             ", \"time\": " + seconds(e.seconds) + ", \"message\": " + json(e.message) +
             ", \"replay\": " + json(e.replay) + "}";
    }
    return o + "\n  ]\n}\n";
}

}  // namespace zohost::validate
