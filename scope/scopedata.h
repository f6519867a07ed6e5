// The scope record: display settings and the two channels of one capture.
// Shared by the audio side, the display side and the "data" message, which
// carries the record's address; its layout is a binary interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ZOProtocol.h"

struct T_SCOPE {
    float* Samples;  // channel-major, 2 * ScopeSize floats, or null
    // Bytes, not bool: a record comes from outside, and any nonzero byte
    // means the input is connected.
    std::uint8_t Channel_Active[2];
    std::int32_t ScopeSize;
    float Rate;
    float Time;     // volts, 0..10, or NaN from a NaN input
    float Y_Scale;  // volts, 0..10, or NaN from a NaN input
    std::int16_t X_Y_Mode;
    std::int16_t Trigger;
    std::int16_t Volt_Oktave;
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(T_SCOPE) == 32, "T_SCOPE size");
static_assert(offsetof(T_SCOPE, Channel_Active) == 4, "T_SCOPE::Channel_Active");
static_assert(offsetof(T_SCOPE, ScopeSize) == 8, "T_SCOPE::ScopeSize");
static_assert(offsetof(T_SCOPE, Rate) == 12, "T_SCOPE::Rate");
static_assert(offsetof(T_SCOPE, Time) == 16, "T_SCOPE::Time");
static_assert(offsetof(T_SCOPE, Y_Scale) == 20, "T_SCOPE::Y_Scale");
static_assert(offsetof(T_SCOPE, X_Y_Mode) == 24, "T_SCOPE::X_Y_Mode");
static_assert(offsetof(T_SCOPE, Trigger) == 26, "T_SCOPE::Trigger");
static_assert(offsetof(T_SCOPE, Volt_Oktave) == 28, "T_SCOPE::Volt_Oktave");
#endif

// The scope's two messages: a capture and its acknowledgement.
enum : std::int32_t {
    SCOPE_MSG_DATA = zo_message::data,
    SCOPE_MSG_ACK = zo_message::ack,
};

// Longest capture the time settings give, and the longest any capture may
// grow to (external-trigger captures double past the first).
enum : std::int32_t {
    SCOPE_MAX_TIMED_SIZE = 44100,
    SCOPE_MAX_SIZE = 1 << 22,
};

enum ScopeTrigger : std::int16_t {
    TRIGGER_OFF = 0,
    TRIGGER_INPUT_A = 1,
    TRIGGER_INPUT_B = 2,
    TRIGGER_AUTO = 3,
    TRIGGER_EXT = 4,
};

void DefaultScope(T_SCOPE* s);
void CreateScope(T_SCOPE* s, int n);
void DeleteScope(T_SCOPE* s);
void UpdateScopeSize(T_SCOPE* s, int n);
void CopyScope(T_SCOPE* dest, const T_SCOPE* src, int size);
float GetScope(const T_SCOPE* s, int channel, int index);
int SetScope(T_SCOPE* s, int channel, int index, float value);
int GetScopeSize(const T_SCOPE* s);
int TimeToScopeSize(const T_SCOPE* s);
float GetTime(const T_SCOPE* s);
void SetTime(T_SCOPE* s, float value);
float GetY_Scale(const T_SCOPE* s);
void SetY_Scale(T_SCOPE* s, float value);
float GetRate(const T_SCOPE* s);
void SetRate(T_SCOPE* s, float value);
std::int16_t GetTrigger(const T_SCOPE* s);
std::int16_t GetX_Y_Mode(const T_SCOPE* s);
bool GetChannel_Active(const T_SCOPE* s, int channel);
void SetChannel_Active(T_SCOPE* s, int channel, bool active);
std::int16_t* GetAddressX_Y_Mode(T_SCOPE* s);
std::int16_t* GetAddressTrigger(T_SCOPE* s);
std::int16_t* GetAddressVolt_Oktave(T_SCOPE* s);

// A float truncated toward zero into a 32-bit integer, saturating at the
// integer range; NaN gives 0.
std::int32_t TruncToInt32(double value);
