// The platform's drawing calls: the real GDI and USER on Windows, our own
// library with the same names and semantics elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "zogdi.h"
#endif
