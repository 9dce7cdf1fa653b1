#include "decoder/PulseOutput.h"

#include <algorithm>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

namespace cantorel::mpeg {

namespace {

using Clock = std::chrono::steady_clock;

// What the server keeps queued for us: long enough to outlast the host's reaction to the
// end of a track (its timer ticks every 250 ms) and the opening of the next one.
constexpr pa_usec_t TargetLatencyUsec = 1'000'000;
// How long connecting and making the stream may take together: a server that does not
// answer by then is taken as gone (a local one answers within milliseconds).
constexpr std::chrono::milliseconds OpenLimit{250};
// How long dropping what is queued may take: a stop waits for it.
constexpr std::chrono::milliseconds FlushLimit{150};
// How long what dropSoon() left is still heard when no write comes.
constexpr pa_usec_t DropSoonUsec = 100'000;

// Every callback only wakes whoever waits.
void wake(void* output) { static_cast<PulseOutput*>(output)->signal(); }
void contextChanged(pa_context*, void* output) { wake(output); }
void streamChanged(pa_stream*, void* output) { wake(output); }
void streamWritable(pa_stream*, size_t, void* output) { wake(output); }
void operationDone(pa_stream*, int, void* output) { wake(output); }

// Holds the main loop's lock for a scope.
class Locked {
public:
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~Locked() { pa_threaded_mainloop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

pa_proplist* titled(const std::string& title)
{
    pa_proplist* p = pa_proplist_new();
    pa_proplist_sets(p, PA_PROP_MEDIA_NAME, title.c_str());
    pa_proplist_sets(p, PA_PROP_MEDIA_ROLE, "music");
    return p;
}

} // namespace

void PulseOutput::signal()
{
    {
        std::lock_guard lock(signalMutex_);
        pending_ = true;
    }
    signalled_.notify_all();
}

void PulseOutput::interrupt()
{
    {
        std::lock_guard lock(signalMutex_);
        interrupted_ = true;
    }
    signalled_.notify_all();
}

void PulseOutput::resume() { interrupted_ = false; }

bool PulseOutput::waitFor(Clock::time_point limit)
{
    std::unique_lock lock(signalMutex_);
    if (!pending_ && !interrupted_) {
        // The main loop runs the callbacks while we wait; its lock is taken back after ours
        // is let go, never both the other way round.
        pa_threaded_mainloop_unlock(loop_);
        signalled_.wait_until(lock, limit, [this] { return pending_ || interrupted_.load(); });
        const bool woken = pending_ && !interrupted_;
        pending_ = false;
        lock.unlock();
        pa_threaded_mainloop_lock(loop_);
        return woken;
    }
    const bool woken = !interrupted_;
    pending_ = false;
    return woken;
}

bool PulseOutput::connect(Clock::time_point limit)
{
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return false;
    pa_proplist* program = pa_proplist_new();
    pa_proplist_sets(program, PA_PROP_APPLICATION_NAME, "Cantorel");
    pa_proplist_sets(program, PA_PROP_APPLICATION_ICON_NAME, "org.cantorel.Cantorel");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Cantorel", program);
    pa_proplist_free(program);
    if (!context_)
        return false;
    pa_context_set_state_callback(context_, contextChanged, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0 || pa_threaded_mainloop_start(loop_) < 0)
        return false;
    Locked lock(loop_);
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state) || !waitFor(limit))
            return false;
    }
}

bool PulseOutput::open(long rate, int channels)
{
    close();
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = static_cast<std::uint32_t>(rate);
    format.channels = static_cast<std::uint8_t>(channels);
    const auto limit = Clock::now() + OpenLimit;
    if (!pa_sample_spec_valid(&format) || !connect(limit)) {
        close();
        return false;
    }
    Locked lock(loop_);
    pa_proplist* media = titled(title_);
    stream_ = pa_stream_new_with_proplist(context_, title_.c_str(), &format, nullptr, media);
    pa_proplist_free(media);
    if (!stream_)
        return false;
    pa_stream_set_state_callback(stream_, streamChanged, this);
    pa_stream_set_write_callback(stream_, streamWritable, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUsec, &format));
    // Playback begins once 20 ms are queued, so that a new track (or the next one after a
    // Stop) starts at once.
    attr.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUsec / 50, &format));
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                                      PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0)
        return false;
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY)
            break;
        if (!PA_STREAM_IS_GOOD(state) || !waitFor(limit))
            return false;
    }
    rate_ = rate;
    channels_ = channels;
    return true;
}

