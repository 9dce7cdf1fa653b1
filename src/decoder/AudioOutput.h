#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace cantorel::mpeg {

// Where decoded 16-bit PCM goes: a sound server, a sound card or a file. An output stays
// open across streams of one format, so that consecutive tracks follow each other without
// a gap; the player reopens it when rate or channels change.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Opens for signed 16-bit samples at `rate` with `channels`.
    virtual bool open(long rate, int channels) = 0;
    // Hands the bytes over, blocking until the device has taken them all; false when the
    // device failed, stalled or the write was interrupted.
    virtual bool write(const unsigned char* data, std::size_t bytes) = 0;
    // Sample frames handed over and not yet heard; nothing while the device cannot tell.
    virtual std::optional<std::int64_t> queuedFrames() = 0;
    // Forgets what was handed over and not yet heard; false when the device did not answer
    // in time (it is better closed then).
    virtual bool drop() = 0;
    // Forgets what was handed over once the next write comes, so that a stream that follows
    // at once (the next track) leaves no silence between; without a write it is forgotten
    // soon (within a tenth of a second) all the same.
    virtual bool dropSoon() { return drop(); }
    // Waits until everything handed over has been heard.
    virtual void drain() = 0;
    // Makes what was written so far complete where it is kept (a file's header).
    virtual bool finish() { return true; }
    virtual void close() = 0;
    // A device the user hears: its queue delays what is heard, and it is closed during a
    // pause so that nothing wakes up while nothing plays.
    virtual bool audible() const { return true; }
    // The title of the track being heard, where the output names its stream.
    virtual void setTitle(const std::string& /*title*/) {}

    // Ends a write or a wait of another thread at once (and every later one, until
    // resume()).
    virtual void interrupt() {}
    virtual void resume() {}
    // Open and still able to play: a sound server can go away while a stream is open.
    virtual bool healthy() const { return isOpen(); }

    bool isOpen() const { return rate_ > 0; }
    bool hasFormat(long rate, int channels) const { return rate_ == rate && channels_ == channels; }

protected:
    long rate_ = 0;
    int channels_ = 0;
};

} // namespace cantorel::mpeg
