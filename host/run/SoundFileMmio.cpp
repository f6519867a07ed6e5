// SoundFile on Windows: WAV files through the multimedia file functions,
// PCM of 8, 16, 24 and 32 bits and 32- or 64-bit float. Standard input is
// read whole and opened as a memory file.
#include "run/SoundFile.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zohost::tool {

// Standard input is a memory file of the multimedia functions; nothing more to keep.
struct SoundFile::Memory {};

namespace {

const WORD kFormatPcm = 1;
const WORD kFormatFloat = 3;
const WORD kFormatExtensible = 0xFFFE;

struct Wav {
    HMMIO file = nullptr;
    int bits = 0;
    bool is_float = false;
    int align = 0;          // bytes per frame
    std::int64_t left = 0;  // bytes of the data chunk not read yet
    std::vector<unsigned char> bytes;
};

Wav* wav(void* p) { return static_cast<Wav*>(p); }

// All of standard input, read once in binary; empty when it is a console.
const std::vector<unsigned char>& standardInput() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> all;
        if (_isatty(_fileno(stdin))) return all;
        _setmode(_fileno(stdin), _O_BINARY);
        unsigned char chunk[65536];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) all.insert(all.end(), chunk, chunk + n);
        return all;
    }();
    return bytes;
}

HMMIO openStandardInput(std::string& error) {
    if (_isatty(_fileno(stdin))) {
        error = "it is a terminal; pipe a sound file into it";
        return nullptr;
    }
    const std::vector<unsigned char>& bytes = standardInput();
    if (bytes.empty()) {
        error = "it is empty";
        return nullptr;
    }
    // A memory file over the bytes read; the multimedia functions only read it.
    MMIOINFO info{};
    info.fccIOProc = FOURCC_MEM;
    info.pchBuffer = reinterpret_cast<HPSTR>(const_cast<unsigned char*>(bytes.data()));
    info.cchBuffer = static_cast<LONG>(bytes.size());
    HMMIO h = mmioOpenA(nullptr, &info, MMIO_READ);
    if (!h) error = "cannot read it";
    return h;
}

HMMIO openPath(const std::string& path, std::string& error) {
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    HMMIO h = mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (!h) error = "cannot open the file";
    return h;
}

// Bytes of the data chunk the file holds, which may be fewer than its header says.
std::int64_t bytesHeld(HMMIO h, const MMCKINFO& data) {
    const LONG end = mmioSeek(h, 0, SEEK_END);
    mmioSeek(h, static_cast<LONG>(data.dwDataOffset), SEEK_SET);
    const std::int64_t held = end < 0 ? 0 : static_cast<std::int64_t>(end) - data.dwDataOffset;
    return std::clamp<std::int64_t>(held, 0, data.cksize);
}

std::int32_t le(const unsigned char* b, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(b[i]) << (8 * i);
    // Sign from the top byte, into the top of 32 bits.
    v <<= 8 * (4 - n);
    return static_cast<std::int32_t>(v);
}

// One sample as the file's own scale, integers to [-1, 1).
float sampleAt(const Wav& w, const unsigned char* b) {
    if (w.is_float) {
        if (w.bits == 64) {
            double d;
            std::memcpy(&d, b, sizeof d);
            return static_cast<float>(d);
        }
        float f;
        std::memcpy(&f, b, sizeof f);
        return f;
    }
    if (w.bits == 8) return (static_cast<int>(b[0]) - 128) / 128.0f;
    return static_cast<float>(static_cast<double>(le(b, w.bits / 8)) / 2147483648.0);
}

}  // namespace

SoundFile::SoundFile(const std::string& path) : path_(path) {
    HMMIO h = isStandardInput(path) ? openStandardInput(error_) : openPath(path, error_);
    if (!h) return;
    const std::string only = "only WAV files (PCM of 8, 16, 24 or 32 bits, or float) are read on Windows";
    auto fail = [&](const std::string& why) {
        mmioClose(h, 0);
        error_ = why;
    };
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) { fail(only); return; }
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) { fail("no format chunk"); return; }
    unsigned char f[40] = {};
    const LONG want = static_cast<LONG>(std::min<DWORD>(fmt.cksize, sizeof f));
    if (fmt.cksize < 16 || mmioRead(h, reinterpret_cast<HPSTR>(f), want) != want) { fail("short format chunk"); return; }
    WORD tag = static_cast<WORD>(f[0] | f[1] << 8);
    const int channels = f[2] | f[3] << 8;
    const int rate = static_cast<int>(le(f + 4, 4));
    const int align = f[12] | f[13] << 8;
    const int bits = f[14] | f[15] << 8;
    if (tag == kFormatExtensible && fmt.cksize >= 40) tag = static_cast<WORD>(f[24] | f[25] << 8);
    const bool is_float = tag == kFormatFloat && (bits == 32 || bits == 64);
    const bool is_pcm = tag == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!is_float && !is_pcm) { fail(only); return; }
    if (channels < 1 || rate < 1) { fail("no channels or no sample rate"); return; }
    if (align != channels * bits / 8) { fail("frames of " + std::to_string(align) + " bytes do not fit the format"); return; }
    mmioAscend(h, &fmt, 0);
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(h, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) { fail("no data chunk"); return; }

    // A file cut short plays what it holds, and says so, as libsndfile's reader does.
    const std::int64_t held = bytesHeld(h, data);
    cut_ = held < static_cast<std::int64_t>(data.cksize);
    Wav* w = new Wav;
    w->file = h;
    w->bits = bits;
    w->is_float = is_float;
    w->align = align;
    w->left = held - held % align;
    file_ = w;
    rate_ = rate;
    channels_ = channels;
    frames_ = w->left / align;
}

SoundFile::~SoundFile() {
    if (Wav* w = wav(file_)) {
        mmioClose(w->file, 0);
        delete w;
    }
}

void SoundFile::read(int channel, float* out, int count) {
    if (count <= 0) return;
    int got = 0;
    Wav* w = wav(file_);
    if (w && channel >= 0 && channel < channels_) {
        const std::int64_t whole = std::min<std::int64_t>(static_cast<std::int64_t>(count), w->left / w->align);
        const std::size_t n = static_cast<std::size_t>(whole) * static_cast<std::size_t>(w->align);
        if (w->bytes.size() < n) w->bytes.resize(n);
        const LONG r = n ? mmioRead(w->file, reinterpret_cast<HPSTR>(w->bytes.data()), static_cast<LONG>(n)) : 0;
        if (r > 0) {
            w->left -= r;
            got = static_cast<int>(r / w->align);
        }
        const unsigned char* src = w->bytes.data() + channel * (w->bits / 8);
        for (int i = 0; i < got; ++i) out[i] = sampleAt(*w, src + static_cast<std::size_t>(i) * w->align);
    }
    std::fill(out + got, out + count, 0.0f);
}

Signal fileSignal(std::shared_ptr<SoundFile> file, int channel) {
    return Signal::generator([file = std::move(file), channel](std::uint64_t, float* out, int count) {
        file->read(channel, out, count);
    });
}

}  // namespace zohost::tool
