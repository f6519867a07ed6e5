// Runs the zohost command in-process in a scratch directory, and reads back
// what it wrote: PNG pictures through libpng, capture logs line by line.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "JsonLine.h"
#include "app/Tool.h"

namespace zotest {

struct ToolRun {
    int rc;
    std::string out, err;
};

inline ToolRun runZohost(std::vector<std::string> args) {
    args.insert(args.begin(), "zohost");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    int rc = zohost::tool::runTool(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return ToolRun{rc, out.str(), err.str()};
}

// The zohost program as a process: standard output and error into files,
// `sig` once `ready` says so (polled; at most 60 s) when it is given.
// Returns the exit status, or 128 + the signal that ended it.
// With `input`, those bytes come through a pipe on its standard input.
inline int runProcess(std::vector<std::string> args, const std::string& out_file, const std::string& err_file,
                      const std::function<bool()>& ready = nullptr, const std::string* input = nullptr,
                      int sig = SIGINT) {
    args.insert(args.begin(), ZOHOST_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipe_fds[2] = {-1, -1};
    if (input && pipe(pipe_fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        if (input) {
            dup2(pipe_fds[0], 0);
            close(pipe_fds[0]);
            close(pipe_fds[1]);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (input) {
        // A program that stops reading early closes the pipe: EPIPE, not SIGPIPE.
        signal(SIGPIPE, SIG_IGN);
        close(pipe_fds[0]);
        for (std::size_t at = 0; at < input->size();) {
            const ssize_t n = write(pipe_fds[1], input->data() + at, input->size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        close(pipe_fds[1]);
    }
    if (ready) {
        for (int i = 0; i < 6000 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, sig);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The frames of a --frames directory, in order of their names.
inline std::vector<std::string> frameFiles(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A fresh directory per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("zohost-" + std::to_string(::getpid()) + "-" + t->test_suite_name() + "-" + t->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::size_t count(std::uint32_t rgb) const {
        std::size_t n = 0;
        for (std::uint32_t p : pixels) n += p == rgb;
        return n;
    }
};

inline bool readPng(const std::string& path, Picture& pic) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    pic.width = static_cast<int>(image.width);
    pic.height = static_cast<int>(image.height);
    pic.pixels.resize(static_cast<std::size_t>(pic.width) * pic.height);
    for (std::size_t i = 0; i < pic.pixels.size(); ++i)
        pic.pixels[i] = (std::uint32_t{rgb[3 * i]} << 16) | (std::uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    return true;
}

// A WAV of `channels` channels whose sample t of channel c is f(c, t).
// `major`: another container libsndfile writes.
inline void writeWav(const std::string& path, int rate, int channels, int frames, int format,
                     const std::function<float(int, int)>& f, int major = SF_FORMAT_WAV) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = major | format;
    SNDFILE* s = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(s, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(static_cast<std::size_t>(frames) * channels);
    for (int t = 0; t < frames; ++t)
        for (int c = 0; c < channels; ++c) data[static_cast<std::size_t>(t) * channels + c] = f(c, t);
    EXPECT_EQ(sf_writef_float(s, data.data(), frames), frames);
    sf_close(s);
}

// A file that must hold one PNG picture, `width` wide, and nothing after it
// (a standard output that carries the picture).
inline void expectOnePicture(const std::string& path, int width) {
    const std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    EXPECT_EQ(bytes.find("IEND"), bytes.size() - 8) << "one picture, and nothing after it";
    Picture pic;
    ASSERT_TRUE(readPng(path, pic));
    EXPECT_EQ(pic.width, width);
}

inline std::vector<Json> readCaptures(const std::string& path) {
    std::vector<Json> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) out.push_back(JsonReader::parse(line));
    return out;
}

}  // namespace zotest
