// Runs a piece of work in a child process under a time limit, so that a
// crash, an abort or a hang of a module ends only that piece. On POSIX the
// child is forked. On Windows this program is started again with the same
// command line and, in its environment, the path of parts to run (the test's
// name and seed first): the re-invoked program reaches the same runChild()
// calls on its way and runs the named part in place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zohost::probe {

struct ChildOutcome {
    enum class End { Reported, Exited, Killed, TimedOut, NotStarted };
    End end = End::NotStarted;
    std::string report;  // what the work returned (Reported)
    int status = 0;      // exit status (Exited)
    // Killed: "SIGSEGV", or "exception 0xC0000005 (access violation) at Ondix2.zom+0x1a2b".
    std::string how;
    bool aborted = false;  // killed by abort()
    std::string output;    // the tail of what the child printed
};

// Runs `work` as the child part named `part`; its return value comes back as
// `report`. `part` must be unique among the parts of its parent and must not
// contain '/'.
ChildOutcome runChild(const std::string& part, const std::function<std::string()>& work, double timeout_seconds);

// On a stop, just before the process ends: ends the child running now, if
// any, and removes the files it reports through; no child starts or reports
// after it. Not for a signal handler on POSIX (where there is nothing to do).
void endChildNow();

// Whether the work runs in a process of its own ("forked" or "re-invoked").
const char* childIsolation();

// In a program started by runChild() on Windows: the name of the first part
// it is to run and the seed given with it; false elsewhere.
bool reinvokedFor(std::string& first_part, std::uint64_t& seed);
// The seed to hand to the re-invoked program for the parts started from here.
void setChildSeed(std::uint64_t seed);

// The lines of a child's output that tell why it ended: an assertion or
// contract report, a sanitizer's summary, else the last line.
std::string outputGist(const std::string& output);

}  // namespace zohost::probe
