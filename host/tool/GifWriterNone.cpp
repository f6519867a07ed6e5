// Builds without giflib (Windows) make no animations: --animation fails
// before the run with a plain reason.
#include "tool/GifWriter.h"

namespace zohost::tool {

GifWriter::~GifWriter() = default;

bool GifWriter::open(const std::string&, int, int, std::string& error) {
    error = "animations are not available in this build of zohost (no GIF encoder)";
    return false;
}

bool GifWriter::add(const std::uint32_t*, int, std::string& error) {
    error = "no animation is open";
    return false;
}

bool GifWriter::close(std::string&) { return true; }

}  // namespace zohost::tool
