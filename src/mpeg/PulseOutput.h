#pragma once

#include "mpeg/AudioOutput.h"

struct pa_simple;

namespace cantorel::mpeg {

// A playback stream of the PulseAudio server (or PipeWire's PulseAudio service), named
// after the program and the track. Its buffer holds about a second, so that the next
// track is opened while the end of the last one is still being heard.
class PulseOutput : public AudioOutput {
public:
    ~PulseOutput() override { close(); }
    bool open(long rate, int channels) override;
    bool write(const unsigned char* data, std::size_t bytes) override;
    std::int64_t queuedFrames() override;
    void drop() override;
    void drain() override;
    void close() override;

private:
    pa_simple* stream_ = nullptr;
};

} // namespace cantorel::mpeg
