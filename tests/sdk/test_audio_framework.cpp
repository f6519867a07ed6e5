// The audio-side framework through small derived classes: dispatcher table,
// pin creation and binding, events, the processing switch, contracts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "ZOModule_base.h"
#include "ZOPin.h"

namespace {

std::vector<std::string> g_calls;

// An event type that the base class ignores.
constexpr std::int32_t kIgnoredType = 6;

class TestModule : public ZOModule_base {
public:
    explicit TestModule(ZOHostCallback cb = &FakeHost::callback, void* data = nullptr)
        : ZOModule_base(cb, data) {}
    ~TestModule() override { g_calls.push_back("destructor"); }

    std::vector<ZOPinProperties> table;
    float vars[16] = {};
    std::vector<ZOPin*> state_changes;
    std::vector<std::string> midi;
    int delayed_calls = 0;
    std::vector<std::pair<zolong, zolong>> processed;

    bool getPinProperties(zolong index, ZOPinProperties* p) override {
        if (index < 0 || index >= static_cast<zolong>(table.size())) return false;
        const std::int32_t flags = p->flags;
        *p = table[index];
        if (table[index].flags == -1) p->flags = flags;
        return true;
    }
    void open() override { ZOModule_base::open(); }
    void close() override { g_calls.push_back("close"); }
    void Resume() override { g_calls.push_back("Resume"); }
    void VoiceReset(int v) override { g_calls.push_back("VoiceReset " + std::to_string(v)); }
    void OnGuiNotify(int id, int size, void* data) override {
        g_calls.push_back("OnGuiNotify " + std::to_string(id) + " " + std::to_string(size) + " " +
                          std::to_string(reinterpret_cast<std::uintptr_t>(data)));
    }
    void OnPlugStateChange(ZOPin* pin) override {
        state_changes.push_back(pin);
        status_seen.push_back(pin->getStatus());
    }
    void OnMidiData(std::uint32_t ts, std::uint32_t msg, short value) override {
        midi.push_back(std::to_string(ts) + " " + std::to_string(msg) + " " + std::to_string(value));
    }
    void delayed() { ++delayed_calls; }
    void routineA(zolong o, zolong c) { processed.push_back({o, c}); }
    void routineB(zolong o, zolong c) { processed.push_back({-o, -c}); }

    std::vector<state_type> status_seen;
    using ZOModule_base::m_pins;
};

ZOPinProperties pin(EPlugDataType type, void* var, std::int32_t flags = 0,
                    std::int32_t direction = DR_IN) {
    ZOPinProperties p{};
    p.variable_address = var;
    p.data_type = type;
    p.flags = flags;
    p.direction = direction;
    p.name = "p";
    return p;
}

zolong dispatch(ZOModule_base* m, zolong opcode, zolong index = 0, zolong value = 0,
                void* ptr = nullptr, float opt = 0.0f) {
    ZOMod_struct_base2* r = m->getRecord();
    return r->dispatcher(r, opcode, index, value, ptr, opt);
}

TEST(AudioDispatcher, DefaultsAndRateAndBlockSize) {
    FakeHost host;
    TestModule m;
    EXPECT_EQ(m.getSampleRate(), 44100.0f);
    EXPECT_EQ(m.getBlockSize(), 1024);
    EXPECT_EQ(dispatch(&m, zo_audio_op::set_sample_rate, 77, 88, nullptr, 48000.0f), 0);
    EXPECT_EQ(m.getSampleRate(), 48000.0f);
    EXPECT_EQ(dispatch(&m, zo_audio_op::set_block_size, 5, 256), 0);
    EXPECT_EQ(m.getBlockSize(), 256);
    EXPECT_TRUE(host.requests.empty()) << "the constructor and these opcodes send nothing";
}

TEST(AudioDispatcher, UnknownAndInertOpcodesAnswerZeroAndChangeNothing) {
    FakeHost host;
    TestModule m;
    const ZOMod_struct_base2 before = *m.getRecord();
    g_calls.clear();
    std::vector<zolong> ops = {zo_audio_op::nothing_4, zo_audio_op::nothing_5, zo_audio_op::nothing_9,
                               zo_audio_op::nothing_11, zo_audio_op::count, 1000, -1};
    // Where a long is 64 bits, an opcode is unknown by its full width: every
    // known opcode with a high word set, above or below zero, does nothing.
    if (sizeof(zolong) > 4)
        for (std::uint64_t k = zo_audio_op::open; k < zo_audio_op::count; ++k)
            for (std::uint64_t high : {std::uint64_t{1} << 32, ~std::uint64_t{0} << 32, std::uint64_t{1} << 63})
                ops.push_back(static_cast<zolong>(high | k));
    for (zolong op : ops)
        EXPECT_EQ(dispatch(&m, op, 1, 2, &m, 3.0f), 0) << op;
    EXPECT_EQ(std::memcmp(&before, m.getRecord(), sizeof before), 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_TRUE(host.requests.empty()) << "not opened, not asked for anything";
    EXPECT_EQ(m.getSampleRate(), 44100.0f);
    EXPECT_EQ(m.getBlockSize(), 1024);
}

TEST(AudioDispatcher, ResumeAndVoiceReset) {
    FakeHost host;
    TestModule m;
    const struct {
        zolong index;
        std::vector<std::string> calls;
    } cases[] = {{0, {"Resume"}}, {-4, {"Resume"}}, {3, {"Resume", "VoiceReset 3"}}};
    for (const auto& c : cases) {
        g_calls.clear();
        EXPECT_EQ(dispatch(&m, zo_audio_op::resume, c.index), 0);
        EXPECT_EQ(g_calls, c.calls) << c.index;
    }
}

TEST(AudioDispatcher, GuiNotifyTakesValueThenIndex) {
    FakeHost host;
    TestModule m;
    g_calls.clear();
    dispatch(&m, zo_audio_op::gui_notify, 32, zo_message::data, reinterpret_cast<void*>(0x40));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0], "OnGuiNotify 1635017060 32 64");
}

