// The captures of a threaded host: what the audio side sent, what reached
// the display thread, and the busy window between a capture and its ack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ScopeCaptures.h"
#include "zohost/ThreadedInstance.h"

namespace zohost {

// A capture as it reached the display thread: its settings, and the samples
// read through its pointer just before the display object got it.
struct ReceivedCapture {
    T_SCOPE scope;  // Samples nulled
    std::vector<float> samples;
    std::uint64_t sent_block;  // audio blocks started when it was sent
};

class ThreadedCaptures : private MessageObserver {
public:
    // Takes the threaded instance's hooks and its audio side's observer:
    // make it before start() and run(); it must outlive them.
    explicit ThreadedCaptures(ThreadedInstance& threaded, std::size_t sample_budget = std::size_t(1) << 25);
    ThreadedCaptures(const ThreadedCaptures&) = delete;
    ThreadedCaptures& operator=(const ThreadedCaptures&) = delete;

    // Runs on the display thread after each capture reached the display object.
    void onDelivery(std::function<void(Instance& display, const ReceivedCapture& capture)> hook) {
        after_ = std::move(hook);
    }
    // What the audio side sent; read after run().
    const CaptureRecorder& sent() const { return sent_; }
    // Read after settle() or stop().
    const std::vector<ReceivedCapture>& received() const { return received_; }
    // Read after run(): captures whose storage changed between sending and
    // the ack's delivery, and "data" sent while one was still unacknowledged.
    std::size_t busyWindowViolations() const { return busy_violations_; }
    std::size_t overlappingSends() const { return overlapping_sends_; }

private:
    void sent(const MessageRecord& message, std::size_t slot) override;
    void cleared() override { sent_.cleared(); }
    void checkBusyWindow();

    CaptureRecorder sent_;
    std::function<void(Instance&, const ReceivedCapture&)> after_;

    // Display thread only.
    std::vector<ReceivedCapture> received_;
    bool arrived_ = false;

    // Audio thread only.
    bool outstanding_ = false;
    const void* sent_record_ = nullptr;
    T_SCOPE sent_scope_{};
    std::vector<float> sent_samples_;
    bool sent_samples_kept_ = false;
    std::size_t busy_violations_ = 0;
    std::size_t overlapping_sends_ = 0;
};

}  // namespace zohost
