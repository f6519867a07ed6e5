#include <vector>

#include "run/Output.h"
#include "run/OutputFile.h"

namespace zohost::tool {

namespace {

class SoundOutput : public Output {
public:
    SoundOutput(std::string path, SampleFormat format, int rate) : path_(std::move(path)), format_(format), rate_(rate) {}

    unsigned needs() const override { return kBlocks; }

    bool begin(Instance& in, std::string& error) override {
        const PinTable& table = in.pinTable();
        for (int p = 0; p < table.count(); ++p) {
            const PinDescription* d = table.descriptionAt(p);
            if (d && d->direction == DR_OUT && d->data_type == DT_FSAMPLE) {
                pins_.push_back(p);
                names_ += (names_.empty() ? "\"" : ", \"") + d->name + "\"";
            }
        }
        if (!file_.begin(path_, error)) return false;
        if (writer_.open(file_.workPath(), static_cast<int>(pins_.size()), rate_, format_, error)) return true;
        error = "cannot write " + path_ + ": " + error;
        return false;
    }

    bool block(Instance& in, int count, std::string& error) override {
        const std::size_t channels = pins_.size();
        frames_.assign(static_cast<std::size_t>(count) * channels, 0.0f);
        for (std::size_t c = 0; c < channels; ++c) {
            const float* b = in.buffer(pins_[c]);
            for (int i = 0; b && i < count; ++i) frames_[static_cast<std::size_t>(i) * channels + c] = b[i];
        }
        if (writer_.write(frames_.data(), count, error)) return true;
        error = "cannot write " + path_ + ": " + error;
        return false;
    }

    bool finish(std::string& error) override {
        if (!writer_.close(error)) {
            error = "cannot write " + path_ + ": " + error;
            return false;
        }
        return true;
    }

    bool commit(std::string& error) override { return file_.commit(error); }

    std::string written() const override {
        const char* format = format_ == SampleFormat::Float32 ? "32-bit float"
                             : format_ == SampleFormat::Pcm16 ? "16-bit PCM"
                                                              : "24-bit PCM";
        return "output " + names_ + " written to " + path_ + " (" + format + ")";
    }

private:
    std::string path_;
    SampleFormat format_;
    int rate_;
    OutputFile file_;
    SoundWriter writer_;
    std::vector<int> pins_;
    std::string names_;
    std::vector<float> frames_;
};

}  // namespace

std::unique_ptr<Output> makeSoundOutput(const std::string& path, SampleFormat format, int rate) {
    return std::make_unique<SoundOutput>(path, format, rate);
}

}  // namespace zohost::tool
