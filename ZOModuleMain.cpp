// The library's two entry points (and the entry notification on Windows).
// The host calls them from its main thread while loading and placing modules.
#include <new>

#include "GuiModule.h"
#include "Module.h"
#include "ZOHostTypes.h"

#ifdef _WIN32
#define ZO_EXPORT extern "C" __declspec(dllexport)
#else
#define ZO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

ZO_EXPORT int getModuleProperties(zolong index, ZOModuleProperties* properties) {
    if (!properties) return 0;
    properties->sdk_version = ZO_SDK_VERSION;
    if (index != zo_object::library_index) return 0;
    Module::getModuleProperties(properties);
    return 1;
}

ZO_EXPORT void* makeModule(zolong index, zolong type, ZOHostCallback callback, void* host_data) {
    if (index != zo_object::library_index) return nullptr;
    // A constructor that cannot get its storage fails here, before any
    // record is handed out.
    try {
        if (type == zo_object::audio) return (new Module(callback, host_data))->getRecord();
        if (type == zo_object::gui) return (new GuiModule(callback, host_data))->getRecord();
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

#ifdef _WIN32
#include <windows.h>
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
