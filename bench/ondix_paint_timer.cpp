// Times the display's paint of each scene with std::chrono alone, so that the
// same program runs on our drawing library and on Windows GDI (or Wine's).
// Prints one line per scene: name, median and fastest ms per paint, segments
// per second at the median.
//
//   ondix_paint_timer [MODULE] [BATCHES]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "PaintScenes.h"
#include "zohost/Canvas.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Timing {
    double median, fastest;  // seconds per paint
};

// Seconds per paint over `batches` batches, each long enough (about 20 ms)
// that the clock's resolution does not matter. The clock is the wall clock,
// the one both platforms have alike: on a loaded machine the fastest batch
// is the one least disturbed.
Timing paintSeconds(zohost::Instance& in, zohost::Canvas& canvas, const zobench::PaintScene& s,
                          int batches) {
    auto paint = [&] { in.paint(canvas.dc(), s.width, s.height); };
    for (int i = 0; i < 3; ++i) paint();
    canvas.pixels();  // flushes what Windows GDI may batch
    int per_batch = 1;
    for (;;) {
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < per_batch; ++i) paint();
        canvas.pixels();
        if (secondsOf(Clock::now() - t0) >= 0.02 || per_batch >= (1 << 20)) break;
        per_batch *= 2;
    }
    std::vector<double> each;
    for (int b = 0; b < batches; ++b) {
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < per_batch; ++i) paint();
        canvas.pixels();
        each.push_back(secondsOf(Clock::now() - t0) / per_batch);
    }
    std::sort(each.begin(), each.end());
    return {each[each.size() / 2], each.front()};
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : ZO_MODULE_FILE;
    const int batches = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;
    zohost::ModuleLibrary library(path);
    if (!library.loaded()) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, library.error().c_str());
        return 2;
    }
    std::printf("# scene\tmedian_ms\tfastest_ms\tsegments_per_s\n");
    for (const zobench::PaintScene& s : zobench::paintScenes()) {
        zohost::InstanceOptions o;
        o.audio = false;
        o.log_requests = false;
        o.messages.record = false;
        zohost::Instance in(library, o);
        std::vector<float> storage;
        T_SCOPE record = zobench::sceneRecord(s, storage);
        in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &record);
        zohost::Canvas canvas(s.width, s.height, 0);
        if (!canvas.valid()) {
            std::fprintf(stderr, "no %dx%d canvas\n", s.width, s.height);
            return 1;
        }
        in.paint(canvas.dc(), s.width, s.height);
        // Channel B of the time display, or the figure, in its own colour:
        // a paint that drew no signal would time the wrong thing.
        const std::uint32_t signal_rgb = s.mode == 0 ? 0xFAFA00u : 0xFA1E1Eu;
        const std::uint32_t* p = canvas.pixels();
        const long drawn = static_cast<long>(
            std::count(p, p + static_cast<std::size_t>(canvas.width()) * canvas.height(), signal_rgb));
        if (drawn < 100) {
            std::fprintf(stderr, "%s: the signal was not drawn\n", s.name);
            return 1;
        }
        const Timing t = paintSeconds(in, canvas, s, batches);
        std::printf("%s\t%.4f\t%.4f\t%.4g\n", s.name, t.median * 1e3, t.fastest * 1e3,
                    static_cast<double>(zobench::segmentsOf(s)) / t.median);
        std::fflush(stdout);
    }
    return 0;
}
