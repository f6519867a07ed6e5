#include "zohost/NewFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace zohost {

std::FILE* createNewFile(const std::string& path) {
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) _close(fd);
    return f;
}

bool placeNew(const std::string& from, const std::string& to, bool& exists, std::string& error) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where `to` exists.
    if (MoveFileExA(from.c_str(), to.c_str(), 0)) return true;
    const DWORD e = GetLastError();
    exists = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS;
    error = "cannot write " + to + " (error " + std::to_string(e) + ")";
    return false;
}

}  // namespace zohost
