#include "scopedata.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

bool validChannel(int channel) { return channel == 0 || channel == 1; }

bool inRange(const T_SCOPE* s, int channel, int index) {
    return s->Samples && validChannel(channel) && index >= 0 && index < s->ScopeSize;
}

// Volts from a pin value: ten times it, limited to 0..10. A NaN passes
// both comparisons and stays NaN; its readers keep it defined.
float limitVolts(float value) {
    const float v = value * 10.0f;
    if (v < 0.0f) return 0.0f;
    if (v > 10.0f) return 10.0f;
    return v;
}

}  // namespace

std::int32_t TruncToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

void DefaultScope(T_SCOPE* s) {
    s->Volt_Oktave = 1;
    s->Time = 5.0f;
    s->Rate = 44100.0f;
    s->ScopeSize = 0;
    s->Y_Scale = 1.0f;
    s->Trigger = TRIGGER_AUTO;
    s->X_Y_Mode = 0;
    s->Channel_Active[0] = 0;
    s->Channel_Active[1] = 0;
    s->ScopeSize = TimeToScopeSize(s);
}

void CreateScope(T_SCOPE* s, int n) {
    if (n < 0) n = 0;
    const bool keep = s->Trigger == TRIGGER_EXT;
    float* old = s->Samples;
    const int old_size = old ? s->ScopeSize : 0;
    if (!keep) {
        delete[] old;
        old = nullptr;
    }
    s->Samples = nullptr;
    s->ScopeSize = n;
    if (n != 0) {
        float* storage = nullptr;
        if (n <= SCOPE_MAX_SIZE) storage = new (std::nothrow) float[2 * static_cast<std::size_t>(n)];
        if (storage) {
            std::memset(storage, 0, 2 * static_cast<std::size_t>(n) * sizeof(float));
            s->Samples = storage;
        } else {
            s->ScopeSize = 0;  // nothing may reach storage that is not there
        }
    }
    if (keep) {
        if (old && s->Samples) {
            const int kept = old_size < s->ScopeSize ? old_size : s->ScopeSize;
            for (int c = 0; c < 2; ++c)
                std::memcpy(s->Samples + static_cast<std::size_t>(c) * s->ScopeSize,
                            old + static_cast<std::size_t>(c) * old_size, kept * sizeof(float));
        }
        delete[] old;
    }
}

void DeleteScope(T_SCOPE* s) {
    delete[] s->Samples;
    s->Samples = nullptr;
}

void UpdateScopeSize(T_SCOPE* s, int n) {
    if (n != s->ScopeSize) CreateScope(s, n);
}

void CopyScope(T_SCOPE* dest, const T_SCOPE* src, int size) {
    // A record of another size, a missing one, or one claiming an impossible
    // length is not read: the display falls back to defaults.
    if (size != static_cast<int>(sizeof(T_SCOPE)) || !src || src->ScopeSize < 0 ||
        src->ScopeSize > SCOPE_MAX_SIZE) {
        DefaultScope(dest);
        CreateScope(dest, dest->ScopeSize);
        return;
    }
    if (dest->ScopeSize != src->ScopeSize || (!dest->Samples && src->ScopeSize != 0))
        CreateScope(dest, src->ScopeSize);
    if (src->ScopeSize != 0 && dest->Samples && dest->ScopeSize == src->ScopeSize) {
        const std::size_t count = 2 * static_cast<std::size_t>(src->ScopeSize);
        if (src->Samples)
            std::memcpy(dest->Samples, src->Samples, count * sizeof(float));
        else
            std::memset(dest->Samples, 0, count * sizeof(float));
    }
    dest->Rate = src->Rate;
    dest->Time = src->Time;
    dest->Y_Scale = src->Y_Scale;
    dest->Channel_Active[0] = src->Channel_Active[0] != 0 ? 1 : 0;
    dest->Channel_Active[1] = src->Channel_Active[1] != 0 ? 1 : 0;
    dest->Trigger = src->Trigger;
    dest->X_Y_Mode = src->X_Y_Mode;
}

float GetScope(const T_SCOPE* s, int channel, int index) {
    if (!inRange(s, channel, index)) return 0.0f;
    return s->Samples[static_cast<std::size_t>(channel) * s->ScopeSize + index];
}

int SetScope(T_SCOPE* s, int channel, int index, float value) {
    if (!inRange(s, channel, index)) return -1;
    s->Samples[static_cast<std::size_t>(channel) * s->ScopeSize + index] = value;
    return 0;
}

int GetScopeSize(const T_SCOPE* s) { return s->ScopeSize; }

int TimeToScopeSize(const T_SCOPE* s) {
    const float time = s->Time;
    const float rate = s->Rate;
    float period;
    switch (s->Volt_Oktave) {
    case 0: period = time > 0.0f ? 1.0f / (time * 1000.0f) : 1.0f; break;
    case 1:
        period = static_cast<float>(1.0 / (440.0 * std::pow(2.0, static_cast<double>(time) - 5.0)));
        break;
    case 3: period = time * 1000.0f / rate; break;
    default: period = time / 10.0f; break;
    }
    const float size = rate * period;
    if (std::isnan(size)) return 1;
    if (size > static_cast<float>(SCOPE_MAX_TIMED_SIZE)) return SCOPE_MAX_TIMED_SIZE;
    const std::int32_t n = size < 1.0f ? 0 : static_cast<std::int32_t>(size);
    return n <= 0 ? 1 : n;
}

float GetTime(const T_SCOPE* s) { return s->Time; }
void SetTime(T_SCOPE* s, float value) { s->Time = limitVolts(value); }
float GetY_Scale(const T_SCOPE* s) { return s->Y_Scale; }
void SetY_Scale(T_SCOPE* s, float value) { s->Y_Scale = limitVolts(value); }
float GetRate(const T_SCOPE* s) { return s->Rate; }
void SetRate(T_SCOPE* s, float value) { s->Rate = value; }
std::int16_t GetTrigger(const T_SCOPE* s) { return s->Trigger; }
std::int16_t GetX_Y_Mode(const T_SCOPE* s) { return s->X_Y_Mode; }

bool GetChannel_Active(const T_SCOPE* s, int channel) {
    return validChannel(channel) && s->Channel_Active[channel] != 0;
}

void SetChannel_Active(T_SCOPE* s, int channel, bool active) {
    if (validChannel(channel)) s->Channel_Active[channel] = active ? 1 : 0;
}

std::int16_t* GetAddressX_Y_Mode(T_SCOPE* s) { return &s->X_Y_Mode; }
std::int16_t* GetAddressTrigger(T_SCOPE* s) { return &s->Trigger; }
std::int16_t* GetAddressVolt_Oktave(T_SCOPE* s) { return &s->Volt_Oktave; }
