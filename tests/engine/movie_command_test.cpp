// The engine's movie object: MOVI on a page, the movie played to its end or skipped, its jump
// target, the failure message, and what the page interpreter and the input step do around it.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "tests/support/fake_movies.h"

namespace {

// ムービーの再生に失敗しました
const std::string kPlayFailed =
    "Error!!|\x83\x80\x81\x5B\x83\x72\x81\x5B\x82\xCC\x8D\xC4\x90\xB6\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82"
    "\xB5\x82\xBD";
constexpr uint32_t kMovieMs = 400;  // ten frames of 40 ms

class MovieCommandTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        UseFakeMovies({{"Movie/m.mpg", SFakeMovie{7, 10, 40, true, 0}}});
        WriteScript("b.vsf", {CTestPage().Text("", "B")});
    }
    void TearDown() override {
        UseRealMovies();
        EngineTest::TearDown();
    }
};

TEST_F(MovieCommandTest, AMovieWithoutAFileReportsOnceAndGoesOnAtItsJumpTarget) {
    ASSERT_EQ(StartScript({CTestPage().Movie("Movie/missing.mpg", "b.vsf").Text("", "A"), CTestPage()}), 0);
    EXPECT_EQ(engine->movie.active, 1);
    EXPECT_EQ(engine->movie.error, 1);
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{kPlayFailed});
    EXPECT_EQ(engine->messageLog.Count(), 0) << "a movie page is not logged";
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(std::string(engine->scriptName), "b.vsf");
    EXPECT_EQ(engine->movie.active, 0);
    EXPECT_TRUE(TakeShownMessages().empty());
}

TEST_F(MovieCommandTest, AMoviePlaysToItsEndOnTheClockThenTheNextPageRuns) {
    ASSERT_EQ(StartScript({CTestPage().Movie("Movie/m.mpg").Text("", "A"), CTestPage().Text("", "C")}), 0);
    ASSERT_EQ(engine->movie.active, 1);
    EXPECT_EQ(engine->movie.error, 0);
    EXPECT_EQ(engine->messageLog.Count(), 0);
    const uint32_t start = GetTimeMs();
    for (uint32_t t = 16; t < kMovieMs; t += 16) Frame();
    EXPECT_EQ(GetTimeMs() - start, 384u);
    EXPECT_EQ(engine->pageNumber, 1u) << "the movie is still on";
    Frame();
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_EQ(engine->movie.active, 0);
}

TEST_F(MovieCommandTest, InputSkipsTheMovieUnlessItCarriesSrefOrTheInputIsLocked) {
    struct SCase {
        bool noSkip;
        bool locked;
        CInputState input;
        bool skipped;
    };
    CInputState right = {};
    right.rightUp = 1;
    const SCase cases[] = {
        {false, false, Click(), true},          {false, false, right, true},
        {false, false, Key(DIK_RETURN), true},  {false, false, Key(DIK_NUMPADENTER), true},
        {false, false, Key(DIK_ESCAPE), true},  {false, false, Key(DIK_SPACE), false},
        {true, false, Click(), false},          {true, false, Key(DIK_ESCAPE), false},
        {false, true, Click(), false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "noSkip " << c.noSkip << " locked " << c.locked);
        CTestPage page = CTestPage().Movie("Movie/m.mpg", "b.vsf", c.noSkip).Text("", "A");
        if (c.locked) page.Wait("KLOK", 5000, false, false);
        ASSERT_EQ(StartScript({page}), 0);
        Frame();
        Press(c.input);
        EXPECT_EQ(engine->movie.active, c.skipped ? 0 : 1);
        EXPECT_EQ(std::string(engine->scriptName), c.skipped ? "b.vsf" : "a.vsf");
        engine->Release();
    }
}

TEST_F(MovieCommandTest, FastSkipAndSkipModeLeaveTheEffectsOfAMoviePageRunning) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF000000u);
    const CTestPage moviePage = CTestPage().Movie("Movie/m.mpg").Layer(0, "Image/bg.teyl", 2, 0, 2000).Text("", "M");
    for (const bool skipMode : {false, true}) {
        SCOPED_TRACE(skipMode ? "skip mode" : "Ctrl");
        ASSERT_EQ(StartScript({CTestPage().Text("", "A"), moviePage}), 0);
        Frame();
        if (skipMode) {
            engine->readHistory.skipUnread = 1;
            engine->SetSkipMode(1);
            Frame();
        } else {
            Press(Key(DIK_LCONTROL));
        }
        ASSERT_EQ(engine->pageNumber, 2u);
        EXPECT_EQ(engine->movie.active, 1);
        EXPECT_NE(engine->layers[0].effect, nullptr) << "the transition under the movie was not finished";
        // While the movie runs, Ctrl and skip mode do not run pages.
        Press(Key(DIK_LCONTROL));
        EXPECT_EQ(engine->pageNumber, 2u);
        engine->Release();
    }
}

TEST_F(MovieCommandTest, AJumpTakenOnTheMoviePageReleasesTheMovie) {
    ASSERT_EQ(StartScript({CTestPage().Movie("Movie/m.mpg").Jump({{0, {}, {}, "b.vsf"}}).Text("", "A")}), 0);
    EXPECT_EQ(std::string(engine->scriptName), "b.vsf");
    EXPECT_EQ(engine->movie.active, 0);
    EXPECT_EQ(engine->messageLog.Count(), 1) << "b's first page is logged as usual";

    // A movie whose jump is cut off at the chain's limit (a first page that jumps to its own
    // script) is released too: an unskippable movie left open would hold the story for ever.
    WriteScript("loop.vsf", {CTestPage().Movie("Movie/m.mpg", "", true).Jump({{0, {}, {}, "loop.vsf"}})});
    EXPECT_EQ(engine->Load("loop.vsf"), -1);
    EXPECT_EQ(engine->movie.active, 0);
    Frame();
    EXPECT_EQ(engine->movie.active, 0);
}

}  // namespace
