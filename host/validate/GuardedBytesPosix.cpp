#include "GuardedBytes.h"

#include <sys/mman.h>
#include <unistd.h>

namespace zohost::validate {

GuardedBytes::GuardedBytes(std::size_t size) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (size > page_) return;
    void* map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    map_ = map;
    if (mprotect(static_cast<unsigned char*>(map_) + page_, page_, PROT_NONE) != 0) return;
    data_ = static_cast<unsigned char*>(map_) + page_ - size;
}

GuardedBytes::~GuardedBytes() {
    if (map_) munmap(map_, 2 * page_);
}

}  // namespace zohost::validate
