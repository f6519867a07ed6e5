#include "run/SndfileLibrary.h"

#include <dlfcn.h>

namespace zohost::tool {

namespace {

// The library by its run-time name, as the package that ships it names it.
const char* const kSndfileLibrary = "libsndfile.so.1";

const Sndfile* load(std::string& failed) {
    void* lib = dlopen(kSndfileLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        failed = std::string("cannot load libsndfile (") + (why ? why : kSndfileLibrary) + ")";
        return nullptr;
    }
    static Sndfile found;
#define ZO_SNDFILE_LOAD(name)                                                          \
    found.name = reinterpret_cast<decltype(found.name)>(dlsym(lib, #name));            \
    if (!found.name) {                                                                 \
        failed = std::string("cannot load libsndfile: ") + kSndfileLibrary + " lacks " #name; \
        return nullptr;                                                                \
    }
    ZO_SNDFILE_FUNCTIONS(ZO_SNDFILE_LOAD)
#undef ZO_SNDFILE_LOAD
    return &found;
}

}  // namespace

const Sndfile* sndfile(std::string* error) {
    static std::string failed;
    static const Sndfile* const lib = load(failed);
    if (!lib && error) *error = failed;
    return lib;
}

}  // namespace zohost::tool
