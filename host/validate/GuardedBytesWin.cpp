#include "GuardedBytes.h"

#include <windows.h>

namespace zohost::validate {

GuardedBytes::GuardedBytes(std::size_t size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page_ = info.dwPageSize;
    if (size > page_) return;
    map_ = VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!map_) return;
    DWORD old = 0;
    if (!VirtualProtect(static_cast<unsigned char*>(map_) + page_, page_, PAGE_NOACCESS, &old)) return;
    data_ = static_cast<unsigned char*>(map_) + page_ - size;
}

GuardedBytes::~GuardedBytes() {
    if (map_) VirtualFree(map_, 0, MEM_RELEASE);
}

}  // namespace zohost::validate
