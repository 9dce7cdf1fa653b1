#pragma once

#include "core/platform/Result.h"

#include <string>

namespace cantorel {

// A shared library loaded at run time (dlopen with RTLD_NOW | RTLD_LOCAL).
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Fails, saying why, when the library cannot be loaded.
    Result<> load(const std::string& path);
    void unload();
    bool loaded() const { return handle_ != nullptr; }
    // The address of an exported symbol, nullptr when there is none.
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
};

} // namespace cantorel
