// Where the samples of one host input pin come from. Sources fill a whole
// block per call, so feeding exact sample arrays costs a copy, not a
// function call per sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zohost {

// Fills out[0..count) with the samples for clocks first_clock, first_clock+1, ...
using BlockFill = std::function<void(std::uint64_t first_clock, float* out, int count)>;

class Signal {
public:
    enum class Kind { None, Constant, Generator, Samples, Manual };

    // No signal: the pin reads as not connected and carries its idle value.
    Signal() = default;
    static Signal constant(float value);
    static Signal generator(BlockFill fill);
    // Convenient but one call per sample: not for hot paths.
    static Signal perSample(std::function<float(std::uint64_t clock)> sample);
    // Played from the first block after it is set; after the end, zeros or again from the start.
    static Signal samples(std::vector<float> data, bool loop = false);
    // The same over the caller's array, which must outlive the signal: no copy.
    static Signal view(const float* data, std::size_t count, bool loop = false);
    // The caller writes into the pin's buffer before each block; the host leaves it alone.
    static Signal manual();

    Kind kind() const { return kind_; }
    bool present() const { return kind_ != Kind::None; }
    // Samples played so far (Samples kind).
    std::size_t cursor() const { return cursor_; }

    void fill(std::uint64_t first_clock, float* out, int count, float idle);

private:
    Kind kind_ = Kind::None;
    float value_ = 0.0f;
    BlockFill fill_;
    std::vector<float> owned_;
    const float* view_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cursor_ = 0;
    bool loop_ = false;
};

}  // namespace zohost
