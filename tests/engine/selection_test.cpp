#include <gtest/gtest.h>

#include "engine_fixture.h"
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

}  // namespace
