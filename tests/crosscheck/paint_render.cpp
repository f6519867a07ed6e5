// Renders every cross-check picture through the module's display and writes
// the pixels; on our drawing library it can instead compare its own pictures
// with a file written under Windows GDI, everywhere outside the text.
//
//   paint_render OUT            write the pictures
//   paint_render --compare IN   (not on Windows) compare with IN
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "PaintCases.h"
#ifndef _WIN32
#include "TextBoxes.h"
#endif
#include "zohost/Canvas.h"
#include "zohost/Instance.h"
#include "zohost/ModuleLibrary.h"

namespace {

const std::uint32_t kFill = 0x00406080;  // shows what paint leaves alone

bool render(const zohost::ModuleLibrary& library, const crosscheck::PaintCase& c,
            std::vector<std::uint32_t>& pixels) {
    zohost::InstanceOptions o;
    o.audio = false;
    o.log_requests = false;
    o.background = c.background ? 0 : -1;
    o.text_colour = 0x00E0E0E0;
    o.font_height = 12;
    zohost::Instance in(library, o);
    std::vector<float> storage;
    T_SCOPE record = crosscheck::recordOf(c, storage);
    in.displayCall(zo_gui_op::module_msg, sizeof(T_SCOPE), SCOPE_MSG_DATA, &record);
    zohost::Canvas canvas(c.width, c.height, kFill);
    if (!canvas.valid()) return false;
    in.paint(canvas.dc(), c.width, c.height);
    const std::uint32_t* p = canvas.pixels();
    pixels.assign(p, p + static_cast<std::size_t>(canvas.width()) * canvas.height());
    return true;
}

int write(const zohost::ModuleLibrary& library, const char* path) {
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        std::cerr << "cannot write " << path << "\n";
        return 2;
    }
    for (const auto& c : crosscheck::paintCases()) {
        std::vector<std::uint32_t> pixels;
        if (!render(library, c, pixels)) {
            std::cerr << "cannot render " << c.name << "\n";
            return 1;
        }
        const std::uint32_t count = static_cast<std::uint32_t>(pixels.size());
        out.write(reinterpret_cast<const char*>(&count), sizeof count);
        out.write(reinterpret_cast<const char*>(pixels.data()), count * sizeof(std::uint32_t));
    }
    return out ? 0 : 1;
}

#ifndef _WIN32
int compare(const zohost::ModuleLibrary& library, const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return 2;
    }
    int passed = 0, failed = 0;
    crosscheck::TextBoxes text;
    text.trace();
    for (const auto& c : crosscheck::paintCases()) {
        text.clear();
        std::vector<std::uint32_t> ours;
        render(library, c, ours);
        std::uint32_t count = 0;
        in.read(reinterpret_cast<char*>(&count), sizeof count);
        std::vector<std::uint32_t> theirs(count);
        in.read(reinterpret_cast<char*>(theirs.data()), count * sizeof(std::uint32_t));
        if (!in || count != ours.size()) {
            std::cout << "FAIL " << c.name << ": picture missing or of another size\n";
            ++failed;
            continue;
        }
        const int w = c.width > 0 ? c.width : 1;
        long differing = 0, compared = 0;
        int first_x = -1, first_y = -1;
        for (std::size_t i = 0; i < count; ++i) {
            const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
            if (text.covers(x, y)) continue;
            ++compared;
            if (ours[i] != theirs[i]) {
                if (differing++ == 0) {
                    first_x = x;
                    first_y = y;
                }
            }
        }
        if (differing == 0) {
            ++passed;
            std::cout << "ok   " << c.name << " (" << compared << " pixels)\n";
        } else {
            ++failed;
            std::cout << "FAIL " << c.name << ": " << differing << " of " << compared
                      << " pixels differ, first at (" << first_x << "," << first_y << ")\n";
        }
    }
    ZoGdiSetTrace(nullptr, nullptr);
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    zohost::ModuleLibrary library(ZO_MODULE_PATH);
    if (!library.loaded()) {
        std::cerr << library.error() << "\n";
        return 3;
    }
#ifndef _WIN32
    if (argc == 3 && std::strcmp(argv[1], "--compare") == 0) return compare(library, argv[2]);
#endif
    if (argc == 2) return write(library, argv[1]);
    std::cerr << "usage: paint_render OUT | paint_render --compare IN\n";
    return 2;
}
