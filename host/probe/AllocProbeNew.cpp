// Linked into a program that wants the module's share of its allocations
// (AllocProbe::trackBlocks): the module's operator new calls the C++
// library's, whose malloc call would otherwise be what the probe sees.
#include <cstdlib>
#include <new>

#include "AllocProbe.h"

namespace {

using zohost::probe::AllocProbe;

void* allocate(std::size_t size, const void* caller) noexcept {
    AllocProbe::setCaller(caller);
    void* p = std::malloc(size ? size : 1);
    AllocProbe::setCaller(nullptr);
    return p;
}

void* allocateOrThrow(std::size_t size, const void* caller) {
    if (void* p = allocate(size, caller)) return p;
    throw std::bad_alloc();
}

}  // namespace

// Each takes its own caller's address: the one that decides the module's share.
void* operator new(std::size_t size) { return allocateOrThrow(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, __builtin_return_address(0)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, __builtin_return_address(0));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
