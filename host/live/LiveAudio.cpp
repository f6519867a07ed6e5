// LiveAudio: the rings, the device-side copies, the pace and the pin
// signals on every platform; the devices through SDL2 audio here, except on
// Windows, where LiveAudioWin.cpp has them.
#include "live/LiveAudio.h"

#ifndef _WIN32
#include <SDL.h>
#endif

#include <algorithm>
#include <thread>

#include "live/LiveHost.h"

namespace zohost::live {

namespace {

// Rings hold about a second and a half; the pace keeps them far from full.
std::size_t ringSize(double rate) { return static_cast<std::size_t>(rate * 1.5) + 4096; }

}  // namespace

LiveAudio::LiveAudio(double rate, int block)
    : rate_(rate),
      block_(block),
      out_{LiveRing(ringSize(rate)), LiveRing(ringSize(rate))},
      in_(ringSize(rate)) {}

LiveAudio::~LiveAudio() { close(); }

const char* LiveAudio::clockName() const {
    if (input_open_) return "the capture device";
    if (output_open_) return "the output device";
    return "a timer";
}

void LiveAudio::deviceOutput(float* out, std::size_t frames) {
    const int channels = output_channels_;
    std::fill(out, out + frames * static_cast<std::size_t>(channels), 0.0f);
    bool short_ = false;
    for (int side = 0; side < 2 && side < channels; ++side) {
        const std::size_t got = out_[side].pop(out + side, frames, static_cast<std::size_t>(channels));
        short_ = short_ || got < frames;
    }
    const std::uint64_t played = played_.load(std::memory_order_relaxed) + frames;
    played_.store(played, std::memory_order_release);
    // Short while audio had not made that much: the audio thread is behind.
    if (short_ && made_.load(std::memory_order_acquire) < played) late_.fetch_add(1, std::memory_order_relaxed);
}

void LiveAudio::deviceInput(const float* in, std::size_t frames) {
    const std::size_t put = in_.push(in + input_channel_, frames, static_cast<std::size_t>(input_channels_));
    if (put < frames) dropped_.fetch_add(1, std::memory_order_relaxed);
}

Signal LiveAudio::played(Signal inner, int side, float idle) {
    auto source = std::make_shared<Signal>(std::move(inner));
    LiveRing* ring = &out_[side & 1];
    std::atomic<std::uint64_t>* dropped = &dropped_;
    return Signal::generator([source, ring, idle, dropped](std::uint64_t clock, float* out, int count) {
        AudioProbe probe;
        source->fill(clock, out, count, idle);
        if (ring->push(out, static_cast<std::size_t>(count)) < static_cast<std::size_t>(count))
            dropped->fetch_add(1, std::memory_order_relaxed);
    });
}

Signal LiveAudio::input() {
    LiveRing* ring = &in_;
    std::atomic<std::uint64_t>* dropped = &dropped_;
    return Signal::generator([ring, dropped](std::uint64_t, float* out, int count) {
        AudioProbe probe;
        // pace() waited for these; a capture still short is filled with silence.
        const std::size_t got = ring->pop(out, static_cast<std::size_t>(count));
        if (got < static_cast<std::size_t>(count)) {
            std::fill(out + got, out + count, 0.0f);
            dropped->fetch_add(1, std::memory_order_relaxed);
        }
    });
}

void LiveAudio::pace(std::uint64_t blocks_done) {
    if (!started_) return;
    const std::uint64_t made = blocks_done * static_cast<std::uint64_t>(block_);
    made_.store(made, std::memory_order_release);
    const auto block_time = std::chrono::duration<double>(block_ / rate_);
    if (input_open_) {
        // The capture device is the clock: wait for a block of it.
        const auto give_up = std::chrono::steady_clock::now() + 4 * block_time + std::chrono::milliseconds(200);
        while (in_.available() < static_cast<std::size_t>(block_)) {
            if (std::chrono::steady_clock::now() > give_up) {
                late_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return;
    }
    if (output_open_) {
        // Keep a device buffer and two blocks ahead of what it has played.
        const std::uint64_t lead = static_cast<std::uint64_t>(output_frames_ + 2 * block_);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (made > played_.load(std::memory_order_acquire) + lead) {
            if (std::chrono::steady_clock::now() > give_up) return;  // a stalled device: go on
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return;
    }
    const auto due = t0_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(static_cast<double>(made) / rate_));
    const auto now = std::chrono::steady_clock::now();
    if (now > due + block_time)
        late_.fetch_add(1, std::memory_order_relaxed);
    else if (now < due)
        std::this_thread::sleep_until(due);
}

LiveAudioStats LiveAudio::stats() const {
    LiveAudioStats s;
    s.late = late_.load(std::memory_order_relaxed);
    s.dropped = dropped_.load(std::memory_order_relaxed);
    return s;
}

#ifndef _WIN32

bool LiveAudio::openInput(int channel, std::string& error) {
    if (!audio_init_ && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = std::string("no audio: ") + SDL_GetError();
        return false;
    }
    audio_init_ = true;
    SDL_AudioSpec want{}, have{};
    want.freq = static_cast<int>(rate_);
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(std::max(1, std::min(channel, 8)));
    want.samples = static_cast<Uint16>(std::min(block_, 4096));
    want.callback = &LiveAudio::inputCallback;
    want.userdata = this;
    input_device_ = SDL_OpenAudioDevice(nullptr, 1, &want, &have, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (!input_device_) {
        error = std::string("no capture device: ") + SDL_GetError();
        return false;
    }
    if (channel > have.channels) {
        error = "the capture device has " + std::to_string(have.channels) + " channel" +
                (have.channels == 1 ? "" : "s") + ", not " + std::to_string(channel);
        SDL_CloseAudioDevice(input_device_);
        input_device_ = 0;
        return false;
    }
    input_channels_ = have.channels;
    input_channel_ = channel - 1;
    input_open_ = true;
    return true;
}

bool LiveAudio::openOutput(std::string& note) {
    if (!audio_init_ && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        note = std::string("no audio: ") + SDL_GetError();
        return false;
    }
    audio_init_ = true;
    SDL_AudioSpec want{}, have{};
    want.freq = static_cast<int>(rate_);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &LiveAudio::outputCallback;
    want.userdata = this;
    output_device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!output_device_) {
        note = std::string("no output device (") + SDL_GetError() + ")";
        return false;
    }
    output_channels_ = have.channels;
    output_frames_ = have.samples;
    output_open_ = true;
    return true;
}

void LiveAudio::start() {
    t0_ = std::chrono::steady_clock::now();
    started_ = true;
    if (input_device_) SDL_PauseAudioDevice(input_device_, 0);
    if (output_device_) SDL_PauseAudioDevice(output_device_, 0);
}

void LiveAudio::close() {
    if (input_device_) SDL_CloseAudioDevice(input_device_);
    if (output_device_) SDL_CloseAudioDevice(output_device_);
    input_device_ = output_device_ = 0;
    input_open_ = output_open_ = false;
    if (audio_init_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio_init_ = false;
}

void LiveAudio::outputCallback(void* self, std::uint8_t* stream, int len) {
    LiveAudio& a = *static_cast<LiveAudio*>(self);
    a.deviceOutput(reinterpret_cast<float*>(stream),
                   static_cast<std::size_t>(len) / sizeof(float) / static_cast<std::size_t>(a.output_channels_));
}

void LiveAudio::inputCallback(void* self, std::uint8_t* stream, int len) {
    LiveAudio& a = *static_cast<LiveAudio*>(self);
    a.deviceInput(reinterpret_cast<const float*>(stream),
                  static_cast<std::size_t>(len) / sizeof(float) / static_cast<std::size_t>(a.input_channels_));
}

#endif  // _WIN32

}  // namespace zohost::live
