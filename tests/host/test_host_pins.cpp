// Pin table reading, pin storage, bound variables, connection answers and
// the buffer requests, against the fake module.
#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "FakeFixture.h"

using namespace zohost;

using HostPins = FakeModuleTest;

TEST_F(HostPins, TableIsReadWithClearedRecordsUntilTheModuleSaysNo) {
    Instance inst(library);
    std::vector<FakeCall> reads = audioOps(zo_audio_op::pin_properties);
    ASSERT_EQ(reads.size(), standardPins().size() + 1);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].index, static_cast<zolong>(i));
        EXPECT_EQ(reads[i].answers[0], 1) << "record not cleared before reading " << i;
    }
    const PinTable& t = inst.pinTable();
    ASSERT_EQ(t.descriptions().size(), standardPins().size());
    EXPECT_EQ(t.descriptions()[2].name, "Mode");
    EXPECT_EQ(t.descriptions()[2].list_text, "Off=0,On=1,Auto");
    EXPECT_EQ(t.descriptions()[2].direction, DR_PARAMETER);
    EXPECT_FALSE(t.descriptions()[3].has_default);
    EXPECT_EQ(inst.pinCount(), 6);
}

TEST_F(HostPins, SetupOrderIsRateBlockTableThenOpen) {
    InstanceOptions o;
    o.sample_rate = 48000.0f;
    o.block_size = 32;
    Instance inst(library, o);
    inst.open();
    std::vector<zolong> opcodes;
    for (const FakeCall& c : calls({FK_AUDIO_OP})) opcodes.push_back(c.opcode);
    std::vector<zolong> want = {2, 3, 6, 6, 6, 6, 6, 6, 6, 0};
    EXPECT_EQ(opcodes, want);
    EXPECT_FLOAT_EQ(audioOps(zo_audio_op::set_sample_rate)[0].opt, 48000.0f);
    EXPECT_EQ(audioOps(zo_audio_op::set_block_size)[0].value, 32);
}

TEST_F(HostPins, PinCountAnswersFollowTheOverride) {
    for (int count : {-1, 0, 2, 9}) {
        fake->call_count = 0;
        InstanceOptions o;
        o.pin_count = count;
        Instance inst(library, o);
        inst.open();
        int want = count < 0 ? 6 : count;
        EXPECT_EQ(audioOps(zo_audio_op::open)[0].answers[0], want);
        EXPECT_EQ(inst.pinCount(), want);
        // Buffers exist for described sample pins only; other positions answer 0.
        inst.processBlock(8);
        FakeCall p = calls({FK_PROCESS}).back();
        for (int pos = 0; pos < 6; ++pos) {
            bool stream = pos < want && (pos == 0 || pos == 1 || pos == 3);
            EXPECT_EQ(p.buffer7[pos] != 0, stream) << "count " << count << " pos " << pos;
            if (pos < want) {
                EXPECT_EQ(p.buffer7[pos], reinterpret_cast<zolong>(inst.buffer(pos)));
            }
        }
    }
}

TEST_F(HostPins, RepeatedSamplePinsGetTheirOwnBuffers) {
    setPins({{"Ctl", DR_IN, DT_ENUM, 0, true, "0", ""}, {"Ch", DR_IN, DT_FSAMPLE, IO_REPEATING, true, "", ""}});
    InstanceOptions o;
    o.pin_count = 5;
    o.block_size = 4;
    Instance inst(library, o);
    inst.processBlock(4);
    FakeCall p = calls({FK_PROCESS}).back();
    EXPECT_EQ(p.buffer7[0], 0);
    std::set<zolong> distinct;
    for (int pos = 1; pos < 5; ++pos) {
        EXPECT_NE(p.buffer7[pos], 0) << pos;
        distinct.insert(p.buffer7[pos]);
    }
    EXPECT_EQ(distinct.size(), 4u);
    EXPECT_EQ(p.buffer7[5], 0);
    EXPECT_EQ(p.bound[0], inst.buffer(1));  // only the described one is bound
    EXPECT_EQ(inst.pinTable().slots()[3].repeated, true);
}

TEST_F(HostPins, BufferAddressesAreWrittenBeforeEveryProcessingCall) {
    fake->scribble = 1;  // the fake spoils its variables after each call
    InstanceOptions o;
    o.block_size = 16;
    Instance inst(library, o);
    inst.setSplitter(BlockSplitter::pattern({5, 0, 3}));
    inst.run(48);
    std::vector<FakeCall> parts = calls({FK_PROCESS});
    ASSERT_GT(parts.size(), 6u);
    for (const FakeCall& c : parts) {
        EXPECT_EQ(c.bound[0], inst.buffer("In A"));
        EXPECT_EQ(c.bound[1], inst.buffer("In B"));
        EXPECT_EQ(c.bound[2], inst.buffer("Out"));
    }
}

TEST_F(HostPins, BufferClockIsTheBlockStartAndTheClockTheCurrentSample) {
    InstanceOptions o;
    o.block_size = 10;
    o.start_clock = 1000;
    Instance inst(library, o);
    inst.setSplitter(BlockSplitter::pattern({4}));
    inst.run(20);
    std::vector<FakeCall> parts = calls({FK_PROCESS});
    // Blocks of 10 cut into 4 + 4 + 2.
    ASSERT_EQ(parts.size(), 6u);
    const zolong offsets[] = {0, 4, 8, 0, 4, 8};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::uint32_t block_start = i < 3 ? 1000u : 1010u;
        EXPECT_EQ(parts[i].offset, offsets[i]);
        EXPECT_EQ(parts[i].buffer_clock, block_start);
        EXPECT_EQ(parts[i].clock, block_start + static_cast<std::uint32_t>(offsets[i]));
    }
    EXPECT_EQ(inst.clock(), 1020u);
}

