// The scope record's free functions: sizes from the time settings, limits,
// resizing with and without keeping samples, and the receiving copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "scopedata.h"

namespace {

struct Scope {
    T_SCOPE s{};
    Scope() {
        DefaultScope(&s);
        CreateScope(&s, GetScopeSize(&s));
    }
    ~Scope() { DeleteScope(&s); }
};

float bits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

TEST(ScopeRecord, DefaultsAndFreshStorage) {
    T_SCOPE s{};
    s.Samples = nullptr;
    DefaultScope(&s);
    EXPECT_EQ(s.Samples, nullptr) << "defaulting leaves storage alone";
    EXPECT_EQ(s.ScopeSize, 100);
    EXPECT_EQ(s.Rate, bits(0x472C4400));
    EXPECT_EQ(s.Time, bits(0x40A00000));
    EXPECT_EQ(s.Y_Scale, bits(0x3F800000));
    EXPECT_EQ(s.X_Y_Mode, 0);
    EXPECT_EQ(s.Trigger, 3);
    EXPECT_EQ(s.Volt_Oktave, 1);
    EXPECT_FALSE(s.Channel_Active[0]);
    EXPECT_FALSE(s.Channel_Active[1]);
    CreateScope(&s, 100);
    ASSERT_NE(s.Samples, nullptr);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(s.Samples[i], 0.0f);
    DeleteScope(&s);
    EXPECT_EQ(s.Samples, nullptr);
    EXPECT_EQ(s.ScopeSize, 100) << "size is left as it was";
    DeleteScope(&s);  // twice is harmless
}

TEST(ScopeRecord, SizesAt44100InEveryTimeMode) {
    const float times[] = {0.0f, 0.5f, 1.0f, 5.0f, 10.0f};
    const int expected[5][4] = {
        {44100, 3207, 1, 1},       {88, 2267, 2205, 500},   {44, 1603, 4410, 1000},
        {8, 100, 22050, 5000},     {4, 3, 44100, 10000},
    };
    Scope sc;
    for (int t = 0; t < 5; ++t)
        for (int mode = 0; mode < 4; ++mode) {
            sc.s.Time = times[t];
            sc.s.Volt_Oktave = static_cast<std::int16_t>(mode);
            EXPECT_EQ(TimeToScopeSize(&sc.s), expected[t][mode]) << "time " << times[t] << " mode " << mode;
        }
    sc.s.Volt_Oktave = 7;  // unknown modes count as tenths of a second
    sc.s.Time = 1.0f;
    EXPECT_EQ(TimeToScopeSize(&sc.s), 4410);
}

TEST(ScopeRecord, SizesStayInBoundsForHostileRatesAndTimes) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float rate, time;
        std::int16_t mode;
        int size;
    } cases[] = {
        {0.0f, 5.0f, 1, 1},       {-44100.0f, 5.0f, 1, 1},  {nan, 5.0f, 1, 1},
        {1e30f, 5.0f, 1, 44100},  {inf, 5.0f, 2, 44100},    {0.0f, 5.0f, 3, 1},
        {0.0f, 0.0f, 3, 1},       {44100.0f, 1e-30f, 0, 44100}, {44100.0f, nan, 0, 44100},
        {44100.0f, nan, 1, 1},    {44100.0f, nan, 2, 1},    {44100.0f, -1.0f, 0, 44100},
        {1.0f, 10.0f, 2, 1},      {384000.0f, 10.0f, 2, 44100},
    };
    Scope sc;
    for (const auto& c : cases) {
        sc.s.Rate = c.rate;
        sc.s.Time = c.time;
        sc.s.Volt_Oktave = c.mode;
        EXPECT_EQ(TimeToScopeSize(&sc.s), c.size) << c.rate << " " << c.time << " " << c.mode;
    }
}

TEST(ScopeRecord, LimitsOfTimeAndScale) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float in, out;
    } cases[] = {{0.35f, 3.5f}, {-0.2f, 0.0f}, {1.7f, 10.0f}, {0.0f, 0.0f}, {1.0f, 10.0f},
                 {inf, 10.0f}, {-inf, 0.0f}, {-0.0f, -0.0f}, {std::nanf(""), std::nanf("")}};
    Scope sc;
    // Bits compared: a NaN stays NaN (neither limit applies), -0 stays -0.
    auto same = [](float a, float b) { return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, 4) == 0; };
    for (const auto& c : cases) {
        SetTime(&sc.s, 0.5f);
        SetTime(&sc.s, c.in);
        EXPECT_TRUE(same(GetTime(&sc.s), c.out)) << c.in << " gave " << GetTime(&sc.s);
        SetY_Scale(&sc.s, 0.5f);
        SetY_Scale(&sc.s, c.in);
        EXPECT_TRUE(same(GetY_Scale(&sc.s), c.out)) << c.in << " gave " << GetY_Scale(&sc.s);
    }
}

