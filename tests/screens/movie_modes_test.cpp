// The story-movie mode and the movie gallery on fake movies and the fake clock: loops, chained
// tables, click areas with their cursors and results, the gallery's list and pages, and what
// happens when a table or a movie cannot be opened.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/system_data.h"
#include "platform/cursor.h"
#include "platform/input_devices.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "screens/adv_movie_mode.h"
#include "screens/movie_gallery.h"
#include "tests/screens/screen_fixture.h"
#include "tests/support/engine_bytes.h"
#include "tests/support/fake_movies.h"
#include "tools/lib/pack_writer.h"

namespace {

// ファイルのオープンに失敗しました
const std::string kOpenFailed =
    "Error!!|\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC9\x8E\xB8\x94\x73\x82"
    "\xB5\x82\xDC\x82\xB5\x82\xBD\n";

constexpr uint32_t kTagA = 1, kTagB = 2, kTagC = 3;

class MovieModeTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        UseFakeMovies({{"Movie/a.mpg", SFakeMovie{kTagA, 10, 40, true, 0}},    // 400 ms
                       {"Movie/b.mpg", SFakeMovie{kTagB, 5, 40, true, 0}},     // 200 ms
                       {"Movie/c.mpg", SFakeMovie{kTagC, 5, 40, true, 300}}});  // with sound
        std::memset(g_SystemMovieFlags, 0, sizeof g_SystemMovieFlags);
    }
    void TearDown() override {
        UseRealMovies();
        ScreenTest::TearDown();
    }
    static void WriteTable(const std::string& name, const std::string& text) {
        ASSERT_TRUE(WriteFileBytes(AssetFolder() + "/" + name, std::vector<uint8_t>(text.begin(), text.end())));
    }
    bool ShowsMovie(uint32_t tag, int32_t frame) const {
        return Pixel(400, 300) == (FakeMoviePixel(tag, frame) & 0xFFFFFF);
    }
};

class StoryMovieTest : public MovieModeTest {
protected:
    // One tick of mode 4 as the mode machine runs it, with the input given before; then the clock
    // moves on by ms.
    int32_t Tick(uint32_t ms = 15) {
        mode.DrawFrame();
        int32_t result = mode.UpdatePlaying();
        if (result == kMoviePlaying) result = mode.UpdateClickable();
        NextTick(ms);
        return result;
    }
    int32_t Run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            if (const int32_t result = Tick(10); result != kMoviePlaying) return result;
        }
        return kMoviePlaying;
    }
    CAdvMovieMode mode;
};

TEST_F(StoryMovieTest, LoopsThenChainsToTheLoopEndTableWhichCarriesTheLoopsOn) {
    WriteTable("Movie/A.txt", "Movie \"Movie/a.mpg\"\nLoopNum 2\nLoopEndTable \"Movie/B.txt\"\nUPMovieFlag 3\nEnd\n");
    WriteTable("Movie/B.txt", "Movie \"Movie/b.mpg\"\nCursorType 1\nClickItem\nClickRect 200 200 100 100\nUPFlag 3\n"
                              "End\nEnd\n");
    ASSERT_EQ(mode.Init("Movie/A.txt"), 0);
    EXPECT_EQ(Pixel(400, 300), 0x100010u) << "the back buffer starts cleared";
    EXPECT_EQ(Run(395), kMoviePlaying);
    EXPECT_TRUE(ShowsMovie(kTagA, 9));
    EXPECT_EQ(Run(10), kMoviePlaying);
    EXPECT_EQ(mode.loopsPlayed, 1);
    Tick(10);
    EXPECT_TRUE(ShowsMovie(kTagA, 0)) << "rewound";
    EXPECT_EQ(mode.movieFlags[3], 0);
    Run(400);
    EXPECT_STREQ(mode.table.movie, "Movie/b.mpg");
    EXPECT_EQ(mode.movieFlags[3], 1) << "set when the last loop ended";
    EXPECT_EQ(mode.table.loopCount, 2) << "carried over from the table before";
    EXPECT_STREQ(mode.table.loopEndTable, "Movie/B.txt");
    Tick();
    EXPECT_TRUE(ShowsMovie(kTagB, 0));

    // The hand cursor over the click area only; a click on its edge ends the movie with result 3.
    MoveMouse(150, 150);
    EXPECT_EQ(Tick(), kMoviePlaying);
    EXPECT_EQ(GetShownColourCursor(), mode.cursors.Get(EMovieCursor::Hand));
    MoveMouse(201, 150);
    Tick();
    EXPECT_EQ(GetShownColourCursor(), nullptr);
    Click(100, 200);
    EXPECT_EQ(Tick(), kMovieDone);
    EXPECT_EQ(std::vector<uint8_t>(mode.results, mode.results + 5), (std::vector<uint8_t>{0, 0, 0, 1, 0}));
    mode.End();
    EXPECT_EQ(g_SystemMovieFlags[3], 1) << "merged at the end";
    mode.End();  // harmless again
}

