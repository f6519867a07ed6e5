// Illegal order and bad arguments: every opcode of both dispatchers with
// index -1, huge values and null pointers; unknown opcodes; records the call
// must not write, pre-filled and checked; calls out of the protocol's order
// where the protocol says what happens.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "ChildRunner.h"
#include "Harness.h"
#include "scopedata.h"

#include "GuardedBytes.h"

namespace zohost::validate {

using probe::ChildOutcome;
using probe::outputGist;
using probe::runChild;

namespace {

const unsigned char kFill = 0xA5;

std::vector<zolong> hostileNumbers() {
    std::vector<zolong> v = {-1, -2, 0, 1, 0x7FFFFFFF, static_cast<zolong>(INT32_MIN), 65536, 1000000};
    if (sizeof(zolong) > 4) {
        v.push_back(static_cast<zolong>(std::int64_t{1} << 40));
        v.push_back(std::numeric_limits<zolong>::min());
        v.push_back(std::numeric_limits<zolong>::max());
    }
    return v;
}

std::string opText(const char* side, zolong op, zolong index, zolong value, const void* ptr) {
    return std::string(side) + " opcode " + std::to_string(op) + " (index " + std::to_string(index) + ", value " +
           std::to_string(value) + (ptr ? ", pointer" : ", null") + ")";
}

// The audio record's words other than the routine, which the object may change.
std::vector<unsigned char> audioRecordBytes(const ZOMod_struct_base2* r) {
    ZOMod_struct_base2 copy = *r;
    copy.process = nullptr;
    std::vector<unsigned char> b(sizeof copy);
    std::memcpy(b.data(), &copy, sizeof copy);
    return b;
}

std::vector<unsigned char> guiRecordBytes(const ZOGUI_struct_base* r) {
    std::vector<unsigned char> b(sizeof *r);
    std::memcpy(b.data(), r, sizeof *r);
    return b;
}

void feed(Instance& in) {
    const int a = pinOf(in, pins::kSignalA), trig = pinOf(in, pins::kTrigger);
    if (a >= 0) in.setSignal(a, waveSignal(Wave::Sine, 1, 90.0));
    if (trig >= 0) in.setValue(trig, 1);
}

void audioOpcodes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    ScopeInstance in(lib, recordingOptions(44100.0f, 256));
    feed(in);
    unsigned char junk[256];
    std::memset(junk, kFill, sizeof junk);
    const std::vector<zolong> numbers = hostileNumbers();
    // 0 opens, 1 ends, 2 is the rate (its own test), 6 the pin table, 7 and 10
    // are contract violations, 12 the messages: the rest here, and unknown ones.
    std::vector<zolong> ops = {zo_audio_op::set_block_size, zo_audio_op::nothing_4, zo_audio_op::nothing_5, zo_audio_op::resume, zo_audio_op::nothing_9,
                               zo_audio_op::nothing_11, zo_audio_op::info, zo_audio_op::count, zo_audio_op::count + 1, zo_audio_op::count + 2, 99, 1000, -1, -2, 0x7FFFFFFF,
                               static_cast<zolong>(INT32_MIN)};
    if (sizeof(zolong) > 4) ops.push_back(static_cast<zolong>(std::int64_t{1} << 33));
    for (int phase = 0; phase < 2; ++phase) {
        if (phase == 1) {
            in.open();
            in.run(3000);
        }
        const auto before = audioRecordBytes(in.audioRecord());
        int calls = 0;
        for (zolong op : ops)
            for (zolong index : numbers) {
                const zolong value = t.pick(numbers);
                void* ptr = t.uniform(0, 1) ? nullptr : junk;
                const zolong answer = in.audioCall(op, index, value, ptr, t.uniform(0, 1) ? 0.0f : -1.0f);
                ++calls;
                if (op == zo_audio_op::info) {
                    t.check(answer != 0, opText("audio", op, index, value, ptr) + " answered no record");
                    continue;
                }
                t.check(answer == 0, opText("audio", op, index, value, ptr) + " answered " + std::to_string(answer));
                if (phase == 1 && calls % 16 == 0) in.processBlock(t.uniform(0, 256));
            }
        // Pin descriptions asked with no record to write into.
        for (zolong index : numbers) in.audioCall(zo_audio_op::pin_properties, index, 0, nullptr, 0.0f);
        t.check(audioRecordBytes(in.audioRecord()) == before,
                std::string("the audio record changed under bad calls ") + (phase ? "after" : "before") + " opening");
        for (std::size_t i = 0; i < sizeof junk; ++i)
            if (!t.check(junk[i] == kFill, "a call wrote into a pointer it does not use")) break;
    }
    in.run(20000);
    CaptureExpectations e;
    e.max_part = 256;
    const int a = pinOf(in, pins::kSignalA);
    e.active[0] = a >= 0;
    e.check_trigger = pinOf(in, pins::kTrigger) >= 0;
    e.trigger = 1;
    e.growth_allowed = false;
    t.check(checkCaptures(t, in, e, "after bad audio calls") > 0 || !t.scope(), "no capture after the bad calls");
}

void displayOpcodes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    Instance in(lib, displayOnly());
    Canvas canvas(100, 80, 0);
    ZOWndInfo window{100, 80, 0x5A0C};
    const std::vector<zolong> numbers = hostileNumbers();
    const auto before = guiRecordBytes(in.displayRecord());
    const long live = liveDrawingObjects();
    const float opts[] = {0.0f, 1.0f, std::numeric_limits<float>::quiet_NaN(), -1.0f};
    std::vector<zolong> ops = {zo_gui_op::initialise, zo_gui_op::lbutton_down, zo_gui_op::lbutton_up, zo_gui_op::mouse_move,
                               zo_gui_op::pin_value_change, zo_gui_op::window_open, zo_gui_op::window_close, zo_gui_op::idle,
                               zo_gui_op::new_connection, zo_gui_op::disconnect, zo_gui_op::count, zo_gui_op::count + 1, 100, -1, -2, 0x7FFFFFFF,
                               static_cast<zolong>(INT32_MIN)};
    for (zolong op : ops)
        for (zolong index : numbers) {
            const zolong value = t.pick(numbers);
            void* ptr = t.uniform(0, 1) ? nullptr : &window;
            const float opt = opts[t.uniform(0, 3)];
            const zolong answer = in.displayCall(op, index, value, ptr, opt);
            const std::string at = opText("display", op, index, value, ptr);
            if (op == zo_gui_op::idle)
                t.check(answer == 0 || answer == 1, at + " answered " + std::to_string(answer));
            else
                t.check(answer == 0, at + " answered " + std::to_string(answer));
        }
    // Paint with no window record, and with no device context.
    t.check(in.displayCall(zo_gui_op::paint, reinterpret_cast<zolong>(canvas.dc()), 0, nullptr, 0.0f) == 0,
            "paint without a window record did not answer 0");
    t.check(in.displayCall(zo_gui_op::paint, 0, 0, &window, 0.0f) == 0, "paint without a device context did not answer 0");
    t.check(liveDrawingObjects() == live, "drawing objects left alive by paint without a window or a device context");
    t.check(guiRecordBytes(in.displayRecord()) == before, "the display record changed under bad calls");
    paintChecked(t, in, canvas, 100, 80, "paint after the bad calls");
}

