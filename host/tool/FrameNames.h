// The names --frames writes: DIR alone means DIR/frame-00001.png,
// DIR/frame-00002.png, ...; a name with one %d or %0Nd (and %% for a
// percent sign), as image sequences are named, numbers them that way.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace zohost::tool {

class FrameNames {
public:
    // Throws UsageError for a pattern that is not one number and .png.
    explicit FrameNames(const std::string& text);

    // Frame `number`, counted from 1.
    std::string path(std::size_t number) const;
    // The folder they go in.
    const std::string& dir() const { return dir_; }
    // As the status line shows them: "DIR/" or the pattern.
    const std::string& shown() const { return shown_; }
    // A name these frames have, whatever the width of its number.
    bool matches(const std::string& filename) const;
    // Those already in the folder (an earlier run's).
    std::vector<std::filesystem::path> existing() const;

private:
    std::string dir_, shown_;
    std::string prefix_, suffix_;  // around the number, in the file name
    int width_ = 0;                // zero-padded to so many digits; 0: as long as it is
};

}  // namespace zohost::tool
