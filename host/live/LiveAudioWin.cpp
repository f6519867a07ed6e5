// LiveAudio through waveOut and waveIn (Windows). The devices signal an
// event when a buffer is done; one thread of ours waits on both events and
// refills and re-queues the buffers, since no wave function may be called
// from a device's own callback.
#include "live/LiveAudio.h"

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace zohost::live {

namespace {

constexpr int kOutFrames = 1024;  // frames per output buffer
constexpr int kOutBuffers = 4;
constexpr int kInBuffers = 8;
constexpr int kMaxInChannels = 8;
constexpr DWORD kWaitMs = 50;  // the thread looks at its stop flag at least this often

std::string outError(MMRESULT r) {
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(r, text, sizeof text) != MMSYSERR_NOERROR) return "error " + std::to_string(r);
    return text;
}

std::string inError(MMRESULT r) {
    char text[MAXERRORLENGTH] = {};
    if (waveInGetErrorTextA(r, text, sizeof text) != MMSYSERR_NOERROR) return "error " + std::to_string(r);
    return text;
}

// 32-bit float or 16-bit PCM; more than two channels need the extensible
// form, whose subformat is the plain format tag in a fixed base GUID.
WAVEFORMATEXTENSIBLE waveFormat(int channels, bool is_float, double rate) {
    WAVEFORMATEXTENSIBLE x{};
    WAVEFORMATEX& f = x.Format;
    f.wFormatTag = is_float ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(channels);
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = is_float ? 32 : 16;
    f.nBlockAlign = static_cast<WORD>(channels * (f.wBitsPerSample / 8));
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    if (channels > 2) {
        x.SubFormat = GUID{f.wFormatTag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
        f.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        f.cbSize = sizeof x - sizeof x.Format;
        x.Samples.wValidBitsPerSample = f.wBitsPerSample;
    }
    return x;
}

}  // namespace

struct LiveAudio::Backend {
    HANDLE out_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE in_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT out = nullptr;
    HWAVEIN in = nullptr;
    bool out_float = true;
    bool in_float = true;
    int in_frames = 0;  // frames per capture buffer
    std::array<WAVEHDR, kOutBuffers> out_hdr{};
    std::array<WAVEHDR, kInBuffers> in_hdr{};
    int out_next = 0;  // buffers come back in the order they were queued
    int in_next = 0;
    std::vector<char> out_mem;
    std::vector<char> in_mem;
    std::vector<float> scratch;  // 16-bit devices: the float side of a conversion
    std::thread thread;
    std::atomic<bool> stop{false};

    ~Backend() {
        for (HANDLE h : {out_done, in_done, wake})
            if (h) CloseHandle(h);
    }
    // Prepares and queues the capture buffers of `bytes` each; on failure
    // closes the device.
    bool queueInput(std::size_t bytes, std::string& error);
    // The device thread: buffers the devices are done with, refilled or read.
    void run(LiveAudio& audio);
    void serveOutput(LiveAudio& audio);
    void serveInput(LiveAudio& audio);
};

bool LiveAudio::Backend::queueInput(std::size_t bytes, std::string& error) {
    in_mem.assign(bytes * kInBuffers, 0);
    for (int i = 0; i < kInBuffers; ++i) {
        WAVEHDR& h = in_hdr[static_cast<std::size_t>(i)];
        h = WAVEHDR{};
        h.lpData = in_mem.data() + bytes * static_cast<std::size_t>(i);
        h.dwBufferLength = static_cast<DWORD>(bytes);
        MMRESULT r = waveInPrepareHeader(in, &h, sizeof h);
        if (r == MMSYSERR_NOERROR) r = waveInAddBuffer(in, &h, sizeof h);
        if (r != MMSYSERR_NOERROR) {
            error = "the capture device takes no buffer: " + inError(r);
            waveInReset(in);
            for (WAVEHDR& p : in_hdr)
                if (p.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(in, &p, sizeof p);
            waveInClose(in);
            in = nullptr;
            return false;
        }
    }
    in_next = 0;
    return true;
}

void LiveAudio::Backend::serveOutput(LiveAudio& audio) {
    for (WAVEHDR* h = &out_hdr[static_cast<std::size_t>(out_next)]; h->dwFlags & WHDR_DONE;
         h = &out_hdr[static_cast<std::size_t>(out_next)]) {
        if (out_float) {
            audio.deviceOutput(reinterpret_cast<float*>(h->lpData), kOutFrames);
        } else {
            float* f = scratch.data();
            audio.deviceOutput(f, kOutFrames);
            auto* s = reinterpret_cast<std::int16_t*>(h->lpData);
            for (int i = 0; i < kOutFrames * 2; ++i)
                s[i] = static_cast<std::int16_t>(std::lround(std::clamp(f[i], -1.0f, 1.0f) * 32767.0f));
        }
        h->dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        waveOutWrite(out, h, sizeof *h);
        out_next = (out_next + 1) % kOutBuffers;
    }
}

void LiveAudio::Backend::serveInput(LiveAudio& audio) {
    const std::size_t channels = static_cast<std::size_t>(audio.input_channels_);
    for (WAVEHDR* h = &in_hdr[static_cast<std::size_t>(in_next)]; h->dwFlags & WHDR_DONE;
         h = &in_hdr[static_cast<std::size_t>(in_next)]) {
        const std::size_t frames = h->dwBytesRecorded / (channels * (in_float ? 4 : 2));
        if (in_float) {
            audio.deviceInput(reinterpret_cast<const float*>(h->lpData), frames);
        } else {
            const auto* s = reinterpret_cast<const std::int16_t*>(h->lpData);
            float* f = scratch.data();
            for (std::size_t i = 0; i < frames * channels; ++i) f[i] = static_cast<float>(s[i]) / 32768.0f;
            audio.deviceInput(f, frames);
        }
        h->dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        h->dwBytesRecorded = 0;
        waveInAddBuffer(in, h, sizeof *h);
        in_next = (in_next + 1) % kInBuffers;
    }
}

void LiveAudio::Backend::run(LiveAudio& audio) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const HANDLE events[] = {wake, out_done, in_done};
    while (!stop.load(std::memory_order_acquire)) {
        WaitForMultipleObjects(3, events, FALSE, kWaitMs);
        if (stop.load(std::memory_order_acquire)) break;
        if (out) serveOutput(audio);
        if (in) serveInput(audio);
    }
}

void LiveAudio::BackendDelete::operator()(Backend* w) const { delete w; }

bool LiveAudio::openInput(int channel, std::string& error) {
    if (!backend_) backend_.reset(new Backend);
    Backend& w = *backend_;
    if (waveInGetNumDevs() == 0) {
        error = "no capture device";
        return false;
    }
    // All the device's channels, so that channel 1 of a stereo device is its
    // left one and not a mix of both.
    WAVEINCAPSA caps{};
    const int has = waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.wChannels : 0;
    if (has > 0 && channel > has) {
        error = "the capture device has " + std::to_string(has) + " channel" + (has == 1 ? "" : "s") + ", not " +
                std::to_string(channel);
        return false;
    }
    const int channels = std::max(1, std::min(std::max(channel, has), kMaxInChannels));
    WAVEFORMATEXTENSIBLE format{};
    MMRESULT r = MMSYSERR_ERROR;
    for (const bool is_float : {true, false}) {
        format = waveFormat(channels, is_float, rate_);
        r = waveInOpen(&w.in, WAVE_MAPPER, &format.Format, reinterpret_cast<DWORD_PTR>(w.in_done), 0,
                       CALLBACK_EVENT);
        w.in_float = is_float;
        if (r != WAVERR_BADFORMAT) break;
    }
    if (r != MMSYSERR_NOERROR) {
        w.in = nullptr;
        error = "no capture device: " + inError(r);
        return false;
    }
    if (channel > channels) {
        error = "the capture device has " + std::to_string(channels) + " channels, not " + std::to_string(channel);
        waveInClose(w.in);
        w.in = nullptr;
        return false;
    }
    w.in_frames = std::max(256, std::min(block_, 4096));
    w.scratch.resize(std::max(w.scratch.size(), static_cast<std::size_t>(w.in_frames * channels)));
    if (!w.queueInput(static_cast<std::size_t>(w.in_frames) * format.Format.nBlockAlign, error)) return false;
    input_channels_ = channels;
    input_channel_ = channel - 1;
    input_open_ = true;
    return true;
}

bool LiveAudio::openOutput(std::string& note) {
    if (!backend_) backend_.reset(new Backend);
    Backend& w = *backend_;
    if (waveOutGetNumDevs() == 0) {
        note = "no output device";
        return false;
    }
    WAVEFORMATEXTENSIBLE format{};
    MMRESULT r = MMSYSERR_ERROR;
    for (const bool is_float : {true, false}) {
        format = waveFormat(2, is_float, rate_);
        r = waveOutOpen(&w.out, WAVE_MAPPER, &format.Format, reinterpret_cast<DWORD_PTR>(w.out_done), 0,
                        CALLBACK_EVENT);
        w.out_float = is_float;
        if (r != WAVERR_BADFORMAT) break;
    }
    if (r != MMSYSERR_NOERROR) {
        w.out = nullptr;
        note = "no output device (" + outError(r) + ")";
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(kOutFrames) * format.Format.nBlockAlign;
    w.out_mem.assign(bytes * kOutBuffers, 0);
    w.scratch.resize(std::max(w.scratch.size(), static_cast<std::size_t>(kOutFrames * 2)));
    for (int i = 0; i < kOutBuffers; ++i) {
        WAVEHDR& h = w.out_hdr[static_cast<std::size_t>(i)];
        h = WAVEHDR{};
        h.lpData = w.out_mem.data() + bytes * static_cast<std::size_t>(i);
        h.dwBufferLength = static_cast<DWORD>(bytes);
        r = waveOutPrepareHeader(w.out, &h, sizeof h);
        if (r != MMSYSERR_NOERROR) {
            note = "no output device (" + outError(r) + ")";
            for (WAVEHDR& p : w.out_hdr)
                if (p.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(w.out, &p, sizeof p);
            waveOutClose(w.out);
            w.out = nullptr;
            return false;
        }
    }
    w.out_next = 0;
    output_channels_ = 2;
    output_frames_ = kOutFrames;
    output_open_ = true;
    return true;
}

void LiveAudio::start() {
    t0_ = std::chrono::steady_clock::now();
    started_ = true;
    if (!backend_ || (!backend_->in && !backend_->out)) return;
    Backend& w = *backend_;
    // Silence first, so the device is not short before the audio thread
    // has made anything: that is no underrun.
    if (w.out) {
        for (WAVEHDR& h : w.out_hdr) {
            if (waveOutWrite(w.out, &h, sizeof h) == MMSYSERR_NOERROR)
                played_.fetch_add(kOutFrames, std::memory_order_release);
        }
    }
    if (w.in) waveInStart(w.in);
    w.stop.store(false);
    w.thread = std::thread([this] { backend_->run(*this); });
}

void LiveAudio::close() {
    if (backend_) {
        Backend& w = *backend_;
        if (w.thread.joinable()) {
            w.stop.store(true, std::memory_order_release);
            SetEvent(w.wake);
            w.thread.join();
        }
        if (w.out) {
            waveOutReset(w.out);
            for (WAVEHDR& h : w.out_hdr)
                if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(w.out, &h, sizeof h);
            waveOutClose(w.out);
        }
        if (w.in) {
            waveInReset(w.in);
            for (WAVEHDR& h : w.in_hdr)
                if (h.dwFlags & WHDR_PREPARED) waveInUnprepareHeader(w.in, &h, sizeof h);
            waveInClose(w.in);
        }
        backend_.reset();
    }
    input_open_ = output_open_ = false;
}

}  // namespace zohost::live
