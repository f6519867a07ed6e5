// A single-producer single-consumer ring of floats, allocated once: the audio
// thread, a device callback and the window thread pass samples through it
// without a lock or an allocation.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zohost::live {

class LiveRing {
public:
    // Capacity rounded up to a power of two.
    explicit LiveRing(std::size_t capacity = 1) {
        std::size_t n = 1;
        while (n < capacity) n <<= 1;
        data_.assign(n, 0.0f);
        mask_ = n - 1;
    }
    std::size_t capacity() const { return data_.size(); }
    std::size_t available() const {
        return static_cast<std::size_t>(head_.load(std::memory_order_acquire) -
                                        tail_.load(std::memory_order_acquire));
    }
    // Producer: writes what fits; returns how many were written.
    std::size_t push(const float* in, std::size_t count, std::size_t stride = 1) {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        const std::uint64_t tail = tail_.load(std::memory_order_acquire);
        const std::size_t room = data_.size() - static_cast<std::size_t>(head - tail);
        const std::size_t n = count < room ? count : room;
        for (std::size_t i = 0; i < n; ++i) data_[(head + i) & mask_] = in[i * stride];
        head_.store(head + n, std::memory_order_release);
        return n;
    }
    // Consumer: reads what is there; returns how many were read.
    std::size_t pop(float* out, std::size_t count, std::size_t stride = 1) {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        const std::size_t have = static_cast<std::size_t>(head - tail);
        const std::size_t n = count < have ? count : have;
        for (std::size_t i = 0; i < n; ++i) out[i * stride] = data_[(tail + i) & mask_];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

private:
    std::vector<float> data_;
    std::size_t mask_ = 0;
    std::atomic<std::uint64_t> head_{0};
    std::atomic<std::uint64_t> tail_{0};
};

}  // namespace zohost::live
