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
    void Draw(CConfigScreen& screen) {
        BeginFrame();
        screen.Draw();
        EndFrame();
    }
    void Open(CConfigScreen& screen, int32_t opener) {
        ASSERT_EQ(screen.Init(opener), 0);
        for (int i = 0; i < 12 && screen.state == 0; ++i) {
            NextTick();
            Draw(screen);
        }
        ASSERT_EQ(screen.state, 1);
    }
    int32_t ClickAt(CConfigScreen& screen, int32_t x, int32_t y) {
        NextTick();
        Click(x, y);
        return screen.Update();
    }
    // Ticks (drawing and updating) until the screen reports something other than 0 or 1.
    int32_t RunToEnd(CConfigScreen& screen) {
        for (int i = 0; i < 40; ++i) {
            NextTick();
            Draw(screen);
            NextTick();
            const int32_t result = screen.Update();
            if (result > kConfigWritten) return result;
        }
        return 0;
    }
    // True when some pixel of the preview texture is an opaque-ish black rim.
    static bool PreviewHasRim(CTexture* preview) {
        SLockedRect locked;
        if (preview == nullptr || preview->LockRect(0, &locked, nullptr, 0) != 0) return false;
        bool rim = false;
        for (int y = 0; y < 25 && !rim; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
            for (int x = 0; x < 180; ++x) rim = rim || (row[x] >> 24 > 0x80 && (row[x] & 0xFFFFFF) < 0x202020);
        }
        preview->UnlockRect(0);
        return rim;
    }
};

