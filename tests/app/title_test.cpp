// The title, its extra menu and the way the mode machine reaches and leaves them, on the sample
// game generated into the build folder.
#include "screens/title.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "platform/paths.h"
#include "sound/sound_player.h"
#include "tests/app/app_harness.h"

namespace {

const std::string kSampleGame = std::string(TEST_BINARY_DIR) + "/game";

// The centre of a main-menu button.
SPoint TitleButton(int32_t button) { return SPoint{680, 244 + 50 * button + 25}; }
SPoint ExtraButton(int32_t button) { return SPoint{347, 211 + 50 * button + 25}; }

class Title : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kSampleGame + "/System.pac")) GTEST_SKIP() << "build the sample_game target";
        harness_ = std::make_unique<CAppHarness>(kSampleGame);
    }

    // Starts the program and clicks the logo away; the title then runs its opening fade.
    void OpenTitle() {
        ASSERT_EQ(harness_->Start(), 1);
        harness_->Click(400, 300);
        ASSERT_EQ(harness_->Tick(), 1);
        ASSERT_EQ(App().mode, kModeTitle);
    }
    // The title's menu after its opening fade.
    void OpenMenu() {
        OpenTitle();
        harness_->Tick(kTitleFadeMs);
        ASSERT_EQ(App().title.state, kTitleMenu);
    }
    void MakeSaveFile(const std::string& name) {
        std::filesystem::create_directories(harness_->SaveFolder());
        FILE* file = std::fopen(harness_->SavePath(name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    }
    // A tick with a click (right click) at the point; the tick's result.
    int32_t ClickAt(SPoint point) {
        harness_->Click(point.x, point.y);
        return harness_->Tick();
    }
    int32_t RightClickAt(SPoint point) {
        harness_->RightClick(point.x, point.y);
        return harness_->Tick();
    }
    // Lets a screen open over the title fade in, closes it with a right click and lets it fade out.
    void CloseScreenByRightClick() {
        harness_->Tick(500);
        RightClickAt({400, 300});
        harness_->Tick(500);
        EXPECT_EQ(TitleMode().state, kTitleMenu);
    }
    void Press(uint8_t dik) {
        harness_->TapKey(dik);
        harness_->Tick(kKeyGuardMs);
    }
    CGameApp& App() { return harness_->app; }
    CTitleMode& TitleMode() { return harness_->app.title; }

    std::unique_ptr<CAppHarness> harness_;
};

TEST_F(Title, OpensFromBlackWithItsMusicAndItsMenu) {
    OpenTitle();
    EXPECT_EQ(TitleMode().state, kTitleOpening);
    ASSERT_NE(TitleMode().music, nullptr);
    EXPECT_EQ(TitleMode().music->GetState(), kSoundPlaying);
    const uint32_t early = BackBufferPixel(100, 100);
    harness_->Tick(750);
    const uint32_t half = BackBufferPixel(100, 100);
    harness_->Tick(750);
    EXPECT_EQ(TitleMode().state, kTitleMenu);
    const uint32_t full = BackBufferPixel(100, 100);
    EXPECT_LT(early & 0xFF00, half & 0xFF00);
    EXPECT_LT(half & 0xFF00, full & 0xFF00);
    EXPECT_EQ(g_Input.keyGuardTime, TitleMode().stateStart - 1500) << "the logo's click stamped the key guard";
}

TEST_F(Title, ClickDuringTheOpeningFadeShowsTheMenuAtOnce) {
    OpenTitle();
    harness_->Tick(kKeyGuardMs);
    ClickAt({10, 10});
    EXPECT_EQ(TitleMode().state, kTitleMenu);
}

TEST_F(Title, WithoutSavesLoadAndContinueAreSkippedByTheKeysAndQuitEndsTheProgram) {
    OpenMenu();
    EXPECT_EQ(TitleMode().loadEnabled, 0);
    EXPECT_EQ(TitleMode().continueEnabled, 0);
    EXPECT_EQ(TitleMode().extraEnabled, 0);
    const std::pair<uint8_t, int32_t> steps[] = {{DIK_UP, kTitleQuit},      {DIK_LEFT, kTitleConfig},
                                                 {DIK_UP, kTitleNewGame},    {DIK_UP, kTitleQuit},
                                                 {DIK_DOWN, kTitleNewGame}};
    for (const auto& [key, hover] : steps) {
        Press(key);
        EXPECT_EQ(TitleMode().hover, hover) << "key " << int(key);
    }
    harness_->MoveMouse(TitleButton(kTitleLoad).x, TitleButton(kTitleLoad).y);
    harness_->Tick();
    EXPECT_EQ(TitleMode().hover, -1) << "a disabled button is never hovered";

    harness_->Tick(kKeyGuardMs);
    FeedKey(DIK_DOWN, true);  // held: one step per guard period
    harness_->Tick();
    EXPECT_EQ(TitleMode().hover, kTitleNewGame);
    for (int i = 0; i < 5; ++i) harness_->Tick(30);
    EXPECT_EQ(TitleMode().hover, kTitleNewGame) << "keys read as up during the guard";
    harness_->Tick(100);
    EXPECT_EQ(TitleMode().hover, kTitleConfig);
    FeedKey(DIK_DOWN, false);

    EXPECT_EQ(ClickAt(TitleButton(kTitleQuit)), 1);
    EXPECT_EQ(harness_->Tick(kTitleFadeMs), 0);
}

TEST_F(Title, SaveFilesEnableLoadAndOnlyTheQuickSaveContinue) {
    OpenTitle();
    for (const char* file : {"A-Save03.sav", "Q-Save.sav", "Save99.sav"}) {
        SCOPED_TRACE(file);
        TitleMode().End();
        MakeSaveFile(file);
        ASSERT_EQ(TitleMode().Init(), 0);
        EXPECT_EQ(TitleMode().loadEnabled, 1);
        EXPECT_EQ(TitleMode().continueEnabled, std::string(file) == "Q-Save.sav" ? 1 : 0);
        std::filesystem::remove(harness_->SavePath(file));
    }
}

TEST_F(Title, NewGameFadesToBlackThenStartsTheFirstScript) {
    OpenMenu();
    ClickAt(TitleButton(kTitleNewGame));
    EXPECT_EQ(TitleMode().state, kTitleClosing);
    EXPECT_EQ(TitleMode().hover, -1);
    harness_->Tick(kTitleFadeMs - 15);
    EXPECT_EQ(App().mode, kModeTitle);
    harness_->Tick();
    EXPECT_EQ(App().mode, kModeAdventure);
    EXPECT_EQ(App().adventureLoadFlag, 0);
    EXPECT_STREQ(App().adventureName, "Script/Main.vsf");
    EXPECT_EQ(TitleMode().music, nullptr) << "the title was ended";
}

// The quick save here is empty, which is a damaged save: the load-failure box, then the title
// again, every time, and the program goes on.
TEST_F(Title, ContinueLoadsTheQuickSaveAndADamagedOneGivesTheTitleBack) {
    MakeSaveFile("Q-Save.sav");
    OpenMenu();
    harness_->TakeMessages();
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        for (int i = 0; i < 3; ++i) Press(DIK_DOWN);
        EXPECT_EQ(TitleMode().hover, kTitleContinue);
        Press(DIK_RETURN);
        EXPECT_EQ(TitleMode().state, kTitleClosing);
        EXPECT_EQ(ClickAt({0, 0}), 1) << "a click skips the closing fade; the program goes on";
        EXPECT_EQ(App().adventureLoadFlag, 1);
        EXPECT_EQ(std::string(App().adventureName), harness_->SavePath("Q-Save.sav"));
        // ロードに失敗しました, and no box saying that the adventure could not start.
        EXPECT_EQ(harness_->TakeMessages(),
                  std::vector<std::string>{"Error!!|\x83\x8D\x81\x5B\x83\x68\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC"
                                           "\x82\xB5\x82\xBD"});
        EXPECT_EQ(App().mode, kModeTitle);
        EXPECT_FALSE(App().modeFailed);
        harness_->Tick(kTitleFadeMs);
        ASSERT_EQ(TitleMode().state, kTitleMenu);
        EXPECT_EQ(TitleMode().continueEnabled, 1);
    }
}

