#include "zohost/ExecutablePath.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <vector>

namespace zohost {

std::string executableDirectory() {
    std::vector<char> buf(4096);
#ifdef _WIN32
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) return std::string();
    std::string path(buf.data(), n);
    std::size_t cut = path.find_last_of("\\/");
#else
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return std::string();
    std::string path(buf.data(), static_cast<std::size_t>(n));
    std::size_t cut = path.rfind('/');
#endif
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace zohost
