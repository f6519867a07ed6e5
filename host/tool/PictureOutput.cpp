// --png: the display at the chosen moment, or at the end.
#include <cstdio>

#include "run/OutputFile.h"
#include "run/PngWriter.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

class PictureOutput : public Output {
public:
    explicit PictureOutput(const RenderJob& job)
        : path_(job.png), at_(job.at_seconds), width_(job.width), height_(job.height), png_(true, job.transparent) {}

    unsigned needs() const override { return kPicture; }
    bool begin(Instance&, std::string& error) override { return file_.begin(path_, error); }

    bool picture(const Pixels& p, std::size_t capture, std::string& error) override {
        capture_ = capture;
        if (png_.write(file_.workPath(), p.data, p.width, p.height, error)) return true;
        error = "cannot write " + path_ + (error.empty() ? "" : ": " + error);
        return false;
    }

    bool finish(std::string&) override { return true; }
    bool commit(std::string& error) override { return file_.commit(error); }

    std::string written() const override {
        std::string line = "picture written to " + (path_ == "-" ? std::string("standard output") : path_) + " (" +
                           std::to_string(width_) + "x" + std::to_string(height_);
        if (capture_) {
            char at[32];
            std::snprintf(at, sizeof at, "%.3f s", at_);
            line += ", capture " + std::to_string(capture_) + " at " + at;
        }
        return line + ")";
    }

private:
    std::string path_;
    double at_;
    int width_, height_;
    OutputFile file_;
    // Fast: a scope picture is mostly one colour, so it costs little in size.
    PngWriter png_;
    std::size_t capture_ = 0;
};

}  // namespace

std::unique_ptr<Output> makePictureOutput(const RenderJob& job, std::string&) {
    return std::make_unique<PictureOutput>(job);
}

}  // namespace zohost::tool
