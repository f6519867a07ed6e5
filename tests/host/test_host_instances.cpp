// Instances: finding the instance from either record, several side by side,
// creation and destruction order, the display requests and painting.
#include <gtest/gtest.h>

#include <cstring>

#include "FakeFixture.h"

using namespace zohost;

using HostInstances = FakeModuleTest;

TEST_F(HostInstances, RecordsCarryTheInstanceAndTheCallbackTellsThemApart) {
    Instance inst(library);
    EXPECT_EQ(inst.audioRecord()->host_data, &inst);
    EXPECT_EQ(inst.displayRecord()->host_data, &inst);
    inst.open();
    request(inst.displayRecord(), zo_request::gui_repaint, 0, 0, nullptr, 0.0f);
    // Request 1 means "connected" to the audio side and "handle" to the display side.
    EXPECT_EQ(request(inst.audioRecord(), zo_request::pin_connected, 2, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(request(inst.displayRecord(), zo_request::gui_handle, 0, 0, nullptr, 0.0f),
              inst.options().window_handle);
    const std::vector<RequestEntry>& log = inst.log().entries();
    ASSERT_GE(log.size(), 3u);
    const RequestEntry& last = log.back();
    EXPECT_EQ(last.side, Side::Display);
    EXPECT_EQ(last.record, inst.displayRecord());
    EXPECT_EQ(log[log.size() - 2].side, Side::Audio);
    EXPECT_EQ(inst.repaints(), 1);
}

TEST_F(HostInstances, RecordsWithAForeignMagicAreAnsweredWithZero) {
    Instance inst(library);
    ZOMod_struct_base2 forged = *inst.audioRecord();
    forged.magic = 0x12345678;
    std::size_t before = inst.log().size();
    EXPECT_EQ(Instance::hostCallback(&forged, zo_request::pin_count, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(Instance::hostCallback(nullptr, zo_request::pin_count, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(inst.log().size(), before);
    forged.magic = ZO_MAGIC_AUDIO;
    EXPECT_EQ(Instance::hostCallback(&forged, zo_request::pin_count, 0, 0, nullptr, 0.0f), 6);
}

TEST_F(HostInstances, TwoInstancesSideBySideKeepTheirOwnState) {
    InstanceOptions oa, ob;
    oa.block_size = 8;
    ob.block_size = 8;
    ob.pin_count = 3;
    ob.start_clock = 5000;
    fake->send_at_call = 0;
    fake->scope_size = 2;
    fake->gui_acks = 1;
    Instance a(library, oa);
    Instance b(library, ob);
    a.processBlock(8);
    b.processBlock(8);
    b.processBlock(8);
    a.processBlock(8);
    // serials: a's audio 1, display 2; b's audio 3, display 4
    std::vector<FakeCall> pa = calls({FK_PROCESS}, 1), pb = calls({FK_PROCESS}, 3);
    ASSERT_EQ(pa.size(), 2u);
    ASSERT_EQ(pb.size(), 2u);
    EXPECT_EQ(pa[1].clock, 8u);
    EXPECT_EQ(pb[1].clock, 5008u);
    EXPECT_EQ(pa[0].buffer7[0], reinterpret_cast<zolong>(a.buffer(0)));
    EXPECT_EQ(pb[0].buffer7[0], reinterpret_cast<zolong>(b.buffer(0)));
    EXPECT_EQ(audioOps(zo_audio_op::open)[0].answers[0], 6);
    EXPECT_EQ(audioOps(zo_audio_op::open)[1].answers[0], 3);
    // Each capture went to its own display and came back to its own audio object.
    EXPECT_EQ(calls({FK_GUI_OP}, 2).size(), 1u);
    EXPECT_EQ(calls({FK_GUI_OP}, 4).size(), 1u);
    EXPECT_EQ(a.messages().records().size(), 2u);
    EXPECT_EQ(b.messages().records().size(), 2u);
    for (const RequestEntry& e : a.log().entries())
        EXPECT_TRUE(e.record == a.audioRecord() || e.record == a.displayRecord());
    for (const RequestEntry& e : b.log().entries())
        EXPECT_TRUE(e.record == b.audioRecord() || e.record == b.displayRecord());
}

TEST_F(HostInstances, CreationOrderAndRequestsDuringCreation) {
    for (bool display_first : {false, true}) {
        fake->objects_made = 0;
        InstanceOptions o;
        o.display_first = display_first;
        Instance inst(library, o);
        auto audio_serial = [&] { return calls({FK_AUDIO_OP}).back().object; };
        inst.open();
        EXPECT_EQ(audio_serial(), display_first ? 2 : 1);
        // The display asked the host while it was being made; the log has it.
        std::vector<RequestEntry> construct = inst.log().find(Side::Display, zo_request::gui_construct_3);
        ASSERT_EQ(construct.size(), 1u);
        EXPECT_EQ(construct[0].index, 100);
        EXPECT_EQ(construct[0].value, 200);
        EXPECT_EQ(construct[0].record, inst.displayRecord());
        fake->call_count = 0;
    }
}

TEST_F(HostInstances, DestructionSendsOpcodeOneInOrderAndStopsTouchingRecords) {
    for (bool display_first : {false, true}) {
        fake->call_count = 0;
        {
            InstanceOptions o;
            o.destroy_display_first = display_first;
            Instance inst(library, o);
            inst.processBlock(16);
            fake->call_count = 0;
            inst.destroy();
            EXPECT_EQ(inst.audioCloseAnswer(), 1);
            EXPECT_EQ(inst.displayCloseAnswer(), 1);
            EXPECT_EQ(inst.audioRecord(), nullptr);
            EXPECT_EQ(inst.displayRecord(), nullptr);
            EXPECT_EQ(inst.audioCall(zo_audio_op::info), 0);
            EXPECT_EQ(inst.displayCall(zo_gui_op::idle), 0);
            EXPECT_THROW(inst.processBlock(16), std::logic_error);
        }
        ASSERT_EQ(fake->call_count, 2);  // nothing after the two close calls
        EXPECT_EQ(fake->calls[0].kind, display_first ? FK_GUI_OP : FK_AUDIO_OP);
        EXPECT_EQ(fake->calls[1].kind, display_first ? FK_AUDIO_OP : FK_GUI_OP);
        const zolong closes[] = {zo_audio_op::close, zo_gui_op::close};
        EXPECT_EQ(fake->calls[0].opcode, closes[display_first]);
        EXPECT_EQ(fake->calls[1].opcode, closes[!display_first]);
        EXPECT_EQ(fake->objects_alive, 0);
    }
}

TEST_F(HostInstances, RawOpcodeOneEndsTheObjectToo) {
    Instance inst(library);
    EXPECT_EQ(inst.audioCall(zo_audio_op::close), 1);
    EXPECT_FALSE(inst.hasAudio());
    EXPECT_EQ(inst.displayCall(zo_gui_op::close), 1);
    EXPECT_FALSE(inst.hasDisplay());
    EXPECT_EQ(fake->objects_alive, 0);
}

TEST_F(HostInstances, OptionalObjects) {
    InstanceOptions no_display;
    no_display.display = false;
    Instance audio_only(library, no_display);
    EXPECT_EQ(audio_only.displayRecord(), nullptr);
    audio_only.processBlock(8);

    InstanceOptions no_audio;
    no_audio.audio = false;
    Instance display_only(library, no_audio);
    EXPECT_EQ(display_only.pinCount(), 0);
    EXPECT_THROW(display_only.processBlock(8), std::logic_error);
    EXPECT_THROW(display_only.open(), std::logic_error);

    InstanceOptions bad_index;
    bad_index.module_index = 1;
    EXPECT_THROW(Instance(library, bad_index), std::runtime_error);
    EXPECT_EQ(fake->objects_alive, 2);  // the two above; nothing left over
}

TEST_F(HostInstances, DisplayRequestsAreAnsweredAndLogged) {
    InstanceOptions o;
    o.window_handle = 0x4242;
    o.capture_answer = -1;
    Instance inst(library, o);
    struct Case {
        zolong opcode;
        zolong answer;
        bool known;
    } cases[] = {{zo_request::gui_repaint, 0, true},
                 {zo_request::gui_handle, 0x4242, true},
                 {zo_request::gui_construct_3, 0, true},
                 {zo_request::gui_add_plug, 0, true},
                 {zo_request::gui_construct_11, 0, true},
                 {zo_request::gui_construct_13, 0, true},
                 {zo_request::gui_set_capture, 0, true},
                 {zo_request::gui_release_capture, 0, true},
                 {zo_request::gui_get_capture, -1, true},
                 {99, 0, false},
                 {-4, 0, false}};
    for (const Case& c : cases) {
        inst.log().clear();
        EXPECT_EQ(request(inst.displayRecord(), c.opcode, 0, 0, nullptr, 0.0f), c.answer) << c.opcode;
        ASSERT_EQ(inst.log().size(), 1u);
        EXPECT_EQ(inst.log().entries()[0].known, c.known) << c.opcode;
        EXPECT_EQ(inst.log().entries()[0].answer, c.answer);
    }
    EXPECT_EQ(inst.unknownRequests(), 2);
}

TEST_F(HostInstances, AudioRequestsWithoutMeaningAreAnsweredZeroAndLogged) {
    Instance inst(library);
    inst.open();
    for (zolong op : {2, 5, 9, 23, -1}) {
        inst.log().clear();
        EXPECT_EQ(request(inst.audioRecord(), op, 1, 2, nullptr, 0.5f), 0);
        ASSERT_EQ(inst.log().size(), 1u);
        EXPECT_FALSE(inst.log().entries()[0].known);
        EXPECT_FLOAT_EQ(inst.log().entries()[0].opt, 0.5f);
    }
    EXPECT_EQ(inst.unknownRequests(), 5);
    // Status and MIDI are recorded with what they carried.
    inst.log().clear();
    request(inst.audioRecord(), zo_request::pin_status, 3, 2, reinterpret_cast<void*>(77), 0.0f);
    request(inst.audioRecord(), zo_request::pin_midi, 1, 0x90, reinterpret_cast<void*>(12), 0.0f);
    ASSERT_EQ(inst.log().size(), 2u);
    EXPECT_TRUE(inst.log().entries()[0].known);
    EXPECT_EQ(inst.log().entries()[0].ptr, reinterpret_cast<void*>(77));
    EXPECT_EQ(inst.log().entries()[1].value, 0x90);
    EXPECT_EQ(request(inst.audioRecord(), zo_request::pin_connected, 40, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(request(inst.audioRecord(), zo_request::pin_buffer, -1, 0, nullptr, 0.0f), 0);
}

TEST_F(HostInstances, PaintHandsOverTheContextAndFillsTheFontRecord) {
    InstanceOptions o;
    o.window_context = 0x77;
    o.text_colour = 0x00123456;
    o.background = -1;
    o.font_height = 15;
    Instance inst(library, o);
    HDC dc = reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0xD0D0));
    EXPECT_EQ(inst.paint(dc, 320, 200), 0);
    EXPECT_EQ(inst.paint(dc, 100, 50), 0);
    std::vector<FakeCall> paints = guiOps(zo_gui_op::paint);
    ASSERT_EQ(paints.size(), 2u);
    const FakeCall& p = paints[0];
    EXPECT_EQ(p.index, reinterpret_cast<zolong>(dc));
    EXPECT_EQ(p.ptr, &inst.windowInfo());
    EXPECT_EQ(p.window.width, 320);
    EXPECT_EQ(p.window.height, 200);
    EXPECT_EQ(p.window.context, 0x77);
    EXPECT_EQ(paints[1].window.width, 100);
    // The three font words are filled; the others stay as the display left them.
    const std::int32_t untouched = static_cast<std::int32_t>(0xEEEEEEEE);
    EXPECT_EQ(p.font_record[0], untouched);
    EXPECT_EQ(p.font_record[zo_font::text_colour_word], 0x00123456);
    EXPECT_EQ(p.font_record[zo_font::background_word], -1);
    EXPECT_EQ(p.font_record[3], untouched);
    EXPECT_EQ(p.font_record[zo_font::height_word], 15);
    EXPECT_EQ(p.font_record[5], untouched);
    EXPECT_NE(p.answers[0], 0);
    EXPECT_EQ(paints[1].answers[0], p.answers[0]);  // one font per height
    EXPECT_EQ(inst.lastFontContext(), 0x77);
    EXPECT_EQ(inst.fontRequests(), 2);
    std::vector<RequestEntry> fonts = inst.log().find(Side::Display, zo_request::gui_font);
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(fonts[0].value), "tty");
}

TEST_F(HostInstances, FontDefaults) {
    Instance inst(library);
    inst.paint(nullptr, 10, 10);
    const FakeCall p = guiOps(zo_gui_op::paint)[0];
    EXPECT_EQ(p.font_record[zo_font::text_colour_word], 0x00FFFFFF);
    EXPECT_EQ(p.font_record[zo_font::background_word], 0);
    EXPECT_EQ(p.font_record[zo_font::height_word], 12);
}

TEST_F(HostInstances, RequestLogCanBeSwitchedOffAndBounded) {
    InstanceOptions o;
    o.log_requests = false;
    Instance quiet(library, o);
    quiet.run(4096);
    EXPECT_EQ(quiet.log().size(), 0u);

    Instance bounded(library);
    bounded.log().setLimit(5);
    bounded.run(4096);
    EXPECT_EQ(bounded.log().size(), 5u);
    EXPECT_GT(bounded.log().dropped(), 0u);
}
