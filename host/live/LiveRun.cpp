// zohost --live: sets up the module as for pictures, then runs the host on a
// runner thread while this thread keeps the window.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live/Live.h"
#include "live/LiveAudio.h"
#include "live/LiveHost.h"
#include "live/LiveKeys.h"
#include "live/LiveWindow.h"
#include "run/CaptureLog.h"
#include "run/OutputFile.h"
#include "run/PinSetup.h"
#include "run/PngWriter.h"
#include "run/Run.h"
#include "run/SoundFile.h"

namespace zohost::live {

using namespace zohost::tool;

namespace {

using Clock = std::chrono::steady_clock;

// Set by a signal's handler: the window's loop ends as on Q.
volatile std::sig_atomic_t g_stop = 0;

// The bar's font, whatever the display's.
const int kBarFontHeight = 12;

// When each block started, for the latency from a capture's last block to
// its picture on screen. Written by the audio thread, read by the window's.
class BlockTimes {
public:
    void stamp(std::uint64_t block) {
        at_[block % kSize].store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    double secondsSince(std::uint64_t block, Clock::time_point now) const {
        const Clock::rep t = at_[block % kSize].load(std::memory_order_relaxed);
        return std::chrono::duration<double>(now.time_since_epoch() - Clock::duration(t)).count();
    }

private:
    static const std::size_t kSize = 4096;
    std::array<std::atomic<Clock::rep>, kSize> at_{};
};

struct Latency {
    double sum = 0.0, max = 0.0;
    std::size_t count = 0;
    void add(double s) {
        sum += s;
        max = std::max(max, s);
        ++count;
    }
    double mean() const { return count ? sum / static_cast<double>(count) : 0.0; }
};

// A whole channel of a file in memory, so that looping needs no file access
// on the audio thread.
Signal fileInMemory(SoundFile& f, int channel, bool loop) {
    std::vector<float> data(static_cast<std::size_t>(std::max<std::int64_t>(f.frames(), 0)));
    if (!data.empty()) f.read(channel - 1, data.data(), static_cast<int>(data.size()));
    return Signal::samples(std::move(data), loop);
}

ListSetting listSetting(const PinTable& table, const std::string& pin) {
    ListSetting s;
    s.pin = pin;
    s.position = table.find(pin);
    if (s.position < 0) return s;
    for (const PinChoice& c : table.descriptionAt(s.position)->choices()) {
        s.labels.push_back(c.label);
        s.values.push_back(c.value);
    }
    const std::string& def = table.descriptionAt(s.position)->default_value;
    s.select(static_cast<int>(std::strtol(def.c_str(), nullptr, 10)));
    return s;
}

// Into a capture kept by the caller, whose storage is reused.
void copyCapture(const LiveCapture& c, Capture& to) {
    to.slot = MessageRouter::npos;
    to.ptr = nullptr;
    to.clock = c.clock;
    to.block = c.block;
    to.scope = *c.scope;
    to.samples.assign(c.samples->begin(), c.samples->end());
    to.samples_dropped = false;
}

// Control inputs that the keys move: what the pin carries plus the volts
// the keys added, read by the audio thread from an atomic.
struct Level {
    std::atomic<float> offset{0.0f};
    double start_volts = 0.0;
};

// One live run: the host on a runner thread, the window on this one.
class LiveSession {
public:
    LiveSession(Run& run, std::ostream& out, std::ostream& err) : run_(run), o_(run.options()), out_(out), err_(err) {}
    int run();

private:
    bool checkInputs();
    void checkOutputs();
    int beginOutputs();
    int setUp();
    void setUpSettings();
    void feedPins();
    void wirePins();
    void wireLevel(int p, int level);
    int openWindow();
    void setHooks();
    void startRunner();
    void loop();
    void onEvent(const LiveEvent& e);
    void onKey(LiveAction a);
    void tick();
    int finish();
    void printSummary();
    void printStats();
    void saveOnKey();
    int writeSnapshot();
    void pushLists();
    void settingsChanged();
    std::string title() const;
    std::vector<std::string> status() const;
    void present();
    void repaintAtSize();

