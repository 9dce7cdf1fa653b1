#pragma once

#include "decoder/AudioOutput.h"
#include "decoder/ReplayGain.h"
#include "decoder/mpeg.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mpg123_handle_struct;

namespace cantorel::mpeg {

enum ErrorCode : std::int32_t {
    NoError = MPEG_OK,
    DecoderError = MPEG_ERR_INTERNAL,
    IncorrectMode = MPEG_ERR_MODE,
    InputError = MPEG_ERR_INPUT,
    NotSeekable = MPEG_ERR_NONSEEKABLE,
    OutputError = MPEG_ERR_OUTPUT,
};

enum Mode : std::int32_t {
    NoStream = MPEG_MODE_NONE,
    Stopped = MPEG_MODE_STOPPED,
    Playing = MPEG_MODE_PLAYING,
    Paused = MPEG_MODE_PAUSED,
};

struct StreamCallbacks {
    mpeg_open_cb open = nullptr;
    mpeg_close_cb close = nullptr;
    mpeg_restart_cb restart = nullptr;
    mpeg_read_cb read = nullptr;
    mpeg_seek_cb seek = nullptr;
    mpeg_size_cb size = nullptr;
    void* user = nullptr;
};

// The player behind the library's entries: libmpg123 decodes, an AudioOutput plays, on a
// thread of its own. Each operation returns its error code.
//
// The output stays open from one stream to the next when the format is the same, and the
// end of play is signalled once the last sample has been handed over, not heard: the next
// stream then follows the last without a gap. Positions are kept in samples; the heard
// position is the written one less what the output still queues.
class MpegPlayer {
public:
    ~MpegPlayer();

    ErrorCode init();
    void deinit();
    ErrorCode openFile(const std::string& name);
    ErrorCode openStream(const StreamCallbacks& callbacks);
    ErrorCode play(std::int32_t startMs, std::int32_t endMs, std::uint8_t* endFlag);
    ErrorCode pause(bool resume);
    ErrorCode restart();
    ErrorCode stop();
    ErrorCode close();
    ErrorCode seek(std::int32_t ms);
    ErrorCode setPriority(std::int32_t priority);
    ErrorCode setOutputDevice(std::int32_t device, const std::string& file);

    // The heard position in ms: never negative (0 while the output still plays the end of
    // the stream before this one), and never back from a start, a seek or a resume.
    std::int32_t currentPos() const;
    std::int32_t length() const { return lengthMs_; }
    std::int32_t mode() const { return mode_.load(); }
    std::int32_t frequency() const { return rate_; }
    std::int32_t bitrate() const;
    std::int32_t stereoMode() const;
    std::int32_t layer() const;

    // Reader functions for libmpg123 in stream mode.
    long streamRead(void* buffer, std::size_t count);
    long streamSeek(long offset, int whence);

private:
    using SteadyClock = std::chrono::steady_clock;

    ErrorCode openDecoder(bool stream);
    ErrorCode prepareOutput();
    bool openOutput();
    void startThread();
    void joinThread();
    void collectThread();
    void run();
    bool reopenOutput();
    void holdPaused(std::unique_lock<std::mutex>& lock);
    enum class Step { More, Ended, Interrupted };
    Step decodeAndPlay();
    void applySeek(std::int64_t sample);
    // Steps the decoder back to the sample last heard and empties the output; with
    // `keepTail` the end of the stream before this one, if it still plays, is written again
    // to be heard to its end: true when it was.
    bool rewindToHeard(bool keepTail);
    bool writeTailAgain();
    void finish();
    // Waits (the thread's own) until what the output holds is heard, then closes it,
    // unless a stop request comes first.
    void closeWhenHeard();
    void startCloser();
    void applyPriority();

    // The clock: which sample of the stream is being heard.
    void beginRun(bool behindTail);
    void noteWritten(std::int64_t frames);
    void clockDropped();
    std::int64_t heardDeviceFrame() const; // clockMutex_ held
    std::int64_t heardSample() const;
    // The heard position of this stream in ms, negative while the last one's end plays.
    std::int32_t heardPosition() const;
    // Keeps the PCM last written, for writeTailAgain.
    void remember(const unsigned char* data, std::size_t bytes);

    mpg123_handle_struct* mh_ = nullptr;
    std::unique_ptr<AudioOutput> output_;
    std::int32_t outputDevice_ = MPEG_DEVICE_SOUND; // what output_ was made for
    std::string outputPath_;
    bool reopen_ = false;     // the thread drains the output and opens it for a new format
    std::string title_;       // the stream's title, for the sound server
    bool titleShown_ = false; // the output names the stream after this one
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<std::int32_t> mode_{NoStream};
    std::atomic<bool> outputFailed_{false}; // a write to the output came back short
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> pauseRequested_{false};
    bool holding_ = false; // the playback thread waits in its pause; guarded by mutex_
    std::condition_variable held_;
    std::atomic<std::int64_t> seekRequest_{-1};
    std::atomic<pid_t> threadId_{0};
    std::int32_t lengthMs_ = 0;
    std::int64_t endSample_ = 0; // 0: play to the end of the stream
    std::uint8_t* endFlag_ = nullptr;
    bool ended_ = false;
    bool played_ = false; // Play was called for this stream
    long rate_ = 0;
    int channels_ = 0;
    int deviceCode_ = MPEG_DEVICE_SOUND;
    std::string outputFile_;
    int priority_ = 0;
    bool streamMode_ = false;
    bool nonSeekable_ = false;
    bool scanned_ = false;
    StreamCallbacks callbacks_;
    ReplayGain gain_;
    std::string gainFile_; // the file whose APE tag may hold the gain ("" for a stream)
    void* context_ = nullptr;

    mutable std::mutex clockMutex_;
    std::int64_t deviceFrames_ = 0; // frames handed to the output since it was made
    std::int64_t heardAnchor_ = 0;  // the device frame heard at anchorTime_
    SteadyClock::time_point anchorTime_{};
    bool clockRunning_ = false;
    std::int64_t runStart_ = 0;             // the device frame where this run of the stream began
    std::int64_t runSample_ = 0;            // the stream's sample at runStart_
    bool behindTail_ = false;               // the run began while the last stream's end was queued
    mutable std::int32_t lastPosition_ = 0; // reported since the run began: positions never go back

    // The last seconds written to the output, a ring: what the output may still hold.
    std::vector<unsigned char> history_;
    std::size_t historyEnd_ = 0;    // where the next byte goes
    std::size_t historyFilled_ = 0; // bytes held
};

} // namespace cantorel::mpeg
