#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/main_window.h"
#include "app/system_data.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "screens/config_screen.h"
#include "sound/sound_player.h"
#include "tests/screens/screen_fixture.h"

class ConfigScreenTest : public ScreenTest {
protected:
    void TearDown() override {
        screen.Release();
        ScreenTest::TearDown();
    }
    void Draw() {
        NextTick();
        BeginFrame();
        screen.Draw();
        EndFrame();
    }
    void Open(int32_t opener) {
        ASSERT_EQ(screen.Init(opener), 0);
        for (int i = 0; i < 12 && screen.state == 0; ++i) Draw();
        ASSERT_EQ(screen.state, 1);
    }
    int32_t ClickAt(int32_t x, int32_t y) {
        NextTick();
        Click(x, y);
        return screen.Update();
    }
    int32_t Press(uint8_t dik) {
        NextTick(200);
        PressKey(dik);
        return screen.Update();
    }
    void OpenQuestion() {
        for (int i = 0; i < 12 && screen.dialog.state == 0; ++i) Draw();
    }
    // Ticks (drawing and updating) until the screen reports something other than 0 or 1.
    int32_t RunToEnd() {
        for (int i = 0; i < 40; ++i) {
            Draw();
            NextTick();
            const int32_t result = screen.Update();
            if (result > kConfigWritten) return result;
        }
        return 0;
    }
    // True when some pixel of the preview texture is an opaque-ish black rim.
    bool PreviewHasRim() {
        SLockedRect locked;
        if (screen.preview == nullptr || screen.preview->LockRect(0, &locked, nullptr, 0) != 0) return false;
        bool rim = false;
        for (int y = 0; y < 25 && !rim; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
            for (int x = 0; x < 180; ++x) rim = rim || (row[x] >> 24 > 0x80 && (row[x] & 0xFFFFFF) < 0x202020);
        }
        screen.preview->UnlockRect(0);
        return rim;
    }
    std::vector<uint32_t> PreviewFrame() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 338; y < 338 + 27; ++y) {
            for (int32_t x = 433; x < 433 + 182; ++x) pixels.push_back(Pixel(x, y));
        }
        return pixels;
    }

    CConfigScreen screen;
};

TEST_F(ConfigScreenTest, EveryActivationWritesTheWorkingCopyBackEvenOnEmptySpace) {
    Open(kConfigFromMenu);
    g_Config.rightClick = 7;
    EXPECT_EQ(ClickAt(20, 20), kConfigWritten);
    EXPECT_EQ(g_Config.rightClick, 0u);
    EXPECT_EQ(screen.head.selectSound->GetState(), kSoundStopped);  // no sound on empty space

    EXPECT_EQ(ClickAt(259 + 5, 330), kConfigWritten);  // opacity 128
    EXPECT_EQ(g_Config.settings.windowColour, 0x80FFFFFFu);
    EXPECT_EQ(screen.head.selectSound->GetState(), kSoundPlaying);
    ClickAt(250 + 60 + 3, 420);  // music volume, step 2
    EXPECT_EQ(g_Config.settings.bgmVolume, -3500);
    ClickAt(250 + 270 + 3, 480);  // voice volume, step 9
    EXPECT_EQ(g_Config.settings.voiceVolume, 0);
    ClickAt(180 + 30 * 4 + 2, 180);  // auto wait 200
    EXPECT_EQ(g_Config.settings.autoWait, 200u);
    ClickAt(179 + 40 * 3 + 2, 150);  // text speed 0
    EXPECT_EQ(g_Config.settings.textSpeed, 0u);
    ClickAt(400, 270);  // right click hides the window
    EXPECT_EQ(g_Config.rightClick, 1u);
    ClickAt(330, 90);  // effects off
    EXPECT_EQ(g_Config.settings.effectsOn, 0u);

    ClickAt(220, 450);  // sound effects off: the screen's own sounds go silent
    EXPECT_EQ(g_Config.seOff, 1u);
    EXPECT_EQ(screen.head.cursorSound->GetMasterVolume(), -10000);
    EXPECT_EQ(screen.head.selectSound->GetMasterVolume(), -10000);
}

TEST_F(ConfigScreenTest, FromTheTitleTheCloseButtonIsAbsentAndTheNextOneCloses) {
    Open(kConfigFromTitle);
    NextTick();
    MoveMouse(400, 550);  // id 68
    screen.Update();
    EXPECT_EQ(screen.hover, -1);
    screen.hover = 67;
    Press(DIK_RIGHT);
    EXPECT_EQ(screen.hover, 69);
    Press(DIK_UP);
    EXPECT_EQ(screen.hover, 67);
    screen.hover = 0;
    Press(DIK_LEFT);
    EXPECT_EQ(screen.hover, 70);

    EXPECT_EQ(ClickAt(560, 550), kConfigWritten);  // id 69 closes from the title
    EXPECT_EQ(screen.hover, kConfigHoverClosed);
    EXPECT_EQ(screen.state, 4);
    EXPECT_EQ(RunToEnd(), kConfigClosed);
    EXPECT_EQ(screen.state, 6);
}