TEST_F(Title, LoadAndConfigurationOpenOverTheMenuAndCloseBackToIt) {
    MakeSaveFile("Save00.sav");
    OpenMenu();
    ClickAt(TitleButton(kTitleLoad));
    ASSERT_EQ(TitleMode().state, kTitleLoadOpen);
    EXPECT_EQ(TitleMode().loadScreen.kind, kLoadFromTitle);
    CloseScreenByRightClick();
    EXPECT_EQ(TitleMode().loadScreen.head.background, nullptr) << "the closed load screen is released";

    ClickAt(TitleButton(kTitleConfig));
    ASSERT_EQ(TitleMode().state, kTitleConfigOpen);
    harness_->Tick(500);
    ClickAt({223, 428});  // music off reaches the title's music
    EXPECT_EQ(g_Config.bgmOff, 1u);
    EXPECT_EQ(TitleMode().music->GetMasterVolume(), -10000);
    CloseScreenByRightClick();
    EXPECT_EQ(TitleMode().configScreen.head.background, nullptr);

    // The ending of the screen with return to the title, when its quit question cannot be opened.
    ClickAt(TitleButton(kTitleConfig));
    ASSERT_EQ(TitleMode().state, kTitleConfigOpen);
    TitleMode().configScreen.state = 6;
    TitleMode().configScreen.result = kConfigReturnToTitle;
    EXPECT_EQ(harness_->Tick(), 1);
    EXPECT_EQ(App().mode, kModeTitle);
    EXPECT_EQ(TitleMode().state, kTitleMenu);
    EXPECT_EQ(TitleMode().configScreen.head.background, nullptr);
}

