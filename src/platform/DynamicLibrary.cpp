#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace cantorel {

DynamicLibrary::~DynamicLibrary() { unload(); }

bool DynamicLibrary::load(const std::string& path)
{
    unload();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* message = ::dlerror();
        error_ = message ? message : "cannot load " + path;
    }
    return handle_ != nullptr;
}

void DynamicLibrary::unload()
{
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
}

void* DynamicLibrary::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

} // namespace cantorel
