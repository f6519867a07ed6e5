// Files that never take the place of one: created only where none exists,
// or given their name only where no file has it. NewFilePosix.cpp or
// NewFileWin.cpp, chosen by the build.
#pragma once

#include <cstdio>
#include <string>

namespace zohost {

// A new file open for writing; null with errno set (EEXIST among others)
// when it cannot be made.
std::FILE* createNewFile(const std::string& path);

// Gives the finished file `from` the name `to` only where no file has it;
// false with `exists` set when one does.
bool placeNew(const std::string& from, const std::string& to, bool& exists, std::string& error);

}  // namespace zohost