class ExtraMenu : public Title {
protected:
    // A System.sys of an earlier run in which game flag 0 and the given picture flags were earned.
    void SetUp() override {
        Title::SetUp();
        if (IsSkipped()) return;
        WriteEarlierRun({});
    }
    void WriteEarlierRun(const std::vector<int>& pictureFlags) {
        std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s", harness_->SaveFolder().c_str());
        InitGlobals();
        ASSERT_EQ(SetDefaultSystemData(), 1);
        g_PersistentGameFlags[0] = 1;
        for (int flag : pictureFlags) g_SystemCgFlags[flag] = 1;
        ASSERT_EQ(SaveSystemData(), 1);
        InitGlobals();
    }
    // Opens the extra menu from the title's menu and waits for its fade-in.
    void OpenExtra() {
        ClickAt(TitleButton(kTitleExtra));
        ASSERT_EQ(TitleMode().state, kTitleExtraOpen);
        harness_->Tick(kExtraMenuFadeMs);
        ASSERT_EQ(TitleMode().extraMenu.state, kExtraIdle);
    }
    CExtraMenu& Menu() { return TitleMode().extraMenu; }
};

TEST_F(ExtraMenu, KeysWrapAndBackOrARightClickReturnToTheTitleMenu) {
    OpenMenu();
    EXPECT_EQ(TitleMode().extraEnabled, 1) << "follows the system-wide game flag 0";
    OpenExtra();
    Press(DIK_UP);
    EXPECT_EQ(Menu().hover, 3) << "up from no hover selects back";
    Press(DIK_DOWN);
    EXPECT_EQ(Menu().hover, 0);
    Press(DIK_UP);
    EXPECT_EQ(Menu().hover, 3);
    Press(DIK_RETURN);
    EXPECT_EQ(Menu().state, kExtraFadeOut);
    harness_->Tick(kExtraMenuFadeMs);
    harness_->Tick();
    EXPECT_EQ(TitleMode().state, kTitleMenu);
    EXPECT_EQ(Menu().head.background, nullptr);

    OpenExtra();
    RightClickAt({10, 10});
    EXPECT_EQ(Menu().state, kExtraFadeOut);
    EXPECT_EQ(Menu().result, kExtraBack);
    ClickAt({10, 10});  // ends the fade at once
    EXPECT_EQ(TitleMode().state, kTitleMenu);
}

