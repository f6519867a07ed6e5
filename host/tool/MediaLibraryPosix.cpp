#include "tool/MediaLibrary.h"

#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "tool/Outputs.h"
#include "zohost/ExecutablePath.h"

#ifndef ZOHOST_MODULE_DIR_FROM_BIN
#define ZOHOST_MODULE_DIR_FROM_BIN "../lib"
#endif

namespace zohost::tool {

namespace {

using Entry = Output* (*)(const RenderJob&, std::string&);

// Beside the program (a build), else in the library folder of its prefix
// (an install).
void* openMedia(std::string& error) {
    static void* handle = nullptr;
    static std::string failed;
    if (handle || !failed.empty()) {
        error = failed;
        return handle;
    }
    const std::filesystem::path bin = executableDirectory();
    const std::string places[] = {(bin / kMediaLibrary).string(),
                                  (bin / ZOHOST_MODULE_DIR_FROM_BIN / kMediaLibrary).string()};
    for (const std::string& place : places) {
        std::error_code ec;
        if (!std::filesystem::exists(place, ec)) continue;
        if ((handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL))) return handle;
        failed = place + ": " + dlerror();
        error = failed;
        return nullptr;
    }
    failed = std::string(kMediaLibrary) + " is not beside zohost nor in its library folder";
    error = failed;
    return nullptr;
}

std::unique_ptr<Output> fromMedia(const char* entry, const char* what, const RenderJob& job, std::string& why) {
    std::string error;
    void* media = openMedia(error);
    Entry make = media ? reinterpret_cast<Entry>(dlsym(media, entry)) : nullptr;
    if (!make) {
        why = std::string("cannot write ") + what + ": " + (media ? std::string(entry) + " is missing" : error);
        return nullptr;
    }
    return std::unique_ptr<Output>(make(job, why));
}

}  // namespace

std::unique_ptr<Output> makeWebpOutput(const RenderJob& job, std::string& why) {
    return fromMedia(kWebpEntry, "WebP animations", job, why);
}

std::unique_ptr<Output> makeVideoOutput(const RenderJob& job, std::string& why) {
    return fromMedia(kVideoEntry, "video", job, why);
}

}  // namespace zohost::tool
