// Windows' GDI: the module's objects are counted through its import table.
#include "AllocProbe.h"
#include "Harness.h"

namespace zohost::validate {

long liveDrawingObjects() { return probe::AllocProbe::liveDrawingObjects(); }

void* currentObject(HDC dc, int kind) { return GetCurrentObject(dc, static_cast<UINT>(kind)); }

void watchDrawingObjects(const void* address_in_module) { probe::AllocProbe::watch(address_in_module); }

}  // namespace zohost::validate
