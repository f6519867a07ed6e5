// A library of the system, loaded when a mode first needs it rather than
// with the program (libsndfile, SDL2, Xlib): opened by its run-time name,
// as the package that ships it names it, and its functions found by name.
#pragma once

#include <string>

namespace zohost::tool {

// The library, or null with `error` set: "cannot load WHAT (why)".
void* loadSystemLibrary(const char* soname, const char* what, std::string& error);

// The address of `name` in `lib`, or null with `error` set:
// "cannot load WHAT: SONAME lacks NAME".
void* systemFunction(void* lib, const char* soname, const char* what, const char* name, std::string& error);

// `fn` set to the function `name` of `lib`; false, with `error` set, when it has none.
template <class F>
bool findSystemFunction(void* lib, const char* soname, const char* what, const char* name, F& fn,
                        std::string& error) {
    fn = reinterpret_cast<F>(systemFunction(lib, soname, what, name, error));
    return fn != nullptr;
}

}  // namespace zohost::tool
