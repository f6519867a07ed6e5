#include <signal.h>
#include <unistd.h>

#include "app/Signals.h"
#include "run/OutputFile.h"

namespace zohost::tool {

namespace {

volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_polled = 0;
void (*g_stop)() = nullptr;

void removeOne(const char* path) { ::unlink(path); }

extern "C" void onStopSignal(int sig) {
    // A reader gone away (`zohost --png - | head -c1`) will not come back: no
    // block is worth finishing.
    if (sig != SIGPIPE && !g_signal && g_polled) {
        g_signal = sig;
        if (g_stop) g_stop();
        return;
    }
    if (!g_signal) g_signal = sig;
    forEachTemporary(removeOne);
    ::_exit(128 + sig);
}

}  // namespace

void installStopHandlers(void (*stop)()) {
    g_stop = stop;
    struct sigaction sa{};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction old{};
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &sa, nullptr);
    }
}

void stopBetweenBlocks(bool on) { g_polled = on ? 1 : 0; }

int stopSignal() { return g_signal; }

void stopDone() {}

}  // namespace zohost::tool
