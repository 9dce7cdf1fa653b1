#pragma once

#include "decoder/AudioOutput.h"

#include <string>

struct pa_context;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

namespace cantorel::mpeg {

// A playback stream of the PulseAudio server (or PipeWire's PulseAudio service), named
// after the program, whose media name is the title of the track being heard. Its buffer
// holds about a second, so that the next track is opened while the end of the last one is
// still being heard.
class PulseOutput : public AudioOutput {
public:
    ~PulseOutput() override { close(); }
    bool open(long rate, int channels) override;
    bool write(const unsigned char* data, std::size_t bytes) override;
    std::int64_t queuedFrames() override;
    void drop() override;
    void drain() override;
    void close() override;
    void setTitle(const std::string& title) override;

private:
    bool connect();
    // Waits for an operation of the server, the main loop locked.
    void await(pa_operation* operation);
    bool streamGood() const;

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::string title_ = "Music";
};

} // namespace cantorel::mpeg
