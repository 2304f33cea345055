#include "gap_framer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Ticks until a block is due, handing it on; at most `ticks` ticks.
std::string nextblock(GapFramer &framer, int ticks = 5) {
    for (int i = 0; i < ticks; ++i) {
        if (const std::size_t n = framer.tick()) {
            std::string block(framer.front(n));
            framer.handedon(n);
            return block;
        }
    }
    return "<none>";
}

} // namespace

TEST(GapFramer, ABlockIsDueAtTheFirstTickWithoutGrowth) {
    GapFramer framer;
    EXPECT_EQ(framer.tick(), 0u) << "an empty buffer is never due";
    framer.feed("AB");
    EXPECT_EQ(framer.tick(), 0u) << "it grew since the last tick";
    framer.feed("CD");
    EXPECT_EQ(framer.tick(), 0u);
    EXPECT_EQ(framer.tick(), 4u);
    framer.handedon(4);
    EXPECT_TRUE(framer.empty());
    EXPECT_EQ(framer.tick(), 0u);
}

TEST(GapFramer, BytesFedDuringProcessingStayForTheNextBlock) {
    GapFramer framer;
    framer.feed("one");
    framer.tick();
    ASSERT_EQ(framer.tick(), 3u);
    framer.feed("two"); // arrives while "one" is processed
    framer.handedon(3);
    EXPECT_EQ(nextblock(framer), "two");
}

TEST(GapFramer, AFailedBlockComesAgainWithWhatFollowed) {
    GapFramer framer;
    framer.feed("abc");
    framer.tick();
    ASSERT_EQ(framer.tick(), 3u);
    // Not handed on: the bytes stay, and the next quiet tick offers them again.
    EXPECT_EQ(framer.tick(), 3u);
    framer.feed("d");
    EXPECT_EQ(nextblock(framer), "abcd");
}

TEST(GapFramer, ARestartCountsAfreshAndKeepsTheBytes) {
    GapFramer framer;
    framer.feed("xy");
    framer.tick();
    framer.restart();
    EXPECT_EQ(framer.tick(), 0u);
    EXPECT_EQ(framer.tick(), 2u);
}

TEST(GapFramer, APeerThatNeverPausesIsCutAtTheLimit) {
    GapFramer framer;
    framer.feed(std::string(GapFramer::limit - 1, 'a'));
    EXPECT_EQ(framer.dueatlimit(), 0u);
    framer.feed("bc");
    ASSERT_EQ(framer.dueatlimit(), GapFramer::limit);
    framer.handedon(GapFramer::limit);
    EXPECT_EQ(framer.size(), 1u);
    // At a tick as well, growing or not.
    framer.feed(std::string(GapFramer::limit, 'd'));
    EXPECT_EQ(framer.tick(), GapFramer::limit);
}
