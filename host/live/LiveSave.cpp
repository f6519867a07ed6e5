#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "live/LiveWindow.h"
#include "tool/OutputFile.h"
#include "tool/PngWriter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zohost::live {

namespace {

// Gives the finished file `from` the name `to` only where no file has it.
// False with errno-like `exists` set when one does.
bool placeNew(const std::string& from, const std::string& to, bool& exists, std::string& error) {
#ifdef _WIN32
    // Without MOVEFILE_REPLACE_EXISTING the move fails where `to` exists.
    if (MoveFileExA(from.c_str(), to.c_str(), 0)) return true;
    const DWORD e = GetLastError();
    exists = e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS;
    error = "cannot write " + to + " (error " + std::to_string(e) + ")";
    return false;
#else
    // link() fails where a file exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
        std::remove(from.c_str());
        return true;
    }
    exists = errno == EEXIST;
    error = "cannot write " + to + ": " + std::strerror(errno);
    return false;
#endif
}

}  // namespace

bool savePicture(const std::string& path, bool fresh, const std::uint32_t* pixels, int width, int height,
                 std::string& written, std::string& error) {
    tool::PngWriter png;
    if (!fresh) {
        tool::OutputFile out;
        if (!out.begin(path, error)) return false;
        if (!png.write(out.workPath(), pixels, width, height, error)) return false;
        if (!out.commit(error)) return false;
        written = path;
        return true;
    }
    // A temporary file of our own beside the pictures, linked or moved to
    // the first free name.
    namespace fs = std::filesystem;
    const fs::path pattern(path);
    const fs::path dir = pattern.has_parent_path() ? pattern.parent_path() : fs::path(".");
    tool::OutputFile work;
    const std::string work_name = (dir / ".zohost-live-picture.png").string();
    if (!work.begin(work_name, error)) return false;
    const std::string tmp = work.workPath();
    if (!png.write(tmp, pixels, width, height, error)) return false;
    for (int n = 1; n < 100000; ++n) {
        char name[4096];
        std::snprintf(name, sizeof name, path.c_str(), n);
        bool exists = false;
        if (placeNew(tmp, name, exists, error)) {
            written = name;
            return true;
        }
        if (!exists) return false;
    }
    error = "no free name for " + path;
    return false;
}

}  // namespace zohost::live
