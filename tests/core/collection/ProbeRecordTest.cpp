#include "core/collection/ProbeRecord.h"

#include <gtest/gtest.h>

using namespace cantorel;

TEST(ProbeRecord, RoundTripsAndRejectsAnythingElse)
{
    TrackProbe full;
    full.headerRead = true;
    full.Bitrate = 320;
    full.Frequency = 48000;
    full.FileSize = 7'000'000'123;
    full.Duration = 0;
    full.tag = TrackProbe::Tag{"T", "A", "B", "1999", "C", 17, "", 0, "", 0, 0, 0};
    full.extended = TrackProbe::Tag{"Títle", "", "", "", "", 255, "Synthpop", 12, "Ensemble", 20, 2, 3};
    TrackProbe failed;
    failed.status = fail("Unable to read the tag", 3);
    for (const TrackProbe& probe : {full, failed, TrackProbe{}}) {
        const std::string bytes = ProbeRecord::encode(probe);
        const std::optional<TrackProbe> back = ProbeRecord::decode(bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(ProbeRecord::encode(*back), bytes);
        EXPECT_EQ(back->Duration, probe.Duration);
        EXPECT_EQ(back->status.ok(), probe.status.ok());
        // Cut short, lengthened, or of another version: a miss, never a probe.
        EXPECT_FALSE(ProbeRecord::decode(bytes.substr(0, bytes.size() - 1)));
        EXPECT_FALSE(ProbeRecord::decode(bytes + '\0'));
        EXPECT_FALSE(ProbeRecord::decode(char(bytes[0] + 1) + bytes.substr(1)));
    }
    EXPECT_EQ(ProbeRecord::decode(ProbeRecord::encode(full))->extended->genreText, "Synthpop");
    EXPECT_EQ(ProbeRecord::decode(ProbeRecord::encode(failed))->status.failure().code, 3);
    EXPECT_FALSE(ProbeRecord::decode(""));
    // Each number has one writing: a longer one (64 as two bytes) is no record (found by
    // the fuzz target).
    EXPECT_FALSE(ProbeRecord::decode(std::string("\x04\x01\x00\xc0\x00\xff\x00\x08", 8)));
    // A length past the end, or past any size at all, is no length (found by the fuzz
    // target).
    const std::string record = ProbeRecord::encode(failed);
    const std::string message = failed.status.failure().message;
    const std::size_t lengthAt = record.find(message) - 1; // a short message: one byte
    ASSERT_EQ(static_cast<std::size_t>(record[lengthAt]), message.size());
    for (const std::string& length : {std::string("\x7f"), std::string(9, '\xff') + '\x01', std::string(12, '\xff')}) {
        std::string huge = record;
        huge.replace(lengthAt, 1, length);
        EXPECT_FALSE(ProbeRecord::decode(huge));
    }
}