// Where the interface's long is 64 bits, an opcode is known or unknown by its
// full width: each known opcode with a high word set must answer 0 and do
// nothing. The harmless ones are asked first, so that a module that reads
// only the low word is caught before it closes itself.
std::vector<zolong> withHighWords(zolong low) {
    std::vector<zolong> v;
    for (std::uint64_t high : {std::uint64_t{1} << 32, ~std::uint64_t{0} << 32, std::uint64_t{1} << 63})
        v.push_back(static_cast<zolong>(high | static_cast<std::uint64_t>(low)));
    return v;
}

// False when a failure makes the display's half pointless.
bool wideAudioOpcodes(TestContext& t, const ModuleLibrary& lib) {
    ScopeInstance in(lib, recordingOptions(44100.0f, 256));
    {
        feed(in);
        unsigned char junk[sizeof(ZOPinProperties) + 16];
        std::memset(junk, kFill, sizeof junk);
        const std::vector<zolong> order = {zo_audio_op::info,      zo_audio_op::set_sample_rate,
                                           zo_audio_op::set_block_size, zo_audio_op::pin_properties,
                                           zo_audio_op::gui_notify, zo_audio_op::resume,
                                           zo_audio_op::open,      zo_audio_op::forbidden_7,
                                           zo_audio_op::forbidden_10, zo_audio_op::close};
        for (zolong low : order) {
            for (zolong op : withHighWords(low)) {
                const zolong answer = in.audioCall(op, 1, SCOPE_MSG_ACK, junk, 8000.0f);
                t.check(answer == 0, opText("audio", op, 1, SCOPE_MSG_ACK, junk) + " answered " +
                                         std::to_string(answer) + " as if it were opcode " + std::to_string(low));
            }
            if (t.failures()) return false;
        }
        for (std::size_t i = 0; i < sizeof junk; ++i)
            if (!t.check(junk[i] == kFill, "a wide opcode wrote into its pointer")) return false;
    }
    in.run(20000);
    CaptureExpectations e;
    e.max_part = 256;
    e.active[0] = pinOf(in, pins::kSignalA) >= 0;
    e.growth_allowed = false;
    return t.check(checkCaptures(t, in, e, "after wide audio opcodes") > 0 || !t.scope(),
                   "no capture after wide audio opcodes");
}

