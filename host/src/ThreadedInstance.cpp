#include "zohost/ThreadedInstance.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zohost {

ThreadedInstance::ThreadedInstance(const ModuleLibrary& library, const ThreadedOptions& options)
    : options_(options) {
    InstanceOptions a = options_.instance;
    a.display = false;
    a.messages.link = this;
    a.messages.self_ack_without_display = false;
    InstanceOptions d = options_.instance;
    d.audio = false;
    d.messages.link = this;
    // The observer watches the audio side's sends, on the audio thread.
    d.messages.observer = nullptr;
    // Holding is done where the blocks are counted: on the audio thread.
    if (d.messages.ack == AckPolicy::Hold) d.messages.ack = AckPolicy::Deliver;
    if (options_.instance.display_first) {
        if (options_.instance.display) display_ = std::make_unique<Instance>(library, d);
        if (options_.instance.audio) audio_ = std::make_unique<Instance>(library, a);
    } else {
        if (options_.instance.audio) audio_ = std::make_unique<Instance>(library, a);
        if (options_.instance.display) display_ = std::make_unique<Instance>(library, d);
    }
    if (!audio_ || !display_) throw std::invalid_argument("a threaded instance needs both objects");
}

ThreadedInstance::~ThreadedInstance() {
    {
        std::lock_guard<std::mutex> lock(display_mutex_);
        stopping_ = true;
    }
    display_cv_.notify_all();
    if (display_thread_.joinable()) display_thread_.join();
    if (options_.instance.destroy_display_first) {
        display_.reset();
        audio_.reset();
    } else {
        audio_.reset();
        display_.reset();
    }
}

ThreadedInstance::Envelope ThreadedInstance::envelope(zolong size, zolong code, const void* ptr) {
    Envelope e;
    e.size = size;
    e.code = code;
    e.has_payload = ptr != nullptr;
    if (ptr) {
        // At least one byte, so an empty payload still arrives as a valid pointer.
        const std::size_t n = size > 0 ? static_cast<std::size_t>(size) : 0;
        e.payload.resize(n > 0 ? n : 1);
        if (n) std::memcpy(e.payload.data(), ptr, n);
    }
    return e;
}

std::string ThreadedInstance::threadName(std::thread::id id) const {
    if (id == audio_thread_.load()) return "the audio thread";
    if (id == display_thread_id_.load()) return "the display thread";
    return "a thread of neither object";
}

// Each object talks to the host on its own thread: the audio object on the
// audio thread, the display object on the display thread.
void ThreadedInstance::checkThread(Direction direction, zolong code) {
    const std::thread::id here = std::this_thread::get_id();
    const bool to_display = direction == Direction::ToDisplay;
    const std::thread::id want = to_display ? audio_thread_.load() : display_thread_id_.load();
    if (want == std::thread::id() || here == want) return;
    const std::string what = static_cast<std::int32_t>(code) == zo_message::data  ? "\"data\""
                             : static_cast<std::int32_t>(code) == zo_message::ack ? "\"ack\""
                                                                                   : "message " + std::to_string(code);
    std::lock_guard<std::mutex> lock(violations_mutex_);
    if (violations_.size() < 16)
        violations_.push_back(what + " sent by the " + (to_display ? "audio" : "display") + " object (request " +
                              (to_display ? "send_to_gui" : "gui_send_to_audio") + ") on " + threadName(here) +
                              ", not on " + threadName(want));
}

std::vector<std::string> ThreadedInstance::threadViolations() const {
    std::lock_guard<std::mutex> lock(violations_mutex_);
    return violations_;
}

void ThreadedInstance::forward(Direction direction, zolong size, zolong code, const void* ptr) {
    checkThread(direction, code);
    if (direction == Direction::ToAudio) ++sent_by_display_;
    if (direction == Direction::ToDisplay) {
        // Audio thread, inside request send_to_gui.
        Envelope e = envelope(size, code, ptr);
        e.sent_block = audio_->blocksStarted();
        {
            std::lock_guard<std::mutex> lock(display_mutex_);
            to_display_.push_back(std::move(e));
            ++data_sent_;
        }
        display_cv_.notify_all();
        return;
    }
    // Display thread, inside request gui_send_to_audio.
    if (options_.ack_on_display_thread) {
        audio_->audioCall(zo_audio_op::gui_notify, size, code, const_cast<void*>(ptr), 0.0f);
        return;
    }
    Envelope e = envelope(size, code, ptr);
    std::lock_guard<std::mutex> lock(audio_mutex_);
    to_audio_.push_back(std::move(e));
}

void ThreadedInstance::start() {
    if (display_thread_.joinable()) return;
    stopping_ = false;
    display_thread_ = std::thread([this] {
        displayLoop();
        display_thread_id_ = std::thread::id();
    });
    // Known before start() returns: the display thread may not have run yet
    // when the audio side first calls on the display object's behalf.
    display_thread_id_ = display_thread_.get_id();
}

