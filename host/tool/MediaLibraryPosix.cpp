#include "tool/MediaLibrary.h"

#include <dlfcn.h>

#include <string>

#include "tool/Outputs.h"
#include "run/Run.h"

namespace zohost::tool {

namespace {

using Entry = Output* (*)(const RenderJob&, std::string&);

// Opened once; a failure is remembered and told again.
void* openMedia(std::string& error) {
    static void* handle = nullptr;
    static std::string failed;
    if (handle || !failed.empty()) {
        error = failed;
        return handle;
    }
    const std::string place = installedFile(kMediaLibrary);
    if (!place.empty()) {
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
