#include "tool/Outputs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iterator>

namespace zohost::tool {

// Each in a file of its own.
std::unique_ptr<Output> makePictureOutput(const RenderJob& job, std::string& why);
std::unique_ptr<Output> makeFramesOutput(const RenderJob& job, std::string& why);
std::unique_ptr<Output> makeCaptureLogOutput(const RenderJob& job, std::string& why);
std::unique_ptr<Output> makeGifOutput(const RenderJob& job, std::string& why);
std::unique_ptr<Output> makeWebpOutput(const RenderJob& job, std::string& why);
std::unique_ptr<Output> makeVideoOutput(const RenderJob& job, std::string& why);  // .mp4, .webm, .mkv

namespace {

std::unique_ptr<Output> makeSound(const RenderJob& job, std::string&) {
    return makeSoundOutput(job.sound, job.sound_format, static_cast<int>(std::lround(job.rate)));
}

const AnimationFormat kAnimations[] = {
    {".gif", makeGifOutput},   {".webp", makeWebpOutput}, {".mp4", makeVideoOutput},
    {".webm", makeVideoOutput}, {".mkv", makeVideoOutput},
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

const AnimationFormat* animationFormat(const std::string& path) {
    const std::string ext = lower(std::filesystem::path(path).extension().string());
    for (const AnimationFormat& f : kAnimations)
        if (ext == f.extension) return &f;
    return nullptr;
}

std::string animationExtensions() {
    std::string list;
    for (const AnimationFormat& f : kAnimations) list += (list.empty() ? "" : ", ") + std::string(f.extension);
    return list;
}

bool makeOutputs(const RenderJob& job, std::vector<std::unique_ptr<Output>>& outputs, std::string& error) {
    const AnimationFormat* animation = job.animation.empty() ? nullptr : animationFormat(job.animation);
    if (!job.animation.empty() && !animation) {
        error = "--animation " + job.animation + ": no format of that name; zohost writes " + animationExtensions();
        return false;
    }
    const std::pair<bool, OutputMaker> wanted[] = {
        {!job.captures.empty(), makeCaptureLogOutput},
        {!job.frames_dir.empty(), makeFramesOutput},
        {animation != nullptr, animation ? animation->make : nullptr},
        {!job.png.empty(), makePictureOutput},
        {!job.sound.empty(), makeSound},
    };
    for (const auto& [asked, make] : wanted) {
        if (!asked) continue;
        std::unique_ptr<Output> out = make(job, error);
        if (!out) return false;
        outputs.push_back(std::move(out));
    }
    return true;
}

}  // namespace zohost::tool
