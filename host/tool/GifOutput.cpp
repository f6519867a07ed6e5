// --animation FILE.gif. A GIF's delays are whole hundredths of a second,
// and viewers slow down those under two; so each frame is shown from its
// own time, rounded to a hundredth, until the next frame kept, and a frame
// that would start less than two hundredths after the one before (or
// before the end) is dropped. The delays add up to the run's length.
#include <cmath>
#include <sstream>
#include <vector>

#include "run/OutputFile.h"
#include "tool/GifWriter.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

const long long kShortestCs = 2;

class GifOutput : public Output {
public:
    explicit GifOutput(const RenderJob& job)
        : path_(job.animation), fps_(job.fps), width_(job.width), height_(job.height),
          total_cs_(std::llround(100.0 * static_cast<double>(job.samples) / job.rate)),
          expected_(frameCount(static_cast<double>(job.samples) / job.rate, job.fps)) {}

    unsigned needs() const override { return kFrames; }

    bool begin(Instance&, std::string& error) override {
        if (!file_.begin(path_, error)) return false;
        if (gif_.open(file_.workPath(), width_, height_, error)) return true;
        error = "cannot write " + path_ + ": " + error;
        return false;
    }

    bool frame(const Pixels& p, std::string& error) override {
        const long long start = std::llround(100.0 * static_cast<double>(frames_++) / fps_);
        const bool first = pending_.empty();
        if (!first && (start - pending_cs_ < kShortestCs || total_cs_ - start < kShortestCs)) {
            ++dropped_;
            return true;
        }
        if (!first && !gif_.add(pending_.data(), static_cast<int>(start - pending_cs_), error)) return false;
        pending_.assign(p.data, p.data + static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
        pending_cs_ = start;
        return true;
    }

    bool finish(std::string& error) override {
        // A run stopped early ends after its last frame.
        if (frames_ < expected_) total_cs_ = std::llround(100.0 * static_cast<double>(frames_) / fps_);
        const long long rest = total_cs_ - pending_cs_;
        if (!pending_.empty() && !gif_.add(pending_.data(), static_cast<int>(rest > 0 ? rest : 1), error)) return false;
        return gif_.close(error);
    }

    bool commit(std::string& error) override { return file_.commit(error); }

    std::string written() const override {
        std::ostringstream line;
        line << "animation written to " << path_ << " (";
        if (dropped_) line << frames_ - dropped_ << " of ";
        line << frames_ << " frames at " << fps_ << " fps)";
        return line.str();
    }

    std::string warning() const override {
        if (!dropped_) return {};
        std::ostringstream line;
        line << "--animation " << path_ << ": a GIF shows a frame for whole hundredths of a second, at least two; "
             << dropped_ << " of " << frames_ << " frames at " << fps_
             << " fps were dropped to keep real time (--fps 50 or less keeps them all; .webp or a video keeps any rate)";
        return line.str();
    }

private:
    std::string path_;
    double fps_;
    int width_, height_;
    long long total_cs_;
    std::size_t expected_;  // frames of the whole run
    OutputFile file_;
    GifWriter gif_;
    std::vector<std::uint32_t> pending_;  // the last frame kept, written once its delay is known
    long long pending_cs_ = 0;
    std::size_t frames_ = 0, dropped_ = 0;
};

}  // namespace

std::unique_ptr<Output> makeGifOutput(const RenderJob& job, std::string&) { return std::make_unique<GifOutput>(job); }

}  // namespace zohost::tool
