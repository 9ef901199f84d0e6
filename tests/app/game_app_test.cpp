#include "app/game_app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>
#include <filesystem>
#include <string>
#include <vector>

#include "app/system_data.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "platform/paths.h"
#include "platform/render_context.h"
#include "platform/single_instance.h"
#include "platform/window.h"
#include "tests/app/app_harness.h"
#include "tests/app/saved_files.h"
#include "tests/platform/scoped_env.h"
#include "tools/lib/teyl_writer.h"

namespace {

const std::string kErrorPrefix = "Error!!|";
// メーカークレジットの初期化に失敗しました
const std::string kMakerFailed =
    "\x83\x81\x81\x5B\x83\x4A\x81\x5B\x83\x4E\x83\x8C\x83\x57\x83\x62\x83\x67\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82"
    "\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// ADVモード以外ではデバッグ情報を出力できません
const std::string kNotInAdventure =
    "ADV\x83\x82\x81\x5B\x83\x68\x88\xC8\x8A\x4F\x82\xC5\x82\xCD\x83\x66\x83\x6F\x83\x62\x83\x4F\x8F\xEE\x95\xF1"
    "\x82\xF0\x8F\x6F\x97\xCD\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1";

// A data folder of loose files only: a white logo and nothing else.
class LogoOnlyGame {
public:
    LogoOnlyGame() {
        const std::vector<uint32_t> white(800 * 600, 0xFFFFFFFFu);
        std::filesystem::create_directories(folder.Path() + "/System/Maker");
        WriteTeylFile(folder / "System/Maker/Maker.bmp", 800, 600, white.data());
    }
    CTempFolder folder;
};

class GameApp : public ::testing::Test {
protected:
    LogoOnlyGame game;
    CAppHarness harness{game.folder.Path()};
};

uint32_t Red(uint32_t pixel) { return (pixel >> 16) & 0xFF; }

SStoredSystemData StoredSystemData(const CAppHarness& harness) {
    SStoredSystemData stored;
    std::string error;
    EXPECT_TRUE(ReadStoredSystemData(CTempFolder::Read(harness.SavePath("System.sys")), &stored, &error)) << error;
    return stored;
}

TEST_F(GameApp, LogoFadesInHoldsFadesOutAndPauses) {
    ASSERT_EQ(harness.Start(), 1);
    EXPECT_EQ(harness.app.mode, kModeMakerLogo);
    const uint32_t start = harness.app.logo.stateStart;

    ASSERT_EQ(harness.Tick(750), 1);  // half way through the fade-in: alpha trunc(750 / 1500 × 255)
    EXPECT_NEAR(Red(BackBufferPixel(400, 300)), 127, 1);
    ASSERT_EQ(harness.Tick(750), 1);
    EXPECT_EQ(harness.app.logo.state, kLogoHold);
    EXPECT_EQ(BackBufferPixel(0, 0), 0xFFFFFFu);

    ASSERT_EQ(harness.Tick(3000), 1);  // exactly 3000 ms of hold still holds
    EXPECT_EQ(harness.app.logo.state, kLogoHold);
    ASSERT_EQ(harness.Tick(1), 1);
    EXPECT_EQ(harness.app.logo.state, kLogoFadeOut);
    ASSERT_EQ(harness.Tick(300), 1);  // alpha trunc(255 − 300 / 1500 × 255) = 204
    EXPECT_NEAR(Red(BackBufferPixel(799, 599)), 204, 1);
    ASSERT_EQ(harness.Tick(1200), 1);
    EXPECT_EQ(harness.app.logo.state, kLogoPause);
    ASSERT_EQ(harness.Tick(1000), 1);
    EXPECT_EQ(harness.app.logo.state, kLogoPause);
    EXPECT_EQ(BackBufferPixel(400, 300), 0u) << "nothing is drawn during the pause";
    EXPECT_EQ(GetTimeMs() - start, 1500u + 3001 + 1500 + 1000);
}

TEST(GameAppLogo, ClickOrEnterOnTheFirstFrameEndsTheLogo) {
    for (int input = 0; input < 3; ++input) {
        SCOPED_TRACE(input);
        LogoOnlyGame game;
        CAppHarness harness(game.folder.Path());
        ASSERT_EQ(harness.Start(), 1);
        if (input == 0) {
            harness.Click(10, 10);
        } else {
            harness.Tick();
            EXPECT_EQ(harness.app.mode, kModeMakerLogo);
            harness.TapKey(input == 1 ? DIK_RETURN : DIK_NUMPADENTER);
        }
        harness.Tick();
        EXPECT_EQ(harness.app.logo.logo, nullptr) << "the logo is released when it ends";
        EXPECT_NE(harness.app.mode, kModeMakerLogo);
        EXPECT_EQ(g_Input.keyGuardTime, g_FrameTime);
    }
}

TEST(GameAppLogo, MissingLogoEndsStartUpAndStillWritesSystemData) {
    CTempFolder empty;
    CAppHarness harness(empty.Path());
    EXPECT_EQ(harness.Start(), 0);
    const std::vector<std::string> messages = harness.TakeMessages();
    ASSERT_EQ(messages.size(), 2u) << "the file-open box, then the start-up failure";
    EXPECT_NE(messages[0].find("System/Maker/Maker.bmp"), std::string::npos);
    EXPECT_EQ(messages[1], kErrorPrefix + kMakerFailed);
    EXPECT_EQ(harness.app.mode, kModeMakerLogo) << "the mode is set before the logo starts";
    harness.app.Shutdown();
    EXPECT_TRUE(std::filesystem::exists(harness.SavePath("System.sys")));
    EXPECT_EQ(harness.app.mode, kModeNone);
    EXPECT_EQ(g_pD3DDevice, nullptr);
    EXPECT_EQ(g_hWnd, nullptr);
    harness.app.Shutdown();  // a second shutdown does nothing
}

TEST_F(GameApp, FullScreenFromSystemDataComesBeforeTheDeviceAndLeavesAtShutdown) {
    std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s", harness.SaveFolder().c_str());
    InitGlobals();
    ASSERT_EQ(SetDefaultSystemData(), 1);
    g_bWindowed = 0;  // as the configuration screen leaves it after a switch
    ASSERT_EQ(SaveSystemData(), 1);

    ASSERT_EQ(harness.Start(), 1);
    EXPECT_EQ(g_bWindowed, 0u);
    EXPECT_TRUE(IsPlatformFullscreen(harness.app.window));
    harness.Tick();
    harness.app.Shutdown();
    EXPECT_EQ(g_bWindowed, 1u) << "the desktop is restored";
    EXPECT_EQ(StoredSystemData(harness).windowed, 0u) << "the display mode is saved before the desktop is restored";
}

TEST_F(GameApp, DamagedSystemDataStartsWithTheDefaultsAndShutdownWritesItAnew) {
    CTempFolder scratch;
    std::vector<uint8_t> damaged(80, 0);
    damaged[60] = 200;  // a font face length far beyond its field
    std::filesystem::create_directories(harness.SaveFolder());
    std::filesystem::copy_file(scratch.Write("System.sys", damaged), harness.SavePath("System.sys"));
    ASSERT_EQ(harness.Start(), 1);
    EXPECT_EQ(g_Config.settings.textSpeed, 137u);
    EXPECT_EQ(g_Config.settings.font.height, 22);
    EXPECT_EQ(g_bWindowed, 1u);
    harness.Tick();
    g_Config.settings.textSpeed = 66;
    g_Config.seOff = 1;
    g_PersistentGameFlags[4] = 1;
    g_SystemCgFlags[1023] = 1;
    g_SystemMovieFlags[7] = 1;
    harness.app.Shutdown();

    const SStoredSystemData stored = StoredSystemData(harness);
    EXPECT_EQ(stored.windowed, 1u);
    EXPECT_EQ(stored.fontFace, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");  // ＭＳ ゴシック
    EXPECT_EQ(stored.fontHeight, 22);
    EXPECT_EQ(stored.textSpeed, 66u);
    EXPECT_EQ(stored.seOff, 1u);
    EXPECT_EQ(stored.bgmVolume, -2000);
    EXPECT_EQ(stored.effectsOn, 1u);
    EXPECT_EQ(stored.persistentFlags, (std::vector<uint8_t>{0, 0, 0, 0, 1}));
    EXPECT_EQ(stored.cgFlags[1023], 1);
    EXPECT_EQ(stored.movieFlags[7], 1);
}

TEST_F(GameApp, RequestFromOutsideShowsTheInformationBoxAndALostDeviceIsResetBeforeTheFrame) {
    ASSERT_EQ(harness.Start(), 1);
    ASSERT_EQ(raise(SIGUSR1), 0);
    harness.Tick(1500);
    EXPECT_EQ(harness.TakeMessages(), std::vector<std::string>{"Information|" + kNotInAdventure});
    EXPECT_EQ(harness.app.mode, kModeMakerLogo);

    g_pD3DDevice->SimulateDeviceLoss(1);
    EXPECT_EQ(harness.Tick(), 1) << "a device that cannot be reset yet lets the tick run";
    EXPECT_EQ(g_pD3DDevice->TestCooperativeLevel(), kDeviceNotReset);

    g_pD3DDevice->FailNextResets(1);
    const uint32_t frameBefore = g_FrameTime;
    EXPECT_EQ(harness.Tick(), -1);
    EXPECT_EQ(g_FrameTime, frameBefore) << "a failed reset runs no frame";

    EXPECT_EQ(harness.Tick(), 1);
    EXPECT_EQ(g_pD3DDevice->TestCooperativeLevel(), kDeviceOk);
    EXPECT_NE(g_pBackBuffer, nullptr);
    EXPECT_EQ(BackBufferPixel(400, 300), 0xFFFFFFu) << "the frame after the reset draws the logo";
}

TEST_F(GameApp, LoopRunsOneTickEvery15MsAndSleepsBetween) {
    ASSERT_EQ(harness.Start(), 1);
    std::atomic<int32_t> result{-2};
    // The loop runs as a clocked thread, so that each millisecond of fake time is taken by it
    // before the clock moves on.
    std::thread loop = StartClockedThread([&] { result = harness.app.Loop(1501); });
    for (int32_t ms = 0; ms < 1600 && result == -2; ++ms) {
        AdvanceFakeClock(1);
        ASSERT_TRUE(SettleFakeClock());
    }
    loop.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(harness.app.tickCount, 100u) << "ticks at 15, 30, ... 1500 ms";
    EXPECT_EQ(harness.app.logo.state, kLogoHold);
}

TEST_F(GameApp, SecondInstanceLeavesAtOnceWithoutWindowOrFiles) {
    std::filesystem::create_directories(harness.SaveFolder());
    CInstanceLock first;
    ASSERT_EQ(AcquireInstanceLock(&first, harness.SaveFolder()), 1);
    EXPECT_EQ(harness.app.Run(), 1);
    EXPECT_EQ(g_hWnd, nullptr);
    EXPECT_FALSE(std::filesystem::exists(harness.SavePath("System.sys")));
    EXPECT_EQ(PollInstanceLock(&first), 1) << "the first copy was asked to come to the front";
    ReleaseInstanceLock(&first);
}

}  // namespace

namespace {

// The save folder is taken before start-up: locked against other copies, then cleared of the
// temporary files of the program's own writes that a killed run left behind, and nothing else.
TEST_F(GameApp, SaveFolderIsLockedThenClearedOfStaleTemporaries) {
    const std::string save = harness.SaveFolder();
    std::filesystem::create_directories(save);
    const CTempFolder scratch;
    const std::vector<std::string> stale = {"System.sys.tmp-a1B2c3", "GameData.sys.tmp-XXXXXX", "Q-Save.sav.tmp-000000",
                                            "Save07.sav.tmp-zzzzzz", "A-Save03.sav.tmp-Q1w2E3",
                                            "FlagReport-20261207-101500.txt.tmp-abcdef"};
    const std::vector<std::string> kept = {"Save07.sav", "Notes.txt.tmp-abcdef", "Save7.sav.tmp-abcdef",
                                           "System.sys.tmp-abc", "System.sys.tmp-abcdefg", "mine.tmp-123456"};
    for (const std::string& name : stale) std::filesystem::copy_file(scratch.Write(name, "x"), save + name);
    for (const std::string& name : kept) std::filesystem::copy_file(scratch.Write(name, "x"), save + name);
    std::filesystem::create_directory(save + "Save08.sav.tmp-folder");

    ASSERT_EQ(harness.app.TakeSaveFolder(), 1);
    for (const std::string& name : stale) EXPECT_FALSE(std::filesystem::exists(save + name)) << name;
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(save + name)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(save + "Save08.sav.tmp-folder")) << "only regular files go";

