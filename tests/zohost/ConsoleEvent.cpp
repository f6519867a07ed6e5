// console_event EVENT PROGRAM [ARGS...]: starts PROGRAM, and once a line (or
// the end) comes on standard input, raises EVENT in it as the system raises
// a console's events: a thread of the program's own at CtrlRoutine. EVENT
// is c, break or close. Ends with PROGRAM's exit status.
//
// Wine hands a SIGINT to a program as Ctrl-C, but raises no other console
// event; this raises the others where Wine runs the tests.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const int kUsage = 2, kFailed = 3;
const DWORD kEndWaitMs = 120000;

std::string quoted(const char* arg) {
    std::string out = "\"";
    for (const char* p = arg; *p; ++p) {
        if (*p == '"') out += '\\';
        out += *p;
    }
    return out + "\"";
}

bool eventOf(const char* name, DWORD& event) {
    if (!std::strcmp(name, "c")) event = CTRL_C_EVENT;
    else if (!std::strcmp(name, "break")) event = CTRL_BREAK_EVENT;
    else if (!std::strcmp(name, "close")) event = CTRL_CLOSE_EVENT;
    else return false;
    return true;
}

// The same address in every process: the system's own libraries load at one place.
LPTHREAD_START_ROUTINE ctrlRoutine() {
    for (const char* dll : {"kernelbase.dll", "kernel32.dll"})
        if (HMODULE m = GetModuleHandleA(dll))
            if (FARPROC f = GetProcAddress(m, "CtrlRoutine"))
                return reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(f));
    return nullptr;
}

HANDLE inherited(DWORD which) {
    HANDLE h = GetStdHandle(which);
    SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    DWORD event = 0;
    if (argc < 3 || !eventOf(argv[1], event)) {
        std::fprintf(stderr, "usage: console_event c|break|close PROGRAM [ARGS...]\n");
        return kUsage;
    }
    std::string line;
    for (int k = 2; k < argc; ++k) line += (k > 2 ? " " : "") + quoted(argv[k]);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = inherited(STD_OUTPUT_HANDLE);
    start.hStdError = inherited(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child)) {
        std::fprintf(stderr, "console_event: cannot start %s (error %lu)\n", argv[2], GetLastError());
        return kFailed;
    }
    char go[64];
    (void)!std::fgets(go, sizeof go, stdin);
    const LPTHREAD_START_ROUTINE routine = ctrlRoutine();
    HANDLE raised = routine ? CreateRemoteThread(child.hProcess, nullptr, 0, routine,
                                                 reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(event)), 0, nullptr)
                            : nullptr;
    if (!raised) std::fprintf(stderr, "console_event: cannot raise the event (error %lu)\n", GetLastError());
    DWORD code = kFailed;
    if (WaitForSingleObject(child.hProcess, raised ? kEndWaitMs : 0) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    else
        TerminateProcess(child.hProcess, kFailed);
    return raised ? static_cast<int>(code) : kFailed;
}