void wideDisplayOpcodes(TestContext& t, const ModuleLibrary& lib) {
    Instance in(lib, displayOnly());
    if (!in.hasDisplay()) {
        t.note("no display object");
        return;
    }
    Canvas canvas(100, 80, 0);
    ZOWndInfo window{100, 80, 0x5A0C};
    const int fonts = in.fontRequests();
    const std::size_t messages = in.messages().records().size();
    T_SCOPE scope{};
    const std::vector<zolong> order = {zo_gui_op::paint,        zo_gui_op::module_msg,   zo_gui_op::initialise,
                                       zo_gui_op::lbutton_down, zo_gui_op::lbutton_up,   zo_gui_op::mouse_move,
                                       zo_gui_op::pin_value_change, zo_gui_op::window_open, zo_gui_op::window_close,
                                       zo_gui_op::idle,         zo_gui_op::new_connection, zo_gui_op::disconnect,
                                       zo_gui_op::close};
    for (zolong low : order) {
        for (zolong op : withHighWords(low)) {
            const bool msg = low == zo_gui_op::module_msg;
            const zolong index = msg ? static_cast<zolong>(sizeof scope) : reinterpret_cast<zolong>(canvas.dc());
            void* ptr = msg ? static_cast<void*>(&scope) : static_cast<void*>(&window);
            const zolong answer = in.displayCall(op, index, SCOPE_MSG_DATA, ptr, 0.0f);
            const std::string at = opText("display", op, index, SCOPE_MSG_DATA, ptr);
            t.check(answer == 0, at + " answered " + std::to_string(answer) + " as if it were opcode " +
                                     std::to_string(low));
            t.check(in.fontRequests() == fonts, at + " painted");
            t.check(in.messages().records().size() == messages, at + " took a message and acknowledged it");
        }
        if (t.failures()) return;
    }
    paintChecked(t, in, canvas, 100, 80, "paint after wide display opcodes");
}

void wideOpcodes(TestContext& t) {
    if (sizeof(zolong) <= 4) {
        t.skip("the interface's long is 32 bits here: no opcode is wider");
        return;
    }
    const ModuleLibrary& lib = t.library();
    if (wideAudioOpcodes(t, lib)) wideDisplayOpcodes(t, lib);
}

