#include "zohost/Describe.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include "zohost/Instance.h"

namespace zohost {

namespace {

std::string hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string text(const char* s) { return s ? s : ""; }

}  // namespace

bool describeModule(const ModuleLibrary& library, ModuleDescription& out, std::string& error,
                    zolong index) {
    out = ModuleDescription();
    if (!library.loaded()) {
        error = library.error().empty() ? "no module loaded" : library.error();
        return false;
    }
    ZOModuleProperties p{};
    if (!library.getModuleProperties(index, &p)) {
        error = "module describes nothing at index " + std::to_string(index);
        return false;
    }
    out.name = text(p.name);
    out.id = text(p.id);
    out.about = text(p.about);
    out.flags = p.flags;
    out.gui_flags = p.gui_flags;
    out.sdk_version = p.sdk_version;
    try {
        InstanceOptions o;
        o.module_index = index;
        o.display = false;
        o.log_requests = false;
        Instance probe(library, o);
        out.pins = probe.pinTable().descriptions();
        out.positions.assign(out.pins.size(), -1);
        for (const PinSlot& s : probe.pinTable().slots())
            if (!s.repeated && s.description >= 0)
                out.positions[static_cast<std::size_t>(s.description)] = s.position;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

std::string directionName(std::int32_t direction) {
    switch (direction) {
    case DR_IN: return "in";
    case DR_OUT: return "out";
    case DR_PARAMETER: return "param";
    default: return std::to_string(direction);
    }
}

std::string dataTypeName(std::int32_t type) {
    switch (type) {
    case DT_ENUM: return "list";
    case DT_CHAR: return "int8";
    case DT_FSAMPLE: return "samples";
    case DT_INT: return "int32";
    default: return "type" + std::to_string(type);
    }
}

std::string flagNames(std::int32_t flags) {
    static const struct {
        std::int32_t bit;
        const char* name;
    } known[] = {{IO_REPEATING, "IO_REPEATING"},
                 {IO_PRIVATE, "IO_PRIVATE"},
                 {IO_UI_COMMUNICATION, "IO_UI_COMMUNICATION"},
                 {IO_UI_WITH_DSP_PIN, "IO_UI_WITH_DSP_PIN"},
                 {IO_PATCH_STORE, "IO_PATCH_STORE"}};
    if (flags == 0) return "-";
    std::string out;
    std::uint32_t rest = static_cast<std::uint32_t>(flags);
    for (const auto& k : known) {
        if (rest & static_cast<std::uint32_t>(k.bit)) {
            out += (out.empty() ? "" : "|") + std::string(k.name);
            rest &= ~static_cast<std::uint32_t>(k.bit);
        }
    }
    if (rest) out += (out.empty() ? "" : "|") + hex(rest);
    return out;
}

std::string formatDescription(const ModuleDescription& d) {
    std::ostringstream o;
    o << "name:        " << d.name << "\n"
      << "id:          " << d.id << "\n"
      << "about:       " << d.about << "\n"
      << "flags:       " << hex(static_cast<std::uint32_t>(d.flags)) << "\n"
      << "gui_flags:   " << hex(static_cast<std::uint32_t>(d.gui_flags)) << "\n"
      << "sdk_version: " << d.sdk_version << "\n"
      << "pins:        " << d.pins.size() << "\n";
    if (d.pins.empty()) return o.str();

    // One row per description, columns padded to their widest cell.
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"index", "pos", "name", "dir", "type", "default", "flags"});
    for (std::size_t i = 0; i < d.pins.size(); ++i) {
        const PinDescription& p = d.pins[i];
        int pos = i < d.positions.size() ? d.positions[i] : -1;
        rows.push_back({std::to_string(i), pos >= 0 ? std::to_string(pos) : "-", "\"" + p.name + "\"",
                        directionName(p.direction), dataTypeName(p.data_type),
                        p.has_default ? "\"" + p.default_value + "\"" : "-", flagNames(p.flags)});
    }
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const auto& r : rows)
        for (std::size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], r[c].size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string line;
        for (std::size_t c = 0; c < rows[i].size(); ++c) {
            line += "  " + rows[i][c];
            if (c + 1 < rows[i].size()) line += std::string(width[c] - rows[i][c].size(), ' ');
        }
        o << line << "\n";
        if (i == 0 || !d.pins[i - 1].has_list) continue;
        o << "      choices:";
        const char* sep = " ";
        for (const PinChoice& c : d.pins[i - 1].choices()) {
            o << sep << c.value << " \"" << c.label << "\"";
            sep = ", ";
        }
        o << "\n";
    }
    return o.str();
}

}  // namespace zohost
