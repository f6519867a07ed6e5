#include "live/LiveHost.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

#include "AllocProbe.h"
#include "ZOProtocol.h"

namespace zohost::live {

namespace {

// Thrown on the audio thread between blocks to end the run early.
struct LiveStop {};

bool isCapture(Direction direction, zolong size, zolong code, const void* ptr) {
    return direction == Direction::ToDisplay && zohost::isCapture(size, code, ptr);
}

ThreadedOptions threadedOptions(const InstanceOptions& instance, std::mutex* display_lock) {
    ThreadedOptions t;
    t.display_lock = display_lock;
    t.instance = instance;
    t.instance.messages.ack = AckPolicy::Deliver;
    // No message records: they would grow on the audio thread, and the live
    // view takes its captures as they reach the display.
    t.instance.messages.record = false;
    // Painting is ours, at the window's size.
    t.paint_width = 0;
    t.paint_height = 0;
    return t;
}

std::atomic<bool> g_probing{false};

}  // namespace

AudioProbe::AudioProbe() : armed_(g_probing.load(std::memory_order_relaxed)) {
    if (armed_) probe::AllocProbe::arm(true);
}

AudioProbe::~AudioProbe() {
    if (armed_) probe::AllocProbe::arm(false);
}

void AudioProbe::enable(bool on) { g_probing.store(on, std::memory_order_relaxed); }

bool AudioProbe::available() { return probe::AllocProbe::available(); }

std::mutex& LiveHost::paintLock() {
    static std::mutex m;
    return m;
}

LiveHost::LiveHost(const ModuleLibrary& library, const InstanceOptions& options, std::uint32_t canvas_rgb)
    : threaded_(library, threadedOptions(options, &display_lock_)),
      canvas_rgb_(canvas_rgb),
      block_size_(options.block_size > 0 ? options.block_size : 1),
      paint_width_(640),
      paint_height_(360) {
    // Our link sits between the audio side and the threaded host's.
    MessageOptions& m = threaded_.audio().messages().options();
    inner_ = m.link;
    m.link = this;
    threaded_.onAudioBlock([this](Instance& a) { beforeBlock(a); });
    threaded_.beforeDisplayDelivery([this](Instance&, const ThreadedMessage& m) { beforeDelivery(m); });
    threaded_.afterDisplayDelivery([this](Instance& d, const ThreadedMessage&) {
        if (arrived_) afterDelivery(d, arriving_);
    });
}

LiveHost::~LiveHost() = default;

void LiveHost::setValue(int slot, int position, int value) {
    if (slot < 0 || slot >= kSlots) return;
    slots_[slot].value.store(value, std::memory_order_relaxed);
    slots_[slot].position.store(position, std::memory_order_release);
}

void LiveHost::setPaintSize(int width, int height) {
    paint_width_.store(width > 0 ? width : 1, std::memory_order_relaxed);
    paint_height_.store(height > 0 ? height : 1, std::memory_order_relaxed);
}

void LiveHost::forward(Direction direction, zolong size, zolong code, const void* ptr) {
    // Audio thread, inside the module's send.
    if (isCapture(direction, size, code, ptr)) {
        sent_.fetch_add(1, std::memory_order_relaxed);
        if (gate_now_) {
            AudioProbe probe;
            // Acknowledged before the next block, as the display would have.
            ack_owed_ = true;
            kept_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    inner_->forward(direction, size, code, ptr);
}

void LiveHost::beforeBlock(Instance& a) {
    if (stop_.load(std::memory_order_acquire)) throw LiveStop{};
    if (blocks_done_ == 0) probe::AllocProbe::reset();
    {
        AudioProbe probe;
        betweenBlocks(a);
    }
    // Includes the previous block's signal wrappers and held sends.
    const probe::ProbeCounts c = probe::AllocProbe::counts();
    probe_allocations_.store(c.allocations, std::memory_order_relaxed);
    probe_locks_.store(c.locks, std::memory_order_relaxed);
}

void LiveHost::betweenBlocks(Instance& a) {
    if (hooks_.pace) hooks_.pace(blocks_done_);
    for (Slot& s : slots_) {
        const int position = s.position.load(std::memory_order_acquire);
        if (position < 0) continue;
        const int v = s.value.load(std::memory_order_relaxed);
        if (s.ever && v == s.applied) continue;
        a.setValue(position, v);
        s.applied = v;
        s.ever = true;
    }
    if (ack_owed_) {
        ack_owed_ = false;
        a.audioCall(zo_audio_op::gui_notify, 0, SCOPE_MSG_ACK, nullptr, 0.0f);
    }
    // Every send of this block sees the gate as it is now.
    const std::uint64_t epoch = gate_epoch_.load(std::memory_order_acquire);
    gate_now_ = held_.load(std::memory_order_acquire) || paused_.load(std::memory_order_acquire);
    gate_seen_.store(epoch, std::memory_order_release);
    ++blocks_done_;
    samples_run_.store(blocks_done_ * static_cast<std::uint64_t>(block_size_), std::memory_order_relaxed);
}

void LiveHost::beforeDelivery(const ThreadedMessage& m) {
    arrived_ = zohost::isCapture(m.size, m.code, m.ptr);
    if (!arrived_) return;
    std::memcpy(&arriving_.scope, m.ptr, sizeof arriving_.scope);
    // The audio side keeps the samples untouched until the ack is back.
    readSamples(arriving_.scope, arriving_.samples);
    arriving_.scope.Samples = nullptr;
    arriving_.sent_block = m.sent_block;
}

void LiveHost::afterDelivery(Instance& d, const ReceivedCapture& c) {
    if (hooks_.capture) {
        const std::uint64_t block = c.sent_block;
        const std::uint64_t clock = block > 0 ? (block - 1) * static_cast<std::uint64_t>(block_size_) : 0;
        hooks_.capture(LiveCapture{&c.scope, &c.samples, clock, block});
    }
    delivered_block_ = c.sent_block;
    if (d.repaints() == repaints_seen_) return;
    repaints_seen_ = d.repaints();
    if (in_window_) {
        if (hooks_.picture) hooks_.picture(LivePicture{nullptr, 0, 0, c.sent_block});
        return;
    }
    std::lock_guard<std::mutex> lock(paintLock());
    paintLocked(c.sent_block);
}

std::uint64_t LiveHost::paintInto(HDC dc, int width, int height) {
    std::lock_guard<std::mutex> display(display_lock_);
    std::lock_guard<std::mutex> lock(paintLock());
    const auto t0 = std::chrono::steady_clock::now();
    threaded_.display().paint(dc, width, height);
    paint_ns_.fetch_add(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                       std::chrono::steady_clock::now() - t0)
                                                       .count()),
                        std::memory_order_relaxed);
    paints_.fetch_add(1, std::memory_order_relaxed);
    return delivered_block_;
}

void LiveHost::paintLocked(std::uint64_t block) {
    const int w = paint_width_.load(std::memory_order_relaxed);
    const int h = paint_height_.load(std::memory_order_relaxed);
    if (!canvas_ || canvas_->width() != w || canvas_->height() != h) {
        canvas_.reset();
        canvas_ = std::make_unique<Canvas>(w, h, canvas_rgb_);
        if (!canvas_->valid()) return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    // Erased before each repaint, as a window is.
    canvas_->fill(canvas_rgb_);
    threaded_.display().paint(canvas_->dc(), w, h);
    canvas_->pixels();  // the drawing is done when its pixels are there
    paint_ns_.fetch_add(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                       std::chrono::steady_clock::now() - t0)
                                                       .count()),
                        std::memory_order_relaxed);
    paints_.fetch_add(1, std::memory_order_relaxed);
    if (block) last_block_ = block;
    if (hooks_.picture) hooks_.picture(LivePicture{canvas_->pixels(), w, h, last_block_});
}