TEST_F(ExtraMenu, ScreensThatCannotOpenShowTheirBoxAndLeaveTheTitleOnItsMenu) {
    MakeSaveFile("Save00.sav");
    OpenMenu();
    // The pictures of the three screens are only in System.pac; the title's open sounds keep
    // reading from it, so the archive stays open while the loaders do not see it.
    CPackArchive* const systemArchive = g_pSystemArchive;
    g_pSystemArchive = nullptr;
    harness_->TakeMessages();
    const std::pair<int32_t, std::string> buttons[] = {
        // ロード画面の初期化に失敗しました
        {kTitleLoad, "\x83\x8D\x81\x5B\x83\x68\x89\xE6\x96\xCA\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8"
                     "\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"},
        // コンフィグ画面の初期化に失敗しました
        {kTitleConfig, "\x83\x52\x83\x93\x83\x74\x83\x42\x83\x4F\x89\xE6\x96\xCA\x82\xCC\x8F\x89\x8A\xFA\x89\xBB"
                       "\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"},
        // エクストラメニューの初期化に失敗しました
        {kTitleExtra, "\x83\x47\x83\x4E\x83\x58\x83\x67\x83\x89\x83\x81\x83\x6A\x83\x85\x81\x5B\x82\xCC\x8F\x89"
                      "\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"},
    };
    for (const auto& [button, text] : buttons) {
        SCOPED_TRACE(button);
        EXPECT_EQ(ClickAt(TitleButton(button)), 1);
        EXPECT_EQ(TitleMode().state, kTitleMenu);
        const std::vector<std::string> messages = harness_->TakeMessages();
        ASSERT_EQ(messages.size(), 2u) << "the missing picture, then the screen";
        EXPECT_EQ(messages.back(), "Error!!|" + text);
        harness_->Tick(kKeyGuardMs);
    }
    g_pSystemArchive = systemArchive;
    EXPECT_EQ(TitleMode().loadScreen.head.background, nullptr);
    EXPECT_EQ(TitleMode().configScreen.head.background, nullptr);
    EXPECT_EQ(Menu().head.background, nullptr);
    EXPECT_EQ(App().mode, kModeTitle);
}

TEST_F(ExtraMenu, GalleryChoiceFadesToBlackWithoutSkipAndLeavesTheTitle) {
    OpenMenu();
    ClickAt(TitleButton(kTitleExtra));
    harness_->Tick(kKeyGuardMs);
    ASSERT_EQ(Menu().state, kExtraFadeIn);
    ClickAt({10, 10});
    EXPECT_EQ(Menu().state, kExtraIdle) << "a click ends the fade-in at once";
    harness_->Tick(kKeyGuardMs);
    ClickAt(ExtraButton(2));
    EXPECT_EQ(Menu().state, kExtraFadeToBlack);
    EXPECT_EQ(Menu().result, kExtraMusicGallery);
    RightClickAt({10, 10});
    ClickAt({10, 10});
    EXPECT_EQ(Menu().state, kExtraFadeToBlack) << "neither click ends the fade to black";
    EXPECT_EQ(Menu().result, kExtraMusicGallery);
    harness_->Tick(kExtraMenuFadeMs);
    harness_->Tick();
    EXPECT_EQ(App().mode, kModeBgm);
}

class Galleries : public ExtraMenu {
protected:
    // Every picture the sample game's play can earn (flags 0-5).
    void SetUp() override {
        ExtraMenu::SetUp();
        if (IsSkipped()) return;
        WriteEarlierRun({0, 1, 2, 3, 4, 5});
    }
    // From the title's menu through the extra menu into a gallery, past its fade-in.
    void EnterGallery(int32_t extraButton, uint32_t mode) {
        OpenExtra();
        ClickAt(ExtraButton(extraButton));
        harness_->Tick(kExtraMenuFadeMs);
        harness_->Tick();
        ASSERT_EQ(App().mode, mode);
        harness_->Tick(kGalleryFadeMs);
        harness_->Tick();
    }
};

