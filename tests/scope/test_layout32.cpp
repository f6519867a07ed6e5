// On 32-bit targets the records that cross the boundary are read and written
// here as raw bytes at their documented offsets, not through the structures
// that declared them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "GuiModule.h"
#include "Module.h"
#include "ModuleFixture.h"

using namespace zotest;

namespace {

template <typename T>
T at(const unsigned char* bytes, int offset) {
    T v;
    std::memcpy(&v, bytes + offset, sizeof v);
    return v;
}

template <typename T>
void put(unsigned char* bytes, int offset, T v) {
    std::memcpy(bytes + offset, &v, sizeof v);
}

bool is32() { return sizeof(void*) == 4; }

TEST(Layout32, PinDescriptionsAtTheirOffsets) {
    if (!is32()) GTEST_SKIP() << "byte offsets are fixed for 32-bit targets";
    zohost::InstanceOptions o;
    o.display = false;
    zohost::ScopeInstance in(moduleLibrary(), o);
    unsigned char raw[40];
    std::memset(raw, 0xA5, sizeof raw);
    put<std::int32_t>(raw, 24, 0);  // flags and reserved are the caller's
    put<std::int32_t>(raw, 28, 0x11223344);
    ASSERT_EQ(in.audioCall(zo_audio_op::pin_properties, PIN_TRIGGER, 0, raw), 1);
    EXPECT_EQ(at<std::int32_t>(raw, 4), DR_IN) << "direction";
    EXPECT_EQ(at<std::int32_t>(raw, 8), DT_ENUM) << "list type";
    EXPECT_STREQ(reinterpret_cast<const char*>(at<std::uintptr_t>(raw, 12)), "Trigger");
    EXPECT_STREQ(reinterpret_cast<const char*>(at<std::uintptr_t>(raw, 16)), "1");
    EXPECT_STREQ(reinterpret_cast<const char*>(at<std::uintptr_t>(raw, 20)),
                 "Aus=0,InputA=1,InputB=2,Auto=3,EXT=4");
    EXPECT_EQ(at<std::int32_t>(raw, 24), 0);
    EXPECT_EQ(at<std::int32_t>(raw, 28), 0x11223344) << "reserved is not written";
    EXPECT_EQ(at<std::uint32_t>(raw, 32), 0xA5A5A5A5u) << "nothing past the record";
    ASSERT_EQ(in.audioCall(zo_audio_op::pin_properties, PIN_TIME_MODE, 0, raw), 1);
    EXPECT_EQ(at<std::int32_t>(raw, 4), DR_PARAMETER);
}

TEST(Layout32, CaptureRecordReadAtItsOffsets) {
    if (!is32()) GTEST_SKIP() << "byte offsets are fixed for 32-bit targets";
    zohost::InstanceOptions o;
    o.audio = false;
    zohost::ScopeInstance in(moduleLibrary(), o);
    float samples[6] = {0.1f, 0.2f, 0.3f, -0.1f, -0.2f, -0.3f};
    unsigned char raw[32];
    std::memset(raw, 0, sizeof raw);
    put<std::uintptr_t>(raw, 0, reinterpret_cast<std::uintptr_t>(samples));
    raw[4] = 1;
    raw[5] = 0;
    put<std::int32_t>(raw, 8, 3);
    put<float>(raw, 12, 8000.0f);
    put<float>(raw, 16, 2.0f);
    put<float>(raw, 20, 7.5f);
    put<std::int16_t>(raw, 24, 2);
    put<std::int16_t>(raw, 26, 4);
    put<std::int16_t>(raw, 28, 3);
    in.displayCall(zo_gui_op::module_msg, 32, SCOPE_MSG_DATA, raw);
    const T_SCOPE& s =
        static_cast<GuiModule*>(static_cast<ZOGUI_base*>(in.displayRecord()->object))->scope();
    EXPECT_EQ(s.ScopeSize, 3);
    EXPECT_EQ(std::memcmp(s.Samples, samples, sizeof samples), 0);
    EXPECT_TRUE(s.Channel_Active[0]);
    EXPECT_FALSE(s.Channel_Active[1]);
    EXPECT_EQ(s.Rate, 8000.0f);
    EXPECT_EQ(s.Time, 2.0f);
    EXPECT_EQ(s.Y_Scale, 7.5f);
    EXPECT_EQ(s.X_Y_Mode, 2);
    EXPECT_EQ(s.Trigger, 4);
}

TEST(Layout32, CaptureMessageCarriesTheRecordBytes) {
    if (!is32()) GTEST_SKIP() << "byte offsets are fixed for 32-bit targets";
    zohost::InstanceOptions o;
    o.display = false;
    o.messages.self_ack_without_display = true;
    o.block_size = 100;
    o.sample_rate = 22050.0f;
    zohost::ScopeInstance in(moduleLibrary(), o);
    in.setSignal("Signal B", zohost::Signal::constant(0.5f));
    in.setValue("Trigger", 0);
    in.setValue("X-Y-Mode", 1);
    in.processBlock(100);
    ASSERT_FALSE(in.messages().records().empty());
    const auto& r = in.messages().records()[0];
    EXPECT_EQ(r.size, 32);
    // The host copied the record as it was sent; read it as bytes.
    ASSERT_FALSE(in.captures().empty());
    const T_SCOPE& copy = in.captures()[0]->scope;
    const auto* raw = reinterpret_cast<const unsigned char*>(&copy);
    EXPECT_EQ(raw[4], 0);
    EXPECT_EQ(raw[5], 1);
    EXPECT_EQ(at<std::int32_t>(raw, 8), copy.ScopeSize);
    EXPECT_EQ(at<float>(raw, 12), 22050.0f);
    EXPECT_EQ(at<float>(raw, 16), 5.0f);
    EXPECT_EQ(at<float>(raw, 20), 1.0f);
    EXPECT_EQ(at<std::int16_t>(raw, 24), 1);
    EXPECT_EQ(at<std::int16_t>(raw, 26), 0);
}

}  // namespace
