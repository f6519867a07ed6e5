// Carries messages between the two objects of an instance: from the audio
// side (request send_to_gui) to display opcode module_msg, from the display
// side (request gui_send_to_audio) to audio opcode gui_notify, each queued
// until the next point between processing calls or, chosen explicitly,
// inside the sender's request. Every message is recorded, and shown to an
// observer as it is sent: what a payload means is the observer's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZOHostTypes.h"

namespace zohost {

enum class Delivery : std::uint8_t { Immediate, Queued };
// What happens to messages for the audio side (acknowledgements).
enum class AckPolicy : std::uint8_t { Deliver, Hold, Drop };
enum class Direction : std::uint8_t { ToDisplay, ToAudio };
enum class Fate : std::uint8_t {
    Delivered,   // inside the sender's request
    Queued,      // waiting for, or delivered at, a point between processing calls
    Held,        // like Queued, released after the hold
    Dropped,     // by the ack policy
    SelfAcked,   // "data" without a display: the host acknowledged it
    NoReceiver,  // nobody to deliver to
    TooLarge,    // payload over the copy limit, not delivered
    Linked,      // handed to the link: the receiver lives in another part of the host
};

// Takes the messages whose receiver is not in this instance but in another
// part of the host, such as the other thread of a threaded host. Called inside
// the sender's request; `ptr` is valid only during the call.
class MessageLink {
public:
    virtual void forward(Direction direction, zolong size, zolong code, const void* ptr) = 0;

protected:
    ~MessageLink() = default;
};

struct MessageRecord;

// Sees every message when it is sent, inside the sender's request and before
// any delivery: `message.ptr` is valid only during the call. `slot` indexes
// the router's records(), npos when the message was not recorded.
class MessageObserver {
public:
    virtual void sent(const MessageRecord& message, std::size_t slot) = 0;
    // The records were cleared: slots count from 0 again.
    virtual void cleared() {}

protected:
    ~MessageObserver() = default;
};

struct MessageOptions {
    Delivery delivery = Delivery::Queued;
    AckPolicy ack = AckPolicy::Deliver;
    int ack_hold_blocks = 0;  // Hold: this many blocks start before release
    bool self_ack_without_display = false;
    bool record = true;  // off: no records, and nothing shown to the observer
    std::size_t record_limit = 1u << 16;
    std::size_t payload_limit = 1u << 20;  // bytes copied for a queued message
    // Set: a message with no receiver in this instance goes through the link
    // (the ack policy is then the link owner's, except Drop).
    MessageLink* link = nullptr;
    MessageObserver* observer = nullptr;  // must outlive the router
};

struct MessageRecord {
    Direction direction;
    std::int32_t code;
    zolong size;
    const void* ptr;             // as sent
    std::uint64_t clock;         // host clock when sent
    std::uint64_t block;         // blocks started when sent
    Fate fate;
    bool delivered;              // reached the receiver
    std::uint64_t delivered_clock;
};

// The two receivers, supplied by the instance.
class MessageEndpoints {
public:
    virtual bool hasAudio() const = 0;
    virtual bool hasDisplay() const = 0;
    virtual zolong deliverToAudio(zolong index, zolong value, void* ptr) = 0;
    virtual zolong deliverToDisplay(zolong index, zolong value, void* ptr) = 0;
    virtual std::uint64_t messageClock() const = 0;

protected:
    ~MessageEndpoints() = default;
};

class MessageRouter {
public:
    explicit MessageRouter(MessageEndpoints& endpoints) : ends_(endpoints) {}
    MessageRouter(const MessageRouter&) = delete;
    MessageRouter& operator=(const MessageRouter&) = delete;

    MessageOptions& options() { return options_; }
    const MessageOptions& options() const { return options_; }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Request send_to_gui of the audio side and gui_send_to_audio of the display side.
    void fromAudio(zolong size, zolong code, void* ptr, std::uint64_t blocks_started);
    void fromDisplay(zolong size, zolong code, void* ptr, std::uint64_t blocks_started);

    // Delivers what is due before a block starts (`blocks_started` so far),
    // including messages queued during this delivery.
    void deliverPending(std::uint64_t blocks_started);
    void dropPending();
    std::size_t pending() const { return pending_.size(); }

    const std::vector<MessageRecord>& records() const { return records_; }
    std::size_t recordsDropped() const { return records_dropped_; }
    void clearRecords();

private:
    struct Pending {
        Direction direction;
        zolong index;
        zolong value;
        std::uint64_t release_block;
        std::size_t record;  // index into records_ or npos
        std::uint64_t generation;
        bool has_payload;
        std::vector<unsigned char> payload;
    };
    std::size_t record(Direction d, zolong size, zolong code, const void* ptr, std::uint64_t block,
                       Fate fate);
    void markDelivered(std::size_t slot, std::uint64_t generation);
    void enqueue(Direction d, zolong size, zolong code, void* ptr, std::uint64_t release,
                 std::size_t slot);

    MessageEndpoints& ends_;
    MessageOptions options_;
    std::vector<MessageRecord> records_;
    std::size_t records_dropped_ = 0;
    std::uint64_t generation_ = 0;
    std::vector<Pending> pending_;
    std::vector<std::vector<unsigned char>> spare_;
};

}  // namespace zohost
