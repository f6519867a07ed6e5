// A few bytes that end where readable memory ends: a read one byte past them
// faults, so a callee that reads more of a record than it holds is caught.
#pragma once

#include <cstddef>

namespace zohost::validate {

class GuardedBytes {
public:
    // Null data() when the platform would not give such memory.
    explicit GuardedBytes(std::size_t size);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    unsigned char* data() const { return data_; }

private:
    void* map_ = nullptr;
    std::size_t page_ = 0;
    unsigned char* data_ = nullptr;
};

}  // namespace zohost::validate
