#include "zohost/ModuleLibrary.h"

#include <utility>

#include "DynamicLibrary.h"

namespace zohost {

using detail::closeLibrary;
using detail::findSymbol;
using detail::openLibrary;

namespace {

template <typename Fn>
Fn asFunction(void* p) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) { load(path); }

ModuleLibrary::~ModuleLibrary() { unload(); }

ModuleLibrary::ModuleLibrary(ModuleLibrary&& other) noexcept { *this = std::move(other); }

ModuleLibrary& ModuleLibrary::operator=(ModuleLibrary&& other) noexcept {
    if (this != &other) {
        unload();
        handle_ = std::exchange(other.handle_, nullptr);
        get_properties_ = std::exchange(other.get_properties_, nullptr);
        make_module_ = std::exchange(other.make_module_, nullptr);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool ModuleLibrary::load(const std::string& path) {
    unload();
    error_.clear();
    path_ = path;
    std::string why;
    void* h = openLibrary(path, why);
    if (!h) {
        error_ = "cannot load module \"" + path + "\": " + why;
        return false;
    }
    void* props = findSymbol(h, "getModuleProperties");
    void* make = findSymbol(h, "makeModule");
    if (!props || !make) {
        error_ = "module \"" + path + "\" does not export " +
                 (!props && !make ? std::string("getModuleProperties and makeModule")
                  : !props        ? std::string("getModuleProperties")
                                  : std::string("makeModule"));
        closeLibrary(h);
        return false;
    }
    handle_ = h;
    get_properties_ = asFunction<GetModulePropertiesFn>(props);
    make_module_ = asFunction<MakeModuleFn>(make);
    return true;
}

void ModuleLibrary::unload() {
    if (handle_) closeLibrary(handle_);
    handle_ = nullptr;
    get_properties_ = nullptr;
    make_module_ = nullptr;
}

int ModuleLibrary::getModuleProperties(zolong index, ZOModuleProperties* properties) const {
    return get_properties_ ? get_properties_(index, properties) : 0;
}

void* ModuleLibrary::makeModule(zolong index, zolong type, ZOHostCallback callback,
                                void* host_data) const {
    return make_module_ ? make_module_(index, type, callback, host_data) : nullptr;
}

void* ModuleLibrary::symbol(const char* name) const {
    return handle_ ? findSymbol(handle_, name) : nullptr;
}

}  // namespace zohost
