// What the host's drawing needs of the platform: DrawingWin.cpp (Windows'
// GDI) or DrawingZoGdi.cpp (our drawing library), chosen by the build.
#pragma once

#include "zohost/Gdi.h"

namespace zohost::detail {

// The fixed-pitch font the host hands the display, `height` pixels high.
HFONT makeFont(int height);

}  // namespace zohost::detail
