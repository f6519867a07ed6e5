// One thing a run writes. The render loop calls every output before the
// first block (so that one that cannot be written is known before the run),
// then hands each what it needs: the instance after each block, each
// capture, each frame of the display, the one picture. At the end every
// output finishes its temporary file, and only when all have, each is put
// in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ScopeCaptures.h"
#include "run/SoundWriter.h"
#include "zohost/Instance.h"

namespace zohost::tool {

// The display as pictures show it: 0xAARRGGBB (alpha 0: see-through, else
// opaque), top row first.
struct Pixels {
    const std::uint32_t* data = nullptr;
    int width = 0, height = 0;
};

class Output {
public:
    // What an output is handed, as bits of needs().
    enum Need : unsigned {
        kBlocks = 1,    // the instance after each block
        kCaptures = 2,  // each capture, samples copied
        kFrames = 4,    // the display at each frame time, or after each capture without --fps
        kPicture = 8,   // the display at the chosen moment, or at the end
    };

    virtual ~Output() = default;
    virtual unsigned needs() const = 0;
    virtual bool begin(Instance& in, std::string& error) = 0;
    virtual bool block(Instance&, int /*count*/, std::string&) { return true; }
    // `number` counts captures from 1.
    virtual bool capture(const Capture&, std::size_t /*number*/, std::string&) { return true; }
    virtual bool frame(const Pixels&, std::string&) { return true; }
    // `capture`: the capture it shows when taken at a chosen moment, else 0.
    virtual bool picture(const Pixels&, std::size_t /*capture*/, std::string&) { return true; }
    // Completes the temporary file; nothing is in place yet.
    virtual bool finish(std::string& error) = 0;
    // Puts it in place.
    virtual bool commit(std::string& error) = 0;
    // The status line once written, without its end.
    virtual std::string written() const = 0;
    // What the user should know of how it was written, or nothing.
    virtual std::string warning() const { return {}; }
};

// The module's output streams as the channels of one WAV file, in pin order.
std::unique_ptr<Output> makeSoundOutput(const std::string& path, SampleFormat format, int rate);

}  // namespace zohost::tool
