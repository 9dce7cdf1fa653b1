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

PlaybackController::PlaybackController(CollectionTree& tree, TMPEGPlayer& player, PlaybackTexts texts, Clock clock)
    : tree_(tree), player_(player), texts_(std::move(texts)), clock_(std::move(clock)), hint_(texts_.idleHint)
{
    if (!clock_)
        clock_ = [] { return std::chrono::steady_clock::now(); };
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

void PlaybackController::switchActive(NodeId node)
{
    if (node == active_)
        return;
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
    notify(&PlaybackListener::activeTrackChanged, std::cref(*this));
}

void PlaybackController::openActive(NodeId node)
{
    const CollectionItem* r = node == NoNode ? nullptr : tree_.record(node);
    if (!r || tree_.kind(node) != KindTrack || !fs::isRegularFile(r->Path))
        return;
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

void PlaybackController::start(std::int32_t startMs, std::int32_t endMs)
{
    if (active_ == NoNode || playing_)
        return;
    // Playing already while the start reports its first position.
    playing_ = true;
    try {
        player_.StartPos = startMs;
        player_.EndPos = endMs;
        player_.StartPlay();
    } catch (const TMPEGError& e) {
        // A failed start leaves the panel not playing, without a message.
        playing_ = false;
        lastFailure_ = fail(e.what(), e.ErrorCode);
        return;
    }
    notify(&PlaybackListener::playingChanged, true);
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

void PlaybackController::previous()
{
    const bool wasPlaying = playing_;
    SetPlaying(false);
    MakeActiveTrack(PanelRules::FindPlayableTrack(tree_, active_, false));
    SetPlaying(wasPlaying);
}

void PlaybackController::next()
{
    const bool wasPlaying = playing_;
    MakeActiveTrack(PanelRules::FindPlayableTrack(tree_, active_, true));
    SetPlaying(wasPlaying);
}

void PlaybackController::playNode(NodeId node)
{
    SetPlaying(false);
    MakeActiveTrack(node);
    SetPlaying(true);
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
    // Stopped or paused, the track goes on from where the slider stands.
    if (!playing_)
        return std::min(sliderSeconds_ * 1000, player_.LengthMs());
    try {
        // Negative while the end of the last track is still heard: this one has not begun.
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
    if (positionMs < 0)
        return; // the end of the last track is still being heard
    catchUpViews();
    if (held_ || !settled(positionMs))
        return;
    sliderSeconds_ = positionMs / 1000;
    notify(&PlaybackListener::positionChanged, positionMs, lengthMs);
}

void PlaybackController::PlayerPlayEnd()
{
    const NodeId next = PanelRules::FindPlayableTrack(tree_, active_, true);
    if (next == NoNode) {
        applyPlaying(false);
        notify(&PlaybackListener::playbackFinished);
        return;
    }
    viewsBehind_ = true;
    applyPlaying(false);
    switchActive(next);
    applyPlaying(true);
    // Nothing of the last track left to hear (a file, another format, a failed start).
    if (!playing_ || player_.CurrentPos() >= 0)
        catchUpViews();
}

} // namespace cantorel
