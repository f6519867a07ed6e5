// Counts heap calls (malloc, calloc, realloc, free and what operator new
// makes of them) and locks made on this thread while armed. On Linux the
// program's own definitions interpose on the loaded module's calls
// (malloc and pthread_mutex_lock); under AddressSanitizer its allocator hooks
// count instead. On Windows watch() points the module's import entries for the
// C runtime's allocation functions and kernel32's heap, critical-section,
// SRW-lock and wait functions at counters (AllocProbeWin.cpp).
#pragma once

namespace zohost::validate {

struct ProbeCounts {
    long allocations = 0;
    long frees = 0;
    long locks = 0;
};

class AllocProbe {
public:
    // Whether counting works here: checked by making one allocation and one
    // lock while armed, through calls the compiler cannot remove.
    static bool available();
    // Counts the calls of the module that holds `address_in_module` from now
    // on (until it is unloaded); false when they cannot be counted.
    static bool watch(const void* address_in_module);
    static void arm(bool on);
    // Windows: pens, brushes and fonts the watched modules made and have not
    // deleted (counted through the same import entries).
    static long liveDrawingObjects();
    static void reset();
    static ProbeCounts counts();
};

// Armed while alive, on this thread.
class ProbeScope {
public:
    ProbeScope() { AllocProbe::arm(true); }
    ~ProbeScope() { AllocProbe::arm(false); }
    ProbeScope(const ProbeScope&) = delete;
    ProbeScope& operator=(const ProbeScope&) = delete;
};

}  // namespace zohost::validate
