// libsndfile, loaded the first time a sound file is read or written: a run
// without one (--version, most renders) starts without it and the codec
// libraries it brings. Called through this table, not by name, so that a
// program that also links libsndfile (the tests do) keeps its own.
#pragma once

#include <sndfile.h>

#include <string>

// Every libsndfile function zohost calls.
#define ZO_SNDFILE_FUNCTIONS(X) \
    X(sf_open)                  \
    X(sf_open_virtual)          \
    X(sf_close)                 \
    X(sf_command)               \
    X(sf_readf_float)           \
    X(sf_writef_float)          \
    X(sf_strerror)

namespace zohost::tool {

#define ZO_SNDFILE_POINTER(name) decltype(&::name) name = nullptr;
struct Sndfile {
    ZO_SNDFILE_FUNCTIONS(ZO_SNDFILE_POINTER)
};
#undef ZO_SNDFILE_POINTER

// Loaded on the first call; null when it cannot be, and then `error`, if
// given, says why (each time: a failure is remembered).
const Sndfile* sndfile(std::string* error = nullptr);

}  // namespace zohost::tool
