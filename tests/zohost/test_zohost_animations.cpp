// zohost --animation's WebP and video files, read back with real readers:
// ffprobe and ffmpeg for the video, libwebp's demuxer for WebP. The frames
// of the lossless formats are compared with the PNG frames of the same run,
// and the video's sound with the file that fed the inputs.
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ZohostRun.h"

using namespace zotest;

namespace {

const std::string kModule = ZO_MODULE_PATH;

// Standard output of a shell command, and whether it exited 0.
bool capture(const std::string& command, std::string& out) {
    out.clear();
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    return pclose(p) == 0;
}

bool haveFfmpeg() {
    std::string out;
    return capture("ffprobe -version 2>/dev/null", out) && capture("ffmpeg -version 2>/dev/null", out);
}

// ffprobe's "flat" lines as a map: streams.stream.0.codec_name -> h264.
std::map<std::string, std::string> probe(const std::string& file) {
    std::string out;
    EXPECT_TRUE(capture("ffprobe -v error -count_frames -show_entries "
                        "stream=codec_type,codec_name,channels,sample_rate,nb_read_frames:format=duration -of flat '" +
                            file + "'",
                        out))
        << file;
    std::map<std::string, std::string> m;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = out.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string v = line.substr(eq + 1);
        if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
        m[line.substr(0, eq)] = v;
    }
    return m;
}

// Each decoded frame, 0x00RRGGBB.
std::vector<std::vector<std::uint32_t>> decodeVideo(const std::string& file, int width, int height) {
    std::string raw;
    EXPECT_TRUE(capture("ffmpeg -v error -i '" + file + "' -map 0:v -f rawvideo -pix_fmt rgb24 -", raw));
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::vector<std::uint32_t>> frames(raw.size() / (size * 3));
    for (std::size_t f = 0; f < frames.size(); ++f)
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(raw.data()) + (f * size + i) * 3;
            frames[f].push_back((std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
        }
    return frames;
}

float song(int channel, int t) {
    return channel == 0 ? 0.5f * std::sin(static_cast<float>(t) * 0.013f) : 0.25f * std::cos(static_cast<float>(t) * 0.021f);
}

}  // namespace

TEST(ZohostAnimations, VideoHasTheFramesTheSoundAndTheLengthAskedFor) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffprobe and ffmpeg are needed to read the videos back";
    ScratchDir dir;
    struct Case {
        const char* file;
        const char* fps;
        const char* seconds;
        const char* video;  // codec
        const char* audio;
        int frames;
    } cases[] = {
        {"a.mp4", "25", "1", "h264", "aac", 25},       {"a.webm", "30", "0.5", "vp9", "vorbis", 15},
        {"a.mkv", "12.5", "0.8", "ffv1", "flac", 10},  {"fast.mp4", "100", "0.3", "h264", "aac", 30},
        {"slow.mkv", "2", "1.5", "ffv1", "flac", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ToolRun r = runZohost({kModule, "--animation", dir / c.file, "--fps", c.fps, "--seconds", c.seconds, "--size",
                               "96x54", "--set", "trigger=off"});
        ASSERT_EQ(r.rc, 0) << r.err;
        std::map<std::string, std::string> m = probe(dir / c.file);
        EXPECT_EQ(m["streams.stream.0.codec_type"], "video");
        EXPECT_EQ(m["streams.stream.0.codec_name"], c.video);
        EXPECT_EQ(m["streams.stream.0.nb_read_frames"], std::to_string(c.frames));
        EXPECT_EQ(m["streams.stream.1.codec_type"], "audio");
        EXPECT_EQ(m["streams.stream.1.codec_name"], c.audio);
        EXPECT_EQ(m["streams.stream.1.channels"], "2");
        EXPECT_EQ(m["streams.stream.1.sample_rate"], "44100");
        EXPECT_NEAR(std::stod(m["format.duration"]), std::stod(c.seconds), 0.005) << "as long as the run";
    }
}

