#pragma once

#include "core/platform/DynamicLibrary.h"
#include "core/player/PlayerTimer.h"
#include "core/player/TMPEGError.h"

#include "decoder/mpeg.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace cantorel {

enum class TPlayPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };
enum class TOutputDevice { wavemapper, pcmfile };

// The player component: loads the decoder library, opens a file or the owner's stream,
// starts, pauses, stops, restarts and seeks, and polls position and end of play with a
// timer, reporting both through events. Every failure is raised as a TMPEGError.
class TMPEGPlayer {
public:
    using TOpenStreamEvent = std::function<void(bool& Nonseekable, void*& Context)>;
    using TCloseStreamEvent = std::function<void(void* Context)>;
    using TRestartStreamEvent = std::function<void(void* Context, bool& res)>;
    using TReadStreamEvent = std::function<void(void* Context, void* read_buffer, std::int32_t nNumberOfBytesToRead,
                                                std::int32_t& nNumberOfBytesRead, bool& res)>;
    using TSeekStreamEvent =
        std::function<void(void* Context, std::int32_t numbytes, std::int32_t MoveMethod, std::int32_t& res)>;
    using TGetStreamSizeEvent = std::function<void(void* Context, std::int32_t& res)>;
    using TPosUpdateEvent = std::function<void(std::int32_t Pos, std::int32_t Len)>;
    using TNotifyEvent = std::function<void(TMPEGPlayer* Sender)>;

    explicit TMPEGPlayer(PlayerTimerFactory timers);
    ~TMPEGPlayer();
    TMPEGPlayer(const TMPEGPlayer&) = delete;
    TMPEGPlayer& operator=(const TMPEGPlayer&) = delete;

    void LoadDLL();
    void UnloadDLL();
    bool DLLLoaded() const { return DLLHandle.loaded(); }
    void OpenStream();
    void CloseStream();
    void StartPlay();
    void SetPaused(bool Value);
    void StopPlay();
    void RestartPlay();
    void SeekTo(std::int32_t Pos);
    std::int32_t CurrentPos();
    std::int32_t StreamLength();
    std::int32_t PlayerMode();
    void TimerTick();

    // Properties.
    bool FromStream = false;
    bool UseTimer = false;
    std::int32_t WaveDeviceNum = 0;
    std::string OutFilename;
    std::string PathToDLL;
    std::int32_t StartPos = 0;
    std::int32_t EndPos = 0;

    TPlayPriority PlayerPriority() const;
    void setPlayerPriority(TPlayPriority priority);
    std::int32_t TimerFreq() const { return timerFreq_; }
    void setTimerFreq(std::int32_t milliseconds);
    const std::string& StreamName() const { return streamName_; }
    void setStreamName(const std::string& name);
    TOutputDevice OutputDevice() const
    {
        return DeviceCode != MPEG_DEVICE_SOUND ? TOutputDevice::pcmfile : TOutputDevice::wavemapper;
    }
    void setOutputDevice(TOutputDevice device)
    {
        DeviceCode = device == TOutputDevice::pcmfile ? MPEG_DEVICE_FILE : MPEG_DEVICE_SOUND;
    }
    std::int32_t PlayedXTimes() const { return playedXTimes_; }

    // State the owner reads.
    std::int32_t LengthMs() const { return lengthMs_; }
    bool Opened() const { return opened_; }
    bool Playing() const { return playing_; }
    bool Paused() const { return paused_; }
    std::int32_t LastErrorCode() const { return lastErrorCode_; }
    std::int32_t ThreadPriority() const { return threadPriority_; }
    PlayerTimer* Timer() const { return timer_.get(); }
    // True once the library has signalled the end of play and no tick has taken it yet.
    bool playEnded() const;

    // Events.
    TOpenStreamEvent OnOpenStream;
    TCloseStreamEvent OnCloseStream;
    TRestartStreamEvent OnRestartStream;
    TGetStreamSizeEvent OnGetStreamSize;
    TSeekStreamEvent OnSeekStream;
    TReadStreamEvent OnReadStream;
    TPosUpdateEvent OnPosUpdate;
    TNotifyEvent OnPlayEnd;

    // The priority value handed to the library for a priority, and back.
    static std::int32_t threadPriorityOf(TPlayPriority priority);
    static TPlayPriority playPriorityOf(std::int32_t threadPriority);

private:
    struct Entries;
    template <typename F, typename... Args>
    auto guarded(F Entries::*entry, Args... args);
    void requireLoaded() const;
    void startPolling();
    void setPlayEnded(bool value);

    static void StreamOpenCallback(void* user, std::uint8_t* nonseekable, void** context);
    static void StreamCloseCallback(void* user, void* context);
    static void StreamRestartCallback(void* user, void* context, std::uint8_t* result);
    static void StreamReadCallback(void* user, void* context, void* buffer, std::int32_t count, std::int32_t* read,
                                   std::uint8_t* result);
    static void StreamSeekCallback(void* user, void* context, std::int32_t offset, std::int32_t method,
                                   std::int32_t* result);
    static void StreamSizeCallback(void* user, void* context, std::int32_t* result);

    PlayerTimerFactory timerFactory_;
    DynamicLibrary DLLHandle;
    std::unique_ptr<Entries> entries_;
    std::unique_ptr<PlayerTimer> timer_;
    bool opened_ = false;
    bool playing_ = false;
    bool paused_ = false;
    alignas(8) std::uint8_t PlayEnded = 0; // written by the library's playback thread
    std::int32_t threadPriority_ = 0;
    std::int32_t DeviceCode = MPEG_DEVICE_SOUND;
    std::int32_t lengthMs_ = 0;
    std::int32_t lastErrorCode_ = 0;
    std::int32_t timerFreq_ = 0;
    std::int32_t playedXTimes_ = 0;
    std::string streamName_;
};

} // namespace cantorel
