#include "run/SoundFile.h"

#include "run/SndfileLibrary.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zohost::tool {

// Standard input as read, and where this file stands in it.
struct SoundFile::Memory {
    const std::vector<unsigned char>* bytes = nullptr;
    sf_count_t at = 0;
};

namespace {

SNDFILE* handle(void* p) { return static_cast<SNDFILE*>(p); }

// All of standard input, read once; empty when it is a terminal.
const std::vector<unsigned char>& standardInput() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> all;
        if (isatty(STDIN_FILENO)) return all;
        unsigned char chunk[65536];
        ssize_t n;
        while ((n = ::read(STDIN_FILENO, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) all.insert(all.end(), chunk, chunk + n);
        return all;
    }();
    return bytes;
}

using Memory = SoundFile::Memory;
Memory& memoryOf(void* user) { return *static_cast<Memory*>(user); }

sf_count_t memoryLength(void* user) { return static_cast<sf_count_t>(memoryOf(user).bytes->size()); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    Memory& m = memoryOf(user);
    const sf_count_t base = whence == SEEK_CUR ? m.at : whence == SEEK_END ? memoryLength(user) : 0;
    m.at = std::clamp<sf_count_t>(base + offset, 0, memoryLength(user));
    return m.at;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user) {
    Memory& m = memoryOf(user);
    const sf_count_t n = std::clamp<sf_count_t>(memoryLength(user) - m.at, 0, count);
    std::memcpy(out, m.bytes->data() + m.at, static_cast<std::size_t>(n));
    m.at += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t memoryTell(void* user) { return memoryOf(user).at; }

}  // namespace

namespace {

SNDFILE* openStandardInput(const Sndfile& lib, std::unique_ptr<Memory>& memory, SF_INFO& info,
                           std::string& error) {
    if (isatty(STDIN_FILENO)) {
        error = "it is a terminal; pipe a sound file into it";
        return nullptr;
    }
    memory = std::make_unique<Memory>();
    memory->bytes = &standardInput();
    if (memory->bytes->empty()) {
        error = "it is empty";
        return nullptr;
    }
    static SF_VIRTUAL_IO io = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    return lib.sf_open_virtual(&io, SFM_READ, &info, memory.get());
}

SNDFILE* openPath(const Sndfile& lib, const std::string& path, SF_INFO& info, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "it is a directory";
        return nullptr;
    }
    if (std::filesystem::exists(path, ec) && std::filesystem::is_regular_file(path, ec) &&
        std::filesystem::file_size(path, ec) == 0) {
        error = "the file is empty";
        return nullptr;
    }
    return lib.sf_open(path.c_str(), SFM_READ, &info);
}

}  // namespace

SoundFile::SoundFile(const std::string& path) : path_(path) {
    const Sndfile* lib = sndfile(&error_);
    if (!lib) return;
    SF_INFO info{};
    SNDFILE* f = isStandardInput(path) ? openStandardInput(*lib, memory_, info, error_)
                                       : openPath(*lib, path, info, error_);
    if (!error_.empty()) return;
    if (!f) {
        const std::string why = lib->sf_strerror(nullptr);
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
        lib->sf_close(f);
        error_ = "its header gives no sample rate or no channels";
        return;
    }
    // A file cut short: libsndfile plays what is there and says so in its log.
    char log[4096] = {0};
    lib->sf_command(f, SFC_GET_LOG_INFO, log, sizeof log - 1);
    if (std::strstr(log, "(should be ") != nullptr) cut_ = true;
    // Integer formats come in scaled to [-1, 1).
    lib->sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    file_ = f;
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = static_cast<std::int64_t>(info.frames);
}

SoundFile::~SoundFile() {
    if (file_) sndfile()->sf_close(handle(file_));
}

void SoundFile::read(int channel, float* out, int count) {
    if (count <= 0) return;
    int got = 0;
    if (file_ && channel >= 0 && channel < channels_) {
        const std::size_t n = static_cast<std::size_t>(count) * static_cast<std::size_t>(channels_);
        if (frame_buffer_.size() < n) frame_buffer_.resize(n);
        sf_count_t r = sndfile()->sf_readf_float(handle(file_), frame_buffer_.data(), count);
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
