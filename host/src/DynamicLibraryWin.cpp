#include "DynamicLibrary.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace zohost::detail {

namespace {

std::string lastErrorText() {
    DWORD code = GetLastError();
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : std::string();
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out + " (error " + std::to_string(code) + ")";
}

}  // namespace

void* openLibrary(const std::string& path, std::string& error) {
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h) error = lastErrorText();
    return reinterpret_cast<void*>(h);
}

void* findSymbol(void* handle, const char* name) {
    FARPROC p = GetProcAddress(static_cast<HMODULE>(handle), name);
    // Through a generic function pointer type: a direct cast between
    // unrelated function pointer types draws a warning.
    return reinterpret_cast<void*>(reinterpret_cast<void (*)()>(p));
}

void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

}  // namespace zohost::detail
