// --animation FILE.webp: lossless, every frame at its own time to the
// millisecond, the last shown until the run's end.
#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "run/OutputFile.h"
#include "tool/MediaLibrary.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

class WebpOutput : public Output {
public:
    explicit WebpOutput(const RenderJob& job)
        : path_(job.animation), fps_(job.fps), width_(job.width), height_(job.height),
          total_ms_(static_cast<int>(std::llround(1000.0 * static_cast<double>(job.samples) / job.rate))),
          expected_(frameCount(static_cast<double>(job.samples) / job.rate, job.fps)) {}
    ~WebpOutput() override {
        if (encoder_) WebPAnimEncoderDelete(encoder_);
        WebPPictureFree(&picture_);
    }

    unsigned needs() const override { return kFrames; }

    bool begin(Instance&, std::string& error) override {
        if (!file_.begin(path_, error)) return false;
        WebPAnimEncoderOptions options;
        WebPConfig config;
        if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config_) || !WebPConfigInit(&config) ||
            !WebPPictureInit(&picture_))
            return fail("libwebp does not match its headers", error);
        options.anim_params.loop_count = 0;  // for ever
        config_.lossless = 1;
        // Quick: a scope picture is mostly one colour.
        config_.method = 0;
        encoder_ = WebPAnimEncoderNew(width_, height_, &options);
        picture_.use_argb = 1;
        picture_.width = width_;
        picture_.height = height_;
        if (!encoder_ || !WebPPictureAlloc(&picture_)) return fail("out of memory", error);
        return true;
    }

    bool frame(const Pixels& p, std::string& error) override {
        for (int y = 0; y < p.height; ++y)
            std::memcpy(picture_.argb + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture_.argb_stride),
                        p.data + static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width),
                        static_cast<std::size_t>(p.width) * 4);
        const int at = static_cast<int>(std::llround(1000.0 * static_cast<double>(frames_++) / fps_));
        if (WebPAnimEncoderAdd(encoder_, &picture_, at, &config_)) return true;
        return fail(WebPAnimEncoderGetError(encoder_), error);
    }

    bool finish(std::string& error) override {
        // A run stopped early ends after its last frame.
        if (frames_ < expected_) total_ms_ = static_cast<int>(std::llround(1000.0 * static_cast<double>(frames_) / fps_));
        if (!WebPAnimEncoderAdd(encoder_, nullptr, total_ms_, nullptr))
            return fail(WebPAnimEncoderGetError(encoder_), error);
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAssemble(encoder_, &data)) return fail(WebPAnimEncoderGetError(encoder_), error);
        std::FILE* f = std::fopen(file_.workPath().c_str(), "wb");
        const bool ok = f && std::fwrite(data.bytes, 1, data.size, f) == data.size;
        const bool closed = f && std::fclose(f) == 0;
        WebPDataClear(&data);
        return ok && closed ? true : fail("the file could not be written", error);
    }

    bool commit(std::string& error) override { return file_.commit(error); }

    std::string written() const override {
        std::ostringstream line;
        line << "animation written to " << path_ << " (" << frames_ << " frames at " << fps_ << " fps, lossless WebP)";
        return line.str();
    }

private:
    bool fail(const std::string& why, std::string& error) const {
        error = "cannot write " + path_ + ": " + why;
        return false;
    }

    std::string path_;
    double fps_;
    int width_, height_, total_ms_;
    std::size_t expected_;  // frames of the whole run
    OutputFile file_;
    WebPAnimEncoder* encoder_ = nullptr;
    WebPConfig config_{};
    WebPPicture picture_{};
    std::size_t frames_ = 0;
};

}  // namespace

// The media library's entry, found by name when zohost loads it.
extern "C" ZOHOST_MEDIA_ENTRY Output* zohostWebpOutput(const RenderJob& job, std::string&) {
    return new WebpOutput(job);
}

}  // namespace zohost::tool
