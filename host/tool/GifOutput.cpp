// --animation FILE.gif: the frames with delays in hundredths of a second.
#include <cmath>
#include <sstream>

#include "run/OutputFile.h"
#include "tool/GifWriter.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

class GifOutput : public Output {
public:
    explicit GifOutput(const RenderJob& job) : path_(job.animation), fps_(job.fps), width_(job.width), height_(job.height) {}

    unsigned needs() const override { return kFrames; }

    bool begin(Instance&, std::string& error) override {
        if (!file_.begin(path_, error)) return false;
        if (gif_.open(file_.workPath(), width_, height_, error)) return true;
        error = "cannot write " + path_ + ": " + error;
        return false;
    }

    bool frame(const Pixels& p, std::string& error) override {
        // Rounded so that the sum of the delays stays with real time.
        const int delay = static_cast<int>(std::llround(100.0 * static_cast<double>(frames_ + 1) / fps_) -
                                           std::llround(100.0 * static_cast<double>(frames_) / fps_));
        ++frames_;
        return gif_.add(p.data, delay, error);
    }

    bool finish(std::string& error) override { return gif_.close(error); }
    bool commit(std::string& error) override { return file_.commit(error); }

    std::string written() const override {
        std::ostringstream line;
        line << "animation written to " << path_ << " (" << frames_ << " frames at " << fps_ << " fps)";
        return line.str();
    }

private:
    std::string path_;
    double fps_;
    int width_, height_;
    OutputFile file_;
    GifWriter gif_;
    std::size_t frames_ = 0;
};

}  // namespace

std::unique_ptr<Output> makeGifOutput(const RenderJob& job, std::string&) { return std::make_unique<GifOutput>(job); }

}  // namespace zohost::tool
