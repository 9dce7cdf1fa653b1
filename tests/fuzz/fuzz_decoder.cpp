#include "decoder/MpegPlayer.h"

#include "FuzzSupport.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace cantorel::mpeg;

// Opens the input as a track and decodes it to a raw file; the end must come.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MpegPlayer player;
    static const bool ready = player.init() == NoError;
    if (!ready)
        return 0;
    const std::string file = cantorel::fuzz::writeInput("input.mp3", data, size);
    if (player.openFile(file) != NoError)
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
