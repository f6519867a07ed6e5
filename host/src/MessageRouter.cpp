#include "zohost/MessageRouter.h"

#include <cstring>
#include <utility>

namespace zohost {

namespace {
// Two objects acking each other forever must not hang the host.
const int kMaxRounds = 64;
}  // namespace

std::size_t MessageRouter::record(Direction d, zolong size, zolong code, const void* ptr,
                                  std::uint64_t block, Fate fate) {
    if (!options_.record) return npos;
    MessageRecord r{};
    r.direction = d;
    r.code = static_cast<std::int32_t>(code);
    r.size = size;
    r.ptr = ptr;
    r.clock = ends_.messageClock();
    r.block = block;
    r.fate = fate;
    std::size_t slot = npos;
    if (records_.size() >= options_.record_limit) {
        ++records_dropped_;
    } else {
        records_.push_back(r);
        slot = records_.size() - 1;
    }
    if (options_.observer) options_.observer->sent(slot == npos ? r : records_[slot], slot);
    return slot;
}

void MessageRouter::markDelivered(std::size_t slot, std::uint64_t generation) {
    if (slot == npos || generation != generation_ || slot >= records_.size()) return;
    records_[slot].delivered = true;
    records_[slot].delivered_clock = ends_.messageClock();
}

void MessageRouter::enqueue(Direction d, zolong size, zolong code, void* ptr, std::uint64_t release,
                            std::size_t slot) {
    Pending p;
    p.direction = d;
    p.index = size;
    p.value = code;
    p.release_block = release;
    p.record = slot;
    p.generation = generation_;
    p.has_payload = ptr != nullptr;
    if (!spare_.empty()) {
        p.payload = std::move(spare_.back());
        spare_.pop_back();
    }
    if (ptr) {
        // At least one byte, so an empty payload still arrives as a valid pointer.
        std::size_t n = size > 0 ? static_cast<std::size_t>(size) : 0;
        p.payload.resize(n > 0 ? n : 1);
        if (n) std::memcpy(p.payload.data(), ptr, n);
    }
    pending_.push_back(std::move(p));
}

void MessageRouter::fromAudio(zolong size, zolong code, void* ptr, std::uint64_t blocks_started) {
    Fate fate;
    if (ends_.hasDisplay())
        fate = options_.delivery == Delivery::Immediate ? Fate::Delivered : Fate::Queued;
    else if (options_.link)
        fate = Fate::Linked;
    else if (options_.self_ack_without_display && static_cast<std::int32_t>(code) == zo_message::data)
        fate = Fate::SelfAcked;
    else
        fate = Fate::NoReceiver;
    if ((fate == Fate::Queued || fate == Fate::Linked) && size > 0 &&
        static_cast<std::size_t>(size) > options_.payload_limit)
        fate = Fate::TooLarge;
    const std::size_t slot = record(Direction::ToDisplay, size, code, ptr, blocks_started, fate);
    switch (fate) {
    case Fate::Delivered:
        markDelivered(slot, generation_);
        ends_.deliverToDisplay(size, code, ptr);
        break;
    case Fate::Queued:
        enqueue(Direction::ToDisplay, size, code, ptr, blocks_started, slot);
        break;
    case Fate::SelfAcked:
        ends_.deliverToAudio(0, zo_message::ack, nullptr);
        break;
    case Fate::Linked:
        options_.link->forward(Direction::ToDisplay, size, code, ptr);
        break;
    default:
        break;
    }
}

void MessageRouter::fromDisplay(zolong size, zolong code, void* ptr, std::uint64_t blocks_started) {
    Fate fate;
    std::uint64_t release = blocks_started;
    if (!ends_.hasAudio() && !options_.link)
        fate = Fate::NoReceiver;
    else if (options_.ack == AckPolicy::Drop)
        fate = Fate::Dropped;
    else if (!ends_.hasAudio())
        fate = Fate::Linked;
    else if (options_.ack == AckPolicy::Hold) {
        fate = Fate::Held;
        release += static_cast<std::uint64_t>(options_.ack_hold_blocks > 0 ? options_.ack_hold_blocks : 0);
    } else
        fate = options_.delivery == Delivery::Immediate ? Fate::Delivered : Fate::Queued;
    if ((fate == Fate::Queued || fate == Fate::Held || fate == Fate::Linked) && size > 0 &&
        static_cast<std::size_t>(size) > options_.payload_limit)
        fate = Fate::TooLarge;
    const std::size_t slot = record(Direction::ToAudio, size, code, ptr, blocks_started, fate);
    if (fate == Fate::Delivered) {
        markDelivered(slot, generation_);
        ends_.deliverToAudio(size, code, ptr);
    } else if (fate == Fate::Queued || fate == Fate::Held) {
        enqueue(Direction::ToAudio, size, code, ptr, release, slot);
    } else if (fate == Fate::Linked) {
        options_.link->forward(Direction::ToAudio, size, code, ptr);
    }
}

void MessageRouter::deliverPending(std::uint64_t blocks_started) {
    for (int round = 0; round < kMaxRounds && !pending_.empty(); ++round) {
        bool any = false;
        for (std::size_t i = 0; i < pending_.size();) {
            if (pending_[i].release_block > blocks_started) {
                ++i;
                continue;
            }
            // Out of the queue before the call: the receiver may queue more.
            Pending p = std::move(pending_[i]);
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
            any = true;
            void* ptr = p.has_payload ? p.payload.data() : nullptr;
            if (p.direction == Direction::ToDisplay ? ends_.hasDisplay() : ends_.hasAudio()) {
                markDelivered(p.record, p.generation);
                if (p.direction == Direction::ToDisplay)
                    ends_.deliverToDisplay(p.index, p.value, ptr);
                else
                    ends_.deliverToAudio(p.index, p.value, ptr);
            }
            spare_.push_back(std::move(p.payload));
        }
        if (!any) break;
    }
}

void MessageRouter::dropPending() {
    for (Pending& p : pending_) spare_.push_back(std::move(p.payload));
    pending_.clear();
}

void MessageRouter::clearRecords() {
    records_.clear();
    records_dropped_ = 0;
    ++generation_;
    if (options_.observer) options_.observer->cleared();
}


}  // namespace zohost
