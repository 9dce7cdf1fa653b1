#include "core/platform/DynamicLibrary.h"
#include "core/player/TMPEGPlayer.h"

#include "decoder/mpeg.h"

#include "support/ManualTimer.h"
#include "support/Mp3Fixture.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace cantorel;
using namespace cantorel::test;

namespace {

struct Wav {
    double seconds = 0;
    double frequency = 0; // from the first channel's zero crossings
    double rms = 0;
};

// Analyses 16-bit PCM: a WAV (its header gives rate and channels) or raw samples.
Wav analyse(std::string_view bytes, int rate = 0, int channels = 0)
{
    Wav w;
    if (rate == 0) {
        if (bytes.size() < 44)
            return w;
        std::uint16_t c = 0;
        std::uint32_t r = 0;
        std::memcpy(&c, bytes.data() + 22, 2);
        std::memcpy(&r, bytes.data() + 24, 4);
        channels = c;
        rate = static_cast<int>(r);
        bytes.remove_prefix(44);
    }
    const std::size_t frame = 2 * static_cast<std::size_t>(channels);
    const std::size_t samples = bytes.size() / frame;
    w.seconds = double(samples) / rate;
    int crossings = 0;
    double sum = 0;
    std::int16_t previous = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        std::int16_t value = 0;
        std::memcpy(&value, bytes.data() + i * frame, 2);
        if ((previous < 0) != (value < 0))
            ++crossings;
        previous = value;
        sum += double(value) * value;
    }
    w.frequency = samples ? crossings / 2.0 / w.seconds : 0;
    w.rms = samples ? std::sqrt(sum / double(samples)) / 32768.0 : 0;
    return w;
}

// A pipe that a thread of its own drains slowly, `chunk` bytes a millisecond, so that
// the player writing into it is still under way when the test acts on it.
class SlowPipe {
public:
    SlowPipe(std::string path, std::size_t chunk) : path_(std::move(path))
    {
        if (::mkfifo(path_.c_str(), 0600) != 0)
            throw std::runtime_error("mkfifo " + path_);
        reader_ = std::thread([this, chunk] {
            const int fd = ::open(path_.c_str(), O_RDONLY);
            std::string buffer(chunk, '\0');
            for (ssize_t n; (n = ::read(fd, buffer.data(), chunk)) > 0;) {
                bytes_.append(buffer.data(), static_cast<std::size_t>(n));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::close(fd);
        });
    }
    ~SlowPipe()
    {
        if (reader_.joinable())
            reader_.join();
    }
    const std::string& path() const { return path_; }
    // What was read, once the writer has closed the pipe.
    const std::string& bytes()
    {
        reader_.join();
        return bytes_;
    }

private:
    std::string path_;
    std::string bytes_;
    std::thread reader_;
};

class LibraryTest : public ::testing::Test {
protected:
    LibraryTest() : player(ManualTimer::factory(timer))
    {
        player.PathToDLL = CANTOREL_BIN_DIR;
        player.setTimerFreq(250);
        player.UseTimer = true;
        player.OnPlayEnd = [this](TMPEGPlayer*) { ended = true; };
        player.LoadDLL();
    }
    ~LibraryTest() override { player.UnloadDLL(); }

    void toFile(const std::string& out)
    {
        player.setOutputDevice(TOutputDevice::pcmfile);
        player.OutFilename = out;
    }
    // Ticks until the end of play (at most 60 s).
    bool waitForEnd()
    {
        for (int i = 0; i < 6000 && !ended; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            timer->tick();
        }
        return ended;
    }
    Wav finish(const std::string& out)
    {
        player.CloseStream(); // completes the WAV header
        return analyse(readAll(out));
    }

    TempDir dir;
    ManualTimer* timer = nullptr;
    TMPEGPlayer player;
    bool ended = false;
};

} // namespace

TEST_F(LibraryTest, PlaysAToneToAWavFile)
{
    player.setStreamName(encodeTone(dir, "a.mp3", 440, 3));
    toFile(dir / "out.wav");
    player.StartPlay();
    EXPECT_EQ(player.LengthMs(), 3000);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(player.CurrentPos(), 3000);
    const Wav w = finish(dir / "out.wav");
    EXPECT_NEAR(w.seconds, 3.0, 0.03);
    EXPECT_NEAR(w.frequency, 440, 5);
}

