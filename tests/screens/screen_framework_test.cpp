#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/system_data.h"
#include "platform/input_devices.h"
#include "platform/message_box.h"
#include "screens/screen_resources.h"
#include "screens/yes_no_dialog.h"
#include "sound/sound_player.h"
#include "tests/screens/screen_fixture.h"

TEST(ScreenFade, AlphaIsTruncatedAndCompleteAtOrPastTheDuration) {
    EXPECT_EQ(FadeAlpha(1000, 1000, 150), 0u);
    EXPECT_EQ(FadeAlpha(1075, 1000, 150), 127u);
    EXPECT_EQ(FadeAlpha(1149, 1000, 150), 253u);
    EXPECT_EQ(FadeAlpha(1150, 1000, 150), 255u);
    EXPECT_EQ(FadeAlpha(5000, 1000, 150), 255u);
    EXPECT_EQ(FadeAlpha(999, 1000, 150), 255u);  // a start in the future counts as complete
    EXPECT_EQ(FadeAlpha(5, 0xFFFFFFF0u, 150), 35u);  // across the clock's wrap: 21 ms
}

TEST(ScreenKeys, StepHoverWrapsAndPassesOverDisabledItems) {
    const auto all = [](int32_t) { return true; };
    EXPECT_EQ(StepHover(-1, +1, 5, all), 0);
    EXPECT_EQ(StepHover(-1, -1, 5, all), 4);
    EXPECT_EQ(StepHover(4, +1, 5, all), 0);
    EXPECT_EQ(StepHover(0, -1, 5, all), 4);
    const auto odd = [](int32_t item) { return item % 2 == 1; };
    EXPECT_EQ(StepHover(1, +1, 5, odd), 3);
    EXPECT_EQ(StepHover(3, +1, 5, odd), 1);
    EXPECT_EQ(StepHover(-1, -1, 5, odd), 3);
    const auto none = [](int32_t) { return false; };
    EXPECT_EQ(StepHover(2, +1, 5, none), 2);
}

using ScreenResourcesTest = ScreenTest;

TEST_F(ScreenResourcesTest, MissingPictureFailsWithItsPathAndTheSoundSwitchSilencesBothSounds) {
    CScreenResources broken;
    EXPECT_EQ(broken.Load("System/Menu/MenuBG.bmp", "System/Menu/Missing.bmp"), -1);
    EXPECT_NE(broken.background, nullptr);
    EXPECT_EQ(broken.cursorSound, nullptr);  // loading stopped at the first failure
    const std::vector<std::string> shown = TakeShownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("System/Menu/Missing.bmp"), std::string::npos);
    EXPECT_EQ(shown[0].rfind("Error!!|", 0), 0u);
    broken.Release();

    CScreenResources head;
    ASSERT_EQ(head.Load("System/Menu/MenuBG.bmp", "System/Menu/MenuButton.bmp"), 0);
    CConfigBlock config = g_Config;
    config.settings.seVolume = -1500;
    head.ApplySoundVolume(config);
    EXPECT_EQ(head.cursorSound->GetMasterVolume(), -1500);
    EXPECT_EQ(head.selectSound->GetMasterVolume(), -1500);
    config.seOff = 1;
    head.ApplySoundVolume(config);
    EXPECT_EQ(head.cursorSound->GetMasterVolume(), -10000);
    EXPECT_EQ(head.selectSound->GetMasterVolume(), -10000);
    head.Release();
    EXPECT_EQ(head.background, nullptr);
    EXPECT_EQ(head.cursorSound, nullptr);
    head.Release();  // twice is harmless
}

class YesNoDialogTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_EQ(dialog.Init(kQuestionOverwrite), 0);
    }
    void TearDown() override {
        dialog.head.Release();
        ScreenTest::TearDown();
    }
    void Draw() {
        BeginFrame();
        dialog.Draw();
        EndFrame();
    }
    // Runs ticks until the opening fade is over.
    void Open() {
        for (int i = 0; i < 12 && dialog.state == 0; ++i) {
            NextTick();
            dialog.Update();
            Draw();
        }
        ASSERT_EQ(dialog.state, 1);
    }
    int32_t Press(uint8_t dik, uint32_t ms = 200) {
        NextTick(ms);
        PressKey(dik);
        return dialog.Update();
    }
    CYesNoDialog dialog;
};

TEST_F(YesNoDialogTest, KeysMoveOnePressPerGuardPeriodAndTheRightButtonAnswersNo) {
    Open();
    EXPECT_EQ(Press(DIK_RETURN, 15), 0);  // nothing hovered: the dialog stays open, silent
    EXPECT_EQ(dialog.state, 1);
    EXPECT_EQ(dialog.head.selectSound->GetState(), kSoundStopped);
    Press(DIK_RIGHT);
    EXPECT_EQ(dialog.hovered, 0);  // from none, Right hovers yes
    Press(DIK_RIGHT, 15);          // still inside the key guard: reads as up
    EXPECT_EQ(dialog.hovered, 0);
    Press(DIK_RIGHT);
    EXPECT_EQ(dialog.hovered, 1);
    Press(DIK_RIGHT);
    EXPECT_EQ(dialog.hovered, 0);
    Press(DIK_RIGHT);
    Draw();
    EXPECT_SHOWS(5, 5, kTagYesNoBg, 5, 5);
    EXPECT_SHOWS(321, 174, kTagYesNoButton, 120, 80);  // the overwrite question line
    EXPECT_SHOWS(525, 193, kTagYesNoButton, 324, 99);
    EXPECT_SHOWS(276, 225, kTagYesNoButton, 0, 0);   // yes, normal
    EXPECT_SHOWS(406, 225, kTagYesNoButton, 0, 90);  // no, hovered
    EXPECT_SHOWS(525, 254, kTagYesNoButton, 119, 119);

    NextTick();
    RightClick();
    EXPECT_EQ(dialog.Update(), 0);
    EXPECT_EQ(dialog.state, 2);
    int32_t answer = 0;
    for (int i = 0; i < 70 && answer == 0; ++i) {
        NextTick();
        answer = dialog.Update();
        Draw();
    }
    EXPECT_EQ(answer, kAnswerNo);
    NextTick();
    EXPECT_EQ(dialog.Update(), kAnswerNo);  // the answer stays until the owner lets go

    CYesNoDialog fresh;
    ASSERT_EQ(fresh.Init(kQuestionQuit), 0);
    fresh.state = 1;
    NextTick(200);
    PressKey(DIK_LEFT);
    fresh.Update();
    EXPECT_EQ(fresh.hovered, 1);  // from none, Left hovers no
    fresh.head.Release();
}

TEST_F(YesNoDialogTest, ClickOnYesPlaysTheSelectSoundAndAnswersYes) {
    Open();
    NextTick();
    MoveMouse(300, 240);
    dialog.Update();
    EXPECT_EQ(dialog.hovered, 0);
    EXPECT_EQ(dialog.head.cursorSound->GetState(), kSoundPlaying);
    NextTick();
    Click(300, 240);
    dialog.Update();
    EXPECT_EQ(dialog.head.selectSound->GetState(), kSoundPlaying);
    EXPECT_EQ(dialog.result, kAnswerYes);
    NextTick();
    Click(10, 10);  // a click during the fade-out hands the answer over at once
    EXPECT_EQ(dialog.Update(), kAnswerYes);
}
