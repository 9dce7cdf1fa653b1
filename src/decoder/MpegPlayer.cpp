#include "decoder/MpegPlayer.h"

#include "decoder/AlsaOutput.h"
#include "decoder/FileOutput.h"
#include "decoder/PulseOutput.h"

#include <algorithm>
#include <mpg123.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace cantorel::mpeg {

namespace {

// Frames decoded per write: a sound output takes about a tenth of a second at a time (its
// write blocks until there is room), a file larger pieces.
constexpr std::size_t SoundChunkFrames = 4 * 1152;
constexpr std::size_t FileChunkFrames = 8 * 1152;
// What the output may hold of the last stream when this one stops: its buffer's second and
// some.
constexpr long HistorySeconds = 2;
// How long a host's Pause or Seek waits for the playback thread to take it.
constexpr auto TakeLimit = std::chrono::milliseconds(300);

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

// Milliseconds of `frames` at `rate`, rounded towards minus infinity.
std::int32_t framesToMs(std::int64_t frames, long rate)
{
    const std::int64_t scaled = frames * 1000;
    std::int64_t ms = scaled / rate;
    if (scaled % rate != 0 && scaled < 0)
        --ms;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, INT32_MIN, INT32_MAX));
}

// ID3v1 text is Latin-1.
std::string latin1ToUtf8(const char* text, std::size_t size)
{
    std::string out;
    for (std::size_t i = 0; i < size && text[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// What the sound server shows for a stream: the tag's title, else the file's name.
std::string titleOf(mpg123_handle* mh, const std::string& file)
{
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if ((mpg123_meta_check(mh) & MPG123_ID3) && mpg123_id3(mh, &v1, &v2) == MPG123_OK) {
        if (v2 && v2->title && v2->title->fill > 1)
            return std::string(v2->title->p, v2->title->fill - 1);
        if (v1) {
            if (std::string t = latin1ToUtf8(v1->title, sizeof v1->title); !t.empty())
                return t;
        }
    }
    std::string name = file.substr(file.rfind('/') + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
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
    if (!mh_)
        return DecoderError;
    // Gapless decoding drops the encoder's delay and padding that a LAME/Info tag names.
    mpg123_param(mh_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
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
    if (output_) {
        // The end of the last stream may still be queued: it is heard before we leave.
        output_->drain();
        output_->close();
        output_.reset();
    }
    if (mh_)
        mpg123_delete(mh_);
    mh_ = nullptr;
}

ErrorCode MpegPlayer::openFile(const std::string& name)
{
    if (!mh_)
        return DecoderError;
    close();
    gain_ = ReplayGain::fromEnvironment();
    gain_.prepare(mh_);
    gainFile_ = name;
    ErrorCode e = InputError;
    if (mpg123_open(mh_, name.c_str()) == MPG123_OK) {
        streamMode_ = false;
        nonSeekable_ = false;
        e = openDecoder(false);
    }
    if (e == NoError)
        title_ = titleOf(mh_, name);
    else
        startCloser(); // no stream follows the last one: its output goes once it is heard
    return e;
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
    gain_ = ReplayGain::fromEnvironment();
    gain_.prepare(mh_);
    gainFile_.clear();
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
    const ErrorCode e = openDecoder(true);
    if (e == NoError)
        title_ = titleOf(mh_, "Music");
    else
        startCloser();
    return e;
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
    gain_.apply(mh_, gainFile_);
    // Without a frame count in the stream (a Xing/Info header) the length is only an
    // estimate; then the whole stream is scanned once so that it is exact for VBR too.
    long accurate = 0;
    mpg123_getstate(mh_, MPG123_ACCURATE, &accurate, nullptr);
    scanned_ = false;
    if (!accurate && !nonSeekable_)
        scanned_ = mpg123_scan(mh_) == MPG123_OK;
    const off_t samples = mpg123_length(mh_);
    lengthMs_ = samples > 0 ? static_cast<std::int32_t>(samples * 1000 / rate_) : 0;
    ended_ = false;
    played_ = false;
    {
        std::lock_guard lock(clockMutex_);
        runStart_ = deviceFrames_;
        runSample_ = 0;
        behindTail_ = false;
    }
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

bool MpegPlayer::openOutput()
{
    titleShown_ = true;
    if (outputDevice_ != MPEG_DEVICE_SOUND) {
        output_->setTitle(title_);
        return output_->open(rate_, channels_);
    }
    // The sound server first, every time (it may be back), else the sound card itself.
    std::unique_ptr<AudioOutput> opened = std::make_unique<PulseOutput>();
    opened->setTitle(title_);
    if (!opened->open(rate_, channels_)) {
        opened = std::make_unique<AlsaOutput>();
        if (!opened->open(rate_, channels_))
            opened = std::make_unique<PulseOutput>(); // closed: the next start tries again
    }
    const bool isOpen = opened->isOpen();
    std::lock_guard lock(mutex_); // the host interrupts the output under this lock
    output_ = std::move(opened);
    return isOpen;
}

ErrorCode MpegPlayer::prepareOutput()
{
    const bool sameDevice =
        output_ && outputDevice_ == deviceCode_ && (deviceCode_ == MPEG_DEVICE_SOUND || outputPath_ == outputFile_);
    if (!sameDevice) {
        if (output_)
            output_->close();
        outputDevice_ = deviceCode_;
        outputPath_ = outputFile_;
        if (deviceCode_ == MPEG_DEVICE_SOUND)
            output_ = std::make_unique<PulseOutput>();
        else
            output_ = std::make_unique<FileOutput>(outputFile_);
        std::lock_guard lock(clockMutex_);
        deviceFrames_ = heardAnchor_ = runStart_ = 0;
        clockRunning_ = false;
    }
    reopen_ = false;
    // A sound server that went away is connected to again (else the sound card).
    if (output_->isOpen() && !output_->healthy()) {
        output_->close();
        clockDropped();
    }
    if (!output_->isOpen())
        return openOutput() ? NoError : OutputError;
    if (output_->hasFormat(rate_, channels_))
        return NoError;
    // A file holds one format; a sound output is drained and reopened by the playback thread.
    if (!output_->audible())
        return OutputError;
    reopen_ = true;
    return NoError;
}

ErrorCode MpegPlayer::play(std::int32_t startMs, std::int32_t endMs, std::uint8_t* endFlag)
{
    if (mode_ != Stopped)
        return IncorrectMode;
    collectThread();
    if (const ErrorCode e = prepareOutput(); e != NoError)
        return e;
    endFlag_ = endFlag;
    outputFailed_ = false;
    endSample_ = (endMs > 0 && endMs < lengthMs_) ? std::int64_t{endMs} * rate_ / 1000 : 0;
    if (startMs > 0 || mpg123_tell(mh_) != 0)
        applySeek(std::int64_t{std::max(startMs, 0)} * rate_ / 1000);
    ended_ = false;
    played_ = true;
    startThread();
    return NoError;
}

ErrorCode MpegPlayer::restart()
{
    // Restart resumes what Play began: a stream never played has nothing to resume.
    if (mode_ != Stopped || !played_)
        return IncorrectMode;
    collectThread();
    if (const ErrorCode e = prepareOutput(); e != NoError)
        return e;
    if (ended_) {
        if (streamMode_ && nonSeekable_) {
            std::uint8_t ok = 0;
            if (callbacks_.restart)
                callbacks_.restart(callbacks_.user, context_, &ok);
            if (!ok || mpg123_open_handle(mh_, this) != MPG123_OK)
                return InputError;
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
        joinThread();
    stopRequested_ = false;
    pauseRequested_ = false;
    seekRequest_ = -1;
    beginRun(true);
    titleShown_ = false;
    mode_ = Playing;
    thread_ = std::thread([this] { run(); });
}

void MpegPlayer::joinThread()
{
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
        // A write that waits for the output (a sound server that stalled) ends at once.
        if (output_)
            output_->interrupt();
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (output_)
        output_->resume();
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
    if (!resume && output_)
        output_->interrupt(); // a write waiting for the output gives way to the pause
    wake_.notify_all();
    // Pause returns once the thread holds, so that the position stands still from then on
    // (at most a moment: an output that does not answer keeps nobody).
    if (!resume)
        held_.wait_for(lock, TakeLimit, [this] { return holding_ || ended_; });
    return NoError;
}

ErrorCode MpegPlayer::stop()
{
    if (mode_ != Playing && mode_ != Paused)
        return IncorrectMode;
    joinThread();
    // Resume later from what was heard, not from what the decoder had reached. A sound
    // output is closed soon after, so that nothing wakes up while nothing plays, once the
    // end of the last stream that it still plays is heard out; a stream started before
    // then (the next track) plays into it at once.
    if (!ended_ && output_ && output_->audible())
        rewindToHeard(true);
    mode_ = Stopped;
    if (!ended_)
        startCloser();
    return NoError;
}

bool MpegPlayer::rewindToHeard(bool keepTail)
{
    const std::int64_t heard = heardSample();
    const std::int64_t decoded = mpg123_tell(mh_);
    const bool tail = keepTail && writeTailAgain();
    // An output that does not answer is closed: it is opened afresh to play on. What it
    // holds is dropped when the next stream writes (a Next), or soon.
    if (!tail) {
        if (output_ && !output_->dropSoon())
            output_->close();
        clockDropped();
    }
    if (heard < decoded && !nonSeekable_)
        mpg123_seek(mh_, static_cast<off_t>(heard), SEEK_SET);
    beginRun(tail);
    return tail;
}

bool MpegPlayer::writeTailAgain()
{
    std::int64_t tailFrames = 0;
    std::int64_t heldFrames = 0;
    {
        std::lock_guard lock(clockMutex_);
        const std::int64_t heard = heardDeviceFrame();
        if (!behindTail_ || heard >= runStart_)
            return false;
        tailFrames = runStart_ - heard;
        heldFrames = deviceFrames_ - heard;
    }
    const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels_);
    if (heldFrames * static_cast<std::int64_t>(frameBytes) > static_cast<std::int64_t>(historyFilled_))
        return false; // more than was kept: nothing to do but let it go
    // The bytes the output holds are the last ones written; the tail is their first part.
    const std::size_t from =
        (historyEnd_ + history_.size() - static_cast<std::size_t>(heldFrames) * frameBytes) % history_.size();
    std::vector<unsigned char> tail(static_cast<std::size_t>(tailFrames) * frameBytes);
    for (std::size_t i = 0; i < tail.size(); ++i)
        tail[i] = history_[(from + i) % history_.size()];
    if (!output_->drop()) {
        output_->close();
        clockDropped();
        return false;
    }
    clockDropped();
    historyFilled_ = 0;
    if (!output_->write(tail.data(), tail.size()))
        return false;
    remember(tail.data(), tail.size());
    noteWritten(tailFrames);
    return true;
}

void MpegPlayer::remember(const unsigned char* data, std::size_t bytes)
{
    const std::size_t capacity = static_cast<std::size_t>(HistorySeconds * rate_) * 2 * channels_;
    if (history_.size() != capacity) {
        history_.assign(capacity, 0);
        historyEnd_ = historyFilled_ = 0;
    }
    if (capacity == 0)
        return;
    for (std::size_t i = bytes > capacity ? bytes - capacity : 0; i < bytes; ++i) {
        history_[historyEnd_] = data[i];
        historyEnd_ = (historyEnd_ + 1) % capacity;
    }
    historyFilled_ = std::min(capacity, historyFilled_ + bytes);
}

void MpegPlayer::startCloser()
{
    if (!output_ || !output_->audible() || !output_->isOpen())
        return;
    if (thread_.joinable())
        joinThread();
    stopRequested_ = false;
    thread_ = std::thread([this] { closeWhenHeard(); });
}

void MpegPlayer::closeWhenHeard()
{
    // When no stream follows while the output plays out what it holds, it is closed, so
    // that nothing wakes up while nothing plays. A Close, Play, Restart or Stop ends the wait.
    const auto holds = std::chrono::milliseconds(output_->queuedFrames().value_or(rate_) * 1000 / std::max(rate_, 1L));
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, holds + std::chrono::milliseconds(500), [this] { return stopRequested_.load(); })) {
        output_->close();
        clockDropped();
    }
}

ErrorCode MpegPlayer::close()
{
    if (mode_ == NoStream)
        return NoError;
    joinThread();
    // The end of a stream that played to its end stays queued for the next stream to
    // follow; anything else is not to be heard any more.
    if (!ended_ && output_) {
        if (!output_->dropSoon())
            output_->close();
        clockDropped();
    }
    // A stream whose output failed on the way (a full disk) ended through the end flag;
    // the Close that ends it tells why.
    bool outputFailed = outputFailed_.exchange(false);
    if (output_ && !output_->audible()) {
        // A file is complete after each stream; the next one appends to it.
        if (!output_->finish())
            outputFailed = true;
        output_->close();
    }
    mpg123_close(mh_);
    if (streamMode_ && callbacks_.close)
        callbacks_.close(callbacks_.user, context_);
    streamMode_ = false;
    mode_ = NoStream;
    lengthMs_ = 0;
    return outputFailed ? OutputError : NoError;
}

ErrorCode MpegPlayer::seek(std::int32_t ms)
{
    if (mode_ == NoStream)
        return IncorrectMode;
    if (nonSeekable_)
        return NotSeekable;
    const std::int64_t target = std::int64_t{std::clamp(ms, 0, lengthMs_)} * rate_ / 1000;
    if (mode_ == Stopped || !thread_.joinable()) {
        collectThread();
        applySeek(target);
        return NoError;
    }
    std::unique_lock lock(mutex_);
    seekRequest_ = target;
    if (output_)
        output_->interrupt(); // a write waiting for the output gives way to the seek
    wake_.notify_all();
    // The playback thread takes the request within one write; wait for it (a moment at
    // most) so that the position reads the target when Seek returns.
    held_.wait_for(lock, TakeLimit, [this] { return seekRequest_.load() < 0 || ended_ || stopRequested_; });
    return NoError;
}

void MpegPlayer::applySeek(std::int64_t sample)
{
    // Seeking needs the frame index that a scan builds; it is made at the first seek.
    if (!scanned_ && !nonSeekable_)
        scanned_ = mpg123_scan(mh_) == MPG123_OK;
    mpg123_seek(mh_, static_cast<off_t>(sample), SEEK_SET);
    bool wrote = false;
    {
        std::lock_guard lock(clockMutex_);
        wrote = deviceFrames_ > runStart_;
    }
    // What this stream queued is not to be heard; the end of the last one still is.
    if (wrote && output_) {
        if (!output_->drop())
            output_->close(); // opened afresh by the playback thread
        clockDropped();
    }
    beginRun(!wrote);
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

void MpegPlayer::run()
{
    threadId_ = static_cast<pid_t>(syscall(SYS_gettid));
    applyPriority();
    bool finished = reopen_ && !reopenOutput();
    while (!finished && !stopRequested_) {
        {
            std::unique_lock lock(mutex_);
            // A pause, seek or stop that interrupted a write has it back here; one that
            // comes later takes the lock first and interrupts again.
            output_->resume();
            if (pauseRequested_)
                holdPaused(lock);
            // The request is cleared only once applied: Seek waits for that.
            if (std::int64_t target = seekRequest_.load(); target >= 0) {
                applySeek(target);
                seekRequest_.compare_exchange_strong(target, -1);
                held_.notify_all();
            }
            if (stopRequested_ || pauseRequested_)
                continue;
        }
        if (output_->audible() && !output_->isOpen() && !openOutput()) {
            outputFailed_ = true; // the sound server went away during a pause
            finished = true;
        } else {
            finished = decodeAndPlay() == Step::Ended;
        }
    }
    if (finished)
        finish();
}

bool MpegPlayer::reopenOutput()
{
    // Another format: what the output still plays of the last stream is heard out first.
    output_->drain();
    output_->close();
    clockDropped();
    beginRun(false);
    reopen_ = false;
    if (openOutput())
        return true;
    outputFailed_ = true;
    return false;
}

void MpegPlayer::holdPaused(std::unique_lock<std::mutex>& lock)
{
    // A sound output is emptied and closed, so that nothing wakes up during the pause;
    // the decoder steps back to the sample that was heard last. The end of the last stream
    // that it still plays is heard out first.
    bool tail = false;
    if (output_->audible()) {
        tail = rewindToHeard(true);
        if (!tail)
            output_->close();
    }
    holding_ = true;
    held_.notify_all();
    const auto woken = [this] { return stopRequested_ || !pauseRequested_ || seekRequest_ >= 0; };
    if (tail) {
        const auto holds =
            std::chrono::milliseconds(output_->queuedFrames().value_or(rate_) * 1000 / std::max(rate_, 1L));
        // Heard by then: closed without a wait, so that a stop is not kept by the server.
        if (!wake_.wait_for(lock, holds + std::chrono::milliseconds(500), woken)) {
            output_->close();
            clockDropped();
        }
    }
    wake_.wait(lock, woken);
    holding_ = false;
}

MpegPlayer::Step MpegPlayer::decodeAndPlay()
{
    // mpg123_read honours a seek to any sample; whole frames would start up to a frame early.
    const std::size_t frameBytes = 2 * static_cast<std::size_t>(channels_);
    unsigned char audio[FileChunkFrames * 2 * 2];
    const std::size_t want = (output_->audible() ? SoundChunkFrames : FileChunkFrames) * frameBytes;
    size_t bytes = 0;
    const int result = mpg123_read(mh_, audio, std::min(want, sizeof audio), &bytes);
    if (result == MPG123_NEW_FORMAT)
        return Step::More;
    if (result != MPG123_OK && !(result == MPG123_DONE && bytes > 0))
        return Step::Ended; // the end of the stream, or a failure in the middle of it
    bool more = result == MPG123_OK;
    if (endSample_ > 0) {
        // Play only what lies before the end position.
        const std::int64_t excess = std::int64_t{mpg123_tell(mh_)} - endSample_;
        if (excess >= 0) {
            const std::int64_t keep = std::max<std::int64_t>(0, std::int64_t(bytes / frameBytes) - excess);
            bytes = static_cast<size_t>(keep) * frameBytes;
            more = false;
        }
    }
    if (bytes > 0) {
        if (!output_->write(audio, bytes)) {
            // A stop, pause or seek took the write back: what it held is handled there.
            if (stopRequested_ || pauseRequested_ || seekRequest_ >= 0)
                return Step::Interrupted;
            outputFailed_ = true; // the output failed or stalled: Close reports it
            return Step::Ended;
        }
        if (output_->audible())
            remember(audio, bytes);
        noteWritten(static_cast<std::int64_t>(bytes / frameBytes));
    }
    // The stream's name changes when this track begins to be heard.
    if (!titleShown_ && heardPosition() >= 0) {
        output_->setTitle(title_);
        titleShown_ = true;
    }
    return more ? Step::More : Step::Ended;
}

void MpegPlayer::finish()
{
    // The output still plays what it queues; the next stream follows it there.
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        mode_ = Stopped;
    }
    held_.notify_all();
    if (endFlag_)
        std::atomic_ref<std::uint8_t>(*endFlag_).store(1);
    if (output_->audible())
        closeWhenHeard();
}

void MpegPlayer::collectThread()
{
    // A thread that ended its stream by itself may still wait to close the output.
    if (thread_.joinable() && mode_ != Playing && mode_ != Paused)
        joinThread();
}

void MpegPlayer::beginRun(bool behindTail)
{
    const std::int64_t decoded = mh_ ? std::max<std::int64_t>(0, mpg123_tell(mh_)) : 0;
    std::lock_guard lock(clockMutex_);
    runStart_ = deviceFrames_;
    runSample_ = decoded;
    behindTail_ = behindTail && heardDeviceFrame() < deviceFrames_;
    lastPosition_ = std::clamp(framesToMs(decoded, std::max(rate_, 1L)), 0, std::max(lengthMs_, 0));
}

void MpegPlayer::noteWritten(std::int64_t frames)
{
    const std::optional<std::int64_t> queued = output_->queuedFrames();
    std::lock_guard lock(clockMutex_);
    deviceFrames_ += frames;
    // A latency the output cannot tell yet counts as everything queued: the heard
    // position waits rather than run ahead and come back.
    if (!queued) {
        heardAnchor_ = heardDeviceFrame();
        clockRunning_ = false;
        return;
    }
    heardAnchor_ = std::max(heardAnchor_, std::max<std::int64_t>(0, deviceFrames_ - *queued));
    anchorTime_ = SteadyClock::now();
    clockRunning_ = true;
}

void MpegPlayer::clockDropped()
{
    std::lock_guard lock(clockMutex_);
    heardAnchor_ = deviceFrames_;
    clockRunning_ = false;
}

std::int64_t MpegPlayer::heardDeviceFrame() const
{
    if (!clockRunning_ || rate_ <= 0)
        return heardAnchor_;
    // Between two writes the output plays on at its rate.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - anchorTime_).count();
    return std::min(deviceFrames_, heardAnchor_ + elapsed * rate_ / 1'000'000);
}

std::int64_t MpegPlayer::heardSample() const
{
    std::lock_guard lock(clockMutex_);
    return runSample_ + std::max<std::int64_t>(0, heardDeviceFrame() - runStart_);
}

std::int32_t MpegPlayer::heardPosition() const
{
    if (mode_ == NoStream || rate_ <= 0)
        return 0;
    std::lock_guard lock(clockMutex_);
    const std::int64_t heard = heardDeviceFrame();
    if (heard < runStart_ && behindTail_)
        return std::min(-1, -framesToMs(runStart_ - heard, rate_));
    return framesToMs(runSample_ + std::max<std::int64_t>(0, heard - runStart_), rate_);
}

std::int32_t MpegPlayer::currentPos() const
{
    const std::int32_t position = std::clamp(heardPosition(), 0, std::max(lengthMs_, 0));
    std::lock_guard lock(clockMutex_);
    lastPosition_ = std::max(lastPosition_, position);
    return lastPosition_;
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