TEST_F(StoryMovieTest, EndlessTablesChainOnAClickAndANewStoryMovieStartsWithoutTheOldLoops) {
    WriteTable("Movie/E.txt", "Movie \"Movie/b.mpg\"\nLoopNum 0\nUPMovieFlag 5\nClickItem\nClickRect 0 0 50 50\n"
                              "Table \"Movie/C.txt\"\nEnd\nEnd\n");
    WriteTable("Movie/C.txt", "Movie \"Movie/c.mpg\"\nClickItem\nClickRect 0 0 799 599\nUPFlag 9\nEnd\nEnd\n");
    WriteTable("Movie/L.txt", "Movie \"Movie/b.mpg\"\nLoopNum 1\nLoopEndTable \"Movie/E.txt\"\nEnd\n");
    ASSERT_EQ(mode.Init("Movie/L.txt"), 0);
    mode.End();
    ASSERT_EQ(mode.Init("Movie/E.txt"), 0);
    EXPECT_EQ(Run(1000), kMoviePlaying) << "LoopNum 0 plays without end";
    EXPECT_EQ(mode.loopsPlayed, 4);
    EXPECT_EQ(mode.movieFlags[5], 1);

    Click(25, 25);
    EXPECT_EQ(Tick(), kMoviePlaying);
    EXPECT_STREQ(mode.table.movie, "Movie/c.mpg");
    EXPECT_EQ(mode.table.movieFlag, kNoMovieFlag) << "reset by the chained table";
    MoveMouse(400, 300);
    Tick();
    EXPECT_EQ(GetShownColourCursor(), mode.cursors.Get(EMovieCursor::Click));
    Click(400, 300);
    EXPECT_EQ(Tick(), kMovieDone);
    EXPECT_EQ(std::vector<uint8_t>(mode.results, mode.results + 5), std::vector<uint8_t>(5, 0))
        << "UPFlag 9 names no result byte";
    mode.End();
    EXPECT_EQ(GetShownColourCursor(), nullptr);
}