TEST(ZohostAnimations, LosslessVideoIsThePngFramesAndTheInputsInSync) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffprobe and ffmpeg are needed to read the videos back";
    ScratchDir dir;
    const int samples = 22050;
    writeWav(dir / "song.wav", 44100, 2, samples, SF_FORMAT_PCM_16, song);
    ToolRun r = runZohost({kModule, "--input", dir / "song.wav", "--animation", dir / "v.mkv", "--frames",
                           dir / "f", "--fps", "20", "--size", "80x60"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::vector<std::string> pngs = frameFiles(dir / "f");
    const auto frames = decodeVideo(dir / "v.mkv", 80, 60);
    ASSERT_EQ(frames.size(), 10u);
    ASSERT_EQ(pngs.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Picture png;
        ASSERT_TRUE(readPng(pngs[i], png));
        EXPECT_EQ(frames[i], png.pixels) << "frame " << i + 1;
    }
    std::string pcm;
    ASSERT_TRUE(capture("ffmpeg -v error -i '" + dir / "v.mkv" + "' -map 0:a -f s16le -ac 2 -", pcm));
    ASSERT_EQ(pcm.size(), static_cast<std::size_t>(samples) * 4) << "the run's length, sample for sample";
    // The file's own 16-bit samples.
    SF_INFO info{};
    SNDFILE* wav = sf_open((dir / "song.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    std::vector<short> want(static_cast<std::size_t>(samples) * 2);
    ASSERT_EQ(sf_readf_short(wav, want.data(), samples), samples);
    sf_close(wav);
    const std::int16_t* got = reinterpret_cast<const std::int16_t*>(pcm.data());
    for (std::size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "sample " << i / 2 << " of channel " << i % 2 + 1;
}

TEST(ZohostAnimations, WebpIsLosslessAndKeepsTime) {
    ScratchDir dir;
    ToolRun r = runZohost({kModule, "--animation", dir / "a.webp", "--frames", dir / "f", "--fps", "30", "--seconds",
                           "0.5", "--size", "64x48", "--set", "trigger=off"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::vector<std::string> pngs = frameFiles(dir / "f");
    ASSERT_EQ(pngs.size(), 15u);
    const std::string bytes = readFile(dir / "a.webp");
    WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* dec = WebPAnimDecoderNew(&data, &options);
    ASSERT_NE(dec, nullptr);
    WebPAnimInfo info;
    ASSERT_TRUE(WebPAnimDecoderGetInfo(dec, &info));
    EXPECT_EQ(info.canvas_width, 64u);
    EXPECT_EQ(info.loop_count, 0u) << "plays for ever";
    // A decoded frame ends at `end` ms; every PNG frame that starts before then and after the last is it.
    std::size_t next = 0;
    int end = 0;
    while (WebPAnimDecoderHasMoreFrames(dec)) {
        std::uint8_t* rgba = nullptr;
        ASSERT_TRUE(WebPAnimDecoderGetNext(dec, &rgba, &end));
        std::vector<std::uint32_t> pixels;
        for (int i = 0; i < 64 * 48; ++i)
            pixels.push_back((std::uint32_t{rgba[4 * i]} << 16) | (std::uint32_t{rgba[4 * i + 1]} << 8) | rgba[4 * i + 2]);
        for (; next < pngs.size() && std::lround(1000.0 * static_cast<double>(next) / 30.0) < end; ++next) {
            Picture png;
            ASSERT_TRUE(readPng(pngs[next], png));
            EXPECT_EQ(pixels, png.pixels) << "frame " << next + 1 << " at " << end << " ms";
        }
    }
    WebPAnimDecoderDelete(dec);
    EXPECT_EQ(next, pngs.size()) << "every frame shown";
    EXPECT_EQ(end, 500) << "the last frame lasts to the end of the run";
}

TEST(ZohostAnimations, AFormatIsChosenByItsExtensionOrRefused) {
    ScratchDir dir;
    struct Case {
        const char* file;
        const char* size;
        int rc;
        const char* says;
    } cases[] = {
        {"a.png", "64x48", 2, "writes .gif, .webp, .mp4, .webm, .mkv"},
        {"a", "64x48", 2, "not a format"},
        {"a.MKV", "64x48", 0, "ffv1"},
        {"a.webm", "65x48", 2, "even width and height"},
        {"a.mkv", "65x47", 0, "ffv1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ToolRun r = runZohost({kModule, "--animation", dir / c.file, "--fps", "10", "--seconds", "0.2", "--size", c.size});
        EXPECT_EQ(r.rc, c.rc) << r.err;
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
        EXPECT_EQ(std::filesystem::exists(dir / c.file), c.rc == 0) << "nothing made when refused";
    }
}

TEST(ZohostAnimations, CodecsAndSoundFilesAreLoadedOnlyForARunThatNeedsThem) {
    // The dynamic loader names every library it loads (LD_DEBUG=libs).
    struct Case {
        const char* name;
        std::vector<std::string> args;  // besides a small picture
        bool codecs, sndfile;
    } cases[] = {
        {"picture", {}, false, false},
        {"gif", {"--animation", "a.gif"}, false, false},
        {"webm", {"--animation", "a.webm"}, true, false},
        {"webp", {"--animation", "a.webp"}, true, false},
        {"wav in", {"--input", "in.wav"}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        writeWav(dir / "in.wav", 8000, 1, 800, SF_FORMAT_PCM_16, [](int, int) { return 0.1f; });
        std::vector<std::string> args = {kModule, "--png", dir / "p.png", "--seconds", "0.1", "--size", "64x36"};
        for (std::size_t k = 0; k < c.args.size(); ++k) args.push_back(k % 2 ? dir / c.args[k] : c.args[k]);
        setenv("LD_DEBUG", "libs", 1);
        const int rc = runProcess(args, dir / "out", dir / "err");
        unsetenv("LD_DEBUG");
        const std::string said = readFile(dir / "err");
        ASSERT_EQ(rc, 0) << said;
        EXPECT_NE(said.find("calling init:"), std::string::npos) << "no loader lines";
        EXPECT_EQ(said.find("libavcodec") != std::string::npos || said.find("libwebp") != std::string::npos, c.codecs);
        EXPECT_EQ(said.find("libsndfile") != std::string::npos, c.sndfile);
    }
}
