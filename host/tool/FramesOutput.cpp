// --frames: one PNG file per frame, each put in place as it is written.
// With --overwrite, frames of an earlier run that this one did not replace
// are removed at the end, and nothing else.
#include <filesystem>
#include <system_error>

#include "run/OutputFile.h"
#include "run/PngWriter.h"
#include "tool/Outputs.h"

namespace zohost::tool {

bool isFrameName(const std::string& name) {
    if (name.size() < 11 || name.compare(0, 6, "frame-") != 0 || name.compare(name.size() - 4, 4, ".png") != 0)
        return false;
    return name.find_first_not_of("0123456789", 6) == name.size() - 4;
}

std::vector<std::filesystem::path> oldFrames(const std::string& dir) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return found;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        if (isFrameName(e.path().filename().string())) found.push_back(e.path());
    return found;
}

namespace {

class FramesOutput : public Output {
public:
    explicit FramesOutput(const RenderJob& job)
        : dir_(job.frames_dir), digits_(job.frame_digits), png_(true, job.transparent) {}

    unsigned needs() const override { return kFrames; }

    bool begin(Instance&, std::string& error) override {
        stale_ = oldFrames(dir_);
        std::error_code ec;
        std::filesystem::create_directories(dir_, ec);
        if (!ec) return true;
        error = "cannot create " + dir_ + ": " + ec.message();
        return false;
    }

    bool frame(const Pixels& p, std::string& error) override {
        const std::string path = framePath(dir_, ++frames_, digits_);
        OutputFile out;
        if (!out.begin(path, error)) return false;
        if (!png_.write(out.workPath(), p.data, p.width, p.height, error)) {
            error = "cannot write " + path + (error.empty() ? "" : ": " + error);
            return false;
        }
        return out.commit(error);
    }

    bool finish(std::string&) override { return true; }

    bool commit(std::string&) override {
        for (const auto& f : stale_) {
            bool ours = false;
            for (std::size_t n = 1; n <= frames_ && !ours; ++n) ours = sameFile(f.string(), framePath(dir_, n, digits_));
            std::error_code ec;
            if (!ours && std::filesystem::remove(f, ec)) ++removed_;
        }
        return true;
    }

    std::string written() const override {
        std::string line = std::to_string(frames_) + " frame" + (frames_ == 1 ? "" : "s") + " written to " + dir_ + "/";
        if (removed_) line += " (" + std::to_string(removed_) + " older frames removed)";
        return line;
    }

private:
    std::string dir_;
    int digits_;
    PngWriter png_;
    std::vector<std::filesystem::path> stale_;
    std::size_t frames_ = 0, removed_ = 0;
};

}  // namespace

std::unique_ptr<Output> makeFramesOutput(const RenderJob& job, std::string&) {
    return std::make_unique<FramesOutput>(job);
}

}  // namespace zohost::tool
