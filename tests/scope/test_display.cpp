// The display side's lifecycle and its end of the hand-off, through the host
// core with the built module.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "GuiModule.h"
#include "ModuleFixture.h"

using namespace zotest;
using zohost::Instance;
using zohost::ScopeInstance;
using zohost::InstanceOptions;
using zohost::Side;

namespace {

InstanceOptions displayOnly() {
    InstanceOptions o;
    o.audio = false;
    return o;
}

GuiModule& display(const Instance& in) {
    return *static_cast<GuiModule*>(static_cast<ZOGUI_base*>(in.displayRecord()->object));
}

const T_SCOPE& shown(const Instance& in) { return display(in).scope(); }

std::vector<zolong> displayOpcodes(const Instance& in) {
    std::vector<zolong> out;
    for (const auto& e : in.log().entries())
        if (e.side == Side::Display) out.push_back(e.opcode);
    return out;
}

TEST(Display, ConstructionSendsItsThreeRequestsInOrder) {
    ScopeInstance in(moduleLibrary(), displayOnly());
    EXPECT_EQ(displayOpcodes(in), (std::vector<zolong>{zo_request::gui_construct_3, zo_request::gui_construct_11,
                                                       zo_request::gui_construct_13}));
    const auto& e = in.log().entries();
    EXPECT_EQ(e[0].index, 100);
    EXPECT_EQ(e[0].value, 200);
    EXPECT_EQ(e[2].index, 1);
    const T_SCOPE& s = shown(in);
    EXPECT_EQ(s.ScopeSize, 100);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(s.Samples[i], 0.0f);
    EXPECT_EQ(in.destroyDisplay(), 1);
    EXPECT_EQ(displayOpcodes(in), (std::vector<zolong>{zo_request::gui_construct_3, zo_request::gui_construct_11,
                                                       zo_request::gui_construct_13})) << "destruction sends nothing";
}

TEST(Display, HandleAnswersWhatTheHostAnswers) {
    for (zolong handle : {0x4242, -7}) {
        InstanceOptions o = displayOnly();
        o.window_handle = handle;
        Instance in(moduleLibrary(), o);
        EXPECT_EQ(display(in).Handle(), handle);
        EXPECT_EQ(in.log().count(Side::Display, zo_request::gui_handle), 1u);
    }
}

struct Message {
    T_SCOPE scope{};
    std::vector<float> samples;
    explicit Message(int n) : samples(2 * static_cast<std::size_t>(n)) {
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.001f * static_cast<float>(i) - 0.2f;
        scope.Samples = samples.data();
        scope.ScopeSize = n;
        scope.Rate = 22050.0f;
        scope.Time = 3.0f;
        scope.Y_Scale = 4.0f;
        scope.Channel_Active[0] = true;
        scope.Channel_Active[1] = true;
        scope.X_Y_Mode = 2;
        scope.Trigger = 1;
        scope.Volt_Oktave = 0;
    }
};

TEST(Display, CopiesACaptureThenAcknowledgesThenAsksForRepaint) {
    ScopeInstance in(moduleLibrary(), displayOnly());
    Message m(250);
    in.log().clear();
    in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &m.scope);
    const T_SCOPE& s = shown(in);
    ASSERT_EQ(s.ScopeSize, 250);
    EXPECT_NE(s.Samples, m.samples.data());
    EXPECT_EQ(std::memcmp(s.Samples, m.samples.data(), 500 * sizeof(float)), 0);
    EXPECT_EQ(s.Volt_Oktave, 1) << "the time mode is the display's own";
    EXPECT_EQ(s.X_Y_Mode, 2);
    EXPECT_EQ(s.Rate, 22050.0f);
    EXPECT_EQ(displayOpcodes(in), (std::vector<zolong>{2, 0}));
    const auto ack = in.log().find(Side::Display, zo_request::gui_send_to_audio)[0];
    EXPECT_EQ(ack.value, SCOPE_MSG_ACK);
    EXPECT_EQ(ack.index, 0);
    EXPECT_EQ(ack.ptr, nullptr);
    EXPECT_EQ(in.repaints(), 1);
}

