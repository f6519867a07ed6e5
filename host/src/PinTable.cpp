#include "zohost/PinTable.h"

#include <cstdlib>
#include <cstring>

namespace zohost {

std::vector<PinChoice> parseListText(const std::string& text) {
    std::vector<PinChoice> out;
    if (text.empty()) return out;
    int next = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(start, comma - start);
        PinChoice c{item, next};
        std::size_t eq = item.rfind('=');
        if (eq != std::string::npos && eq + 1 < item.size()) {
            const char* num = item.c_str() + eq + 1;
            char* end = nullptr;
            long v = std::strtol(num, &end, 10);
            if (end && *end == '\0') {
                c.label = item.substr(0, eq);
                c.value = static_cast<int>(v);
            }
        }
        next = c.value + 1;
        out.push_back(c);
        start = comma + 1;
    }
    return out;
}

std::vector<PinDescription> PinTable::read(ZOMod_struct_base2* record, int limit) {
    std::vector<PinDescription> out;
    for (int i = 0; i < limit; ++i) {
        ZOPinProperties p;
        std::memset(&p, 0, sizeof p);
        if (!record->dispatcher(record, zo_audio_op::pin_properties, i, 0, &p, 0.0f)) break;
        PinDescription d;
        d.index = i;
        d.variable_address = p.variable_address;
        d.direction = p.direction;
        d.data_type = p.data_type;
        d.has_name = p.name != nullptr;
        d.has_default = p.default_value != nullptr;
        d.has_list = p.list_text != nullptr;
        if (p.name) d.name = p.name;
        if (p.default_value) d.default_value = p.default_value;
        if (p.list_text) d.list_text = p.list_text;
        d.flags = p.flags;
        d.reserved = p.reserved;
        out.push_back(std::move(d));
    }
    return out;
}

int PinTable::describedPins() const {
    int n = 0;
    for (const PinDescription& d : descriptions_)
        if (d.takesPosition()) ++n;
    return n;
}

void PinTable::layout(int count) {
    slots_.clear();
    if (count <= 0) return;
    for (const PinDescription& d : descriptions_) {
        if (static_cast<int>(slots_.size()) >= count) break;
        if (!d.takesPosition()) continue;
        slots_.push_back(PinSlot{static_cast<int>(slots_.size()), d.index, false, d.variable_address,
                                 d.data_type});
    }
    const PinDescription* last = descriptions_.empty() ? nullptr : &descriptions_.back();
    bool repeat = last && last->takesPosition() && (last->flags & IO_REPEATING);
    while (static_cast<int>(slots_.size()) < count) {
        int pos = static_cast<int>(slots_.size());
        if (repeat)
            slots_.push_back(PinSlot{pos, last->index, true, nullptr, last->data_type});
        else
            slots_.push_back(PinSlot{pos, -1, false, nullptr, -1});
    }
}

const PinDescription* PinTable::descriptionAt(int position) const {
    if (position < 0 || position >= count()) return nullptr;
    int d = slots_[static_cast<std::size_t>(position)].description;
    return d < 0 ? nullptr : &descriptions_[static_cast<std::size_t>(d)];
}

int PinTable::find(const std::string& name) const {
    for (const PinSlot& s : slots_)
        if (s.description >= 0 && descriptions_[static_cast<std::size_t>(s.description)].name == name)
            return s.position;
    return -1;
}

}  // namespace zohost
