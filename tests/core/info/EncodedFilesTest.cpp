#include "core/collection/CollectionItem.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"

#include "support/Mp3Fixture.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

using namespace cantorel;
using namespace cantorel::test;

namespace {

struct Reference {
    double duration = 0;
    int sampleRate = 0;
    double bitrate = 0; // kbit/s
};

// What ffprobe makes of a file.
Reference ffprobe(const std::string& path)
{
    const ProcessResult r =
        runProcess("/usr/bin/ffprobe", {"-v", "error", "-show_entries", "format=duration,bit_rate:stream=sample_rate",
                                        "-of", "default=noprint_wrappers=1", path});
    Reference ref;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "duration")
            ref.duration = std::stod(value);
        else if (key == "sample_rate")
            ref.sampleRate = std::stoi(value);
        else if (key == "bit_rate")
            ref.bitrate = std::stod(value) / 1000;
    }
    return ref;
}

} // namespace

TEST(EncodedFiles, ProbeAgreesWithFfprobe)
{
    TempDir dir;
    const std::string wav = dir.write("tone.wav", sineWav(440, 20));
    const std::string varied = dir.write("varied.wav", sineWav(220, 8) + sineWav(3000, 12).substr(44));
    const struct {
        std::string name;
        std::vector<std::string> options;
        std::string source;
    } cases[] = {
        {"cbr128.mp3", {"--cbr", "-b", "128"}, wav},
        {"cbr64-22k.mp3", {"--cbr", "-b", "64", "--resample", "22.05"}, wav},
        {"vbr.mp3", {"-V", "2"}, varied},
        {"vbr-low.mp3", {"-V", "7", "--resample", "16"}, varied},
        {"id3v2-cbr.mp3",
         {"--cbr", "-b", "192", "--add-id3v2", "--tt", "Both tags", "--tc", std::string(200, 'c')},
         wav},
        {"id3v2-vbr.mp3", {"-V", "4", "--id3v2-only", "--tt", "Only v2"}, varied},
        {"plain-cbr.mp3", {"--cbr", "-b", "96", "-t"}, wav}, // no Info frame: the size rule
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--quiet"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(c.source);
        args.push_back(dir / c.name);
        const ProcessResult lame = runProcess("/usr/bin/lame", args);
        ASSERT_EQ(lame.status, 0) << c.name << ": " << lame.err;
        CollectionItem item;
        item.Path = dir / c.name;
        item.Genre = 255;
        EXPECT_TRUE(ReadTrackInfo(item, *CodePage::byNumber(1252))) << c.name;
        const Reference ref = ffprobe(item.Path);
        EXPECT_EQ(item.Frequency, ref.sampleRate) << c.name;
        EXPECT_NEAR(static_cast<double>(item.Duration), ref.duration, 1.0) << c.name;
        EXPECT_NEAR(item.Bitrate, ref.bitrate, ref.bitrate * 0.05) << c.name;
    }
}
