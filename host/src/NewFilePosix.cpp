#include "zohost/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zohost {

std::FILE* createNewFile(const std::string& path) {
    // fopen's "x" is not in every C library.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) ::close(fd);
    return f;
}

bool placeNew(const std::string& from, const std::string& to, bool& exists, std::string& error) {
    // link() fails where a file exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
        std::remove(from.c_str());
        return true;
    }
    exists = errno == EEXIST;
    error = "cannot write " + to + ": " + std::strerror(errno);
    return false;
}

}  // namespace zohost
