#include "run/SoundFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zohost::tool {

namespace {
SNDFILE* handle(void* p) { return static_cast<SNDFILE*>(p); }
}  // namespace

SoundFile::SoundFile(const std::string& path) : path_(path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error_ = "it is a directory";
        return;
    }
    if (std::filesystem::exists(path, ec) && std::filesystem::is_regular_file(path, ec) &&
        std::filesystem::file_size(path, ec) == 0) {
        error_ = "the file is empty";
        return;
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        const std::string why = sf_strerror(nullptr);
        // libsndfile's own words for a header without a rate or channels.
        if (why.find("SF_INFO") != std::string::npos)
            error_ = "its header gives no sample rate or no channels";
        else if (why.find("ormat not recognised") != std::string::npos)
            error_ = "not a sound file in any format libsndfile reads";
        else
            error_ = why;
        return;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(f);
        error_ = "its header gives no sample rate or no channels";
        return;
    }
    // A file cut short: libsndfile plays what is there and says so in its log.
    char log[4096] = {0};
    sf_command(f, SFC_GET_LOG_INFO, log, sizeof log - 1);
    if (std::strstr(log, "(should be ") != nullptr) cut_ = true;
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
