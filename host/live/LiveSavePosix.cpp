#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "live/LiveWindow.h"

namespace zohost::live {

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

}  // namespace zohost::live