// The window record is three 32-bit words: the display reads no further,
// and hands the third back as request 10's index, widened as a signed
// number. Where the platform allows, the record ends where readable memory
// does.
void windowRecord(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    if (!needsDisplay(t)) return;
    Instance in(lib, displayOnly());
    Canvas canvas(100, 80, 0);
    const GuardedBytes guarded(sizeof(ZOWndInfo));
    std::vector<unsigned char> heap(sizeof(ZOWndInfo));
    unsigned char* bytes = guarded.data() ? guarded.data() : heap.data();
    for (std::int32_t context : {std::int32_t{0x5A0C}, std::int32_t{-5}, INT32_MIN, INT32_MAX, std::int32_t{-1}}) {
        const ZOWndInfo w{100, 80, context};
        std::memcpy(bytes, &w, sizeof w);
        auto* window = reinterpret_cast<ZOWndInfo*>(bytes);
        for (zolong op : {zo_gui_op::window_open, zo_gui_op::lbutton_down, zo_gui_op::mouse_move,
                          zo_gui_op::lbutton_up, zo_gui_op::window_close})
            in.displayCall(op, 3, 4, window, 0.0f);
        const int fonts = in.fontRequests();
        in.displayCall(zo_gui_op::paint, reinterpret_cast<zolong>(canvas.dc()), 0, window, 0.0f);
        t.check(std::memcmp(bytes, &w, sizeof w) == 0, "the window record was written");
        // Any display may paint without a font; the scope asks for one each time.
        const int asked = in.fontRequests() - fonts;
        if (!t.scope() && asked == 0) continue;
        if (!t.check(asked == 1, "paint asked for " + std::to_string(asked) + " fonts, not 1")) continue;
        t.check(in.lastFontContext() == static_cast<zolong>(context),
                "request 10's index " + std::to_string(in.lastFontContext()) + " for the context word " +
                    std::to_string(context));
    }
}

void propertiesSentinel(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    for (zolong index : hostileNumbers()) {
        if (index == 0) continue;
        unsigned char raw[sizeof(ZOModuleProperties) + 32];
        std::memset(raw, kFill, sizeof raw);
        auto* p = reinterpret_cast<ZOModuleProperties*>(raw);
        const int answer = lib.getModuleProperties(index, p);
        const std::string at = "getModuleProperties(" + std::to_string(index) + ")";
        t.check(answer == 0, at + " answered " + std::to_string(answer));
        t.check(p->sdk_version == ZO_SDK_VERSION, at + " left sdk_version " + std::to_string(p->sdk_version));
        const std::size_t v = offsetof(ZOModuleProperties, sdk_version);
        for (std::size_t i = 0; i < sizeof raw; ++i) {
            if (i >= v && i < v + 4) continue;
            if (!t.check(raw[i] == kFill, at + " wrote byte " + std::to_string(i) + ", not only sdk_version")) break;
        }
    }
}

void pinSentinel(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    Instance in(lib, quietOptions());
    const zolong described = static_cast<zolong>(in.pinTable().descriptions().size());
    std::vector<zolong> indexes = {described, described + 1, 4096, -1, -2, 0x7FFFFFFF,
                                   static_cast<zolong>(INT32_MIN)};
    if (sizeof(zolong) > 4) indexes.push_back(static_cast<zolong>(std::int64_t{1} << 40));
    for (int phase = 0; phase < 2; ++phase) {
        if (phase == 1) in.open();
        const std::string when = phase ? " after opening" : " before opening";
        for (zolong index : indexes) {
            unsigned char raw[sizeof(ZOPinProperties) + 16];
            std::memset(raw, kFill, sizeof raw);
            const zolong answer = in.audioCall(zo_audio_op::pin_properties, index, 0, raw, 0.0f);
            const std::string at = "opcode 6 for undescribed index " + std::to_string(index) + when;
            t.check(answer == 0, at + " answered " + std::to_string(answer));
            for (std::size_t i = 0; i < sizeof raw; ++i)
                if (!t.check(raw[i] == kFill, at + " wrote byte " + std::to_string(i))) break;
        }
        for (zolong index = 0; index < described; ++index) {
            unsigned char raw[sizeof(ZOPinProperties) + 16];
            std::memset(raw, kFill, sizeof raw);
            const zolong answer = in.audioCall(zo_audio_op::pin_properties, index, 0, raw, 0.0f);
            const std::string at = "opcode 6 for pin " + std::to_string(index) + when;
            t.check(answer == 1, at + " answered " + std::to_string(answer));
            const std::size_t r = offsetof(ZOPinProperties, reserved);
            for (std::size_t i = r; i < sizeof raw; ++i)
                if (!t.check(raw[i] == kFill, at + " wrote the reserved word or past the record (byte " +
                                                  std::to_string(i) + ")"))
                    break;
        }
    }
}

