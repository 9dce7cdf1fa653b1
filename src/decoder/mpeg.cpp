// The library's C entries: each forwards to the one player and records its error code
// for LastError.

#include "decoder/mpeg.h"

#include "decoder/MpegPlayer.h"

#include <memory>

using namespace cantorel::mpeg;

namespace {

std::unique_ptr<MpegPlayer> player;
// Each thread that calls the library hears of its own last call only.
thread_local std::int32_t lastError = NoError;

std::int32_t record(ErrorCode code)
{
    lastError = code;
    return code;
}

// Every entry but init needs the player that init made.
template <typename F>
std::int32_t withPlayer(F&& f)
{
    if (!player)
        return record(IncorrectMode);
    return record(f(*player));
}

// An information entry: the player's value, 0 without a player (an incorrect mode).
std::int32_t information(std::int32_t (MpegPlayer::*value)() const)
{
    record(player ? NoError : IncorrectMode);
    return player ? (player.get()->*value)() : 0;
}

} // namespace

extern "C" {

uint8_t init(void)
{
    if (!player)
        player = std::make_unique<MpegPlayer>();
    const ErrorCode code = player->init();
    record(code);
    if (code != NoError)
        player.reset();
    return code == NoError ? 1 : 0;
}

void deinit(void)
{
    player.reset();
    record(NoError);
}

int32_t Open(const char* name, int32_t stream, mpeg_open_cb open, mpeg_close_cb close, mpeg_restart_cb restart,
             mpeg_read_cb read, mpeg_seek_cb seek, mpeg_size_cb size, void* user)
{
    return withPlayer([&](MpegPlayer& p) {
        if (stream)
            return p.openStream(StreamCallbacks{open, close, restart, read, seek, size, user});
        return name ? p.openFile(name) : InputError;
    });
}

int32_t Play(int32_t start, int32_t end, uint8_t* end_flag)
{
    return withPlayer([&](MpegPlayer& p) { return p.play(start, end, end_flag); });
}

int32_t Pause(uint8_t resume)
{
    return withPlayer([&](MpegPlayer& p) { return p.pause(resume != 0); });
}
int32_t Restart(void)
{
    return withPlayer([](MpegPlayer& p) { return p.restart(); });
}
int32_t Stop(void)
{
    return withPlayer([](MpegPlayer& p) { return p.stop(); });
}
int32_t Close(void)
{
    return withPlayer([](MpegPlayer& p) { return p.close(); });
}
int32_t Seek(int32_t position)
{
    return withPlayer([&](MpegPlayer& p) { return p.seek(position); });
}
int32_t SetPriority(int32_t priority)
{
    return withPlayer([&](MpegPlayer& p) { return p.setPriority(priority); });
}

int32_t SetOutputDevice(int32_t device, const char* file)
{
    return withPlayer([&](MpegPlayer& p) { return p.setOutputDevice(device, file ? file : ""); });
}

int32_t SetSndDevice(int32_t) { return record(player ? NoError : IncorrectMode); }

int32_t GetCurrentPos(void) { return information(&MpegPlayer::currentPos); }
int32_t GetLength(void) { return information(&MpegPlayer::length); }

int32_t GetPlayerMode(void)
{
    record(NoError);
    return player ? player->mode() : NoStream;
}

int32_t LastError(void) { return lastError; }

int32_t GetFrequency(void) { return information(&MpegPlayer::frequency); }
int32_t GetBitrate(void) { return information(&MpegPlayer::bitrate); }
int32_t GetStereoMode(void) { return information(&MpegPlayer::stereoMode); }
int32_t GetLayer(void) { return information(&MpegPlayer::layer); }
int32_t ResetPlayerMode(void) { return record(NoError); }

} // extern "C"
