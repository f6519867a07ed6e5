// Our drawing library counts its objects itself.
#include "Harness.h"

namespace zohost::validate {

long liveDrawingObjects() { return ZoGdiLiveObjects(); }

void* currentObject(HDC dc, int kind) { return ZoGdiCurrentObject(dc, kind); }

void watchDrawingObjects(const void*) {}

}  // namespace zohost::validate
