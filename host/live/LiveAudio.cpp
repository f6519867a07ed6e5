// LiveAudio: the rings, the device-side copies, the pace and the pin
// signals on every platform; the devices are LiveAudioSdl.cpp's or
// LiveAudioWin.cpp's.
#include "live/LiveAudio.h"

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

}  // namespace zohost::live