TEST(ScopeRecord, AccessOutsideTheRecordIsRefused) {
    Scope sc;
    ASSERT_EQ(SetScope(&sc.s, 1, 99, 7.0f), 0);
    EXPECT_EQ(GetScope(&sc.s, 1, 99), 7.0f);
    EXPECT_EQ(sc.s.Samples[199], 7.0f) << "channel-major";
    const int bad[][2] = {{2, 0}, {-1, 0}, {0, -1}, {0, 100}, {1, 100}};
    for (const auto& b : bad) {
        EXPECT_EQ(GetScope(&sc.s, b[0], b[1]), 0.0f);
        EXPECT_EQ(SetScope(&sc.s, b[0], b[1], 5.0f), -1);
    }
    for (int i = 0; i < 199; ++i) EXPECT_EQ(sc.s.Samples[i], 0.0f);
    DeleteScope(&sc.s);  // storage gone, size still 100: nothing may reach it
    EXPECT_EQ(GetScope(&sc.s, 0, 0), 0.0f);
    EXPECT_EQ(SetScope(&sc.s, 0, 0, 1.0f), -1);
}

void fill(T_SCOPE* s) {
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < s->ScopeSize; ++i) SetScope(s, c, i, static_cast<float>(c * 1000 + i + 1));
}

TEST(ScopeRecord, ExternalTriggerResizeKeepsEachChannelsSamples) {
    Scope sc;
    sc.s.Trigger = 4;
    fill(&sc.s);
    CreateScope(&sc.s, 200);
    ASSERT_EQ(sc.s.ScopeSize, 200);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(GetScope(&sc.s, c, i), i < 100 ? static_cast<float>(c * 1000 + i + 1) : 0.0f);
    CreateScope(&sc.s, 50);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 50; ++i) EXPECT_EQ(GetScope(&sc.s, c, i), static_cast<float>(c * 1000 + i + 1));
}

TEST(ScopeRecord, OtherModesResizeToZeros) {
    for (std::int16_t trigger : {0, 1, 2, 3, 5, -1}) {
        Scope sc;
        sc.s.Trigger = trigger;
        fill(&sc.s);
        CreateScope(&sc.s, 150);
        for (int i = 0; i < 300; ++i) ASSERT_EQ(sc.s.Samples[i], 0.0f) << trigger;
        UpdateScopeSize(&sc.s, 150);  // same size: storage kept
        SetScope(&sc.s, 0, 3, 1.0f);
        UpdateScopeSize(&sc.s, 150);
        EXPECT_EQ(GetScope(&sc.s, 0, 3), 1.0f);
    }
}

TEST(ScopeRecord, EmptyAndImpossibleSizes) {
    Scope sc;
    CreateScope(&sc.s, 0);
    EXPECT_EQ(sc.s.Samples, nullptr);
    EXPECT_EQ(sc.s.ScopeSize, 0);
    CreateScope(&sc.s, -5);
    EXPECT_EQ(sc.s.ScopeSize, 0);
    // Storage that cannot be had leaves no storage and size 0.
    CreateScope(&sc.s, SCOPE_MAX_SIZE + 1);
    EXPECT_EQ(sc.s.Samples, nullptr);
    EXPECT_EQ(sc.s.ScopeSize, 0);
    EXPECT_EQ(SetScope(&sc.s, 0, 0, 1.0f), -1);
}

TEST(ScopeRecord, CopyTakesSamplesAndSettingsButNotTimeMode) {
    Scope src, dst;
    CreateScope(&src.s, 250);
    fill(&src.s);
    src.s.Rate = 48000.0f;
    src.s.Time = 2.5f;
    src.s.Y_Scale = 7.0f;
    src.s.Channel_Active[0] = true;
    src.s.Trigger = 2;
    src.s.X_Y_Mode = 1;
    src.s.Volt_Oktave = 3;
    dst.s.Volt_Oktave = 2;
    CopyScope(&dst.s, &src.s, sizeof(T_SCOPE));
    EXPECT_EQ(dst.s.ScopeSize, 250);
    EXPECT_NE(dst.s.Samples, src.s.Samples);
    EXPECT_EQ(std::memcmp(dst.s.Samples, src.s.Samples, 500 * sizeof(float)), 0);
    EXPECT_EQ(dst.s.Rate, 48000.0f);
    EXPECT_EQ(dst.s.Time, 2.5f);
    EXPECT_EQ(dst.s.Y_Scale, 7.0f);
    EXPECT_TRUE(dst.s.Channel_Active[0]);
    EXPECT_FALSE(dst.s.Channel_Active[1]);
    EXPECT_EQ(dst.s.Trigger, 2);
    EXPECT_EQ(dst.s.X_Y_Mode, 1);
    EXPECT_EQ(dst.s.Volt_Oktave, 2);
}

