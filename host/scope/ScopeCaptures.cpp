#include "ScopeCaptures.h"

#include <cstring>

namespace zohost {

const char* const kScopeModuleId = "Tovalinth Ondix2";

namespace {
// Guards the copy against a record with a wild size.
const std::int32_t kMaxCopiedScope = 1 << 22;
}  // namespace

float Capture::sample(int channel, int index) const {
    const std::size_t n = samples.size() / 2;
    if (channel < 0 || channel > 1 || index < 0 || static_cast<std::size_t>(index) >= n) return 0.0f;
    return samples[static_cast<std::size_t>(channel) * n + static_cast<std::size_t>(index)];
}

bool isCapture(zolong size, zolong code, const void* ptr) {
    return ptr && static_cast<std::int32_t>(code) == zo_message::data && size == static_cast<zolong>(sizeof(T_SCOPE));
}

bool readSamples(const T_SCOPE& s, std::vector<float>& out) {
    out.clear();
    if (!s.Samples || s.ScopeSize <= 0 || s.ScopeSize > kMaxCopiedScope) return s.ScopeSize == 0;
    out.assign(s.Samples, s.Samples + 2 * static_cast<std::size_t>(s.ScopeSize));
    return true;
}

void CaptureRecorder::sent(const MessageRecord& m, std::size_t slot) {
    if (m.direction != Direction::ToDisplay || !isCapture(m.size, m.code, m.ptr)) return;
    Capture c{};
    c.slot = slot;
    c.ptr = m.ptr;
    c.clock = m.clock;
    c.block = m.block;
    std::memcpy(&c.scope, m.ptr, sizeof c.scope);
    const std::int32_t n = c.scope.ScopeSize;
    const std::size_t count = n > 0 ? 2 * static_cast<std::size_t>(n) : 0;
    if (c.scope.Samples && n > 0 && n <= kMaxCopiedScope && kept_ + count <= budget_) {
        c.samples.assign(c.scope.Samples, c.scope.Samples + count);
        kept_ += count;
    } else if (count > 0) {
        c.samples_dropped = true;
    }
    c.scope.Samples = nullptr;
    captures_.push_back(std::move(c));
}

void CaptureRecorder::cleared() {
    captures_.clear();
    kept_ = 0;
}

std::vector<const Capture*> CaptureRecorder::captures() const {
    std::vector<const Capture*> out;
    out.reserve(captures_.size());
    for (const Capture& c : captures_) out.push_back(&c);
    return out;
}

ScopeInstance::ScopeInstance(const ModuleLibrary& library, const InstanceOptions& options, std::size_t sample_budget)
    : Instance(library, options), recorder_(sample_budget) {
    // Nothing is sent before the first block: in time for every capture.
    messages().options().observer = &recorder_;
}

const MessageRecord* ScopeInstance::messageOf(const Capture& c) const {
    const auto& r = messages().records();
    return c.slot < r.size() ? &r[c.slot] : nullptr;
}

bool ScopeInstance::delivered(const Capture& c) const {
    const MessageRecord* m = messageOf(c);
    return m && m->delivered;
}

}  // namespace zohost