TEST_F(StoryMovieTest, TablesComeFromMoviePacUnlessLooseAndFailuresShowTheirBox) {
    const std::string pack = AssetFolder() + "/Movie.pac";
    ASSERT_EQ(WritePackArchive(pack, {{"Movie/P.txt", {'M', 'o', 'v', 'i', 'e', ' ', '"', 'M', 'o', 'v', 'i', 'e', '/',
                                                       'a', '.', 'm', 'p', 'g', '"', '\n'}}}),
              0);
    EXPECT_EQ(mode.Init("Movie/P.txt"), 0);
    EXPECT_STREQ(mode.table.movie, "Movie/a.mpg");
    mode.End();
    std::filesystem::remove(pack);
    TakeShownMessages();

    EXPECT_EQ(mode.Init("Movie/P.txt"), -1);
    WriteTable("Movie/M.txt", "Movie \"Movie/none.mpg\"\n");
    mode.End();
    EXPECT_EQ(mode.Init("Movie/M.txt"), -1);
    mode.End();
    WriteTable("Movie/X.txt", "Movie \"Movie/a.mpg\"\nClickItem\nClickRect 0 0 9 9\nTable \"Movie/gone.txt\"\nEnd\n");
    ASSERT_EQ(mode.Init("Movie/X.txt"), 0);
    Click(5, 5);
    EXPECT_EQ(Tick(), kMovieFailed);
    mode.End();
    WriteTable("Movie/N.txt", "LoopNum 3\nEnd\n");
    WriteTable("Movie/Y.txt", "Movie \"Movie/a.mpg\"\nClickItem\nClickRect 0 0 9 9\nTable \"Movie/N.txt\"\nEnd\nEnd\n");
    ASSERT_EQ(mode.Init("Movie/Y.txt"), 0);
    Click(5, 5);
    EXPECT_EQ(Tick(), kMovieFailed) << "a table that names no movie does not play the one before it";
    EXPECT_EQ(TakeShownMessages(), (std::vector<std::string>{kOpenFailed + "\"Movie/P.txt\"",
                                                             kOpenFailed + "\"Movie/none.mpg\"",
                                                             kOpenFailed + "\"Movie/gone.txt\"", kOpenFailed + "\"\""}));
}

class MovieGalleryTest : public MovieModeTest {
protected:
    void SetUp() override {
        MovieModeTest::SetUp();
        std::string list;
        for (int i = 0; i < 22; ++i) list += std::to_string(i == 3 ? 7 : i == 4 ? 500 : 0) + " \"Movie/G.txt\"\n";
        list += "\n-1\n0 \"Movie/G.txt\"\n";
        WriteTable(kMovieListPath, list);
        WriteTable("Movie/G.txt", "Movie \"Movie/b.mpg\"\nLoopNum 1\nEnd\n");
    }
    int32_t Tick(uint32_t ms = 15) {
        const int32_t result = gallery.Frame();
        NextTick(ms);
        return result;
    }
    // Past the fade-in, on the list.
    void Open() {
        ASSERT_EQ(gallery.Init(), 0);
        Click(10, 10);
        Tick();
        NextTick(kKeyGuardMs);
        ASSERT_EQ(gallery.state, kMovieGalleryList);
    }
    CMovieMode gallery;
};

TEST_F(MovieGalleryTest, TheListShowsTwoPagesWithLockedEntriesAndTheKeysPassThem) {
    Open();
    EXPECT_EQ(gallery.listCount, 22) << "a negative flag ends the list";
    MoveMouse(80 + 132 + 5, 75 + 5);  // thumbnail 1
    Tick();
    EXPECT_EQ(gallery.hover, 1);
    Tick();
    EXPECT_SHOWS(80, 75, kTagMovieSheet, 0, 540);                // thumbnail 0
    EXPECT_SHOWS(80 + 132, 75, kTagMovieSheet, 120, 90);         // hovered
    EXPECT_SHOWS(80 + 3 * 132, 75, kTagMovieSheet, 0, 0);        // flag 7 not set: locked
    EXPECT_SHOWS(80 + 4 * 132, 75, kTagMovieSheet, 0, 0);        // flag 500: never set
    EXPECT_SHOWS(280, 493, kTagMovieSheet, 600, 32);             // caption of entry 1
    EXPECT_SHOWS(137, 550, kTagMovieSheet, 406, 58);             // page 1 is shown

    // The keys pass over the locked thumbnails and the button of the page shown.
    const std::pair<int32_t, int32_t> steps[] = {{1, 2}, {2, 5}, {19, 21}, {21, 22}, {23, 0}};
    for (const auto& [from, to] : steps) {
        gallery.hover = from;
        NextTick(kKeyGuardMs);
        PressKey(DIK_RIGHT);
        Tick();
        EXPECT_EQ(gallery.hover, to) << "from " << from;
    }

    NextTick(kKeyGuardMs);
    Click(200, 560);  // page 2
    Tick();
    EXPECT_EQ(gallery.page, 1);
    Tick();
    EXPECT_SHOWS(80, 75, kTagMovieSheet, 0, 900);  // entry 20, four rows further down the sheet
    EXPECT_SHOWS(80 + 2 * 132 + 5, 80, kTagMovieBg2, 80 + 2 * 132 + 5, 80) << "no entry 22";
}

