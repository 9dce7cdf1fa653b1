#include "mpeg/MpegPlayer.h"

#include <algorithm>
#include <cstring>
#include <mpg123.h>
#include <out123.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace cantorel::mpeg {

namespace {

// The output device's buffer when playing to a sound server; the heard position trails
// the decoded one by about this much.
constexpr double DeviceBufferSeconds = 0.1;

ssize_t readThunk(void* handle, void* buffer, size_t count)
{
    return static_cast<MpegPlayer*>(handle)->streamRead(buffer, count);
}

off_t seekThunk(void* handle, off_t offset, int whence)
{
    return static_cast<MpegPlayer*>(handle)->streamSeek(static_cast<long>(offset), whence);
}

int niceDelta(std::int32_t priority)
{
    switch (priority) {
    case -15: return 19;
    case -2: return 10;
    case -1: return 5;
    case 1: return -5;
    case 2: return -10;
    case 15: return -20;
    default: return 0;
    }
}

} // namespace

MpegPlayer::~MpegPlayer() { deinit(); }

ErrorCode MpegPlayer::init()
{
    if (mh_)
        return NoError;
#if MPG123_API_VERSION < 46
    if (mpg123_init() != MPG123_OK)
        return DecoderError;
#endif
    int error = MPG123_OK;
    mh_ = mpg123_new(nullptr, &error);
    ao_ = out123_new();
    if (!mh_ || !ao_) {
        deinit();
        return DecoderError;
    }
    mpg123_param(mh_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    out123_param_int(ao_, OUT123_ADD_FLAGS, OUT123_QUIET);
    // The name the sound server shows for our stream (its mixer lists "Cantorel").
    out123_param_string(ao_, OUT123_NAME, "Cantorel");
    // One output format for every stream: signed 16 bit at the stream's own rate.
    mpg123_format_none(mh_);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        mpg123_format(mh_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return NoError;
}

void MpegPlayer::deinit()
{
    close();
    if (ao_)
        out123_del(ao_);
    if (mh_)
        mpg123_delete(mh_);
    ao_ = nullptr;
    mh_ = nullptr;
}

ErrorCode MpegPlayer::openFile(const std::string& name)
{
    if (!mh_)
        return DecoderError;
    close();
    if (mpg123_open(mh_, name.c_str()) != MPG123_OK)
        return InputError;
    streamMode_ = false;
    nonSeekable_ = false;
    return openDecoder(false);
}

ErrorCode MpegPlayer::openStream(const StreamCallbacks& callbacks)
{
    if (!mh_)
        return DecoderError;
    close();
    if (!callbacks.open || !callbacks.read)
        return InputError;
    callbacks_ = callbacks;
    streamMode_ = true;
    std::uint8_t nonSeekable = 0;
    context_ = nullptr;
    callbacks_.open(callbacks_.user, &nonSeekable, &context_);
    nonSeekable_ = nonSeekable != 0;
    if (mpg123_replace_reader_handle(mh_, readThunk, seekThunk, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh_, this) != MPG123_OK) {
        if (callbacks_.close)
            callbacks_.close(callbacks_.user, context_);
        streamMode_ = false;
        return InputError;
    }
    if (callbacks_.size) {
        std::int32_t size = -1;
        callbacks_.size(callbacks_.user, context_, &size);
        if (size > 0)
            mpg123_set_filesize(mh_, size);
    }
    return openDecoder(true);
}

ErrorCode MpegPlayer::openDecoder(bool stream)
{
    int encoding = 0;
    if (mpg123_getformat(mh_, &rate_, &channels_, &encoding) != MPG123_OK || rate_ <= 0) {
        mpg123_close(mh_);
        if (stream && callbacks_.close)
            callbacks_.close(callbacks_.user, context_);
        streamMode_ = false;
        return InputError;
    }
    // Without a frame count in the stream (a Xing/Info header) the length is only an
    // estimate; then the whole stream is scanned once so that it is exact for VBR too.
    long accurate = 0;
    mpg123_getstate(mh_, MPG123_ACCURATE, &accurate, nullptr);
    scanned_ = false;
    if (!accurate && !nonSeekable_)
        scanned_ = mpg123_scan(mh_) == MPG123_OK;
    const off_t samples = mpg123_length(mh_);
    lengthMs_ = samples > 0 ? static_cast<std::int32_t>(samples * 1000 / rate_) : 0;
    positionMs_ = 0;
    ended_ = false;
    mode_ = Stopped;
    return NoError;
}

long MpegPlayer::streamRead(void* buffer, std::size_t count)
{
    std::int32_t read = 0;
    std::uint8_t ok = 0;
    const auto want = static_cast<std::int32_t>(std::min<std::size_t>(count, 1 << 30));
    callbacks_.read(callbacks_.user, context_, buffer, want, &read, &ok);
    return ok ? read : -1;
}

long MpegPlayer::streamSeek(long offset, int whence)
{
    if (nonSeekable_ || !callbacks_.seek)
        return -1;
    std::int32_t result = -1;
    callbacks_.seek(callbacks_.user, context_, static_cast<std::int32_t>(offset), whence, &result);
    return result;
}

ErrorCode MpegPlayer::setOutputDevice(std::int32_t device, const std::string& file)
{
    deviceCode_ = device;
    outputFile_ = file;
    return NoError;
}

ErrorCode MpegPlayer::openOutput()
{
    if (outputOpen_)
        return NoError;
    int result = 0;
    if (deviceCode_ == MPEG_DEVICE_SOUND) {
        out123_param_float(ao_, OUT123_DEVICEBUFFER, DeviceBufferSeconds);
        result = out123_open(ao_, "pulse,alsa", nullptr);
        latencyMs_ = static_cast<int>(DeviceBufferSeconds * 1000);
    } else {
        const bool wav =
            outputFile_.size() >= 4 && strcasecmp(outputFile_.c_str() + outputFile_.size() - 4, ".wav") == 0;
        result = out123_open(ao_, wav ? "wav" : "raw", outputFile_.c_str());
        latencyMs_ = 0;
    }
    if (result != OUT123_OK)
        return OutputError;
    if (out123_start(ao_, rate_, channels_, MPG123_ENC_SIGNED_16) != OUT123_OK) {
        out123_close(ao_);
        return OutputError;
    }
    outputOpen_ = true;
    return NoError;
}

ErrorCode MpegPlayer::play(std::int32_t startMs, std::int32_t endMs, std::uint8_t* endFlag)
{
    if (mode_ != Stopped)
        return IncorrectMode;
    if (const ErrorCode e = openOutput(); e != NoError)
        return e;
    endFlag_ = endFlag;
    outputFailed_ = false;
    endMs_ = (endMs > 0 && endMs < lengthMs_) ? endMs : 0;
    if (startMs > 0 || positionMs_ != 0)
        applySeek(std::max(startMs, 0));
    ended_ = false;
    startThread();
    return NoError;
}

ErrorCode MpegPlayer::restart()
{
    if (mode_ != Stopped)
        return IncorrectMode;
    if (const ErrorCode e = openOutput(); e != NoError)
        return e;
    if (ended_) {
        if (streamMode_ && nonSeekable_) {
            std::uint8_t ok = 0;
            if (callbacks_.restart)
                callbacks_.restart(callbacks_.user, context_, &ok);
            if (!ok || mpg123_open_handle(mh_, this) != MPG123_OK)
                return InputError;
            positionMs_ = 0;
        } else {
            applySeek(0);
        }
        ended_ = false;
    }
    startThread();
    return NoError;
}

void MpegPlayer::startThread()
{
    // A thread that ended by itself at the end of play is collected first.
    if (thread_.joinable())
        thread_.join();
    stopRequested_ = false;
    pauseRequested_ = false;
    seekRequest_ = -1;
    mode_ = Playing;
    thread_ = std::thread([this] { run(); });
}

void MpegPlayer::joinThread()
{
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    threadId_ = 0;
}

ErrorCode MpegPlayer::pause(bool resume)
{
    const std::int32_t expected = resume ? Paused : Playing;
    if (mode_ != expected)
        return IncorrectMode;
    std::unique_lock lock(mutex_);
    pauseRequested_ = !resume;
    mode_ = resume ? Playing : Paused;
    wake_.notify_all();
    // Pause returns once the thread holds, so that the position stands still from then on.
    if (!resume)
        held_.wait_for(lock, std::chrono::seconds(2), [this] { return holding_ || ended_ || stopRequested_; });
    return NoError;
}

ErrorCode MpegPlayer::stop()
{
    if (mode_ != Playing && mode_ != Paused)
        return IncorrectMode;
    joinThread();
    // Resume later from what was heard, not from what the decoder had reached.
    if (outputOpen_)
        out123_drop(ao_);
    if (!ended_ && !nonSeekable_)
        applySeek(positionMs_);
    mode_ = Stopped;
    return NoError;
}

ErrorCode MpegPlayer::close()
{
    if (mode_ == NoStream)
        return NoError;
    joinThread();
    if (outputOpen_) {
        out123_drop(ao_);
        out123_close(ao_);
        outputOpen_ = false;
    }
    // A stream whose output failed on the way (a full disk) ended through the end flag;
    // the Close that ends it tells why.
    const bool outputFailed = outputFailed_.exchange(false);
    mpg123_close(mh_);
    if (streamMode_ && callbacks_.close)
        callbacks_.close(callbacks_.user, context_);
    streamMode_ = false;
    mode_ = NoStream;
    positionMs_ = 0;
    lengthMs_ = 0;
    return outputFailed ? OutputError : NoError;
}

ErrorCode MpegPlayer::seek(std::int32_t ms)
{
    if (mode_ == NoStream)
        return IncorrectMode;
    if (nonSeekable_)
        return NotSeekable;
    ms = std::clamp(ms, 0, lengthMs_);
    if (mode_ == Stopped) {
        applySeek(ms);
        return NoError;
    }
    {
        std::lock_guard lock(mutex_);
        seekRequest_ = ms;
    }
    wake_.notify_all();
    // The playback thread takes the request within one frame; wait for it so that the
    // position reads the target when Seek returns.
    for (int i = 0; i < 200 && seekRequest_.load() >= 0 && thread_.joinable(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return NoError;
}

void MpegPlayer::applySeek(std::int64_t ms)
{
    // Seeking needs the frame index that a scan builds; it is made at the first seek.
    if (!scanned_ && !nonSeekable_)
        scanned_ = mpg123_scan(mh_) == MPG123_OK;
    const off_t target = static_cast<off_t>(ms * rate_ / 1000);
    const off_t at = mpg123_seek(mh_, target, SEEK_SET);
    if (outputOpen_)
        out123_drop(ao_);
    positionMs_ = static_cast<std::int32_t>((at >= 0 ? at : 0) * 1000 / rate_);
}

ErrorCode MpegPlayer::setPriority(std::int32_t priority)
{
    priority_ = priority;
    applyPriority();
    return NoError;
}

void MpegPlayer::applyPriority()
{
    const pid_t tid = threadId_.load();
    if (tid == 0)
        return;
    errno = 0;
    const int processNice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    const int nice = std::clamp(processNice + niceDelta(priority_), -20, 19);
    // Without the privilege to raise a priority the thread keeps what it has.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

std::int32_t MpegPlayer::decodedMs() const
{
    const off_t at = mpg123_tell(mh_);
    return static_cast<std::int32_t>((at > 0 ? at : 0) * 1000 / rate_);
}

void MpegPlayer::run()
{
    threadId_ = static_cast<pid_t>(syscall(SYS_gettid));
    applyPriority();
    bool finished = false;
    while (!stopRequested_) {
        {
            std::unique_lock lock(mutex_);
            if (pauseRequested_) {
                out123_pause(ao_);
                holding_ = true;
                held_.notify_all();
                wake_.wait(lock, [this] { return stopRequested_ || !pauseRequested_ || seekRequest_ >= 0; });
                holding_ = false;
                if (!pauseRequested_)
                    out123_continue(ao_);
            }
            // The request is cleared only once applied: Seek waits for that.
            if (std::int64_t target = seekRequest_.load(); target >= 0) {
                applySeek(target);
                seekRequest_.compare_exchange_strong(target, -1);
            }
            if (stopRequested_ || pauseRequested_)
                continue;
        }
        if (!decodeAndPlay()) {
            finished = true;
            break;
        }
    }
    if (finished)
        finish();
}

bool MpegPlayer::decodeAndPlay()
{
    // mpg123_read honours a seek to any sample; whole frames would start up to a frame
    // early. A sound output takes a frame's worth at a time, so the position follows it
    // closely; a file takes larger pieces.
    unsigned char audio[8 * 1152 * 2 * 2];
    const size_t want = latencyMs_ > 0 ? 1152 * 2 * 2 : sizeof audio;
    size_t bytes = 0;
    const int result = mpg123_read(mh_, audio, want, &bytes);
    if (result == MPG123_NEW_FORMAT)
        return true;
    if (result != MPG123_OK && !(result == MPG123_DONE && bytes > 0))
        return false; // the end of the stream, or a failure in the middle of it
    const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels_);
    if (endMs_ > 0) {
        // Play only what lies before the end position.
        const std::int64_t endSample = static_cast<std::int64_t>(endMs_) * rate_ / 1000;
        const std::int64_t after = mpg123_tell(mh_);
        if (after >= endSample) {
            const std::int64_t excess = after - endSample;
            const std::int64_t keep = std::max<std::int64_t>(0, static_cast<std::int64_t>(bytes / frameBytes) - excess);
            const size_t keepBytes = static_cast<size_t>(keep) * frameBytes;
            if (keep > 0 && out123_play(ao_, audio, keepBytes) < keepBytes)
                outputFailed_ = true;
            return false;
        }
    }
    if (bytes > 0 && out123_play(ao_, audio, bytes) < bytes) {
        outputFailed_ = true; // Close reports it
        return false;
    }
    positionMs_ = std::max(0, decodedMs() - latencyMs_);
    return result == MPG123_OK;
}

void MpegPlayer::finish()
{
    out123_drain(ao_);
    positionMs_ = endMs_ > 0 ? endMs_ : std::max(decodedMs(), 0);
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        mode_ = Stopped;
    }
    held_.notify_all();
    if (endFlag_)
        std::atomic_ref<std::uint8_t>(*endFlag_).store(1);
}

std::int32_t MpegPlayer::bitrate() const
{
    mpg123_frameinfo info{};
    return mh_ && mode_ != NoStream && mpg123_info(mh_, &info) == MPG123_OK ? info.bitrate : 0;
}

std::int32_t MpegPlayer::stereoMode() const
{
    mpg123_frameinfo info{};
    return mh_ && mode_ != NoStream && mpg123_info(mh_, &info) == MPG123_OK ? info.mode : 0;
}

std::int32_t MpegPlayer::layer() const
{
    mpg123_frameinfo info{};
    return mh_ && mode_ != NoStream && mpg123_info(mh_, &info) == MPG123_OK ? info.layer : 0;
}

} // namespace cantorel::mpeg
