// Cuts blocks into parts beyond the cuts that events force: a repeating
// pattern of part lengths or a seeded random one. Parts of 0 samples are
// allowed; a correct module processes the same whatever the cuts.
#pragma once

#include <cstdint>
#include <vector>

namespace zohost {

class BlockSplitter {
public:
    BlockSplitter() = default;
    // Lengths are used in turn, across blocks. At least one must be positive
    // and none negative (else std::invalid_argument).
    static BlockSplitter pattern(std::vector<int> lengths);
    // Lengths 0..max_part, with 0 and 1 drawn often; the same seed gives the same cuts.
    static BlockSplitter random(std::uint64_t seed, int max_part = 64);

    bool active() const { return mode_ != Mode::None; }
    // Longest next part; a very large number when not splitting.
    int next();

private:
    enum class Mode { None, Pattern, Random };
    Mode mode_ = Mode::None;
    std::vector<int> lengths_;
    std::size_t at_ = 0;
    std::uint64_t state_ = 0;
    int max_part_ = 0;
};

}  // namespace zohost
