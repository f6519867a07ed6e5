// Replaces the global allocation functions of the program. Every block
// carries a 16-byte header with its size and whether it was counted, so that
// freeing it later, armed or not, keeps the live figures right.
#include "AllocCount.h"

#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_armed{false};
std::atomic<const void*> g_module_base{nullptr};
std::atomic<std::int64_t> g_count{0}, g_bytes{0}, g_live{0};
std::atomic<std::int64_t> g_module_count{0}, g_module_bytes{0}, g_module_live{0};

enum : std::uint32_t { kCounted = 1, kModule = 2 };

struct alignas(16) Header {
    std::size_t size;
    std::uint32_t flags;
};
static_assert(sizeof(Header) == 16, "header keeps 16-byte alignment");

bool calledFromModule(const void* caller) {
    const void* base = g_module_base.load(std::memory_order_relaxed);
    if (!base) return false;
    Dl_info info;
    return dladdr(caller, &info) != 0 && info.dli_fbase == base;
}

void* allocate(std::size_t size, const void* caller) noexcept {
    void* raw = std::malloc(sizeof(Header) + (size ? size : 1));
    if (!raw) return nullptr;
    Header* h = static_cast<Header*>(raw);
    h->size = size;
    h->flags = 0;
    if (g_armed.load(std::memory_order_relaxed)) {
        const auto n = static_cast<std::int64_t>(size);
        h->flags = kCounted;
        g_count.fetch_add(1, std::memory_order_relaxed);
        g_bytes.fetch_add(n, std::memory_order_relaxed);
        g_live.fetch_add(n, std::memory_order_relaxed);
        if (calledFromModule(caller)) {
            h->flags |= kModule;
            g_module_count.fetch_add(1, std::memory_order_relaxed);
            g_module_bytes.fetch_add(n, std::memory_order_relaxed);
            g_module_live.fetch_add(n, std::memory_order_relaxed);
        }
    }
    return h + 1;
}

void release(void* p) noexcept {
    if (!p) return;
    Header* h = static_cast<Header*>(p) - 1;
    const auto n = static_cast<std::int64_t>(h->size);
    if (h->flags & kCounted) g_live.fetch_sub(n, std::memory_order_relaxed);
    if (h->flags & kModule) g_module_live.fetch_sub(n, std::memory_order_relaxed);
    std::free(h);
}

void* allocateOrThrow(std::size_t size, const void* caller) {
    if (void* p = allocate(size, caller)) return p;
    throw std::bad_alloc();
}

}  // namespace

namespace zobench {

void allocSetModule(const void* address_in_module) {
    Dl_info info;
    g_module_base = dladdr(address_in_module, &info) != 0 ? info.dli_fbase : nullptr;
}

void allocArm(bool on) { g_armed = on; }

void allocReset() {
    g_count = g_bytes = g_live = 0;
    g_module_count = g_module_bytes = g_module_live = 0;
}

AllocStats allocStats() {
    AllocStats s;
    s.count = g_count;
    s.bytes = g_bytes;
    s.live = g_live;
    s.module_count = g_module_count;
    s.module_bytes = g_module_bytes;
    s.module_live = g_module_live;
    return s;
}

}  // namespace zobench

// Each takes its own caller's address: the one that decides the module's share.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) { return allocateOrThrow(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, __builtin_return_address(0)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, __builtin_return_address(0));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
