// Command-line sources: their parsing, the waveforms they stand for, block
// filling that agrees with the waveform sample by sample, and pin names
// and list choices resolved against the real module's pin table.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

#include "ScopeProfile.h"
#include "run/PinSetup.h"
#include "run/InputSource.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

using namespace zohost::tool;

TEST(ZohostSources, ParsesEveryKind) {
    struct Case {
        const char* text;
        SourceKind kind;
        const char* word;  // kindName
        double hz, amplitude;
        const char* path;
        int channel;
    } cases[] = {
        {"sine:440", SourceKind::Periodic, "sine", 440, kDefaultAmplitude, "", 1},
        {"sine:440:0.5", SourceKind::Periodic, "sine", 440, 0.5, "", 1},
        {"SINE:1e3:-1", SourceKind::Periodic, "sine", 1000, -1.0, "", 1},
        {"square:100", SourceKind::Periodic, "square", 100, kDefaultAmplitude, "", 1},
        {"saw:12.5:0.25", SourceKind::Periodic, "saw", 12.5, 0.25, "", 1},
        {"triangle:660", SourceKind::Periodic, "triangle", 660, kDefaultAmplitude, "", 1},
        {"noise", SourceKind::Noise, "noise", 0, kDefaultAmplitude, "", 1},
        {"noise:0.1", SourceKind::Noise, "noise", 0, 0.1, "", 1},
        {"dc:-0.3", SourceKind::Dc, "dc", 0, -0.3, "", 1},
        {"off", SourceKind::Off, "off", 0, 0, "", 1},
        {"file:take.wav", SourceKind::File, "file", 0, 0, "take.wav", 1},
        {"file:take.wav:2", SourceKind::File, "file", 0, 0, "take.wav", 2},
        {"file:C:/x.flac", SourceKind::File, "file", 0, 0, "C:/x.flac", 1},
        {"file:a:b.wav:3", SourceKind::File, "file", 0, 0, "a:b.wav", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        InputSource s = parseSource(c.text);
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_STREQ(kindName(s), c.word);
        EXPECT_EQ(s.hz, c.hz);
        EXPECT_EQ(s.amplitude, c.amplitude);
        EXPECT_EQ(s.path, c.path);
        EXPECT_EQ(s.channel, c.channel);
    }
}

TEST(ZohostSources, RejectsMalformedSources) {
    for (const char* text : {"", "sine", "sine:", "sine:-5", "sine:0", "sine:abc", "sine:440:", "sine:440:1:2",
                             "sine: 440", "sine:inf", "square:nan", "noise:x", "noise:1:2", "dc", "dc:1:2",
                             "off:1", "file:", "file::2", "file:x.wav:0", "pulse:3"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parseSource(text), std::invalid_argument);
    }
}

TEST(ZohostSources, WaveformsRiseThroughZeroAtEachPeriodAndKeepTheirShape) {
    const double kTwoPi = 6.283185307179586;
    // 100 Hz at 8000 Hz: 80 samples per period.
    struct Case {
        const char* text;
        std::function<double(double)> shape;  // of the phase in [0, 1)
    } cases[] = {
        {"sine:100:0.5", [&](double p) { return 0.5 * std::sin(kTwoPi * p); }},
        {"square:100:0.5", [](double p) { return p < 0.5 ? 0.5 : -0.5; }},
        {"saw:100:0.5", [](double p) { return p < 0.5 ? p : p - 1.0; }},
        {"triangle:100:0.5", [](double p) { return p < 0.25 ? 2 * p : p < 0.75 ? 1 - 2 * p : 2 * p - 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        InputSource s = parseSource(c.text);
        // A rising zero crossing at clock 0 of each period.
        EXPECT_GE(waveSample(s, 8000.0, 80), 0.0f);
        EXPECT_LT(waveSample(s, 8000.0, 79), 0.0f);
        EXPECT_GT(waveSample(s, 8000.0, 81), 0.0f);
        for (std::uint64_t clock : {0u, 1u, 19u, 20u, 21u, 39u, 40u, 59u, 60u, 79u, 80u, 80001u})
            EXPECT_NEAR(waveSample(s, 8000.0, clock), c.shape(static_cast<double>(clock % 80) / 80.0), 1e-6)
                << clock;
        EXPECT_FLOAT_EQ(waveSample(s, 8000.0, 123), waveSample(s, 8000.0, 123 + 80 * 1000));
    }
    EXPECT_EQ(waveSample(parseSource("dc:0.25"), 8000.0, 99), 0.25f);
}

TEST(ZohostSources, BlocksFillTheSameSamplesAsTheWaveform) {
    // Whole frequencies read a table of one period; others step their phase
    // from exact remainders every 4096 samples: both, a sample is a function
    // of its clock alone, bit for bit, whatever the blocks.
    for (const char* text : {"sine:440", "square:441:0.3", "saw:1000", "triangle:660:-0.7", "dc:0.2", "sine:440.25",
                             "triangle:0.3", "sine:30000"}) {
        SCOPED_TRACE(text);
        InputSource s = parseSource(text);
        zohost::Signal signal = makeSignal(s, 44100.0, 1);
        std::vector<float> block(300, 9.0f);
        // Blocks of any length and start, one after the other, across a 4096 boundary.
        std::uint64_t clock = 3900;
        for (int n : {300, 1, 57, 300}) {
            signal.fill(clock, block.data(), n, 9.0f);
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(block[static_cast<std::size_t>(i)], waveSample(s, 44100.0, clock + static_cast<std::uint64_t>(i)))
                    << "clock " << clock + static_cast<std::uint64_t>(i);
            clock += static_cast<std::uint64_t>(n);
        }
        // Far along the clock, too: an hour in.
        signal.fill(158760000, block.data(), 300, 9.0f);
        EXPECT_EQ(block[299], waveSample(s, 44100.0, 158760299));
        EXPECT_NEAR(block[299], static_cast<float>(s.amplitude) * [&] {
            if (s.kind != SourceKind::Periodic || s.shape != zohost::gen::Shape::Sine) return block[299] / static_cast<float>(s.amplitude);
            return static_cast<float>(std::sin(6.283185307179586 * std::fmod(158760299.0 * s.hz, 44100.0) / 44100.0));
        }(), 1e-5f) << "the table's sine is the library's";
    }
}

TEST(ZohostSources, NoiseStaysInRangeAndRepeatsPerSeed) {
    InputSource s = parseSource("noise:0.5");
    auto take = [&](std::uint64_t seed) {
        zohost::Signal signal = makeSignal(s, 44100.0, seed);
        std::vector<float> v(4096);
        signal.fill(0, v.data(), 2048, 0.0f);
        signal.fill(2048, v.data() + 2048, 2048, 0.0f);
        return v;
    };
    std::vector<float> a = take(1), b = take(1), c = take(2);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    double sum = 0.0, squares = 0.0;
    for (float v : a) {
        ASSERT_GE(v, -0.5f);
        ASSERT_LT(v, 0.5f);
        sum += v;
        squares += static_cast<double>(v) * v;
    }
    // Uniform on [-0.5, 0.5): mean 0, mean square 1/12.
    EXPECT_NEAR(sum / 4096.0, 0.0, 0.02);
    EXPECT_NEAR(squares / 4096.0, 1.0 / 12.0, 0.01);
}

class ZohostPins : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.load(ZO_MODULE_PATH)) << library.error();
        instance = std::make_unique<zohost::Instance>(library);
    }
    const zohost::PinTable& table() const { return instance->pinTable(); }
    zohost::ModuleLibrary library;
    std::unique_ptr<zohost::Instance> instance;
};

