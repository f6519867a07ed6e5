// The one place where the live view meets the host core: a ThreadedInstance
// (audio thread, display thread) with
// - a gate on the captures going to the display: closed, the host keeps
//   them from the display and acknowledges them itself so audio goes on;
// - list values and a stop asked for from any thread, taken up by the audio
//   thread between blocks;
// - the display painted through Canvas on the display thread whenever it
//   asked for a repaint, at the size the window has now.
// Nothing here allocates or locks on the audio thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ThreadedCaptures.h"
#include "scopedata.h"
#include "zohost/Canvas.h"
#include "zohost/Instance.h"
#include "zohost/MessageRouter.h"
#include "zohost/ModuleLibrary.h"
#include "zohost/ThreadedInstance.h"

namespace zohost::live {

// A capture as the display received it; `clock` is the sample clock at the
// start of the block that sent it.
struct LiveCapture {
    const T_SCOPE* scope;
    const std::vector<float>* samples;
    std::uint64_t clock;
    std::uint64_t block;
};

// A picture of the display, 0x00RRGGBB, top row first; `block` is the block
// of the newest capture it shows (0: none yet).
struct LivePicture {
    const std::uint32_t* pixels;
    int width, height;
    std::uint64_t block;
};

// Counts heap calls and locks made by the live layer's own code on the audio
// thread (its hooks and signal wrappers), while --stats asks for it.
class AudioProbe {
public:
    AudioProbe();
    ~AudioProbe();
    AudioProbe(const AudioProbe&) = delete;
    AudioProbe& operator=(const AudioProbe&) = delete;
    static void enable(bool on);
    static bool available();

private:
    bool armed_;
};

class LiveHost : private MessageLink {
public:
    struct Hooks {
        // Audio thread, before each block, after the acks due: keeps time.
        // Must neither allocate nor lock.
        std::function<void(std::uint64_t blocks_done)> pace;
        // Display thread.
        std::function<void(const LiveCapture&)> capture;
        // The display's new picture; with paintInWindow(), only that the
        // display asked for a repaint (no pixels).
        std::function<void(const LivePicture&)> picture;
    };

    LiveHost(const ModuleLibrary& library, const InstanceOptions& options, std::uint32_t canvas_rgb);
    ~LiveHost();

    // Before run(): the audio side, for pins and values.
    Instance& audio() { return threaded_.audio(); }
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // Any thread. Taken up by the audio thread before its next block.
    void setValue(int slot, int position, int value);
    void setPaintSize(int width, int height);
    void requestStop() { stop_.store(true, std::memory_order_release); }

    // The calling thread becomes the host's runner: starts the display thread
    // and runs `samples` samples on the audio thread, or until requestStop().
    // Returns the samples run; rethrows what the module's side threw.
    std::uint64_t run(std::uint64_t samples);
    bool running() const { return running_.load(std::memory_order_acquire); }

    // The gate is closed while the picture is held or while the window
    // repaints; the two are kept apart so that a repaint never lets go of a
    // hold taken meanwhile.
    // Window thread. Holding waits until no capture is on its way to the
    // display.
    void hold(bool on);
    // Audio thread, from the pace hook: held from this block on.
    void holdNow() { held_.store(true, std::memory_order_release); }
    bool held() const { return held_.load(std::memory_order_acquire); }
    // Window thread: pausing waits as holding does; while paused, repaint()
    // may paint on the calling thread.
    void pause();
    void resume();
    // Before run(), or paused: paints at the current size.
    void repaint();
    // Before run(): the display is painted by a window, through paintInto(),
    // rather than on the display thread.
    void paintInWindow() { in_window_ = true; }
    // Any thread but the display thread, between the display's messages: the
    // display paints into `dc` (erased by the caller) at width x height.
    // Returns the block of the newest capture it had (0: none).
    std::uint64_t paintInto(HDC dc, int width, int height);

    // The drawing library is for one thread at a time: everything in the
    // program that paints holds this.
    static std::mutex& paintLock();

    std::size_t capturesSent() const { return sent_.load(std::memory_order_relaxed); }
    std::size_t capturesKept() const { return kept_.load(std::memory_order_relaxed); }
    std::uint64_t samplesRun() const { return samples_run_.load(std::memory_order_relaxed); }
    // What AudioProbe counted on the audio thread so far.
    long audioAllocations() const { return probe_allocations_.load(std::memory_order_relaxed); }
    long audioLocks() const { return probe_locks_.load(std::memory_order_relaxed); }
    // Paints of the display and the time they took.
    std::uint64_t paints() const { return paints_.load(std::memory_order_relaxed); }
    double paintSeconds() const { return static_cast<double>(paint_ns_.load(std::memory_order_relaxed)) * 1e-9; }

    static const int kSlots = 8;

private:
    void forward(Direction direction, zolong size, zolong code, const void* ptr) override;
    void beforeBlock(Instance& audio);
    void betweenBlocks(Instance& audio);
    void beforeDelivery(const ThreadedMessage& message);
    void afterDelivery(Instance& display, const ReceivedCapture& capture);
    void paintLocked(std::uint64_t block);
    // Until the audio thread has seen the gate as it is now.
    void waitForGate();

    // Before threaded_, which holds it while the display takes a message.
    std::mutex display_lock_;
    ThreadedInstance threaded_;
    MessageLink* inner_ = nullptr;
    bool in_window_ = false;
    Hooks hooks_;
    std::uint32_t canvas_rgb_;
    int block_size_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> paused_{false};
    std::atomic<std::uint64_t> gate_epoch_{0};
    std::atomic<std::uint64_t> gate_seen_{0};
    std::atomic<int> paint_width_;
    std::atomic<int> paint_height_;
    struct Slot {
        std::atomic<int> position{-1};
        std::atomic<int> value{0};
        int applied = 0;
        bool ever = false;
    };
    Slot slots_[kSlots];
    std::atomic<std::size_t> sent_{0};
    std::atomic<std::size_t> kept_{0};
    std::atomic<std::uint64_t> samples_run_{0};
    std::atomic<long> probe_allocations_{0};
    std::atomic<long> probe_locks_{0};
    std::atomic<std::uint64_t> paints_{0};
    std::atomic<std::uint64_t> paint_ns_{0};

    // Audio thread only.
    bool gate_now_ = false;
    bool ack_owed_ = false;
    std::uint64_t blocks_done_ = 0;

    // Display thread, or the window thread with the gate closed. Only the
    // capture being delivered is kept, its storage reused.
    ReceivedCapture arriving_{};
    bool arrived_ = false;
    std::unique_ptr<Canvas> canvas_;
    int repaints_seen_ = 0;
    std::uint64_t last_block_ = 0;
    // Under display_lock_: the block of the newest capture delivered.
    std::uint64_t delivered_block_ = 0;
};

}  // namespace zohost::live
