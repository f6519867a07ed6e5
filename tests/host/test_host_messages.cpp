// Messages between the two objects: immediate, queued, held and dropped
// acknowledgements, the host's own acknowledgement, and the records kept.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FakeFixture.h"
#include "ScopeCaptures.h"

using namespace zohost;

namespace {

// "P<n>" processing call n of the audio object, "D<size>" display module_msg,
// "A<code>" audio gui_notify with "ack" shown as "ack".
std::string flow(const std::vector<FakeCall>& calls) {
    std::string s;
    int p = 0;
    for (const FakeCall& c : calls) {
        std::string item;
        if (c.kind == FK_PROCESS) item = "P" + std::to_string(p++);
        else if (c.kind == FK_GUI_OP && c.opcode == zo_gui_op::module_msg) item = "D" + std::to_string(c.index);
        else if (c.kind == FK_AUDIO_OP && c.opcode == zo_audio_op::gui_notify)
            item = c.value == SCOPE_MSG_ACK ? "ack" : "A" + std::to_string(c.value);
        else continue;
        s += (s.empty() ? "" : " ") + item;
    }
    return s;
}

}  // namespace

class HostMessages : public FakeModuleTest {
protected:
    void SetUp() override {
        FakeModuleTest::SetUp();
        fake->send_at_call = 1;  // the second block sends its scope record
        fake->scope_size = 5;
        fake->gui_acks = 1;
        fake->gui_repaints = 1;
    }
    std::string runFlow(Instance& inst, int blocks) {
        for (int i = 0; i < blocks; ++i) inst.processBlock(16);
        return flow(calls({FK_PROCESS, FK_GUI_OP, FK_AUDIO_OP}));
    }
    static MessageOptions immediate() {
        MessageOptions m;
        m.delivery = Delivery::Immediate;
        return m;
    }
    static InstanceOptions with(MessageOptions m) {
        InstanceOptions o;
        o.block_size = 16;
        o.messages = m;
        return o;
    }
    const std::string D = "D" + std::to_string(sizeof(T_SCOPE));
};

TEST_F(HostMessages, ImmediateDeliveryHappensInsideTheSendersRequest) {
    Instance inst(library, with(immediate()));
    // Delivered and acknowledged before the sending block has ended.
    EXPECT_EQ(runFlow(inst, 2), "P0 P1 " + D + " ack");
    EXPECT_EQ(runFlow(inst, 1), "P0 P1 " + D + " ack P2");
    FakeCall d = guiOps(zo_gui_op::module_msg)[0];
    EXPECT_EQ(d.value, SCOPE_MSG_DATA);
    // Unchanged envelope: the display gets the sender's own record.
    const RequestEntry sent = inst.log().find(Side::Audio, zo_request::send_to_gui)[0];
    EXPECT_EQ(d.ptr, sent.ptr);
    FakeCall a = audioOps(zo_audio_op::gui_notify)[0];
    EXPECT_EQ(a.index, 0);
    EXPECT_EQ(a.ptr, nullptr);
    EXPECT_EQ(inst.repaints(), 1);

    ASSERT_EQ(inst.messages().records().size(), 2u);
    const MessageRecord& data = inst.messages().records()[0];
    EXPECT_EQ(data.direction, Direction::ToDisplay);
    EXPECT_EQ(data.fate, Fate::Delivered);
    EXPECT_TRUE(data.delivered);
    EXPECT_EQ(data.clock, 16u);
    EXPECT_EQ(data.block, 2u);
    const MessageRecord& ack = inst.messages().records()[1];
    EXPECT_EQ(ack.direction, Direction::ToAudio);
    EXPECT_EQ(ack.code, SCOPE_MSG_ACK);
    EXPECT_EQ(ack.fate, Fate::Delivered);
}

TEST_F(HostMessages, CapturesAreCopiedWhenSent) {
    ScopeInstance inst(library, with(immediate()));
    inst.run(48);
    std::vector<const Capture*> caps = inst.captures();
    ASSERT_EQ(caps.size(), 1u);
    const Capture& c = *caps[0];
    EXPECT_EQ(c.scope.ScopeSize, 5);
    EXPECT_EQ(c.scope.Samples, nullptr);
    ASSERT_EQ(c.samples.size(), 10u);
    // The fake overwrote its samples with -1 right after sending.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(c.sample(0, i), 1000.0f + static_cast<float>(i));
        EXPECT_FLOAT_EQ(c.sample(1, i), 1005.0f + static_cast<float>(i));
    }
    EXPECT_FLOAT_EQ(c.sample(2, 0), 0.0f);
    EXPECT_FLOAT_EQ(c.sample(0, 5), 0.0f);
}

