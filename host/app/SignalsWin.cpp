#include <windows.h>

#include "ChildRunner.h"
#include "app/Signals.h"
#include "run/OutputFile.h"

namespace zohost::tool {

namespace {

// As the C runtime numbers them; SIGHUP stands for the console closed.
const LONG kSigInt = 2, kSigBreak = 21, kSigHup = 1;
// How long a closing console's handler waits for the normal path; the
// system ends the process some seconds after the event in any case.
const DWORD kCloseWaitMs = 4000;

volatile LONG g_signal = 0;
volatile LONG g_polled = 0;
void (*g_stop)() = nullptr;
HANDLE g_done = nullptr;

void removeOne(const char* path) { DeleteFileA(path); }

// Runs on a thread of its own, which the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD type) {
    const LONG sig = type == CTRL_C_EVENT ? kSigInt : type == CTRL_BREAK_EVENT ? kSigBreak : kSigHup;
    if (InterlockedCompareExchange(&g_signal, sig, 0) == 0 && g_polled) {
        if (g_stop) g_stop();
        // The process ends when this returns from a close: wait for the run.
        if (sig == kSigHup && g_done) WaitForSingleObject(g_done, kCloseWaitMs);
        return TRUE;
    }
    probe::endChildNow();
    forEachTemporary(removeOne);
    ExitProcess(static_cast<UINT>(128 + g_signal));
}

}  // namespace

void installStopHandlers(void (*stop)()) {
    g_stop = stop;
    g_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void stopBetweenBlocks(bool on) { InterlockedExchange(&g_polled, on ? 1 : 0); }

int stopSignal() { return static_cast<int>(InterlockedCompareExchange(&g_signal, 0, 0)); }

void stopDone() {
    if (g_done) SetEvent(g_done);
}

}  // namespace zohost::tool
