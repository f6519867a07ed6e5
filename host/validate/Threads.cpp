// The module on a threaded host, as a real one runs it: the audio object on
// an audio thread, the display object's messages on a display thread, acks
// delivered between blocks, and a window thread painting meanwhile. Each
// object must talk to the host on its own thread, hand captures over only
// through its messages, acknowledge in time, and never wait on the other
// thread. A module that does not is named with the thread and the call.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "Harness.h"
#include "ThreadedCaptures.h"
#include "zohost/ThreadedInstance.h"

namespace zohost::validate {

namespace {

using Clock = std::chrono::steady_clock;

// A call into the module longer than this is one thread waiting on the other.
const std::chrono::seconds kBlockedAfter(3);
// An "ack" sent later than this after its "data" is not in time.
const std::chrono::milliseconds kAckWithin(1000);

// Watches the calls each thread makes into the module; one that has not
// returned after kBlockedAfter ends the test's process with the thread and
// the call named (the battery reports that line).
class Watchdog {
public:
    Watchdog() : thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // `call` must be a literal: read by the watching thread.
    void enter(int side, const char* call) {
        calls_[side].store(call);
        since_[side].store(Clock::now().time_since_epoch().count());
    }
    void leave(int side) { since_[side].store(0); }

    static const int kAudio = 0, kDisplay = 1;

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!cv_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; })) {
            for (int side : {kAudio, kDisplay}) {
                const auto since = since_[side].load();
                if (since == 0) continue;
                const auto in_call = Clock::now() - Clock::time_point(Clock::duration(since));
                if (in_call < kBlockedAfter) continue;
                std::fprintf(stderr, "blocked: the %s thread has not returned from %s in %lld s%s\n",
                             side == kAudio ? "audio" : "display", calls_[side].load(),
                             static_cast<long long>(kBlockedAfter.count()),
                             side == kDisplay ? " (waiting for the audio thread?)" : " (waiting for the display thread?)");
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

    std::atomic<Clock::rep> since_[2] = {{0}, {0}};
    std::atomic<const char*> calls_[2] = {{""}, {""}};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

// What the display thread saw of the scope's captures: whether the display
// wrote the samples it was handed, and whether each "data" got its "ack" in
// time. Messages and blocks take turns, so that a change in the samples
// during the display's call is the display's.
class HandOver {
public:
    HandOver(ThreadedInstance& threaded, Watchdog& dog) : threaded_(threaded), dog_(dog) {
        threaded.beforeDisplayDelivery([this](Instance&, const ThreadedMessage& m) { before(m); });
        threaded.afterDisplayDelivery([this](Instance&, const ThreadedMessage& m) { after(m); });
        threaded.onAudioBlock([this](Instance&) {
            turn_.lock();
            dog_.enter(Watchdog::kAudio, "process");
        });
        threaded.afterAudioBlock([this](Instance&) {
            dog_.leave(Watchdog::kAudio);
            turn_.unlock();
        });
    }

    // After stop(): the "data" never acknowledged.
    void finish() {
        resolveAcks(Clock::now());
        for (const Pending& p : pending_)
            fail("the display thread never acknowledged the \"data\" sent in audio block " +
                 std::to_string(p.block));
        pending_.clear();
    }
    int delivered() const { return delivered_; }
    const std::vector<std::string>& failures() const { return failures_; }

private:
    struct Pending {
        Clock::time_point at;
        std::uint64_t block;
    };

    void before(const ThreadedMessage& m) {
        turn_.lock();
        resolveAcks(Clock::now());
        capture_ = isCapture(m.size, m.code, m.ptr);
        if (capture_) {
            std::memcpy(&record_, m.ptr, sizeof record_);
            samples_kept_ = readSamples(record_, samples_);
        }
        dog_.enter(Watchdog::kDisplay, capture_ ? "module_msg (\"data\")" : "module_msg");
    }

    void after(const ThreadedMessage& m) {
        dog_.leave(Watchdog::kDisplay);
        if (capture_) {
            ++delivered_;
            std::vector<float> now;
            if (samples_kept_ && readSamples(record_, now) && now != samples_)
                fail("the display thread wrote the audio side's capture record (the samples of the \"data\" "
                     "sent in audio block " + std::to_string(m.sent_block) + ") in module_msg, while the audio "
                     "side waited for its ack");
            pending_.push_back({Clock::now(), m.sent_block});
        }
        resolveAcks(Clock::now());
        turn_.unlock();
    }

    // Acks sent since the last look answer the oldest "data" first.
    void resolveAcks(Clock::time_point now) {
        std::size_t acks = threaded_.sentByDisplay() - seen_acks_;
        seen_acks_ = threaded_.sentByDisplay();
        for (; acks > 0 && !pending_.empty(); --acks) {
            const Pending p = pending_.front();
            pending_.pop_front();
            const auto late = now - p.at;
            if (late > kAckWithin)
                fail("the display thread acknowledged the \"data\" sent in audio block " + std::to_string(p.block) +
                     " only after " + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(late).count()) +
                     " ms");
        }
    }

    void fail(const std::string& what) {
        if (failures_.size() < 3) failures_.push_back(what);
    }

    ThreadedInstance& threaded_;
    Watchdog& dog_;
    std::mutex turn_;
    // Display thread only, until stop().
    bool capture_ = false;
    T_SCOPE record_{};
    std::vector<float> samples_;
    bool samples_kept_ = false;
    std::size_t seen_acks_ = 0;
    std::deque<Pending> pending_;
    int delivered_ = 0;
    std::vector<std::string> failures_;
};

ThreadedOptions threadedOptions(const Scenario& s, int paint_width, int paint_height) {
    ThreadedOptions o;
    o.instance = quietOptions(s.rate, s.block);
    o.instance.messages.record = true;
    o.instance.messages.record_limit = 1u << 20;
    o.paint_width = paint_width;
    o.paint_height = paint_height;
    o.canvas_fill = 0x203040;
    return o;
}

bool sameCapture(const Capture& sent, const ReceivedCapture& got) {
    const T_SCOPE& a = sent.scope;
    const T_SCOPE& b = got.scope;
    return a.ScopeSize == b.ScopeSize && a.Channel_Active[0] == b.Channel_Active[0] &&
           a.Channel_Active[1] == b.Channel_Active[1] && std::memcmp(&a.Rate, &b.Rate, 4) == 0 &&
           std::memcmp(&a.Time, &b.Time, 4) == 0 && std::memcmp(&a.Y_Scale, &b.Y_Scale, 4) == 0 &&
           (sent.samples_dropped || sent.samples == got.samples);
}

// Every capture sent reached the display as sent, one at a time.
void checkFlow(TestContext& t, const ThreadedCaptures& view, const std::string& where) {
    const auto sent = view.sent().captures();
    const auto& got = view.received();
    t.check(!sent.empty(), where + ": no capture sent");
    if (!t.check(got.size() == sent.size(), where + ": " + std::to_string(sent.size()) + " captures sent, " +
                                                std::to_string(got.size()) + " reached the display thread"))
        return;
    for (std::size_t k = 0; k < sent.size(); ++k)
        if (!t.check(sameCapture(*sent[k], got[k]), where + ": capture " + std::to_string(k) +
                                                       " reached the display thread other than it was sent"))
            return;
    t.check(view.overlappingSends() == 0,
            where + ": the audio thread sent \"data\" before the previous one's \"ack\" reached it");
    t.check(view.busyWindowViolations() == 0,
            where + ": a capture's samples changed between sending and its \"ack\" (process on the audio thread, "
                    "or the display)");
}

void checkThreads(TestContext& t, const ThreadedInstance& threaded, const std::string& where) {
    for (const std::string& v : threaded.threadViolations()) t.fail(where + ": " + v);
}

void messages(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    const int rounds = t.count(3, 8);
    int crossed = 0, runs = 0;
    for (; runs < rounds && !t.failed(); ++runs) {
        Scenario s;
        s.block = t.pick(std::vector<int>{64, 333, 1024});
        s.trigger = t.uniform(0, 3);
        s.a = Feed{Wave::Sine, t.rng()(), 50.0 + t.uniform(0, 500)};
        s.connect_b = true;
        s.b = Feed{Wave::Noise, t.seed(), 100.0};
        s.has_time = true;
        s.time = t.pick(std::vector<double>{0.01, 0.05, 0.2});
        // Acks as they come, or held a few blocks as a busy host may.
        const int hold = t.pick(std::vector<int>{0, 0, 1, 23});
        ThreadedOptions o = threadedOptions(s, 160, 100);
        o.instance.messages.ack = hold ? AckPolicy::Hold : AckPolicy::Deliver;
        o.instance.messages.ack_hold_blocks = hold;
        // Mostly a display that keeps up (each block waits until it has
        // taken what was sent), at times an audio thread that runs ahead.
        o.lockstep = t.uniform(0, 2) != 0;
        const std::string where = std::string("threaded, ") + (o.lockstep ? "display keeping up" : "audio running ahead") +
                                  ", acks held " + std::to_string(hold) + " block(s), " + s.text();
        Watchdog dog;
        ThreadedInstance threaded(lib, o);
        ThreadedCaptures view(threaded);
        HandOver hand(threaded, dog);
        applyScenario(threaded.audio(), s);
        threaded.start();
        threaded.run(static_cast<std::uint64_t>(t.uniform(20000, 60000)));
        threaded.stop();
        hand.finish();
        for (const std::string& f : hand.failures()) t.fail(where + ": " + f);
        checkThreads(t, threaded, where);
        checkFlow(t, view, where);
        checkCaptures(t, threaded.audio().messages().records(), view.sent().captures(),
                      scenarioExpectations(threaded.audio(), s), where);
        t.check(threaded.display().repaints() >= hand.delivered(),
                where + ": " + std::to_string(hand.delivered()) + " captures delivered, " +
                    std::to_string(threaded.display().repaints()) + " repaints asked for");
        t.check(hand.delivered() == 0 || threaded.paints() > 0, where + ": the display thread never painted");
        crossed += hand.delivered();
    }
    t.note(std::to_string(crossed) + " captures crossed threads in " + std::to_string(runs) + " runs");
}

// The generic flow: whatever the module sends crosses threads on its own
// object's thread, and paint from a window thread goes with audio running.
void paintWhileRunning(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    std::mutex window_lock;
    Scenario s;
    s.block = t.pick(std::vector<int>{64, 512});
    s.connect_b = true;
    s.b = Feed{Wave::Square, 1, 80.0};
    ThreadedOptions o = threadedOptions(s, 0, 0);
    o.display_lock = &window_lock;
    Watchdog dog;
    ThreadedInstance threaded(lib, o);
    applyScenario(threaded.audio(), s);
    threaded.start();
    std::atomic<bool> running{true};
    std::exception_ptr error;
    std::thread audio([&] {
        try {
            threaded.run(static_cast<std::uint64_t>(t.count(44100, 441000)));
        } catch (...) {
            error = std::current_exception();
        }
        running = false;
    });
    Canvas canvas(200, 120, 0);
    int paints = 0;
    // The window paints as fast as it can while audio runs, at least twice.
    while (running.load() || paints < 2) {
        std::lock_guard<std::mutex> lock(window_lock);
        canvas.fill(0x203040);
        dog.enter(Watchdog::kDisplay, "paint");
        paintChecked(t, threaded.display(), canvas, 200, 120, "painted on the window thread while audio runs");
        dog.leave(Watchdog::kDisplay);
        if (++paints > 3 && t.failures() > 0) break;
    }
    audio.join();
    threaded.stop();
    if (error) std::rethrow_exception(error);
    checkThreads(t, threaded, "audio on its thread while a window thread paints");
    t.note(std::to_string(paints) + " paints while audio ran");
}

}  // namespace

void addThreadTests(std::vector<TestCase>& out) {
    out.push_back({"threads.messages",
                   "audio and display on threads of their own: every capture crosses as sent, acknowledged in time, "
                   "repainted; each object on its own thread, none waiting on the other, none writing the other's "
                   "record",
                   &messages, Profile::Scope});
    out.push_back({"threads.paint",
                   "paint from a window thread while audio runs on its own: drawing objects deleted, the DC as it "
                   "was; messages on their own object's thread",
                   &paintWhileRunning});
}

}  // namespace zohost::validate
