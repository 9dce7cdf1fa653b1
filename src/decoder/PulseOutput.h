#pragma once

#include "decoder/AudioOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

struct pa_context;
struct pa_mainloop_api;
struct pa_time_event;
struct timeval;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

namespace cantorel::mpeg {

// A playback stream of the PulseAudio server (or PipeWire's PulseAudio service), named
// after the program, whose media name is the title of the track being heard. Its buffer
// holds about a second, so that the next track is opened while the end of the last one is
// still being heard. No wait on the server is without a bound: a server that does not
// answer fails the call after a while, and interrupt() ends a wait at once.
class PulseOutput : public AudioOutput {
public:
    // How long a write waits for a server that takes nothing, before it fails.
    static constexpr std::chrono::milliseconds StallLimit{2000};

    ~PulseOutput() override { close(); }
    bool open(long rate, int channels) override;
    bool write(const unsigned char* data, std::size_t bytes) override;
    std::optional<std::int64_t> queuedFrames() override;
    bool drop() override;
    bool dropSoon() override;
    void drain() override;
    void close() override;
    void setTitle(const std::string& title) override;
    void interrupt() override;
    void resume() override;
    bool healthy() const override;

    // Called by the server's main loop: something changed.
    void signal();

private:
    bool connect(std::chrono::steady_clock::time_point limit);
    // Waits, the main loop locked, until the server signals, the wait is interrupted or
    // `limit` passes; false when interrupted or out of time.
    bool waitFor(std::chrono::steady_clock::time_point limit);
    // Waits for an operation of the server, the main loop locked, at most `limit`; true
    // when it was done.
    bool await(pa_operation* operation, std::chrono::milliseconds limit);
    bool streamGood() const;
    // What dropSoon() left to do, the main loop locked: the flush, and the timer off.
    void cancelDropTimer();
    bool flushNow();
    static void dropTimerFired(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::string title_ = "Music";
    std::mutex signalMutex_;
    std::condition_variable signalled_;
    bool pending_ = false; // a signal not yet waited for
    std::atomic<bool> interrupted_{false};
    bool dropPending_ = false; // dropSoon() waits for the next write
    pa_time_event* dropTimer_ = nullptr;
};

} // namespace cantorel::mpeg