TEST_F(HostMessages, CaptureSamplesAreKeptWithinABudget) {
    fake->gui_acks = 0;
    ScopeInstance inst(library, with(immediate()), 15);
    inst.open();
    float samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    T_SCOPE scope{};
    scope.Samples = samples;
    scope.ScopeSize = 4;
    for (int i = 0; i < 2; ++i)
        request(inst.audioRecord(), zo_request::send_to_gui, sizeof scope, SCOPE_MSG_DATA, &scope, 0.0f);
    scope.ScopeSize = -3;  // a wild size is not followed
    request(inst.audioRecord(), zo_request::send_to_gui, sizeof scope, SCOPE_MSG_DATA, &scope, 0.0f);
    std::vector<const Capture*> caps = inst.captures();
    ASSERT_EQ(caps.size(), 3u);
    EXPECT_EQ(caps[0]->samples.size(), 8u);
    EXPECT_FALSE(caps[0]->samples_dropped);
    EXPECT_TRUE(caps[1]->samples.empty());
    EXPECT_TRUE(caps[1]->samples_dropped);
    EXPECT_EQ(caps[1]->scope.ScopeSize, 4);
    EXPECT_TRUE(caps[2]->samples.empty());
    // Clearing the records frees the budget.
    inst.messages().clearRecords();
    request(inst.audioRecord(), zo_request::send_to_gui, sizeof scope, SCOPE_MSG_DATA, &scope, 0.0f);
    scope.ScopeSize = 4;
    request(inst.audioRecord(), zo_request::send_to_gui, sizeof scope, SCOPE_MSG_DATA, &scope, 0.0f);
    EXPECT_EQ(inst.captures()[1]->samples.size(), 8u);
    // Other sizes or codes are recorded without a capture.
    request(inst.audioRecord(), zo_request::send_to_gui, sizeof scope - 1, SCOPE_MSG_DATA, &scope, 0.0f);
    request(inst.audioRecord(), zo_request::send_to_gui, sizeof scope, SCOPE_MSG_ACK, &scope, 0.0f);
    EXPECT_EQ(inst.messages().records().size(), 4u);
    EXPECT_EQ(inst.captures().size(), 2u);
}

TEST_F(HostMessages, QueuedDeliveryWaitsForTheNextBlockAndCarriesACopy) {
    Instance inst(library, with(MessageOptions()));  // queued unless chosen otherwise
    inst.processBlock(16);
    inst.processBlock(16);
    EXPECT_EQ(inst.messages().pending(), 1u);
    EXPECT_TRUE(guiOps(zo_gui_op::module_msg).empty());
    // The ack is queued during delivery and still arrives before the block.
    EXPECT_EQ(runFlow(inst, 1), "P0 P1 " + D + " ack P2");
    FakeCall d = guiOps(zo_gui_op::module_msg)[0];
    const RequestEntry sent = inst.log().find(Side::Audio, zo_request::send_to_gui)[0];
    EXPECT_NE(d.ptr, sent.ptr);
    T_SCOPE original;
    std::memcpy(&original, sent.ptr, sizeof original);
    EXPECT_EQ(std::memcmp(d.bytes, &original, 16), 0);
    const MessageRecord& data = inst.messages().records()[0];
    EXPECT_EQ(data.fate, Fate::Queued);
    EXPECT_TRUE(data.delivered);
    EXPECT_EQ(data.clock, 16u);
    EXPECT_EQ(data.delivered_clock, 32u);
    EXPECT_EQ(inst.messages().pending(), 0u);
}

TEST_F(HostMessages, QueuedPayloadsAreHostCopiesValidUntilDelivery) {
    MessageOptions m = immediate();
    m.delivery = Delivery::Queued;
    fake->gui_acks = 0;
    Instance inst(library, with(m));
    inst.open();
    char text[] = "hello";
    request(inst.audioRecord(), zo_request::send_to_gui, 5, 0x74786574, text, 0.0f);
    std::memcpy(text, "XXXXX", 5);
    char empty = 'e';
    request(inst.audioRecord(), zo_request::send_to_gui, 0, 1, &empty, 0.0f);
    request(inst.audioRecord(), zo_request::send_to_gui, 0, 2, nullptr, 0.0f);
    inst.deliverMessages();
    std::vector<FakeCall> got = guiOps(zo_gui_op::module_msg);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[0].bytes), 5), "hello");
    EXPECT_EQ(got[0].index, 5);
    EXPECT_EQ(got[0].value, 0x74786574);
    EXPECT_NE(got[1].ptr, nullptr);
    EXPECT_NE(got[1].ptr, &empty);
    EXPECT_EQ(got[2].ptr, nullptr);
}

