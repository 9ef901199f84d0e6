#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

namespace {

using InputTest = EngineTest;

std::vector<CTestPage> TextPages(int32_t count, int32_t characters = 4) {
    std::vector<CTestPage> pages;
    for (int32_t i = 0; i < count; ++i) pages.push_back(CTestPage().Text("", Hiragana(characters)));
    return pages;
}

TEST_F(InputTest, AClickCompletesTheTextBeforeItAdvances) {
    settings.textSpeed = 50;
    ASSERT_EQ(StartScript(TextPages(2, 10)), 0);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 0u);
    EXPECT_EQ(Press(Click()), 0);
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->messageWindow.revealStart, kRevealShowAll);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 1u);
    EXPECT_EQ(Press(Click()), 0);
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(InputTest, AClickDuringATransitionOnlyFinishesIt) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF000000u);
    CTestPage page = CTestPage().Layer(0, "Image/bg.teyl", 2, 0, 2000).Text("", "x", TextFlag::Niwf);
    ASSERT_EQ(StartScript({page, CTestPage().Text("", "y")}), 0);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 1u);
    EXPECT_EQ(g_bPageEffectsDone, 0u);
    Press(Click());
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->layers[0].visible, 1u);
    EXPECT_EQ(engine->layers[0].effect, nullptr);
    Frame();
    Press(Click());
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(InputTest, AutoModeWaitsTheAutoUnitPerCharacterFromTheRevealStart) {
    ASSERT_EQ(StartScript(TextPages(3, 20)), 0);
    engine->autoMode = 1;
    Frame(nullptr, 1);  // the reveal starts on this frame
    const uint32_t revealStart = engine->messageWindow.revealStart;
    ASSERT_EQ(revealStart, g_GameClock);
    EXPECT_EQ(engine->messageWindow.textGlyphCount, 20);
    while (g_GameClock - revealStart < 4999) {
        Frame(nullptr, std::min<uint32_t>(16, 4999 - (g_GameClock - revealStart)));
        ASSERT_EQ(engine->pageNumber, 1u) << g_GameClock - revealStart;
    }
    Frame(nullptr, 1);
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_EQ(g_GameClock - revealStart, 5000u);

    // A click ends auto mode and then acts as a click of the text wait.
    Frame(nullptr, 1);
    ASSERT_EQ(g_bPageTextDone, 1u);
    EXPECT_EQ(Press(Click()), 0);
    EXPECT_EQ(engine->autoMode, 0);
    EXPECT_EQ(engine->pageNumber, 3u);
    Idle(6000);
    EXPECT_EQ(engine->pageNumber, 3u);
}

TEST_F(InputTest, TheInputLockStopsClicksButNotAutoOrSkipMode) {
    CTestPage locked = CTestPage().Text("", Hiragana(2)).Wait("KLOK", 3000, false, false);
    std::vector<CTestPage> pages = {locked, locked, locked, CTestPage().Text("", "end")};
    ASSERT_EQ(StartScript(pages), 0);
    const uint32_t pageStart = g_PageStartClock;
    for (int i = 0; i < 21; ++i) {
        Press(i % 3 == 0 ? Click() : i % 3 == 1 ? Key(DIK_SPACE) : Wheel(120), 100);
    }
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->windowHiddenByUser, 0);
    EXPECT_EQ(engine->messageLog.viewOpen, 0);
    Press(Key(DIK_LCONTROL));
    EXPECT_EQ(engine->pageNumber, 1u);
    Idle(3000 - (g_GameClock - pageStart) - 20);
    EXPECT_TRUE(engine->IsInputLocked());
    Idle(40);
    EXPECT_FALSE(engine->IsInputLocked());
    Press(Click());
    EXPECT_EQ(engine->pageNumber, 2u);

    // Auto mode advances while locked.
    engine->autoMode = 1;
    Idle(600);
    EXPECT_EQ(engine->pageNumber, 3u);
    EXPECT_TRUE(engine->IsInputLocked());

    // Skip mode too (the pages have been read before: every page of this script counts).
    engine->autoMode = 0;
    engine->readHistory.skipOn = 1;
    engine->readHistory.skipUnread = 1;
    Frame();
    EXPECT_EQ(engine->pageNumber, 4u);
    EXPECT_EQ(engine->inputLock.active, 0);  // the last page carries no lock
}

