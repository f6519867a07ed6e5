// The scope's pins and list choices by the names its descriptions give, for
// the parts of zohost (validator, live keys, help) that address them. Nothing
// outside host/scope/ spells them.
#pragma once

namespace zohost::scope::pins {

inline constexpr const char* kSignalA = "Signal A";
inline constexpr const char* kSignalB = "Signal B";
inline constexpr const char* kTime = "Time";
inline constexpr const char* kYScale = "Y-Scale";
inline constexpr const char* kXYMode = "X-Y-Mode";
inline constexpr const char* kTrigger = "Trigger";
inline constexpr const char* kExtTrigger = "EXT-Trigger";
inline constexpr const char* kTimeMode = "Time-Mode";

}  // namespace zohost::scope::pins
