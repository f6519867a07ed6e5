#include "AllocProbe.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#define ZO_PROBE_LINUX 1
#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#endif

// A sanitizer's runtime owns malloc: count through its hooks instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZO_PROBE_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZO_PROBE_SANITIZER 1
#endif
#endif

namespace {

// Plain thread-local counters: no allocation, no lock, nothing to initialise.
#if defined(ZO_PROBE_LINUX)
#define ZO_TLS thread_local __attribute__((tls_model("initial-exec")))
#else
#define ZO_TLS thread_local
#endif
ZO_TLS bool t_armed = false;
ZO_TLS long t_allocations = 0;
ZO_TLS long t_frees = 0;
ZO_TLS long t_locks = 0;
ZO_TLS long long t_bytes = 0;
ZO_TLS long t_module_allocations = 0;
ZO_TLS long long t_module_bytes = 0;
ZO_TLS const void* t_caller = nullptr;

// Tracked blocks: an open-addressed table of the blocks allocated while
// armed, keyed by address, so that a free on any thread, armed or not,
// finds the size it takes from the live figures. Lock-free, allocates
// nothing; a block that finds no slot makes the live figures unknown.
constexpr std::uintptr_t kEmpty = 0, kGone = 1;
constexpr std::size_t kSlotBits = 16, kSlots = std::size_t(1) << kSlotBits, kProbes = 4096;
struct Slot {
    std::atomic<std::uintptr_t> key{kEmpty};
    std::atomic<long long> size{0};
    std::atomic<bool> module{false};
};
Slot g_slots[kSlots];
std::atomic<bool> g_tracking{false};
std::atomic<bool> g_missed{false};
std::atomic<long long> g_live{0}, g_module_live{0};
std::uintptr_t g_module_lo = 0, g_module_hi = 0;

std::size_t slotOf(std::uintptr_t key) {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(key >> 4) * 0x9E3779B97F4A7C15ull) >>
                                    (64 - kSlotBits));
}

void track(const void* p, long long size, bool module) {
    const auto key = reinterpret_cast<std::uintptr_t>(p);
    for (std::size_t i = 0, s = slotOf(key); i < kProbes; ++i, s = (s + 1) & (kSlots - 1)) {
        std::uintptr_t k = g_slots[s].key.load(std::memory_order_relaxed);
        if ((k == kEmpty || k == kGone) && g_slots[s].key.compare_exchange_strong(k, key)) {
            g_slots[s].size.store(size, std::memory_order_relaxed);
            g_slots[s].module.store(module, std::memory_order_relaxed);
            g_live.fetch_add(size, std::memory_order_relaxed);
            if (module) g_module_live.fetch_add(size, std::memory_order_relaxed);
            return;
        }
    }
    g_missed = true;
}

void untrack(const void* p) {
    const auto key = reinterpret_cast<std::uintptr_t>(p);
    for (std::size_t i = 0, s = slotOf(key); i < kProbes; ++i, s = (s + 1) & (kSlots - 1)) {
        std::uintptr_t k = g_slots[s].key.load(std::memory_order_acquire);
        if (k == kEmpty) return;
        if (k == key) {
            const long long size = g_slots[s].size.load(std::memory_order_relaxed);
            const bool module = g_slots[s].module.load(std::memory_order_relaxed);
            if (!g_slots[s].key.compare_exchange_strong(k, kGone)) return;
            g_live.fetch_sub(size, std::memory_order_relaxed);
            if (module) g_module_live.fetch_sub(size, std::memory_order_relaxed);
            return;
        }
    }
}

// Called for each allocation `p` of `size` bytes on an armed thread.
void noteAllocation(const void* p, std::size_t size, const void* malloc_caller) {
    ++t_allocations;
    const auto n = static_cast<long long>(size);
    t_bytes += n;
    if (!g_tracking.load(std::memory_order_relaxed)) return;
    const auto caller = reinterpret_cast<std::uintptr_t>(t_caller ? t_caller : malloc_caller);
    const bool module = caller >= g_module_lo && caller < g_module_hi;
    if (module) {
        ++t_module_allocations;
        t_module_bytes += n;
    }
    if (p) track(p, n, module);
}

void noteFree(const void* p) {
    if (!p) return;
    if (t_armed) ++t_frees;
    if (g_tracking.load(std::memory_order_relaxed)) untrack(p);
}

}  // namespace

#if defined(ZO_PROBE_LINUX)

// glibc's own entry points, under names that nothing interposes on.
extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

typedef int (*MutexFn)(pthread_mutex_t*);
MutexFn g_real_lock = nullptr;
MutexFn g_real_trylock = nullptr;

// The next definitions after this program's: the C library's, or a
// sanitizer's that forwards to it. Resolved before main, before anything
// is counted.
void resolveLocks() {
    if (!g_real_lock) g_real_lock = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (!g_real_trylock) g_real_trylock = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
}
__attribute__((constructor)) void resolveLocksEarly() { resolveLocks(); }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int pthread_mutex_lock(pthread_mutex_t* m) {
    if (t_armed) ++t_locks;
    if (!g_real_lock) resolveLocks();
    return g_real_lock(m);
}

