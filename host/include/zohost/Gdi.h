// The drawing calls the display uses, as the module sees them.
#pragma once

#include "ZOGdi.h"
