// A WAV file written from interleaved float frames: libsndfile where the
// build has it, a plain RIFF writer elsewhere.
#pragma once

#include <string>
#include <utility>

namespace zohost::tool {

enum class SampleFormat { Float32, Pcm16, Pcm24 };

// "float", "pcm16", "pcm24"; false for anything else.
inline bool parseSampleFormat(const std::string& text, SampleFormat& format) {
    const std::pair<const char*, SampleFormat> names[] = {
        {"float", SampleFormat::Float32}, {"pcm16", SampleFormat::Pcm16}, {"pcm24", SampleFormat::Pcm24}};
    for (const auto& [name, f] : names)
        if (text == name) {
            format = f;
            return true;
        }
    return false;
}

class SoundWriter {
public:
    SoundWriter() = default;
    ~SoundWriter();
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    bool open(const std::string& path, int channels, int rate, SampleFormat format, std::string& error);
    // `frames` frames of `channels` samples each; full scale is 1.0, and PCM clips there.
    bool write(const float* interleaved, int frames, std::string& error);
    // The file complete; false with `error` when it is not.
    bool close(std::string& error);

private:
    void* file_ = nullptr;
    int channels_ = 0;
    int rate_ = 0;
    SampleFormat format_ = SampleFormat::Float32;
    unsigned long long frames_ = 0;
};

}  // namespace zohost::tool
