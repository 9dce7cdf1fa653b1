#include "core/player/PlaybackController.h"

#include "core/platform/FileSystem.h"
#include "core/player/PanelRules.h"
#include "core/player/TMPEGPlayer.h"

#include "decoder/mpeg.h"

#include <algorithm>
#include <cstdlib>

namespace cantorel {

namespace {
// How close the player must come to a seek's target, and how long the views wait for it.
constexpr std::int32_t SettleToleranceMs = 100;
constexpr auto SettleTimeout = std::chrono::seconds(3);
} // namespace

PlaybackController::PlaybackController(CollectionTree& tree, TMPEGPlayer& player, PlaybackTexts texts, Clock clock,
                                       const PlayerTimerFactory& timers)
    : tree_(tree), player_(player), texts_(std::move(texts)), clock_(std::move(clock)), hint_(texts_.idleHint)
{
    if (!clock_)
        clock_ = [] { return std::chrono::steady_clock::now(); };
    if (timers) {
        catchUpTimer_ = timers();
        catchUpTimer_->setEnabled(false);
        catchUpTimer_->setTick([this] { catchUpViews(); });
    }
    player_.OnPosUpdate = [this](std::int32_t position, std::int32_t length) { PlayerPosUpdate(position, length); };
    player_.OnPlayEnd = [this](TMPEGPlayer*) { PlayerPlayEnd(); };
}

void PlaybackController::addListener(PlaybackListener* listener) { listeners_.push_back(listener); }

void PlaybackController::removeListener(PlaybackListener* listener) { std::erase(listeners_, listener); }

template <typename Event, typename... Args>
void PlaybackController::notify(Event event, const Args&... args)
{
    if (viewsBehind_) {
        heldBack_.push_back([this, event, args...] { notify(event, args...); });
        return;
    }
    // A listener may remove itself while it hears the event.
    const std::vector<PlaybackListener*> listeners = listeners_;
    for (PlaybackListener* listener : listeners)
        (listener->*event)(args...);
}

void PlaybackController::catchUpViews()
{
    if (catchUpTimer_)
        catchUpTimer_->setEnabled(false);
    catchUpAt_.reset();
    if (!viewsBehind_)
        return;
    viewsBehind_ = false;
    const std::vector<std::function<void()>> events = std::move(heldBack_);
    heldBack_.clear();
    for (const auto& event : events)
        event();
}

std::optional<int> PlaybackController::tickSpacing() const { return PanelRules::tickSpacing(lengthSeconds_); }

void PlaybackController::activateFirstTrack()
{
    catchUpViews();
    if (tree_.Nodes.empty())
        return;
    MakeActiveTrack(tree_.Nodes.front());
    const auto track =
        std::find_if(tree_.Nodes.begin(), tree_.Nodes.end(), [this](NodeId n) { return tree_.kind(n) == KindTrack; });
    if (track != tree_.Nodes.end())
        MakeActiveTrack(*track);
}

void PlaybackController::MakeActiveTrack(NodeId node)
{
    catchUpViews();
    switchActive(node);
}

void PlaybackController::switchActive(NodeId node, bool play)
{
    if (node == active_) {
        if (play)
            applyPlaying(true);
        return;
    }
    applyPlaying(false);
    if (active_ != NoNode) {
        try {
            player_.CloseStream();
        } catch (const TMPEGError& e) {
            // Closing a player that holds no stream fails; the next open starts afresh anyway.
            lastFailure_ = fail(e.what(), e.ErrorCode);
        }
    }
    active_ = NoNode;
    openActive(node);
    describeActive(node);
    const bool started = play && active_ != NoNode && start(0, player_.LengthMs(), false);
    notify(&PlaybackListener::activeTrackChanged, std::cref(*this));
    if (started)
        notify(&PlaybackListener::playingChanged, true);
    else if (play && active_ != NoNode && tree_.kind(active_) == KindTrack && lastFailure_)
        notify(&PlaybackListener::playbackFailed, *lastFailure_);
}

void PlaybackController::openActive(NodeId node)
{
    const CollectionItem* r = node == NoNode ? nullptr : tree_.record(node);
    if (!r || tree_.kind(node) != KindTrack)
        return;
    if (!fs::isRegularFile(r->Path)) {
        // Not opened; a start tries this track (and says why it fails), not the one
        // opened before.
        player_.setStreamName(r->Path);
        return;
    }
    try {
        player_.setStreamName(r->Path);
        player_.OpenStream();
    } catch (const TMPEGError& e) {
        // The player stays closed; the panel shows the track all the same.
        lastFailure_ = fail(e.what(), e.ErrorCode);
    }
}

void PlaybackController::describeActive(NodeId node)
{
    if (node == NoNode) {
        lengthSeconds_ = 0;
        lineText_.clear();
        hint_ = texts_.idleHint;
        canNext_ = canPrevious_ = false;
        return;
    }
    lengthSeconds_ = player_.LengthMs() / 1000;
    sliderSeconds_ = 0;
    reportedMs_ = -1;
    active_ = node;
    const std::string line = PanelRules::lineText(tree_, node);
    lineText_ = texts_.nowPlaying + line;
    hint_ = PanelRules::hintText(line);
    canNext_ = PanelRules::FindPlayableTrack(tree_, active_, true) != NoNode;
    canPrevious_ = PanelRules::FindPlayableTrack(tree_, active_, false) != NoNode;
}

void PlaybackController::SetPlaying(bool value)
{
    catchUpViews();
    applyPlaying(value);
}

void PlaybackController::applyPlaying(bool value)
{
    if (value && active_ != NoNode)
        start(std::min(sliderSeconds_ * 1000, player_.LengthMs()), player_.LengthMs());
    else
        stop();
}

void PlaybackController::playRange(std::int32_t startMs, std::int32_t endMs)
{
    catchUpViews();
    stop();
    start(startMs, endMs);
}

bool PlaybackController::start(std::int32_t startMs, std::int32_t endMs, bool tellViews)
{
    if (active_ == NoNode || playing_)
        return false;
    // Playing already while the start reports its first position.
    playing_ = true;
    rewound_ = false;
    endMs_ = endMs;
    try {
        player_.StartPos = startMs;
        player_.EndPos = endMs;
        player_.StartPlay();
    } catch (const TMPEGError& e) {
        // A failed start leaves the panel not playing; the views of a track say why.
        playing_ = false;
        lastFailure_ = fail(e.what(), e.ErrorCode);
        if (tellViews && tree_.kind(active_) == KindTrack)
            notify(&PlaybackListener::playbackFailed, *lastFailure_);
        return false;
    }
    if (tellViews)
        notify(&PlaybackListener::playingChanged, true);
    return true;
}

void PlaybackController::stop()
{
    if (!playing_)
        return;
    playing_ = false;
    notify(&PlaybackListener::playingChanged, false);
    try {
        player_.StopPlay();
    } catch (const TMPEGError& e) {
        // A player that was not playing (its track had ended) has nothing to stop.
        lastFailure_ = fail(e.what(), e.ErrorCode);
    }
}

void PlaybackController::stopAndRewind()
{
    SetPlaying(false);
    if (active_ == NoNode)
        return;
    try {
        if (player_.Opened())
            player_.SeekTo(0);
    } catch (const TMPEGError& e) {
        lastFailure_ = fail(e.what(), e.ErrorCode);
    }
    sliderSeconds_ = 0;
    reportedMs_ = 0;
    rewound_ = true;
    notify(&PlaybackListener::positionChanged, 0, player_.LengthMs());
}

std::int32_t PlaybackController::shownLengthMs() const { return viewsBehind_ ? shownLengthMs_ : player_.LengthMs(); }

void PlaybackController::previous()
{
    const bool wasPlaying = playing_;
    SetPlaying(false);
    catchUpViews();
    switchActive(PanelRules::FindPlayableTrack(tree_, active_, false), wasPlaying);
}

void PlaybackController::next()
{
    const bool wasPlaying = playing_;
    catchUpViews();
    switchActive(PanelRules::FindPlayableTrack(tree_, active_, true), wasPlaying);
    if (!wasPlaying)
        applyPlaying(false);
}

void PlaybackController::playNode(NodeId node)
{
    SetPlaying(false);
    catchUpViews();
    switchActive(node, true);
}

void PlaybackController::treeRebuilt(NodeId node)
{
    catchUpViews();
    if (node == NoNode) {
        active_ = NoNode;
        applyPlaying(false);
        try {
            player_.CloseStream();
        } catch (const TMPEGError& e) {
            // A player without a stream has nothing to close.
            lastFailure_ = fail(e.what(), e.ErrorCode);
        }
    }
    const int slider = sliderSeconds_;
    describeActive(node);
    sliderSeconds_ = slider; // the track plays on where it was
    notify(&PlaybackListener::activeTrackChanged, std::cref(*this));
}

std::int32_t PlaybackController::positionMs() const
{
    if (viewsBehind_)
        return shownEndMs_; // the end of the track being heard
    // Stopped or paused, the track goes on from where the slider stands.
    if (!playing_)
        return std::min(sliderSeconds_ * 1000, player_.LengthMs());
    try {
        return std::max(player_.CurrentPos(), 0);
    } catch (const TMPEGError&) {
        return 0; // no stream: the position is the start
    }
}

Result<> PlaybackController::closeTrack()
{
    try {
        player_.CloseStream();
    } catch (const TMPEGError& e) {
        return fail(e.what(), e.ErrorCode);
    }
    return {};
}

void PlaybackController::holdPosition()
{
    catchUpViews();
    held_ = true;
}

void PlaybackController::releasePosition(int seconds)
{
    catchUpViews();
    sliderSeconds_ = seconds;
    rewound_ = false;
    const std::int32_t mode = player_.PlayerMode();
    if (mode == MPEG_MODE_PLAYING || mode == MPEG_MODE_PAUSED) {
        std::int32_t target = seconds * 1000;
        if (target >= player_.LengthMs())
            target = player_.LengthMs() - 1;
        player_.SeekTo(target);
        settle_ = Settle{target, clock_() + SettleTimeout};
        settled(player_.CurrentPos());
    }
    held_ = false;
}

bool PlaybackController::settled(std::int32_t positionMs)
{
    if (settle_ && (std::abs(positionMs - settle_->targetMs) <= SettleToleranceMs || clock_() >= settle_->deadline))
        settle_.reset();
    return !settle_;
}

void PlaybackController::PlayerPosUpdate(std::int32_t positionMs, std::int32_t lengthMs)
{
    if (viewsBehind_) {
        if (catchUpAt_ && clock_() < *catchUpAt_)
            return; // the end of the last track is still being heard
        catchUpViews();
    }
    if (playing_ && activeFileGone()) {
        stopWithFailure(fail(mpeg_error_message(MPEG_ERR_INPUT), MPEG_ERR_INPUT));
        return;
    }
    if (held_ || !settled(positionMs))
        return;
    sliderSeconds_ = positionMs / 1000;
    reportedMs_ = positionMs;
    notify(&PlaybackListener::positionChanged, positionMs, lengthMs);
}

bool PlaybackController::activeFileGone() const
{
    const CollectionItem* r = active_ == NoNode ? nullptr : tree_.record(active_);
    return r && tree_.kind(active_) == KindTrack && !fs::isRegularFile(r->Path);
}

void PlaybackController::PlayerPlayEnd()
{
    const std::int32_t length = player_.LengthMs();
    const std::int32_t end = endMs_ > 0 && endMs_ < length ? endMs_ : length;
    // What the output still plays of this track, from where it is heard now.
    std::int32_t heard = end;
    try {
        heard = player_.CurrentPos();
    } catch (const TMPEGError&) {
        // No position: nothing of it is left to hear.
    }
    const NodeId ended = active_;
    // The output failed on the way (the sound server went away, a full disk): the track
    // stays active and the playing stops there.
    if (const Result<> closed = closeTrack(); !closed && closed.failure().code == MPEG_ERR_OUTPUT) {
        stopWithFailure(closed.failure());
        return;
    }
    viewsBehind_ = true;
    shownNode_ = ended;
    shownEndMs_ = end;
    shownLengthMs_ = length;
    catchUpAfter(end - heard);
    if (trackingEnabled() && reportedMs_ != end) {
        sliderSeconds_ = end / 1000;
        notify(&PlaybackListener::positionChanged, end, length);
    }
    const NodeId next = PanelRules::FindPlayableTrack(tree_, active_, true);
    applyPlaying(false);
    if (next == NoNode) {
        rewound_ = true; // stopped: a start plays the track again from its beginning
        notify(&PlaybackListener::playbackFinished);
        return;
    }
    switchActive(next);
    applyPlaying(true); // a start that fails says why
    if (!playing_)
        catchUpViews(); // nothing follows the end in the views
}

void PlaybackController::catchUpAfter(std::int32_t ms)
{
    if (ms <= 0) {
        catchUpViews();
        return;
    }
    catchUpAt_ = clock_() + std::chrono::milliseconds(ms);
    if (catchUpTimer_) {
        catchUpTimer_->setInterval(ms);
        catchUpTimer_->setEnabled(true);
    }
}

void PlaybackController::stopWithFailure(const Failure& failure)
{
    catchUpViews();
    lastFailure_ = failure;
    applyPlaying(false);
    // Opened again where it can be, so that Play tries once more (the output may be back).
    const NodeId node = active_;
    if (node != NoNode && !player_.Opened())
        openActive(node);
    notify(&PlaybackListener::playbackFailed, failure);
}

} // namespace cantorel