TEST_F(LibraryTest, VariableRateLengthIsExact)
{
    player.setStreamName(encodeTone(dir, "v.mp3", 300, 4, {"-V", "3"}));
    player.OpenStream();
    EXPECT_EQ(player.LengthMs(), 4000);
}

TEST_F(LibraryTest, StartAndEndPositions)
{
    player.setStreamName(encodeTone(dir, "a.mp3", 440, 3));
    toFile(dir / "part.wav");
    player.StartPos = 1000;
    player.EndPos = 2250;
    player.StartPlay();
    ASSERT_TRUE(waitForEnd());
    EXPECT_NEAR(finish(dir / "part.wav").seconds, 1.25, 0.03);
}

TEST_F(LibraryTest, SeekWhilePaused)
{
    player.setStreamName(encodeTone(dir, "long.mp3", 440, 20));
    toFile(dir / "seek.wav");
    player.StartPlay();
    player.SetPaused(true);
    EXPECT_EQ(player.PlayerMode(), 4);
    const std::int32_t heldAt = player.CurrentPos();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(player.CurrentPos(), heldAt);
    player.SeekTo(15'000);
    EXPECT_NEAR(player.CurrentPos(), 15'000, 50);
    player.SetPaused(false);
    ASSERT_TRUE(waitForEnd());
    EXPECT_NEAR(finish(dir / "seek.wav").seconds, heldAt / 1000.0 + 5.0, 0.08);
}

TEST_F(LibraryTest, SeekWhilePlayingLandsOnTheTarget)
{
    // 20 s at 440 Hz, then 20 s at 880 Hz, mono at 22,050 Hz. The output goes into a pipe
    // that the test drains slowly, so playback is still under way when it seeks.
    const std::string wav = dir.write("two.wav", toneSequenceWav({{440, 20}, {880, 20}}, 22050, 1));
    ASSERT_EQ(runProcess("/usr/bin/lame", {"--quiet", "-b", "64", "-m", "m", wav, dir / "two.mp3"}).status, 0);
    SlowPipe pipe(dir / "out.pcm", 1024);
    player.setStreamName(dir / "two.mp3");
    toFile(pipe.path());
    player.StartPlay();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(player.PlayerMode(), 3);
    EXPECT_LT(player.CurrentPos(), 15'000);
    player.SeekTo(30'000);
    EXPECT_NEAR(player.CurrentPos(), 30'000, 50);
    const bool done = waitForEnd();
    player.CloseStream();
    const std::string& pcm = pipe.bytes();
    ASSERT_TRUE(done);
    // The output changes from 440 to 880 Hz where the seek took effect; from there on it
    // holds the last 10 s of the track.
    const std::size_t second = 2 * 22050;
    const std::size_t window = second / 50;
    const auto high = [&](std::size_t at) {
        return analyse(std::string_view(pcm).substr(at, window), 22050, 1).frequency > 660;
    };
    std::size_t change = pcm.size() / window * window;
    while (change >= window && high(change - window))
        change -= window;
    ASSERT_GT(change, 0u);
    EXPECT_NEAR(double(pcm.size() - change) / second, 10.0, 0.05);
}

TEST_F(LibraryTest, StopAndRestartResumeWhereTheyLeftOff)
{
    player.setStreamName(encodeTone(dir, "a.mp3", 440, 3));
    toFile(dir / "r.wav");
    player.StartPlay();
    player.SetPaused(true);
    player.SeekTo(2000);
    player.StopPlay();
    EXPECT_EQ(player.PlayerMode(), 1);
    EXPECT_NEAR(player.CurrentPos(), 2000, 50);
    player.StartPlay(); // restart: from where it stopped
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(player.PlayerMode(), 1);
    ended = false;
    player.StartPlay(); // after the end: from the start
    ASSERT_TRUE(waitForEnd());
}

TEST_F(LibraryTest, TracksInARowGiveTheirGaplessSamplesBackToBack)
{
    // lame adds encoder delay and padding and names both in its Info tag; mpg123 drops them.
    const std::string a = encodeTone(dir, "a.mp3", 440, 1.3);
    const std::string b = encodeTone(dir, "b.mp3", 660, 0.7);
    const std::string out = dir / "both.wav";
    const ProcessResult r = runProcess(builtProgram("cantorel-cli"), {"play", a, b, "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (const std::string& track : {a, b}) {
        const std::string wav = track + ".ref.wav";
        ASSERT_EQ(runProcess("/usr/bin/mpg123", {"-q", "--gapless", "-w", wav, track}).status, 0);
        expected += readAll(wav).substr(44);
    }
    const std::string written = readAll(out);
    ASSERT_GE(written.size(), 44u);
    EXPECT_EQ(written.size() - 44, expected.size());
    EXPECT_TRUE(written.substr(44) == expected);
    EXPECT_NEAR(analyse(written).seconds, 2.0, 0.001);
}

TEST_F(LibraryTest, StopsAndPausesResumeAtTheExactSample)
{
    // Mono at 22,050 Hz into a pipe that is read slowly, so that every interruption falls
    // in the middle of the track.
    const std::string wav = dir.write("t.wav", toneSequenceWav({{440, 10}, {550, 10}}, 22050, 1));
    ASSERT_EQ(runProcess("/usr/bin/lame", {"--quiet", "-b", "64", "-m", "m", wav, dir / "t.mp3"}).status, 0);
    const std::string reference = runProcess("/usr/bin/mpg123", {"-q", "--gapless", "-s", dir / "t.mp3"}).out;
    ASSERT_GT(reference.size(), 300'000u);
    for (const bool pausing : {false, true}) {
        SlowPipe pipe(dir / (pausing ? "paused.pcm" : "stopped.pcm"), 512);
        ended = false;
        player.setStreamName(dir / "t.mp3");
        toFile(pipe.path());
        player.StartPlay();
        int interruptions = 0;
        for (int i = 0; i < 20 && player.CurrentPos() < 15000; ++i, ++interruptions) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3 + i % 5));
            if (pausing) {
                player.SetPaused(true);
                player.SetPaused(false);
            } else {
                player.StopPlay();
                player.StartPlay();
            }
        }
        const bool done = waitForEnd();
        player.CloseStream();
        const std::string& pcm = pipe.bytes();
        EXPECT_TRUE(done);
        EXPECT_EQ(interruptions, 20);
        EXPECT_EQ(pcm.size(), reference.size()) << (pausing ? "pausing" : "stopping");
        EXPECT_TRUE(pcm == reference) << (pausing ? "pausing" : "stopping");
    }
}

TEST_F(LibraryTest, StreamModeReadsThroughTheCallbacks)
{
    const std::string mp3 = readAll(encodeTone(dir, "s.mp3", 440, 2));
    std::size_t offset = 0;
    int opened = 0;
    int closed = 0;
    player.FromStream = true;
    player.OnOpenStream = [&](bool& nonseekable, void*& context) {
        ++opened;
        nonseekable = false;
        context = &offset;
    };
    player.OnCloseStream = [&](void* context) { closed += context == &offset; };
    player.OnReadStream = [&](void*, void* buffer, std::int32_t count, std::int32_t& read, bool& res) {
        read = static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(count), mp3.size() - offset));
        std::memcpy(buffer, mp3.data() + offset, static_cast<std::size_t>(read));
        offset += static_cast<std::size_t>(read);
        res = true;
    };
    player.OnSeekStream = [&](void*, std::int32_t bytes, std::int32_t method, std::int32_t& res) {
        const long base = method == SEEK_SET ? 0 : method == SEEK_CUR ? long(offset) : long(mp3.size());
        offset = static_cast<std::size_t>(std::clamp<long>(base + bytes, 0, long(mp3.size())));
        res = static_cast<std::int32_t>(offset);
    };
    player.OnGetStreamSize = [&](void*, std::int32_t& res) { res = static_cast<std::int32_t>(mp3.size()); };
    toFile(dir / "stream.wav");
    player.StartPlay();
    EXPECT_EQ(player.LengthMs(), 2000);
    ASSERT_TRUE(waitForEnd());
    const Wav w = finish(dir / "stream.wav");
    EXPECT_NEAR(w.seconds, 2.0, 0.03);
    EXPECT_NEAR(w.frequency, 440, 5);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
}

TEST_F(LibraryTest, BadInputEndsCleanly)
{
    std::string garbage(20'000, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
    player.setStreamName(dir.write("garbage.mp3", garbage));
    try {
        player.OpenStream();
        ADD_FAILURE() << "garbage opened";
    } catch (const TMPEGError& e) {
        EXPECT_EQ(e.ErrorCode, 3);
    }
    player.setStreamName(dir / "missing.mp3");
    EXPECT_THROW(player.OpenStream(), TMPEGError);
    const std::string whole = readAll(encodeTone(dir, "t.mp3", 440, 3));
    player.setStreamName(dir.write("truncated.mp3", whole.substr(0, whole.size() / 3)));
    toFile(dir / "t.wav");
    player.StartPlay();
    ASSERT_TRUE(waitForEnd());
    EXPECT_NEAR(finish(dir / "t.wav").seconds, 1.0, 0.1);
}

TEST(MpegLibrary, LastErrorTellsTheCallersLastCall)
{
    DynamicLibrary library;
    ASSERT_TRUE(library.load(std::string(CANTOREL_BIN_DIR) + "/mpeg.so"));
    const auto entry = [&](const char* name) { return library.symbol(name); };
    const auto lastError = reinterpret_cast<decltype(&LastError)>(entry("LastError"));
    ASSERT_NE(reinterpret_cast<decltype(&init)>(entry("init"))(), 0);
    reinterpret_cast<decltype(&Open)>(entry("Open"))("/nonexistent.mp3", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr);
    EXPECT_EQ(lastError(), MPEG_ERR_INPUT);
    // Another thread's calls are not the caller's.
    std::int32_t seenElsewhere = -1;
    std::thread([&] { seenElsewhere = lastError(); }).join();
    EXPECT_EQ(seenElsewhere, MPEG_OK);
    // The four information entries are calls too.
    for (const char* name : {"GetFrequency", "GetBitrate", "GetStereoMode", "GetLayer"}) {
        reinterpret_cast<decltype(&Open)>(entry("Open"))("/nonexistent.mp3", 0, nullptr, nullptr, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr);
        reinterpret_cast<decltype(&GetLayer)>(entry(name))();
        EXPECT_EQ(lastError(), MPEG_OK) << name;
    }
    reinterpret_cast<decltype(&deinit)>(entry("deinit"))();
}

TEST(MpegLibrary, NoSoundServerIsAnOutputFailure)
{
    TempDir dir;
    const std::string mp3 = encodeTone(dir, "a.mp3", 440, 1);
    dir.write("empty.conf", "");
    // libout123's output modules leak a little when they fail to open; that is theirs,
    // and the leak check would only bury the message under it.
    const ProcessResult r = runProcess(builtProgram("cantorel-cli"), {"play", mp3},
                                       {"PULSE_SERVER=unix:/nonexistent/socket",
                                        "ALSA_CONFIG_PATH=" + dir / "empty.conf", "ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "5 Output device failure\n");
}

TEST(MpegLibrary, PlaysToTheSoundServer)
{
    // The test script starts a PulseAudio server with a null sink and names it here.
    const char* sink = std::getenv("CANTOREL_TEST_SINK");
    if (!sink)
        GTEST_SKIP() << "no PulseAudio null sink (scripts/test.sh starts one)";
    TempDir dir;
    const std::string mp3 = encodeTone(dir, "a.mp3", 440, 2, {"-b", "128", "--tt", "Sea Song", "--add-id3v2"});
    const std::string recording = dir / "rec.wav";
    const pid_t recorder = ::fork();
    if (recorder == 0) {
        ::execlp("parecord", "parecord", ("--device=" + std::string(sink) + ".monitor").c_str(), "--file-format=wav",
                 recording.c_str(), nullptr);
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ProcessResult r;
    std::thread player([&] { r = runProcess(builtProgram("cantorel-cli"), {"play", mp3}); });
    // While it plays, the sound server names the stream's program.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const std::string streams = runProcess("/usr/bin/pactl", {"list", "sink-inputs"}).out;
    player.join();
    EXPECT_NE(streams.find("application.name = \"Cantorel\""), std::string::npos) << streams;
    EXPECT_NE(streams.find("media.name = \"Sea Song\""), std::string::npos) << streams; // the track's title
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(recorder, SIGINT);
    ::waitpid(recorder, nullptr, 0);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("end\n"), std::string::npos);
    const Wav w = analyse(readAll(recording));
    EXPECT_GT(w.seconds, 1.5);
    EXPECT_GT(w.rms, 0.05); // not silence
}

namespace {

// An APE tag of `items` (no header), as taggers append it after the audio.
std::string apeTag(const std::vector<std::pair<std::string, std::string>>& items)
{
    const auto le32 = [](std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string body;
    for (const auto& [key, value] : items) {
        le32(body, static_cast<std::uint32_t>(value.size()));
        le32(body, 0);
        body += key + '\0' + value;
    }
    std::string tag = body + "APETAGEX";
    le32(tag, 2000);
    le32(tag, static_cast<std::uint32_t>(body.size() + 32));
    le32(tag, static_cast<std::uint32_t>(items.size()));
    le32(tag, 0);
    return tag + std::string(8, '\0');
}

} // namespace

TEST_F(LibraryTest, ReplayGainScalesTracksThatCarryIt)
{
    const std::vector<std::string> plain{"-b", "128", "--noreplaygain"};
    const auto tagged = [&](const std::string& name, std::vector<std::string> frames) {
        std::vector<std::string> options = plain;
        for (const std::string& f : frames)
            options.insert(options.end(), {"--tv", "TXXX=" + f});
        return encodeTone(dir, name, 440, 1, options);
    };
    const std::string reference = encodeTone(dir, "plain.mp3", 440, 1, plain);
    const std::string id3 = tagged("id3.mp3", {"replaygain_track_gain=-6.02 dB", "replaygain_album_gain=-12.04 dB"});
    const std::string loud = tagged("loud.mp3", {"replaygain_track_gain=+20.00 dB", "replaygain_track_peak=0.305"});
    std::string ape = readAll(reference) + apeTag({{"Replaygain_Track_Gain", "-6.02 dB"}}) + "TAG" +
                      std::string(125, '\0'); // an ID3v1 block after the APE tag
    const std::string apeFile = dir.write("ape.mp3", ape);
    const std::string lame = encodeTone(dir, "lame.mp3", 440, 1, {"-b", "128"}); // the LAME header's own gain
    struct Case {
        const char* setting;
        std::string file;
        double ratio; // of the RMS to the track played without ReplayGain; 0: not 1
    };
    const std::vector<Case> cases = {
        {"off", id3, 1.0},
        {"track", id3, 0.5},
        {"album", id3, 0.25},
        {"track 6.02", id3, 1.0},       // the pre-amp adds to the gain
        {"track 6.02", reference, 1.0}, // and leaves tracks without a gain alone
        {"track", apeFile, 0.5},
        {"album", apeFile, 1.0},    // no album gain
        {"track", loud, 1 / 0.305}, // +20 dB held to what the peak allows
        {"track", lame, 0},
    };
    int run = 0;
    const auto rms = [&](const std::string& setting, const std::string& file) {
        ::setenv("CANTOREL_REPLAYGAIN", setting.c_str(), 1);
        player.setStreamName(file);
        const std::string out = dir / ("out" + std::to_string(++run) + ".wav");
        toFile(out);
        ended = false;
        player.StartPlay();
        EXPECT_TRUE(waitForEnd());
        return finish(out).rms;
    };
    const double unchanged = rms("off", reference);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setting) + " " + c.file);
        const double ratio = rms(c.setting, c.file) / unchanged;
        if (c.ratio == 0)
            EXPECT_GT(std::abs(ratio - 1), 0.05) << ratio;
        else
            EXPECT_NEAR(ratio, c.ratio, c.ratio * 0.03);
    }
    ::unsetenv("CANTOREL_REPLAYGAIN");
}
