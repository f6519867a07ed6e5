// Shared by the fuzz targets: a front-to-back reader of the fuzzer's bytes
// (so that seeds can be written by hand, see make_seeds.py), the contract
// recorder, and the failure report of the targets' own checks.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "ZOContract.h"

namespace fuzz {

// Protocol violations are expected from fuzzed input: count them and go on.
inline unsigned long& contractViolations() {
    static unsigned long count = 0;
    return count;
}
inline void recordContract(const char*, const char*, int) { ++contractViolations(); }
inline void installContractRecorder() { zo::setContractHandler(&recordContract); }

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

// ZO_FUZZ_VERBOSE set: each input ends with a line of what it did, to see
// what a seed or a found input reaches.
inline bool verbose() {
    static const bool on = std::getenv("ZO_FUZZ_VERBOSE") != nullptr;
    return on;
}

// Negative controls: programs built with ZO_FUZZ_FAULTS inject the fault
// that ZO_FUZZ_FAULT names, which their checks or sanitizers must report
// (fuzz/expect_failure.cmake). Other builds have no fault code at all.
inline bool fault(const char* name) {
#ifdef ZO_FUZZ_FAULTS
    static const char* const chosen = std::getenv("ZO_FUZZ_FAULT");
    return chosen && std::strcmp(chosen, name) == 0;
#else
    (void)name;
    return false;
#endif
}

// Reads the input from the front; past the end every read gives zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    bool empty() const { return n_ == 0; }
    std::size_t left() const { return n_; }

    std::uint8_t u8() {
        if (!n_) return 0;
        --n_;
        return *p_++;
    }
    std::uint16_t u16() {
        const unsigned lo = u8();  // little-endian, read in this order
        return static_cast<std::uint16_t>(lo | (static_cast<unsigned>(u8()) << 8));
    }
    std::uint32_t u32() {
        std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    bool flag() { return (u8() & 1) != 0; }
    // 0 .. count-1
    std::uint32_t below(std::uint32_t count) { return count ? u8() % count : 0; }
    std::uint32_t below16(std::uint32_t count) { return count ? u16() % count : 0; }
    float bits() {
        const std::uint32_t b = u32();
        float f;
        std::memcpy(&f, &b, sizeof f);
        return f;
    }
    // A value from a short list of telling ones, or any bit pattern.
    float value() {
        switch (u8() % 12) {
        case 0: return 0.0f;
        case 1: return -0.0f;
        case 2: return 1.0f;
        case 3: return -1.0f;
        case 4: return 0.5f;
        case 5: return std::numeric_limits<float>::quiet_NaN();
        case 6: return std::numeric_limits<float>::infinity();
        case 7: return -std::numeric_limits<float>::infinity();
        case 8: return std::numeric_limits<float>::denorm_min();
        case 9: return 3.0e38f;
        case 10: return static_cast<float>(i16()) / 4096.0f;
        default: return bits();
        }
    }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

}  // namespace fuzz

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::fuzz::fail(#cond, __FILE__, __LINE__))
