// The scope record's free functions on arbitrary records: CreateScope and
// UpdateScopeSize with any length and trigger mode, CopyScope from any record
// of a sender (samples in memory this program owns, sized by the record) with
// any size argument, TimeToScopeSize on any settings, reads and writes at any
// position. Each result is checked against what the functions promise.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "scopedata.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Only a record that can hold its samples is read.
std::vector<float> contents(const T_SCOPE& s) {
    if (!s.Samples || s.ScopeSize <= 0 || s.ScopeSize > SCOPE_MAX_SIZE) return {};
    return std::vector<float>(s.Samples, s.Samples + 2 * static_cast<std::size_t>(s.ScopeSize));
}

void checkStorage(const T_SCOPE& s) {
    FUZZ_CHECK(s.ScopeSize >= 0);
    FUZZ_CHECK((s.Samples == nullptr) == (s.ScopeSize == 0));
}

std::int32_t length(fuzz::Input& in) {
    switch (in.below(6)) {
    case 0: return -static_cast<std::int32_t>(in.below(10));
    case 1: return SCOPE_MAX_SIZE + static_cast<std::int32_t>(in.below(3));
    case 2: return static_cast<std::int32_t>(in.below16(50000));
    case 3: return in.i32();
    default: return static_cast<std::int32_t>(in.below(120));
    }
}

void create(T_SCOPE& s, fuzz::Input& in, bool update) {
    s.Trigger = in.below(3) == 0 ? in.i16() : static_cast<std::int16_t>(in.below(5));
    std::int32_t n = length(in);
    // Storage past SCOPE_MAX_SIZE is refused; up to it, keep the run fast.
    if (n > (1 << 16) && n <= SCOPE_MAX_SIZE) n %= (1 << 16);
    const std::vector<float> old = contents(s);
    const std::int32_t old_n = s.ScopeSize;
    const float* old_storage = s.Samples;
    if (update)
        UpdateScopeSize(&s, n);
    else
        CreateScope(&s, n);
    // A reader one sample past the storage.
    if (fuzz::fault("past-end") && s.Samples && s.ScopeSize > 0) {
        volatile float past = s.Samples[2 * static_cast<std::size_t>(s.ScopeSize)];
        (void)past;
    }
    checkStorage(s);
    if (update && n == old_n) {
        FUZZ_CHECK(s.Samples == old_storage);
        return;
    }
    const std::int32_t want = n < 0 ? 0 : n > SCOPE_MAX_SIZE ? 0 : n;
    FUZZ_CHECK(s.ScopeSize == want);
    const std::int32_t kept = s.Trigger == TRIGGER_EXT ? std::min(want, old_n) : 0;
    for (int c = 0; c < 2; ++c)
        for (std::int32_t i = 0; i < want; ++i) {
            const float v = s.Samples[static_cast<std::size_t>(c) * want + i];
            if (i < kept)
                FUZZ_CHECK(sameBits(v, old[static_cast<std::size_t>(c) * old_n + i]));
            else
                FUZZ_CHECK(sameBits(v, 0.0f));
        }
}

