// Builds without libsndfile: WAV written as plain RIFF chunks, little-endian,
// the sizes filled in when the file is closed.
#include "run/SoundWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zohost::tool {

namespace {

const std::uint16_t kFormatPcm = 1, kFormatFloat = 3;

void put(std::vector<unsigned char>& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

int bytesOf(SampleFormat f) { return f == SampleFormat::Pcm16 ? 2 : f == SampleFormat::Pcm24 ? 3 : 4; }

// RIFF size, format chunk, data chunk header: 44 bytes.
std::vector<unsigned char> header(int channels, int rate, SampleFormat f, std::uint32_t data_bytes) {
    const int bytes = bytesOf(f);
    std::vector<unsigned char> h;
    for (char c : {'R', 'I', 'F', 'F'}) h.push_back(static_cast<unsigned char>(c));
    put(h, 36 + data_bytes, 4);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) h.push_back(static_cast<unsigned char>(c));
    put(h, 16, 4);
    put(h, f == SampleFormat::Float32 ? kFormatFloat : kFormatPcm, 2);
    put(h, static_cast<std::uint32_t>(channels), 2);
    put(h, static_cast<std::uint32_t>(rate), 4);
    put(h, static_cast<std::uint32_t>(rate * channels * bytes), 4);
    put(h, static_cast<std::uint32_t>(channels * bytes), 2);
    put(h, static_cast<std::uint32_t>(bytes * 8), 2);
    for (char c : {'d', 'a', 't', 'a'}) h.push_back(static_cast<unsigned char>(c));
    put(h, data_bytes, 4);
    return h;
}

// Full scale is 2^(bits-1), as readers divide by it; the top clips one step below.
std::uint32_t pcm(float s, double full) {
    const double v = std::clamp(static_cast<double>(s) * full, -full, full - 1.0);
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lrint(v)));
}

}  // namespace

SoundWriter::~SoundWriter() {
    if (file_) std::fclose(static_cast<std::FILE*>(file_));
}

bool SoundWriter::open(const std::string& path, int channels, int rate, SampleFormat format, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot open it for writing";
        return false;
    }
    file_ = f;
    channels_ = channels;
    format_ = format;
    // A provisional header, rewritten with the sizes at close.
    const std::vector<unsigned char> h = header(channels, rate, format, 0);
    rate_ = rate;
    if (std::fwrite(h.data(), 1, h.size(), f) == h.size()) return true;
    error = "cannot write";
    return false;
}

bool SoundWriter::write(const float* interleaved, int frames, std::string& error) {
    const int bytes = bytesOf(format_);
    std::vector<unsigned char> b;
    b.reserve(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_ * bytes));
    for (int i = 0; i < frames * channels_; ++i) {
        std::uint32_t word;
        if (format_ == SampleFormat::Float32) std::memcpy(&word, &interleaved[i], 4);
        else word = pcm(interleaved[i], format_ == SampleFormat::Pcm16 ? 32768.0 : 8388608.0);
        put(b, word, bytes);
    }
    if (std::fwrite(b.data(), 1, b.size(), static_cast<std::FILE*>(file_)) != b.size()) {
        error = "cannot write";
        return false;
    }
    frames_ += static_cast<unsigned long long>(frames);
    return true;
}

bool SoundWriter::close(std::string& error) {
    std::FILE* f = static_cast<std::FILE*>(file_);
    file_ = nullptr;
    if (!f) return true;
    const unsigned long long data = frames_ * static_cast<unsigned long long>(channels_ * bytesOf(format_));
    const std::vector<unsigned char> h = header(channels_, rate_, format_, static_cast<std::uint32_t>(data));
    bool ok = data <= 0xFFFFFFF0ull && std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), f) == h.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) error = data > 0xFFFFFFF0ull ? "longer than a WAV file holds" : "cannot finish the sound file";
    return ok;
}

}  // namespace zohost::tool
