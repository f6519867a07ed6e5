// Every request a module sends to the host, in arrival order, so tests can
// assert order and content. Off, it costs a branch and never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZOHostTypes.h"

namespace zohost {

enum class Side : std::uint8_t { Audio, Display, Unknown };

struct RequestEntry {
    Side side;
    bool known;  // false: the host has no meaning for this request (answered 0)
    const void* record;
    zolong opcode;
    zolong index;
    zolong value;
    void* ptr;
    float opt;
    std::uint64_t clock;  // host sample clock when the request arrived
    zolong answer;        // filled when the request returns
};

class RequestLog {
public:
    explicit RequestLog(std::size_t limit = 1u << 18) : limit_(limit) {}

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    // Entries past the limit are counted in dropped() but not kept.
    void setLimit(std::size_t limit) { limit_ = limit; }
    void clear() {
        entries_.clear();
        dropped_ = 0;
    }

    // Returns the slot to answer into, or npos when not kept.
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t add(const RequestEntry& e);
    void answer(std::size_t slot, zolong value, bool known);

    const std::vector<RequestEntry>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    std::size_t dropped() const { return dropped_; }

    // Kept entries of one side and opcode, in order.
    std::vector<RequestEntry> find(Side side, zolong opcode) const;
    std::size_t count(Side side, zolong opcode) const;

private:
    std::vector<RequestEntry> entries_;
    std::size_t limit_;
    std::size_t dropped_ = 0;
    bool enabled_ = true;
};

}  // namespace zohost
