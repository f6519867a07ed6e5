// runChild() on POSIX: the work runs in a forked child; its report comes
// back through one pipe, what it prints through another.
#include "ChildRunner.h"

#include <poll.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zohost::probe {

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

void ended(ChildOutcome& c, int status, bool reported) {
    if (reported && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        c.end = ChildOutcome::End::Reported;
    } else if (WIFSIGNALED(status)) {
        c.end = ChildOutcome::End::Killed;
        c.how = signalName(WTERMSIG(status));
        c.aborted = WTERMSIG(status) == SIGABRT;
    } else {
        c.end = ChildOutcome::End::Exited;
        c.status = WEXITSTATUS(status);
    }
}

}  // namespace

// A forked child ends with its parent and reports through pipes alone.
void endChildNow() {}

const char* childIsolation() { return "forked"; }
bool reinvokedFor(std::string&, std::uint64_t&) { return false; }
void setChildSeed(std::uint64_t) {}

namespace {

// The child's two pipes as the parent holds them: its report and its output.
struct ChildPipes {
    pid_t pid = -1;
    int res = -1, err = -1;
};

// A parent stopped by a signal ends at once; its test must not run on
// without it, for minutes, with nobody to read its report.
void endWithParent(pid_t parent) {
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
#else
    (void)parent;
#endif
}

// Forks a child that runs `work` and writes "R" and its report to one pipe,
// anything it prints to the other. False (with `how`) when it cannot.
bool startChild(const std::function<std::string()>& work, ChildPipes& p, std::string& how) {
    int res[2], err[2];
    if (pipe(res) != 0) return false;
    if (pipe(err) != 0) {
        close(res[0]);
        close(res[1]);
        return false;
    }
    std::fflush(nullptr);
    const pid_t parent = getpid();
    p.pid = fork();
    if (p.pid < 0) {
        for (int fd : {res[0], res[1], err[0], err[1]}) close(fd);
        how = std::string("cannot fork: ") + std::strerror(errno);
        return false;
    }
    if (p.pid == 0) {
        endWithParent(parent);
        close(res[0]);
        close(err[0]);
        dup2(err[1], 1);
        dup2(err[1], 2);
        const std::string report = work();
        writeAll(res[1], "R" + report);
        std::fflush(nullptr);
        _exit(0);
    }
    close(res[1]);
    close(err[1]);
    p.res = res[0];
    p.err = err[0];
    return true;
}

// What is left in the output pipe once the child has ended.
void drainOutput(int fd, std::string& output) {
    char buf[4096];
    pollfd f{fd, POLLIN, 0};
    while (poll(&f, 1, 50) > 0) {
        const ssize_t got = read(fd, buf, sizeof buf);
        if (got <= 0) break;
        output.append(buf, static_cast<std::size_t>(got));
    }
}

// Reads both pipes until they close or the time is up; true when it is up.
// `reaped` tells whether the child's status is already in `status`.
bool collect(const ChildPipes& p, double timeout_seconds, std::string& message, std::string& output, int& status,
             bool& reaped) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                             std::chrono::duration<double>(timeout_seconds));
    bool res_open = true, err_open = true;
    char buf[4096];
    while (res_open || err_open) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) return true;
        pollfd fds[2];
        int n = 0;
        if (res_open) fds[n++] = pollfd{p.res, POLLIN, 0};
        if (err_open) fds[n++] = pollfd{p.err, POLLIN, 0};
        const int ready = poll(fds, static_cast<nfds_t>(n), static_cast<int>(left < 200 ? left : 200));
        if (ready < 0 && errno != EINTR) return false;
        for (int i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            const bool is_res = fds[i].fd == p.res;
            if (got <= 0) {
                (is_res ? res_open : err_open) = false;
                continue;
            }
            (is_res ? message : output).append(buf, static_cast<std::size_t>(got));
            // Only the tail of what the child printed matters.
            if (output.size() > 65536) output.erase(0, output.size() - 32768);
        }
        // A grandchild may hold the output pipe open; the child's end decides.
        if (!res_open && err_open && waitpid(p.pid, &status, WNOHANG) == p.pid) {
            reaped = true;
            drainOutput(p.err, output);
            return false;
        }
    }
    return false;
}

}  // namespace

ChildOutcome runChild(const std::string&, const std::function<std::string()>& work, double timeout_seconds) {
    ChildOutcome c;
    ChildPipes p;
    if (!startChild(work, p, c.how)) return c;
    std::string message;
    int status = 0;
    bool reaped = false;
    const bool timed_out = collect(p, timeout_seconds, message, c.output, status, reaped);
    if (timed_out) kill(p.pid, SIGKILL);
    if (!reaped)
        while (waitpid(p.pid, &status, 0) < 0 && errno == EINTR) {
        }
    close(p.res);
    close(p.err);
    if (timed_out) {
        c.end = ChildOutcome::End::TimedOut;
        return c;
    }
    ended(c, status, !message.empty());
    if (c.end == ChildOutcome::End::Reported) c.report = message.substr(1);
    return c;
}

}  // namespace zohost::probe
