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