// Opcodes 7 and 10 are contract violations by definition: a build with
// assertions reports "false" and aborts, one without answers and goes on.
// Either is right; anything else is not. Each runs in a child of its own.
void contractOpcodes(TestContext& t) {
    for (zolong op : {zo_audio_op::forbidden_7, zo_audio_op::forbidden_10}) {
        const std::string at = "opcode " + std::to_string(op);
        const ChildOutcome d = runChild(
            at,
            [&t, op] {
                ModuleLibrary lib;
                if (!lib.load(t.modulePath())) return std::string("not loaded");
                noteDisplay(lib);
                Instance in(lib, quietOptions());
                in.open();
                in.audioCall(op);
                in.run(1000);
                return std::string();
            },
            20.0);
        const std::string said = d.output.empty() ? std::string() : ": " + outputGist(d.output).substr(0, 200);
        if (d.end == ChildOutcome::End::Reported && d.report.empty()) {
            t.note(at + " answered (no assertion report in this build)");
        } else if (d.aborted && d.output.find("false") != std::string::npos) {
            t.note(at + " aborted with its contract report");
        } else if (d.end == ChildOutcome::End::Killed) {
            t.fail(at + " killed the process (" + d.how + ")" + said);
        } else if (d.end == ChildOutcome::End::TimedOut) {
            t.fail(at + " hung the process");
        } else if (d.end == ChildOutcome::End::Exited) {
            t.fail(at + " ended the process with status " + std::to_string(d.status) + said);
        } else if (d.end == ChildOutcome::End::Reported) {
            t.fail(at + ": the module was " + d.report);
        }
    }
}

void outOfOrder(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    std::vector<CaptureCopy> reference;
    {
        ScopeInstance in(lib, recordingOptions(44100.0f, 200));
        feed(in);
        in.run(30000);
        reference = copyCaptures(in);
    }
    // An "ack" while nothing awaits one changes nothing: before opening,
    // after opening, and between blocks (delivery at once leaves nothing
    // awaiting an ack between blocks).
    {
        ScopeInstance in(lib, recordingOptions(44100.0f, 200));
        feed(in);
        in.audioCall(zo_audio_op::gui_notify, 0, zo_message::ack, nullptr, 0.0f);
        in.open();
        in.audioCall(zo_audio_op::gui_notify, 0, zo_message::ack, nullptr, 0.0f);
        for (int done = 0; done < 30000; done += 200) {
            in.processBlock(200);
            if (t.uniform(0, 3) == 0) in.audioCall(zo_audio_op::gui_notify, 0, zo_message::ack, nullptr, 0.0f);
        }
        const std::string diff = firstDifference(reference, copyCaptures(in));
        t.check(diff.empty(), "\"ack\" with no capture awaiting it changed the captures: " + diff);
    }
    // Rate and block size told again after opening; window calls in any order.
    {
        InstanceOptions o = recordingOptions(44100.0f, 200);
        o.display_first = true;
        ScopeInstance in(lib, o);
        ZOWndInfo w{64, 64, 1};
        in.displayCall(zo_gui_op::window_close, 0, 0, &w, 0.0f);
        in.displayCall(zo_gui_op::window_open, 0, 0, &w, 0.0f);
        in.displayCall(zo_gui_op::window_open, 0, 0, &w, 0.0f);
        feed(in);
        in.run(5000);
        in.audioCall(zo_audio_op::set_sample_rate, 0, 0, nullptr, 96000.0f);
        in.audioCall(zo_audio_op::set_block_size, 0, 64, nullptr, 0.0f);
        in.run(20000);
        in.displayCall(zo_gui_op::window_close, 0, 0, &w, 0.0f);
        CaptureExpectations e;
        e.max_part = 200;
        e.check_rate = false;
        e.active[0] = pinOf(in, pins::kSignalA) >= 0;
        const int n = checkCaptures(t, in, e, "rate and block size told after opening");
        t.check(n > 0 || !t.scope(), "no capture after rate and block size were told again");
        Canvas c(64, 64, 0);
        paintChecked(t, in, c, 64, 64, "paint after the window closed");
    }
}

