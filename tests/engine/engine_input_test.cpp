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
    WriteScript("a.vsf", TextPages(2, 10));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 0u);
    CInputState click = Click();
    EXPECT_EQ(Frame(&click), 0);
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->messageWindow.revealStart, kRevealShowAll);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 1u);
    click = Click();
    EXPECT_EQ(Frame(&click), 0);
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(InputTest, AClickDuringATransitionOnlyFinishesIt) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF000000u);
    CTestPage page;
    page.Layer(0, "Image/bg.teyl", 2, 0, 2000).Text("", "x", TextFlag::Niwf);
    WriteScript("a.vsf", {page, CTestPage().Text("", "y")});
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 1u);
    EXPECT_EQ(g_bPageEffectsDone, 0u);
    CInputState click = Click();
    Frame(&click);
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->layers[0].visible, 1u);
    EXPECT_EQ(engine->layers[0].effect, nullptr);
    Frame();
    click = Click();
    Frame(&click);
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(InputTest, AutoModeWaitsTheAutoUnitPerCharacterFromTheRevealStart) {
    WriteScript("a.vsf", TextPages(3, 20));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
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
    CInputState click = Click();
    EXPECT_EQ(Frame(&click), 0);
    EXPECT_EQ(engine->autoMode, 0);
    EXPECT_EQ(engine->pageNumber, 3u);
    Idle(6000);
    EXPECT_EQ(engine->pageNumber, 3u);
}

TEST_F(InputTest, TheInputLockStopsClicksButNotAutoOrSkipMode) {
    CTestPage locked;
    locked.Text("", Hiragana(2)).Wait("KLOK", 3000, false, false);
    std::vector<CTestPage> pages = {locked, locked, locked, CTestPage().Text("", "end")};
    WriteScript("a.vsf", pages);
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    const uint32_t pageStart = g_PageStartClock;
    for (int i = 0; i < 21; ++i) {
        CInputState input = i % 3 == 0 ? Click() : i % 3 == 1 ? Key(DIK_SPACE) : NoInput();
        input.mouse.lZ = i % 3 == 2 ? 120 : 0;
        Frame(&input, 100);
    }
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->windowHiddenByUser, 0);
    EXPECT_EQ(engine->messageLog.viewOpen, 0);
    CInputState ctrl = Key(DIK_LCONTROL);
    Frame(&ctrl);
    EXPECT_EQ(engine->pageNumber, 1u);
    Idle(3000 - (g_GameClock - pageStart) - 20);
    EXPECT_TRUE(engine->IsInputLocked());
    Idle(40);
    EXPECT_FALSE(engine->IsInputLocked());
    CInputState click = Click();
    Frame(&click);
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
    CTestPage page;
    page.Text("", Hiragana(10)).Voice(0, "Voice/v.wav").Wait("KLOK", 500, false, true);
    WriteScript("a.vsf", {page, CTestPage().Text("", "next")});
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
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
    CInputState click = Click();
    Frame(&click);
    EXPECT_EQ(engine->pageNumber, 1u);
    Idle(500 - (g_GameClock - started));
    click = Click();
    Frame(&click);
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(InputTest, AutomaticAdvanceWithIwfRunsOnceTheTransitionsEnd) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF000000u);
    CTestPage page;
    page.Layer(0, "Image/bg.teyl", 2, 0, 400).Text("", "x").Wait("ACTL", 0, true, false);
    WriteScript("a.vsf", {page, CTestPage().Text("", "next")});
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
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
    WriteScript("a.vsf", TextPages(4, 10));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    for (uint32_t expected = 2; expected <= 4; ++expected) {
        CInputState ctrl = Key(DIK_RCONTROL);
        EXPECT_EQ(Frame(&ctrl), 0);
        EXPECT_EQ(engine->pageNumber, expected);
        EXPECT_EQ(engine->messageWindow.revealStart, kRevealShowAll);
    }
    CInputState ctrl = Key(DIK_LCONTROL);
    EXPECT_EQ(Frame(&ctrl), 1);
}

TEST_F(InputTest, SkipModeStopsAtTheHighestReadPage) {
    WriteScript("a.vsf", TextPages(6));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    for (int i = 0; i < 3; ++i) engine->RunPage();  // read up to page 4
    ASSERT_EQ(engine->Load("a.vsf"), 0);          // closing records page 4
    EXPECT_EQ(engine->readHistory.maxPage, 4);
    engine->SetSkipMode(1);
    for (int i = 0; i < 10; ++i) Frame();
    EXPECT_EQ(engine->pageNumber, 4u);
    EXPECT_EQ(engine->IsSkipMode(), 0);

    engine->SetSkipMode(1);
    CInputState click = Click();
    Frame(&click);
    EXPECT_EQ(engine->IsSkipMode(), 0);  // a click ends skip mode, then counts as a click
    EXPECT_EQ(engine->pageNumber, 5u);
}

TEST_F(InputTest, SpaceHidesTheWindowAndAnyClickShowsItWithoutAdvancing) {
    WriteScript("a.vsf", TextPages(2));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    Frame();
    CInputState space = Key(DIK_SPACE);
    Frame(&space);
    EXPECT_EQ(engine->windowHiddenByUser, 1);
    CInputState right = NoInput();
    right.rightUp = 1;
    Frame(&right);
    EXPECT_EQ(engine->windowHiddenByUser, 0);
    EXPECT_EQ(engine->pageNumber, 1u);
}

TEST_F(InputTest, TheWheelOpensTheLogAndStepsThroughIt) {
    WriteScript("a.vsf", TextPages(3));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    engine->RunPage();
    engine->RunPage();
    engine->autoMode = 1;
    CInputState wheel = NoInput();
    wheel.mouse.lZ = 120;
    Frame(&wheel);
    EXPECT_EQ(engine->messageLog.viewOpen, 1);
    EXPECT_EQ(engine->autoMode, 0);
    EXPECT_EQ(engine->messageLog.shownIndex, 0);
    Frame(&wheel);
    Frame(&wheel);
    EXPECT_EQ(engine->messageLog.shownIndex, 2);
    Frame(&wheel);  // the oldest entry stays
    EXPECT_EQ(engine->messageLog.shownIndex, 2);
    wheel.mouse.lZ = -120;
    Frame(&wheel);
    EXPECT_EQ(engine->messageLog.shownIndex, 1);
    CInputState click = Click();
    Frame(&click);
    EXPECT_EQ(engine->messageLog.viewOpen, 0);
    EXPECT_EQ(engine->pageNumber, 3u);
}

}  // namespace
