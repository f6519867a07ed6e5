// The host's side of every pin position: one float buffer per sample-stream
// pin, 8/16/32-bit storage for value pins, the signal feeding each input and
// its connection state. It writes into the module's bound variables.
#pragma once

#include <cstdint>
#include <vector>

#include "zohost/PinTable.h"
#include "zohost/Signal.h"

namespace zohost {

class PinBank {
public:
    // One buffer of `capacity` floats per sample-stream position. Unconnected
    // inputs carry `idle` values: their default text / 10 when
    // `idle_from_default` (a sample of 1.0 is 10 volts), else 0.
    void allocate(const PinTable& table, int capacity, bool idle_from_default);

    int count() const { return static_cast<int>(pins_.size()); }
    int capacity() const { return capacity_; }

    // Null for positions without a sample buffer.
    float* buffer(int position) const;
    bool isInput(int position) const;

    void setSignal(int position, Signal signal);
    Signal& signal(int position);

    // Connected when a signal is set, unless overridden.
    bool connected(int position) const;
    void setConnected(int position, bool on);
    void clearConnected(int position);

    // Value pins: kept here, and written through the bound variable (if any)
    // by writeValue. Types 0 (16-bit), 4 (8-bit) and 6 (32-bit) have storage.
    bool hasValue(int position) const;
    std::int32_t value(int position) const;
    void setValue(int position, std::int32_t v);
    void writeValue(int position) const;
    void writeSetValues() const;

    // Fills every input buffer for the block [first_clock, first_clock+count).
    void fillInputs(std::uint64_t first_clock, int count);
    // Writes each buffer address into its bound variable.
    void bindBuffers() const {
        for (const Binding& b : bindings_) *b.variable = b.buffer;
    }

private:
    struct Pin {
        float* buffer = nullptr;
        void* variable = nullptr;
        std::int32_t type = -1;
        bool input = true;
        float idle = 0.0f;
        Signal signal;
        int connected_override = -1;
        std::int32_t value = 0;
        bool value_set = false;
    };
    struct Binding {
        float** variable;
        float* buffer;
    };
    Pin& at(int position);
    const Pin& at(int position) const;

    std::vector<Pin> pins_;
    std::vector<Binding> bindings_;
    std::vector<float> storage_;
    int capacity_ = 0;
};

}  // namespace zohost
