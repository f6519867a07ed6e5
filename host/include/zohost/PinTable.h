// The module's pin descriptions (dispatcher opcode pin_properties) and the host pin
// positions they give, counted the way the module's framework counts them:
// GUI-only descriptions take no position, and a repeating last description
// fills every position left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZOHostTypes.h"

namespace zohost {

struct PinChoice {
    std::string label;
    int value;
};

// "label=number" items separated by commas; an item without "=" stands for
// the value after the previous one (0 when first).
std::vector<PinChoice> parseListText(const std::string& text);

struct PinDescription {
    int index = 0;  // position in the module's table
    void* variable_address = nullptr;
    std::int32_t direction = 0;
    std::int32_t data_type = 0;
    std::string name;
    std::string default_value;
    std::string list_text;
    bool has_name = false, has_default = false, has_list = false;
    std::int32_t flags = 0;
    std::int32_t reserved = 0;

    bool takesPosition() const {
        return !(flags & IO_UI_COMMUNICATION) || (flags & IO_UI_WITH_DSP_PIN);
    }
    std::vector<PinChoice> choices() const { return parseListText(list_text); }
};

struct PinSlot {
    int position;
    int description;  // into PinTable::descriptions(), -1 when no description fills it
    bool repeated;    // a copy of the repeating last description, without variable
    void* variable;   // what the host writes through; null when none
    std::int32_t data_type;
};

class PinTable {
public:
    // Asks opcode pin_properties for index 0, 1, ... until it answers 0, clearing the
    // record before each call. `limit` guards against a table without end.
    static std::vector<PinDescription> read(ZOMod_struct_base2* record, int limit = 4096);

    PinTable() = default;
    explicit PinTable(std::vector<PinDescription> descriptions) : descriptions_(std::move(descriptions)) {}

    // Positions that the descriptions alone give (no repetition).
    int describedPins() const;
    // Lays out `count` host positions.
    void layout(int count);

    const std::vector<PinDescription>& descriptions() const { return descriptions_; }
    const std::vector<PinSlot>& slots() const { return slots_; }
    int count() const { return static_cast<int>(slots_.size()); }
    const PinDescription* descriptionAt(int position) const;

    // First position whose description has this name, or -1.
    int find(const std::string& name) const;

private:
    std::vector<PinDescription> descriptions_;
    std::vector<PinSlot> slots_;
};

}  // namespace zohost
