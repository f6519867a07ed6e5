// One thing a run writes. The render loop calls every output before the
// first block (so that one that cannot be written is known before the run),
// after each block, and once at the end, when the file is put in place.
#pragma once

#include <memory>
#include <string>

#include "run/SoundWriter.h"
#include "zohost/Instance.h"

namespace zohost::tool {

class Output {
public:
    virtual ~Output() = default;
    virtual bool begin(Instance& in, std::string& error) = 0;
    virtual bool block(Instance& in, int count, std::string& error) = 0;
    virtual bool finish(std::string& error) = 0;
    // The status line once written, without its end.
    virtual std::string written() const = 0;
};

// The module's output streams as the channels of one WAV file, in pin order.
std::unique_ptr<Output> makeSoundOutput(const std::string& path, SampleFormat format, int rate);

}  // namespace zohost::tool