void copy(T_SCOPE& dest, const T_SCOPE& other, fuzz::Input& in) {
    T_SCOPE src;
    std::memset(&src, 0, sizeof src);
    std::vector<float> owned;
    if (in.below(3) == 0) {
        src = other;  // another record's storage
    } else {
        std::int32_t n = length(in);
        if (n > 20000 && n <= SCOPE_MAX_SIZE) n %= 20001;
        // A sender owns 2 x ScopeSize floats; one claiming an impossible
        // length comes with a token buffer that must not be read.
        owned.resize(n > 0 && n <= SCOPE_MAX_SIZE ? 2 * static_cast<std::size_t>(n) : 2);
        for (std::size_t i = 0; i < owned.size(); ++i) owned[i] = i < 32 ? in.value() : static_cast<float>(i);
        src.Samples = n == 0 && in.flag() ? nullptr : owned.data();
        src.ScopeSize = n;
        src.Rate = in.value();
        src.Time = in.value();
        src.Y_Scale = in.value();
        src.Channel_Active[0] = in.flag();
        src.Channel_Active[1] = in.flag();
        src.X_Y_Mode = in.i16();
        src.Trigger = in.i16();
        src.Volt_Oktave = in.i16();
    }
    int size = static_cast<int>(sizeof(T_SCOPE));
    if (in.below(4) == 0) size = in.flag() ? in.i32() : size + 1 - static_cast<int>(in.below(3));
    const std::int16_t volt_oktave = dest.Volt_Oktave;
    const std::vector<float> sent = contents(src);
    CopyScope(&dest, &src, size);
    checkStorage(dest);
    if (size != static_cast<int>(sizeof(T_SCOPE)) || src.ScopeSize < 0 || src.ScopeSize > SCOPE_MAX_SIZE) {
        FUZZ_CHECK(dest.ScopeSize == 100 && dest.Volt_Oktave == 1 && dest.Trigger == 3);
        for (int i = 0; i < 200; ++i) FUZZ_CHECK(sameBits(dest.Samples[i], 0.0f));
        return;
    }
    FUZZ_CHECK(dest.ScopeSize == src.ScopeSize);
    if (!sent.empty()) FUZZ_CHECK(std::memcmp(dest.Samples, sent.data(), sent.size() * sizeof(float)) == 0);
    FUZZ_CHECK(sameBits(dest.Rate, src.Rate) && sameBits(dest.Time, src.Time) && sameBits(dest.Y_Scale, src.Y_Scale));
    FUZZ_CHECK(dest.Trigger == src.Trigger && dest.X_Y_Mode == src.X_Y_Mode);
    FUZZ_CHECK(dest.Channel_Active[0] == src.Channel_Active[0] && dest.Channel_Active[1] == src.Channel_Active[1]);
    FUZZ_CHECK(dest.Volt_Oktave == volt_oktave);
}

void timeToSize(T_SCOPE& s, fuzz::Input& in) {
    s.Time = in.value();
    s.Rate = in.below(3) == 0 ? 44100.0f : in.value();
    s.Volt_Oktave = in.flag() ? in.i16() : static_cast<std::int16_t>(in.below(4));
    const int n = TimeToScopeSize(&s);
    FUZZ_CHECK(n >= 1 && n <= SCOPE_MAX_TIMED_SIZE);
}

void limits(T_SCOPE& s, fuzz::Input& in) {
    const float v = in.value();
    SetTime(&s, v);
    SetY_Scale(&s, v);
    // A NaN input is stored as NaN; anything else lands in 0..10.
    for (float f : {GetTime(&s), GetY_Scale(&s)})
        FUZZ_CHECK(std::isnan(v * 10.0f) ? std::isnan(f) : f >= 0.0f && f <= 10.0f);
    if (v * 10.0f >= 0.0f && v * 10.0f <= 10.0f) FUZZ_CHECK(GetTime(&s) == v * 10.0f);
}

void access(T_SCOPE& s, fuzz::Input& in) {
    const int channel = in.flag() ? static_cast<int>(in.below(2)) : in.i32();
    const int index = in.flag() ? static_cast<int>(in.below16(200)) - 50 : in.i32();
    const float v = in.value();
    const bool inside = s.Samples && (channel == 0 || channel == 1) && index >= 0 && index < s.ScopeSize;
    const std::vector<float> before = contents(s);
    FUZZ_CHECK(SetScope(&s, channel, index, v) == (inside ? 0 : -1));
    if (inside) {
        FUZZ_CHECK(sameBits(GetScope(&s, channel, index), v));
    } else {
        FUZZ_CHECK(sameBits(GetScope(&s, channel, index), 0.0f));
        if (!before.empty())
            FUZZ_CHECK(std::memcmp(s.Samples, before.data(), before.size() * sizeof(float)) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::installContractRecorder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    T_SCOPE records[2];
    for (T_SCOPE& s : records) {
        std::memset(&s, 0, sizeof s);
        DefaultScope(&s);
        FUZZ_CHECK(s.ScopeSize == 100 && s.Samples == nullptr);
        CreateScope(&s, GetScopeSize(&s));
        checkStorage(s);
    }
    while (!in.empty()) {
        const std::uint32_t which = in.below(2);
        T_SCOPE& s = records[which];
        switch (in.below(8)) {
        case 0: create(s, in, false); break;
        case 1: create(s, in, true); break;
        case 2:
        case 3: copy(s, records[1 - which], in); break;
        case 4: timeToSize(s, in); break;
        case 5: limits(s, in); break;
        case 6: access(s, in); break;
        default:
            DeleteScope(&s);
            FUZZ_CHECK(s.Samples == nullptr);
            // A record without storage holds no samples.
            CreateScope(&s, 0);
            checkStorage(s);
            break;
        }
    }
    for (T_SCOPE& s : records) DeleteScope(&s);
    return 0;
}