bool PulseOutput::streamGood() const
{
    return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY &&
           pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseOutput::healthy() const
{
    if (!loop_ || !isOpen())
        return false;
    Locked lock(loop_);
    return streamGood();
}

bool PulseOutput::write(const unsigned char* data, std::size_t bytes)
{
    if (!loop_)
        return false;
    Locked lock(loop_);
    // A server that takes nothing for a while has stalled: the write fails.
    auto limit = Clock::now() + StallLimit;
    while (bytes > 0) {
        if (interrupted_ || !streamGood())
            return false;
        const std::size_t room = pa_stream_writable_size(stream_);
        if (room == static_cast<std::size_t>(-1))
            return false;
        if (room == 0 && !dropPending_) {
            if (!waitFor(limit) && (interrupted_ || Clock::now() >= limit))
                return false;
            continue;
        }
        // The first write after dropSoon(): the flush and these bytes reach the server
        // together, so the sound goes from the old stream to the new one without a hole.
        const std::size_t n = dropPending_ ? bytes : std::min(room, bytes);
        if (dropPending_ && !flushNow())
            return false;
        if (pa_stream_write(stream_, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return false;
        data += n;
        bytes -= n;
        limit = Clock::now() + StallLimit;
    }
    return true;
}

std::optional<std::int64_t> PulseOutput::queuedFrames()
{
    if (!loop_)
        return std::int64_t{0};
    Locked lock(loop_);
    if (dropPending_)
        return std::int64_t{0}; // as good as dropped
    pa_usec_t latency = 0;
    int negative = 0;
    // Until the server's first timing report the latency is unknown.
    if (!stream_ || pa_stream_get_latency(stream_, &latency, &negative) < 0)
        return std::nullopt;
    if (negative)
        return std::int64_t{0};
    return static_cast<std::int64_t>(latency * static_cast<pa_usec_t>(rate_) / 1'000'000);
}

bool PulseOutput::await(pa_operation* operation, std::chrono::milliseconds limit)
{
    if (!operation)
        return false;
    const auto until = Clock::now() + limit;
    bool running = true;
    while ((running = pa_operation_get_state(operation) == PA_OPERATION_RUNNING) && streamGood() &&
           Clock::now() < until && !interrupted_)
        waitFor(until);
    pa_operation_unref(operation);
    return !running;
}

bool PulseOutput::drop()
{
    if (!loop_)
        return true;
    Locked lock(loop_);
    cancelDropTimer();
    dropPending_ = false;
    return streamGood() && await(pa_stream_flush(stream_, operationDone, this), FlushLimit);
}

bool PulseOutput::dropSoon()
{
    if (!loop_)
        return true;
    Locked lock(loop_);
    if (!streamGood())
        return false;
    dropPending_ = true;
    const pa_usec_t at = pa_rtclock_now() + DropSoonUsec;
    if (dropTimer_)
        pa_context_rttime_restart(context_, dropTimer_, at);
    else
        dropTimer_ = pa_context_rttime_new(context_, at, dropTimerFired, this);
    return dropTimer_ != nullptr;
}

void PulseOutput::dropTimerFired(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* self)
{
    auto* output = static_cast<PulseOutput*>(self);
    api->time_free(event);
    output->dropTimer_ = nullptr;
    if (output->dropPending_ && output->streamGood())
        (void)output->flushNow();
    output->dropPending_ = false;
}

void PulseOutput::cancelDropTimer()
{
    if (dropTimer_)
        pa_threaded_mainloop_get_api(loop_)->time_free(dropTimer_);
    dropTimer_ = nullptr;
}

bool PulseOutput::flushNow()
{
    cancelDropTimer();
    dropPending_ = false;
    pa_operation* flushing = pa_stream_flush(stream_, nullptr, nullptr);
    if (!flushing)
        return false;
    pa_operation_unref(flushing);
    return true;
}

void PulseOutput::drain()
{
    const std::optional<std::int64_t> queued = queuedFrames();
    if (!loop_)
        return;
    // At most what is queued, and a little more: a server that stalls does not keep us.
    const auto limit = std::chrono::milliseconds(
        std::min<std::int64_t>(queued.value_or(rate_) * 1000 / std::max(rate_, 1L), 2000) + 500);
    Locked lock(loop_);
    if (streamGood())
        await(pa_stream_drain(stream_, operationDone, this), limit);
}

void PulseOutput::setTitle(const std::string& title)
{
    title_ = title.empty() ? "Music" : title;
    if (!loop_)
        return;
    Locked lock(loop_);
    if (!streamGood())
        return;
    pa_proplist* media = titled(title_);
    // Nothing waits for it: the mixer shows the new name when the server has it.
    if (pa_operation* o = pa_stream_proplist_update(stream_, PA_UPDATE_REPLACE, media, nullptr, nullptr))
        pa_operation_unref(o);
    pa_proplist_free(media);
}

void PulseOutput::close()
{
    if (loop_)
        pa_threaded_mainloop_stop(loop_);
    if (loop_)
        cancelDropTimer(); // the loop stopped: nothing fires meanwhile
    dropPending_ = false;
    if (stream_) {
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_)
        pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    context_ = nullptr;
    stream_ = nullptr;
    rate_ = 0;
    channels_ = 0;
}

} // namespace cantorel::mpeg
