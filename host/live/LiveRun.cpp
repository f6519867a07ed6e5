// zohost --live: sets up the module as for pictures, then runs the host on a
// runner thread while this thread keeps the window.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
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
#include "tool/CaptureLog.h"
#include "tool/OutputFile.h"
#include "tool/PinSetup.h"
#include "tool/Render.h"
#include "tool/SoundFile.h"
#include "tool/Tool.h"
#include "zohost/Describe.h"

namespace zohost::live {

using namespace zohost::tool;

namespace {

using Clock = std::chrono::steady_clock;

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

std::uint32_t rgbOf(std::uint32_t colorref) {
    return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// A whole channel of a file in memory, so that looping needs no file access
// on the audio thread.
Signal fileInMemory(const std::string& path, int channel, bool loop, int& rate) {
    SoundFile f(path);
    if (!f.ok()) throw UsageError("cannot read " + path + ": " + f.error());
    if (channel > f.channels())
        throw UsageError(path + " has " + std::to_string(f.channels()) + " channel" +
                         (f.channels() == 1 ? "" : "s") + ", not " + std::to_string(channel));
    std::vector<float> data(static_cast<std::size_t>(std::max<std::int64_t>(f.frames(), 0)));
    if (!data.empty()) f.read(channel - 1, data.data(), static_cast<int>(data.size()));
    rate = f.rate();
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

}  // namespace

int runLive(const ToolOptions& given, std::ostream& out, std::ostream& err) {
    ToolOptions o = given;
    const bool demo = o.pins.empty() && o.input.empty();
    if (!o.input.empty()) {
        SoundFile probe(o.input);
        if (!probe.ok()) throw UsageError("cannot read " + o.input + ": " + probe.error());
        o.pins.insert(o.pins.begin(), PinAssignment{"Signal A", parseSource("file:" + o.input + ":1")});
        if (probe.channels() >= 2)
            o.pins.insert(o.pins.begin() + 1, PinAssignment{"Signal B", parseSource("file:" + o.input + ":2")});
    }
    if (demo) {
        o.pins.push_back(PinAssignment{"Signal A", parseSource("sine:440")});
        o.pins.push_back(PinAssignment{"Signal B", parseSource("triangle:660")});
        bool trigger = false;
        for (const ChoiceAssignment& c : o.sets) trigger = trigger || c.pin == "Trigger";
        if (!trigger) o.sets.push_back(ChoiceAssignment{"Trigger", "InputA"});
    }
    // Files in memory first: the first one's rate is the run's unless given.
    std::vector<Signal> file_signals(o.pins.size());
    int input_channel = 0;
    for (std::size_t i = 0; i < o.pins.size(); ++i) {
        const InputSource& s = o.pins[i].source;
        if (s.kind == SourceKind::File) {
            int rate = 0;
            file_signals[i] = fileInMemory(s.path, s.channel, o.loop, rate);
            if (!o.rate_given) {
                o.rate = rate;
                o.rate_given = true;
            }
        }
        if (s.kind == SourceKind::Input) {
            // Its samples are taken once, by one pin.
            if (input_channel) throw UsageError("--pin \"" + o.pins[i].pin + "\": input: feeds one pin only");
            input_channel = s.channel;
        }
    }

    ModuleLibrary library;
    const std::string module = modulePath(o);
    if (!library.load(module)) {
        err << "zohost: " << library.error() << "\n";
        return kNoModule;
    }
    ModuleDescription description;
    std::string error;
    if (!describeModule(library, description, error)) {
        err << "zohost: " << error << "\n";
        return kNoModule;
    }
    // The pictures' font height, from the window's first size; a window's
    // font does not follow its size.
    const int font_height = o.font_height > 0 ? o.font_height : autoFontHeight(o.height);
    const std::uint32_t canvas_rgb = o.background >= 0 ? rgbOf(static_cast<std::uint32_t>(o.background)) : 0;
    std::unique_ptr<LiveHost> host;
    try {
        host = std::make_unique<LiveHost>(
            library,
            renderInstanceOptions(static_cast<float>(o.rate), o.block, o.text_colour, o.background, font_height),
            canvas_rgb);
    } catch (const std::exception& e) {
        err << "zohost: " << module << ": " << e.what() << "\n";
        return kNoModule;
    }
    Instance& audio = host->audio();
    const PinTable& table = audio.pinTable();

    // The window's platform before the pins: the capture device must be open
    // to feed one, and sound ends before the platform does.
    LiveWindow window;
    if (!window.ready(error)) {
        err << "zohost: --live: " << error << "\n";
        return kFailed;
    }
    LiveAudio sound(o.rate, o.block);
    if (input_channel && !sound.openInput(input_channel, error)) {
        err << "zohost: --live: " << error << "\n";
        return kFailed;
    }
    std::string note;
    const bool playing = !o.mute && sound.openOutput(note);
    if (!o.mute && !playing && !o.quiet) err << "zohost: note: " << note << "; a timer keeps time\n";

    LiveSettings settings;
    settings.trigger = listSetting(table, "Trigger");
    settings.xy_mode = listSetting(table, "X-Y-Mode");
    settings.time_mode = listSetting(table, "Time-Mode");
    ListSetting* lists[] = {&settings.trigger, &settings.xy_mode, &settings.time_mode};
    LevelSetting* levels[] = {&settings.time, &settings.y_scale};
    settings.time.pin = "Time";
    settings.y_scale.pin = "Y-Scale";
    settings.y_scale.low = 0.5;

    audio.applyDefaults();
    // Control inputs that the keys move: what the pin carries plus the
    // volts the keys added, read by the audio thread from an atomic.
    struct Level {
        std::atomic<float> offset{0.0f};
        double start_volts = 0.0;
    };
    std::array<Level, 2> level_state;
    std::vector<int> fed;
    std::vector<std::string> told;
    std::vector<Signal> pin_signals(static_cast<std::size_t>(table.count()));
    std::vector<bool> has_signal(static_cast<std::size_t>(table.count()), false);
    for (std::size_t i = 0; i < o.pins.size(); ++i) {
        const PinAssignment& p = o.pins[i];
        const int pos = findSampleInput(table, p.pin);
        const std::string name = table.descriptionAt(pos)->name;
        if (std::find(fed.begin(), fed.end(), pos) != fed.end())
            throw UsageError("--pin \"" + name + "\" is given twice");
        fed.push_back(pos);
        told.push_back("\"" + name + "\" " + describeSource(p.source));
        Signal s;
        switch (p.source.kind) {
        case SourceKind::Off: continue;
        case SourceKind::File: s = std::move(file_signals[i]); break;
        case SourceKind::Input: s = sound.input(); break;
        default: s = makeSignal(p.source, o.rate, o.seed + static_cast<std::uint64_t>(pos)); break;
        }
        pin_signals[static_cast<std::size_t>(pos)] = std::move(s);
        has_signal[static_cast<std::size_t>(pos)] = true;
    }
    for (int l = 0; l < 2; ++l) {
        LevelSetting& ls = *levels[l];
        ls.position = table.find(ls.pin);
        if (ls.position < 0) continue;
        const std::size_t pos = static_cast<std::size_t>(ls.position);
        const PinAssignment* given_pin = nullptr;
        for (const PinAssignment& p : o.pins)
            if (findSampleInput(table, p.pin) == ls.position) given_pin = &p;
        ls.volts = given_pin ? (given_pin->source.kind == SourceKind::Dc ? given_pin->source.amplitude * 10.0 : 0.0)
                             : std::strtod(table.descriptionAt(ls.position)->default_value.c_str(), nullptr);
        level_state[static_cast<std::size_t>(l)].start_volts = ls.volts;
        (void)pos;
    }
    for (int p = 0; p < table.count(); ++p) {
        const std::size_t pos = static_cast<std::size_t>(p);
        const std::string& name = table.descriptionAt(p) ? table.descriptionAt(p)->name : std::string();
        const int side = name == "Signal A" ? 0 : name == "Signal B" ? 1 : -1;
        int level = -1;
        for (int l = 0; l < 2; ++l)
            if (levels[l]->position == p) level = l;
        if (level >= 0) {
            // Always through the offset, so a key can move it without a new
            // signal being made on the audio thread.
            const float idle = static_cast<float>(levels[level]->volts / 10.0);
            auto inner = std::make_shared<Signal>(has_signal[pos] ? std::move(pin_signals[pos]) : Signal());
            Level* state = &level_state[static_cast<std::size_t>(level)];
            audio.setSignal(p, Signal::generator([inner, state, idle](std::uint64_t c, float* out, int n) {
                AudioProbe probe;
                inner->fill(c, out, n, idle);
                const float add = state->offset.load(std::memory_order_relaxed);
                for (int k = 0; k < n; ++k) out[k] += add;
            }));
            continue;
        }
        if (!has_signal[pos]) continue;
        if (playing && side >= 0)
            audio.setSignal(p, sound.played(std::move(pin_signals[pos]), side, 0.0f));
        else
            audio.setSignal(p, std::move(pin_signals[pos]));
    }
    for (const ChoiceAssignment& c : o.sets) {
        const ListChoice choice = findListChoice(table, c.pin, c.choice);
        audio.setValue(choice.position, choice.value);
        for (ListSetting* l : lists)
            if (l->position == choice.position) l->select(choice.value);
        told.push_back(choice.pin + "=" + choice.label);
    }
    auto pushLists = [&] {
        for (int i = 0; i < 3; ++i)
            if (lists[i]->position >= 0) host->setValue(i, lists[i]->position, lists[i]->value());
    };
    pushLists();

    auto title = [&] {
        return description.name + " - " + settings.text() + (settings.held ? "  [held]" : "");
    };
    LiveLook look;
    look.font_height = font_height;
    look.text_colorref = o.text_colour;
    look.background_rgb = canvas_rgb;
    if (!window.open(title(), o.width, o.height, look, error)) {
        err << "zohost: --live: " << error << "\n";
        return kFailed;
    }
    host->setPaintSize(window.displayWidth(), window.displayHeight());

    OutputFile log_out;
    if (!o.captures.empty() && !log_out.begin(o.captures, error)) {
        err << "zohost: " << error << "\n";
        return kFailed;
    }
    CaptureLog log;
    log.attach(o.captures.empty() ? nullptr : log_out.stream());
    Capture logged{};
    BlockTimes block_times;
    std::atomic<std::size_t> captures_seen{0};
    const std::uint64_t hold_samples =
        o.hold_at >= 0.0 ? static_cast<std::uint64_t>(std::llround(o.hold_at * o.rate)) : 0;
    const bool hold_at = o.hold_at >= 0.0;
    const std::uint64_t block = static_cast<std::uint64_t>(std::max(1, o.block));
    LiveHost* h = host.get();
    LiveHost::Hooks hooks;
    // --hold-at holds once; Space may let it go.
    hooks.pace = [&sound, &block_times, h, pending = hold_at, hold_samples, block](std::uint64_t done) mutable {
        sound.pace(done);
        block_times.stamp(done + 1);
        if (pending && done * block >= hold_samples) {
            pending = false;
            h->holdNow();
        }
    };
    const bool logging = !o.captures.empty();
    hooks.capture = [&log, &logged, &captures_seen, logging](const LiveCapture& c) {
        const std::size_t n = captures_seen.fetch_add(1) + 1;
        if (!logging) return;
        copyCapture(c, logged);
        log.write(logged, n);
    };
    hooks.picture = [&window](const LivePicture& p) { window.takePicture(p.pixels, p.width, p.height, p.block); };
    host->setHooks(std::move(hooks));
    const bool probed = o.stats && AudioProbe::available();
    AudioProbe::enable(probed);
    if (LiveWindow::paintsDisplay()) {
        host->paintInWindow();
        window.setPainter([h](HDC dc, int w, int hh) { return h->paintInto(dc, w, hh); });
    } else {
        host->repaint();  // the window's first picture, before any capture
    }

    const std::uint64_t total = o.seconds_given ? static_cast<std::uint64_t>(std::llround(o.seconds * o.rate))
                                                : std::numeric_limits<std::uint64_t>::max() / 2;
    std::exception_ptr run_error;
    std::atomic<bool> finished{false};
    sound.start();
    std::thread runner([&] {
        try {
            h->run(total);
        } catch (...) {
            run_error = std::current_exception();
        }
        finished.store(true);
        window.wake();
    });

    bool help = false;
    bool quit = false;
    bool hold_seen = false;
    std::string message;
    Latency latency;
    std::uint64_t shown_block = 0;
    std::size_t frames = 0;
    double fps = 0.0;
    std::size_t fps_frames = 0;
    auto fps_since = Clock::now();
    auto status = [&] {
        std::string s = settings.text();
        if (settings.held) s += "  HOLD";
        if (o.stats) {
            const LiveAudioStats st = sound.stats();
            char buf[160];
            std::snprintf(buf, sizeof buf, "  | %.0f fps %.0f ms late %llu dropped %llu", fps,
                          latency.mean() * 1000.0, static_cast<unsigned long long>(st.late),
                          static_cast<unsigned long long>(st.dropped));
            s += buf;
        }
        if (!message.empty()) s += "  |  " + message;
        return s;
    };
    double present_seconds = 0.0;
    auto present = [&] {
        const auto t0 = Clock::now();
        const std::uint64_t b = window.present(status(), help);
        present_seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        ++frames;
        ++fps_frames;
        if (b && b != shown_block) {
            shown_block = b;
            latency.add(block_times.secondsSince(b, Clock::now()));
        }
    };
    // A repaint at the window's size: the display thread must be idle, so the
    // captures are kept from it meanwhile.
    auto repaintAtSize = [&] {
        if (LiveWindow::paintsDisplay()) return;
        host->setPaintSize(window.displayWidth(), window.displayHeight());
        host->pause();
        host->repaint();
        host->resume();
    };
    auto settingsChanged = [&] {
        pushLists();
        for (int l = 0; l < 2; ++l)
            level_state[static_cast<std::size_t>(l)].offset.store(static_cast<float>(
                (levels[l]->volts - level_state[static_cast<std::size_t>(l)].start_volts) / 10.0));
        window.setTitle(title());
    };
    present();
    while (!quit) {
        LiveEvent e;
        if (window.next(e, 100)) {
            switch (e.kind) {
            case LiveEvent::Kind::Quit: quit = true; break;
            case LiveEvent::Kind::Resized:
                repaintAtSize();
                present();
                break;
            case LiveEvent::Kind::Exposed:
            case LiveEvent::Kind::Picture: present(); break;
            case LiveEvent::Kind::Key: {
                const LiveAction a = e.action;
                if (settings.apply(a)) settingsChanged();
                switch (a) {
                case LiveAction::Quit: quit = true; break;
                case LiveAction::Help: help = !help; break;
                case LiveAction::Hold:
                    settings.held = !settings.held;
                    host->hold(settings.held);
                    window.setTitle(title());
                    break;
                case LiveAction::Save: {
                    std::vector<std::uint32_t> px;
                    int w = 0, hh = 0;
                    std::string written;
                    if (window.picture(px, w, hh) &&
                        savePicture("zohost-live-%03d.png", true, px.data(), w, hh, written, error))
                        message = "saved " + written;
                    else
                        message = "not saved: " + error;
                    break;
                }
                default: break;
                }
                present();
                break;
            }
            }
        }
        // A hold from --hold-at is taken up here.
        if (hold_at && !hold_seen && host->held()) {
            hold_seen = true;
            settings.held = true;
            window.setTitle(title());
            present();
        }
        const auto now = Clock::now();
        const double since = std::chrono::duration<double>(now - fps_since).count();
        if (since >= 1.0) {
            fps = static_cast<double>(fps_frames) / since;
            fps_frames = 0;
            fps_since = now;
            if (o.stats) present();
        }
        if (finished.load()) break;
    }
    host->requestStop();
    runner.join();
    if (run_error) {
        try {
            std::rethrow_exception(run_error);
        } catch (const std::exception& ex) {
            err << "zohost: " << ex.what() << "\n";
            return kFailed;
        }
    }
    present();
    int rc = kOk;
    if (!o.snapshot.empty()) {
        std::vector<std::uint32_t> px;
        int w = 0, hh = 0;
        std::string written;
        if (!window.readBack(px, w, hh) || !savePicture(o.snapshot, false, px.data(), w, hh, written, error)) {
            err << "zohost: --snapshot: " << error << "\n";
            rc = kFailed;
        }
    }
    if (!log.good()) {
        err << "zohost: cannot write " << o.captures << "\n";
        rc = kFailed;
        log_out.abandon();
    } else if (!log_out.commit(error)) {
        err << "zohost: " << error << "\n";
        rc = kFailed;
    }
    const std::string clock = sound.clockName();
    sound.close();
    if (o.quiet) return rc;
    const std::uint64_t ran = host->samplesRun();
    out << (demo ? "demo: " : "inputs: ");
    for (std::size_t i = 0; i < told.size(); ++i) out << (i ? "; " : "") << told[i];
    char buf[256];
    std::snprintf(buf, sizeof buf, "\nran %.3f s live at %g Hz in blocks of %d, clock %s: %zu captures sent, %zu shown\n",
                  static_cast<double>(ran) / o.rate, o.rate, o.block, clock.c_str(), host->capturesSent(),
                  captures_seen.load());
    out << buf;
    if (o.stats) {
        const LiveAudioStats st = sound.stats();
        std::snprintf(buf, sizeof buf,
                      "frames %zu; latency from a capture's last block to the screen: mean %.1f ms, max %.1f ms "
                      "over %zu pictures; late blocks %llu, dropped blocks %llu\n",
                      frames, latency.mean() * 1000.0, latency.max * 1000.0, latency.count,
                      static_cast<unsigned long long>(st.late), static_cast<unsigned long long>(st.dropped));
        out << buf;
        const double run_seconds = static_cast<double>(ran) / o.rate;
        std::snprintf(buf, sizeof buf,
                      "frames per second: %.1f shown; paint %.2f ms each over %llu paints, window update %.2f ms "
                      "each\n",
                      run_seconds > 0 ? static_cast<double>(frames) / run_seconds : 0.0,
                      host->paints() ? host->paintSeconds() * 1000.0 / static_cast<double>(host->paints()) : 0.0,
                      static_cast<unsigned long long>(host->paints()),
                      frames ? present_seconds * 1000.0 / static_cast<double>(frames) : 0.0);
        out << buf;
        if (probed)
            out << "live layer on the audio thread: " << host->audioAllocations() << " allocations, "
                << host->audioLocks() << " locks\n";
        else
            out << "live layer on the audio thread: not counted here\n";
    }
    if (!o.captures.empty()) out << "captures written to " << o.captures << "\n";
    if (!o.snapshot.empty() && rc == kOk) out << "snapshot written to " << o.snapshot << "\n";
    return rc;
}

}  // namespace zohost::live
