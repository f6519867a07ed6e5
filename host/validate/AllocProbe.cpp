#include "AllocProbe.h"

#include <cstddef>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#define ZO_PROBE_LINUX 1
#include <dlfcn.h>
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

void onMalloc(const volatile void*, std::size_t) {
    if (t_armed) ++t_allocations;
}
void onFree(const volatile void* p) {
    if (t_armed && p) ++t_frees;
}
const bool g_hooked = __sanitizer_install_malloc_and_free_hooks(&onMalloc, &onFree) != 0;

}  // namespace

#else

extern "C" {

__attribute__((visibility("default"))) void* malloc(std::size_t n) {
    if (t_armed) ++t_allocations;
    return __libc_malloc(n);
}

__attribute__((visibility("default"))) void free(void* p) {
    if (t_armed && p) ++t_frees;
    __libc_free(p);
}

__attribute__((visibility("default"))) void* calloc(std::size_t n, std::size_t size) {
    if (t_armed) ++t_allocations;
    return __libc_calloc(n, size);
}

__attribute__((visibility("default"))) void* realloc(void* p, std::size_t n) {
    if (t_armed) ++t_allocations;
    return __libc_realloc(p, n);
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t n) {
    if (t_armed) ++t_allocations;
    return __libc_memalign(alignment, n);
}

__attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    if (t_armed) ++t_allocations;
    void* p = __libc_memalign(alignment, n);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}

}  // extern "C"

#endif  // sanitizer

#endif  // linux

namespace zohost::validate {

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

void AllocProbe::reset() {
    t_allocations = 0;
    t_frees = 0;
    t_locks = 0;
}

ProbeCounts AllocProbe::counts() {
    ProbeCounts c;
    c.allocations = t_allocations;
    c.frees = t_frees;
    c.locks = t_locks;
    return c;
}

}  // namespace zohost::validate
