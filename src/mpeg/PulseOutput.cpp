#include "mpeg/PulseOutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace cantorel::mpeg {

namespace {
// What the server keeps queued for us: long enough to outlast the host's reaction to the
// end of a track (its timer ticks every 250 ms) and the opening of the next one.
constexpr pa_usec_t TargetLatencyUsec = 1'000'000;
} // namespace

bool PulseOutput::open(long rate, int channels)
{
    close();
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = static_cast<std::uint32_t>(rate);
    spec.channels = static_cast<std::uint8_t>(channels);
    if (!pa_sample_spec_valid(&spec))
        return false;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUsec, &spec));
    // Playback begins once a tenth of a second is queued, so a new track starts at once.
    attr.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(TargetLatencyUsec / 10, &spec));
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    stream_ = pa_simple_new(nullptr, "Cantorel", PA_STREAM_PLAYBACK, nullptr, "Music", &spec, nullptr, &attr, &error);
    if (!stream_)
        return false;
    rate_ = rate;
    channels_ = channels;
    return true;
}

bool PulseOutput::write(const unsigned char* data, std::size_t bytes)
{
    int error = 0;
    return stream_ && pa_simple_write(stream_, data, bytes, &error) == 0;
}

std::int64_t PulseOutput::queuedFrames()
{
    if (!stream_)
        return 0;
    int error = 0;
    const pa_usec_t latency = pa_simple_get_latency(stream_, &error);
    if (latency == static_cast<pa_usec_t>(-1))
        return 0;
    return static_cast<std::int64_t>(latency * static_cast<pa_usec_t>(rate_) / 1'000'000);
}

void PulseOutput::drop()
{
    int error = 0;
    if (stream_)
        (void)pa_simple_flush(stream_, &error); // a failed flush only leaves sound that ends by itself
}

void PulseOutput::drain()
{
    int error = 0;
    if (stream_)
        (void)pa_simple_drain(stream_, &error); // a failed drain means the stream is gone: nothing to wait for
}

void PulseOutput::close()
{
    if (stream_)
        pa_simple_free(stream_);
    stream_ = nullptr;
    rate_ = 0;
    channels_ = 0;
}

} // namespace cantorel::mpeg