    Run& run_;
    ToolOptions& o_;
    std::ostream& out_;
    std::ostream& err_;
    int input_channel_ = 0;
    std::unique_ptr<LiveHost> host_;
    std::unique_ptr<LiveWindow> window_;
    std::unique_ptr<LiveAudio> sound_;
    bool playing_ = false;
    LiveSettings settings_;
    ListSetting* lists_[3] = {&settings_.trigger, &settings_.xy_mode, &settings_.time_mode};
    LevelSetting* levels_[2] = {&settings_.time, &settings_.y_scale};
    std::array<Level, 2> level_state_;
    std::vector<Signal> pin_signals_;
    std::vector<bool> has_signal_;
    OutputFile log_out_, snapshot_out_;
    CaptureLog log_;
    Capture logged_{};
    BlockTimes block_times_;
    std::atomic<std::size_t> captures_seen_{0};
    bool probed_ = false;
    std::thread runner_;
    std::exception_ptr run_error_;
    std::atomic<bool> finished_{false};
    bool help_ = false, quit_ = false, hold_seen_ = false, stopped_ = false;
    std::string message_;
    Latency latency_;
    std::uint64_t shown_block_ = 0;
    std::size_t frames_ = 0, fps_frames_ = 0;
    double fps_ = 0.0, present_seconds_ = 0.0;
    Clock::time_point fps_since_ = Clock::now();
    std::string clock_;
};

// Files in memory first: the first one's rate is the run's unless given.
bool LiveSession::checkInputs() {
    for (const PinAssignment& p : o_.pins) {
        if (p.source.kind != SourceKind::Input) continue;
        // Its samples are taken once, by one pin.
        if (input_channel_) throw UsageError("--pin \"" + p.pin + "\": input: feeds one pin only");
        input_channel_ = p.source.channel;
    }
    run_.openFiles(err_);
    pin_signals_.resize(o_.pins.size());
    for (std::size_t i = 0; i < o_.pins.size(); ++i)
        if (run_.file(i)) pin_signals_[i] = fileInMemory(*run_.file(i), o_.pins[i].source.channel, o_.loop);
    return true;
}

// As the renderer does: no output is an input or another output.
void LiveSession::checkOutputs() {
    const std::pair<const char*, const std::string*> outs[] = {{"--snapshot", &o_.snapshot},
                                                               {"--captures", &o_.captures}};
    for (const auto& [option, path] : outs) {
        if (path->empty()) continue;
        if (sameFile(*path, run_.module())) throw UsageError(std::string(option) + " " + *path + " is the module");
        for (const PinAssignment& p : o_.pins)
            if (p.source.kind == SourceKind::File && sameFile(*path, p.source.path))
                throw UsageError(std::string(option) + " " + *path + " is --pin \"" + p.pin +
                                 "\"'s input; it would be destroyed");
    }
    if (!o_.snapshot.empty() && sameFile(o_.snapshot, o_.captures))
        throw UsageError("--snapshot and --captures are the same file, " + o_.snapshot);
}

// Each output is made ready (its temporary file) before the run, so that
// one that cannot be written is known before anything is shown.
int LiveSession::beginOutputs() {
    std::string error;
    if (!o_.snapshot.empty() && !snapshot_out_.begin(o_.snapshot, error)) {
        err_ << "zohost: --snapshot: " << error << "\n";
        return kFailed;
    }
    if (!o_.captures.empty() && !log_out_.begin(o_.captures, error)) {
        err_ << "zohost: --captures: " << error << "\n";
        return kFailed;
    }
    log_.attach(o_.captures.empty() ? nullptr : log_out_.stream());
    return kOk;
}

int LiveSession::setUp() {
    // The display first: without one nothing else is worth doing. The
    // window's platform also comes before the pins: the capture device must
    // be open to feed one, and sound ends before the platform does.
    std::string error;
    window_ = std::make_unique<LiveWindow>();
    if (!window_->ready(error)) {
        err_ << "zohost: --live: " << error << "\n";
        return kNoDisplay;
    }
    checkOutputs();
    if (const int rc = beginOutputs(); rc != kOk) return rc;
    if (!checkInputs()) return kNoModule;
    const std::uint32_t canvas_rgb = o_.background >= 0 ? static_cast<std::uint32_t>(o_.background) : 0;
    try {
        host_ = std::make_unique<LiveHost>(run_.library(), run_.instanceOptions(), canvas_rgb);
    } catch (const std::exception& e) {
        err_ << "zohost: " << run_.module() << ": " << e.what() << "\n";
        return kNoModule;
    }
    sound_ = std::make_unique<LiveAudio>(o_.rate, o_.block);
    if (input_channel_ && !sound_->openInput(input_channel_, error)) {
        err_ << "zohost: --live: " << error << "\n";
        return kFailed;
    }
    std::string note;
    playing_ = !o_.mute && sound_->openOutput(note);
    if (!o_.mute && !playing_ && !o_.quiet) err_ << "zohost: note: " << note << "; a timer keeps time\n";
    setUpSettings();
    feedPins();
    return kOk;
}

void LiveSession::setUpSettings() {
    const PinTable& table = host_->audio().pinTable();
    const ModuleProfile& p = run_.profile();
    for (int i = 0; i < 3; ++i) *lists_[i] = listSetting(table, p.live_lists[i]);
    for (int i = 0; i < 2; ++i) levels_[i]->pin = p.live_levels[i];
    settings_.y_scale.low = 0.5;
}

void LiveSession::feedPins() {
    Instance& audio = host_->audio();
    const PinTable& table = audio.pinTable();
    audio.applyDefaults();
    std::vector<Signal> by_pin(static_cast<std::size_t>(table.count()));
    has_signal_.assign(static_cast<std::size_t>(table.count()), false);
    run_.feedPins(table, [&](std::size_t i, int pos) {
        const InputSource& source = o_.pins[i].source;
        Signal s;
        switch (source.kind) {
        case SourceKind::Off: return;
        case SourceKind::File: s = std::move(pin_signals_[i]); break;
        case SourceKind::Input: s = sound_->input(); break;
        default: s = makeSignal(source, o_.rate, o_.seed + static_cast<std::uint64_t>(pos)); break;
        }
        by_pin[static_cast<std::size_t>(pos)] = std::move(s);
        has_signal_[static_cast<std::size_t>(pos)] = true;
    });
    pin_signals_ = std::move(by_pin);
    for (int l = 0; l < 2; ++l) {
        LevelSetting& ls = *levels_[l];
        ls.position = table.find(ls.pin);
        if (ls.position < 0) continue;
        const PinAssignment* given_pin = nullptr;
        for (const PinAssignment& p : o_.pins)
            if (findSampleInput(table, p.pin) == ls.position) given_pin = &p;
        ls.volts = given_pin ? (given_pin->source.kind == SourceKind::Dc ? given_pin->source.amplitude * 10.0 : 0.0)
                             : std::strtod(table.descriptionAt(ls.position)->default_value.c_str(), nullptr);
        level_state_[static_cast<std::size_t>(l)].start_volts = ls.volts;
    }
    wirePins();
    run_.applySets(table, [&](const ListChoice& c) {
        audio.setValue(c.position, c.value);
        for (ListSetting* l : lists_)
            if (l->position == c.position) l->select(c.value);
    });
    pushLists();
}

void LiveSession::wirePins() {
    Instance& audio = host_->audio();
    const PinTable& table = audio.pinTable();
    for (int p = 0; p < table.count(); ++p) {
        const std::size_t pos = static_cast<std::size_t>(p);
        const std::string& name = table.descriptionAt(p) ? table.descriptionAt(p)->name : std::string();
        const std::string* played = run_.profile().played;
        const int side = name.empty() ? -1 : name == played[0] ? 0 : name == played[1] ? 1 : -1;
        int level = -1;
        for (int l = 0; l < 2; ++l)
            if (levels_[l]->position == p) level = l;
        if (level >= 0)
            wireLevel(p, level);
        else if (has_signal_[pos] && playing_ && side >= 0)
            audio.setSignal(p, sound_->played(std::move(pin_signals_[pos]), side, 0.0f));
        else if (has_signal_[pos])
            audio.setSignal(p, std::move(pin_signals_[pos]));
    }
}

// Always through the offset, so a key can move it without a new signal
// being made on the audio thread.
void LiveSession::wireLevel(int p, int level) {
    const std::size_t pos = static_cast<std::size_t>(p);
    const float idle = static_cast<float>(levels_[level]->volts / 10.0);
    auto inner = std::make_shared<Signal>(has_signal_[pos] ? std::move(pin_signals_[pos]) : Signal());
    Level* state = &level_state_[static_cast<std::size_t>(level)];
    host_->audio().setSignal(p, Signal::generator([inner, state, idle](std::uint64_t c, float* out, int n) {
        AudioProbe probe;
        inner->fill(c, out, n, idle);
        const float add = state->offset.load(std::memory_order_relaxed);
        for (int k = 0; k < n; ++k) out[k] += add;
    }));
}

void LiveSession::pushLists() {
    for (int i = 0; i < 3; ++i)
        if (lists_[i]->position >= 0) host_->setValue(i, lists_[i]->position, lists_[i]->value());
}

std::string LiveSession::title() const { return liveTitle(run_.description().name, settings_); }

int LiveSession::openWindow() {
    LiveLook look;
    look.font_height = kBarFontHeight;
    look.help = keyHelp(settings_);
    look.text_colorref = run_.instanceOptions().text_colour;
    look.background_rgb = o_.background >= 0 ? static_cast<std::uint32_t>(o_.background) : 0;
    std::string error;
    if (!window_->open(title(), o_.width, o_.height, look, error)) {
        err_ << "zohost: --live: " << error << "\n";
        return kFailed;
    }
    host_->setPaintSize(window_->displayWidth(), window_->displayHeight());
    return kOk;
}

void LiveSession::setHooks() {
    const std::uint64_t hold_samples =
        o_.hold_at >= 0.0 ? static_cast<std::uint64_t>(std::llround(o_.hold_at * o_.rate)) : 0;
    const std::uint64_t block = static_cast<std::uint64_t>(std::max(1, o_.block));
    LiveHost* h = host_.get();
    LiveAudio* sound = sound_.get();
    BlockTimes* times = &block_times_;
    LiveHost::Hooks hooks;
    // --hold-at holds once; Space may let it go.
    hooks.pace = [sound, times, h, pending = o_.hold_at >= 0.0, hold_samples, block](std::uint64_t done) mutable {
        sound->pace(done);
        times->stamp(done + 1);
        if (pending && done * block >= hold_samples) {
            pending = false;
            h->holdNow();
        }
    };
    const bool logging = !o_.captures.empty();
    hooks.capture = [this, logging](const LiveCapture& c) {
        const std::size_t n = captures_seen_.fetch_add(1) + 1;
        if (!logging) return;
        copyCapture(c, logged_);
        log_.write(logged_, n);
        // A line at a time: a reader of a pipe sees each capture as it comes.
        std::fflush(log_out_.stream());
    };
    LiveWindow* window = window_.get();
    hooks.picture = [window](const LivePicture& p) { window->takePicture(p.pixels, p.width, p.height, p.block); };
    host_->setHooks(std::move(hooks));
    probed_ = o_.stats && AudioProbe::available();
    AudioProbe::enable(probed_);
    if (LiveWindow::paintsDisplay()) {
        host_->paintInWindow();
        window_->setPainter([h](HDC dc, int w, int hh) { return h->paintInto(dc, w, hh); });
    } else {
        host_->repaint();  // the window's first picture, before any capture
    }
}

void LiveSession::startRunner() {
    std::uint64_t total = std::numeric_limits<std::uint64_t>::max() / 2;
    if (o_.seconds_given)
        total = static_cast<std::uint64_t>(std::llround(o_.seconds * o_.rate));
    else if (!o_.loop && run_.longestFile() >= 0)
        total = static_cast<std::uint64_t>(run_.longestFile());  // files played once end the run
    sound_->start();
    runner_ = std::thread([this, total] {
        try {
            host_->run(total);
        } catch (...) {
            run_error_ = std::current_exception();
        }
        finished_.store(true);
        window_->wake();
    });
}

std::vector<std::string> LiveSession::status() const {
    if (!o_.stats) return liveStatusFields(settings_, nullptr, message_);
    const LiveAudioStats st = sound_->stats();
    const LiveFigures figures{fps_, latency_.mean(), st.late, st.dropped};
    return liveStatusFields(settings_, &figures, message_);
}

void LiveSession::present() {
    const auto t0 = Clock::now();
    const std::uint64_t b = window_->present(status(), help_);
    present_seconds_ += std::chrono::duration<double>(Clock::now() - t0).count();
    ++frames_;
    ++fps_frames_;
    if (b && b != shown_block_) {
        shown_block_ = b;
        latency_.add(block_times_.secondsSince(b, Clock::now()));
    }
}

// A repaint at the window's size: the display thread must be idle, so the
// captures are kept from it meanwhile.
void LiveSession::repaintAtSize() {
    if (LiveWindow::paintsDisplay()) return;
    host_->setPaintSize(window_->displayWidth(), window_->displayHeight());
    host_->pause();
    host_->repaint();
    host_->resume();
}

void LiveSession::settingsChanged() {
    pushLists();
    for (std::size_t l = 0; l < 2; ++l)
        level_state_[l].offset.store(static_cast<float>((levels_[l]->volts - level_state_[l].start_volts) / 10.0));
    window_->setTitle(title());
}

void LiveSession::onKey(LiveAction a) {
    switch (applyKey(a, settings_, help_)) {
    case KeyEffect::Settings: settingsChanged(); break;
    case KeyEffect::Quit: quit_ = true; break;
    case KeyEffect::Hold:
        host_->hold(settings_.held);
        window_->setTitle(title());
        break;
    case KeyEffect::Save: saveOnKey(); break;
    case KeyEffect::Help:
    case KeyEffect::None: break;
    }
    present();
}

// S: the bar may have no room for a failure's reason, so it goes to
// standard error as well.
void LiveSession::saveOnKey() {
    std::vector<std::uint32_t> px;
    int w = 0, h = 0;
    std::string written, error = "no picture yet";
    if (window_->picture(px, w, h) && savePicture(kSavePattern, true, px.data(), w, h, written, error)) {
        message_ = "saved " + written;
        return;
    }
    message_ = "not saved: " + error;
    err_ << "zohost: S: picture " << message_ << std::endl;
}

void LiveSession::onEvent(const LiveEvent& e) {
    switch (e.kind) {
    case LiveEvent::Kind::Quit: quit_ = true; break;
    case LiveEvent::Kind::Resized:
        repaintAtSize();
        present();
        break;
    case LiveEvent::Kind::Exposed:
    case LiveEvent::Kind::Picture: present(); break;
    case LiveEvent::Kind::Key: onKey(e.action); break;
    }
}

// Between events: a hold from --hold-at is taken up, the rate of frames counted.
void LiveSession::tick() {
    if (o_.hold_at >= 0.0 && !hold_seen_ && host_->held()) {
        hold_seen_ = true;
        settings_.held = true;
        window_->setTitle(title());
        present();
    }
    const auto now = Clock::now();
    const double since = std::chrono::duration<double>(now - fps_since_).count();
    if (since < 1.0) return;
    fps_ = static_cast<double>(fps_frames_) / since;
    fps_frames_ = 0;
    fps_since_ = now;
    if (o_.stats) present();
}

void LiveSession::loop() {
    present();
    while (!quit_) {
        LiveEvent e;
        if (window_->next(e, 100)) onEvent(e);
        tick();
        if (finished_.load()) break;
        if (g_stop) {
            stopped_ = true;
            break;
        }
    }
    host_->requestStop();
    runner_.join();
}

int LiveSession::finish() {
    if (run_error_) {
        try {
            std::rethrow_exception(run_error_);
        } catch (const std::exception& ex) {
            err_ << "zohost: " << ex.what() << "\n";
            return kFailed;
        }
    }
    present();
    int rc = writeSnapshot();
    std::string error;
    if (!log_.good()) {
        err_ << "zohost: cannot write " << o_.captures << "\n";
        rc = kFailed;
        log_out_.abandon();
    } else if (!log_out_.commit(error)) {
        err_ << "zohost: " << error << "\n";
        rc = kFailed;
    }
    return rc;
}

int LiveSession::writeSnapshot() {
    if (!snapshot_out_.active()) return kOk;
    std::vector<std::uint32_t> px;
    int w = 0, h = 0;
    std::string error = "cannot read the window back";
    PngWriter png;
    if (!window_->readBack(px, w, h) || !png.write(snapshot_out_.workPath(), px.data(), w, h, error) ||
        !snapshot_out_.commit(error)) {
        err_ << "zohost: --snapshot: " << error << "\n";
        snapshot_out_.abandon();
        return kFailed;
    }
    return kOk;
}

void LiveSession::printStats() {
    const LiveAudioStats st = sound_->stats();
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "frames %zu; latency from a capture's last block to the screen: mean %.1f ms, max %.1f ms "
                  "over %zu pictures; late blocks %llu, dropped blocks %llu\n",
                  frames_, latency_.mean() * 1000.0, latency_.max * 1000.0, latency_.count,
                  static_cast<unsigned long long>(st.late), static_cast<unsigned long long>(st.dropped));
    out_ << buf;
    const double run_seconds = static_cast<double>(host_->samplesRun()) / o_.rate;
    const auto paints = host_->paints();
    std::snprintf(buf, sizeof buf,
                  "frames per second: %.1f shown; paint %.2f ms each over %llu paints, window update %.2f ms "
                  "each\n",
                  run_seconds > 0 ? static_cast<double>(frames_) / run_seconds : 0.0,
                  paints ? host_->paintSeconds() * 1000.0 / static_cast<double>(paints) : 0.0,
                  static_cast<unsigned long long>(paints),
                  frames_ ? present_seconds_ * 1000.0 / static_cast<double>(frames_) : 0.0);
    out_ << buf;
    if (probed_)
        out_ << "live layer on the audio thread: " << host_->audioAllocations() << " allocations, "
             << host_->audioLocks() << " locks\n";
    else
        out_ << "live layer on the audio thread: not counted here\n";
}

void LiveSession::printSummary() {
    run_.printInputs(out_);
    char buf[256];
    std::snprintf(buf, sizeof buf, "\nran %.3f s live at %g Hz in blocks of %d, clock %s: %zu captures sent, %zu shown\n",
                  static_cast<double>(host_->samplesRun()) / o_.rate, o_.rate, o_.block, clock_.c_str(),
                  host_->capturesSent(), captures_seen_.load());
    out_ << buf;
    if (!o_.seconds_given && !o_.loop && run_.longestFile() >= 0 && !stopped_ && !quit_)
        out_ << "end of the input files (--loop plays them again)\n";
    if (o_.stats) printStats();
}

int LiveSession::run() {
    int rc = setUp();
    if (rc == kOk) rc = openWindow();
    if (rc != kOk) return rc;
    setHooks();
    startRunner();
    loop();
    rc = finish();
    if (rc != kOk && run_error_) return rc;
    clock_ = sound_->clockName();
    sound_->close();
    if (stopped_) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "zohost: interrupted after %.3f s of audio",
                      static_cast<double>(host_->samplesRun()) / o_.rate);
        err_ << buf << "; the outputs hold what was done\n";
        return rc == kOk ? kInterrupted : rc;
    }
    if (o_.quiet) return rc;
    printSummary();
    if (!o_.captures.empty())
        out_ << "captures written to " << (o_.captures == "-" ? "standard output" : o_.captures) << "\n";
    if (!o_.snapshot.empty() && rc == kOk)
        out_ << "snapshot written to " << (o_.snapshot == "-" ? "standard output" : o_.snapshot) << "\n";
    return rc;
}

}  // namespace

void stopLive() { g_stop = 1; }

int runLive(const ToolOptions& given, std::ostream& out, std::ostream& err) {
    Run run(given);
    if (!run.start(err)) return kNoModule;
    LiveSession session(run, out, err);
    return session.run();
}

}  // namespace zohost::live
