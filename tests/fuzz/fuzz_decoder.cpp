#include "decoder/MpegPlayer.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

using namespace cantorel::mpeg;

namespace {

// The input, read through the library's stream callbacks.
struct Input {
    std::string_view bytes;
    std::size_t at = 0;
};

void open(void* user, std::uint8_t*, void** context) { *context = user; }
void close(void*, void*) {}
void read(void* user, void*, void* buffer, std::int32_t count, std::int32_t* done, std::uint8_t* result)
{
    auto* in = static_cast<Input*>(user);
    const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), in->bytes.size() - in->at);
    std::memcpy(buffer, in->bytes.data() + in->at, n);
    in->at += n;
    *done = static_cast<std::int32_t>(n);
    *result = 1;
}
void seek(void* user, void*, std::int32_t offset, std::int32_t method, std::int32_t* result)
{
    auto* in = static_cast<Input*>(user);
    const long long base = method == SEEK_CUR   ? static_cast<long long>(in->at)
                           : method == SEEK_END ? static_cast<long long>(in->bytes.size())
                                                : 0;
    const long long to = base + offset;
    if (to < 0 || to > static_cast<long long>(in->bytes.size())) {
        *result = -1;
        return;
    }
    in->at = static_cast<std::size_t>(to);
    *result = static_cast<std::int32_t>(to);
}
void size(void* user, void*, std::int32_t* result)
{
    *result = static_cast<std::int32_t>(static_cast<Input*>(user)->bytes.size());
}

} // namespace

// Opens the input as a stream and decodes it to a raw file; the end must come.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MpegPlayer player;
    static const bool ready = player.init() == NoError;
    if (!ready)
        return 0;
    Input input{std::string_view(reinterpret_cast<const char*>(data), size)};
    if (player.openStream({open, close, nullptr, read, seek, ::size, &input}) != NoError)
        return 0;
    player.setOutputDevice(2, cantorel::fuzz::workDirectory() + "out.raw");
    std::uint8_t ended = 0;
    if (player.play(0, 0, &ended) == NoError) {
        for (int i = 0; i < 10000 && !std::atomic_ref<std::uint8_t>(ended).load(); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (!std::atomic_ref<std::uint8_t>(ended).load())
            __builtin_trap(); // decoding never ended
    }
    player.close();
    return 0;
}