TEST(AudioDispatcher, CloseRunsBeforeDestructorAndAnswersOne) {
    FakeHost host;
    auto* m = new TestModule;
    host.answers[zo_request::pin_count] = [](zolong) { return 2; };
    m->table = {pin(DT_INT, nullptr), pin(DT_INT, nullptr)};
    dispatch(m, zo_audio_op::open);
    g_calls.clear();
    EXPECT_EQ(dispatch(m, zo_audio_op::close), 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"close", "destructor"}));
}

TEST(AudioDispatcher, InfoRecordDescribesTheLastObjectAsked) {
    FakeHost host;
    TestModule a, b;
    const auto* ia = reinterpret_cast<const ZoModuleInfo*>(dispatch(&a, zo_audio_op::info));
    const auto* ib = reinterpret_cast<const ZoModuleInfo*>(dispatch(&b, zo_audio_op::info));
    ASSERT_EQ(ia, ib);
    EXPECT_EQ(ib->word0, zo_info::word0);
    EXPECT_EQ(ib->word1, zo_info::word1);
    EXPECT_EQ(ib->word3, zo_info::word3);
    EXPECT_EQ(ib->sub_process, &b.getSubProcess());
    EXPECT_EQ(ib->sub_process->RawPointer(), b.getRecord()->process);
}

TEST(AudioDispatcher, PinFlagContract) {
    FakeHost host;
    ContractCatcher catcher;
    TestModule m;
    const struct {
        std::int32_t flags;
        std::int32_t direction;
        bool violates;
    } cases[] = {
        {0, DR_IN, false},
        {IO_PATCH_STORE, DR_IN, true},
        {IO_PATCH_STORE, DR_OUT, false},
        {IO_PATCH_STORE | IO_PRIVATE, DR_IN, false},
        {IO_PATCH_STORE | IO_UI_COMMUNICATION, DR_IN, false},
        {IO_PATCH_STORE | IO_REPEATING, DR_PARAMETER, true},
    };
    for (const auto& c : cases) {
        ContractCatcher::reports().clear();
        m.table = {pin(DT_FSAMPLE, nullptr, c.flags, c.direction)};
        ZOPinProperties out{};
        EXPECT_EQ(dispatch(&m, zo_audio_op::pin_properties, 0, 0, &out), 1);
        ASSERT_EQ(ContractCatcher::reports().size(), c.violates ? 1u : 0u) << c.flags;
        if (c.violates) {
            EXPECT_EQ(ContractCatcher::reports()[0].expression,
                      "(((ZOPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
                      "(((ZOPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
                      "((ZOPinProperties*)ptr)->direction == DR_OUT || ( ( "
                      "(ZOPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0");
            EXPECT_EQ(ContractCatcher::reports()[0].source, "ZOModule_base");
            EXPECT_GT(ContractCatcher::reports()[0].line, 0);
        }
    }
    // An index the class does not describe answers 0; the host's record is
    // not cleared by the dispatcher.
    ContractCatcher::reports().clear();
    ZOPinProperties out{};
    out.flags = 0x7;
    EXPECT_EQ(dispatch(&m, zo_audio_op::pin_properties, 5, 0, &out), 0);
    EXPECT_EQ(out.flags, 0x7);
}

