// One placed module run the way a real host runs it: the audio object on an
// audio thread, the display object (messages, copies, paint) on a display
// thread, and the messages between them queued by the host. The module takes
// no lock; the host's queues are the only synchronisation, so that a race
// detector sees exactly the hand-off the module relies on.
//
// Each side is an Instance of its own, touched by one thread at a time:
// - the audio instance by run()'s audio thread, and by the caller only while
//   no run() is under way;
// - the display instance by the display thread between start() and stop(),
//   and by the caller only before start(), after stop(), or after settle()
//   until the next run().
// Acknowledgements reach the audio object on the audio thread, before a block
// (between processing calls); "data" reaches the display object on the
// display thread as soon as it is sent, and the display reads the capture's
// samples from the audio side's storage while audio goes on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zohost/Canvas.h"
#include "zohost/Instance.h"
#include "zohost/MessageRouter.h"

namespace zohost {

struct ThreadedOptions {
    // Settings of both objects. messages.ack: Deliver; Hold, where an ack
    // waits ack_hold_blocks block starts after it reaches the audio thread;
    // or Drop. messages.delivery is not used: messages always cross threads.
    InstanceOptions instance;
    // Before each block the audio thread waits until the display has taken
    // every capture sent, so acks come back in time and the captures match
    // a single-threaded instance with queued delivery.
    bool lockstep = false;
    // The display paints into a picture of this size whenever it asked for a
    // repaint, each time from a picture filled with canvas_fill; 0 x 0: no
    // painting. The drawing library and the host's font cache are not
    // thread-safe: only one thread of the program may paint at a time.
    int paint_width = 0;
    int paint_height = 0;
    std::uint32_t canvas_fill = 0;
    // Deliberately wrong, for the race detector's negative control only: the
    // display thread calls the audio object with the ack itself, while audio
    // runs.
    bool ack_on_display_thread = false;
};

// A capture as it reached the display thread: its settings, and the samples
// read through its pointer just before the display object got it.
struct ReceivedCapture {
    T_SCOPE scope;  // Samples nulled
    std::vector<float> samples;
    std::uint64_t sent_block;  // audio blocks started when it was sent
};

class ThreadedInstance : private MessageLink {
public:
    ThreadedInstance(const ModuleLibrary& library, const ThreadedOptions& options = ThreadedOptions());
    ~ThreadedInstance();
    ThreadedInstance(const ThreadedInstance&) = delete;
    ThreadedInstance& operator=(const ThreadedInstance&) = delete;

    const ThreadedOptions& options() const { return options_; }
    Instance& audio() { return *audio_; }
    Instance& display() { return *display_; }

    // Set before start() and run(). The display hook runs on the display
    // thread after each "data" delivery; the audio hook on the audio thread
    // before each block, after the acks due have been delivered.
    void onDisplayDelivery(std::function<void(Instance& display, const ReceivedCapture& capture)> hook) {
        after_delivery_ = std::move(hook);
    }
    void onAudioBlock(std::function<void(Instance& audio)> hook) { before_block_ = std::move(hook); }

    void start();  // the display thread
    // Runs `samples` samples on an audio thread of its own, in whole blocks of
    // block_size and then the rest, and joins it. Rethrows what the audio
    // side threw.
    void run(std::uint64_t samples);
    // Waits until the display has handled (and painted) everything sent.
    void settle();
    // Settles, ends the display thread and rethrows what it threw.
    void stop();

    // Read after settle() or stop().
    const std::vector<ReceivedCapture>& received() const { return received_; }
    std::size_t dataSent() const { return data_sent_; }
    std::size_t dataHandled() const { return handled_; }
    int paints() const { return paints_; }
    const Canvas* canvas() const { return canvas_.get(); }
    // Read after run().
    std::size_t acksDelivered() const { return acks_delivered_; }
    // Captures whose storage changed between sending and the ack's delivery.
    std::size_t busyWindowViolations() const { return busy_violations_; }
    // "data" sent while an earlier one was still unacknowledged.
    std::size_t overlappingSends() const { return overlapping_sends_; }

private:
    struct Envelope {
        zolong size = 0;
        zolong code = 0;
        bool has_payload = false;
        std::vector<unsigned char> payload;
        std::uint64_t sent_block = 0;
        std::uint64_t release_block = 0;
        void* ptr() { return has_payload ? payload.data() : nullptr; }
    };

    void forward(Direction direction, zolong size, zolong code, const void* ptr) override;
    static Envelope envelope(zolong size, zolong code, const void* ptr);
    void displayLoop();
    void handleOnDisplay(Envelope& e);
    void audioLoop(std::uint64_t samples);
    void deliverAcks();
    void checkBusyWindow();

    ThreadedOptions options_;
    std::unique_ptr<Instance> audio_;
    std::unique_ptr<Instance> display_;
    std::function<void(Instance&, const ReceivedCapture&)> after_delivery_;
    std::function<void(Instance&)> before_block_;

    // Display side: the queue to it, under display_mutex_.
    std::mutex display_mutex_;
    std::condition_variable display_cv_;
    std::deque<Envelope> to_display_;
    std::size_t data_sent_ = 0;
    std::size_t handled_ = 0;
    bool stopping_ = false;
    std::exception_ptr display_error_;
    std::thread display_thread_;

    // Audio side: the queue to it, under audio_mutex_ (never the display's
    // mutex, so the two directions synchronise only through their own queues).
    std::mutex audio_mutex_;
    std::deque<Envelope> to_audio_;

    // Display thread only.
    std::vector<ReceivedCapture> received_;
    std::unique_ptr<Canvas> canvas_;
    int paints_ = 0;
    int repaints_seen_ = 0;

    // Audio thread only.
    std::vector<Envelope> held_;
    std::size_t acks_delivered_ = 0;
    bool outstanding_ = false;
    const void* sent_record_ = nullptr;
    T_SCOPE sent_scope_{};
    std::vector<float> sent_samples_;
    bool sent_samples_kept_ = false;
    std::size_t busy_violations_ = 0;
    std::size_t overlapping_sends_ = 0;
};

}  // namespace zohost