void events(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    ScopeInstance in(lib, recordingOptions(44100.0f, 256));
    feed(in);
    in.open();
    in.run(1000);
    // Types the framework ignores, MIDI, and pin status at valid positions,
    // each due now or later.
    const int pins = in.pinCount();
    // Types the module has no use for: one the host knows, one nobody does.
    const std::int32_t ignored_type = 6, unknown_type = 99;
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t due = static_cast<std::uint32_t>(in.clock()) + static_cast<std::uint32_t>(t.uniform(0, 3000));
        const int kind = t.uniform(0, 3);
        if (kind == 0)
            in.queueEvent(ZoEvent(due, ignored_type, t.uniform(-5, 5), 0, nullptr));
        else if (kind == 1)
            in.queueEvent(ZoEvent(due, unknown_type, 0, 0, nullptr));
        else if (kind == 2)
            in.queueEvent(ZoEvent(due, zo_event::midi, 0x903C64, t.uniform(-70000, 70000), nullptr));
        else if (pins > 0)
            in.queueEvent(ZoEvent(due, zo_event::pin_status, t.uniform(0, 2), 0,
                                  reinterpret_cast<void*>(static_cast<std::intptr_t>(t.uniform(0, pins - 1)))));
        if (i % 20 == 0) in.processBlock(t.uniform(0, 256));
    }
    in.run(20000);
    CaptureExpectations e;
    e.max_part = 256;
    e.active[0] = pinOf(in, pins::kSignalA) >= 0;
    e.check_trigger = pinOf(in, pins::kTrigger) >= 0;
    e.trigger = 1;
    e.growth_allowed = false;
    t.check(checkCaptures(t, in, e, "with events") > 0 || !t.scope(), "no capture with events delivered");
}

}  // namespace

void addArgumentTests(std::vector<TestCase>& out) {
    out.push_back({"args.audio_opcodes", "audio opcodes with -1, huge values, null pointers; unknown opcodes",
                   &audioOpcodes});
    out.push_back({"args.display_opcodes", "display opcodes with -1, huge values, null pointers; unknown opcodes",
                   &displayOpcodes});
    out.push_back({"args.wide_opcodes", "opcodes with a high word set, on both dispatchers: answered 0, nothing done",
                   &wideOpcodes});
    out.push_back({"args.window_record", "the window record is 12 bytes; its context word reaches request 10 signed",
                   &windowRecord});
    out.push_back({"args.properties_sentinel", "getModuleProperties at other indexes writes only sdk_version",
                   &propertiesSentinel});
    out.push_back({"args.pin_sentinel", "opcode 6 writes nothing for undescribed indexes, never the reserved word",
                   &pinSentinel});
    out.push_back({"args.contract_opcodes", "opcodes 7 and 10: contract report or a quiet answer", &contractOpcodes});
    out.push_back({"args.out_of_order", "acks awaited by nothing, rate told late, window calls in any order",
                   &outOfOrder});
    out.push_back({"args.events", "timed events of ignored types, MIDI and pin status", &events});
}

}  // namespace zohost::validate
