#include "core/platform/CompactString.h"

#include "core/platform/BlockText.h"
#include "core/platform/TextPool.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace cantorel;

TEST(CompactString, HoldsAnyTextInsideOrOnTheHeap)
{
    for (const std::string& text : {std::string(), std::string("a"), std::string(CompactString::InlineCapacity, 's'),
                                    std::string(CompactString::InlineCapacity + 1, 't'), std::string(16, 'y'),
                                    std::string(300, 'z'), std::string("with\0nul", 8)}) {
        CompactString s(text);
        EXPECT_EQ(s.view(), text);
        EXPECT_EQ(s.size(), text.size());
        EXPECT_EQ(s.c_str()[text.size()], '\0');
        CompactString copy = s;
        CompactString moved = std::move(copy);
        EXPECT_EQ(moved, text);
        EXPECT_TRUE(copy.empty()); // NOLINT: a moved-from string is empty
        // Assigned a part of itself, and then something of the other kind.
        moved = moved.view().substr(text.size() / 2);
        EXPECT_EQ(moved, text.substr(text.size() / 2));
        const bool inside = text.size() <= CompactString::InlineCapacity;
        moved = inside ? std::string(40, 'l') : std::string("short");
        EXPECT_EQ(moved.str(), inside ? std::string(40, 'l') : std::string("short"));
    }
    EXPECT_EQ(CompactString("dir") + "/" + CompactString("name.mp3"), "dir/name.mp3");
}

// A string that borrows a pooled text never outlives the pool through a copy or a move:
// each of them owns its own block, and the pool may go (ASan sees any read after that).
TEST(CompactString, CopiesAndMovesOfABorrowedTextOwnTheirOwn)
{
    // The longest texts are not borrowed but copied.
    const std::string texts[] = {"short", std::string(16, 'y'), std::string(300, 'z'),
                                 std::string(CompactString::BorrowLimit, 'b'),
                                 std::string(CompactString::BorrowLimit + 1, 'c')};
    std::vector<CompactString> copies, moves, assigned;
    {
        TextPool pool;
        for (const std::string& text : texts) {
            CompactString borrowed;
            borrowed.borrow(pool.keep(text));
            EXPECT_EQ(borrowed.borrowed(),
                      text.size() > CompactString::InlineCapacity && text.size() <= CompactString::BorrowLimit);
            EXPECT_EQ(borrowed.view(), text);
            EXPECT_EQ(borrowed.c_str()[text.size()], '\0');
            copies.push_back(borrowed);
            CompactString other("something else entirely, and long");
            other = std::move(borrowed);
            assigned.push_back(std::move(other));
            CompactString again;
            again.borrow(pool.keep(text));
            moves.emplace_back(std::move(again));
        }
    }
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        for (const auto* kept : {&copies, &moves, &assigned}) {
            EXPECT_EQ((*kept)[i], texts[i]);
            EXPECT_FALSE((*kept)[i].borrowed());
        }
    }
}

TEST(TextPool, KeepsTextsOnceAndTakesThemBackToAMark)
{
    TextPool pool;
    const std::string_view album = pool.keep("an album of the collection");
    const std::string_view path = pool.keep("/music/an artist/an album/01 - a track.mp3");
    // Texts met again soon after are kept once, and so is a text met again as often as
    // an album's name is, with texts of each track between.
    for (int track = 0; track < 20; ++track) {
        for (int own = 0; own < 5; ++own)
            pool.keep("track " + std::to_string(track) + " text " + std::to_string(own));
        EXPECT_EQ(pool.keep(std::string("an album of the collection")).data(), album.data());
    }
    // A text that ends one kept just before is read there, and needs no room of its own.
    const std::string_view description = pool.keep("An Artist - The Title");
    const std::size_t before = pool.mark().used;
    const std::string_view title = pool.keep(std::string("The Title"));
    EXPECT_EQ(title, "The Title");
    EXPECT_EQ(title.data(), description.data() + description.size() - title.size());
    EXPECT_EQ(pool.mark().used, before);
    EXPECT_NE(pool.keep(std::string("The Titl")).data(), description.data() + 12); // not an end
    const TextPool::Mark mark = pool.mark();
    const std::size_t capacity = pool.capacity();
    const char* afterMark = pool.keep("the first text after the mark").data();
    const std::string huge(200000, 'h');
    EXPECT_EQ(pool.keep(huge), huge);
    for (int i = 0; i < 5000; ++i)
        EXPECT_EQ(pool.keep("text " + std::to_string(i)), "text " + std::to_string(i));
    EXPECT_GT(pool.capacity(), capacity);
    pool.rewind(mark);
    EXPECT_EQ(pool.capacity(), capacity);
    EXPECT_EQ(path, "/music/an artist/an album/01 - a track.mp3");
    // What comes after the mark is kept anew where the forgotten texts were.
    const std::string_view next = pool.keep("the next text kept");
    EXPECT_EQ(next.data(), afterMark);
    EXPECT_EQ(next.data()[next.size()], '\0');
    EXPECT_EQ(album, "an album of the collection");
}

// Each run stays whole in one block: a run that outgrows its block moves to the next with
// what it held, and every run reads back as it was appended.
TEST(BlockText, KeepsEachRunWholeAcrossBlocks)
{
    BlockText text;
    std::vector<std::pair<std::uint32_t, std::string>> runs;
    for (int i = 0; text.bytes() < 3 * BlockText::BlockSize; ++i) {
        text.beginRun();
        std::string run;
        for (int part = 0; part < 1 + i % 7; ++part) {
            const std::string piece(1 + static_cast<std::size_t>(i * 7919 + part * 104729) % 9000,
                                    static_cast<char>('a' + (i + part) % 26));
            text.append(piece);
            run += piece;
        }
        ASSERT_EQ(text.runLength(), run.size());
        runs.emplace_back(text.runStart(), run);
    }
    for (const auto& [at, run] : runs)
        EXPECT_EQ(text.view(at, run.size()), run);
    BlockText moved = std::move(text);
    EXPECT_EQ(moved.view(runs.front().first, runs.front().second.size()), runs.front().second);
    EXPECT_EQ(text.bytes(), 0u); // NOLINT: a moved-from text is empty
}