void ThreadedInstance::displayLoop() {
    std::unique_lock<std::mutex> lock(display_mutex_);
    for (;;) {
        display_cv_.wait(lock, [this] { return stopping_ || !to_display_.empty(); });
        if (to_display_.empty()) break;
        Envelope e = std::move(to_display_.front());
        to_display_.pop_front();
        const bool failed = display_error_ != nullptr;
        lock.unlock();
        std::exception_ptr error;
        try {
            if (!failed) handleOnDisplay(e);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !display_error_) display_error_ = error;
        ++handled_;
        display_cv_.notify_all();
    }
}

void ThreadedInstance::handleOnDisplay(Envelope& e) {
    std::unique_lock<std::mutex> hold;
    if (options_.display_lock) hold = std::unique_lock<std::mutex>(*options_.display_lock);
    const ThreadedMessage m{e.size, e.code, e.ptr(), e.sent_block};
    if (before_display_) before_display_(*display_, m);
    display_->displayCall(zo_gui_op::module_msg, e.size, e.code, e.ptr(), 0.0f);
    if (after_display_) after_display_(*display_, m);
    if (options_.paint_width > 0 && options_.paint_height > 0 &&
        display_->repaints() != repaints_seen_) {
        repaints_seen_ = display_->repaints();
        // Made on the thread that paints into it.
        if (!canvas_)
            canvas_ = std::make_unique<Canvas>(options_.paint_width, options_.paint_height,
                                               options_.canvas_fill);
        // As a window erased before it is repainted: the row and column that
        // the background leaves alone keep no trace of earlier pictures.
        canvas_->fill(options_.canvas_fill);
        display_->paint(canvas_->dc(), options_.paint_width, options_.paint_height);
        ++paints_;
    }
}

void ThreadedInstance::run(std::uint64_t samples) {
    if (!display_thread_.joinable()) start();
    std::exception_ptr error;
    std::thread audio([&] {
        audio_thread_ = std::this_thread::get_id();
        try {
            audioLoop(samples);
        } catch (...) {
            error = std::current_exception();
        }
    });
    audio.join();
    audio_thread_ = std::thread::id();
    if (error) std::rethrow_exception(error);
}

void ThreadedInstance::audioLoop(std::uint64_t samples) {
    const int block = std::max(1, options_.instance.block_size);
    while (samples > 0) {
        if (options_.lockstep) {
            std::unique_lock<std::mutex> lock(display_mutex_);
            display_cv_.wait(lock, [this] { return handled_ == data_sent_ || display_error_; });
        }
        deliverAcks();
        if (before_block_) before_block_(*audio_);
        const int n = static_cast<int>(std::min<std::uint64_t>(samples, static_cast<std::uint64_t>(block)));
        audio_->processBlock(n);
        if (after_block_) after_block_(*audio_);
        samples -= static_cast<std::uint64_t>(n);
    }
}

void ThreadedInstance::deliverAcks() {
    const std::uint64_t now = audio_->blocksStarted();
    {
        std::lock_guard<std::mutex> lock(audio_mutex_);
        const bool hold = options_.instance.messages.ack == AckPolicy::Hold;
        const std::uint64_t wait =
            hold && options_.instance.messages.ack_hold_blocks > 0
                ? static_cast<std::uint64_t>(options_.instance.messages.ack_hold_blocks)
                : 0;
        for (Envelope& e : to_audio_) {
            e.release_block = now + wait;
            held_.push_back(std::move(e));
        }
        to_audio_.clear();
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < held_.size(); ++i) {
        Envelope& e = held_[i];
        if (e.release_block > now) {
            if (kept != i) held_[kept] = std::move(e);
            ++kept;
            continue;
        }
        if (before_audio_) before_audio_(*audio_, ThreadedMessage{e.size, e.code, e.ptr(), e.sent_block});
        if (static_cast<std::int32_t>(e.code) == zo_message::ack) ++acks_delivered_;
        audio_->audioCall(zo_audio_op::gui_notify, e.size, e.code, e.ptr(), 0.0f);
    }
    held_.resize(kept);
}

void ThreadedInstance::settle() {
    std::unique_lock<std::mutex> lock(display_mutex_);
    if (!display_thread_.joinable()) return;
    display_cv_.wait(lock, [this] { return handled_ == data_sent_; });
}

void ThreadedInstance::stop() {
    settle();
    {
        std::lock_guard<std::mutex> lock(display_mutex_);
        stopping_ = true;
    }
    display_cv_.notify_all();
    if (display_thread_.joinable()) display_thread_.join();
    std::exception_ptr error = display_error_;
    display_error_ = nullptr;
    if (error) std::rethrow_exception(error);
}

}  // namespace zohost
