#include "core/platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace cantorel {

DynamicLibrary::~DynamicLibrary() { unload(); }

Result<> DynamicLibrary::load(const std::string& path)
{
    unload();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_)
        return {};
    const char* message = ::dlerror();
    return fail(message ? message : "cannot load " + path);
}

void DynamicLibrary::unload()
{
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
}

void* DynamicLibrary::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

} // namespace cantorel
