// How the player meets a sound server that stalls, and how its positions run: drives the
// decoder library as the window does (TMPEGPlayer), on the PulseAudio server in
// PULSE_SERVER.
//   playback_timing LIBRARY_DIR TRACK SERVER_PID
// TRACK should last 10 s or more. Prints the position reports' monotonicity over a whole
// play, then the time Seek, Pause, Resume, Stop and Close take while the server (process
// SERVER_PID) is stopped with SIGSTOP; the server is let go on at the end.

#include "core/player/TMPEGPlayer.h"

#include "support/ManualTimer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

using namespace cantorel;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsOf(const std::function<void()>& call)
{
    const auto start = Clock::now();
    try {
        call();
    } catch (const TMPEGError&) {
        // A refused call (the stream ended meanwhile) counts with its time all the same.
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: playback_timing LIBRARY_DIR TRACK SERVER_PID\n");
        return 2;
    }
    test::ManualTimer* timer = nullptr;
    TMPEGPlayer player(test::ManualTimer::factory(timer));
    bool ended = false;
    player.PathToDLL = argv[1];
    player.setTimerFreq(250);
    player.UseTimer = true;
    player.OnPlayEnd = [&ended](TMPEGPlayer*) { ended = true; };
    player.LoadDLL();

    // A whole play, its position read every 5 ms.
    player.setStreamName(argv[2]);
    player.StartPlay();
    int reports = 0, backwards = 0, negative = 0;
    std::int32_t last = 0, first = -1;
    while (!ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::int32_t position = player.CurrentPos();
        if (first < 0)
            first = position;
        ++reports;
        backwards += position < last;
        negative += position < 0;
        last = position;
        timer->tick();
    }
    std::printf("Positions over a play of %d ms, read every 5 ms: %d reports, first %d ms, %d negative, "
                "%d back steps\n",
                player.LengthMs(), reports, first, negative, backwards);
    player.CloseStream();

    // The server stalls while a write waits for it; each call on a fresh play.
    const pid_t server = static_cast<pid_t>(std::atoi(argv[3]));
    const auto stalled = [&](const char* name, const std::function<void()>& call) {
        ended = false;
        player.setStreamName(argv[2]);
        player.StartPlay();
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ::kill(server, SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        std::printf("  %-7s %6.1f ms\n", name, millisecondsOf(call));
        ::kill(server, SIGCONT);
        player.CloseStream();
    };
    std::printf("With the sound server stopped (SIGSTOP) while a write waits for it:\n");
    stalled("Seek", [&] { player.SeekTo(4000); });
    stalled("Pause", [&] { player.SetPaused(true); });
    stalled("Stop", [&] { player.StopPlay(); });
    stalled("Close", [&] { player.CloseStream(); });
    player.UnloadDLL();
    return 0;
}
