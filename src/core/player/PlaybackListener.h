#pragma once

#include "core/platform/Result.h"

#include <cstdint>

namespace cantorel {

class PlaybackController;

// A view of the playback: the player panel, the tray menu, the command-line player, a
// remote control. Each hears what changed and reads the rest from the controller.
class PlaybackListener {
public:
    virtual ~PlaybackListener() = default;
    // The active track changed: its length, texts and which moves are possible.
    virtual void activeTrackChanged(const PlaybackController&) {}
    virtual void playingChanged(bool /*playing*/) {}
    // A position report that the views may show (none arrives while the slider is held
    // or a seek settles).
    virtual void positionChanged(std::int32_t /*positionMs*/, std::int32_t /*lengthMs*/) {}
    // A track played to its end and no playable track follows it.
    virtual void playbackFinished() {}
    // Playing stopped on the active track because of `failure`: the sound output failed,
    // the track's file went away or could not be started.
    virtual void playbackFailed(const Failure& /*failure*/) {}
};

} // namespace cantorel
