#include "tool/Render.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ScopeCaptures.h"
#include "tool/CaptureLog.h"
#include "tool/PngWriter.h"
#include "tool/ProgressBar.h"
#include "zohost/Canvas.h"

namespace zohost::tool {

InstanceOptions renderInstanceOptions(float rate, int block, std::uint32_t text_colour,
                                      std::int32_t background, int font_height) {
    InstanceOptions o;
    o.sample_rate = rate;
    o.block_size = block;
    o.text_colour = text_colour;
    o.background = background;
    o.font_height = font_height;
    o.log_requests = false;
    o.messages.delivery = Delivery::Queued;
    o.messages.record = true;  // captures are counted from the records
    return o;
}

std::string framePath(const std::string& dir, std::size_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05zu.png", number);
    return (std::filesystem::path(dir) / name).string();
}

bool render(Instance& in, const RenderJob& job, RenderStats& st, std::string& error) {
    st = RenderStats();
    Canvas canvas(job.width, job.height, job.canvas_rgb);
    if (!canvas.valid()) {
        error = "cannot make a picture of " + std::to_string(job.width) + "x" + std::to_string(job.height);
        return false;
    }
    // Samples are copied only when they are written out.
    CaptureRecorder recorder(job.captures.empty() ? 0 : std::size_t(1) << 24);
    MessageObserver* const observer = in.messages().options().observer;
    in.messages().options().observer = &recorder;
    struct Restore {
        Instance& in;
        MessageObserver* observer;
        ~Restore() { in.messages().options().observer = observer; }
    } restore{in, observer};
    CaptureLog log;
    if (!job.captures.empty() && !log.open(job.captures, error)) return false;
    if (!job.frames_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(job.frames_dir, ec);
        if (ec) {
            error = "cannot create " + job.frames_dir + ": " + ec.message();
            return false;
        }
    }
    PngWriter png, frame_png(true);
    auto paint = [&] {
        canvas.fill(job.canvas_rgb);
        in.paint(canvas.dc(), job.width, job.height);
        ++st.paints;
    };

    in.open();
    int seen = in.repaints();
    bool pending = false;  // a repaint was asked for and not painted yet
    bool ok = true;
    auto afterBlock = [&] {
        // Records are consumed per block so that a long run keeps none.
        for (const Capture* c : recorder.captures()) {
            ++st.captures;
            log.write(*c, st.captures);
        }
        in.messages().clearRecords();
        if (in.repaints() == seen) return;
        seen = in.repaints();
        pending = true;
        if (job.frames_dir.empty() || !ok) return;
        paint();
        pending = false;
        ++st.frames;
        ok = frame_png.write(framePath(job.frames_dir, st.frames), canvas.pixels(), canvas.width(),
                             canvas.height(), error);
    };

    ProgressBar bar(job.progress, job.progress != nullptr, job.samples);
    const std::uint64_t block = static_cast<std::uint64_t>(std::max(1, in.options().block_size));
    while (ok && st.samples < job.samples) {
        const int n = static_cast<int>(std::min(block, job.samples - st.samples));
        in.processBlock(n);
        st.samples += static_cast<std::uint64_t>(n);
        afterBlock();
        bar.update(st.samples);
    }
    // The last block's capture, still on its way to the display.
    in.deliverMessages();
    afterBlock();
    bar.finish();
    st.repaints = in.repaints();
    if (!ok) return false;

    if (!job.png.empty()) {
        if (pending || st.paints == 0) paint();
        if (!png.write(job.png, canvas.pixels(), canvas.width(), canvas.height(), error)) return false;
    }
    return log.close(error);
}

}  // namespace zohost::tool
