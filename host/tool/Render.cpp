#include "tool/Render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "ScopeCaptures.h"
#include "tool/CaptureLog.h"
#include "tool/GifWriter.h"
#include "tool/OutputFile.h"
#include "tool/PngWriter.h"
#include "tool/ProgressBar.h"
#include "zohost/Canvas.h"

namespace zohost::tool {

std::uint32_t colorrefOf(std::uint32_t rgb) {
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

InstanceOptions renderInstanceOptions(float rate, int block, std::uint32_t text_rgb, std::int64_t background_rgb,
                                      int font_height) {
    InstanceOptions o;
    o.sample_rate = rate;
    o.block_size = block;
    o.text_colour = colorrefOf(text_rgb);
    o.background = background_rgb < 0 ? -1 : static_cast<std::int32_t>(colorrefOf(static_cast<std::uint32_t>(background_rgb)));
    o.font_height = font_height;
    o.log_requests = false;
    o.messages.delivery = Delivery::Queued;
    o.messages.record = true;  // captures are counted from the records
    return o;
}

std::string framePath(const std::string& dir, std::size_t number, int digits) {
    char name[48];
    std::snprintf(name, sizeof name, "frame-%0*zu.png", std::clamp(digits, 1, 20), number);
    return (std::filesystem::path(dir) / name).string();
}

std::size_t frameCount(double seconds, double fps) {
    return static_cast<std::size_t>(std::floor(seconds * fps + 1e-9));
}

int frameDigits(std::size_t frames) {
    int d = 1;
    while (frames >= 10) {
        frames /= 10;
        ++d;
    }
    return d;
}

namespace {

// Hundredths of a second from frame i to i + 1 at `fps`, rounded so that the
// sum of the delays stays with real time.
int delayCs(std::size_t i, double fps) {
    return static_cast<int>(std::llround(100.0 * static_cast<double>(i + 1) / fps) -
                            std::llround(100.0 * static_cast<double>(i) / fps));
}

bool writePng(PngWriter& writer, const std::string& path, const std::vector<std::uint32_t>& pixels, int width,
              int height, std::string& error) {
    OutputFile out;
    if (!out.begin(path, error)) return false;
    if (!writer.write(out.workPath(), pixels.data(), width, height, error)) {
        error = "cannot write " + path + (error.empty() ? "" : ": " + error);
        return false;
    }
    return out.commit(error);
}

}  // namespace

bool render(Instance& in, const RenderJob& job, RenderStats& st, std::string& error) {
    st = RenderStats();
    Canvas canvas(job.width, job.height, job.canvas_rgb);
    if (!canvas.valid()) {
        error = "cannot make a picture of " + std::to_string(job.width) + "x" + std::to_string(job.height);
        return false;
    }
    // Every output is tried before the run.
    OutputFile png_out, log_out, gif_out;
    if (!job.png.empty() && !png_out.begin(job.png, error)) return false;
    if (!job.captures.empty() && !log_out.begin(job.captures, error)) return false;
    if (!job.animation.empty() && !gif_out.begin(job.animation, error)) return false;
    for (Output* o : job.outputs)
        if (!o->begin(in, error)) return false;
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
    log.attach(job.captures.empty() ? nullptr : log_out.stream());
    GifWriter gif;
    if (!job.animation.empty() && !gif.open(gif_out.workPath(), job.width, job.height, error)) {
        error = "cannot write " + job.animation + ": " + error;
        return false;
    }
    if (!job.frames_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(job.frames_dir, ec);
        if (ec) {
            error = "cannot create " + job.frames_dir + ": " + ec.message();
            return false;
        }
    }
    // Fast: a scope picture is mostly one colour, so it costs little in size.
    PngWriter png(true, job.transparent), frame_png(true, job.transparent);
    std::vector<std::uint32_t> shown;  // the canvas as pictures show it: recoloured, with alpha
    auto paint = [&] {
        canvas.fill(job.canvas_rgb);
        in.paint(canvas.dc(), job.width, job.height);
        ++st.paints;
        const std::uint32_t* px = canvas.pixels();
        shown.assign(px, px + static_cast<std::size_t>(canvas.width()) * static_cast<std::size_t>(canvas.height()));
        for (std::uint32_t& p : shown) {
            const std::uint32_t rgb = p & 0x00FFFFFFu;
            if (job.transparent && rgb == job.canvas_rgb) {
                p = 0;  // alpha 0
                continue;
            }
            p = rgb | 0xFF000000u;
            for (const RenderJob::Recolour& r : job.recolour)
                if (rgb == r.from) p = r.to | 0xFF000000u;
        }
    };
    std::vector<std::uint32_t> picture;  // the chosen moment's picture, once taken

    in.open();
    int seen = in.repaints();
    int framed = seen;  // repaints that have their frame
    bool painted_current = false;  // the canvas shows the display as it stands
    bool ok = true;
    auto current = [&] {
        if (in.repaints() != seen) {
            seen = in.repaints();
            painted_current = false;
        }
        if (!painted_current || st.paints == 0) {
            paint();
            painted_current = true;
        }
    };
    auto writeFrame = [&] {
        ++st.frames;
        if (!job.frames_dir.empty())
            ok = writePng(frame_png, framePath(job.frames_dir, st.frames, job.frame_digits), shown, canvas.width(),
                          canvas.height(), error);
        if (ok && !job.animation.empty()) ok = gif.add(shown.data(), delayCs(st.frames - 1, job.fps), error);
    };
    const bool per_capture = job.fps <= 0.0 && !job.frames_dir.empty();
    auto afterBlock = [&] {
        // Delivered at once, as the next block would: what a frame or the
        // picture shows is the display as it stands after this block.
        in.deliverMessages();
        bool chosen = false;
        for (const Capture* c : recorder.captures()) {
            ++st.captures;
            log.write(*c, st.captures);
            if (job.at >= 0 && st.picture_capture == 0 && static_cast<std::int64_t>(st.samples) > job.at) {
                st.picture_capture = st.captures;
                chosen = true;
            }
        }
        // Records are consumed per block so that a long run keeps none.
        in.messages().clearRecords();
        if (chosen) {
            current();
            picture = shown;
        }
        if (per_capture && in.repaints() != framed && ok) {
            framed = in.repaints();
            current();
            writeFrame();
        }
    };

    ProgressBar bar(job.progress, job.progress != nullptr, job.samples);
    const std::uint64_t block = static_cast<std::uint64_t>(std::max(1, in.options().block_size));
    const std::size_t timed_frames = job.fps > 0.0 ? frameCount(static_cast<double>(job.samples) / job.rate, job.fps) : 0;
    std::size_t next_frame = 0;  // index of the next time-regular frame
    auto frameSample = [&](std::size_t i) {
        return static_cast<std::uint64_t>(std::llround(static_cast<double>(i + 1) * job.rate / job.fps));
    };
    while (ok && st.samples < job.samples) {
        if (job.stop && *job.stop) {
            st.stopped = true;
            break;
        }
        if (job.end_at_picture && !picture.empty()) break;
        std::uint64_t until = std::min(st.samples + block, job.samples);
        if (next_frame < timed_frames) until = std::min(until, frameSample(next_frame));
        const int n = static_cast<int>(until - st.samples);
        in.processBlock(n);
        for (Output* o : job.outputs) ok = ok && o->block(in, n, error);
        st.samples += static_cast<std::uint64_t>(n);
        afterBlock();
        while (ok && next_frame < timed_frames && st.samples >= frameSample(next_frame)) {
            current();
            writeFrame();
            ++next_frame;
        }
        bar.update(st.samples);
    }
    // The last block's capture, still on its way to the display.
    afterBlock();
    bar.finish();
    st.repaints = in.repaints();
    if (!ok) return false;
    if (!job.png.empty()) {
        if (picture.empty()) current();
        const std::uint32_t* pixels = picture.empty() ? shown.data() : picture.data();
        if (!png.write(png_out.workPath(), pixels, canvas.width(), canvas.height(), error)) {
            error = "cannot write " + job.png + (error.empty() ? "" : ": " + error);
            return false;
        }
    }
    if (!log.good()) {
        error = "cannot write " + job.captures;
        return false;
    }
    if (!job.animation.empty() && !gif.close(error)) return false;
    for (Output* o : job.outputs)
        if (!o->finish(error)) return false;
    return log_out.commit(error) && gif_out.commit(error) && png_out.commit(error);
}

}  // namespace zohost::tool
