#include "decoder/AlsaOutput.h"

#include <algorithm>
#include <mpg123.h>
#include <out123.h>

namespace cantorel::mpeg {

namespace {
constexpr double DeviceBufferSeconds = 0.5;
}

bool AlsaOutput::open(long rate, int channels)
{
    close();
    device_ = out123_new();
    if (!device_)
        return false;
    out123_param_int(device_, OUT123_ADD_FLAGS, OUT123_QUIET);
    out123_param_float(device_, OUT123_DEVICEBUFFER, DeviceBufferSeconds);
    out123_param_string(device_, OUT123_NAME, "Cantorel");
    // The card's own device: the default one may lead back to the sound server that
    // just failed.
    if (out123_open(device_, "alsa", "sysdefault") != OUT123_OK ||
        out123_start(device_, rate, channels, MPG123_ENC_SIGNED_16) != OUT123_OK) {
        close();
        return false;
    }
    rate_ = rate;
    channels_ = channels;
    written_ = 0;
    return true;
}

bool AlsaOutput::write(const unsigned char* data, std::size_t bytes)
{
    if (!device_)
        return false;
    const std::size_t played = out123_play(device_, const_cast<unsigned char*>(data), bytes);
    written_ += static_cast<std::int64_t>(played / (2 * static_cast<std::size_t>(channels_)));
    return played == bytes;
}

std::optional<std::int64_t> AlsaOutput::queuedFrames()
{
    return std::min<std::int64_t>(written_, static_cast<std::int64_t>(DeviceBufferSeconds * double(rate_)));
}

bool AlsaOutput::drop()
{
    if (device_)
        out123_drop(device_);
    written_ = 0;
    return true;
}

void AlsaOutput::drain()
{
    if (device_)
        out123_drain(device_);
    written_ = 0;
}

void AlsaOutput::close()
{
    if (device_) {
        out123_drop(device_);
        out123_del(device_);
    }
    device_ = nullptr;
    rate_ = 0;
    channels_ = 0;
}

} // namespace cantorel::mpeg
