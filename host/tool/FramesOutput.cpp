// --frames: one PNG file per frame, each put in place as it is written.
// With --overwrite, frames of an earlier run that this one did not replace
// are removed at the end, and nothing else.
#include <filesystem>
#include <system_error>

#include "run/OutputFile.h"
#include "run/PngWriter.h"
#include "tool/FrameNames.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

class FramesOutput : public Output {
public:
    explicit FramesOutput(const RenderJob& job)
        : names_(job.frames_dir), png_(true, job.transparent) {}

    unsigned needs() const override { return kFrames; }

    bool begin(Instance&, std::string& error) override {
        stale_ = names_.existing();
        std::error_code ec;
        std::filesystem::create_directories(names_.dir(), ec);
        if (!ec) return true;
        error = "cannot create " + names_.dir() + ": " + ec.message();
        return false;
    }

    bool frame(const Pixels& p, std::string& error) override {
        const std::string path = names_.path(++frames_);
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
            for (std::size_t n = 1; n <= frames_ && !ours; ++n) ours = sameFile(f.string(), names_.path(n));
            std::error_code ec;
            if (!ours && std::filesystem::remove(f, ec)) ++removed_;
        }
        return true;
    }

    std::string written() const override {
        std::string line = std::to_string(frames_) + " frame" + (frames_ == 1 ? "" : "s") + (names_.shown().back() == '/' ? " written to " : " written as ") + names_.shown();
        if (removed_) line += " (" + std::to_string(removed_) + " older frames removed)";
        return line;
    }

private:
    FrameNames names_;
    PngWriter png_;
    std::vector<std::filesystem::path> stale_;
    std::size_t frames_ = 0, removed_ = 0;
};

}  // namespace

std::unique_ptr<Output> makeFramesOutput(const RenderJob& job, std::string&) {
    return std::make_unique<FramesOutput>(job);
}

}  // namespace zohost::tool
