#pragma once

#include "mpeg/mpeg.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct mpg123_handle_struct;
struct out123_struct;

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

// The player behind the library's entries: libmpg123 decodes, libout123 plays, on a
// thread of its own. Each operation returns its error code.
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

    std::int32_t currentPos() const { return positionMs_.load(); }
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
    ErrorCode openDecoder(bool stream);
    ErrorCode openOutput();
    void startThread();
    void joinThread();
    void run();
    bool decodeAndPlay();
    void applySeek(std::int64_t ms);
    void finish();
    void applyPriority();
    std::int32_t decodedMs() const;

    mpg123_handle_struct* mh_ = nullptr;
    out123_struct* ao_ = nullptr;
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
    std::atomic<std::int32_t> positionMs_{0};
    std::atomic<pid_t> threadId_{0};
    std::int32_t lengthMs_ = 0;
    std::int32_t endMs_ = 0;
    std::uint8_t* endFlag_ = nullptr;
    bool ended_ = false;
    long rate_ = 0;
    int channels_ = 0;
    bool outputOpen_ = false;
    int latencyMs_ = 0;
    int deviceCode_ = 0;
    std::string outputFile_;
    int priority_ = 0;
    bool streamMode_ = false;
    bool nonSeekable_ = false;
    bool scanned_ = false;
    StreamCallbacks callbacks_;
    void* context_ = nullptr;
};

} // namespace cantorel::mpeg
