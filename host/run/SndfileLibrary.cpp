#include "run/SndfileLibrary.h"

#include "run/SystemLibrary.h"

namespace zohost::tool {

namespace {

const char* const kSndfileLibrary = "libsndfile.so.1";

const Sndfile* load(std::string& failed) {
    void* lib = loadSystemLibrary(kSndfileLibrary, "libsndfile", failed);
    if (!lib) return nullptr;
    static Sndfile found;
#define ZO_SNDFILE_FIND(name) \
    if (!findSystemFunction(lib, kSndfileLibrary, "libsndfile", #name, found.name, failed)) return nullptr;
    ZO_SNDFILE_FUNCTIONS(ZO_SNDFILE_FIND)
#undef ZO_SNDFILE_FIND
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
