#include <cstdio>
#include <filesystem>

#include "live/LiveKeys.h"
#include "live/LiveWindow.h"
#include "run/OutputFile.h"
#include "run/PngWriter.h"
#include "zohost/NewFile.h"

namespace zohost::live {

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
        const std::string name = numberedName(path, n);
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
