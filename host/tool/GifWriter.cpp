#include "tool/GifWriter.h"

#include <gif_lib.h>

#include <unordered_map>

namespace zohost::tool {

namespace {

GifFileType* handle(void* p) { return static_cast<GifFileType*>(p); }

std::string gifError(int code) {
    const char* s = GifErrorString(code);
    return s ? s : "error " + std::to_string(code);
}

int cubeIndex(std::uint32_t p) {
    const int r = static_cast<int>(((p >> 16) & 0xFF) * 5 + 127) / 255;
    const int g = static_cast<int>(((p >> 8) & 0xFF) * 6 + 127) / 255;
    const int b = static_cast<int>((p & 0xFF) * 5 + 127) / 255;
    return (r * 7 + g) * 6 + b;
}

}  // namespace

GifWriter::~GifWriter() {
    if (gif_) {
        int err = 0;
        EGifCloseFile(handle(gif_), &err);
    }
}

bool GifWriter::open(const std::string& path, int width, int height, std::string& error) {
    int err = 0;
    GifFileType* g = EGifOpenFileName(path.c_str(), false, &err);
    if (!g) {
        error = "cannot write " + path + ": " + gifError(err);
        return false;
    }
    gif_ = g;
    path_ = path;
    width_ = width;
    height_ = height;
    EGifSetGifVersion(g, true);
    if (EGifPutScreenDesc(g, width, height, 8, 0, nullptr) == GIF_ERROR) {
        error = "cannot write " + path + ": " + gifError(g->Error);
        return false;
    }
    // Loop for ever.
    unsigned char app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    unsigned char loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(g, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(g, sizeof app, app) == GIF_ERROR ||
        EGifPutExtensionBlock(g, sizeof loop, loop) == GIF_ERROR || EGifPutExtensionTrailer(g) == GIF_ERROR) {
        error = "cannot write " + path + ": " + gifError(g->Error);
        return false;
    }
    return true;
}

// The picture's own colours into index_, when there are at most 256; the
// see-through index, or NO_TRANSPARENT_COLOR, into `transparent`.
bool GifWriter::indexExact(const std::uint32_t* pixels, ColourList& colours, int& transparent) {
    const std::size_t count = index_.size();
    std::unordered_map<std::uint32_t, int> seen;
    transparent = NO_TRANSPARENT_COLOR;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = (pixels[i] >> 24) == 0 ? 0u : (pixels[i] | 0xFF000000u);
        auto it = seen.find(p);
        if (it == seen.end()) {
            if (seen.size() == 256) return false;
            it = seen.emplace(p, static_cast<int>(seen.size())).first;
            colours.push_back(p);
            if (p == 0) transparent = it->second;
        }
        index_[i] = static_cast<unsigned char>(it->second);
    }
    return true;
}

// The nearest of a fixed cube, and index 252, beyond it, for what is see-through.
void GifWriter::indexCube(const std::uint32_t* pixels, ColourList& colours, int& transparent) {
    colours.assign(256, 0u);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 7; ++g)
            for (int b = 0; b < 6; ++b)
                colours[static_cast<std::size_t>((r * 7 + g) * 6 + b)] =
                    static_cast<std::uint32_t>((r * 255 / 5) << 16 | (g * 255 / 6) << 8 | (b * 255 / 5));
    transparent = 252;
    for (std::size_t i = 0; i < index_.size(); ++i)
        index_[i] = static_cast<unsigned char>((pixels[i] >> 24) == 0 ? 252 : cubeIndex(pixels[i]));
}

bool GifWriter::add(const std::uint32_t* pixels, int delay_cs, std::string& error) {
    if (!gif_) {
        error = "no animation open";
        return false;
    }
    index_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    ColourList colours;
    int transparent = NO_TRANSPARENT_COLOR;
    if (!indexExact(pixels, colours, transparent)) indexCube(pixels, colours, transparent);
    if (!putFrame(colours, transparent, delay_cs)) {
        error = "cannot write " + path_ + ": " + gifError(handle(gif_)->Error);
        return false;
    }
    ++frames_;
    return true;
}

bool GifWriter::putFrame(const ColourList& colours, int transparent, int delay_cs) {
    GifFileType* g = handle(gif_);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    if (!map) return false;
    for (std::size_t i = 0; i < colours.size(); ++i)
        map->Colors[i] = GifColorType{static_cast<GifByteType>(colours[i] >> 16),
                                      static_cast<GifByteType>(colours[i] >> 8), static_cast<GifByteType>(colours[i])};
    GraphicsControlBlock gcb{};
    // Each frame is whole: what is see-through shows no earlier frame.
    gcb.DisposalMode = transparent == NO_TRANSPARENT_COLOR ? DISPOSE_DO_NOT : DISPOSE_BACKGROUND;
    gcb.DelayTime = delay_cs;
    gcb.TransparentColor = transparent;
    GifByteType ext[4];
    const size_t n = EGifGCBToExtension(&gcb, ext);
    bool ok = EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) != GIF_ERROR &&
              EGifPutImageDesc(g, 0, 0, width_, height_, false, map) != GIF_ERROR;
    for (int y = 0; ok && y < height_; ++y)
        ok = EGifPutLine(g, index_.data() + static_cast<std::size_t>(y) * width_, width_) != GIF_ERROR;
    GifFreeMapObject(map);
    return ok;
}

bool GifWriter::close(std::string& error) {
    if (!gif_) return true;
    int err = 0;
    const bool ok = EGifCloseFile(handle(gif_), &err) != GIF_ERROR;
    gif_ = nullptr;
    if (!ok) error = "cannot write " + path_ + ": " + gifError(err);
    return ok;
}

}  // namespace zohost::tool
