// AllocProbe on Windows. A module carries its own C++ runtime, so nothing this
// program defines reaches its calls; its import table does. watch() points
// the module's entries for the C runtime's allocation functions and for
// kernel32's heap, lock and wait functions at counters that call on.
#include "AllocProbe.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstring>

namespace zohost::probe {

namespace {

// The arming thread's id: counters are plain, and only that thread counts.
std::atomic<DWORD> g_armed_thread{0};
std::atomic<long> g_allocations{0}, g_frees{0}, g_locks{0};
// Pens, brushes and fonts the module made and has not deleted, on any thread.
std::atomic<long> g_drawing_objects{0};

bool armedHere() { return g_armed_thread.load(std::memory_order_relaxed) == GetCurrentThreadId(); }
void countAllocation() {
    if (armedHere()) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
void countFree(const void* p) {
    if (p && armedHere()) g_frees.fetch_add(1, std::memory_order_relaxed);
}
void countLock() {
    if (armedHere()) g_locks.fetch_add(1, std::memory_order_relaxed);
}

// The functions called on, as the module's import entries held them first.
struct Real {
    void* (__cdecl* malloc)(std::size_t) = nullptr;
    void* (__cdecl* calloc)(std::size_t, std::size_t) = nullptr;
    void* (__cdecl* realloc)(void*, std::size_t) = nullptr;
    void (__cdecl* free)(void*) = nullptr;
    void* (__cdecl* aligned_malloc)(std::size_t, std::size_t) = nullptr;
    void* (__cdecl* aligned_realloc)(void*, std::size_t, std::size_t) = nullptr;
    void (__cdecl* aligned_free)(void*) = nullptr;
    char* (__cdecl* strdup)(const char*) = nullptr;
    LPVOID(WINAPI* HeapAlloc)(HANDLE, DWORD, SIZE_T) = nullptr;
    LPVOID(WINAPI* HeapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T) = nullptr;
    BOOL(WINAPI* HeapFree)(HANDLE, DWORD, LPVOID) = nullptr;
    HLOCAL(WINAPI* LocalAlloc)(UINT, SIZE_T) = nullptr;
    HGLOBAL(WINAPI* GlobalAlloc)(UINT, SIZE_T) = nullptr;
    void(WINAPI* EnterCriticalSection)(LPCRITICAL_SECTION) = nullptr;
    BOOL(WINAPI* TryEnterCriticalSection)(LPCRITICAL_SECTION) = nullptr;
    void(WINAPI* AcquireSRWLockExclusive)(PSRWLOCK) = nullptr;
    void(WINAPI* AcquireSRWLockShared)(PSRWLOCK) = nullptr;
    DWORD(WINAPI* WaitForSingleObject)(HANDLE, DWORD) = nullptr;
    DWORD(WINAPI* WaitForSingleObjectEx)(HANDLE, DWORD, BOOL) = nullptr;
    DWORD(WINAPI* WaitForMultipleObjects)(DWORD, const HANDLE*, BOOL, DWORD) = nullptr;
    HPEN(WINAPI* CreatePen)(int, int, COLORREF) = nullptr;
    HPEN(WINAPI* CreatePenIndirect)(const LOGPEN*) = nullptr;
    HBRUSH(WINAPI* CreateSolidBrush)(COLORREF) = nullptr;
    HBRUSH(WINAPI* CreateBrushIndirect)(const LOGBRUSH*) = nullptr;
    HFONT(WINAPI* CreateFontIndirectA)(const LOGFONTA*) = nullptr;
    BOOL(WINAPI* DeleteObject)(HGDIOBJ) = nullptr;
} g_real;

template <typename H>
H made(H h) {
    if (h) g_drawing_objects.fetch_add(1, std::memory_order_relaxed);
    return h;
}
HPEN WINAPI hookCreatePen(int style, int width, COLORREF c) { return made(g_real.CreatePen(style, width, c)); }
HPEN WINAPI hookCreatePenIndirect(const LOGPEN* p) { return made(g_real.CreatePenIndirect(p)); }
HBRUSH WINAPI hookCreateSolidBrush(COLORREF c) { return made(g_real.CreateSolidBrush(c)); }
HBRUSH WINAPI hookCreateBrushIndirect(const LOGBRUSH* b) { return made(g_real.CreateBrushIndirect(b)); }
HFONT WINAPI hookCreateFontIndirectA(const LOGFONTA* f) { return made(g_real.CreateFontIndirectA(f)); }
BOOL WINAPI hookDeleteObject(HGDIOBJ h) {
    const DWORD type = h ? GetObjectType(h) : 0;
    const bool counted = type == OBJ_PEN || type == OBJ_BRUSH || type == OBJ_FONT;
    const BOOL ok = g_real.DeleteObject(h);
    if (ok && counted) g_drawing_objects.fetch_sub(1, std::memory_order_relaxed);
    return ok;
}

void* __cdecl hookMalloc(std::size_t n) {
    countAllocation();
    return g_real.malloc(n);
}
void* __cdecl hookCalloc(std::size_t n, std::size_t size) {
    countAllocation();
    return g_real.calloc(n, size);
}
void* __cdecl hookRealloc(void* p, std::size_t n) {
    countAllocation();
    return g_real.realloc(p, n);
}
void __cdecl hookFree(void* p) {
    countFree(p);
    g_real.free(p);
}
void* __cdecl hookAlignedMalloc(std::size_t n, std::size_t alignment) {
    countAllocation();
    return g_real.aligned_malloc(n, alignment);
}
void* __cdecl hookAlignedRealloc(void* p, std::size_t n, std::size_t alignment) {
    countAllocation();
    return g_real.aligned_realloc(p, n, alignment);
}
void __cdecl hookAlignedFree(void* p) {
    countFree(p);
    g_real.aligned_free(p);
}
char* __cdecl hookStrdup(const char* s) {
    countAllocation();
    return g_real.strdup(s);
}
LPVOID WINAPI hookHeapAlloc(HANDLE h, DWORD flags, SIZE_T n) {
    countAllocation();
    return g_real.HeapAlloc(h, flags, n);
}
LPVOID WINAPI hookHeapReAlloc(HANDLE h, DWORD flags, LPVOID p, SIZE_T n) {
    countAllocation();
    return g_real.HeapReAlloc(h, flags, p, n);
}
BOOL WINAPI hookHeapFree(HANDLE h, DWORD flags, LPVOID p) {
    countFree(p);
    return g_real.HeapFree(h, flags, p);
}
HLOCAL WINAPI hookLocalAlloc(UINT flags, SIZE_T n) {
    countAllocation();
    return g_real.LocalAlloc(flags, n);
}
HGLOBAL WINAPI hookGlobalAlloc(UINT flags, SIZE_T n) {
    countAllocation();
    return g_real.GlobalAlloc(flags, n);
}
void WINAPI hookEnterCriticalSection(LPCRITICAL_SECTION c) {
    countLock();
    g_real.EnterCriticalSection(c);
}
BOOL WINAPI hookTryEnterCriticalSection(LPCRITICAL_SECTION c) {
    countLock();
    return g_real.TryEnterCriticalSection(c);
}
void WINAPI hookAcquireSRWLockExclusive(PSRWLOCK l) {
    countLock();
    g_real.AcquireSRWLockExclusive(l);
}
void WINAPI hookAcquireSRWLockShared(PSRWLOCK l) {
    countLock();
    g_real.AcquireSRWLockShared(l);
}
DWORD WINAPI hookWaitForSingleObject(HANDLE h, DWORD ms) {
    countLock();
    return g_real.WaitForSingleObject(h, ms);
}
DWORD WINAPI hookWaitForSingleObjectEx(HANDLE h, DWORD ms, BOOL alertable) {
    countLock();
    return g_real.WaitForSingleObjectEx(h, ms, alertable);
}
DWORD WINAPI hookWaitForMultipleObjects(DWORD n, const HANDLE* h, BOOL all, DWORD ms) {
    countLock();
    return g_real.WaitForMultipleObjects(n, h, all, ms);
}

struct Hook {
    const char* name;
    void* hook;
    void** real;
};

template <typename F>
Hook hook(const char* name, F hook_fn, F* real) {
    return Hook{name, reinterpret_cast<void*>(hook_fn), reinterpret_cast<void**>(real)};
}

const Hook* hooks(std::size_t& count) {
    static const Hook all[] = {
        hook("malloc", &hookMalloc, &g_real.malloc),
        hook("calloc", &hookCalloc, &g_real.calloc),
        hook("realloc", &hookRealloc, &g_real.realloc),
        hook("free", &hookFree, &g_real.free),
        hook("_aligned_malloc", &hookAlignedMalloc, &g_real.aligned_malloc),
        hook("_aligned_realloc", &hookAlignedRealloc, &g_real.aligned_realloc),
        hook("_aligned_free", &hookAlignedFree, &g_real.aligned_free),
        hook("_strdup", &hookStrdup, &g_real.strdup),
        hook("strdup", &hookStrdup, &g_real.strdup),
        hook("HeapAlloc", &hookHeapAlloc, &g_real.HeapAlloc),
        hook("HeapReAlloc", &hookHeapReAlloc, &g_real.HeapReAlloc),
        hook("HeapFree", &hookHeapFree, &g_real.HeapFree),
        hook("LocalAlloc", &hookLocalAlloc, &g_real.LocalAlloc),
        hook("GlobalAlloc", &hookGlobalAlloc, &g_real.GlobalAlloc),
        hook("EnterCriticalSection", &hookEnterCriticalSection, &g_real.EnterCriticalSection),
        hook("TryEnterCriticalSection", &hookTryEnterCriticalSection, &g_real.TryEnterCriticalSection),
        hook("AcquireSRWLockExclusive", &hookAcquireSRWLockExclusive, &g_real.AcquireSRWLockExclusive),
        hook("AcquireSRWLockShared", &hookAcquireSRWLockShared, &g_real.AcquireSRWLockShared),
        hook("WaitForSingleObject", &hookWaitForSingleObject, &g_real.WaitForSingleObject),
        hook("WaitForSingleObjectEx", &hookWaitForSingleObjectEx, &g_real.WaitForSingleObjectEx),
        hook("WaitForMultipleObjects", &hookWaitForMultipleObjects, &g_real.WaitForMultipleObjects),
        hook("CreatePen", &hookCreatePen, &g_real.CreatePen),
        hook("CreatePenIndirect", &hookCreatePenIndirect, &g_real.CreatePenIndirect),
        hook("CreateSolidBrush", &hookCreateSolidBrush, &g_real.CreateSolidBrush),
        hook("CreateBrushIndirect", &hookCreateBrushIndirect, &g_real.CreateBrushIndirect),
        hook("CreateFontIndirectA", &hookCreateFontIndirectA, &g_real.CreateFontIndirectA),
        hook("DeleteObject", &hookDeleteObject, &g_real.DeleteObject),
    };
    count = sizeof all / sizeof all[0];
    return all;
}

// Points each import entry of `module` named in hooks() at its hook. The
// number of entries that now count, or -1 when the table cannot be read.
int patchImports(HMODULE module, void*** malloc_entry) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return -1;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return -1;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return 0;
    std::size_t count = 0;
    const Hook* table = hooks(count);
    int patched = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        // Names from the lookup table; the addresses the loader filled in.
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const char* name = reinterpret_cast<const char*>(by_name->Name);
            for (std::size_t i = 0; i < count; ++i) {
                if (std::strcmp(name, table[i].name) != 0) continue;
                void** slot = reinterpret_cast<void**>(&entries->u1.Function);
                if (std::strcmp(name, "malloc") == 0) *malloc_entry = slot;
                if (*slot != table[i].hook) {
                    *table[i].real = *slot;
                    DWORD old = 0;
                    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) break;
                    *slot = table[i].hook;
                    VirtualProtect(slot, sizeof *slot, old, &old);
                    FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
                }
                ++patched;
                break;
            }
        }
    }
    return patched;
}

}  // namespace

