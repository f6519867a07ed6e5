#include "zohost/BlockSplitter.h"

#include <climits>
#include <stdexcept>
#include <utility>

namespace zohost {

BlockSplitter BlockSplitter::pattern(std::vector<int> lengths) {
    bool positive = false;
    for (int n : lengths) {
        if (n < 0) throw std::invalid_argument("negative part length in split pattern");
        if (n > 0) positive = true;
    }
    if (!positive) throw std::invalid_argument("split pattern needs a positive part length");
    BlockSplitter s;
    s.mode_ = Mode::Pattern;
    s.lengths_ = std::move(lengths);
    return s;
}

BlockSplitter BlockSplitter::random(std::uint64_t seed, int max_part) {
    if (max_part < 1) throw std::invalid_argument("random split needs a positive maximum part");
    BlockSplitter s;
    s.mode_ = Mode::Random;
    s.state_ = seed;
    s.max_part_ = max_part;
    return s;
}

int BlockSplitter::next() {
    switch (mode_) {
    case Mode::None:
        return INT_MAX;
    case Mode::Pattern: {
        int n = lengths_[at_];
        at_ = (at_ + 1) % lengths_.size();
        return n;
    }
    case Mode::Random: {
        // splitmix64: the same sequence on every platform and library.
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        unsigned pick = static_cast<unsigned>(z & 7u);
        if (pick == 0) return 0;
        if (pick == 1) return 1;
        return static_cast<int>((z >> 8) % static_cast<std::uint64_t>(max_part_)) + 1;
    }
    }
    return INT_MAX;
}

}  // namespace zohost
