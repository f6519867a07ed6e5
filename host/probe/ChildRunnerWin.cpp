// runChild() on Windows: the program started again with its own command line;
// ZO_CHILD_PARTS names the parts to run ("test/part"), ZO_CHILD_SEED the
// test's seed and ZO_CHILD_RESULT the file the child reports to. A crash is
// reported by the child's unhandled-exception filter with the exception code
// and the address relative to the module it happened in.
#include "ChildRunner.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <vector>

namespace zohost::probe {

namespace {

const char* const kParts = "ZO_CHILD_PARTS";
const char* const kSeed = "ZO_CHILD_SEED";
const char* const kResult = "ZO_CHILD_RESULT";

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t end = s.find('/', start);
        if (end == std::string::npos) end = s.size();
        out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// What this process was started for, and how deep in it the work is.
const std::vector<std::string> g_path = split(env(kParts));
const std::string g_result_file = env(kResult);
std::size_t g_depth = 0;
std::uint64_t g_seed_out = 0;

// The report goes out with plain Windows calls: the filter may run with the
// C runtime in any state.
void writeResult(const std::string& text) {
    // The parent made it. Deletable while open, and never made again: a
    // parent being stopped removes it for good.
    HANDLE f = CreateFileA(g_result_file.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(f);
}

const char* exceptionName(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "access violation";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "integer division by zero";
    case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
    case EXCEPTION_BREAKPOINT: return "breakpoint";
    case EXCEPTION_PRIV_INSTRUCTION: return "privileged instruction";
    case EXCEPTION_IN_PAGE_ERROR: return "page error";
    default: return "exception";
    }
}

std::string hex(std::uintptr_t v, int digits) {
    char t[32];
    std::snprintf(t, sizeof t, "0x%0*llx", digits, static_cast<unsigned long long>(v));
    return t;
}

// "Ondix2.zom+0x1a2b", or the bare address outside any module.
std::string where(const void* address) {
    HMODULE m = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &m) ||
        !m)
        return hex(reinterpret_cast<std::uintptr_t>(address), 8);
    char name[MAX_PATH] = {};
    GetModuleFileNameA(m, name, MAX_PATH);
    std::string base = name;
    const std::size_t cut = base.find_last_of("\\/");
    if (cut != std::string::npos) base = base.substr(cut + 1);
    return base + "+" + hex(reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(m), 1);
}