// The closing buttons keep the idle state's start time, so after 200 ms idle their fade-out ends
// on the next frame; the right click starts the fade-out anew and takes 150 ms.
TEST_F(ConfigScreenTest, ClosingButtonsEndOnTheNextFrameAndTheRightClickFades) {
    struct SCase {
        int32_t opener;
        int32_t x, y;  // the button, or none for a right click
        int32_t framesToClose;
    };
    const SCase cases[] = {{kConfigFromMenu, 400, 550, 1}, {kConfigFromTitle, 560, 550, 1}, {kConfigFromTitle, -1, -1, 10}};
    for (const SCase& c : cases) {
        screen.Release();
        Open(c.opener);
        NextTick(200);
        if (c.x < 0) {
            RightClick();
            EXPECT_EQ(screen.Update(), 0);
        } else {
            EXPECT_EQ(ClickAt(c.x, c.y), kConfigWritten);
        }
        ASSERT_EQ(screen.state, 4) << c.x;
        int32_t frames = 0;
        while (screen.state == 4 && frames < 20) {
            Draw();
            ++frames;
        }
        EXPECT_EQ(frames, c.framesToClose) << c.x;
    }
    NextTick();
    EXPECT_EQ(screen.Update(), kConfigClosed);

    // A click during the fade-out returns at once.
    screen.Release();
    Open(kConfigFromTitle);
    NextTick();
    RightClick();
    screen.Update();
    EXPECT_EQ(ClickAt(5, 5), kConfigClosed);
}

TEST_F(ConfigScreenTest, FromTheMenuTheQuestionsLeadToTheirResults) {
    Open(kConfigFromMenu);
    ClickAt(560, 550);  // id 69: return to the title?
    ASSERT_EQ(screen.state, 2);
    OpenQuestion();
    EXPECT_SHOWS(309, 174, kTagYesNoButton, 120, 20);
    ClickAt(450, 240);  // no
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(screen.state, 1);
    EXPECT_EQ(screen.dialog.head.background, nullptr);

    ClickAt(700, 550);  // id 70: quit?
    ASSERT_EQ(screen.state, 3);
    OpenQuestion();
    ClickAt(300, 240);  // yes
    EXPECT_EQ(RunToEnd(), kConfigQuit);
}

TEST_F(ConfigScreenTest, DisplayModeLooksFollowTheWindowModeInForce) {
    Open(kConfigFromMenu);
    Draw();
    EXPECT_SHOWS(180, 52, kTagConfigButton, 0, 60);                        // windowed: current
    EXPECT_SHOWS(320, 52, kTagConfigButton, 140, 0);                       // full screen: normal
    EXPECT_SHOWS(346, 537, kTagConfigButton, 286, 267);                    // close, drawn from the menu
    EXPECT_SHOWS(180 + 30 * 5, 174, kTagConfigButton, 467 + 29 * 5, 148);  // auto wait 250
    EXPECT_SHOWS(250 + 30 * 5, 414, kTagConfigButton, 467 + 29 * 5, 148);  // music -2000
    g_bWindowed = 0;
    Draw();
    EXPECT_SHOWS(180, 52, kTagConfigButton, 0, 0);
    EXPECT_SHOWS(320, 52, kTagConfigButton, 140, 60);
    g_bWindowed = 1;
    NextTick();
    MoveMouse(330, 60);
    screen.Update();
    Draw();
    EXPECT_SHOWS(320, 52, kTagConfigButton, 140, 30);  // hovered
}

TEST_F(ConfigScreenTest, FaceArrowsStepThroughTheFacesAndDoNothingWhenNoneCanBeRendered) {
    std::strcpy(g_Config.settings.font.face, "NoSuchFace");
    Open(kConfigFromMenu);
    if (screen.faceCount == 0) GTEST_SKIP() << "no Japanese font installed";
    EXPECT_EQ(screen.currentFace, -1);  // a stored face that is missing starts unselected
    ClickAt(750, 360);                  // next face
    EXPECT_EQ(screen.currentFace, 0);
    EXPECT_STREQ(g_Config.settings.font.face, screen.faceNames[0]);
    EXPECT_NE(screen.preview, nullptr);
    ClickAt(720, 360);  // previous face wraps to the last
    EXPECT_EQ(screen.currentFace, screen.faceCount - 1);

    char face[kFaceNameSize];
    std::memcpy(face, screen.working.settings.font.face, sizeof face);
    g_pD3DDevice = nullptr;  // every preview fails
    screen.NextFont();
    screen.PrevFont();
    g_pD3DDevice = m_device;
    EXPECT_EQ(screen.currentFace, screen.faceCount - 1);
    EXPECT_STREQ(screen.working.settings.font.face, face);
}

TEST_F(ConfigScreenTest, OutlineRebuildsThePreviewAndShadowDrawsACopy) {
    g_Config.settings.textFlags = 0;
    Open(kConfigFromMenu);
    ASSERT_NE(screen.preview, nullptr);
    EXPECT_FALSE(PreviewHasRim());
    ClickAt(280, 360);  // id 28: outline
    EXPECT_EQ(g_Config.settings.textFlags, 2u);
    EXPECT_TRUE(PreviewHasRim());
    ClickAt(350, 360);  // id 29: plain
    EXPECT_FALSE(PreviewHasRim());

    // Shadow: a darker copy two pixels down and right of the text changes the frame there.
    Draw();
    const std::vector<uint32_t> plain = PreviewFrame();
    ClickAt(200, 360);  // id 27: shadow
    EXPECT_EQ(g_Config.settings.textFlags, 1u);
    EXPECT_FALSE(PreviewHasRim());
    Draw();
    const std::vector<uint32_t> shadowed = PreviewFrame();
    int32_t changed = 0;
    for (size_t i = 0; i < plain.size(); ++i) changed += plain[i] != shadowed[i] ? 1 : 0;
    EXPECT_GT(changed, 20);
}