bool AllocProbe::available() { return true; }

bool AllocProbe::watch(const void* address_in_module) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address_in_module), &module) ||
        !module)
        return false;
    void** malloc_entry = nullptr;
    if (patchImports(module, &malloc_entry) < 0) return false;
    if (!malloc_entry) return true;  // no C runtime heap to count: what is imported counts
    // One call through the module's own entry, armed, must be counted.
    const DWORD was = g_armed_thread.exchange(GetCurrentThreadId());
    const long before = g_allocations.load();
    auto* fn = reinterpret_cast<void* (__cdecl*)(std::size_t)>(*malloc_entry);
    void* p = fn(24);
    const bool seen = g_allocations.load() == before + 1;
    g_armed_thread = was;
    if (g_real.free) g_real.free(p);
    return seen;
}

long AllocProbe::liveDrawingObjects() { return g_drawing_objects.load(); }

void AllocProbe::arm(bool on) { g_armed_thread = on ? GetCurrentThreadId() : 0; }

// Calls only: the benchmarks that want sizes do not build here.
bool AllocProbe::trackBlocks(const void*) { return false; }
void AllocProbe::setCaller(const void*) {}

void AllocProbe::reset() {
    g_allocations = 0;
    g_frees = 0;
    g_locks = 0;
}

ProbeCounts AllocProbe::counts() {
    ProbeCounts c;
    c.allocations = g_allocations.load();
    c.frees = g_frees.load();
    c.locks = g_locks.load();
    return c;
}

}  // namespace zohost::probe
