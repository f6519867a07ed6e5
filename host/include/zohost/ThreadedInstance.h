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

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
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
    // message reaches the audio object; the block hooks on the audio thread
    // before each block, after the messages due have been delivered, and
    // after it. A second hook of a kind runs after the first.
    using MessageHook = std::function<void(Instance& receiver, const ThreadedMessage& message)>;
    using BlockHook = std::function<void(Instance& audio)>;
    void beforeDisplayDelivery(MessageHook hook) { chain(before_display_, std::move(hook)); }
    void afterDisplayDelivery(MessageHook hook) { chain(after_display_, std::move(hook)); }
    void beforeAudioDelivery(MessageHook hook) { chain(before_audio_, std::move(hook)); }
    void onAudioBlock(BlockHook hook) { chain(before_block_, std::move(hook)); }
    void afterAudioBlock(BlockHook hook) { chain(after_block_, std::move(hook)); }

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
    // Messages the display object has sent to the audio side so far.
    std::size_t sentByDisplay() const { return sent_by_display_.load(); }
    // Messages sent on a thread other than their object's ("\"data\" of the
    // audio object sent on the display thread"), one line each.
    std::vector<std::string> threadViolations() const;

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
    void checkThread(Direction direction, zolong code);
    std::string threadName(std::thread::id id) const;
    template <typename Hook>
    static void chain(std::function<Hook>& to, std::function<Hook> next) {
        if (!to) {
            to = std::move(next);
            return;
        }
        to = [first = std::move(to), next = std::move(next)](auto&... args) {
            first(args...);
            next(args...);
        };
    }

    ThreadedOptions options_;
    std::unique_ptr<Instance> audio_;
    std::unique_ptr<Instance> display_;
    MessageHook before_display_;
    MessageHook after_display_;
    MessageHook before_audio_;
    BlockHook before_block_;
    BlockHook after_block_;

    // Set by the threads they name, before they call the module.
    std::atomic<std::thread::id> audio_thread_{};
    std::atomic<std::thread::id> display_thread_id_{};
    std::atomic<std::size_t> sent_by_display_{0};
    mutable std::mutex violations_mutex_;
    std::vector<std::string> violations_;

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
