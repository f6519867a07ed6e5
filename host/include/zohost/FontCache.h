// Fonts the host hands out for display request gui_font, one per pixel height,
// kept for the life of the process like a host's shared resources.
#pragma once

#include "ZOHostTypes.h"

namespace zohost {

// The font handle as the request answers it; 0 when none can be made.
zolong fontForHeight(int pixel_height);

}  // namespace zohost
