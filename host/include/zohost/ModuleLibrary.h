// One loaded module file and its two entry points. The only place that knows
// how the platform loads libraries (dlopen or LoadLibraryA).
#pragma once

#include <string>

#include "ZOHostTypes.h"

namespace zohost {

typedef int (*GetModulePropertiesFn)(zolong index, ZOModuleProperties* properties);
typedef void* (*MakeModuleFn)(zolong index, zolong type, ZOHostCallback callback, void* host_data);

class ModuleLibrary {
public:
    ModuleLibrary() = default;
    // Loads at once; check loaded() and error().
    explicit ModuleLibrary(const std::string& path);
    ~ModuleLibrary();
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;
    ModuleLibrary(ModuleLibrary&& other) noexcept;
    ModuleLibrary& operator=(ModuleLibrary&& other) noexcept;

    // Unloads whatever was loaded before. False with error() set when the file
    // cannot be loaded or lacks one of the two entry points (nothing stays loaded).
    bool load(const std::string& path);
    // Objects made from the library must all be destroyed before this.
    void unload();

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    GetModulePropertiesFn getModulePropertiesEntry() const { return get_properties_; }
    MakeModuleFn makeModuleEntry() const { return make_module_; }

    // Both return 0/null when nothing is loaded.
    int getModuleProperties(zolong index, ZOModuleProperties* properties) const;
    void* makeModule(zolong index, zolong type, ZOHostCallback callback, void* host_data) const;

    // Any other exported symbol, or null.
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
    GetModulePropertiesFn get_properties_ = nullptr;
    MakeModuleFn make_module_ = nullptr;
    std::string path_;
    std::string error_;
};

}  // namespace zohost