    CInstanceLock second;
    EXPECT_EQ(AcquireInstanceLock(&second, save), 0) << "the folder is locked";
    EXPECT_EQ(PollSingleInstance(), 1);
    ReleaseSingleInstance();
}

// A save folder that cannot be made: said on stderr, the game runs, and neither System.sys nor
// anything else is written into the working folder under a bare name.
TEST_F(GameApp, ASaveFolderThatCannotBeMadeIsSaidAndNothingIsWrittenElsewhere) {
    const CTempFolder scratch;
    const CScopedEnv data("XDG_DATA_HOME", scratch.Write("data", "a file where the folder should be"));
    testing::internal::CaptureStderr();
    ASSERT_EQ(harness.Start(), 1);
    EXPECT_STREQ(g_SaveFolder, "");
    harness.Tick();
    harness.app.Shutdown();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot create \"" + scratch.Path() + "/data/Save/Velkora/\": Not a directory"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("System.sys not written: there is no save folder"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(game.folder / "System.sys"));
    EXPECT_FALSE(std::filesystem::exists("System.sys"));
}

// System.sys that cannot be replaced (here a folder stands in its place; the same path reports a
// full disk or a read-only folder): the reason on stderr, and what was there stays.
TEST_F(GameApp, SystemDataThatCannotBeWrittenIsSaidWithItsReason) {
    std::filesystem::create_directories(harness.SavePath("System.sys/kept"));
    ASSERT_EQ(harness.Start(), 1);
    harness.Tick();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SaveSystemData(), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot write \"" + harness.SavePath("System.sys") + "\": Is a directory"), std::string::npos)
        << said;
    EXPECT_TRUE(std::filesystem::exists(harness.SavePath("System.sys/kept")));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(harness.SaveFolder())) files += entry.is_regular_file();
    EXPECT_EQ(files, 0u) << "no temporary is left";
}

}  // namespace
