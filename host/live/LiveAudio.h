// The real-time clock of a live run, and its sound: the default output
// device plays "Signal A" and "Signal B" (left, right) and sets the pace;
// without one (or with --mute) a timer does. A channel of the default
// capture device can feed a pin; then the capture device sets the pace.
// Samples cross between the device callbacks and the audio thread through
// preallocated lock-free rings. SDL on Linux, waveOut/waveIn on Windows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "live/LiveRing.h"
#include "zohost/Signal.h"

namespace zohost::live {

struct LiveAudioStats {
    std::uint64_t late = 0;     // blocks that started more than a block behind time, or device underruns
    std::uint64_t dropped = 0;  // blocks of samples lost: a full ring, or a capture that came too late
};

class LiveAudio {
public:
    LiveAudio(double rate, int block);
    ~LiveAudio();
    LiveAudio(const LiveAudio&) = delete;
    LiveAudio& operator=(const LiveAudio&) = delete;

    // False with `error` when the capture device cannot give `channel`
    // (counted from 1). Call before openOutput.
    bool openInput(int channel, std::string& error);
    // False with `note` when there is no output device: a timer is the clock.
    bool openOutput(std::string& note);
    void start();  // unpauses the devices and starts the clock
    void close();

    const char* clockName() const;

    // Wrap a pin's signal so that what it plays is heard (0 left, 1 right).
    Signal played(Signal inner, int side, float idle);
    // The capture channel as a pin's signal.
    Signal input();

    // Audio thread, before each block: waits until the clock is due.
    void pace(std::uint64_t blocks_done);

    LiveAudioStats stats() const;

private:
    // Device side, shared by both platforms: `out` takes `frames` frames of
    // output_channels_ interleaved; `in` gives frames of input_channels_.
    void deviceOutput(float* out, std::size_t frames);
    void deviceInput(const float* in, std::size_t frames);

    // The devices: LiveAudioSdl.cpp or LiveAudioWin.cpp, made when one opens.
    struct Backend;
    struct BackendDelete {
        void operator()(Backend* b) const;
    };
    std::unique_ptr<Backend, BackendDelete> backend_;

    double rate_;
    int block_;
    bool input_open_ = false;   // the capture device is the clock
    bool output_open_ = false;  // else the output device
    int input_channels_ = 0;
    int input_channel_ = 0;
    int output_channels_ = 0;
    int output_frames_ = 0;  // samples per device callback
    LiveRing out_[2];
    LiveRing in_;
    std::atomic<std::uint64_t> made_{0};    // samples the audio thread made
    std::atomic<std::uint64_t> played_{0};  // samples the output device took
    std::atomic<std::uint64_t> late_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::chrono::steady_clock::time_point t0_;
    bool started_ = false;
};

}  // namespace zohost::live
