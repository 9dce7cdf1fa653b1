#include "core/player/TMPEGPlayer.h"

#include <algorithm>
#include <atomic>

namespace cantorel {

// The 21 entries of the decoder library, in the order they are resolved.
struct TMPEGPlayer::Entries {
    using OpenCb = void (*)(void*, std::uint8_t*, void**);
    using CloseCb = void (*)(void*, void*);
    using RestartCb = void (*)(void*, void*, std::uint8_t*);
    using ReadCb = void (*)(void*, void*, void*, std::int32_t, std::int32_t*, std::uint8_t*);
    using SeekCb = void (*)(void*, void*, std::int32_t, std::int32_t, std::int32_t*);
    using SizeCb = void (*)(void*, void*, std::int32_t*);

    std::uint8_t (*init)();
    void (*deinit)();
    std::int32_t (*Open)(const char*, std::int32_t, OpenCb, CloseCb, RestartCb, ReadCb, SeekCb, SizeCb, void*);
    std::int32_t (*Pause)(std::uint8_t);
    std::int32_t (*Restart)();
    std::int32_t (*Stop)();
    std::int32_t (*SetPriority)(std::int32_t);
    std::int32_t (*SetOutputDevice)(std::int32_t, const char*);
    std::int32_t (*Play)(std::int32_t, std::int32_t, std::uint8_t*);
    std::int32_t (*Close)();
    std::int32_t (*GetFrequency)();
    std::int32_t (*GetBitrate)();
    std::int32_t (*GetStereoMode)();
    std::int32_t (*GetLayer)();
    std::int32_t (*GetPlayerMode)();
    std::int32_t (*GetCurrentPos)();
    std::int32_t (*GetLength)();
    std::int32_t (*ResetPlayerMode)();
    std::int32_t (*Seek)(std::int32_t);
    std::int32_t (*SetSndDevice)(std::int32_t);
    std::int32_t (*LastError)();