// The music gallery plays and a right click leaves it; the picture gallery shows the sample
// game's table (entry 5 locked) and a right click on its movie-gallery button leads there.
TEST_F(Galleries, BothGalleriesOpenFromTheExtraMenuAndLeaveTheWayTheyShould) {
    OpenMenu();
    EnterGallery(2, kModeBgm);
    ClickAt({200, 112 + 42 * 6 + 17});
    harness_->Tick();
    EXPECT_EQ(App().bgm.currentTrack, 6);
    EXPECT_EQ(App().bgm.player.GetState(), kSoundPlaying);
    RightClickAt({10, 10});
    harness_->Tick(kGalleryFadeMs);
    EXPECT_EQ(App().mode, kModeTitle);
    EXPECT_EQ(App().bgm.player.GetState(), kSoundStopped) << "ending the gallery stops its music";

    harness_->Tick(kTitleFadeMs);
    EnterGallery(0, kModeCg);
    const int32_t counts[6] = {1, 1, 3, 1, 1, 0};
    EXPECT_EQ(App().cg.table.entryCount, 6);
    for (int entry = 0; entry < 6; ++entry) EXPECT_EQ(App().cg.table.entries[entry].count, counts[entry]) << entry;
    harness_->MoveMouse(560, 560);
    harness_->Tick();
    RightClickAt({560, 560});
    harness_->Tick(kGalleryFadeMs);
    EXPECT_EQ(App().mode, kModeMovieGallery);
    EXPECT_EQ(App().cg.head.background, nullptr) << "the picture gallery was ended";
}

}  // namespace

namespace {

// The movie gallery of the sample game, reached from the extra menu: a movie decoded for real,
// the list back at its end, and the way out to the title.
TEST_F(ExtraMenu, TheMovieGalleryPlaysAnEntryAndGivesItsListBack) {
    OpenMenu();
    OpenExtra();
    ClickAt(ExtraButton(1));
    harness_->Tick(kExtraMenuFadeMs);
    harness_->Tick();
    ASSERT_EQ(App().mode, kModeMovieGallery);
    CMovieMode& gallery = App().movieGallery;
    EXPECT_EQ(gallery.listCount, 22);
    ClickAt({10, 10});  // ends the fade-in
    harness_->Tick(kKeyGuardMs);
    ASSERT_EQ(gallery.state, kMovieGalleryList);
    EXPECT_TRUE(gallery.IsAvailable(0));
    EXPECT_FALSE(gallery.IsAvailable(1)) << "no play has earned movie flag 1";

    ClickAt({80 + 132 * 3 + 60, 75 + 102 + 45});  // entry 8: the dawn shore, one play of 3 s
    ASSERT_EQ(gallery.state, kMovieGalleryPlaying);
    const uint32_t start = GetTimeMs();
    harness_->TickUntil([&] { return GetTimeMs() - start >= 1500; }, 200);
    const uint32_t middle = BackBufferPixel(400, 500);
    EXPECT_NE(middle, 0x100010u) << "a frame of the movie";
    EXPECT_TRUE(harness_->TickUntil([&] { return gallery.state == kMovieGalleryList; }, 200));
    EXPECT_NEAR(GetTimeMs() - start, 3000.0, 100.0) << "the movie's own length";
    EXPECT_NE(BackBufferPixel(400, 500), middle) << "the list is drawn again";

    // A right click leaves the way the hover points: to the picture gallery.
    harness_->MoveMouse(570, 564);
    harness_->Tick();
    RightClickAt({570, 564});
    harness_->Tick(kGalleryFadeMs);
    harness_->Tick();
    EXPECT_EQ(App().mode, kModeCg);
    EXPECT_EQ(gallery.head.background, nullptr) << "the movie gallery was ended";
}

}  // namespace
