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
// Messages to the audio object reach it on the audio thread, before a block
// (between processing calls); messages to the display object reach it on the
// display thread as soon as they are sent, while audio goes on. What a
// message means is for hooks to say (the audio instance's message observer
// sees each send on the audio thread).
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
    // Held by the display thread while the display object takes a message,
    // so that another thread (a window's) may call it in between.
    std::mutex* display_lock = nullptr;
    // Deliberately wrong, for the race detector's negative control only: the
    // display thread calls the audio object with the ack itself, while audio
    // runs.
    bool ack_on_display_thread = false;
};

// A message crossing threads, as its receiver is about to get it (or just
// got it): `ptr` is the host's copy of the payload, valid during the hook.
struct ThreadedMessage {
    zolong size;
    zolong code;
    const void* ptr;
    std::uint64_t sent_block;  // to the display: audio blocks started when it was sent
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

    // Set before start() and run(). The display hooks run on the display
    // thread just before and just after each message reaches the display
    // object; the audio delivery hook on the audio thread just before each
    // message reaches the audio object; the block hook on the audio thread
    // before each block, after the messages due have been delivered.
    using MessageHook = std::function<void(Instance& receiver, const ThreadedMessage& message)>;
    void beforeDisplayDelivery(MessageHook hook) { before_display_ = std::move(hook); }
    void afterDisplayDelivery(MessageHook hook) { after_display_ = std::move(hook); }
    void beforeAudioDelivery(MessageHook hook) { before_audio_ = std::move(hook); }
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
    int paints() const { return paints_; }
    const Canvas* canvas() const { return canvas_.get(); }
    // Read after run(): "ack" messages that reached the audio object.
    std::size_t acksDelivered() const { return acks_delivered_; }

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

    ThreadedOptions options_;
    std::unique_ptr<Instance> audio_;
    std::unique_ptr<Instance> display_;
    MessageHook before_display_;
    MessageHook after_display_;
    MessageHook before_audio_;
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
    std::unique_ptr<Canvas> canvas_;
    int paints_ = 0;
    int repaints_seen_ = 0;

    // Audio thread only.
    std::vector<Envelope> held_;
    std::size_t acks_delivered_ = 0;
};

}  // namespace zohost