TEST(AudioDispatcher, ForbiddenOpcodesReportFalse) {
    FakeHost host;
    ContractCatcher catcher;
    TestModule m;
    EXPECT_EQ(dispatch(&m, zo_audio_op::forbidden_7), 0);
    EXPECT_EQ(dispatch(&m, zo_audio_op::forbidden_10), 0);
    ASSERT_EQ(ContractCatcher::reports().size(), 2u);
    for (const auto& r : ContractCatcher::reports()) {
        EXPECT_EQ(r.expression, "false");
        EXPECT_EQ(r.source, "ZOModule_base");
    }
}

TEST(AudioFramework, RecordWords) {
    FakeHost host;
    int data = 0;
    TestModule m(&FakeHost::callback, &data);
    const auto* r = m.getRecord();
    EXPECT_EQ(std::memcmp(r, "LPOZ", 4), 0);
    EXPECT_EQ(r->version, 1);
    EXPECT_EQ(r->host_data, &data);
    EXPECT_EQ(r->object, static_cast<ZOModule_base*>(&m));
    EXPECT_EQ(r->reserved0, 0);
    for (zolong w : r->reserved) EXPECT_EQ(w, 0);
    EXPECT_EQ(r->process, ZoSubProcess::of<&ZOModule_base::process_idle>().RawPointer());
    r->process(r->object, 0, 100);  // idle: harmless
    EXPECT_NE(r->event_handler, nullptr);
}

TEST(AudioFramework, NullHostCallbackAnswersZero) {
    TestModule m(nullptr);
    const zolong requests[] = {zo_request::pin_status, zo_request::pin_connected, zo_request::sample_clock,
                               zo_request::pin_buffer, zo_request::pin_count, zo_request::send_to_gui,
                               zo_request::add_event, zo_request::process_changed, 99};
    for (zolong op : requests)
        EXPECT_EQ(m.CallHost(op, 1, 2, nullptr, 0.0f), 0);
    EXPECT_EQ(m.SampleClock(), 0u);
    m.setSubProcess<&TestModule::routineA>();
    EXPECT_EQ(m.getRecord()->process, ZoSubProcess::of<&TestModule::routineA>().RawPointer());
    dispatch(&m, zo_audio_op::open);  // open with no host: no pins
    EXPECT_EQ(m.m_pins, nullptr);
}

struct OpenCase {
    const char* name;
    zolong host_count;
    std::vector<std::int32_t> flags;  // per description
    std::vector<int> bound_to;        // description bound at each position, -1 own storage
    std::vector<zolong> buffer_requests;
};

