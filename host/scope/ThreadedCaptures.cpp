#include "ThreadedCaptures.h"

#include <cstring>

namespace zohost {

ThreadedCaptures::ThreadedCaptures(ThreadedInstance& threaded, std::size_t sample_budget) : sent_(sample_budget) {
    threaded.audio().messages().options().observer = this;
    threaded.beforeDisplayDelivery([this](Instance&, const ThreadedMessage& m) {
        arrived_ = isCapture(m.size, m.code, m.ptr);
        if (!arrived_) return;
        ReceivedCapture r;
        std::memcpy(&r.scope, m.ptr, sizeof r.scope);
        // The audio side keeps this storage untouched until the ack is back.
        readSamples(r.scope, r.samples);
        r.scope.Samples = nullptr;
        r.sent_block = m.sent_block;
        received_.push_back(std::move(r));
    });
    threaded.afterDisplayDelivery([this](Instance& display, const ThreadedMessage&) {
        if (arrived_ && after_) after_(display, received_.back());
    });
    threaded.beforeAudioDelivery([this](Instance&, const ThreadedMessage& m) {
        if (static_cast<std::int32_t>(m.code) == zo_message::ack) checkBusyWindow();
    });
}

void ThreadedCaptures::sent(const MessageRecord& m, std::size_t slot) {
    // Audio thread, inside the send request.
    sent_.sent(m, slot);
    if (m.direction != Direction::ToDisplay || !isCapture(m.size, m.code, m.ptr)) return;
    if (outstanding_) ++overlapping_sends_;
    outstanding_ = true;
    sent_record_ = m.ptr;
    std::memcpy(&sent_scope_, m.ptr, sizeof sent_scope_);
    sent_samples_kept_ = readSamples(sent_scope_, sent_samples_);
}

void ThreadedCaptures::checkBusyWindow() {
    if (!outstanding_) return;
    outstanding_ = false;
    // The record is the audio object's own and lives as long as it does.
    T_SCOPE now;
    std::memcpy(&now, sent_record_, sizeof now);
    bool same = now.Samples == sent_scope_.Samples && now.ScopeSize == sent_scope_.ScopeSize;
    if (same && sent_samples_kept_ && !sent_samples_.empty())
        same = std::memcmp(now.Samples, sent_samples_.data(), sent_samples_.size() * sizeof(float)) == 0;
    if (!same) ++busy_violations_;
}

}  // namespace zohost
