// Lifecycle: description, records, creation and destruction in every order,
// many times, several instances at once, and the library unloaded and loaded
// again.
#include <cstring>
#include <memory>

#include "Harness.h"
#include "scopedata.h"

namespace zohost::validate {

namespace {

zolong silentHost(void*, zolong, zolong, zolong, void*, float) { return 0; }

// The library-wide record that audio opcode 13 fills.
struct InfoRecord {
    std::int32_t word0;
    std::int32_t word1;
    const void* sub_process;
    std::int32_t word3;
};

// A run whose captures the other tests compare: a sine on the first
// channel, a square on the second, triggered on the first. Another module
// gets a sine on every sample input.
void feedStandard(Instance& in, std::uint64_t seed) {
    const int a = pinOf(in, pins::kSignalA), b = pinOf(in, pins::kSignalB), trig = pinOf(in, pins::kTrigger);
    if (a >= 0) in.setSignal(a, waveSignal(Wave::Sine, seed, 97.0 + static_cast<double>(seed % 50)));
    if (b >= 0) in.setSignal(b, waveSignal(Wave::Square, seed, 61.0));
    if (trig >= 0) in.setValue(trig, 1);
    if (a < 0 && b < 0)
        for (int p = 0; p < in.pinCount(); ++p)
            if (isSampleInput(in, p)) in.setSignal(p, waveSignal(Wave::Sine, seed, 97.0 + static_cast<double>(p)));
}

void describe(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    unsigned char raw[64];
    std::memset(raw, 0xA5, sizeof raw);
    ZOModuleProperties* p = reinterpret_cast<ZOModuleProperties*>(raw);
    t.check(lib.getModuleProperties(0, p) == 1, "getModuleProperties(0) did not answer 1");
    t.check(p->sdk_version == ZO_SDK_VERSION, "sdk_version " + std::to_string(p->sdk_version) + ", not 2180");
    t.check(p->name && *p->name, "no name");
    t.check(p->id && *p->id, "no unique id");
    for (std::size_t i = sizeof(ZOModuleProperties); i < sizeof raw; ++i)
        if (!t.check(raw[i] == 0xA5, "getModuleProperties(0) wrote past the record, at byte " + std::to_string(i)))
            break;

    const zolong bad[][2] = {{1, 1}, {-1, 1}, {0, 0}, {0, 3}, {0, -1}, {0x7FFFFFFF, 2}, {0, 0x7FFFFFFF}};
    for (const auto& b : bad)
        t.check(lib.makeModule(b[0], b[1], &silentHost, nullptr) == nullptr,
                "makeModule(" + std::to_string(b[0]) + ", " + std::to_string(b[1]) + ") made an object");

    int host_value = 0;
    auto* a = static_cast<ZOMod_struct_base2*>(lib.makeModule(0, zo_object::audio, &silentHost, &host_value));
    auto* g = static_cast<ZOGUI_struct_base*>(lib.makeModule(0, zo_object::gui, &silentHost, &host_value));
    if (t.check(a != nullptr, "makeModule made no audio object")) {
        t.check(a->magic == ZO_MAGIC_AUDIO, "audio record magic is not 'ZOPL'");
        t.check(a->version == 1, "audio record version " + std::to_string(a->version));
        t.check(a->host_data == &host_value, "audio record does not hold the host's value");
        t.check(a->object != nullptr, "audio record names no object");
        t.check(a->reserved0 == 0 && a->reserved[0] == 0 && a->reserved[1] == 0 && a->reserved[2] == 0 &&
                    a->reserved[3] == 0,
                "audio record's reserved words are not zero");
        t.check(a->dispatcher && a->process && a->event_handler, "audio record lacks an entry word");
        // A fresh object's routine does nothing, whatever it is given.
        if (a->process) {
            a->process(a->object, 0, 0);
            a->process(a->object, 0, 16);
        }
        if (a->dispatcher) t.check(a->dispatcher(a, zo_audio_op::close, 0, 0, nullptr, 0.0f) == 1, "audio opcode 1 did not answer 1");
    }
    if (!g && !t.scope()) {
        t.note("no display object");
    } else if (t.check(g != nullptr, "makeModule made no display object")) {
        t.check(g->magic == ZO_MAGIC_GUI, "display record magic is not 'ZOPM'");
        t.check(g->version == 1, "display record version " + std::to_string(g->version));
        t.check(g->host_data == &host_value, "display record does not hold the host's value");
        t.check(g->object != nullptr, "display record names no object");
        bool zero = true;
        for (std::int32_t w : g->reserved) zero = zero && w == 0;
        t.check(zero, "display record's reserved words are not zero");
        if (t.check(g->dispatcher != nullptr, "display record has no dispatcher"))
            t.check(g->dispatcher(g, zo_gui_op::close, 0, 0, nullptr, 0.0f) == 1, "display opcode 1 did not answer 1");
    }

    Instance in(lib, quietOptions());
    const auto& d = in.pinTable().descriptions();
    t.check(d.size() < 4096, "the pin table does not end");
    for (const PinDescription& pd : d) {
        t.check(pd.has_name && !pd.name.empty(), "pin description " + std::to_string(pd.index) + " has no name");
        if (pd.data_type == DT_ENUM && pd.direction != DR_OUT)
            t.check(pd.has_list && !pd.choices().empty(), "list pin \"" + pd.name + "\" has no choices");
    }
}

void createDestroyMany(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const long live = liveDrawingObjects();
    const int rounds = t.count(150, 1000);
    Canvas canvas(64, 48, 0);
    for (int i = 0; i < rounds && !t.failed(); ++i) {
        InstanceOptions o = quietOptions(44100.0f, t.uniform(1, 600));
        const int shape = t.uniform(0, 4);
        o.audio = shape != 4 || !moduleMakesDisplay();
        o.display = shape != 3 && moduleMakesDisplay();
        o.display_first = t.uniform(0, 1) == 1;
        o.destroy_display_first = t.uniform(0, 1) == 1;
        Instance in(lib, o);
        if (o.audio && shape >= 1) {
            feedStandard(in, static_cast<std::uint64_t>(i));
            in.open();
            if (shape >= 2) in.run(static_cast<std::uint64_t>(t.uniform(0, 5000)));
        }
        if (o.display && shape >= 2) in.paint(canvas.dc(), 64, 48);
        // Neither object: nothing to end.
        if (!o.audio && !o.display) continue;
        in.destroy();
        const std::string at = "round " + std::to_string(i + 1);
        if (o.audio) t.check(in.audioCloseAnswer() == 1, at + ": audio opcode 1 answered " +
                                                             std::to_string(in.audioCloseAnswer()));
        if (o.display) t.check(in.displayCloseAnswer() == 1, at + ": display opcode 1 answered " +
                                                                 std::to_string(in.displayCloseAnswer()));
    }
    t.check(liveDrawingObjects() == live, "drawing objects left alive after every object was destroyed");
}

void instancesTogether(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const std::uint64_t samples = 30000;
    std::vector<CaptureCopy> alone;
    {
        ScopeInstance in(lib, recordingOptions(44100.0f, 256));
        feedStandard(in, 0);
        in.run(samples);
        alone = copyCaptures(in);
    }
    if (t.scope()) t.check(!alone.empty(), "no capture in " + std::to_string(samples) + " samples of a sine");

    const int count = t.uniform(2, 5);
    std::vector<std::unique_ptr<ScopeInstance>> many;
    for (int i = 0; i < count; ++i) {
        InstanceOptions o = recordingOptions(44100.0f, 256);
        o.display_first = t.uniform(0, 1) == 1;
        many.push_back(std::make_unique<ScopeInstance>(lib, o));
        feedStandard(*many.back(), static_cast<std::uint64_t>(i));
        const int trig = pinOf(*many.back(), pins::kTrigger);
        if (i > 0 && trig >= 0) many.back()->setValue(trig, t.uniform(0, 4));
    }
    // Opcode 13's record is the library's: the same for every object, and
    // describing the object asked last.
    std::vector<const void*> words;
    const InfoRecord* first = nullptr;
    for (auto& in : many) {
        const auto* info = reinterpret_cast<const InfoRecord*>(in->audioCall(zo_audio_op::info));
        if (!t.check(info != nullptr, "audio opcode 13 answered no address")) return;
        if (!first) first = info;
        t.check(info == first, "audio opcode 13 answered different addresses for two objects");
        t.check(info->word0 == zo_info::word0 && info->word1 == zo_info::word1 && info->word3 == zo_info::word3,
                "opcode 13's record does not hold 1, 8, ..., 102");
        words.push_back(info->sub_process);
    }
    for (std::size_t i = 1; i < words.size(); ++i)
        t.check(words[i] != words[0], "opcode 13 describes two objects with the same routine address");
    if (first) {
        many[0]->audioCall(zo_audio_op::info);
        t.check(first->sub_process == words[0], "opcode 13 does not describe the object asked last");
    }
    // Interleaved, block by block: the first instance captures as if alone.
    for (std::uint64_t done = 0; done < samples; done += 256)
        for (auto& in : many) in->processBlock(static_cast<int>(std::min<std::uint64_t>(256, samples - done)));
    if (!t.scope()) return;
    const std::string diff = firstDifference(alone, copyCaptures(*many[0]));
    t.check(diff.empty(), "beside " + std::to_string(count - 1) + " other instance(s): " + diff);
    for (auto& in : many) checkOneOutstanding(t, *in, "instance");
}

void creationOrders(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    std::vector<CaptureCopy> reference;
    for (int order = 0; order < 4; ++order) {
        InstanceOptions o = recordingOptions(48000.0f, 300);
        o.display_first = order & 1;
        o.destroy_display_first = (order & 2) != 0;
        ScopeInstance in(lib, o);
        feedStandard(in, 3);
        in.run(24000);
        const std::string at = std::string(o.display_first ? "display" : "audio") + " made first, " +
                               (o.destroy_display_first ? "display" : "audio") + " ended first";
        if (!t.scope()) continue;
        const auto got = copyCaptures(in);
        t.check(!got.empty(), at + ": no capture");
        t.check(in.repaints() > 0, at + ": the display never asked for a repaint");
        if (order == 0)
            reference = got;
        else {
            const std::string diff = firstDifference(reference, got);
            t.check(diff.empty(), at + ": " + diff);
        }
    }
    // One object alone, of either kind.
    {
        InstanceOptions o = recordingOptions();
        o.display = false;
        Instance in(lib, o);
        feedStandard(in, 1);
        in.run(20000);
        checkOneOutstanding(t, in, "audio object alone");
    }
    if (moduleMakesDisplay()) {
        Instance in(lib, displayOnly());
        Canvas c(120, 80, 0);
        paintChecked(t, in, c, 120, 80, "display object alone");
    }
}

void reload(TestContext& t) {
    std::vector<CaptureCopy> runs[2];
    std::string names[2];
    for (int round = 0; round < 2; ++round) {
        ModuleLibrary lib;
        if (!t.check(lib.load(t.modulePath()), "load " + std::to_string(round + 1) + ": " + lib.error())) return;
        noteDisplay(lib);
        ZOModuleProperties p{};
        lib.getModuleProperties(0, &p);
        names[round] = p.name ? p.name : "";
        {
            ScopeInstance in(lib, recordingOptions(44100.0f, 128));
            feedStandard(in, 5);
            in.run(20000);
            runs[round] = copyCaptures(in);
        }
        // A second handle on the same file while the first is in use.
        {
            ModuleLibrary again;
            if (t.check(again.load(t.modulePath()), "second handle: " + again.error())) {
                Instance a(lib, quietOptions()), b(again, quietOptions());
                feedStandard(a, 1);
                feedStandard(b, 2);
                a.run(5000);
                b.run(5000);
            }
        }
        lib.unload();
    }
    t.check(names[0] == names[1], "the name changed across a reload");
    const std::string diff = firstDifference(runs[0], runs[1]);
    t.check(diff.empty(), "after unloading and loading again: " + diff);
    if (t.scope()) t.check(!runs[0].empty(), "no capture in 20000 samples");
}

void unopened(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    ScopeInstance in(lib, recordingOptions());
    ZOMod_struct_base2* a = in.audioRecord();
    if (!t.check(a != nullptr, "no audio object")) return;
    // Opcodes of no effect, and the fresh routine, before opening.
    for (zolong op : {zo_audio_op::set_sample_rate, zo_audio_op::set_block_size, zo_audio_op::nothing_4, zo_audio_op::nothing_5,
                      zo_audio_op::resume, zo_audio_op::nothing_9, zo_audio_op::nothing_11, zo_audio_op::info})
        in.audioCall(op, 0, 512, nullptr, 44100.0f);
    a->process(a->object, 0, 0);
    a->process(a->object, 0, 32);
    Canvas c(80, 60, 0);
    paintChecked(t, in, c, 80, 60, "paint before the audio side opened");
    in.destroy();
    t.check(in.audioCloseAnswer() == 1, "opcode 1 without opening answered " + std::to_string(in.audioCloseAnswer()));
}

}  // namespace

void addLifecycleTests(std::vector<TestCase>& out) {
    out.push_back({"lifecycle.describe", "description, bad makeModule arguments, record layouts, pin table", &describe});
    out.push_back({"lifecycle.create_destroy_many", "create, open, process, paint, close, many times, any order",
                   &createDestroyMany});
    out.push_back({"lifecycle.instances_together", "several instances at once; opcode 13's shared record",
                   &instancesTogether});
    out.push_back({"lifecycle.creation_orders", "both object kinds made and ended in either order; one alone",
                   &creationOrders});
    out.push_back({"lifecycle.reload", "the library unloaded and loaded again, two handles", &reload});
    out.push_back({"lifecycle.unopened", "calls before opening; close without opening", &unopened});
}

}  // namespace zohost::validate
