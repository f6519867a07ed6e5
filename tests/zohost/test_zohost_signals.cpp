// zohost as a process in a pipeline: the signals that stop it, and what
// reaches standard output when it is a terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ZohostRun.h"

using namespace zotest;

namespace {

const std::string kModule = ZO_MODULE_PATH;

// The hidden temporary files zohost writes beside an output.
std::vector<std::string> temporariesIn(const std::filesystem::path& dir) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind('.', 0) == 0 && name.find(".zohost-") != std::string::npos) found.push_back(name);
    }
    return found;
}

// True once the temporary file of `output` in `dir` holds more than `bytes`.
std::function<bool()> grown(const ScratchDir& dir, const std::string& output, std::uintmax_t bytes) {
    return [&dir, output, bytes] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir.path(), ec))
            if (e.path().filename().string().rfind("." + output + ".zohost-", 0) == 0 && e.file_size(ec) > bytes &&
                !ec)
                return true;
        return false;
    };
}

bool wholeGif(const std::string& path) {
    const std::string b = readFile(path);
    return b.size() > 13 && b.compare(0, 6, "GIF89a") == 0 && b.back() == ';';
}

TEST(ZohostSignals, EachStopSignalKeepsWholeOutputsAndRemovesTheTemporaries) {
    struct Case {
        int sig;
        bool animation;
    } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGTERM, true}, {SIGHUP, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + (c.animation ? ", animation" : ""));
        ScratchDir dir;
        std::vector<std::string> args = {kModule, "--png", dir / "p.png", "--captures", dir / "c.jsonl",
                                         "--seconds", "3000", "--block", "64", "--size", "64x36"};
        if (c.animation) args.insert(args.end(), {"--animation", dir / "a.gif", "--fps", "200"});
        const int rc = runProcess(args, dir / "out", dir / "err", grown(dir, "c.jsonl", 20000), nullptr, c.sig);
        EXPECT_EQ(rc, 128 + c.sig) << readFile(dir / "err");
        EXPECT_NE(readFile(dir / "err").find("interrupted"), std::string::npos) << readFile(dir / "err");
        EXPECT_EQ(temporariesIn(dir.path()), std::vector<std::string>{});
        const std::string log = readFile(dir / "c.jsonl");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), '\n');
        // The log keeps at least what its temporary held when the signal
        // was sent, in whole lines, however slow the run.
        EXPECT_GE(log.size(), 20000u);
        EXPECT_EQ(readCaptures(dir / "c.jsonl").size(),
                  static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')));
        Picture pic;
        EXPECT_TRUE(readPng(dir / "p.png", pic));
        if (c.animation) {
            EXPECT_TRUE(wholeGif(dir / "a.gif"));
        }
    }
}

TEST(ZohostSignals, TheTemporariesCheckSeesWhatAKillLeaves) {
    // Negative control: SIGKILL cannot be handled, so its temporary file stays.
    ScratchDir dir;
    const int rc = runProcess({kModule, "--no-png", "--captures", dir / "c.jsonl", "--seconds", "3000"}, dir / "out",
                              dir / "err", grown(dir, "c.jsonl", 1000), nullptr, SIGKILL);
    EXPECT_EQ(rc, 128 + SIGKILL);
    EXPECT_EQ(temporariesIn(dir.path()).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir / "c.jsonl"));
}

// Runs zohost with standard output on a pseudo-terminal; returns the exit
// status, and in `shown` what reached the terminal.
int runOnTerminal(std::vector<std::string> args, const std::string& err_file, std::string& shown) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    const std::string slave_name = ptsname(master);
    args.insert(args.begin(), ZOHOST_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int slave = open(slave_name.c_str(), O_RDWR);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        const int e = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(slave, 1);
        dup2(e, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    // Read until the child has ended and the terminal is drained.
    int status = 0;
    bool ended = false;
    char buf[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                shown.append(buf, static_cast<std::size_t>(n));
                continue;
            }
        }
        if (ended) break;
        ended = waitpid(pid, &status, WNOHANG) == pid;
    }
    close(master);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ZohostStreams, APictureIsNotDumpedOnATerminalUnlessForced) {
    ScratchDir dir;
    struct Case {
        std::vector<std::string> extra;
        int rc;
        bool png_shown;
    } cases[] = {
        {{}, 2, false},
        {{"--force"}, 0, true},
        {{"-f"}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra.empty() ? "plain" : c.extra[0]);
        std::vector<std::string> args = {kModule, "--png", "-", "--size", "32x18", "--seconds", "0.05"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        std::string shown;
        EXPECT_EQ(runOnTerminal(args, dir / "err", shown), c.rc) << readFile(dir / "err");
        EXPECT_EQ(shown.find("PNG") != std::string::npos, c.png_shown) << shown.size() << " bytes shown";
        if (!c.png_shown) {
            EXPECT_EQ(shown, "");
            EXPECT_NE(readFile(dir / "err").find("--force (-f)"), std::string::npos) << readFile(dir / "err");
        }
    }
    // A terminal still gets the status lines and text outputs.
    std::string shown;
    EXPECT_EQ(runOnTerminal({kModule, "--png", dir / "p.png", "--size", "32x18", "--seconds", "0.05"}, dir / "err",
                            shown),
              0);
    EXPECT_NE(shown.find("picture written to"), std::string::npos) << shown;
}

}  // namespace

TEST(ZohostSignals, AReaderThatGoesAwayLeavesNoTemporary) {
    // `zohost --png - | head -c0`: nobody reads the picture it copies out.
    ScratchDir dir;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    const std::string err = dir / "err";
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);  // as a shell starts it
        setenv("TMPDIR", dir.path().c_str(), 1);
        dup2(fds[1], 1);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(e, 2);
        execl(ZOHOST_PATH, ZOHOST_PATH, kModule.c_str(), "--png", "-", "--seconds", "0.2", "--size", "64x36",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    const int rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    EXPECT_EQ(rc, 128 + SIGPIPE) << readFile(dir / "err");
    EXPECT_EQ(temporariesIn(dir.path()), std::vector<std::string>{});
}
