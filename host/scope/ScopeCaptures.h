// What the host knows of the scope: its "data" message carries a T_SCOPE
// record whose samples stay the sender's until "ack" comes back. A
// CaptureRecorder, as an instance's message observer, copies each capture
// when it is sent; a ScopeInstance is an instance that keeps one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "scopedata.h"
#include "zohost/Instance.h"
#include "zohost/MessageRouter.h"

namespace zohost {

// The id the scope gives in its description.
extern const char* const kScopeModuleId;

// A "data" message carrying a scope record, as it was when sent.
struct Capture {
    std::size_t slot;            // in the router's records(), or MessageRouter::npos
    const void* ptr;             // as sent: the sender's record
    std::uint64_t clock;         // host clock when sent
    std::uint64_t block;         // blocks started when sent
    T_SCOPE scope;               // its settings; Samples nulled, see samples
    std::vector<float> samples;  // 2 x ScopeSize, channel-major
    bool samples_dropped;        // over the sample budget, or a wild size: not copied

    float sample(int channel, int index) const;  // 0 outside the capture
};

// A message that carries a scope record.
bool isCapture(zolong size, zolong code, const void* ptr);
// The samples a record points at; false (and none) for a wild size.
bool readSamples(const T_SCOPE& record, std::vector<float>& out);

class CaptureRecorder final : public MessageObserver {
public:
    explicit CaptureRecorder(std::size_t sample_budget = std::size_t(1) << 25) : budget_(sample_budget) {}
    void sent(const MessageRecord& message, std::size_t slot) override;
    void cleared() override;
    // In sending order; pointers stay valid until cleared.
    std::vector<const Capture*> captures() const;

private:
    std::size_t budget_;
    std::size_t kept_ = 0;
    std::deque<Capture> captures_;
};

// An instance that copies every capture its audio side sends while it
// records messages (off, it stays free of allocations on the audio path).
class ScopeInstance : public Instance {
public:
    explicit ScopeInstance(const ModuleLibrary& library, const InstanceOptions& options = InstanceOptions(),
                           std::size_t sample_budget = std::size_t(1) << 25);
    std::vector<const Capture*> captures() const { return recorder_.captures(); }
    const CaptureRecorder& recorder() const { return recorder_; }
    // Whether the capture's message has reached the display.
    bool delivered(const Capture& c) const;
    const MessageRecord* messageOf(const Capture& c) const;

private:
    CaptureRecorder recorder_;
};

}  // namespace zohost
