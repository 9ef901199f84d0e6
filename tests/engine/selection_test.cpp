#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/clock.h"
#include "platform/input_devices.h"
#include "platform/render_context.h"

namespace {

using SelectionTest = EngineTest;

TEST_F(SelectionTest, AClickBeforeTheVoiceEndsClearsTheWaitButTheChoicesStayHidden) {
    WriteVoice("Voice/long.wav", 3000);
    CTestPage page = CTestPage().Text("", "choose").Voice(0, "Voice/long.wav");
    page.Choices({{"left", "left.vsf"}, {"right", "right.vsf"}});
    WriteScript("right.vsf", {CTestPage().Text("", "went right")});
    ASSERT_EQ(StartScript({page}), 0);
    EXPECT_EQ(engine->choiceWindow.active, 1);
    Idle(200);
    ASSERT_EQ(g_bPageVoiceDone, 0u);
    EXPECT_EQ(engine->choiceWindow.waitForVoice, 1);
    Press(Key(DIK_DOWN));
    EXPECT_EQ(engine->choiceWindow.highlighted, -1);  // the window does not take input yet
    CInputState click = Click();
    click.mouseX = 5;
    click.mouseY = 5;
    Frame(&click);
    EXPECT_EQ(engine->choiceWindow.waitForVoice, 0);
    EXPECT_EQ(g_bPageVoiceDone, 0u);  // still playing: the choices are not drawn
    Press(Key(DIK_UP));
    EXPECT_EQ(engine->choiceWindow.highlighted, 1);
    EXPECT_EQ(Press(Key(DIK_RETURN)), 0);
    EXPECT_STREQ(engine->scriptName, "right.vsf");
    EXPECT_STREQ(engine->messageWindow.text, "went right");
    EXPECT_EQ(engine->choiceWindow.active, 0);
}

TEST_F(SelectionTest, APickWithAnEmptyTargetRunsTheNextPage) {
    CTestPage page = CTestPage().Text("", "choose").Choices({{"stay", ""}});
    ASSERT_EQ(StartScript({page, CTestPage().Text("", "next")}), 0);
    Frame();
    CInputState click = Click();
    click.mouseX = engine->choiceWindow.BarLeft() + 10;
    click.mouseY = engine->choiceWindow.BarTop(0) + 10;
    EXPECT_EQ(Frame(&click), 0);
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_STREQ(engine->messageWindow.text, "next");
}

// The keyboard read as the program reads it: the poll at each frame's time, with its key guard.
class HeldKeySelectionTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ReleaseDirectInput();
        ResetInputSource();
        ASSERT_EQ(InitDirectInput(), 0);
        g_Input = {};
    }
    void TearDown() override {
        ReleaseDirectInput();
        ResetInputSource();
        EngineTest::TearDown();
    }
    int32_t PolledFrame() {
        AdvanceFakeClock(16);
        CInputState::Update(&g_Input, &mouse_, GetTimeMs());
        return Frame(&g_Input, 0);
    }

    CMouseFields mouse_;
};

TEST_F(HeldKeySelectionTest, AReturnHeldAcrossAPickForLessThanTheGuardLeavesTheNewPageRunning) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF000000u);
    WriteScript("b.vsf", {CTestPage().Layer(0, "Image/bg.teyl", 2, 0, 1500).Text("", "new page")});
    ASSERT_EQ(StartScript({CTestPage().Text("", "choose").Choices({{"go", "b.vsf"}})}), 0);
    for (const bool byClick : {false, true}) {
        ASSERT_EQ(engine->Load("a.vsf"), 0);
        for (int i = 0; i < 200 && (i < 2 || g_bPageTextDone == 0); ++i) PolledFrame();  // the keyboard is acquired
        ASSERT_EQ(engine->choiceWindow.active, 1);
        if (byClick) {
            mouse_.mouseX = static_cast<uint32_t>(engine->choiceWindow.BarLeft() + 10);
            mouse_.mouseY = static_cast<uint32_t>(engine->choiceWindow.BarTop(0) + 10);
            mouse_.mouseMoved = mouse_.leftUp = 1;
        } else {
            engine->choiceWindow.highlighted = 0;
        }
        FeedKey(DIK_RETURN, true);
        PolledFrame();
        ASSERT_STREQ(engine->scriptName, "b.vsf") << byClick;
        for (uint32_t held = 16; held < 180; held += 16) PolledFrame();
        FeedKey(DIK_RETURN, false);
        for (int i = 0; i < 10; ++i) PolledFrame();
        EXPECT_EQ(g_bPageEffectsDone, 0u) << byClick;
        EXPECT_NE(engine->layers[0].effect, nullptr) << byClick;
        EXPECT_NE(engine->messageWindow.revealStart, kRevealShowAll) << byClick;
    }
}

}  // namespace
