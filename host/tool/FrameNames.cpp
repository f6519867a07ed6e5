#include "tool/FrameNames.h"

#include <cstdio>
#include <system_error>

#include "run/ToolOptions.h"

namespace zohost::tool {

namespace {

const char kDefaultName[] = "frame-%05d.png";

struct Pattern {
    std::string prefix, suffix;
    int width = 0;
    int numbers = 0;
};

// The file name's text around its one number, with %% made literal.
Pattern parsePattern(const std::string& name, const std::string& option_text) {
    Pattern p;
    std::string* side = &p.prefix;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            *side += name[i];
            continue;
        }
        std::size_t j = i + 1;
        if (j < name.size() && name[j] == '%') {
            *side += '%';
            i = j;
            continue;
        }
        int width = 0;
        if (j < name.size() && name[j] == '0')
            for (++j; j < name.size() && name[j] >= '0' && name[j] <= '9' && width < 100; ++j) width = width * 10 + (name[j] - '0');
        if (j >= name.size() || name[j] != 'd' || (name[i + 1] == '0' && width == 0))
            throw UsageError("--frames " + option_text + ": a frame pattern takes one %d or %0Nd (e.g. frame-%05d.png), and %% for a percent sign");
        p.width = width;
        ++p.numbers;
        side = &p.suffix;
        i = j;
    }
    if (p.numbers != 1)
        throw UsageError("--frames " + option_text + ": a frame pattern takes exactly one %d or %0Nd, not " +
                         std::to_string(p.numbers));
    return p;
}

}  // namespace

FrameNames::FrameNames(const std::string& text) {
    const std::filesystem::path given(text);
    const bool pattern = given.filename().string().find('%') != std::string::npos;
    if (!pattern && text.find('%') != std::string::npos)
        throw UsageError("--frames " + text + ": the frame number goes in the file name, not in the folder");
    dir_ = pattern ? given.parent_path().string() : text;
    if (dir_.empty()) dir_ = ".";
    shown_ = pattern ? text : text + "/";
    const std::string name = pattern ? given.filename().string() : kDefaultName;
    const Pattern p = parsePattern(name, text);
    if (p.suffix.size() < 4 || p.suffix.compare(p.suffix.size() - 4, 4, ".png") != 0)
        throw UsageError("--frames " + text + ": frames are PNG pictures, so the name ends in .png");
    prefix_ = p.prefix;
    suffix_ = p.suffix;
    width_ = p.width;
}

std::string FrameNames::path(std::size_t number) const {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*zu", width_ > 0 ? width_ : 1, number);
    return (std::filesystem::path(dir_) / (prefix_ + digits + suffix_)).string();
}

bool FrameNames::matches(const std::string& filename) const {
    if (filename.size() <= prefix_.size() + suffix_.size() || filename.compare(0, prefix_.size(), prefix_) != 0 ||
        filename.compare(filename.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return false;
    const std::string number = filename.substr(prefix_.size(), filename.size() - suffix_.size() - prefix_.size());
    return number.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<std::filesystem::path> FrameNames::existing() const {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir_, ec)) return found;
    for (const auto& e : std::filesystem::directory_iterator(dir_, ec))
        // A folder of that name is not a frame, and is nobody's to remove.
        if (!e.is_directory(ec) && matches(e.path().filename().string())) found.push_back(e.path());
    return found;
}

}  // namespace zohost::tool
