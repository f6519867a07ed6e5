#include "tool/Render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "ScopeCaptures.h"
#include "tool/FrameNames.h"
#include "tool/Outputs.h"
#include "tool/ProgressBar.h"
#include "zohost/Canvas.h"

namespace zohost::tool {

std::string framePath(const std::string& frames, std::size_t number) { return FrameNames(frames).path(number); }

std::size_t frameCount(double seconds, double fps) {
    return static_cast<std::size_t>(std::floor(seconds * fps + 1e-9));
}

namespace {

// One render: the outputs, the canvas and where the run stands.
class Renderer {
public:
    Renderer(Instance& in, const RenderJob& job, std::vector<Output*> outputs, RenderStats& st, std::string& error)
        : in_(in), job_(job), outputs_(std::move(outputs)), needs_(needsOf(outputs_)), st_(st), error_(error),
          canvas_(job.width, job.height, job.canvas_rgb),
          recorder_((needs_ & Output::kCaptures) ? std::size_t(1) << 24 : 0) {}
    ~Renderer() {
        if (observing_) in_.messages().options().observer = observer_;
    }

    bool begin();
    void run();
    bool finish();

private:
    static unsigned needsOf(const std::vector<Output*>& outputs) {
        unsigned n = 0;
        for (const Output* o : outputs) n |= o->needs();
        return n;
    }
    Pixels pixels(const std::vector<std::uint32_t>& p) const { return {p.data(), canvas_.width(), canvas_.height()}; }
    void paint();
    void current();
    void writeFrame();
    void afterBlock();
    std::uint64_t frameSample(std::size_t i) const {
        return static_cast<std::uint64_t>(std::llround(static_cast<double>(i + 1) * job_.rate / job_.fps));
    }

    Instance& in_;
    const RenderJob& job_;
    const std::vector<Output*> outputs_;
    const unsigned needs_;
    RenderStats& st_;
    std::string& error_;
    Canvas canvas_;
    // Samples are copied only when they are written out.
    CaptureRecorder recorder_;
    MessageObserver* observer_ = nullptr;  // the instance's own, given back at the end
    bool observing_ = false;
    std::vector<std::uint32_t> shown_;    // the canvas as pictures show it: recoloured, with alpha
    std::vector<std::uint32_t> picture_;  // the chosen moment's picture, once taken
    int seen_ = 0, framed_ = 0;           // repaints seen, and those that have their frame
    bool painted_current_ = false;        // the canvas shows the display as it stands
    bool ok_ = true;
};

bool Renderer::begin() {
    if (!canvas_.valid()) {
        error_ = "cannot make a picture of " + std::to_string(job_.width) + "x" + std::to_string(job_.height);
        return false;
    }
    // Every output is tried before the run.
    for (Output* o : outputs_)
        if (!o->begin(in_, error_)) return false;
    observer_ = in_.messages().options().observer;
    in_.messages().options().observer = &recorder_;
    observing_ = true;
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
    for (Output* o : outputs_)
        if (ok_ && (o->needs() & Output::kFrames)) ok_ = o->frame(pixels(shown_), error_);
}

// Delivered at once, as the next block would: what a frame or the picture
// shows is the display as it stands after this block.
void Renderer::afterBlock() {
    in_.deliverMessages();
    bool chosen = false;
    for (const Capture* c : recorder_.captures()) {
        ++st_.captures;
        for (Output* o : outputs_)
            if (ok_ && (o->needs() & Output::kCaptures)) ok_ = o->capture(*c, st_.captures, error_);
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
    const bool per_capture = job_.fps <= 0.0 && (needs_ & Output::kFrames);
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
        job_.fps > 0.0 && (needs_ & Output::kFrames) ? frameCount(static_cast<double>(job_.samples) / job_.rate, job_.fps) : 0;
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
        for (Output* o : outputs_)
            if (ok_ && (o->needs() & Output::kBlocks)) ok_ = o->block(in_, n, error_);
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
    if (needs_ & Output::kPicture) {
        if (picture_.empty()) current();
        const Pixels shown = pixels(picture_.empty() ? shown_ : picture_);
        for (Output* o : outputs_)
            if ((o->needs() & Output::kPicture) && !o->picture(shown, st_.picture_capture, error_)) return false;
    }
    for (Output* o : outputs_)
        if (!o->finish(error_)) return false;
    // Only once every file is whole is any put in place.
    for (Output* o : outputs_)
        if (!o->commit(error_)) return false;
    for (const Output* o : outputs_) {
        st_.written.push_back(o->written());
        if (!o->warning().empty()) st_.warnings.push_back(o->warning());
    }
    return true;
}

}  // namespace

bool render(Instance& in, const RenderJob& job, RenderStats& st, std::string& error) {
    st = RenderStats();
    std::vector<std::unique_ptr<Output>> owned;
    if (!makeOutputs(job, owned, error)) return false;
    std::vector<Output*> outputs;
    for (const auto& o : owned) outputs.push_back(o.get());
    outputs.insert(outputs.end(), job.outputs.begin(), job.outputs.end());
    Renderer r(in, job, std::move(outputs), st, error);
    if (!r.begin()) return false;
    r.run();
    return r.finish();
}

}  // namespace zohost::tool
