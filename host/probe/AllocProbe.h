// Counts heap calls (malloc, calloc, realloc, free and what operator new
// makes of them) and locks made on this thread while armed. On Linux the
// program's own definitions interpose on the loaded module's calls
// (malloc and pthread_mutex_lock); under AddressSanitizer its allocator hooks
// count instead. On Windows watch() points the module's import entries for the
// C runtime's allocation functions and kernel32's heap, critical-section,
// SRW-lock and wait functions at counters (AllocProbeWin.cpp).
#pragma once

namespace zohost::probe {

struct ProbeCounts {
    long allocations = 0;
    long frees = 0;
    long locks = 0;
    long long bytes = 0;  // requested by those allocations
    // Filled while blocks are tracked (trackBlocks): of the bytes, those not
    // freed yet (by any thread), and the share of the module's code.
    long long live_bytes = 0;
    long module_allocations = 0;
    long long module_bytes = 0;
    long long module_live_bytes = 0;
    bool live_known = false;  // tracking on and no block was missed
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
    // Linux: keeps the size of every block allocated while armed until it is
    // freed, for live_bytes, and tells the module's share apart by the code
    // that asked (through operator new when AllocProbeNew.cpp is linked in,
    // else malloc's caller). Off unless asked for: the validator and the
    // tests count calls only.
    static bool trackBlocks(const void* address_in_module);
    // AllocProbeNew.cpp: the code that called operator new, for the
    // allocation this thread makes next.
    static void setCaller(const void* caller);
    // Also forgets the tracked blocks.
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

}  // namespace zohost::probe
