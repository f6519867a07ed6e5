// The scope's rule for capture lengths, as --window needs it: which
// "Time-Mode" and "Time" give a window, by the module's own arithmetic.
#pragma once

#include "zohost/ModuleProfile.h"

namespace zohost::scope {

// The setting whose capture is the window's length at `rate`, in the
// window's own mode when that reaches it, else in any mode that does;
// std::invalid_argument when no setting comes within a sample (the
// message says what the module shows; the caller names the window).
WindowSetting scopeWindow(const CaptureWindow& w, double rate);

}  // namespace zohost::scope
