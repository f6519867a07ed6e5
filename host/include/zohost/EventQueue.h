// The host's queue of timed events: earliest first, and in arrival order for
// equal time stamps. Pushing allocates only when the queue outgrows its
// capacity; popping never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZOHostTypes.h"

namespace zohost {

class EventQueue {
public:
    explicit EventQueue(std::size_t capacity = 64) { heap_.reserve(capacity); }

    // The 32-bit stamp is placed on the 64-bit host clock as the nearest
    // sample to `now` within +-2^31, so stamps keep working across the wrap.
    static std::uint64_t dueFromStamp(std::uint32_t stamp, std::uint64_t now);

    void push(const ZoEvent& event, std::uint64_t now) { pushAt(dueFromStamp(event.time_stamp, now), event); }
    void pushAt(std::uint64_t due, const ZoEvent& event);

    bool empty() const { return heap_.empty(); }
    std::size_t size() const { return heap_.size(); }
    // Earliest due clock; only when not empty.
    std::uint64_t nextDue() const { return heap_.front().due; }

    // Takes the earliest event when it is due at or before `now`.
    bool popDue(std::uint64_t now, ZoEvent& out, std::uint64_t* due = nullptr);
    void clear() { heap_.clear(); }

private:
    struct Entry {
        std::uint64_t due;
        std::uint64_t seq;
        ZoEvent event;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.due != b.due ? a.due > b.due : a.seq > b.seq;
        }
    };
    std::vector<Entry> heap_;
    std::uint64_t next_seq_ = 0;
};

}  // namespace zohost
