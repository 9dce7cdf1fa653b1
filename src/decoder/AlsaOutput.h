#pragma once

#include "decoder/AudioOutput.h"

struct out123_struct;

namespace cantorel::mpeg {

// The sound card through libout123's ALSA module, where no sound server runs. ALSA's
// queue is not reported through libout123, so the device buffer's size stands for it.
class AlsaOutput : public AudioOutput {
public:
    ~AlsaOutput() override { close(); }
    bool open(long rate, int channels) override;
    bool write(const unsigned char* data, std::size_t bytes) override;
    std::optional<std::int64_t> queuedFrames() override;
    bool drop() override;
    void drain() override;
    void close() override;

private:
    out123_struct* device_ = nullptr;
    std::int64_t written_ = 0; // frames since the queue was last empty
};

} // namespace cantorel::mpeg