TEST(PinOpening, BindsPositionsToDescriptions) {
    const OpenCase cases[] = {
        {"eight plain", 8, {0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7}, {}},
        {"gui-only description takes no position", 3, {0, IO_UI_COMMUNICATION, 0, 0}, {0, 2, 3}, {}},
        {"gui pin with dsp pin takes one", 3,
         {0, IO_UI_COMMUNICATION | IO_UI_WITH_DSP_PIN, 0}, {0, 1, 2}, {}},
        {"repeating last fills the rest", 5, {0, IO_REPEATING}, {0, 1, -1, -1, -1}, {2, 3, 4}},
        {"host count smaller than table", 1, {0, 0, 0}, {0}, {}},
        {"host count zero", 0, {0, 0}, {}, {}},
        {"unfilled positions stay inert", 4, {0, 0}, {0, 1, -2, -2}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        static float buffers[8][4];
        host.answers[zo_request::pin_count] = [&](zolong) { return c.host_count; };
        host.answers[zo_request::pin_buffer] = [](zolong i) {
            return reinterpret_cast<zolong>(buffers[i]);
        };
        TestModule m;
        for (std::size_t i = 0; i < c.flags.size(); ++i)
            m.table.push_back(pin(DT_FSAMPLE, &m.vars[i], c.flags[i]));
        dispatch(&m, zo_audio_op::open);
        EXPECT_EQ(host.requests.front().opcode, zo_request::pin_count);
        EXPECT_EQ(m.getPinCount(), c.host_count > 0 ? c.host_count : 0);
        if (c.host_count <= 0) {
            EXPECT_EQ(m.m_pins, nullptr);
        }
        for (std::size_t p = 0; p < c.bound_to.size(); ++p) {
            ZOPin* pin = m.getPin(static_cast<int>(p));
            const int b = c.bound_to[p];
            if (b == -2) {
                EXPECT_EQ(pin->getModule(), nullptr) << p;
                EXPECT_EQ(pin->getVariablePtr(), nullptr) << p;
                continue;
            }
            EXPECT_EQ(pin->getModule(), &m);
            EXPECT_EQ(pin->getIndex(), static_cast<int>(p));
            EXPECT_EQ(pin->getDataType(), DT_FSAMPLE);
            if (b >= 0) {
                EXPECT_EQ(pin->getVariablePtr(), &m.vars[b]) << p;
            } else {
                ASSERT_NE(pin->getVariablePtr(), nullptr);
                EXPECT_EQ(*static_cast<float**>(pin->getVariablePtr()), buffers[p]) << p;
            }
        }
        std::vector<zolong> asked;
        for (const auto& r : host.with(zo_request::pin_buffer)) asked.push_back(r.index);
        EXPECT_EQ(asked, c.buffer_requests);
        for (const auto& r : host.requests)
            EXPECT_TRUE(r.opcode == zo_request::pin_count || r.opcode == zo_request::pin_buffer);
    }
}

TEST(PinOpening, EmptyTableAsksForIndexMinusOne) {
    FakeHost host;
    host.answers[zo_request::pin_count] = [](zolong) { return 2; };
    struct Probe : TestModule {
        std::vector<zolong> asked;
        bool getPinProperties(zolong index, ZOPinProperties* p) override {
            asked.push_back(index);
            return TestModule::getPinProperties(index, p);
        }
    } m;
    dispatch(&m, zo_audio_op::open);
    EXPECT_EQ(m.asked, (std::vector<zolong>{0, -1}));
    EXPECT_EQ(m.getPin(0)->getModule(), nullptr);
}

TEST(PinOpening, OwnStorageByDataType) {
    FakeHost host;
    host.answers[zo_request::pin_count] = [](zolong) { return 5; };
    TestModule m;
    m.table = {pin(DT_ENUM, nullptr), pin(DT_CHAR, nullptr), pin(DT_INT, nullptr),
               pin(static_cast<EPlugDataType>(9), nullptr), pin(DT_ENUM, &m.vars[0])};
    dispatch(&m, zo_audio_op::open);
    for (int p : {0, 1, 2}) {
        ASSERT_NE(m.getPin(p)->getVariablePtr(), nullptr);
        EXPECT_EQ(*static_cast<std::int32_t*>(m.getPin(p)->getVariablePtr()), 0);
    }
    EXPECT_EQ(m.getPin(3)->getVariablePtr(), nullptr);
    EXPECT_EQ(m.getPin(4)->getVariablePtr(), &m.vars[0]);
}

TEST(Pins, StatusConnectionValueAndMidi) {
    FakeHost host;
    ContractCatcher catcher;
    host.answers[zo_request::pin_count] = [](zolong) { return 2; };
    zolong connected = -1;
    host.answers[zo_request::pin_connected] = [&](zolong) { return connected; };
    host.answers[zo_request::pin_buffer_clock] = [](zolong) { return 1000; };
    zolong clock = 1003;
    host.answers[zo_request::sample_clock] = [&](zolong) { return clock; };
    TestModule m;
    float* buffer_var = nullptr;
    float buffer[8] = {0, 1, 2, 3.5f, 4, 5, 6, 7};
    m.table = {pin(DT_FSAMPLE, &buffer_var), pin(DT_INT, nullptr)};
    dispatch(&m, zo_audio_op::set_block_size, 0, 8);
    dispatch(&m, zo_audio_op::open);
    buffer_var = buffer;
    ZOPin* p0 = m.getPin(0);

    EXPECT_TRUE(p0->IsConnected()) << "-1 counts as connected";
    connected = 0;
    EXPECT_FALSE(p0->IsConnected());
    EXPECT_EQ(p0->getValue(), 3.5f);
    clock = 1000 + 8;  // outside the block: silence, not a wild read
    EXPECT_EQ(p0->getValue(), 0.0f);
    EXPECT_TRUE(ContractCatcher::reports().empty());

    EXPECT_EQ(m.getPin(1)->getValue(), 0.0f);
    ASSERT_EQ(ContractCatcher::reports().size(), 1u);
    EXPECT_EQ(ContractCatcher::reports()[0].expression, "m_datatype == DT_FSAMPLE");
    EXPECT_EQ(ContractCatcher::reports()[0].source, "ZOPin");

    p0->OnStatusUpdate(1);
    p0->OnStatusUpdate(2);
    EXPECT_EQ(m.status_seen, (std::vector<state_type>{1, 2}));
    EXPECT_EQ(p0->getStatus(), 2);
    p0->OnStatusUpdate(1);
    EXPECT_EQ(p0->getStatus(), 0);

    host.requests.clear();
    p0->TransmitStatusChange(55, 3);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].opcode, zo_request::pin_status);
    EXPECT_EQ(host.requests[0].value, 3);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(host.requests[0].ptr), 55u);

    ContractCatcher::reports().clear();
    clock = 500;
    host.requests.clear();
    p0->TransmitMIDI(499, 0x90);
    EXPECT_EQ(ContractCatcher::reports().size(), 1u);
    EXPECT_EQ(ContractCatcher::reports()[0].expression, "sampleclock >= m_module->SampleClock()");
    EXPECT_TRUE(host.with(zo_request::pin_midi).empty()) << "a refused message is not sent";
    p0->TransmitMIDI(500, 0x90);
    ASSERT_EQ(host.with(zo_request::pin_midi).size(), 1u);
    EXPECT_EQ(host.with(zo_request::pin_midi)[0].value, 0x90);
}

