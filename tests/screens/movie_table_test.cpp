// The movie-table format: both keyword sets, letter case, the limits of items, lines, strings
// and numbers, and the click-area hit test.
#include "screens/movie_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SMovieTable Parse(const std::string& text, EMovieTableKeywords keywords, SMovieTable table = {}) {
    ParseMovieTable(text.data(), text.size(), keywords, &table);
    return table;
}

const std::string kEveryKeyword =
    "movie \"Movie/A.mpg\"\r\n"
    "LOOPENDTABLE \"Movie/B.txt\"\n"
    "\n"
    "loopnum 3\n"
    "UpMovieFlag 12\n"
    "cursortype 1\n"
    "FlagNo 9\n"
    "ElseTable \"Movie/Else.txt\"\n"
    "Unknown 1 2 3\n"
    "clickitem\n"
    "\tClickRect 10 20 30 40\n"
    "  TABLE \"Movie/C.txt\"\n"
    "  upflag 2\n"
    "  FlagNo 300\n"
    "  ElseTable \"Movie/D.txt\"\n"
    "  Movie \"not here\"\n"
    "end\n"
    "End\n"
    "Movie \"after the end\"\n";

TEST(MovieTable, EachKeywordSetReadsItsOwnKeywordsInAnyCase) {
    const SMovieTable story = Parse(kEveryKeyword, EMovieTableKeywords::Story);
    EXPECT_STREQ(story.movie, "Movie/A.mpg");
    EXPECT_STREQ(story.loopEndTable, "Movie/B.txt");
    EXPECT_EQ(story.loopCount, 3);
    EXPECT_EQ(story.movieFlag, 12);
    EXPECT_EQ(story.cursorType, kHandCursor);
    EXPECT_EQ(story.flagNumber, -1);
    EXPECT_EQ(story.elseSwitch, 0);
    ASSERT_EQ(story.itemCount, 1);
    const CMovieClickItem& item = story.items[0];
    EXPECT_EQ((std::vector<int32_t>{item.left, item.top, item.right, item.bottom}), (std::vector<int32_t>{10, 20, 30, 40}));
    EXPECT_STREQ(item.table, "Movie/C.txt");
    EXPECT_EQ(item.resultFlag, 2);
    EXPECT_EQ(item.elseSwitch, 0);

    const SMovieTable gallery = Parse(kEveryKeyword, EMovieTableKeywords::Gallery);
    EXPECT_STREQ(gallery.movie, "Movie/A.mpg");
    EXPECT_EQ(gallery.loopCount, 3);
    EXPECT_EQ(gallery.movieFlag, kNoMovieFlag);
    EXPECT_EQ(gallery.cursorType, kClickCursor);
    EXPECT_EQ(gallery.flagNumber, 9);
    EXPECT_EQ(gallery.elseSwitch, 1);
    EXPECT_STREQ(gallery.elseTable, "Movie/Else.txt");
    ASSERT_EQ(gallery.itemCount, 1);
    EXPECT_EQ(gallery.items[0].resultFlag, kNoResultFlag);
    EXPECT_EQ(gallery.items[0].flagNumber, 300 & 0xFF) << "kept as one byte";
    EXPECT_STREQ(gallery.items[0].elseTable, "Movie/D.txt");
}

TEST(MovieTable, NumbersOutOfRangeKeepTheDefaults) {
    const std::pair<std::string, int32_t> movieFlags[] = {
        {"0", 0}, {"126", 126}, {"127", kNoMovieFlag}, {"-5", kNoMovieFlag}, {"x", 0}, {"", 0},
        {"4294967297", kNoMovieFlag}, {"-4294967295", kNoMovieFlag}};
    for (const auto& [text, expected] : movieFlags)
        EXPECT_EQ(Parse("UPMovieFlag " + text + "\n", EMovieTableKeywords::Story).movieFlag, expected) << text;
    const std::pair<std::string, int32_t> cursors[] = {{"1", kHandCursor}, {"5", kClickCursor}, {"-1", kClickCursor}};
    for (const auto& [text, expected] : cursors)
        EXPECT_EQ(Parse("CursorType " + text + "\n", EMovieTableKeywords::Story).cursorType, expected) << text;
    EXPECT_EQ(Parse("LoopNum many\n", EMovieTableKeywords::Story).loopCount, 0);
    const SMovieTable wide = Parse("ClickItem\nUPFlag 4294967299\nClickRect 1 -4294967296 99999999999 0\nEnd\n",
                                   EMovieTableKeywords::Story);
    ASSERT_EQ(wide.itemCount, 1);
    EXPECT_EQ(wide.items[0].resultFlag, INT32_MAX) << "saturated, so no result byte takes it";
    EXPECT_EQ(wide.items[0].top, INT32_MIN);
    EXPECT_EQ(wide.items[0].right, INT32_MAX);
}

TEST(MovieTable, AFifthItemIsReadThroughItsEndAndDropped) {
    std::string text;
    for (int i = 1; i <= 5; ++i) text += "ClickItem\nClickRect " + std::to_string(i) + " 0 0 0\nEnd\n";
    text += "Movie \"M\"\nClickItem\nClickRect 9 9 9 9\n";  // the file ends inside a block
    const SMovieTable table = Parse(text, EMovieTableKeywords::Story);
    ASSERT_EQ(table.itemCount, 4);
    EXPECT_EQ(table.items[3].left, 4);
    EXPECT_STREQ(table.movie, "M") << "the fifth block's End did not end the table";
}

TEST(MovieTable, LongStringsAreCutAndLongLinesSkipped) {
    const std::string longName(300, 'n');
    EXPECT_EQ(std::string(Parse("Movie \"" + longName + "\"\n", EMovieTableKeywords::Story).movie),
              longName.substr(0, kQuotedTokenSize - 1));
    // A line of 1023 bytes is read; a longer one is skipped whole, its tail included.
    const std::string fits = "LoopNum 2" + std::string(kMovieTableLineMax - 9, ' ');
    EXPECT_EQ(Parse(fits + "\n", EMovieTableKeywords::Story).loopCount, 2);
    const SMovieTable table = Parse(fits + " End\nLoopNum 5\nMovie \"after\"\n", EMovieTableKeywords::Story);
    EXPECT_EQ(table.loopCount, 5);
    EXPECT_STREQ(table.movie, "after");
}

TEST(MovieTable, TheLastItemHoldingThePointWinsWithItsEdges) {
    SMovieTable table;
    const SRect areas[] = {{0, 0, 100, 100}, {100, 100, 50, 50}, {200, 200, 300, 300}};
    for (const SRect& area : areas) {
        CMovieClickItem& item = table.items[table.itemCount++];
        item.left = area.left;
        item.top = area.top;
        item.right = area.right;
        item.bottom = area.bottom;
    }
    const std::pair<SPoint, int32_t> points[] = {{{0, 0}, 0},    {{100, 100}, 1},  {{75, 60}, 1},  {{50, 101}, -1},
                                                 {{300, 300}, 2}, {{301, 300}, -1}, {{-1, 10}, -1}, {{200, 250}, 2}};
    for (const auto& [point, expected] : points)
        EXPECT_EQ(FindClickItem(table, point), expected) << point.x << ", " << point.y;
}

}  // namespace
