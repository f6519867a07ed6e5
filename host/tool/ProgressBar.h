// A one-line progress bar on a terminal, for runs that take a while: it
// shows up only once a second of wall time has passed, is redrawn at most
// ten times a second, and is wiped when done.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace zohost::tool {

class ProgressBar {
public:
    // Off: every call is a no-op.
    ProgressBar(std::FILE* out, bool on, std::uint64_t total);
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::uint64_t done);
    void finish();
    bool shown() const { return shown_; }

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    bool on_;
    std::uint64_t total_;
    Clock::time_point start_;
    Clock::time_point last_draw_;
    bool shown_ = false;
    unsigned calls_ = 0;
};

}  // namespace zohost::tool
