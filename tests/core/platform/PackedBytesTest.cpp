#include "core/platform/PackedBytes.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

using namespace cantorel;

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File fileOf(const std::string& bytes)
{
    File file(std::tmpfile(), std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}

} // namespace

// A file is read a block at a time and gives what the same bytes in memory give, with
// numbers and texts across the blocks' seams; a file cut short, or a text longer than a
// block, fails the reading.
TEST(PackedBytes, AFileReadInBlocksGivesWhatMemoryGives)
{
    const std::string near(PackedReader::BlockSize - 3, 'a'); // the next number crosses a seam
    PackedWriter w;
    w.text("first");
    w.text(near);
    w.number(1ULL << 40);
    w.integer(-12345);
    w.text(std::string(PackedReader::BlockSize, 'b')); // a whole block
    w.number(7);
    w.text("last");
    const std::string bytes = w.take();

    File file = fileOf(bytes);
    PackedReader from(file.get());
    PackedReader memory(bytes);
    for (PackedReader* in : {&memory, &from}) {
        EXPECT_EQ(in->text(), "first");
        const std::string_view first = in->text();
        EXPECT_EQ(first, near);
        EXPECT_EQ(in->number(), 1ULL << 40);
        EXPECT_EQ(first.size(), near.size()); // a text stays while numbers are read
        EXPECT_EQ(in->integer(), -12345);
        EXPECT_EQ(in->text(), std::string(PackedReader::BlockSize, 'b'));
        EXPECT_EQ(in->number(), 7u);
        EXPECT_EQ(in->text(), "last");
        EXPECT_TRUE(in->ok());
        EXPECT_TRUE(in->atEnd());
    }

    File cut = fileOf(bytes.substr(0, bytes.size() - 2));
    PackedReader short_(cut.get());
    while (short_.ok() && !short_.atEnd())
        short_.text();
    EXPECT_FALSE(short_.ok());

    PackedWriter big;
    big.text(std::string(PackedReader::BlockSize + 1, 'c'));
    File tooLong = fileOf(big.take());
    PackedReader longer(tooLong.get());
    longer.text();
    EXPECT_FALSE(longer.ok());
}

// A writer with a sink hands over the same bytes as one in memory, a block at a time; once
// the sink fails it is not asked again, and finish() says so.
TEST(PackedBytes, AWriterWithASinkHandsOverWhatMemoryHolds)
{
    const auto fill = [](PackedWriter& w) {
        for (int i = 0; i < 3000; ++i) {
            w.text(std::string(1000, static_cast<char>('a' + i % 26)));
            w.integer(-i);
        }
    };
    PackedWriter memory;
    fill(memory);
    const std::string whole = memory.take();

    std::string handed;
    int calls = 0;
    PackedWriter sunk([&](std::string_view bytes) {
        ++calls;
        EXPECT_LE(bytes.size(), PackedWriter::BlockSize + 1100);
        handed += bytes;
        return true;
    });
    fill(sunk);
    EXPECT_TRUE(sunk.finish());
    EXPECT_EQ(handed, whole);
    EXPECT_GE(calls, 3);

    int failing = 0;
    PackedWriter broken([&](std::string_view) {
        ++failing;
        return false;
    });
    fill(broken);
    EXPECT_FALSE(broken.finish());
    EXPECT_EQ(failing, 1);
}
