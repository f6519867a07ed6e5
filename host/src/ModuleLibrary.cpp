#include "zohost/ModuleLibrary.h"

#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zohost {

namespace {

#ifdef _WIN32
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
#else
void* openLibrary(const std::string& path, std::string& error) {
    // A path without a slash would be searched for on the library path.
    std::string p = path.find('/') == std::string::npos ? "./" + path : path;
    void* h = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = dlerror();
        error = e ? e : "unknown dlopen failure";
    }
    return h;
}

void* findSymbol(void* handle, const char* name) {
    dlerror();
    return dlsym(handle, name);
}

void closeLibrary(void* handle) { dlclose(handle); }
#endif

template <typename Fn>
Fn asFunction(void* p) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) { load(path); }

ModuleLibrary::~ModuleLibrary() { unload(); }

ModuleLibrary::ModuleLibrary(ModuleLibrary&& other) noexcept { *this = std::move(other); }

ModuleLibrary& ModuleLibrary::operator=(ModuleLibrary&& other) noexcept {
    if (this != &other) {
        unload();
        handle_ = std::exchange(other.handle_, nullptr);
        get_properties_ = std::exchange(other.get_properties_, nullptr);
        make_module_ = std::exchange(other.make_module_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool ModuleLibrary::load(const std::string& path) {
    unload();
    error_.clear();
    path_ = path;
    std::string why;
    void* h = openLibrary(path, why);
    if (!h) {
        error_ = "cannot load module \"" + path + "\": " + why;
        return false;
    }
    void* props = findSymbol(h, "getModuleProperties");
    void* make = findSymbol(h, "makeModule");
    if (!props || !make) {
        error_ = "module \"" + path + "\" does not export " +
                 (!props && !make ? std::string("getModuleProperties and makeModule")
                  : !props        ? std::string("getModuleProperties")
                                  : std::string("makeModule"));
        closeLibrary(h);
        return false;
    }
    handle_ = h;
    get_properties_ = asFunction<GetModulePropertiesFn>(props);
    make_module_ = asFunction<MakeModuleFn>(make);
    return true;
}

void ModuleLibrary::unload() {
    if (handle_) closeLibrary(handle_);
    handle_ = nullptr;
    get_properties_ = nullptr;
    make_module_ = nullptr;
}

int ModuleLibrary::getModuleProperties(zolong index, ZOModuleProperties* properties) const {
    return get_properties_ ? get_properties_(index, properties) : 0;
}

void* ModuleLibrary::makeModule(zolong index, zolong type, ZOHostCallback callback,
                                void* host_data) const {
    return make_module_ ? make_module_(index, type, callback, host_data) : nullptr;
}

void* ModuleLibrary::symbol(const char* name) const {
    return handle_ ? findSymbol(handle_, name) : nullptr;
}

}  // namespace zohost
