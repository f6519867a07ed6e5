#include "run/SystemLibrary.h"

#include <dlfcn.h>

namespace zohost::tool {

void* loadSystemLibrary(const char* soname, const char* what, std::string& error) {
    void* lib = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        error = std::string("cannot load ") + what + " (" + (why ? why : soname) + ")";
    }
    return lib;
}

void* systemFunction(void* lib, const char* soname, const char* what, const char* name, std::string& error) {
    void* fn = dlsym(lib, name);
    if (!fn) error = std::string("cannot load ") + what + ": " + soname + " lacks " + name;
    return fn;
}

}  // namespace zohost::tool
