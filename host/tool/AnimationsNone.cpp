// Builds without giflib, libwebp and FFmpeg (Windows): those animations
// are refused before the run, naming what the build lacks.
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

std::unique_ptr<Output> lacking(const char* what, const char* library, std::string& why) {
    why = std::string("this build of zohost cannot write ") + what + " (it was built without " + library + ")";
    return nullptr;
}

}  // namespace

std::unique_ptr<Output> makeGifOutput(const RenderJob&, std::string& why) { return lacking("GIF animations", "giflib", why); }
std::unique_ptr<Output> makeWebpOutput(const RenderJob&, std::string& why) { return lacking("WebP animations", "libwebp", why); }
std::unique_ptr<Output> makeVideoOutput(const RenderJob&, std::string& why) {
    return lacking("video (.mp4, .webm, .mkv)", "FFmpeg's libraries", why);
}

}  // namespace zohost::tool
