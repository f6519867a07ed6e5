#include "Isolation.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>

#ifdef _WIN32
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#else
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zohost::validate {

namespace {

void runBody(const std::function<void(TestResult&)>& body, TestResult& r) {
    try {
        body(r);
    } catch (const std::exception& e) {
        r.passed = false;
        r.detail += (r.detail.empty() ? "" : "; ") + std::string("exception: ") + e.what();
    } catch (...) {
        r.passed = false;
        r.detail += (r.detail.empty() ? "" : "; ") + std::string("unknown exception");
    }
}

}  // namespace

#ifndef _WIN32

namespace {

std::string signalName(int sig) {
    switch (sig) {
    case SIGABRT: return "SIGABRT";
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGKILL: return "SIGKILL";
    case SIGTRAP: return "SIGTRAP";
    default: return "signal " + std::to_string(sig);
    }
}

void writeAll(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// The lines of the child's output that tell why it died: an assertion or
// contract report, a sanitizer's summary, else the last line.
std::string gist(const std::string& out) {
    std::string picked, last;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        last = line;
        if (line.find("Assertion") != std::string::npos || line.find("SUMMARY:") != std::string::npos ||
            line.find("runtime error") != std::string::npos || line.find("ERROR:") != std::string::npos)
            picked += (picked.empty() ? "" : " | ") + line;
    }
    std::string g = picked.empty() ? last : picked;
    if (g.size() > 400) g = g.substr(0, 400) + "...";
    return g;
}

}  // namespace

bool isolationByProcess() { return true; }

TestResult runIsolated(const std::function<void(TestResult&)>& body, double timeout_seconds,
                       const std::function<void(const TestResult&)>&) {
    int res[2], err[2];
    if (pipe(res) != 0) {
        TestResult r;
        r.detail = "cannot make a pipe";
        return r;
    }
    if (pipe(err) != 0) {
        close(res[0]);
        close(res[1]);
        TestResult r;
        r.detail = "cannot make a pipe";
        return r;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {res[0], res[1], err[0], err[1]}) close(fd);
        TestResult r;
        r.detail = std::string("cannot fork: ") + std::strerror(errno);
        return r;
    }
    if (pid == 0) {
        close(res[0]);
        close(err[0]);
        dup2(err[1], 1);
        dup2(err[1], 2);
        TestResult r;
        runBody(body, r);
        writeAll(res[1], std::string(r.passed ? "P" : "F") + r.detail + '\0' + r.notes);
        std::fflush(nullptr);
        _exit(0);
    }
    close(res[1]);
    close(err[1]);

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                             std::chrono::duration<double>(timeout_seconds));
    std::string message, output;
    bool res_open = true, err_open = true, timed_out = false;
    char buf[4096];
    while (res_open || err_open) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) {
            timed_out = true;
            break;
        }
        pollfd fds[2];
        int n = 0;
        if (res_open) fds[n++] = pollfd{res[0], POLLIN, 0};
        if (err_open) fds[n++] = pollfd{err[0], POLLIN, 0};
        const int ready = poll(fds, static_cast<nfds_t>(n), static_cast<int>(left < 200 ? left : 200));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            const bool is_res = fds[i].fd == res[0];
            if (got <= 0) {
                (is_res ? res_open : err_open) = false;
                continue;
            }
            (is_res ? message : output).append(buf, static_cast<std::size_t>(got));
            // Only the tail of what the child printed matters.
            if (output.size() > 65536) output.erase(0, output.size() - 32768);
        }
        // A grandchild may hold the output pipe open; the result decides.
        if (!res_open && err_open) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                // Drain what is there and stop.
                pollfd f{err[0], POLLIN, 0};
                while (poll(&f, 1, 50) > 0) {
                    const ssize_t got = read(err[0], buf, sizeof buf);
                    if (got <= 0) break;
                    output.append(buf, static_cast<std::size_t>(got));
                }
                close(res[0]);
                close(err[0]);
                TestResult r;
                if (!message.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                    const std::size_t z = message.find('\0');
                    r.passed = message[0] == 'P';
                    r.detail = message.substr(1, z == std::string::npos ? std::string::npos : z - 1);
                    if (z != std::string::npos) r.notes = message.substr(z + 1);
                } else if (WIFSIGNALED(status)) {
                    r.detail = "killed by " + signalName(WTERMSIG(status));
                    const std::string g = gist(output);
                    if (!g.empty()) r.detail += ": " + g;
                } else {
                    r.detail = "exited with status " + std::to_string(WEXITSTATUS(status));
                    const std::string g = gist(output);
                    if (!g.empty()) r.detail += ": " + g;
                }
                return r;
            }
        }
    }
    if (timed_out) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    close(res[0]);
    close(err[0]);
    TestResult r;
    if (timed_out) {
        char t[64];
        std::snprintf(t, sizeof t, "timed out after %.0f s (hang), killed", timeout_seconds);
        r.detail = t;
        return r;
    }
    if (!message.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        const std::size_t z = message.find('\0');
        r.passed = message[0] == 'P';
        r.detail = message.substr(1, z == std::string::npos ? std::string::npos : z - 1);
        if (z != std::string::npos) r.notes = message.substr(z + 1);
        return r;
    }
    if (WIFSIGNALED(status))
        r.detail = "killed by " + signalName(WTERMSIG(status));
    else
        r.detail = "exited with status " + std::to_string(WEXITSTATUS(status)) + " before reporting";
    const std::string g = gist(output);
    if (!g.empty()) r.detail += ": " + g;
    return r;
}

#else  // _WIN32

bool isolationByProcess() { return false; }

TestResult runIsolated(const std::function<void(TestResult&)>& body, double timeout_seconds,
                       const std::function<void(const TestResult&)>& on_hang) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (cv.wait_for(lock, std::chrono::duration<double>(timeout_seconds), [&] { return done; })) return;
        TestResult r;
        char t[64];
        std::snprintf(t, sizeof t, "timed out after %.0f s (hang)", timeout_seconds);
        r.detail = t;
        if (on_hang) on_hang(r);
        std::fflush(nullptr);
        std::_Exit(1);
    });
    TestResult r;
    runBody(body, r);
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_all();
    watchdog.join();
    return r;
}

#endif

}  // namespace zohost::validate