// A sender's flag bytes are read as bytes: any nonzero one is active, and the
// display's copy holds a plain 1 or 0 (no bool is loaded from them).
TEST(ScopeRecord, CopyReadsAnyNonzeroFlagByteAsActive) {
    const unsigned char flags[][2] = {{2, 0x80}, {0x80, 0}, {0, 0xFF}, {1, 1}, {0, 0}};
    for (const auto& f : flags) {
        Scope src, dst;
        std::memcpy(reinterpret_cast<unsigned char*>(&src.s) + offsetof(T_SCOPE, Channel_Active), f, 2);
        CopyScope(&dst.s, &src.s, sizeof(T_SCOPE));
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(GetChannel_Active(&dst.s, c), f[c] != 0) << int(f[c]);
            unsigned char copied = 0xAA;
            std::memcpy(&copied, reinterpret_cast<const unsigned char*>(&dst.s) + offsetof(T_SCOPE, Channel_Active) + c, 1);
            EXPECT_EQ(copied, f[c] != 0 ? 1 : 0) << int(f[c]);
        }
    }
}

TEST(ScopeRecord, CopyOfWrongSizeOrMissingRecordResets) {
    for (int size : {0, 31, 33, -1, 1 << 30, static_cast<int>(sizeof(T_SCOPE)) + 8}) {
        Scope dst;
        CreateScope(&dst.s, 7);
        fill(&dst.s);
        dst.s.X_Y_Mode = 2;
        dst.s.Y_Scale = 3.0f;
        dst.s.Volt_Oktave = 0;
        CopyScope(&dst.s, nullptr, size);  // nothing may be read
        EXPECT_EQ(dst.s.ScopeSize, 100) << size;
        EXPECT_EQ(dst.s.Volt_Oktave, 1);
        EXPECT_EQ(dst.s.X_Y_Mode, 0);
        EXPECT_EQ(dst.s.Y_Scale, 1.0f);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(dst.s.Samples[i], 0.0f);
    }
    Scope dst;
    CopyScope(&dst.s, nullptr, sizeof(T_SCOPE));
    EXPECT_EQ(dst.s.ScopeSize, 100);
}

TEST(ScopeRecord, CopyOfEmptyCaptureTakesOnlySettings) {
    Scope src, dst;
    CreateScope(&src.s, 0);
    src.s.Rate = 8000.0f;
    CopyScope(&dst.s, &src.s, sizeof(T_SCOPE));
    EXPECT_EQ(dst.s.ScopeSize, 0);
    EXPECT_EQ(dst.s.Samples, nullptr);
    EXPECT_EQ(dst.s.Rate, 8000.0f);
    // A forged record claiming a length it cannot have resets instead.
    src.s.ScopeSize = -3;
    CopyScope(&dst.s, &src.s, sizeof(T_SCOPE));
    EXPECT_EQ(dst.s.ScopeSize, 100);
}

TEST(ScopeRecord, ListFieldsAreBoundByAddress) {
    Scope sc;
    *GetAddressTrigger(&sc.s) = 4;
    *GetAddressX_Y_Mode(&sc.s) = 2;
    *GetAddressVolt_Oktave(&sc.s) = 0;
    EXPECT_EQ(GetTrigger(&sc.s), 4);
    EXPECT_EQ(GetX_Y_Mode(&sc.s), 2);
    EXPECT_EQ(sc.s.Volt_Oktave, 0);
    SetChannel_Active(&sc.s, 1, true);
    EXPECT_TRUE(GetChannel_Active(&sc.s, 1));
    EXPECT_FALSE(GetChannel_Active(&sc.s, 0));
}

TEST(ScopeRecord, TruncationSaturates) {
    const struct {
        double in;
        std::int32_t out;
    } cases[] = {{44100.9, 44100}, {-2.7, -2}, {1e30, INT32_MAX}, {-1e30, INT32_MIN},
                 {std::nan(""), 0}, {std::numeric_limits<double>::infinity(), INT32_MAX}};
    for (const auto& c : cases) EXPECT_EQ(TruncToInt32(c.in), c.out) << c.in;
}

}  // namespace
