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

bool GifWriter::add(const std::uint32_t* pixels, int delay_cs, std::string& error) {
    GifFileType* g = handle(gif_);
    if (!g) {
        error = "no animation open";
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    index_.resize(count);
    std::unordered_map<std::uint32_t, int> colours;
    bool exact = true;
    int transparent = NO_TRANSPARENT_COLOR;
    for (std::size_t i = 0; i < count && exact; ++i) {
        const std::uint32_t p = (pixels[i] >> 24) == 0 ? 0u : (pixels[i] | 0xFF000000u);
        auto it = colours.find(p);
        if (it == colours.end()) {
            if (colours.size() == 256) {
                exact = false;
                break;
            }
            it = colours.emplace(p, static_cast<int>(colours.size())).first;
            if (p == 0) transparent = it->second;
        }
        index_[i] = static_cast<unsigned char>(it->second);
    }
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    if (!map) {
        error = "out of memory";
        return false;
    }
    if (exact) {
        for (const auto& [rgb, i] : colours)
            map->Colors[i] = GifColorType{static_cast<GifByteType>(rgb >> 16), static_cast<GifByteType>(rgb >> 8),
                                          static_cast<GifByteType>(rgb)};
    } else {
        for (int r = 0; r < 6; ++r)
            for (int gr = 0; gr < 7; ++gr)
                for (int b = 0; b < 6; ++b)
                    map->Colors[(r * 7 + gr) * 6 + b] =
                        GifColorType{static_cast<GifByteType>(r * 255 / 5), static_cast<GifByteType>(gr * 255 / 6),
                                     static_cast<GifByteType>(b * 255 / 5)};
        // Index 252, beyond the cube, for what is see-through.
        transparent = 252;
        for (std::size_t i = 0; i < count; ++i)
            index_[i] = static_cast<unsigned char>((pixels[i] >> 24) == 0 ? 252 : cubeIndex(pixels[i]));
    }
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
    if (!ok) {
        error = "cannot write " + path_ + ": " + gifError(g->Error);
        return false;
    }
    ++frames_;
    return true;
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