TEST_F(HostPins, InputsCarryExactSamplesIdleDefaultsAndManualData) {
    InstanceOptions o;
    o.block_size = 8;
    Instance inst(library, o);
    std::vector<float> ramp(24);
    std::iota(ramp.begin(), ramp.end(), 1.0f);
    inst.setSignal("In B", Signal::samples(ramp));
    inst.setSplitter(BlockSplitter::pattern({3}));
    inst.run(24);
    std::vector<FakeCall> parts = calls({FK_PROCESS});
    ASSERT_FALSE(parts.empty());
    for (const FakeCall& c : parts) {
        std::uint32_t clock = c.clock;
        EXPECT_FLOAT_EQ(c.first_sample[1], ramp[clock]) << "clock " << clock;
        EXPECT_FLOAT_EQ(c.first_sample[0], 0.5f);  // default "5" volts, unconnected
    }
    EXPECT_EQ(inst.signal("In B").cursor(), 24u);

    inst.setSignal("In A", Signal::manual());
    inst.buffer("In A")[0] = 7.25f;
    fake->call_count = 0;
    inst.processBlock(8);
    EXPECT_FLOAT_EQ(calls({FK_PROCESS})[0].first_sample[0], 7.25f);
}

TEST_F(HostPins, GeneratorsSeeTheClockOfTheirFirstSample) {
    InstanceOptions o;
    o.block_size = 6;
    o.start_clock = 40;
    Instance inst(library, o);
    std::vector<std::pair<std::uint64_t, int>> asked;
    inst.setSignal(0, Signal::generator([&](std::uint64_t first, float* out, int n) {
        asked.emplace_back(first, n);
        for (int i = 0; i < n; ++i) out[i] = static_cast<float>(first) + static_cast<float>(i) / 10.0f;
    }));
    inst.processBlock(6);
    inst.processBlock(4);
    EXPECT_EQ(asked, (std::vector<std::pair<std::uint64_t, int>>{{40, 6}, {46, 4}}));
    EXPECT_FLOAT_EQ(inst.buffer(0)[3], 46.3f);
}

TEST_F(HostPins, ConnectionAnswersFollowSignalsAndOverrides) {
    Instance inst(library);
    inst.setSignal("In B", Signal::constant(0.1f));
    inst.setSignal("Out", Signal::constant(0.0f));
    inst.setConnected("In A", true);
    inst.setConnected("Out", false);
    inst.open();
    FakeCall open = audioOps(zo_audio_op::open)[0];
    // positions 0..5: In A (forced), In B (signal), Mode, Out (forced off), Byte, Word
    const zolong want[] = {1, 1, 0, 0, 0, 0};
    for (int pos = 0; pos < 6; ++pos) EXPECT_EQ(open.answers[1 + pos], want[pos]) << pos;
    inst.clearConnected("In A");
    EXPECT_FALSE(inst.connected("In A"));
    EXPECT_TRUE(inst.connected(1));
}

TEST_F(HostPins, ValuesAreWrittenOnlyWhenSetAndWhenOpen) {
    InstanceOptions o;
    o.block_size = 4;
    Instance inst(library, o);
    inst.setValue("Mode", 2);  // before open: written right after opening
    inst.processBlock(4);
    FakeCall first = calls({FK_PROCESS}).back();
    EXPECT_EQ(first.list16, 2);
    EXPECT_EQ(first.value8, 0);  // never set, never written
    EXPECT_EQ(first.value32, 0);

    inst.setValue("Byte", -5);
    inst.setValue("Word", 123456789);
    inst.setValue("Mode", 40000);  // kept in 16 bits
    inst.processBlock(4);
    FakeCall second = calls({FK_PROCESS}).back();
    EXPECT_EQ(second.value8, -5);
    EXPECT_EQ(second.value32, 123456789);
    EXPECT_EQ(second.list16, static_cast<std::int16_t>(40000));
    EXPECT_EQ(inst.value("Word"), 123456789);

    EXPECT_THROW(inst.setValue("In A", 1), std::invalid_argument);
    EXPECT_THROW(inst.setValue("Nope", 1), std::out_of_range);
    EXPECT_THROW(inst.setValue(17, 1), std::out_of_range);
}

TEST_F(HostPins, DefaultsComeFromTheDefaultTexts) {
    Instance inst(library);
    inst.applyDefaults();
    inst.processBlock(4);
    FakeCall p = calls({FK_PROCESS}).back();
    EXPECT_EQ(p.list16, 1);
    EXPECT_EQ(p.value8, 7);
    EXPECT_EQ(p.value32, -3);
}

TEST_F(HostPins, BlocksLargerThanTheBuffersAreRefused) {
    InstanceOptions o;
    o.block_size = 8;
    Instance inst(library, o);
    EXPECT_THROW(inst.processBlock(9), std::invalid_argument);
    EXPECT_THROW(inst.processBlock(-1), std::invalid_argument);
    EXPECT_NO_THROW(inst.processBlock(8));
}
