// A sound file read one channel at a time, in order, in blocks: any format
// libsndfile reads, converted to float samples as the file's own scale
// (full scale is 1.0, which is 10 volts on a pin).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zohost/Signal.h"

namespace zohost::tool {

class SoundFile {
public:
    // Opens at once; check ok() and error().
    explicit SoundFile(const std::string& path);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    bool ok() const { return file_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    std::int64_t frames() const { return frames_; }
    // Its header promises more than the file holds; frames() is what it holds.
    bool cut() const { return cut_; }

    // Next `count` samples of `channel` (0-based); zeros past the end.
    void read(int channel, float* out, int count);

private:
    void* file_ = nullptr;  // SNDFILE*
    std::string path_;
    std::string error_;
    int rate_ = 0;
    int channels_ = 0;
    std::int64_t frames_ = 0;
    bool cut_ = false;
    std::vector<float> frame_buffer_;
};

// Plays channel `channel` (0-based) of the file from the first block on.
Signal fileSignal(std::shared_ptr<SoundFile> file, int channel);

}  // namespace zohost::tool