TEST(Events, AddEventAndRunDelayed) {
    FakeHost host;
    ContractCatcher catcher;
    zolong clock = 100;
    host.answers[zo_request::sample_clock] = [&](zolong) { return clock; };
    TestModule m;
    m.AddEvent(100, kIgnoredType, 1, 2, nullptr);
    m.AddEvent(99, kIgnoredType, 1, 2, nullptr);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].time_stamp, 100u);
    EXPECT_EQ(host.events[0].next, nullptr);
    ASSERT_EQ(ContractCatcher::reports().size(), 1u);
    EXPECT_EQ(ContractCatcher::reports()[0].expression, "p_time_stamp >= SampleClock()");

    host.events.clear();
    m.RunDelayed<&TestModule::delayed>(120);
    ASSERT_EQ(host.events.size(), 1u);
    const ZoEvent e = host.events[0];
    EXPECT_EQ(e.type, zo_event::delayed_call);
    EXPECT_EQ(e.int_value1, 0);
    EXPECT_EQ(e.int_value2, 0);
    EXPECT_EQ(e.ptr_value,
              reinterpret_cast<void*>(ZoDelayedCall::of<&TestModule::delayed>().RawPointer()));

    clock = 120;
    ZoEvent delivered = e;
    m.getRecord()->event_handler(m.getRecord()->object, &delivered);
    EXPECT_EQ(m.delayed_calls, 1);
}

