#pragma once

#include "core/collection/CollectionTree.h"
#include "core/platform/Result.h"
#include "core/player/PlaybackListener.h"
#include "core/player/PlayerTimer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cantorel {

class TMPEGPlayer;

// What the controller shows besides the collection's own texts.
struct PlaybackTexts {
    std::string nowPlaying; // put in front of the line text (interface string 18)
    std::string idleHint;   // the hint without an active track (the window title)
};

// The playback rules, without a widget: which node is the active track, whether it plays,
// previous and next in node-table order, the end of a track, seeking, and the texts the
// views show. The player panel, the tray menu, the command-line player and a remote
// control are views of one controller. Errors of the player are swallowed, as the panel
// does, and kept for a caller that wants to report them.
class PlaybackController {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Takes over the player's position and end-of-play events. With `timers` the views
    // catch up with the end of a track when it is heard; without, at the first position
    // report after that.
    PlaybackController(CollectionTree& tree, TMPEGPlayer& player, PlaybackTexts texts, Clock clock = {},
                       const PlayerTimerFactory& timers = {});
    PlaybackController(const PlaybackController&) = delete;
    PlaybackController& operator=(const PlaybackController&) = delete;

    void addListener(PlaybackListener* listener);
    void removeListener(PlaybackListener* listener);

    // The first node of the node table, then its first playable track, made active
    // without playing.
    void activateFirstTrack();
    void MakeActiveTrack(NodeId node);
    void SetPlaying(bool value);
    // Plays the active track from `startMs` to `endMs` (0: to the end).
    void playRange(std::int32_t startMs, std::int32_t endMs);
    void playPause() { SetPlaying(!playing_); }
    // Stops and goes back to the start of the active track (a remote control's Stop).
    void stopAndRewind();
    // Not playing, and either without an active track, or stopped by stopAndRewind or at
    // the end of the last track (rather than paused within one).
    bool isStopped() const { return !playing_ && (active_ == NoNode || rewound_); }
    void previous();
    void next();
    // Stops, makes `node` active (none allowed) and plays it.
    void playNode(NodeId node);
    // The tree was built again: `node` is the active track's node in it, and the player
    // goes on as it was; without one, the player stops and no track is active.
    void treeRebuilt(NodeId node);

    // The slider: held, moved, dropped. A drop while playing or paused seeks; position
    // reports are held back until the player reaches the target (at most 3 s).
    void holdPosition();
    void setSliderPosition(int seconds) { sliderSeconds_ = seconds; }
    void releasePosition(int seconds);

    // The player's reports. The player signals the end of a track when its last sample is
    // handed to the output, which still plays what it holds: the next track starts at
    // once (no gap), and the views hear of the end, with a last report of the end
    // position, when it is heard. An output that failed stops the playing on the track.
    void PlayerPosUpdate(std::int32_t positionMs, std::int32_t lengthMs);
    void PlayerPlayEnd();
    // The views still show the track whose end is being heard.
    bool viewsBehind() const { return viewsBehind_; }
    // The node the views show as the active track: the active track, or while the views
    // are behind the one whose end is being heard.
    NodeId shownNode() const { return viewsBehind_ ? shownNode_ : active_; }
    std::int32_t shownLengthMs() const;

    // The active track: the node loaded in the player (none: NoNode).
    NodeId activeNode() const { return active_; }
    bool isPlaying() const { return playing_; }
    // Position reports reach the views (the slider is not held, no seek settles).
    bool trackingEnabled() const { return !held_ && !settle_; }
    int lengthSeconds() const { return lengthSeconds_; }
    std::optional<int> tickSpacing() const;
    // The now-playing text (its prefix included) and the hint; empty without an active track.
    const std::string& lineText() const { return lineText_; }
    const std::string& hint() const { return hint_; }
    bool canPlay() const { return active_ != NoNode; }
    bool canGoNext() const { return canNext_; }
    bool canGoPrevious() const { return canPrevious_; }
    // The position being heard in the active track, in ms: 0 before it begins to be heard
    // and without a stream; where it goes on from while it does not play.
    std::int32_t positionMs() const;
    // Closes the active track's stream; fails with the player's error (a file output that
    // failed on the way says so here).
    Result<> closeTrack();
    // The last error of the player that a rule swallowed.
    const std::optional<Failure>& lastFailure() const { return lastFailure_; }

private:
    struct Settle {
        std::int32_t targetMs;
        std::chrono::steady_clock::time_point deadline;
    };
    // Starts the active track; `tellViews` false leaves telling the views to the caller.
    bool start(std::int32_t startMs, std::int32_t endMs, bool tellViews = true);
    void stop();
    // MakeActiveTrack without first catching the views up; `play` starts the new track
    // before the views hear of it, so that it follows what was stopped at once.
    void switchActive(NodeId node, bool play = false);
    void applyPlaying(bool value);
    void catchUpViews();
    // The views catch up in `ms` (at once when 0 or less).
    void catchUpAfter(std::int32_t ms);
    // Stops on the active track, keeping it opened to play again, and tells the views why.
    void stopWithFailure(const Failure& failure);
    // The active track's file is gone.
    bool activeFileGone() const;
    void openActive(NodeId node);
    void describeActive(NodeId node);
    bool settled(std::int32_t positionMs);
    template <typename Event, typename... Args>
    void notify(Event event, const Args&... args);

    CollectionTree& tree_;
    TMPEGPlayer& player_;
    PlaybackTexts texts_;
    Clock clock_;
    std::vector<PlaybackListener*> listeners_;
    NodeId active_ = NoNode;
    bool viewsBehind_ = false;
    NodeId shownNode_ = NoNode;
    std::int32_t shownEndMs_ = 0; // where the track whose end is heard ends
    std::int32_t shownLengthMs_ = 0;
    bool rewound_ = false;
    std::optional<std::chrono::steady_clock::time_point> catchUpAt_;
    std::unique_ptr<PlayerTimer> catchUpTimer_;
    std::int32_t endMs_ = 0;                      // where the playing range ends (0: the track's end)
    std::int32_t reportedMs_ = -1;                // the position the views heard last
    std::vector<std::function<void()>> heldBack_; // what the views hear once they catch up
    bool playing_ = false;
    bool held_ = false;
    std::optional<Settle> settle_;
    int sliderSeconds_ = 0;
    int lengthSeconds_ = 0;
    bool canNext_ = false;
    bool canPrevious_ = false;
    std::string lineText_;
    std::string hint_;
    std::optional<Failure> lastFailure_;
};

} // namespace cantorel
