#include "zohost/PinBank.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace zohost {

namespace {

float idleValue(const PinDescription* d, bool from_default) {
    if (!from_default || !d || d->default_value.empty()) return 0.0f;
    const char* s = d->default_value.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    return end == s ? 0.0f : static_cast<float>(v / 10.0);
}

}  // namespace

void PinBank::allocate(const PinTable& table, int capacity, bool idle_from_default) {
    capacity_ = capacity < 0 ? 0 : capacity;
    pins_.assign(static_cast<std::size_t>(table.count()), Pin());
    bindings_.clear();
    int streams = 0;
    for (const PinSlot& s : table.slots())
        if (s.data_type == DT_FSAMPLE) ++streams;
    storage_.assign(static_cast<std::size_t>(streams) * static_cast<std::size_t>(capacity_), 0.0f);
    std::size_t next = 0;
    for (const PinSlot& s : table.slots()) {
        Pin& p = pins_[static_cast<std::size_t>(s.position)];
        const PinDescription* d = table.descriptionAt(s.position);
        p.type = s.data_type;
        p.variable = s.variable;
        p.input = !d || d->direction != DR_OUT;
        p.idle = idleValue(d, idle_from_default);
        if (s.data_type == DT_FSAMPLE) {
            p.buffer = storage_.data() + next;
            next += static_cast<std::size_t>(capacity_);
            if (p.variable) bindings_.push_back(Binding{static_cast<float**>(p.variable), p.buffer});
        }
    }
}

PinBank::Pin& PinBank::at(int position) {
    if (position < 0 || position >= count())
        throw std::out_of_range("no pin at position " + std::to_string(position));
    return pins_[static_cast<std::size_t>(position)];
}

const PinBank::Pin& PinBank::at(int position) const {
    return const_cast<PinBank*>(this)->at(position);
}

float* PinBank::buffer(int position) const {
    if (position < 0 || position >= count()) return nullptr;
    return pins_[static_cast<std::size_t>(position)].buffer;
}

bool PinBank::isInput(int position) const { return at(position).input; }

void PinBank::setSignal(int position, Signal signal) { at(position).signal = std::move(signal); }

Signal& PinBank::signal(int position) { return at(position).signal; }

bool PinBank::connected(int position) const {
    if (position < 0 || position >= count()) return false;
    const Pin& p = pins_[static_cast<std::size_t>(position)];
    return p.connected_override >= 0 ? p.connected_override != 0 : p.signal.present();
}

void PinBank::setConnected(int position, bool on) { at(position).connected_override = on ? 1 : 0; }

void PinBank::clearConnected(int position) { at(position).connected_override = -1; }

bool PinBank::hasValue(int position) const {
    std::int32_t t = at(position).type;
    return t == DT_ENUM || t == DT_CHAR || t == DT_INT;
}

std::int32_t PinBank::value(int position) const { return at(position).value; }

void PinBank::setValue(int position, std::int32_t v) {
    Pin& p = at(position);
    if (!hasValue(position))
        throw std::invalid_argument("pin " + std::to_string(position) + " holds no value");
    p.value = v;
    p.value_set = true;
}

void PinBank::writeValue(int position) const {
    const Pin& p = at(position);
    if (!p.variable || !p.value_set) return;
    switch (p.type) {
    case DT_ENUM: {
        std::int16_t v = static_cast<std::int16_t>(p.value);
        std::memcpy(p.variable, &v, sizeof v);
        break;
    }
    case DT_CHAR: {
        std::int8_t v = static_cast<std::int8_t>(p.value);
        std::memcpy(p.variable, &v, sizeof v);
        break;
    }
    case DT_INT:
        std::memcpy(p.variable, &p.value, sizeof p.value);
        break;
    default:
        break;
    }
}

void PinBank::writeSetValues() const {
    for (int i = 0; i < count(); ++i) writeValue(i);
}

void PinBank::fillInputs(std::uint64_t first_clock, int count) {
    for (Pin& p : pins_)
        if (p.buffer && p.input && p.signal.kind() != Signal::Kind::Manual)
            p.signal.fill(first_clock, p.buffer, count, p.idle);
}

}  // namespace zohost
