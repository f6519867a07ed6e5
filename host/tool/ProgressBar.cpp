#include "tool/ProgressBar.h"

namespace zohost::tool {

namespace {
const int kWidth = 40;
}

ProgressBar::ProgressBar(std::FILE* out, bool on, std::uint64_t total)
    : out_(out), on_(on && out && total > 0), total_(total), start_(Clock::now()), last_draw_(start_) {}

void ProgressBar::update(std::uint64_t done) {
    // Reading the clock per block is cheap, but not free on every system.
    if (!on_ || (++calls_ & 7u) != 0) return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    shown_ = true;
    const double f = done >= total_ ? 1.0 : static_cast<double>(done) / static_cast<double>(total_);
    const int fill = static_cast<int>(f * kWidth);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < fill ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(out_, "\r[%s] %3d%%", bar, static_cast<int>(f * 100.0));
    std::fflush(out_);
}

void ProgressBar::finish() {
    if (!shown_) return;
    shown_ = false;
    std::fprintf(out_, "\r%*s\r", kWidth + 8, "");
    std::fflush(out_);
}

}  // namespace zohost::tool
