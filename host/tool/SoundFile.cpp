#include "tool/SoundFile.h"

#include <sndfile.h>

#include <algorithm>

namespace zohost::tool {

namespace {
SNDFILE* handle(void* p) { return static_cast<SNDFILE*>(p); }
}  // namespace

SoundFile::SoundFile(const std::string& path) : path_(path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        error_ = sf_strerror(nullptr);
        return;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(f);
        error_ = "no channels or no sample rate";
        return;
    }
    // Integer formats come in scaled to [-1, 1).
    sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    file_ = f;
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = static_cast<std::int64_t>(info.frames);
}

SoundFile::~SoundFile() {
    if (file_) sf_close(handle(file_));
}

void SoundFile::read(int channel, float* out, int count) {
    if (count <= 0) return;
    int got = 0;
    if (file_ && channel >= 0 && channel < channels_) {
        const std::size_t n = static_cast<std::size_t>(count) * static_cast<std::size_t>(channels_);
        if (frame_buffer_.size() < n) frame_buffer_.resize(n);
        sf_count_t r = sf_readf_float(handle(file_), frame_buffer_.data(), count);
        got = r > 0 ? static_cast<int>(r) : 0;
        const float* src = frame_buffer_.data() + channel;
        for (int i = 0; i < got; ++i) out[i] = src[static_cast<std::size_t>(i) * channels_];
    }
    std::fill(out + got, out + count, 0.0f);
}

Signal fileSignal(std::shared_ptr<SoundFile> file, int channel) {
    return Signal::generator([file = std::move(file), channel](std::uint64_t, float* out, int count) {
        file->read(channel, out, count);
    });
}

}  // namespace zohost::tool
