// For tests of zohost's live window: a virtual X display of the test's own
// (Xvfb picks a free number), programs started on it as processes, and
// screenshots of the whole screen read from xwd's files.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ZohostRun.h"

namespace zotest {

inline bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

// A started program; killed and reaped when still running at the end.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& out_file = "/dev/null", const std::string& err_file = "") {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
            if (std::freopen(out_file.c_str(), "w", stdout) == nullptr) ::_exit(126);
            if (!err_file.empty() && std::freopen(err_file.c_str(), "w", stderr) == nullptr) ::_exit(126);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Process() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    pid_t pid() const { return pid_; }
    // Exit status, or -1 when it did not end within `seconds`.
    int wait(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (status_ < 0) {
            int st = 0;
            if (::waitpid(pid_, &st, WNOHANG) == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                break;
            }
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Output of a short command; empty on failure.
inline std::string capture(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

class VirtualDisplay {
public:
    static bool available() { return onPath("Xvfb") && onPath("xdotool") && onPath("xwd"); }

    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            std::freopen("/dev/null", "w", stderr);
            // -noreset: a program started just as the last one leaves must
            // find the server up, not regenerating.
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                     "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool ok() const { return !name_.empty(); }
    const std::string& name() const { return name_; }
    std::string run(const std::string& command) const { return capture("DISPLAY=" + name_ + " " + command); }

    // The first window whose title matches, waited for; empty when none came.
    std::string window(const std::string& title, double seconds = 60.0) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            std::string id = run("xdotool search --onlyvisible --name '" + title + "' 2>/dev/null");
            const std::size_t nl = id.find('\n');
            if (nl != std::string::npos && nl > 0) return id.substr(0, nl);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "";
    }
    std::string title(const std::string& window) const {
        std::string t = run("xdotool getwindowname " + window + " 2>/dev/null");
        while (!t.empty() && t.back() == '\n') t.pop_back();
        return t;
    }
    // Waits until the window's title holds `text`.
    bool waitTitle(const std::string& window, const std::string& text, double seconds = 60.0) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (title(window).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    void keys(const std::string& window, const std::string& keys) const {
        run("xdotool key --window " + window + " " + keys);
    }
    // Where the window is on the screen, and its size.
    bool geometry(const std::string& window, int& x, int& y, int& w, int& h) const {
        std::istringstream in(run("xdotool getwindowgeometry --shell " + window));
        std::string line;
        std::map<std::string, int> v;
        while (std::getline(in, line)) {
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos) v[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
        }
        if (!v.count("X") || !v.count("WIDTH")) return false;
        x = v["X"], y = v["Y"], w = v["WIDTH"], h = v["HEIGHT"];
        return true;
    }

    // The whole screen through xwd, as 0x00RRGGBB.
    bool screenshot(const std::string& file, Picture& pic) const {
        run("xwd -root -silent -out '" + file + "'");
        return readXwd(file, pic);
    }

    static bool readXwd(const std::string& file, Picture& pic) {
        std::ifstream in(file, std::ios::binary);
        std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto word = [&](std::size_t i) {
            const unsigned char* p = d.data() + 4 * i;
            return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
        };
        if (d.size() < 100) return false;
        const std::uint32_t header = word(0), format = word(2), width = word(4), height = word(5);
        const std::uint32_t byte_order = word(7), bpp = word(11), line = word(12);
        const std::uint32_t red = word(14), green = word(15), blue = word(16), colours = word(19);
        // Pixels of 24 bits (packed; xwd writes them so where the screen has
        // several visuals) or 32.
        const std::uint32_t step = bpp / 8;
        if (format != 2 || (bpp != 24 && bpp != 32) || line < step * width) return false;
        const std::size_t start = header + 12u * colours;
        if (d.size() < start + static_cast<std::size_t>(line) * height) return false;
        auto channel = [](std::uint32_t p, std::uint32_t mask) {
            if (!mask) return 0u;
            while (!(mask & 1)) mask >>= 1, p >>= 1;
            return p & mask;
        };
        pic.width = static_cast<int>(width);
        pic.height = static_cast<int>(height);
        pic.pixels.resize(static_cast<std::size_t>(width) * height);
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                const unsigned char* p = d.data() + start + static_cast<std::size_t>(y) * line + step * x;
                std::uint32_t v = 0;
                for (std::uint32_t k = 0; k < step; ++k)
                    v |= std::uint32_t{p[byte_order == 0 ? k : step - 1 - k]} << (8 * k);
                pic.pixels[static_cast<std::size_t>(y) * width + x] =
                    (channel(v, red) << 16) | (channel(v, green) << 8) | channel(v, blue);
            }
        return true;
    }

    // Screenshots of the window's w x h corner, taken until `good` holds of
    // one (left in `shot`); false when none did within `seconds`.
    template <typename Good>
    bool waitShot(const std::string& window, const std::string& file, int w, int h, Good good, Picture& shot,
                  double seconds = 60.0) const;

private:
    pid_t pid_ = -1;
    std::string name_;
};

// Part of a picture.
inline Picture crop(const Picture& from, int x, int y, int w, int h) {
    Picture p;
    p.width = w;
    p.height = h;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) p.pixels.push_back(from.at(x + c, y + r));
    return p;
}

inline std::size_t differing(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height) return static_cast<std::size_t>(-1);
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
    return n;
}

template <typename Good>
bool VirtualDisplay::waitShot(const std::string& window, const std::string& file, int w, int h, Good good,
                              Picture& shot, double seconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        int x = 0, y = 0, ww = 0, wh = 0;
        Picture screen;
        if (geometry(window, x, y, ww, wh) && ww >= w && wh >= h && screenshot(file, screen)) {
            shot = crop(screen, x, y, w, h);
            if (good(shot)) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

}  // namespace zotest
