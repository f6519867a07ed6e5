// Counts what goes through the global operator new of this program, which on
// Linux also serves the module's allocations (symbol interposition). Only
// allocations made while armed are counted; the module's share is told apart
// by the address of the code that called operator new.
#pragma once

#include <cstdint>

namespace zobench {

struct AllocStats {
    std::int64_t count = 0;         // allocations while armed
    std::int64_t bytes = 0;         // bytes requested while armed
    std::int64_t live = 0;          // of those, bytes not freed yet
    std::int64_t module_count = 0;  // the same, made by the module's code
    std::int64_t module_bytes = 0;
    std::int64_t module_live = 0;
};

// Any address inside the module's code or data: sets which library counts as
// the module.
void allocSetModule(const void* address_in_module);
void allocArm(bool on);
void allocReset();
AllocStats allocStats();

// Counts while alive.
class AllocScope {
public:
    AllocScope() {
        allocReset();
        allocArm(true);
    }
    ~AllocScope() { allocArm(false); }
    AllocScope(const AllocScope&) = delete;
    AllocScope& operator=(const AllocScope&) = delete;
};

}  // namespace zobench
