#include "support/FakeMpeg.h"

#include <dlfcn.h>
#include <stdexcept>

namespace cantorel::test {

namespace {
template <typename F>
F entry(void* handle, const char* name)
{
    void* address = ::dlsym(handle, name);
    if (!address)
        throw std::runtime_error(std::string("fake mpeg.so lacks ") + name);
    return reinterpret_cast<F>(address);
}
} // namespace

std::string FakeMpeg::directory() { return CANTOREL_FAKE_MPEG_DIR; }
std::string FakeMpeg::incompleteDirectory() { return CANTOREL_FAKE_MPEG_INCOMPLETE_DIR; }

FakeMpeg::FakeMpeg() : handle_(::dlopen((directory() + "/mpeg.so").c_str(), RTLD_NOW | RTLD_LOCAL))
{
    if (!handle_)
        throw std::runtime_error("cannot load the fake mpeg.so");
}

std::string FakeMpeg::calls() const { return entry<const char* (*)()>(handle_, "fake_calls")(); }
void FakeMpeg::reset() const { entry<void (*)()>(handle_, "fake_reset")(); }
void FakeMpeg::fail(const char* name, std::int32_t code) const
{
    entry<void (*)(const char*, std::int32_t)>(handle_, "fake_fail")(name, code);
}
void FakeMpeg::set(std::int32_t length, std::int32_t position, std::int32_t mode, std::int32_t playResult) const
{
    entry<void (*)(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>(handle_, "fake_set")(length, position, mode,
                                                                                                 playResult);
}
void FakeMpeg::end() const { entry<void (*)()>(handle_, "fake_end")(); }

} // namespace cantorel::test
