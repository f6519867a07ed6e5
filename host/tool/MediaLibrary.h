// WebP and video are written by a library of their own (zohost-media),
// loaded only when an animation asks for one, so that the codecs' many
// libraries are not loaded by every run. It uses zohost's own code from the
// program that loads it.
#pragma once

#define ZOHOST_MEDIA_ENTRY __attribute__((visibility("default")))

namespace zohost::tool {

// The library's file name, and its entries: `Output* (const RenderJob&, std::string& why)`.
inline constexpr const char* kMediaLibrary = "zohost-media.so";
inline constexpr const char* kWebpEntry = "zohostWebpOutput";
inline constexpr const char* kVideoEntry = "zohostVideoOutput";

}  // namespace zohost::tool