    // Looks every entry up by its exact name; false when one is missing.
    bool resolve(const DynamicLibrary& library)
    {
        bool complete = true;
        const auto get = [&](auto& entry, const char* name) {
            void* address = library.symbol(name);
            complete = complete && address;
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(address);
        };
        get(init, "init");
        get(deinit, "deinit");
        get(Open, "Open");
        get(Pause, "Pause");
        get(Restart, "Restart");
        get(Stop, "Stop");
        get(SetPriority, "SetPriority");
        get(SetOutputDevice, "SetOutputDevice");
        get(Play, "Play");
        get(Close, "Close");
        get(GetFrequency, "GetFrequency");
        get(GetBitrate, "GetBitrate");
        get(GetStereoMode, "GetStereoMode");
        get(GetLayer, "GetLayer");
        get(GetPlayerMode, "GetPlayerMode");
        get(GetCurrentPos, "GetCurrentPos");
        get(GetLength, "GetLength");
        get(ResetPlayerMode, "ResetPlayerMode");
        get(Seek, "Seek");
        get(SetSndDevice, "SetSndDevice");
        get(LastError, "LastError");
        return complete;
    }
};

TMPEGPlayer::TMPEGPlayer(PlayerTimerFactory timers) : timerFactory_(std::move(timers)) {}

TMPEGPlayer::~TMPEGPlayer()
{
    // The owner unloads first; should it not have, no playback thread may outlive us.
    try {
        UnloadDLL();
    } catch (const TMPEGError&) {
        // A destructor must not throw, and the library is unloaded whatever Close said.
    }
}

void TMPEGPlayer::requireLoaded() const
{
    if (!DLLLoaded())
        throw TMPEGError::notLoaded();
}

template <typename F, typename... Args>
auto TMPEGPlayer::guarded(F Entries::*entry, Args... args)
{
    requireLoaded();
    const auto result = (entries_.get()->*entry)(args...);
    lastErrorCode_ = entries_->LastError();
    if (lastErrorCode_ > 0)
        throw TMPEGError::fromCode(lastErrorCode_);
    return result;
}

bool TMPEGPlayer::playEnded() const
{
    return std::atomic_ref<std::uint8_t>(const_cast<std::uint8_t&>(PlayEnded)).load() != 0;
}

void TMPEGPlayer::setPlayEnded(bool value) { std::atomic_ref<std::uint8_t>(PlayEnded).store(value ? 1 : 0); }

std::int32_t TMPEGPlayer::threadPriorityOf(TPlayPriority priority)
{
    switch (priority) {
    case TPlayPriority::Idle: return -15;
    case TPlayPriority::Lowest: return -2;
    case TPlayPriority::BelowNormal: return -1;
    case TPlayPriority::Normal: return 0;
    case TPlayPriority::AboveNormal: return 1;
    case TPlayPriority::Highest: return 2;
    case TPlayPriority::TimeCritical: return 15;
    }
    return 0;
}

TPlayPriority TMPEGPlayer::playPriorityOf(std::int32_t threadPriority)
{
    switch (threadPriority) {
    case -15: return TPlayPriority::Idle;
    case -2: return TPlayPriority::Lowest;
    case -1: return TPlayPriority::BelowNormal;
    case 1: return TPlayPriority::AboveNormal;
    case 2: return TPlayPriority::Highest;
    case 15: return TPlayPriority::TimeCritical;
    default: return TPlayPriority::Normal;
    }
}

TPlayPriority TMPEGPlayer::PlayerPriority() const { return playPriorityOf(threadPriority_); }

void TMPEGPlayer::setPlayerPriority(TPlayPriority priority)
{
    threadPriority_ = threadPriorityOf(priority);
    if (DLLLoaded())
        guarded(&Entries::SetPriority, threadPriority_);
}

void TMPEGPlayer::setTimerFreq(std::int32_t milliseconds)
{
    timerFreq_ = milliseconds;
    if (milliseconds == 0)
        UseTimer = false;
}

void TMPEGPlayer::setStreamName(const std::string& name)
{
    if (opened_)
        CloseStream();
    streamName_ = name;
}

void TMPEGPlayer::LoadDLL()
{
    std::string path = PathToDLL;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += "mpeg.so";
    if (!DLLHandle.load(path))
        throw TMPEGError::notLoaded("Can't load MPEG library");
    auto entries = std::make_unique<Entries>();
    if (!entries->resolve(DLLHandle)) {
        DLLHandle.unload();
        throw TMPEGError::notLoaded();
    }
    if (!entries->init()) {
        lastErrorCode_ = entries->LastError();
        DLLHandle.unload();
        throw TMPEGError::fromCode(lastErrorCode_);
    }
    entries_ = std::move(entries);
    timer_ = timerFactory_();
    timer_->setTick([this] { TimerTick(); });
    timer_->setEnabled(false);
    timer_->setInterval(timerFreq_);
    lengthMs_ = 0;
}

void TMPEGPlayer::UnloadDLL()
{
    if (!DLLLoaded())
        return;
    if (opened_)
        CloseStream();
    entries_->deinit();
    DLLHandle.unload();
    entries_.reset();
    opened_ = playing_ = paused_ = false;
}

void TMPEGPlayer::OpenStream()
{
    requireLoaded();
    if (opened_)
        CloseStream();
    opened_ = false;
    if (FromStream) {
        entries_->Open(nullptr, 1, &StreamOpenCallback, &StreamCloseCallback, &StreamRestartCallback,
                       &StreamReadCallback, &StreamSeekCallback, &StreamSizeCallback, this);
    } else {
        if (streamName_.empty())
            throw TMPEGError(TMPEGError::NonSpecifiedStream, "Can't play non-specified stream");
        entries_->Open(streamName_.c_str(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    lastErrorCode_ = entries_->LastError();
    if (lastErrorCode_ > 0)
        throw TMPEGError::fromCode(lastErrorCode_);
    opened_ = true;
    playedXTimes_ = 1;
    lengthMs_ = StreamLength();
}

void TMPEGPlayer::StartPlay()
{
    requireLoaded();
    if (paused_) {
        SetPaused(false);
        return;
    }
    if (playing_)
        return;
    if (!opened_)
        OpenStream();
    if (playedXTimes_ > 1) {
        RestartPlay();
        return;
    }
    guarded(&Entries::SetPriority, threadPriority_);
    guarded(&Entries::SetOutputDevice, DeviceCode, OutFilename.c_str());
    guarded(&Entries::SetSndDevice, WaveDeviceNum);
    setPlayEnded(false);
    const std::int32_t result = entries_->Play(StartPos, EndPos, &PlayEnded);
    lastErrorCode_ = entries_->LastError();
    if (lastErrorCode_ > 0 || result != 0)
        throw TMPEGError::fromCode(lastErrorCode_);
    playing_ = true;
    ++playedXTimes_;
    startPolling();
}

void TMPEGPlayer::startPolling()
{
    if (UseTimer && timer_ && timer_->interval() != 0) {
        timer_->setEnabled(true);
        TimerTick();
    }
}

void TMPEGPlayer::RestartPlay()
{
    requireLoaded();
    if (!opened_)
        throw TMPEGError::fromCode(MPEG_ERR_MODE);
    setPlayEnded(false);
    guarded(&Entries::Restart);
    playing_ = true;
    ++playedXTimes_;
    startPolling();
}

void TMPEGPlayer::SetPaused(bool Value)
{
    requireLoaded();
    if (!playing_ || playEnded()) {
        paused_ = false;
        if (Value)
            throw TMPEGError::fromCode(MPEG_ERR_MODE);
        return;
    }
    guarded(&Entries::Pause, static_cast<std::uint8_t>(Value ? 0 : 1));
    paused_ = Value;
}

void TMPEGPlayer::StopPlay()
{
    if (!playing_ || playEnded())
        throw TMPEGError::fromCode(MPEG_ERR_MODE);
    requireLoaded();
    guarded(&Entries::Stop);
    playing_ = false;
    paused_ = false;
}

void TMPEGPlayer::CloseStream()
{
    requireLoaded();
    opened_ = paused_ = playing_ = false;
    playedXTimes_ = 0;
    guarded(&Entries::Close);
}

void TMPEGPlayer::SeekTo(std::int32_t Pos) { guarded(&Entries::Seek, Pos); }
std::int32_t TMPEGPlayer::CurrentPos() { return guarded(&Entries::GetCurrentPos); }
std::int32_t TMPEGPlayer::StreamLength() { return guarded(&Entries::GetLength); }
std::int32_t TMPEGPlayer::PlayerMode() { return guarded(&Entries::GetPlayerMode); }

void TMPEGPlayer::TimerTick()
{
    if (!opened_ || !playing_) {
        if (timer_)
            timer_->setEnabled(false);
        return;
    }
    std::int32_t pos = CurrentPos();
    if (pos > lengthMs_)
        pos = 0;
    // A library that reports a position before the start means the start.
    pos = std::max(pos, 0);
    if (OnPosUpdate)
        OnPosUpdate(pos, lengthMs_);
    if (playEnded()) {
        timer_->setEnabled(false);
        playing_ = false;
        if (OnPlayEnd) {
            setPlayEnded(false);
            OnPlayEnd(this);
        }
    }
}

void TMPEGPlayer::StreamOpenCallback(void* user, std::uint8_t* nonseekable, void** context)
{
    auto* self = static_cast<TMPEGPlayer*>(user);
    if (!self->OnOpenStream) {
        *context = nullptr;
        return;
    }
    bool value = *nonseekable != 0;
    self->OnOpenStream(value, *context);
    *nonseekable = value ? 1 : 0;
}

void TMPEGPlayer::StreamCloseCallback(void* user, void* context)
{
    auto* self = static_cast<TMPEGPlayer*>(user);
    if (self->OnCloseStream)
        self->OnCloseStream(context);
}

void TMPEGPlayer::StreamRestartCallback(void* user, void* context, std::uint8_t* result)
{
    auto* self = static_cast<TMPEGPlayer*>(user);
    bool res = *result != 0;
    if (self->OnRestartStream)
        self->OnRestartStream(context, res);
    else
        res = false;
    *result = res ? 1 : 0;
}

void TMPEGPlayer::StreamReadCallback(void* user, void* context, void* buffer, std::int32_t count, std::int32_t* read,
                                     std::uint8_t* result)
{
    auto* self = static_cast<TMPEGPlayer*>(user);
    bool res = *result != 0;
    if (self->OnReadStream)
        self->OnReadStream(context, buffer, count, *read, res);
    else
        res = false;
    *result = res ? 1 : 0;
}

void TMPEGPlayer::StreamSeekCallback(void* user, void* context, std::int32_t offset, std::int32_t method,
                                     std::int32_t* result)
{
    auto* self = static_cast<TMPEGPlayer*>(user);
    if (self->OnSeekStream)
        self->OnSeekStream(context, offset, method, *result);
    else
        *result = -1;
}

void TMPEGPlayer::StreamSizeCallback(void* user, void* context, std::int32_t* result)
{
    auto* self = static_cast<TMPEGPlayer*>(user);
    if (self->OnGetStreamSize)
        self->OnGetStreamSize(context, *result);
    else
        *result = -1;
}

} // namespace cantorel
