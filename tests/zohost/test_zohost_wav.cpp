// WAV files of each sample format read to the file's own scale, channel by
// channel: the same expectations for libsndfile on Linux and the multimedia
// file functions on Windows. The files are written here byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/SoundFile.h"
#include "app/Tool.h"

namespace {

enum class Kind { Pcm, Float };

struct Format {
    const char* name;
    Kind kind;
    int bits;
    bool extensible;
    double step;  // the smallest step of the format at full scale 1.0
};

void put(std::vector<unsigned char>& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Two channels: channel 0 holds `values`, channel 1 minus their halves.
std::vector<unsigned char> wavOf(const Format& f, const std::vector<double>& values, int rate) {
    const int channels = 2, bytes = f.bits / 8;
    std::vector<unsigned char> data;
    for (double v : values)
        for (double s : {v, -0.5 * v}) {
            if (f.kind == Kind::Float && f.bits == 32) {
                float x = static_cast<float>(s);
                std::uint32_t u;
                std::memcpy(&u, &x, 4);
                put(data, u, 4);
            } else if (f.kind == Kind::Float) {
                std::uint64_t u;
                std::memcpy(&u, &s, 8);
                put(data, u, 8);
            } else if (f.bits == 8) {
                put(data, static_cast<std::uint64_t>(128 + static_cast<int>(s * 128.0)), 1);
            } else {
                const double scale = static_cast<double>(1ull << (f.bits - 1));
                put(data, static_cast<std::uint64_t>(static_cast<std::int64_t>(s * scale)), bytes);
            }
        }
    std::vector<unsigned char> fmt;
    const int tag = f.extensible ? 0xFFFE : f.kind == Kind::Float ? 3 : 1;
    put(fmt, tag, 2);
    put(fmt, channels, 2);
    put(fmt, rate, 4);
    put(fmt, rate * channels * bytes, 4);
    put(fmt, channels * bytes, 2);
    put(fmt, f.bits, 2);
    if (f.extensible) {
        put(fmt, 22, 2);
        put(fmt, f.bits, 2);
        put(fmt, 3, 4);  // front left and right
        // The format's GUID: its tag, then the fixed tail.
        put(fmt, f.kind == Kind::Float ? 3 : 1, 4);
        for (int b : {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) fmt.push_back(static_cast<unsigned char>(b));
    }
    std::vector<unsigned char> out;
    for (char c : std::string("RIFF")) out.push_back(static_cast<unsigned char>(c));
    put(out, 4 + 8 + fmt.size() + 8 + data.size(), 4);
    for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<unsigned char>(c));
    put(out, fmt.size(), 4);
    out.insert(out.end(), fmt.begin(), fmt.end());
    for (char c : std::string("data")) out.push_back(static_cast<unsigned char>(c));
    put(out, data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::string writeFile(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(ZohostWav, EachFormatReadsToItsOwnScaleChannelByChannel) {
    const Format formats[] = {
        {"pcm8", Kind::Pcm, 8, false, 1.0 / 128},
        {"pcm16", Kind::Pcm, 16, false, 1.0 / 32768},
        {"pcm24", Kind::Pcm, 24, false, 1.0 / 8388608},
        {"pcm32", Kind::Pcm, 32, false, 1.0 / 2147483648.0},
        {"pcm24ext", Kind::Pcm, 24, true, 1.0 / 8388608},
        {"float32", Kind::Float, 32, false, 0.0},
        {"float64", Kind::Float, 64, false, 0.0},
        {"float32ext", Kind::Float, 32, true, 0.0},
    };
    const std::vector<double> values = {0.0, 0.5, -0.25, 0.75, -1.0, 0.125};
    for (const Format& f : formats) {
        SCOPED_TRACE(f.name);
        const std::string path = writeFile(std::string("zohost-wav-") + f.name + ".wav", wavOf(f, values, 8000));
        {
            zohost::tool::SoundFile file(path);
            ASSERT_TRUE(file.ok()) << file.error();
            EXPECT_EQ(file.rate(), 8000);
            EXPECT_EQ(file.channels(), 2);
            EXPECT_EQ(file.frames(), static_cast<std::int64_t>(values.size()));
            // Read in two pieces, past the end: zeros there.
            std::vector<float> got(values.size() + 3, 9.0f);
            file.read(0, got.data(), 2);
            file.read(0, got.data() + 2, static_cast<int>(got.size()) - 2);
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_NEAR(got[i], values[i], f.step * 0.5 + 1e-9) << "sample " << i;
            for (std::size_t i = values.size(); i < got.size(); ++i) EXPECT_EQ(got[i], 0.0f);
        }
        {
            zohost::tool::SoundFile file(path);
            std::vector<float> got(values.size());
            file.read(1, got.data(), static_cast<int>(got.size()));
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_NEAR(got[i], -0.5 * values[i], f.step * 0.5 + 1e-9) << "channel 1, sample " << i;
        }
        std::remove(path.c_str());
    }
}

// A file whose header promises more than it holds: both readers say so and
// stop at the last whole frame it holds, then give zeros.
TEST(ZohostWav, ACutShortFileStopsAtItsLastSample) {
    const std::vector<double> values = {0.5, -0.25, 0.75, -1.0, 0.125, 0.25, -0.5, 0.375};
    for (const Format& f : {Format{"pcm16", Kind::Pcm, 16, false, 1.0 / 32768}, Format{"float32", Kind::Float, 32, false, 0.0},
                            Format{"pcm24", Kind::Pcm, 24, false, 1.0 / 8388608}}) {
        SCOPED_TRACE(f.name);
        const std::vector<unsigned char> whole = wavOf(f, values, 8000);
        const std::size_t frame = 2 * static_cast<std::size_t>(f.bits / 8);
        for (std::size_t kept : {std::size_t{3}, std::size_t{8}}) {
            SCOPED_TRACE(kept);
            // Half a frame past the last whole one is cut off too.
            std::vector<unsigned char> bytes(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>((8 - kept) * frame));
            if (kept < 8) bytes.resize(bytes.size() + frame / 2, 0x11);
            const std::string path = writeFile(std::string("zohost-wav-cut-") + f.name + ".wav", bytes);
            zohost::tool::SoundFile file(path);
            ASSERT_TRUE(file.ok()) << file.error();
            EXPECT_EQ(file.cut(), kept < 8) << "the whole file is the negative control";
            EXPECT_EQ(file.frames(), static_cast<std::int64_t>(kept));
            std::vector<float> got(10, 9.0f);
            file.read(0, got.data(), static_cast<int>(got.size()));
            for (std::size_t i = 0; i < got.size(); ++i)
                EXPECT_NEAR(got[i], i < kept ? values[i] : 0.0, f.step * 0.5 + 1e-9) << "sample " << i;
            std::remove(path.c_str());
        }
    }
}

TEST(ZohostWav, WhatIsNotASoundFileIsRefused) {
    const std::string text = writeFile("zohost-wav-text.wav", {'n', 'o', 't', ' ', 's', 'o', 'u', 'n', 'd'});
    for (const std::string& path : {text, ::testing::TempDir() + "zohost-wav-missing.wav"}) {
        zohost::tool::SoundFile file(path);
        EXPECT_FALSE(file.ok()) << path;
        EXPECT_FALSE(file.error().empty()) << path;
        std::remove(path.c_str());
    }
}

// zohost with a module that is not the scope: a gain of 2 on one input
// stream, with no display or a mute one. The input file goes in through
// --pin or --input, the output stream comes back through --output, and is
// read here with the platform's reader, sample for sample.
struct ToolResult {
    int rc;
    std::string out, err;
};

ToolResult zohostWith(std::vector<std::string> args) {
    args.insert(args.begin(), "zohost");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int rc = zohost::tool::runTool(static_cast<int>(argv.size()), argv.data(), out, err, false, false);
    return {rc, out.str(), err.str()};
}

TEST(ZohostWav, AnyModuleProcessesAWavIntoAWav) {
    // Twice 0.6 is past full scale: kept in float, clipped in PCM.
    const std::vector<double> values = {0.0, 0.25, -0.125, 0.375, -0.5, 0.0625, 0.3, -0.45, 0.6};
    const std::string in = writeFile("zohost-gain-in.wav", wavOf({"float32", Kind::Float, 32, false, 0.0}, values, 8000));
    struct Case {
        const char* module;
        std::vector<std::string> feed;
        const char* format;
        double step;  // of the output's format
    } cases[] = {
        {ZO_OTHER_NODISPLAY, {"--pin", "In=file:" + in}, "float", 0.0},
        {ZO_OTHER_NODISPLAY, {"--input", in}, "pcm16", 1.0 / 32768},
        {ZO_OTHER_MUTEDISPLAY, {"--pin", "in=file:" + in + ":1"}, "pcm24", 1.0 / 8388608},
    };
    const std::string path = ::testing::TempDir() + "zohost-gain-out.wav";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + c.format);
        std::vector<std::string> args = {c.module, "--output", path, "--output-format", c.format};
        args.insert(args.end(), c.feed.begin(), c.feed.end());
        const ToolResult r = zohostWith(args);
        ASSERT_EQ(r.rc, 0) << r.err;
        EXPECT_NE(r.err.find("written to " + path), std::string::npos) << r.err;
        zohost::tool::SoundFile file(path);
        ASSERT_TRUE(file.ok()) << file.error();
        EXPECT_EQ(file.rate(), 8000);
        EXPECT_EQ(file.channels(), 1);
        ASSERT_EQ(file.frames(), static_cast<std::int64_t>(values.size()));
        std::vector<float> got(values.size());
        file.read(0, got.data(), static_cast<int>(got.size()));
        for (std::size_t i = 0; i < values.size(); ++i)
            if (c.step == 0.0)
                EXPECT_EQ(got[i], static_cast<float>(2.0 * static_cast<float>(values[i]))) << "sample " << i;
            else
                EXPECT_NEAR(got[i], std::min(2.0 * values[i], 1.0 - c.step), c.step) << "sample " << i;
    }
    std::remove(path.c_str());
    std::remove(in.c_str());
}

// What another module has no use for is refused, naming the option and the
// module; a module that draws nothing makes no picture unless asked, and then
// says why not.
TEST(ZohostWav, AnotherModuleRefusesWhatItHasNoUseFor) {
    const std::string module = ZO_OTHER_NODISPLAY;
    struct Case {
        std::vector<std::string> args;
        int rc;
        std::vector<std::string> says;
    } cases[] = {
        {{module, "--window", "20ms"}, 2, {"--window", "Gain", module}},
        {{module, "--scale", "2V"}, 2, {"--scale", "Gain"}},
        {{module, "--figure-colour", "FF0000"}, 2, {"--figure-colour", "Gain"}},
        {{module, "--png", "x.png"}, 2, {"--png", "no display object"}},
        {{module, "--frames", "d"}, 2, {"--frames", "no display object"}},
        {{module, "--pin", "Signal A=sine:1"}, 2, {"\"In\""}},
        {{module, "--seconds", "0.01"}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ToolResult r = zohostWith(c.args);
        EXPECT_EQ(r.rc, c.rc) << r.err;
        for (const std::string& s : c.says) EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
    }
    // Without a picture asked for, none is written (status lines go to standard error here).
    EXPECT_EQ(zohostWith({module, "--seconds", "0.01"}).err.find("picture"), std::string::npos);
}

}  // namespace
