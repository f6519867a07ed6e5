#include "zohost/EventQueue.h"

#include <algorithm>

namespace zohost {

std::uint64_t EventQueue::dueFromStamp(std::uint32_t stamp, std::uint64_t now) {
    std::int32_t delta = static_cast<std::int32_t>(stamp - static_cast<std::uint32_t>(now));
    if (delta < 0 && static_cast<std::uint64_t>(-static_cast<std::int64_t>(delta)) > now) return 0;
    return now + static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
}

void EventQueue::pushAt(std::uint64_t due, const ZoEvent& event) {
    Entry e{due, next_seq_++, event};
    e.event.next = nullptr;
    heap_.push_back(e);
    std::push_heap(heap_.begin(), heap_.end(), Later());
}

bool EventQueue::popDue(std::uint64_t now, ZoEvent& out, std::uint64_t* due) {
    if (heap_.empty() || heap_.front().due > now) return false;
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    out = heap_.back().event;
    if (due) *due = heap_.back().due;
    heap_.pop_back();
    return true;
}

}  // namespace zohost