TEST(Display, WrongSizeResetsAndIsStillAcknowledged) {
    const zolong sizes[] = {0, 31, 33, static_cast<zolong>(sizeof(T_SCOPE)) - 1, INTPTR_MAX, -1};
    for (zolong size : sizes) {
        ScopeInstance in(moduleLibrary(), displayOnly());
        Message m(250);
        in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &m.scope);
        in.log().clear();
        in.displayCall(zo_gui_op::module_msg, size, SCOPE_MSG_DATA, &m.scope);
        const T_SCOPE& s = shown(in);
        EXPECT_EQ(s.ScopeSize, 100) << size;
        EXPECT_EQ(s.X_Y_Mode, 0);
        EXPECT_FALSE(s.Channel_Active[0]);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(s.Samples[i], 0.0f);
        EXPECT_EQ(displayOpcodes(in), (std::vector<zolong>{2, 0})) << size;
    }
    ScopeInstance in(moduleLibrary(), displayOnly());
    in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, nullptr);  // no record to read
    EXPECT_EQ(shown(in).ScopeSize, 100);
}

TEST(Display, EmptyCaptureLeavesNoSamples) {
    ScopeInstance in(moduleLibrary(), displayOnly());
    Message m(0);
    in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &m.scope);
    EXPECT_EQ(shown(in).ScopeSize, 0);
    EXPECT_EQ(shown(in).Samples, nullptr);
    EXPECT_EQ(in.log().count(Side::Display, zo_request::gui_send_to_audio), 1u);
}

TEST(Messages, OtherCodesAreIgnoredOnBothSides) {
    ScopeInstance in(moduleLibrary());
    in.setValue("Trigger", 0);
    Message m(10);
    in.log().clear();
    for (zolong code : std::vector<zolong>{0, 1, 0x61746165, SCOPE_MSG_ACK, -1})
        in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), code, &m.scope);
    EXPECT_TRUE(displayOpcodes(in).empty());
    EXPECT_EQ(shown(in).ScopeSize, 100);
    // The audio side: only "ack" clears its busy flag, and an ack while not
    // busy changes nothing.
    for (zolong code : std::vector<zolong>{0, SCOPE_MSG_DATA, 0x006B6362})
        EXPECT_EQ(in.audioCall(zo_audio_op::gui_notify, 0, code, nullptr), 0);
    EXPECT_EQ(in.audioCall(zo_audio_op::gui_notify, 0, SCOPE_MSG_ACK, nullptr), 0);
    EXPECT_TRUE(displayOpcodes(in).empty());
}

TEST(Messages, DataReachesTheDisplayWithItsPointerUnchanged) {
    for (auto delivery : {zohost::Delivery::Immediate, zohost::Delivery::Queued}) {
        InstanceOptions o;
        o.block_size = 100;
        o.messages.delivery = delivery;
        ScopeInstance in(moduleLibrary(), o);
        in.setSignal("Signal A", zohost::Signal::constant(0.5f));
        in.setValue("Trigger", 0);
        in.run(1000);
        const auto caps = captures(in);
        ASSERT_GE(caps.size(), 3u);
        EXPECT_EQ(shown(in).ScopeSize, 100);
        EXPECT_EQ(shown(in).Samples[0], 0.5f);
        EXPECT_TRUE(shown(in).Channel_Active[0]);
        for (const auto& r : in.messages().records())
            if (r.code == SCOPE_MSG_DATA) {
                EXPECT_EQ(r.size, static_cast<zolong>(sizeof(T_SCOPE)));
            }
        EXPECT_GE(in.repaints(), static_cast<int>(caps.size()) - 1);
    }
}

}  // namespace

// The host's reader of a sent record takes the flag bytes as bytes: 2 and
// 0x80 are active, 0 is not (no bool is loaded from them).
TEST(Messages, HostReadsAnyNonzeroFlagByteAsActive) {
    const unsigned char flags[][2] = {{2, 0x80}, {0, 0x80}, {0xFF, 0}};
    zohost::CaptureRecorder recorder;
    float samples[2] = {0.25f, -0.5f};
    for (const auto& f : flags) {
        T_SCOPE record{};
        record.Samples = samples;
        record.ScopeSize = 1;
        std::memcpy(reinterpret_cast<unsigned char*>(&record) + offsetof(T_SCOPE, Channel_Active), f, 2);
        zohost::MessageRecord m{};
        m.direction = zohost::Direction::ToDisplay;
        m.code = SCOPE_MSG_DATA;
        m.size = sizeof(T_SCOPE);
        m.ptr = &record;
        recorder.sent(m, 0);
        const zohost::Capture& c = *recorder.captures().back();
        for (int ch = 0; ch < 2; ++ch) EXPECT_EQ(c.scope.Channel_Active[ch] != 0, f[ch] != 0) << int(f[ch]);
        EXPECT_EQ(c.sample(1, 0), -0.5f);
    }
}
