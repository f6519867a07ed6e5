#include "tool/Render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "ScopeCaptures.h"
#include "run/CaptureLog.h"
#include "tool/GifWriter.h"
#include "run/OutputFile.h"
#include "run/PngWriter.h"
#include "tool/ProgressBar.h"
#include "zohost/Canvas.h"

namespace zohost::tool {

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

namespace {

// One render: the outputs, the canvas and where the run stands.
class Renderer {
public:
    Renderer(Instance& in, const RenderJob& job, RenderStats& st, std::string& error)
        : in_(in), job_(job), st_(st), error_(error), canvas_(job.width, job.height, job.canvas_rgb),
          recorder_(job.captures.empty() ? 0 : std::size_t(1) << 24), png_(true, job.transparent),
          frame_png_(true, job.transparent) {}
    ~Renderer() {
        if (observing_) in_.messages().options().observer = observer_;
    }

    bool begin();
    void run();
    bool finish();

private:
    bool beginFiles();
    void paint();
    void current();
    void writeFrame();
    void afterBlock();
    std::uint64_t frameSample(std::size_t i) const {
        return static_cast<std::uint64_t>(std::llround(static_cast<double>(i + 1) * job_.rate / job_.fps));
    }

    Instance& in_;
    const RenderJob& job_;
    RenderStats& st_;
    std::string& error_;
    Canvas canvas_;
    OutputFile png_out_, log_out_, gif_out_;
    // Samples are copied only when they are written out.
    CaptureRecorder recorder_;
    MessageObserver* observer_ = nullptr;  // the instance's own, given back at the end
    bool observing_ = false;
    CaptureLog log_;
    GifWriter gif_;
    // Fast: a scope picture is mostly one colour, so it costs little in size.
    PngWriter png_, frame_png_;
    std::vector<std::uint32_t> shown_;    // the canvas as pictures show it: recoloured, with alpha
    std::vector<std::uint32_t> picture_;  // the chosen moment's picture, once taken
    int seen_ = 0, framed_ = 0;           // repaints seen, and those that have their frame
    bool painted_current_ = false;        // the canvas shows the display as it stands
    bool ok_ = true;
};

bool Renderer::beginFiles() {
    // Every output is tried before the run.
    if (!job_.png.empty() && !png_out_.begin(job_.png, error_)) return false;
    if (!job_.captures.empty() && !log_out_.begin(job_.captures, error_)) return false;
    if (!job_.animation.empty() && !gif_out_.begin(job_.animation, error_)) return false;
    for (Output* o : job_.outputs)
        if (!o->begin(in_, error_)) return false;
    return true;
}

bool Renderer::begin() {
    if (!canvas_.valid()) {
        error_ = "cannot make a picture of " + std::to_string(job_.width) + "x" + std::to_string(job_.height);
        return false;
    }
    if (!beginFiles()) return false;
    observer_ = in_.messages().options().observer;
    in_.messages().options().observer = &recorder_;
    observing_ = true;
    log_.attach(job_.captures.empty() ? nullptr : log_out_.stream());
    if (!job_.animation.empty() && !gif_.open(gif_out_.workPath(), job_.width, job_.height, error_)) {
        error_ = "cannot write " + job_.animation + ": " + error_;
        return false;
    }
    if (!job_.frames_dir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(job_.frames_dir, ec);
        if (ec) {
            error_ = "cannot create " + job_.frames_dir + ": " + ec.message();
            return false;
        }
    }
    in_.open();
    seen_ = framed_ = in_.repaints();
    return true;
}

void Renderer::paint() {
    canvas_.fill(job_.canvas_rgb);
    in_.paint(canvas_.dc(), job_.width, job_.height);
    ++st_.paints;
    const std::uint32_t* px = canvas_.pixels();
    shown_.assign(px, px + static_cast<std::size_t>(canvas_.width()) * static_cast<std::size_t>(canvas_.height()));
    for (std::uint32_t& p : shown_) {
        const std::uint32_t rgb = p & 0x00FFFFFFu;
        if (job_.transparent && rgb == job_.canvas_rgb) {
            p = 0;  // alpha 0
            continue;
        }
        p = rgb | 0xFF000000u;
        for (const RenderJob::Recolour& r : job_.recolour)
            if (rgb == r.from) p = r.to | 0xFF000000u;
    }
}

void Renderer::current() {
    if (in_.repaints() != seen_) {
        seen_ = in_.repaints();
        painted_current_ = false;
    }
    if (!painted_current_ || st_.paints == 0) {
        paint();
        painted_current_ = true;
    }
}

void Renderer::writeFrame() {
    ++st_.frames;
    if (!job_.frames_dir.empty())
        ok_ = writePng(frame_png_, framePath(job_.frames_dir, st_.frames, job_.frame_digits), shown_, canvas_.width(),
                       canvas_.height(), error_);
    if (ok_ && !job_.animation.empty()) ok_ = gif_.add(shown_.data(), delayCs(st_.frames - 1, job_.fps), error_);
}

// Delivered at once, as the next block would: what a frame or the picture
// shows is the display as it stands after this block.
void Renderer::afterBlock() {
    in_.deliverMessages();
    bool chosen = false;
    for (const Capture* c : recorder_.captures()) {
        ++st_.captures;
        log_.write(*c, st_.captures);
        if (job_.at >= 0 && st_.picture_capture == 0 && static_cast<std::int64_t>(st_.samples) > job_.at) {
            st_.picture_capture = st_.captures;
            chosen = true;
        }
    }
    // Records are consumed per block so that a long run keeps none.
    in_.messages().clearRecords();
    if (chosen) {
        current();
        picture_ = shown_;
    }
    const bool per_capture = job_.fps <= 0.0 && !job_.frames_dir.empty();
    if (per_capture && in_.repaints() != framed_ && ok_) {
        framed_ = in_.repaints();
        current();
        writeFrame();
    }
}

void Renderer::run() {
    ProgressBar bar(job_.progress, job_.progress != nullptr, job_.samples);
    const std::uint64_t block = static_cast<std::uint64_t>(std::max(1, in_.options().block_size));
    const std::size_t timed_frames =
        job_.fps > 0.0 ? frameCount(static_cast<double>(job_.samples) / job_.rate, job_.fps) : 0;
    std::size_t next_frame = 0;  // index of the next time-regular frame
    while (ok_ && st_.samples < job_.samples) {
        if (job_.stop && *job_.stop) {
            st_.stopped = true;
            break;
        }
        if (job_.end_at_picture && !picture_.empty()) break;
        std::uint64_t until = std::min(st_.samples + block, job_.samples);
        if (next_frame < timed_frames) until = std::min(until, frameSample(next_frame));
        const int n = static_cast<int>(until - st_.samples);
        in_.processBlock(n);
        for (Output* o : job_.outputs) ok_ = ok_ && o->block(in_, n, error_);
        st_.samples += static_cast<std::uint64_t>(n);
        afterBlock();
        for (; ok_ && next_frame < timed_frames && st_.samples >= frameSample(next_frame); ++next_frame) {
            current();
            writeFrame();
        }
        bar.update(st_.samples);
    }
    // The last block's capture, still on its way to the display.
    afterBlock();
    bar.finish();
    st_.repaints = in_.repaints();
}

bool Renderer::finish() {
    if (!ok_) return false;
    if (!job_.png.empty()) {
        if (picture_.empty()) current();
        const std::uint32_t* pixels = picture_.empty() ? shown_.data() : picture_.data();
        if (!png_.write(png_out_.workPath(), pixels, canvas_.width(), canvas_.height(), error_)) {
            error_ = "cannot write " + job_.png + (error_.empty() ? "" : ": " + error_);
            return false;
        }
    }
    if (!log_.good()) {
        error_ = "cannot write " + job_.captures;
        return false;
    }
    if (!job_.animation.empty() && !gif_.close(error_)) return false;
    for (Output* o : job_.outputs)
        if (!o->finish(error_)) return false;
    return log_out_.commit(error_) && gif_out_.commit(error_) && png_out_.commit(error_);
}

}  // namespace

bool render(Instance& in, const RenderJob& job, RenderStats& st, std::string& error) {
    st = RenderStats();
    Renderer r(in, job, st, error);
    if (!r.begin()) return false;
    r.run();
    return r.finish();
}

}  // namespace zohost::tool