TEST_F(ZohostPins, SampleInputsByNameExactOrIgnoringCase) {
    struct Case {
        const char* name;
        int position;
    } cases[] = {{"Signal A", 0}, {"Signal B", 1}, {"Time", 2}, {"Y-Scale", 3}, {"EXT-Trigger", 6},
                 {"signal a", 0}, {"TIME", 2},     {"ext-trigger", 6}};
    for (const Case& c : cases) EXPECT_EQ(findSampleInput(table(), c.name), c.position) << c.name;
    for (const char* bad : {"Signal", "Signal C", "", "Trigger", "Time-Mode", "X-Y-Mode"})
        EXPECT_THROW(findSampleInput(table(), bad), UnknownPin) << bad;
}

TEST_F(ZohostPins, ListChoicesByLabelOrNumber) {
    struct Case {
        const char* pin;
        const char* choice;
        int position, value;
        const char* label;
    } cases[] = {
        {"Trigger", "InputA", 5, 1, "InputA"},  {"Trigger", "ext", 5, 4, "EXT"},
        {"Trigger", "0", 5, 0, "Aus"},          {"trigger", "Auto", 5, 3, "Auto"},
        {"X-Y-Mode", "Y-X", 4, 2, "Y-X"},       {"X-Y-Mode", "1", 4, 1, "X-Y"},
        // An item without "=" takes the number after the one before it.
        {"Time-Mode", "V/1000 Samples", 7, 3, "V/1000 Samples"},
        {"Time-Mode", "3", 7, 3, "V/1000 Samples"},
        {"Time-Mode", "V/zehntel Sek.", 7, 2, "V/zehntel Sek."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pin) + "=" + c.choice);
        ListChoice got = findListChoice(table(), c.pin, c.choice, zohost::scope::scopeProfile());
        EXPECT_EQ(got.position, c.position);
        EXPECT_EQ(got.value, c.value);
        EXPECT_EQ(got.label, c.label);
    }
    struct Bad {
        const char* pin;
        const char* choice;
    } bad[] = {{"Trigger", "5"}, {"Trigger", "-1"}, {"Trigger", ""}, {"Trigger", "Input"},
               {"Trigger", "1x"}, {"Signal A", "0"}, {"Nope", "0"}};
    for (const Bad& b : bad)
        EXPECT_THROW(findListChoice(table(), b.pin, b.choice, zohost::scope::scopeProfile()), UnknownPin) << b.pin << "=" << b.choice;
}
