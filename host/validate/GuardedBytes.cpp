#include "GuardedBytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zohost::validate {

GuardedBytes::GuardedBytes(std::size_t size) {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    if (size > page_) return;
    map_ = VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!map_) return;
    DWORD old = 0;
    if (!VirtualProtect(static_cast<unsigned char*>(map_) + page_, page_, PAGE_NOACCESS, &old)) return;
#else
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (size > page_) return;
    void* map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    map_ = map;
    if (mprotect(static_cast<unsigned char*>(map_) + page_, page_, PROT_NONE) != 0) return;
#endif
    data_ = static_cast<unsigned char*>(map_) + page_ - size;
}

GuardedBytes::~GuardedBytes() {
    if (!map_) return;
#ifdef _WIN32
    VirtualFree(map_, 0, MEM_RELEASE);
#else
    munmap(map_, 2 * page_);
#endif
}

}  // namespace zohost::validate