TEST_F(InputTest, LockWithTwfStartsWhenTextAndVoicesAreDone) {
    WriteVoice("Voice/v.wav", 300);
    settings.textSpeed = 20;
    CTestPage page = CTestPage().Text("", Hiragana(10)).Voice(0, "Voice/v.wav").Wait("KLOK", 500, false, true);
    ASSERT_EQ(StartScript({page, CTestPage().Text("", "next")}), 0);
    Frame();
    EXPECT_FALSE(engine->inputLock.HasStarted());
    uint32_t frames = 0;
    while (!(g_bPageTextDone && g_bPageVoiceDone) && frames++ < 300) {
        Frame();
        if (!(g_bPageTextDone && g_bPageVoiceDone)) {
            EXPECT_FALSE(engine->inputLock.HasStarted());
        }
    }
    ASSERT_LT(frames, 300u);
    EXPECT_TRUE(engine->inputLock.HasStarted());
    const uint32_t started = engine->inputLock.start;
    Press(Click());
    EXPECT_EQ(engine->pageNumber, 1u);
    Idle(500 - (g_GameClock - started));
    Press(Click());
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(InputTest, AutomaticAdvanceWithIwfRunsOnceTheTransitionsEnd) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF000000u);
    CTestPage page = CTestPage().Layer(0, "Image/bg.teyl", 2, 0, 400).Text("", "x").Wait("ACTL", 0, true, false);
    ASSERT_EQ(StartScript({page, CTestPage().Text("", "next")}), 0);
    Idle(384);
    EXPECT_EQ(engine->pageNumber, 1u);
    uint32_t frames = 0;
    while (engine->pageNumber == 1 && frames++ < 10) Frame();
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_LE(frames, 3u);
    EXPECT_EQ(engine->autoAdvance.active, 0);  // the next page carries none
}

TEST_F(InputTest, CtrlRunsOnePagePerFrameAndCompletesIt) {
    settings.textSpeed = 100;
    ASSERT_EQ(StartScript(TextPages(4, 10)), 0);
    for (uint32_t expected = 2; expected <= 4; ++expected) {
        EXPECT_EQ(Press(Key(DIK_RCONTROL)), 0);
        EXPECT_EQ(engine->pageNumber, expected);
        EXPECT_EQ(engine->messageWindow.revealStart, kRevealShowAll);
    }
    EXPECT_EQ(Press(Key(DIK_LCONTROL)), 1);
}

TEST_F(InputTest, SkipModeStopsAtTheHighestReadPage) {
    ASSERT_EQ(StartScript(TextPages(6)), 0);
    for (int i = 0; i < 3; ++i) engine->RunPage();  // read up to page 4
    ASSERT_EQ(engine->Load("a.vsf"), 0);          // closing records page 4
    EXPECT_EQ(engine->readHistory.maxPage, 4);
    engine->SetSkipMode(1);
    for (int i = 0; i < 10; ++i) Frame();
    EXPECT_EQ(engine->pageNumber, 4u);
    EXPECT_EQ(engine->IsSkipMode(), 0);

    engine->SetSkipMode(1);
    Press(Click());
    EXPECT_EQ(engine->IsSkipMode(), 0);  // a click ends skip mode, then counts as a click
    EXPECT_EQ(engine->pageNumber, 5u);
}

TEST_F(InputTest, SpaceHidesTheWindowAndTheWheelStepsThroughTheLog) {
    ASSERT_EQ(StartScript(TextPages(3)), 0);
    Frame();
    Press(Key(DIK_SPACE));
    EXPECT_EQ(engine->windowHiddenByUser, 1);
    CInputState right = {};
    right.rightUp = 1;
    Press(right);
    EXPECT_EQ(engine->windowHiddenByUser, 0);
    EXPECT_EQ(engine->pageNumber, 1u);  // any click shows it without advancing

    engine->RunPage();
    engine->RunPage();
    engine->autoMode = 1;
    Press(Wheel(120));
    EXPECT_EQ(engine->messageLog.viewOpen, 1);
    EXPECT_EQ(engine->autoMode, 0);
    EXPECT_EQ(engine->messageLog.shownIndex, 0);
    for (int i = 0; i < 3; ++i) Press(Wheel(120));  // the oldest entry stays
    EXPECT_EQ(engine->messageLog.shownIndex, 2);
    Press(Wheel(-120));
    EXPECT_EQ(engine->messageLog.shownIndex, 1);
    Press(Click());
    EXPECT_EQ(engine->messageLog.viewOpen, 0);
    EXPECT_EQ(engine->pageNumber, 3u);
}

}  // namespace
