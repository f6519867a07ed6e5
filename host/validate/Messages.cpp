// Messages between the two objects: "data" of every size and none, unknown
// codes both ways, acknowledgements nobody awaits and storms of them, a
// display that is missing, comes late or goes early, and queued delivery.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "Harness.h"
#include "scopedata.h"

namespace zohost::validate {

namespace {

std::vector<zolong> sizesToTry() {
    const zolong record = static_cast<zolong>(sizeof(T_SCOPE));
    return {0, 31, 33, record - 1, record + 1, 1 << 20, 0x7FFFFFFF, -1, static_cast<zolong>(INT32_MIN)};
}

int acksSince(const Instance& in, std::size_t from) {
    int n = 0;
    const auto& r = in.messages().records();
    for (std::size_t i = from; i < r.size(); ++i)
        if (r[i].direction == Direction::ToAudio) {
            if (r[i].code == zo_message::ack && r[i].size == 0 && r[i].ptr == nullptr)
                ++n;
            else
                n += 1000;  // anything else from the display counts as wrong
        }
    return n;
}

std::vector<std::uint32_t> picture(Instance& in, Canvas& c) {
    c.fill(0x123456);
    in.paint(c.dc(), c.width(), c.height());
    return std::vector<std::uint32_t>(c.pixels(), c.pixels() + static_cast<std::size_t>(c.width()) * c.height());
}

void dataSizes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    Instance in(lib, displayOnly());
    Canvas canvas(200, 120, 0);
    // A real record behind every pointer, however large the size claims.
    std::vector<float> samples(200, 0.25f);
    T_SCOPE payload[4];
    std::memset(payload, 0, sizeof payload);
    payload[0].Samples = samples.data();
    payload[0].ScopeSize = 100;
    payload[0].Rate = 44100.0f;
    for (zolong size : sizesToTry())
        for (bool null_payload : {false, true}) {
            const std::size_t records = in.messages().records().size();
            const int repaints = in.repaints();
            const zolong answer = in.displayCall(zo_gui_op::module_msg, size, zo_message::data, null_payload ? nullptr : payload, 0.0f);
            const std::string at = std::string("\"data\" of ") + std::to_string(size) + " bytes" +
                                   (null_payload ? ", no payload" : "");
            t.check(answer == 0, at + ": answered " + std::to_string(answer));
            t.check(acksSince(in, records) == 1, at + ": not acknowledged exactly once with a plain \"ack\"");
            t.check(in.repaints() == repaints + 1, at + ": no repaint asked for");
            paintChecked(t, in, canvas, 200, 120, at + ", paint");
        }
    // Well-formed records of every length, with wild settings and samples.
    const std::int32_t lengths[] = {0, 1, 2, 3, 100, 44100, 51200, 1 << 22};
    for (std::int32_t n : lengths) {
        std::vector<float> data(2 * static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = waveAt(t.pick(allWaves()), i, t.seed(), 37.0);
        T_SCOPE s;
        std::memset(&s, 0, sizeof s);
        s.Samples = n ? data.data() : nullptr;
        s.ScopeSize = n;
        s.Channel_Active[0] = t.uniform(0, 1) == 1;
        s.Channel_Active[1] = t.uniform(0, 1) == 1;
        s.Rate = t.pick(std::vector<float>{44100.0f, 1.0f, 384000.0f, 0.0f, -1.0f,
                                           std::numeric_limits<float>::quiet_NaN()});
        s.Time = t.pick(std::vector<float>{0.0f, 5.0f, 10.0f});
        s.Y_Scale = t.pick(std::vector<float>{0.0f, 1.0f, 2.5f, 6.0f, 10.0f});
        s.X_Y_Mode = static_cast<std::int16_t>(t.uniform(0, 3));
        s.Trigger = n > 44100 ? 4 : static_cast<std::int16_t>(t.uniform(0, 4));
        const std::string at = "\"data\" of a capture of " + std::to_string(n) + " samples, rate " + num(s.Rate);
        const std::size_t records = in.messages().records().size();
        in.displayCall(zo_gui_op::module_msg, static_cast<zolong>(sizeof s), zo_message::data, &s, 0.0f);
        t.check(acksSince(in, records) == 1, at + ": not acknowledged exactly once");
        if (n > 100000) {
            paintChecked(t, in, canvas, 200, 120, at + ", paint");
            continue;
        }
        // The display keeps its own copy: spoiling ours changes nothing.
        const auto first = picture(in, canvas);
        for (float& v : data) v = -v * 3.0f + 0.5f;
        s.ScopeSize = n + 1;
        t.check(picture(in, canvas) == first, at + ": the picture follows the sender's storage after the message");
        paintChecked(t, in, canvas, 200, 120, at + ", paint");
    }
}

void feed(Instance& in) {
    Scenario s;
    s.trigger = 1;
    s.a = Feed{Wave::Sine, 1, 80.0};
    applyScenario(in, s);
}

void unknownCodes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    // Near misses: "data" one higher, and its bytes the other way round.
    std::vector<std::int32_t> codes = {0, 1, -1, 0x7FFFFFFF, zo_message::ack, zo_message::data + 1, 0x64617461};
    for (int i = 0; i < 4; ++i) codes.push_back(static_cast<std::int32_t>(t.rng()()));
    unsigned char junk[64];
    std::memset(junk, 0x5A, sizeof junk);
    // To the display: no effect, no reply.
    if (moduleMakesDisplay()) {
        Instance in(lib, displayOnly());
        Canvas canvas(120, 90, 0);
        const auto before = picture(in, canvas);
        for (std::int32_t code : codes)
            for (zolong size : {zolong{0}, static_cast<zolong>(sizeof(T_SCOPE)), zolong{1} << 20}) {
                const std::size_t records = in.messages().records().size();
                const int repaints = in.repaints();
                in.displayCall(zo_gui_op::module_msg, size, code, t.uniform(0, 1) ? junk : nullptr, 0.0f);
                const std::string at = "message " + std::to_string(code) + " of " + std::to_string(size) +
                                       " bytes to the display";
                t.check(in.messages().records().size() == records, at + ": answered with a message");
                t.check(in.repaints() == repaints, at + ": asked for a repaint");
            }
        t.check(picture(in, canvas) == before, "unknown messages changed the display's picture");
    }
    // To the audio side, between blocks: the same captures as without.
    std::vector<CaptureCopy> reference;
    {
        ScopeInstance in(lib, recordingOptions(44100.0f, 300));
        feed(in);
        in.run(30000);
        reference = copyCaptures(in);
    }
    ScopeInstance in(lib, recordingOptions(44100.0f, 300));
    feed(in);
    codes.erase(std::remove(codes.begin(), codes.end(), zo_message::ack), codes.end());
    codes.push_back(zo_message::data);
    for (int done = 0; done < 30000; done += 300) {
        in.processBlock(300);
        const std::int32_t code = t.pick(codes);
        in.audioCall(zo_audio_op::gui_notify, t.pick(std::vector<zolong>{0, 32, -1, 0x7FFFFFFF}), code, t.uniform(0, 1) ? junk : nullptr,
                     0.0f);
    }
    const std::string diff = firstDifference(reference, copyCaptures(in));
    t.check(diff.empty(), "unknown messages to the audio side changed its captures: " + diff);
}

void acks(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    std::vector<CaptureCopy> reference;
    {
        ScopeInstance in(lib, recordingOptions(44100.0f, 256));
        feed(in);
        in.run(40000);
        reference = copyCaptures(in);
    }
    unsigned char junk[64];
    std::memset(junk, 0x5A, sizeof junk);
    // Delivered at once, an "ack" between blocks finds nothing awaiting it.
    ScopeInstance in(lib, recordingOptions(44100.0f, 256));
    feed(in);
    in.open();
    for (int i = 0; i < 1000; ++i) in.audioCall(zo_audio_op::gui_notify, 0, zo_message::ack, nullptr, 0.0f);
    for (int done = 0; done < 40000; done += 256) {
        in.processBlock(std::min(256, 40000 - done));
        const int storm = t.uniform(0, 3) == 0 ? 500 : 1;
        for (int i = 0; i < storm; ++i) {
            const zolong size = t.pick(std::vector<zolong>{0, 32, 0x7FFFFFFF, -1});
            in.audioCall(zo_audio_op::gui_notify, size, zo_message::ack, t.uniform(0, 1) ? junk : nullptr, 0.0f);
        }
    }
    const std::string diff = firstDifference(reference, copyCaptures(in));
    t.check(diff.empty(), "acknowledgements awaited by nothing, and storms of them, changed the captures: " + diff);
}

void noDisplay(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    for (bool self_ack : {false, true}) {
        InstanceOptions o = recordingOptions(44100.0f, 512);
        o.display = false;
        o.messages.self_ack_without_display = self_ack;
        ScopeInstance in(lib, o);
        Scenario s;
        applyScenario(in, s);
        in.run(88200);
        const std::string at = self_ack ? "no display, the host acknowledging" : "no display";
        checkOneOutstanding(t, in, at);
        const int n = checkCaptures(t, in, scenarioExpectations(in, s), at);
        if (self_ack) t.check(n > 1, at + ": only " + std::to_string(n) + " capture(s) in 2 s");
    }
}

void displayLifetimes(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    // The display goes early: what the audio side sends after is not delivered.
    {
        ScopeInstance in(lib, recordingOptions(44100.0f, 256));
        Scenario s;
        applyScenario(in, s);
        in.run(static_cast<std::uint64_t>(t.uniform(0, 20000)));
        const std::size_t before = in.messages().records().size();
        in.destroyDisplay();
        in.run(44100);
        checkOneOutstanding(t, in, "display destroyed");
        const auto& r = in.messages().records();
        for (std::size_t i = before; i < r.size(); ++i)
            t.check(!r[i].delivered, "a message was delivered after the display was destroyed");
        checkCaptures(t, in, scenarioExpectations(in, s), "display destroyed");
    }
    // The display comes late: the capture sent into the void is handed over
    // by hand, and the acknowledgement lets the audio side go on.
    {
        InstanceOptions ao = recordingOptions(44100.0f, 256);
        ao.display = false;
        ScopeInstance audio(lib, ao);
        Scenario s;
        applyScenario(audio, s);
        audio.run(20000);
        const auto sent = audio.captures();
        if (!t.check(!sent.empty(), "no capture from the audio side alone")) return;
        const void* payload = sent.back()->ptr;
        Instance display(lib, displayOnly());
        Canvas canvas(150, 100, 0);
        paintChecked(t, display, canvas, 150, 100, "late display, before the first message");
        const std::size_t records = display.messages().records().size();
        display.displayCall(zo_gui_op::module_msg, static_cast<zolong>(sizeof(T_SCOPE)), zo_message::data, const_cast<void*>(payload), 0.0f);
        t.check(acksSince(display, records) == 1, "late display: the handed-over capture was not acknowledged");
        paintChecked(t, display, canvas, 150, 100, "late display, after the handed-over capture");
        const std::size_t seen = sent.size();
        audio.audioCall(zo_audio_op::gui_notify, 0, zo_message::ack, nullptr, 0.0f);
        audio.run(20000);
        t.check(audio.captures().size() > seen,
                "the audio side sent nothing more after the late acknowledgement");
        checkCaptures(t, audio, scenarioExpectations(audio, s), "late display");
    }
}

void queued(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    struct Way {
        const char* name;
        AckPolicy policy;
        int hold;
    };
    const Way ways[] = {{"queued", AckPolicy::Deliver, 0},
                        {"acks held 1 block", AckPolicy::Hold, 1},
                        {"acks held 37 blocks", AckPolicy::Hold, 37},
                        {"acks dropped", AckPolicy::Drop, 0}};
    for (const Way& w : ways) {
        InstanceOptions o = recordingOptions(44100.0f, t.pick(std::vector<int>{64, 333, 1024}));
        o.messages.delivery = Delivery::Queued;
        o.messages.ack = w.policy;
        o.messages.ack_hold_blocks = w.hold;
        ScopeInstance in(lib, o);
        Scenario s;
        s.trigger = t.uniform(0, 4);
        s.connect_ext = true;
        s.ext = Feed{Wave::Square, 0, 250.0};
        s.block = o.block_size;
        applyScenario(in, s);
        in.run(88200);
        const std::string at = std::string(w.name) + ", " + s.text();
        checkOneOutstanding(t, in, at);
        const int n = checkCaptures(t, in, scenarioExpectations(in, s), at);
        if (w.policy != AckPolicy::Drop) t.check(n > 1, at + ": only " + std::to_string(n) + " capture(s) in 2 s");
        Canvas c(100, 80, 0);
        paintChecked(t, in, c, 100, 80, at + ", paint");
    }
}

// While a capture awaits its acknowledgement, the audio side leaves it as it
// was sent: the display may read it through the pointer until then. The host
// writes the list fields itself, so those are not compared.
void busyUntouched(TestContext& t) {
    const ModuleLibrary& lib = t.library();
    const std::pair<AckPolicy, int> ways[] = {
        {AckPolicy::Deliver, 0}, {AckPolicy::Hold, 1}, {AckPolicy::Hold, 23}, {AckPolicy::Drop, 0}};
    int compared = 0;
    for (const auto& w : ways) {
        InstanceOptions o = recordingOptions(44100.0f, t.pick(std::vector<int>{64, 333, 1024}));
        o.messages.delivery = Delivery::Queued;
        o.messages.ack = w.first;
        o.messages.ack_hold_blocks = w.second;
        ScopeInstance in(lib, o);
        Scenario s;
        s.block = o.block_size;
        s.trigger = t.uniform(0, 4);
        s.connect_b = true;
        s.b = Feed{Wave::Noise, t.seed(), 100.0};
        s.connect_ext = true;
        s.ext = Feed{Wave::Square, 0, 50.0 + t.uniform(0, 3000)};
        applyScenario(in, s);
        const int lists[] = {pinOf(in, pins::kTrigger), pinOf(in, pins::kTimeMode)};
        const std::string at = "acks " + std::string(w.first == AckPolicy::Drop ? "dropped" : "held " +
                               std::to_string(w.second) + " block(s)") + ", " + s.text();
        for (std::uint64_t done = 0; done < 88200 && !t.failed(); done += static_cast<std::uint64_t>(s.block)) {
            // Settings change under a busy audio side, as a host may do.
            if (t.uniform(0, 5) == 0) {
                const int p = lists[t.uniform(0, 1)];
                if (p >= 0) in.setValue(p, t.pick(std::vector<int>{0, 1, 2, 3, 4, -1, 5}));
            }
            in.processBlock(s.block);
            const auto& records = in.messages().records();
            const auto caps = in.captures();
            if (caps.empty() || caps.back()->slot >= records.size()) continue;
            const Capture& r = *caps.back();
            bool acked = false;
            for (std::size_t i = r.slot + 1; i < records.size(); ++i)
                if (records[i].direction == Direction::ToAudio && records[i].code == zo_message::ack &&
                    records[i].delivered)
                    acked = true;
            if (acked) continue;
            if (r.samples_dropped) continue;
            const T_SCOPE* live = static_cast<const T_SCOPE*>(r.ptr);
            const bool same = live->ScopeSize == r.scope.ScopeSize &&
                              live->Channel_Active[0] == r.scope.Channel_Active[0] &&
                              live->Channel_Active[1] == r.scope.Channel_Active[1] &&
                              std::memcmp(&live->Rate, &r.scope.Rate, 4) == 0 &&
                              std::memcmp(&live->Time, &r.scope.Time, 4) == 0 &&
                              std::memcmp(&live->Y_Scale, &r.scope.Y_Scale, 4) == 0 &&
                              (r.samples.empty() || (live->Samples && std::memcmp(live->Samples, r.samples.data(),
                                                                                    r.samples.size() * 4) == 0));
            t.check(same, at + ": the capture sent at clock " + std::to_string(r.clock) +
                              " changed before its acknowledgement arrived (now at clock " +
                              std::to_string(in.clock()) + ")");
            ++compared;
        }
    }
    t.check(compared > 0, "no block ran while a capture awaited its acknowledgement");
}

}  // namespace

void addMessageTests(std::vector<TestCase>& out) {
    out.push_back({"messages.data_sizes", "\"data\" of sizes 0, 31, 33, huge, no payload; captures of every length",
                   &dataSizes, Profile::Scope});
    out.push_back({"messages.unknown_codes", "unknown message codes to either side change nothing", &unknownCodes});
    out.push_back({"messages.acks", "\"ack\" awaited by nothing, with data, in storms", &acks, Profile::Scope});
    out.push_back({"messages.no_display", "an audio side without a display: one capture outstanding at most",
                   &noDisplay, Profile::Scope});
    out.push_back({"messages.display_lifetimes", "data after the display is gone, before it exists", &displayLifetimes, Profile::Scope});
    out.push_back({"messages.queued", "delivery between blocks; acks held or dropped", &queued, Profile::Scope});
    out.push_back({"messages.busy_untouched", "a capture stays as sent until its acknowledgement arrives",
                   &busyUntouched, Profile::Scope});
}

}  // namespace zohost::validate
