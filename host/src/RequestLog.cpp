#include "zohost/RequestLog.h"

namespace zohost {

std::size_t RequestLog::add(const RequestEntry& e) {
    if (!enabled_) return npos;
    if (entries_.size() >= limit_) {
        ++dropped_;
        return npos;
    }
    entries_.push_back(e);
    return entries_.size() - 1;
}

void RequestLog::answer(std::size_t slot, zolong value, bool known) {
    // A clear() inside a nested request may have removed the slot.
    if (slot == npos || slot >= entries_.size()) return;
    entries_[slot].answer = value;
    entries_[slot].known = known;
}

std::vector<RequestEntry> RequestLog::find(Side side, zolong opcode) const {
    std::vector<RequestEntry> out;
    for (const RequestEntry& e : entries_)
        if (e.side == side && e.opcode == opcode) out.push_back(e);
    return out;
}

std::size_t RequestLog::count(Side side, zolong opcode) const {
    std::size_t n = 0;
    for (const RequestEntry& e : entries_)
        if (e.side == side && e.opcode == opcode) ++n;
    return n;
}

}  // namespace zohost
