#pragma once

#include "core/player/PlaybackListener.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

struct pa_context;
struct pa_threaded_mainloop;

namespace cantorel {

// The volume of this program's own playback streams at the sound server, in percent of
// the server's normal volume (0-150), kept between runs in a file. The streams are found
// by their properties (this process, the decoder's application name); each new one gets
// the volume as soon as the server announces it. Nothing here waits for the server: a
// server that is gone or stalled leaves the volume kept and unset until it is back; each
// start of playing connects again if the server had gone.
class StreamVolume : public PlaybackListener {
public:
    static constexpr int Maximum = 150;
    static constexpr int Default = 100;

    // `file` keeps the volume between runs ("" keeps it only for this run).
    explicit StreamVolume(std::string file);
    ~StreamVolume() override;
    StreamVolume(const StreamVolume&) = delete;
    StreamVolume& operator=(const StreamVolume&) = delete;

    int percent() const;
    // Sets, keeps and applies it (clamped to 0..Maximum).
    void setPercent(int percent);
    // Connects to the server again when the connection was lost (a new stream may have
    // found a server that came back).
    void reconnect();
    void playingChanged(bool playing) override
    {
        if (playing)
            reconnect();
    }

    // Called by the server's main loop.
    void contextChanged();
    void streamFound(std::uint32_t index, std::uint8_t channels, bool ours);
    void streamGone(std::uint32_t index);

private:
    void connect();
    void disconnect();
    void apply(std::uint32_t index, std::uint8_t channels);
    void listStreams();

    std::string file_;
    mutable std::mutex mutex_; // percent_ and streams_, read by the main loop's callbacks
    int percent_ = Default;
    std::set<std::pair<std::uint32_t, std::uint8_t>> streams_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

} // namespace cantorel