TEST_F(MovieGalleryTest, AChosenMoviePlaysOverAClearedScreenAndGivesTheListBack) {
    Open();
    Click(85, 80);
    Tick();
    ASSERT_EQ(gallery.state, kMovieGalleryPlaying);
    EXPECT_EQ(Pixel(400, 300), 0x100010u);
    Tick();
    EXPECT_TRUE(ShowsMovie(kTagB, 0));
    RightClick();
    Tick();
    EXPECT_EQ(gallery.state, kMovieGalleryPlaying) << "a right click does nothing during a movie";
    for (int i = 0; i < 14; ++i) Tick();
    EXPECT_EQ(gallery.state, kMovieGalleryList) << "LoopNum 1 returns after one play";

    // A click area without a table gives the list back; one with a table chains.
    WriteTable("Movie/G.txt", "Movie \"Movie/a.mpg\"\nClickItem\nClickRect 0 0 99 99\nTable \"Movie/H.txt\"\nEnd\n"
                              "ClickItem\nClickRect 500 500 600 600\nEnd\nEnd\n");
    WriteTable("Movie/H.txt", "Movie \"Movie/b.mpg\"\nLoopEndTable \"Movie/gone.txt\"\nLoopNum 1\n"
                              "ClickItem\nClickRect 500 500 600 600\nEnd\nEnd\n");
    NextTick(kKeyGuardMs);
    Click(85, 80);
    Tick();
    Click(50, 50);
    Tick();
    EXPECT_STREQ(gallery.table.movie, "Movie/b.mpg");
    EXPECT_EQ(gallery.table.loopCount, 1);
    MoveMouse(550, 550);
    Tick();
    EXPECT_EQ(GetShownColourCursor(), gallery.cursors.Get(EMovieCursor::Click));
    Click(550, 550);
    Tick();
    EXPECT_EQ(gallery.state, kMovieGalleryList);
    EXPECT_EQ(GetShownColourCursor(), nullptr);

    // A loop-end table that cannot be opened gives the list back too.
    TakeShownMessages();
    NextTick(kKeyGuardMs);
    Click(85, 80);
    Tick();
    Click(50, 50);
    Tick();
    for (int i = 0; i < 25 && gallery.state == kMovieGalleryPlaying; ++i) Tick();
    EXPECT_EQ(gallery.state, kMovieGalleryList);
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{kOpenFailed + "\"Movie/gone.txt\""});
}

TEST_F(MovieGalleryTest, LeavingFollowsTheHoverAndAMissingListStopsTheStart) {
    const std::pair<SPoint, int32_t> exits[] = {{{510, 560}, kMovieGalleryToPictures}, {{700, 560}, kMovieGalleryToTitle}};
    for (const auto& [button, result] : exits) {
        Open();
        MoveMouse(button.x, button.y);
        Tick();
        RightClick();
        Tick();
        EXPECT_EQ(gallery.state, kMovieGalleryFadeOut);
        EXPECT_EQ(Tick(kGalleryFadeMs), kMovieGalleryRunning);
        EXPECT_EQ(Tick(), result);
        gallery.End();
    }
    std::filesystem::remove(AssetFolder() + "/" + kMovieListPath);
    TakeShownMessages();
    EXPECT_EQ(gallery.Init(), -1);
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{kOpenFailed + "\"System/Extra/MovieTable.txt\""});
}

}  // namespace