void LiveHost::repaint() {
    std::lock_guard<std::mutex> lock(paintLock());
    paintLocked(0);
}

void LiveHost::waitForGate() {
    const std::uint64_t epoch = gate_epoch_.fetch_add(1, std::memory_order_acq_rel) + 1;
    // The audio thread takes the gate up at its next block; a block is a few
    // milliseconds, so a short poll does.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (running() && gate_seen_.load(std::memory_order_acquire) < epoch &&
           std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    threaded_.settle();
}

void LiveHost::hold(bool on) {
    held_.store(on, std::memory_order_release);
    if (on) waitForGate();
}

void LiveHost::pause() {
    paused_.store(true, std::memory_order_release);
    waitForGate();
}

void LiveHost::resume() {
    paused_.store(false, std::memory_order_release);
}

std::uint64_t LiveHost::run(std::uint64_t samples) {
    running_.store(true, std::memory_order_release);
    threaded_.start();
    try {
        threaded_.run(samples);
    } catch (const LiveStop&) {
    } catch (...) {
        running_.store(false, std::memory_order_release);
        threaded_.stop();
        throw;
    }
    running_.store(false, std::memory_order_release);
    threaded_.stop();
    return samples_run_.load(std::memory_order_relaxed);
}

}  // namespace zohost::live
