// What a render writes, each an Output: the picture, frames, the capture
// log and animations. Animations are chosen by their file's extension in
// one table (Outputs.cpp), each format one file with its maker; a build
// without a format's library has a maker that says so.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "run/Output.h"
#include "tool/Render.h"

namespace zohost::tool {

// Null with `why` set when this build cannot write it.
using OutputMaker = std::unique_ptr<Output> (*)(const RenderJob& job, std::string& why);

struct AnimationFormat {
    const char* extension;  // ".gif"
    OutputMaker make;
};

// The format of an animation file by its extension, any case; null: none.
const AnimationFormat* animationFormat(const std::string& path);
// ".gif, .webp, ..."
std::string animationExtensions();

// The outputs `job` asks for, in the order of their status lines. False
// with `error` set.
bool makeOutputs(const RenderJob& job, std::vector<std::unique_ptr<Output>>& outputs, std::string& error);

}  // namespace zohost::tool
