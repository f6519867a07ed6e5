// A sound file read one channel at a time, in order, in blocks: any format
// libsndfile reads, converted to float samples as the file's own scale
// (full scale is 1.0, which is 10 volts on a pin). The path "-" is standard
// input, read whole into memory the first time, so that every format reads
// from a pipe and every channel of it can be opened again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zohost/Signal.h"

namespace zohost::tool {

// The path that names standard input.
inline bool isStandardInput(const std::string& path) { return path == "-"; }
// "standard input" for "-", else the path: for messages.
inline std::string soundFileName(const std::string& path) {
    return isStandardInput(path) ? "standard input" : path;
}

class SoundFile {
public:
    // Opens at once; check ok() and error(). Standard input that is a
    // terminal or empty is an error.
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

    struct Memory;  // the platform's reader over bytes in memory

private:
    std::unique_ptr<Memory> memory_;  // standard input's bytes, as read
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
