/*
 * mpeg.so: the decoder library of Cantorel, with a C ABI.
 *
 * One player per loaded library. Every entry sets the code that LastError() returns
 * next; LastError() reports the caller's last call only.
 *
 * Error codes (LastError):
 *   0  no error
 *   1  internal decoder error (the decoder could not be set up)
 *   2  incorrect mode (no stream open, not playing, already playing ...)
 *   3  input stream error (the file or stream cannot be opened or holds no MPEG audio)
 *   4  input stream is non-seekable (Seek on a stream that cannot seek)
 *   5  output device failure (the sound output or output file cannot be opened)
 *
 * Player modes (GetPlayerMode):
 *   0  no stream open
 *   1  stream open, stopped
 *   3  playing
 *   4  paused
 *
 * Device codes (SetOutputDevice): 0 the default sound output (PulseAudio, else ALSA);
 * 2 a PCM file: WAV when its name ends in ".wav", else raw signed 16-bit little-endian.
 * The output opens at Play, so init needs no sound device.
 *
 * Play(start, end, flag) decodes on a thread of its own from `start` ms; it stops at
 * `end` ms (end <= 0, or past the length: at the end of the stream) and then writes a
 * nonzero byte to *flag, atomically. The flag is written once the last sample has been
 * handed to the output, while the sound output still plays about a second of it: the
 * output stays open through Close, and the next stream opened and played within that
 * second follows without a gap (the output is drained and reopened first when rate or
 * channels differ). Streams played one after another to the same PCM file follow each
 * other in it, in one format; the file is complete after each Close. A failure in the
 * middle of a stream ends it the same way; when it was the output that failed (a full
 * disk), the Close of that stream returns 5. Stop, Close and deinit return only when the
 * playback thread is quiet; no write to the flag follows them; deinit lets the sound
 * output play out what it holds. Restart resumes at the sample where Stop left off (what
 * had been heard), and from the start after the end of play; Pause and Play likewise.
 *
 * A stalled or vanished sound server never holds a caller: Pause, Seek and Stop return
 * within about 300 ms; a write that the server does not take for 2 s fails the stream
 * (its Close returns 5); Play and Restart connect again to a server that went away (else
 * the sound card, else 5). A stream whose Open fails closes the output once it is heard.
 *
 * GetCurrentPos is the position of the sound being heard: what was handed to the output
 * less what the output still holds, as the sound server reports it (while it cannot tell
 * yet, everything handed over counts as held). It is never negative (0 while the output
 * still plays the end of the stream before) nor past the length, and from a start, seek
 * or resume on it never goes back. GetLength is exact (the stream is scanned when it can
 * seek).
 *
 * ReplayGain: the environment variable CANTOREL_REPLAYGAIN, read at each Open, holds
 * "off" (or is unset), "track" or "album", optionally followed by a pre-amp in dB
 * ("album -3.5"). Streams that carry the gain (ID3v2 TXXX or RVA2 frames, the LAME
 * header, APE items of a file) play at it plus the pre-amp, lowered as far as their peak
 * needs to keep from clipping; others play unchanged.
 * Gapless decoding leaves out the encoder delay and padding that a LAME/Info tag names.
 *
 * SetPriority takes -15, -2, -1, 0, 1, 2 or 15 and sets the playback thread's nice value
 * relative to the process's: +19, +10, +5, 0, -5, -10, -20, clamped to -20..19. A refusal
 * for want of privilege is ignored.
 *
 * Stream mode: Open(NULL, 1, open, close, restart, read, seek, size, user) reads through
 * the callbacks; each gets `user` first. Seek move methods are SEEK_SET, SEEK_CUR and
 * SEEK_END as passed by the decoder. In file mode the last seven arguments are NULL.
 */
#ifndef CANTOREL_MPEG_H
#define CANTOREL_MPEG_H

#include <stdint.h>

#if defined(CANTOREL_MPEG_BUILD)
#define MPEG_EXPORT __attribute__((visibility("default")))
#else
#define MPEG_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes, as LastError returns them. */
enum {
    MPEG_OK = 0,
    MPEG_ERR_INTERNAL = 1,
    MPEG_ERR_MODE = 2,
    MPEG_ERR_INPUT = 3,
    MPEG_ERR_NONSEEKABLE = 4,
    MPEG_ERR_OUTPUT = 5,
    MPEG_ERR_COUNT = 6 /* the number of codes above, MPEG_OK included */
};

/* The message of an error code, NULL for a code outside the table. For hosts; not an
 * entry of the library. */
static inline const char* mpeg_error_message(int32_t code)
{
    static const char* const messages[MPEG_ERR_COUNT] = {
        "No error",           "Internal decoder error",       "Incorrect mode",
        "Input stream error", "Input stream is non-seekable", "Output device failure",
    };
    return code >= 0 && code < MPEG_ERR_COUNT ? messages[code] : 0;
}

/* Player modes, as GetPlayerMode returns them. */
enum { MPEG_MODE_NONE = 0, MPEG_MODE_STOPPED = 1, MPEG_MODE_PLAYING = 3, MPEG_MODE_PAUSED = 4 };

/* Device codes of SetOutputDevice. */
enum { MPEG_DEVICE_SOUND = 0, MPEG_DEVICE_FILE = 2 };

typedef void (*mpeg_open_cb)(void* user, uint8_t* nonseekable, void** context);
typedef void (*mpeg_close_cb)(void* user, void* context);
typedef void (*mpeg_restart_cb)(void* user, void* context, uint8_t* result);
typedef void (*mpeg_read_cb)(void* user, void* context, void* buffer, int32_t count, int32_t* read, uint8_t* result);
typedef void (*mpeg_seek_cb)(void* user, void* context, int32_t offset, int32_t method, int32_t* result);
typedef void (*mpeg_size_cb)(void* user, void* context, int32_t* result);

MPEG_EXPORT uint8_t init(void);
MPEG_EXPORT void deinit(void);
MPEG_EXPORT int32_t Open(const char* name, int32_t stream, mpeg_open_cb open, mpeg_close_cb close,
                         mpeg_restart_cb restart, mpeg_read_cb read, mpeg_seek_cb seek, mpeg_size_cb size, void* user);
MPEG_EXPORT int32_t Play(int32_t start, int32_t end, uint8_t* end_flag);
MPEG_EXPORT int32_t Pause(uint8_t resume); /* 0 pauses, 1 resumes */
MPEG_EXPORT int32_t Restart(void);
MPEG_EXPORT int32_t Stop(void);
MPEG_EXPORT int32_t Close(void);
MPEG_EXPORT int32_t Seek(int32_t position);
MPEG_EXPORT int32_t SetPriority(int32_t priority);
MPEG_EXPORT int32_t SetOutputDevice(int32_t device, const char* file);
MPEG_EXPORT int32_t SetSndDevice(int32_t number);
MPEG_EXPORT int32_t GetCurrentPos(void);
MPEG_EXPORT int32_t GetLength(void);
MPEG_EXPORT int32_t GetPlayerMode(void);
MPEG_EXPORT int32_t LastError(void);
MPEG_EXPORT int32_t GetFrequency(void);
MPEG_EXPORT int32_t GetBitrate(void);
MPEG_EXPORT int32_t GetStereoMode(void);
MPEG_EXPORT int32_t GetLayer(void);
MPEG_EXPORT int32_t ResetPlayerMode(void);

#ifdef __cplusplus
}
#endif

#endif
