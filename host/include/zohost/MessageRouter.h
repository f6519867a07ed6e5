// Carries messages between the two objects of an instance: "data" from the
// audio side (request 17) to display opcode 6, "ack" and anything else from
// the display side (request 2) to audio opcode 12, each either inside the
// sender's request or queued until the next point between processing calls.
// Every message is recorded; a "data" message carrying a scope record is
// recorded with a deep copy of the capture taken when it was sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ZOHostTypes.h"
#include "scopedata.h"

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

struct MessageOptions {
    Delivery delivery = Delivery::Immediate;
    AckPolicy ack = AckPolicy::Deliver;
    int ack_hold_blocks = 0;  // Hold: this many blocks start before release
    bool self_ack_without_display = false;
    bool record = true;
    std::size_t record_limit = 1u << 16;
    // Capture samples kept over all records; later captures keep their settings only.
    std::size_t sample_budget = 1u << 24;
    std::size_t payload_limit = 1u << 20;  // bytes copied for a queued message
    // Set: a message with no receiver in this instance goes through the link
    // (the ack policy is then the link owner's, except Drop).
    MessageLink* link = nullptr;
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
    bool has_scope;              // "data" of sizeof(T_SCOPE) bytes
    T_SCOPE scope;               // its settings; Samples is nulled, see samples
    std::vector<float> samples;  // 2 x ScopeSize, channel-major, copied when sent
    bool samples_dropped;        // over the sample budget (or a wild size): not copied

    float sample(int channel, int index) const;
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

    // Request 17 of the audio side and request 2 of the display side.
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
    // Recorded "data" messages that carried a capture, in sending order.
    std::vector<const MessageRecord*> captures() const;

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
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t record(Direction d, zolong size, zolong code, const void* ptr, std::uint64_t block,
                       Fate fate);
    void markDelivered(std::size_t slot, std::uint64_t generation);
    void enqueue(Direction d, zolong size, zolong code, void* ptr, std::uint64_t release,
                 std::size_t slot);

    MessageEndpoints& ends_;
    MessageOptions options_;
    std::vector<MessageRecord> records_;
    std::size_t records_dropped_ = 0;
    std::size_t samples_kept_ = 0;
    std::uint64_t generation_ = 0;
    std::vector<Pending> pending_;
    std::vector<std::vector<unsigned char>> spare_;
};

}  // namespace zohost