TEST_F(ConfigScreenTest, EveryActivationWritesTheWorkingCopyBackEvenOnEmptySpace) {
    CConfigScreen screen;
    Open(screen, kConfigFromMenu);
    g_Config.rightClick = 7;
    EXPECT_EQ(ClickAt(screen, 20, 20), kConfigWritten);
    EXPECT_EQ(g_Config.rightClick, 0u);
    EXPECT_EQ(screen.head.selectSound->GetState(), kSoundStopped);  // no sound on empty space

    EXPECT_EQ(ClickAt(screen, 259 + 5, 330), kConfigWritten);  // opacity 128
    EXPECT_EQ(g_Config.settings.windowColour >> 24, 128u);
    EXPECT_EQ(g_Config.settings.windowColour & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(screen.head.selectSound->GetState(), kSoundPlaying);
    ClickAt(screen, 250 + 60 + 3, 420);  // music volume, step 2
    EXPECT_EQ(g_Config.settings.bgmVolume, -3500);
    ClickAt(screen, 250 + 270 + 3, 480);  // voice volume, step 9
    EXPECT_EQ(g_Config.settings.voiceVolume, 0);
    ClickAt(screen, 180 + 30 * 4 + 2, 180);  // auto wait 200
    EXPECT_EQ(g_Config.settings.autoWait, 200u);
    ClickAt(screen, 179 + 40 * 3 + 2, 150);  // text speed 0
    EXPECT_EQ(g_Config.settings.textSpeed, 0u);
    ClickAt(screen, 400, 270);  // right click hides the window
    EXPECT_EQ(g_Config.rightClick, 1u);
    ClickAt(screen, 330, 90);  // effects off
    EXPECT_EQ(g_Config.settings.effectsOn, 0u);

    ClickAt(screen, 220, 450);  // sound effects off: the screen's own sounds go silent
    EXPECT_EQ(g_Config.seOff, 1u);
    EXPECT_EQ(screen.head.cursorSound->GetMasterVolume(), -10000);
    EXPECT_EQ(screen.head.selectSound->GetMasterVolume(), -10000);
    screen.Release();
}

TEST_F(ConfigScreenTest, FromTheTitleTheCloseButtonIsAbsentAndTheNextOneCloses) {
    CConfigScreen screen;
    Open(screen, kConfigFromTitle);
    NextTick();
    MoveMouse(400, 550);  // id 68
    screen.Update();
    EXPECT_EQ(screen.hover, -1);
    screen.hover = 67;
    NextTick(200);
    PressKey(DIK_RIGHT);
    screen.Update();
    EXPECT_EQ(screen.hover, 69);
    NextTick(200);
    PressKey(DIK_UP);
    screen.Update();
    EXPECT_EQ(screen.hover, 67);
    NextTick(200);
    PressKey(DIK_LEFT);
    screen.hover = 0;
    screen.Update();
    EXPECT_EQ(screen.hover, 70);

    EXPECT_EQ(ClickAt(screen, 560, 550), kConfigWritten);  // id 69 closes from the title
    EXPECT_EQ(screen.hover, kConfigHoverClosed);
    EXPECT_EQ(screen.state, 4);
    EXPECT_EQ(RunToEnd(screen), kConfigClosed);
    EXPECT_EQ(screen.state, 6);
    screen.Release();
}

TEST_F(ConfigScreenTest, FromTheMenuTheQuestionsLeadToTheirResults) {
    CConfigScreen screen;
    Open(screen, kConfigFromMenu);
    ClickAt(screen, 560, 550);  // id 69: return to the title?
    ASSERT_EQ(screen.state, 2);
    for (int i = 0; i < 12 && screen.dialog.state == 0; ++i) {
        NextTick();
        Draw(screen);
    }
    EXPECT_SHOWS(309, 174, kTagYesNoButton, 120, 20);
    NextTick();
    Click(450, 240);  // no
    screen.Update();
    for (int i = 0; i < 20 && screen.state == 2; ++i) {
        NextTick();
        Draw(screen);
        NextTick();
        screen.Update();
    }
    EXPECT_EQ(screen.state, 1);
    EXPECT_EQ(screen.dialog.head.background, nullptr);

    ClickAt(screen, 700, 550);  // id 70: quit?
    ASSERT_EQ(screen.state, 3);
    for (int i = 0; i < 12 && screen.dialog.state == 0; ++i) {
        NextTick();
        Draw(screen);
    }
    NextTick();
    Click(300, 240);  // yes
    screen.Update();
    EXPECT_EQ(RunToEnd(screen), kConfigQuit);
    screen.Release();
}

TEST_F(ConfigScreenTest, DisplayModeLooksFollowTheWindowModeInForce) {
    CConfigScreen screen;
    Open(screen, kConfigFromMenu);
    NextTick();
    Draw(screen);
    EXPECT_SHOWS(180, 52, kTagConfigButton, 0, 60);     // windowed: current
    EXPECT_SHOWS(320, 52, kTagConfigButton, 140, 0);    // full screen: normal
    EXPECT_SHOWS(346, 537, kTagConfigButton, 286, 267);  // close, drawn from the menu
    EXPECT_SHOWS(180 + 30 * 5, 174, kTagConfigButton, 467 + 29 * 5, 148);  // auto wait 250
    EXPECT_SHOWS(250 + 30 * 5, 414, kTagConfigButton, 467 + 29 * 5, 148);  // music -2000
    g_bWindowed = 0;
    NextTick();
    Draw(screen);
    EXPECT_SHOWS(180, 52, kTagConfigButton, 0, 0);
    EXPECT_SHOWS(320, 52, kTagConfigButton, 140, 60);
    g_bWindowed = 1;
    NextTick();
    MoveMouse(330, 60);
    screen.Update();
    Draw(screen);
    EXPECT_SHOWS(320, 52, kTagConfigButton, 140, 30);  // hovered
    screen.Release();
}

TEST_F(ConfigScreenTest, MissingStoredFaceStartsUnselectedAndNextTakesTheFirstFace) {
    std::strcpy(g_Config.settings.font.face, "NoSuchFace");
    CConfigScreen screen;
    Open(screen, kConfigFromMenu);
    if (screen.faceCount == 0) GTEST_SKIP() << "no Japanese font installed";
    EXPECT_EQ(screen.currentFace, -1);
    ClickAt(screen, 750, 360);  // next face
    EXPECT_EQ(screen.currentFace, 0);
    EXPECT_STREQ(g_Config.settings.font.face, screen.faceNames[0]);
    EXPECT_NE(screen.preview, nullptr);
    ClickAt(screen, 720, 360);  // previous face wraps to the last
    EXPECT_EQ(screen.currentFace, screen.faceCount - 1);
    screen.Release();
}

TEST_F(ConfigScreenTest, FaceArrowsDoNothingWhenNoFaceCanBeRendered) {
    CConfigScreen screen;
    Open(screen, kConfigFromMenu);
    if (screen.faceCount == 0) GTEST_SKIP() << "no Japanese font installed";
    char face[kFaceNameSize];
    std::memcpy(face, screen.working.settings.font.face, sizeof face);
    const int32_t current = screen.currentFace;
    g_pD3DDevice = nullptr;  // every preview fails
    screen.NextFont();
    screen.PrevFont();
    g_pD3DDevice = m_device;
    EXPECT_EQ(screen.currentFace, current);
    EXPECT_STREQ(screen.working.settings.font.face, face);
    screen.Release();
}

TEST_F(ConfigScreenTest, OutlineRebuildsThePreviewAndShadowDrawsACopy) {
    g_Config.settings.textFlags = 0;
    CConfigScreen screen;
    Open(screen, kConfigFromMenu);
    ASSERT_NE(screen.preview, nullptr);
    EXPECT_FALSE(PreviewHasRim(screen.preview));
    ClickAt(screen, 280, 360);  // id 28: outline
    EXPECT_EQ(g_Config.settings.textFlags, 2u);
    EXPECT_TRUE(PreviewHasRim(screen.preview));
    ClickAt(screen, 350, 360);  // id 29: plain
    EXPECT_FALSE(PreviewHasRim(screen.preview));

    // Shadow: a darker copy two pixels down and right of the text changes the frame there.
    NextTick();
    Draw(screen);
    std::vector<uint32_t> plain;
    for (int32_t y = 338; y < 338 + 27; ++y) {
        for (int32_t x = 433; x < 433 + 182; ++x) plain.push_back(Pixel(x, y));
    }
    ClickAt(screen, 200, 360);  // id 27: shadow
    EXPECT_EQ(g_Config.settings.textFlags, 1u);
    EXPECT_FALSE(PreviewHasRim(screen.preview));
    NextTick();
    Draw(screen);
    int32_t changed = 0;
    size_t i = 0;
    for (int32_t y = 338; y < 338 + 27; ++y) {
        for (int32_t x = 433; x < 433 + 182; ++x) changed += Pixel(x, y) != plain[i++] ? 1 : 0;
    }
    EXPECT_GT(changed, 20);
    screen.Release();
}

TEST_F(ConfigScreenTest, RightClickFadesOutWithTheClosedResult) {
    CConfigScreen screen;
    Open(screen, kConfigFromTitle);
    NextTick();
    RightClick();
    EXPECT_EQ(screen.Update(), 0);
    EXPECT_EQ(screen.state, 4);
    NextTick();
    Click(5, 5);
    EXPECT_EQ(screen.Update(), kConfigClosed);  // a click during the fade-out returns at once
    screen.Release();
}
