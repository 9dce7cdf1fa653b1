// A stand-in for the decoder library: exports the same entries, records every call in
// order and answers what the test configures through the fake_* entries.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string calls;
std::map<std::string, std::int32_t> errors; // entry name: the code LastError reports after it
std::int32_t lastError = 0;
std::int32_t length = 0;
std::int32_t position = 0;
std::int32_t mode = 0;
std::int32_t playResult = 0;
std::uint8_t* endFlag = nullptr;

std::int32_t record(const std::string& name, const std::string& args = {})
{
    calls += name + (args.empty() ? "" : "(" + args + ")") + ";";
    const auto it = errors.find(name);
    lastError = it == errors.end() ? 0 : it->second;
    return 0;
}

} // namespace

EXPORT const char* fake_calls() { return calls.c_str(); }
EXPORT void fake_reset()
{
    calls.clear();
    errors.clear();
    lastError = length = position = mode = playResult = 0;
}
EXPORT void fake_fail(const char* entry, std::int32_t code) { errors[entry] = code; }
EXPORT void fake_set(std::int32_t len, std::int32_t pos, std::int32_t playerMode, std::int32_t play)
{
    length = len;
    position = pos;
    mode = playerMode;
    playResult = play;
}
EXPORT void fake_end()
{
    if (endFlag)
        *endFlag = 1;
}

EXPORT std::uint8_t init()
{
    record("init");
    return std::getenv("FAKE_MPEG_INIT_FAILS") ? (lastError = 1, 0) : 1;
}
EXPORT void deinit() { record("deinit"); }
EXPORT std::int32_t Open(const char* name, std::int32_t stream, void*, void*, void*, void*, void*, void*, void* user)
{
    return record("Open", std::string(name ? name : "null") + "," + std::to_string(stream) + (user ? ",user" : ""));
}
EXPORT std::int32_t Play(std::int32_t start, std::int32_t end, std::uint8_t* flag)
{
    endFlag = flag;
    record("Play", std::to_string(start) + "," + std::to_string(end));
    return playResult;
}
EXPORT std::int32_t Pause(std::uint8_t resume) { return record("Pause", std::to_string(resume)); }
EXPORT std::int32_t Restart() { return record("Restart"); }
EXPORT std::int32_t Stop() { return record("Stop"); }
EXPORT std::int32_t Close() { return record("Close"); }
EXPORT std::int32_t Seek(std::int32_t pos) { return record("Seek", std::to_string(pos)); }
EXPORT std::int32_t SetPriority(std::int32_t p) { return record("SetPriority", std::to_string(p)); }
EXPORT std::int32_t SetOutputDevice(std::int32_t d, const char* f)
{
    return record("SetOutputDevice", std::to_string(d) + "," + f);
}
EXPORT std::int32_t SetSndDevice(std::int32_t n) { return record("SetSndDevice", std::to_string(n)); }
EXPORT std::int32_t GetCurrentPos() { return record("GetCurrentPos"), position; }
EXPORT std::int32_t GetLength() { return record("GetLength"), length; }
EXPORT std::int32_t GetPlayerMode() { return record("GetPlayerMode"), mode; }
EXPORT std::int32_t LastError() { return lastError; }
EXPORT std::int32_t GetFrequency() { return 0; }
EXPORT std::int32_t GetBitrate() { return 0; }
EXPORT std::int32_t GetStereoMode() { return 0; }
EXPORT std::int32_t GetLayer() { return 0; }
#ifndef FAKE_MPEG_INCOMPLETE
EXPORT std::int32_t ResetPlayerMode() { return 0; }
#endif
