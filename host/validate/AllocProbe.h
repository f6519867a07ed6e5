// Counts heap calls (malloc, calloc, realloc, free and what operator new
// makes of them) and mutex locks made on this thread while armed. On Linux
// the program's own definitions interpose on the loaded module's calls; under
// AddressSanitizer its allocator hooks count instead. Elsewhere nothing is
// counted and available() says so.
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
    static void arm(bool on);
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
