// An animated GIF of 0xAARRGGBB pictures (alpha 0: see-through, else
// opaque), frame by frame, each with its own delay, playing in a loop. Each
// frame carries its own palette: the picture's exact colours when there are
// at most 256, else the nearest of a fixed cube.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zohost::tool {

class GifWriter {
public:
    GifWriter() = default;
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // False with `error` set.
    bool open(const std::string& path, int width, int height, std::string& error);
    // `delay_cs`: hundredths of a second until the next frame.
    bool add(const std::uint32_t* pixels, int delay_cs, std::string& error);
    bool close(std::string& error);
    int frames() const { return frames_; }

private:
    using ColourList = std::vector<std::uint32_t>;  // 0x00RRGGBB by index
    bool indexExact(const std::uint32_t* pixels, ColourList& colours, int& transparent);
    void indexCube(const std::uint32_t* pixels, ColourList& colours, int& transparent);
    bool putFrame(const ColourList& colours, int transparent, int delay_cs);

    void* gif_ = nullptr;  // GifFileType*
    std::string path_;
    int width_ = 0, height_ = 0, frames_ = 0;
    std::vector<unsigned char> index_;
};

}  // namespace zohost::tool
