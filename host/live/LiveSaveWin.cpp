#include <windows.h>

#include "live/LiveWindow.h"

namespace zohost::live {

bool placeNew(const std::string& from, const std::string& to, bool& exists, std::string& error) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where `to` exists.
    if (MoveFileExA(from.c_str(), to.c_str(), 0)) return true;
    const DWORD e = GetLastError();
    exists = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS;
    error = "cannot write " + to + " (error " + std::to_string(e) + ")";
    return false;
}

}  // namespace zohost::live