TEST_F(HostMessages, OversizedQueuedPayloadsAreNotDelivered) {
    MessageOptions m = immediate();
    m.delivery = Delivery::Queued;
    m.payload_limit = 4;
    Instance inst(library, with(m));
    inst.open();
    char text[] = "hello";
    request(inst.audioRecord(), zo_request::send_to_gui, 5, 1, text, 0.0f);
    inst.deliverMessages();
    EXPECT_TRUE(guiOps(zo_gui_op::module_msg).empty());
    EXPECT_EQ(inst.messages().records()[0].fate, Fate::TooLarge);
}

TEST_F(HostMessages, AcksCanBeHeldForBlocksOrDropped) {
    struct Case {
        AckPolicy policy;
        int hold;
        Delivery delivery;
        std::string want;
        Fate fate;
    } cases[] = {
        {AckPolicy::Hold, 0, Delivery::Immediate, "P0 P1 D ack P2 P3 P4 P5", Fate::Held},
        {AckPolicy::Hold, 2, Delivery::Immediate, "P0 P1 D P2 P3 ack P4 P5", Fate::Held},
        {AckPolicy::Hold, 2, Delivery::Queued, "P0 P1 D P2 P3 ack P4 P5", Fate::Held},
        {AckPolicy::Drop, 0, Delivery::Immediate, "P0 P1 D P2 P3 P4 P5", Fate::Dropped},
        {AckPolicy::Deliver, 0, Delivery::Queued, "P0 P1 D ack P2 P3 P4 P5", Fate::Queued},
    };
    for (const Case& c : cases) {
        fake->call_count = 0;
        MessageOptions m = immediate();
        m.ack = c.policy;
        m.ack_hold_blocks = c.hold;
        m.delivery = c.delivery;
        Instance inst(library, with(m));
        std::string got = runFlow(inst, 6);
        std::string want = c.want;
        want.replace(want.find(" D"), 2, " " + D);
        EXPECT_EQ(got, want) << static_cast<int>(c.policy) << " hold " << c.hold;
        ASSERT_EQ(inst.messages().records().size(), 2u);
        EXPECT_EQ(inst.messages().records()[1].fate, c.fate);
        EXPECT_EQ(inst.messages().records()[1].delivered, c.fate != Fate::Dropped);
    }
}

TEST_F(HostMessages, WithoutDisplayTheHostCanAcknowledgeDataItself) {
    for (bool self_ack : {false, true}) {
        fake->call_count = 0;
        MessageOptions m = immediate();
        m.self_ack_without_display = self_ack;
        InstanceOptions o = with(m);
        o.display = false;
        Instance inst(library, o);
        EXPECT_EQ(runFlow(inst, 3), self_ack ? "P0 P1 ack P2" : "P0 P1 P2");
        EXPECT_EQ(inst.messages().records()[0].fate, self_ack ? Fate::SelfAcked : Fate::NoReceiver);
        // Only "data" is acknowledged by the host.
        request(inst.audioRecord(), zo_request::send_to_gui, 0, 0x1234, nullptr, 0.0f);
        EXPECT_EQ(audioOps(zo_audio_op::gui_notify).size(), self_ack ? 1u : 0u);
    }
}

TEST_F(HostMessages, DisplayMessagesOtherThanAckAreCarriedUnchanged) {
    Instance inst(library, with(immediate()));
    inst.open();
    int payload = 42;
    request(inst.displayRecord(), zo_request::gui_send_to_audio, 4, 0x55, &payload, 0.0f);
    FakeCall a = audioOps(zo_audio_op::gui_notify).back();
    EXPECT_EQ(a.index, 4);
    EXPECT_EQ(a.value, 0x55);
    EXPECT_EQ(a.ptr, &payload);
}

TEST_F(HostMessages, RecordingCanBeBoundedOrOff) {
    MessageOptions m = immediate();
    m.record_limit = 1;
    Instance bounded(library, with(m));
    bounded.run(48);
    EXPECT_EQ(bounded.messages().records().size(), 1u);
    EXPECT_EQ(bounded.messages().recordsDropped(), 1u);
    bounded.messages().clearRecords();
    EXPECT_TRUE(bounded.messages().records().empty());

    m.record = false;
    Instance off(library, with(m));
    EXPECT_EQ(runFlow(off, 3).find("ack") != std::string::npos, true);
    EXPECT_TRUE(off.messages().records().empty());
}

TEST_F(HostMessages, PendingMessagesDieWithTheirReceiver) {
    MessageOptions m = immediate();
    m.delivery = Delivery::Queued;
    Instance inst(library, with(m));
    inst.processBlock(16);
    inst.processBlock(16);
    EXPECT_EQ(inst.messages().pending(), 1u);
    inst.destroyDisplay();
    EXPECT_EQ(inst.messages().pending(), 0u);
    inst.processBlock(16);
    EXPECT_TRUE(guiOps(zo_gui_op::module_msg).empty());
}