LONG WINAPI onCrash(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    std::string how = "exception " + hex(r->ExceptionCode, 8) + " (" + exceptionName(r->ExceptionCode);
    if (r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2) {
        const std::uintptr_t at = r->ExceptionInformation[1];
        how += std::string(r->ExceptionInformation[0] == 0 ? " reading " : r->ExceptionInformation[0] == 1 ? " writing " : " executing ") +
               hex(at, 8);
        // The first 64 KiB are never mapped on Windows.
        if (at < 0x10000) how += ", a null pointer";
    }
    how += ") at " + where(r->ExceptionAddress);
    std::fflush(nullptr);
    writeResult("K" + how);
    TerminateProcess(GetCurrentProcess(), r->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void onAbort(int) {
    std::fflush(nullptr);
    writeResult("A");
    TerminateProcess(GetCurrentProcess(), 3);
}

std::string readFile(const std::string& path, std::size_t keep) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    if (text.size() > keep) text.erase(0, text.size() - keep);
    return text;
}

std::string tempFile(const char* prefix) {
    char dir[MAX_PATH] = {}, name[MAX_PATH] = {};
    if (!GetTempPathA(MAX_PATH, dir) || !GetTempFileNameA(dir, prefix, 0, name)) return std::string();
    return name;
}

// Sets a variable for the child and gives back what it was.
struct EnvFor {
    const char* name;
    bool had;
    std::string old;
    EnvFor(const char* n, const std::string& value) : name(n) {
        const char* v = std::getenv(n);
        had = v != nullptr;
        if (had) old = v;
        SetEnvironmentVariableA(n, value.c_str());
    }
    ~EnvFor() { SetEnvironmentVariableA(name, had ? old.c_str() : nullptr); }
};

// This process and the children it starts from now on, in a job that ends
// them all when its last handle, this process's, is closed: a parent ended
// by Ctrl-C takes with it even a child still being started.
void joinChildrenJob() {
    static const bool joined = [] {
        HANDLE job = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        return job && SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
               AssignProcessToJobObject(job, GetCurrentProcess());
    }();
    (void)joined;
}

// Starts this program again with the part to run in its environment, its
// output into `output`; false with `error` set when it cannot.
bool startChild(const std::string& path, const std::string& result, const std::string& output,
                PROCESS_INFORMATION& pi, std::string& error) {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE out = CreateFileA(output.c_str(), GENERIC_WRITE, share, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string line = GetCommandLineA();
    std::vector<char> command(line.begin(), line.end());
    command.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    BOOL started;
    joinChildrenJob();
    std::fflush(nullptr);
    {
        EnvFor parts(kParts, path);
        EnvFor seed(kSeed, std::to_string(g_seed_out));
        EnvFor report(kResult, result);
        started = CreateProcessA(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!started) error = "cannot start " + std::string(exe) + " (error " + std::to_string(GetLastError()) + ")";
    return started != FALSE;
}

// How the child ended, from its exit code and what it wrote to the result file.
void classify(ChildOutcome& c, DWORD code, const std::string& said) {
    if (!said.empty() && said[0] == 'R' && code == 0) {
        c.end = ChildOutcome::End::Reported;
        c.report = said.substr(1);
    } else if (!said.empty() && said[0] == 'K') {
        c.end = ChildOutcome::End::Killed;
        c.how = said.substr(1);
    } else if (!said.empty() && said[0] == 'A') {
        c.end = ChildOutcome::End::Killed;
        c.how = "SIGABRT";
        c.aborted = true;
    } else if (code >= 0xC0000000u) {
        c.end = ChildOutcome::End::Killed;
        c.how = "exception " + hex(code, 8);
    } else {
        c.end = ChildOutcome::End::Exited;
        c.status = static_cast<int>(code);
    }
}

// The child running now and the files it reports through, for a stop that
// must leave neither behind. The parent holds the lock only while it reads
// and removes the files, never while it waits on the child; a stop takes it
// for good, ends the child and removes them.
struct Running {
    std::mutex lock;
    HANDLE process = nullptr;  // a handle of its own
    std::string files[2];
    void set(HANDLE p, const std::string& result, const std::string& output) {
        if (process) CloseHandle(process);
        process = p;
        files[0] = result;
        files[1] = output;
    }
};
Running g_running;

void track(HANDLE process, const std::string& result, const std::string& output) {
    HANDLE own = nullptr;
    if (process)
        DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS);
    std::lock_guard<std::mutex> hold(g_running.lock);
    g_running.set(own, result, output);
}

void untrack() { track(nullptr, std::string(), std::string()); }

ChildOutcome spawn(const std::string& path, double timeout_seconds) {
    ChildOutcome c;
    const std::string result = tempFile("zor");
    const std::string output = tempFile("zoo");
    track(nullptr, result, output);
    if (result.empty() || output.empty()) {
        untrack();
        c.how = "cannot make a temporary file";
        return c;
    }
    PROCESS_INFORMATION pi{};
    if (!startChild(path, result, output, pi, c.how)) {
        DeleteFileA(result.c_str());
        DeleteFileA(output.c_str());
        untrack();
        return c;
    }
    track(pi.hProcess, result, output);
    const double ms = timeout_seconds * 1000.0;
    const DWORD limit = ms >= 4.0e9 ? INFINITE - 1 : static_cast<DWORD>(ms);
    if (WaitForSingleObject(pi.hProcess, limit) == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
        c.end = ChildOutcome::End::TimedOut;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::lock_guard<std::mutex> hold(g_running.lock);
    c.output = readFile(output, 32768);
    const std::string said = readFile(result, 1 << 20);
    DeleteFileA(result.c_str());
    DeleteFileA(output.c_str());
    g_running.set(nullptr, std::string(), std::string());
    if (c.end != ChildOutcome::End::TimedOut) classify(c, code, said);
    return c;
}

}  // namespace

void endChildNow() {
    // Taken for good: the process ends next, and no child may start or
    // report meanwhile.
    g_running.lock.lock();
    if (g_running.process) {
        TerminateProcess(g_running.process, 1);
        WaitForSingleObject(g_running.process, 5000);
    }
    for (const std::string& f : g_running.files)
        if (!f.empty()) DeleteFileA(f.c_str());
    g_running.set(nullptr, std::string(), std::string());
}

const char* childIsolation() { return "re-invoked"; }

bool reinvokedFor(std::string& first_part, std::uint64_t& seed) {
    if (g_path.empty() || g_result_file.empty()) return false;
    first_part = g_path[0];
    seed = std::strtoull(env(kSeed).c_str(), nullptr, 10);
    return true;
}

void setChildSeed(std::uint64_t seed) { g_seed_out = seed; }

ChildOutcome runChild(const std::string& part, const std::function<std::string()>& work, double timeout_seconds) {
    if (g_depth < g_path.size()) {
        ChildOutcome c;
        // Another part of the same parent: not this process's to run.
        if (g_path[g_depth] != part) return c;
        if (g_depth + 1 == g_path.size()) {
            SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
            SetUnhandledExceptionFilter(&onCrash);
            std::signal(SIGABRT, &onAbort);
            ++g_depth;
            const std::string report = work();
            std::cout.flush();
            std::fflush(nullptr);
            writeResult("R" + report);
            // No unloading and no destructors: the part is done.
            TerminateProcess(GetCurrentProcess(), 0);
        }
        // A step on the way to a deeper part: run in place.
        ++g_depth;
        c.report = work();
        --g_depth;
        c.end = ChildOutcome::End::Reported;
        return c;
    }
    std::string path;
    for (std::size_t i = 0; i < g_depth; ++i) path += g_path[i] + "/";
    return spawn(path + part, timeout_seconds);
}

}  // namespace zohost::probe
