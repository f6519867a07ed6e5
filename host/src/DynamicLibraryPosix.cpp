#include "DynamicLibrary.h"

#include <dlfcn.h>

namespace zohost::detail {

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

}  // namespace zohost::detail