TEST(Events, DeliveryByType) {
    FakeHost host;
    ContractCatcher catcher;
    zolong clock = 7;
    host.answers[zo_request::sample_clock] = [&](zolong) { return clock; };
    host.answers[zo_request::pin_count] = [](zolong) { return 2; };
    TestModule m;
    m.table = {pin(DT_INT, nullptr), pin(DT_INT, nullptr)};
    dispatch(&m, zo_audio_op::open);
    auto deliver = [&](ZoEvent e) { m.getRecord()->event_handler(m.getRecord()->object, &e); };

    deliver(ZoEvent(7, zo_event::pin_status, 1, 0, reinterpret_cast<void*>(1)));
    ASSERT_EQ(m.state_changes.size(), 1u);
    EXPECT_EQ(m.state_changes[0], m.getPin(1));
    EXPECT_EQ(m.status_seen[0], 1);
    EXPECT_EQ(m.getPin(1)->getStatus(), 0);

    deliver(ZoEvent(7, zo_event::midi, 0x90, 0x12345, nullptr));
    deliver(ZoEvent(7, zo_event::midi, 0x80, 0xFFFF, nullptr));
    EXPECT_EQ(m.midi, (std::vector<std::string>{"7 144 9029", "7 128 -1"}));

    const std::size_t before = m.state_changes.size();
    for (std::int32_t type : {kIgnoredType, 99}) deliver(ZoEvent(7, type, 1, 0, reinterpret_cast<void*>(1)));
    EXPECT_EQ(m.state_changes.size(), before);
    EXPECT_TRUE(ContractCatcher::reports().empty());

    deliver(ZoEvent(8, kIgnoredType, 0, 0, nullptr));
    ASSERT_EQ(ContractCatcher::reports().size(), 1u);
    EXPECT_EQ(ContractCatcher::reports()[0].expression, "e->time_stamp == SampleClock()");
}

TEST(Events, HostileEventsAreRefusedSafely) {
    FakeHost host;
    ContractCatcher catcher;
    host.answers[zo_request::pin_count] = [](zolong) { return 1; };
    TestModule m;
    m.table = {pin(DT_INT, nullptr)};
    auto deliver = [&](ZoEvent e) { m.getRecord()->event_handler(m.getRecord()->object, &e); };

    deliver(ZoEvent(0, zo_event::pin_status, 1, 0, reinterpret_cast<void*>(0)));  // no pins yet
    EXPECT_EQ(ContractCatcher::reports().back().expression, "m_pins != 0");
    dispatch(&m, zo_audio_op::open);
    deliver(ZoEvent(0, zo_event::pin_status, 1, 0, reinterpret_cast<void*>(5)));  // no such position
    deliver(ZoEvent(0, zo_event::pin_status, 1, 0, reinterpret_cast<void*>(-3)));
    // A forged delayed call: an address this library never handed out.
    deliver(ZoEvent(0, zo_event::delayed_call, 0, 0, reinterpret_cast<void*>(&dispatch)));
    deliver(ZoEvent(0, zo_event::delayed_call, 0, 0, nullptr));
    EXPECT_TRUE(m.state_changes.empty());
    EXPECT_EQ(m.delayed_calls, 0);
    EXPECT_EQ(ContractCatcher::reports().size(), 5u);
}

TEST(ProcessSwitch, RequestOnlyWhenRoutineChangesAfterRecordUpdate) {
    FakeHost host;
    TestModule m;
    const auto routineA = ZoSubProcess::of<&TestModule::routineA>().RawPointer();
    zo_process_word seen_at_request = nullptr;
    host.on_request = [&](const FakeRequest& r) {
        if (r.opcode == zo_request::process_changed)
            seen_at_request = m.getRecord()->process;
    };
    m.setSubProcess<&TestModule::routineA>();
    EXPECT_EQ(host.with(zo_request::process_changed).size(), 1u);
    EXPECT_EQ(seen_at_request, routineA);
    m.setSubProcess<&TestModule::routineA>();
    EXPECT_EQ(host.with(zo_request::process_changed).size(), 1u);
    m.setSubProcess<&TestModule::routineB>();
    EXPECT_EQ(host.with(zo_request::process_changed).size(), 2u);

    auto* r = m.getRecord();
    r->process(r->object, 3, 4);
    m.getSubProcess()(&m, 5, 6);
    EXPECT_EQ(m.processed, (std::vector<std::pair<zolong, zolong>>{{-3, -4}, {-5, -6}}));
}

TEST(Contracts, GetPinWithoutPinsIsSafe) {
    FakeHost host;
    ContractCatcher catcher;
    TestModule m;
    ZOPin* p = m.getPin(0);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->IsConnected());
    EXPECT_EQ(p->getModule(), nullptr);
    ASSERT_EQ(ContractCatcher::reports().size(), 1u);
    EXPECT_EQ(ContractCatcher::reports()[0].expression, "m_pins != 0");
    EXPECT_EQ(ContractCatcher::reports()[0].source, "ZOModule_base");
    EXPECT_TRUE(host.requests.empty());
}

}  // namespace
