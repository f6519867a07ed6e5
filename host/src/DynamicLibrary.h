// Loading a library file and finding its exports: DynamicLibraryPosix.cpp
// (dlopen) or DynamicLibraryWin.cpp (LoadLibrary), chosen by the build.
#pragma once

#include <string>

namespace zohost::detail {

// Null with `error` set when the file cannot be loaded.
void* openLibrary(const std::string& path, std::string& error);
void* findSymbol(void* handle, const char* name);
void closeLibrary(void* handle);

}  // namespace zohost::detail