__attribute__((visibility("default"))) int pthread_mutex_trylock(pthread_mutex_t* m) {
    if (t_armed) ++t_locks;
    if (!g_real_trylock) resolveLocks();
    return g_real_trylock(m);
}

}  // extern "C"

#if defined(ZO_PROBE_SANITIZER)

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {

void onMalloc(const volatile void* p, std::size_t n) {
    if (t_armed) noteAllocation(const_cast<const void*>(p), n, nullptr);
}
void onFree(const volatile void* p) { noteFree(const_cast<const void*>(p)); }
const bool g_hooked = __sanitizer_install_malloc_and_free_hooks(&onMalloc, &onFree) != 0;

}  // namespace

#else

extern "C" {

__attribute__((visibility("default"))) void* malloc(std::size_t n) {
    void* p = __libc_malloc(n);
    if (t_armed) noteAllocation(p, n, __builtin_return_address(0));
    return p;
}

__attribute__((visibility("default"))) void free(void* p) {
    noteFree(p);
    __libc_free(p);
}

__attribute__((visibility("default"))) void* calloc(std::size_t n, std::size_t size) {
    void* p = __libc_calloc(n, size);
    if (t_armed) noteAllocation(p, n * size, __builtin_return_address(0));
    return p;
}

// A block that moves is freed and allocated again.
__attribute__((visibility("default"))) void* realloc(void* p, std::size_t n) {
    if (g_tracking.load(std::memory_order_relaxed) && p) untrack(p);
    void* q = __libc_realloc(p, n);
    if (t_armed) noteAllocation(q, n, __builtin_return_address(0));
    return q;
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t n) {
    void* p = __libc_memalign(alignment, n);
    if (t_armed) noteAllocation(p, n, __builtin_return_address(0));
    return p;
}

__attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = __libc_memalign(alignment, n);
    if (t_armed) noteAllocation(p, n, __builtin_return_address(0));
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}

}  // extern "C"

#endif  // sanitizer

#endif  // linux

namespace zohost::probe {

namespace {

// Through volatile pointers, so the calls are neither removed nor merged.
void* (*volatile g_malloc)(std::size_t) = &std::malloc;
void (*volatile g_free)(void*) = &std::free;

}  // namespace

bool AllocProbe::available() {
#if defined(ZO_PROBE_LINUX)
#if defined(ZO_PROBE_SANITIZER)
    if (!g_hooked) return false;
#endif
    const bool was = t_armed;
    const ProbeCounts before = counts();
    t_armed = true;
    void* p = g_malloc(24);
    g_free(p);
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    int (*volatile lock)(pthread_mutex_t*) = &pthread_mutex_lock;
    int (*volatile unlock)(pthread_mutex_t*) = &pthread_mutex_unlock;
    lock(&m);
    unlock(&m);
    t_armed = was;
    const ProbeCounts after = counts();
    return after.allocations > before.allocations && after.frees > before.frees && after.locks > before.locks;
#else
    return false;
#endif
}

// Interposition reaches every library: nothing to do per module.
bool AllocProbe::watch(const void*) { return available(); }

// Our drawing library counts its own objects (ZoGdiLiveObjects).
long AllocProbe::liveDrawingObjects() { return 0; }

void AllocProbe::arm(bool on) { t_armed = on; }

#if defined(ZO_PROBE_LINUX)
namespace {

struct Range {
    std::uintptr_t address, lo, hi;
};

int findSegments(dl_phdr_info* info, std::size_t, void* data) {
    Range& r = *static_cast<Range*>(data);
    std::uintptr_t lo = UINTPTR_MAX, hi = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        lo = start < lo ? start : lo;
        hi = start + ph.p_memsz > hi ? start + ph.p_memsz : hi;
    }
    if (r.address < lo || r.address >= hi) return 0;
    r.lo = lo;
    r.hi = hi;
    return 1;
}

}  // namespace

bool AllocProbe::trackBlocks(const void* address_in_module) {
    Range r{reinterpret_cast<std::uintptr_t>(address_in_module), 0, 0};
    if (!address_in_module || !dl_iterate_phdr(&findSegments, &r)) return false;
    g_module_lo = r.lo;
    g_module_hi = r.hi;
    g_tracking = true;
    reset();
    return available();
}
#else
bool AllocProbe::trackBlocks(const void*) { return false; }
#endif

void AllocProbe::setCaller(const void* caller) { t_caller = caller; }

void AllocProbe::reset() {
    t_allocations = 0;
    t_frees = 0;
    t_locks = 0;
    t_bytes = 0;
    t_module_allocations = 0;
    t_module_bytes = 0;
    if (g_tracking) {
        for (Slot& s : g_slots) s.key.store(kEmpty, std::memory_order_relaxed);
        g_live = 0;
        g_module_live = 0;
        g_missed = false;
    }
}

ProbeCounts AllocProbe::counts() {
    ProbeCounts c;
    c.allocations = t_allocations;
    c.frees = t_frees;
    c.locks = t_locks;
    c.bytes = t_bytes;
    c.module_allocations = t_module_allocations;
    c.module_bytes = t_module_bytes;
    c.live_bytes = g_live;
    c.module_live_bytes = g_module_live;
    c.live_known = g_tracking && !g_missed;
    return c;
}

}  // namespace zohost::probe
