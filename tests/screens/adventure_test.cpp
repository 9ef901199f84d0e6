#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/system_data.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/render_context.h"
#include "screens/save_file.h"
#include "sound/sound_player.h"
#include "tests/screens/adventure_fixture.h"
#include "tests/screens/save_bytes.h"
#include "tests/support/fake_movies.h"
#include "tests/support/graphics_support.h"

namespace {

constexpr SPoint kQuickSaveButton = {720, 530};
constexpr SPoint kQuickLoadButton = {720, 555};

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

std::string TagAt(const std::vector<uint8_t>& bytes, size_t at) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + at), 4);
}

}  // namespace

TEST_F(AdventureTest, MusicOffGivesMinus5000AtStartAndMinus10000AfterTheMenusApply) {
    g_Config.bgmOff = 1;
    g_Config.settings.bgmVolume = -1000;
    g_Config.voiceOff = 1;
    Start(PlainPages("one|two"));
    EXPECT_EQ(adventure.engine.settings.bgmVolume, -5000);
    EXPECT_EQ(adventure.engine.settings.voiceVolume, -5000);
    EXPECT_EQ(adventure.engine.settings.seVolume, g_Config.settings.seVolume);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.quickSaveExists, 0u);
    RunFrames(3);
    OpenMenu();
    ClickFrame(330, 140);  // configuration
    ASSERT_EQ(adventure.menu.state, 4);
    RunFrames(12);
    ClickFrame(200, 240);  // skipping of read pages only: any button applies the settings
    EXPECT_EQ(adventure.engine.settings.bgmVolume, -10000);
    EXPECT_EQ(adventure.subMode, kAdventureMenu);
    ClickFrame(190, 420);  // music on again
    EXPECT_EQ(adventure.engine.settings.bgmVolume, -1000);
    ClickFrame(400, 550);  // close: back to the story
    RunFrames(12);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
}

TEST_F(AdventureTest, ButtonBarEnablesByItsRulesAndArrowsPassOverDisabledButtons) {
    Start("page\n  text: noeffect; nolog; say \"Not in the log.\"\n");
    RunFrames(3);
    const auto press = [&](uint8_t dik) {
        KeyFrame(dik);
        return adventure.hoveredButton;
    };
    EXPECT_EQ(press(DIK_RIGHT), 0);
    EXPECT_EQ(press(DIK_RIGHT), 1);
    EXPECT_EQ(press(DIK_RIGHT), 4);  // backlog (empty log) and voice replay (no voice) are passed over
    EXPECT_EQ(press(DIK_DOWN), 5);
    EXPECT_EQ(press(DIK_RIGHT), 7);  // quick load (no quick save) too
    EXPECT_EQ(press(DIK_RIGHT), 0);
    EXPECT_EQ(press(DIK_LEFT), 7);
    EXPECT_EQ(press(DIK_UP), 5);
    EXPECT_EQ(adventure.cursorSound->GetState(), kSoundPlaying);

    MoveFrame(kQuickLoadButton.x, kQuickLoadButton.y);  // a disabled button is never hovered
    EXPECT_EQ(adventure.hoveredButton, -1);
    EXPECT_SHOWS(559, 575, kTagTextWindowButton, 106, 0);  // backlog: disabled
    EXPECT_SHOWS(625, 575, kTagTextWindowButton, 163, 0);  // voice replay: disabled
    EXPECT_SHOWS(714, 549, kTagTextWindowButton, 0, 80);   // quick load: disabled
    EXPECT_SHOWS(433, 575, kTagTextWindowButton, 0, 20);   // skip: normal
    MoveFrame(kMenuButton.x, kMenuButton.y);
    RunFrames(1);
    EXPECT_SHOWS(693, 575, kTagTextWindowButton, 224, 40);  // menu: hovered
}

TEST_F(AdventureTest, QuickSaveThenQuickLoadReturnsToTheSamePageAndADamagedOneLeaves) {
    Start(PlainPages("one|two|three"));
    RunFrames(3);
    EXPECT_EQ(ClickFrame(100, 100), kFrameContinue);  // a click on no button reaches the engine
    EXPECT_EQ(PageText(), "two");
    EXPECT_EQ(g_Input.keyGuardTime, g_FrameTime);
    RunFrames(3);
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    EXPECT_EQ(adventure.quickSaveExists, 1u);
    EXPECT_EQ(adventure.engine.pageNumber, 2u);  // the click did not reach the engine
    NextPage();
    ASSERT_EQ(PageText(), "three");
    RunFrames(3);
    ClickFrame(kQuickLoadButton.x, kQuickLoadButton.y);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.engine.pageNumber, 2u);
    EXPECT_EQ(PageText(), "two");
    NextPage();
    EXPECT_EQ(PageText(), "three");

    RunFrames(3);
    m_saves.Write("save/Q-Save.sav", std::vector<uint8_t>{1, 2, 3});
    TakeShownMessages();
    EXPECT_EQ(ClickFrame(kQuickLoadButton.x, kQuickLoadButton.y), kFrameToTitle);
    // クイックロードに失敗しました
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{"Error!!|\x83\x4E\x83\x43\x83\x62\x83\x4E\x83\x8D\x81\x5B"
                                                            "\x83\x68\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5"
                                                            "\x82\xBD"});
}

TEST_F(AdventureTest, WheelIsSwallowedWithAnEmptyLogAndOpensTheBacklogOtherwise) {
    Start("page\n  text: noeffect; nolog; say \"Not logged.\"\n" + PlainPages("logged|next"));
    RunFrames(3);
    WheelFrame(120);
    EXPECT_TRUE(TakeShownMessages().empty());  // the engine never tried to open its log view
    EXPECT_EQ(adventure.engine.messageLog.viewOpen, 0);
    EXPECT_EQ(adventure.subMode, kAdventureScript);

    NextPage();
    RunFrames(3);
    ASSERT_EQ(adventure.engine.messageLog.Count(), 1);
    WheelFrame(-120);
    EXPECT_EQ(adventure.subMode, kAdventureBacklog);
    EXPECT_EQ(adventure.engine.windowHiddenByUser, 1);
    EXPECT_EQ(adventure.engine.messageLog.viewOpen, 0);
}

TEST_F(AdventureTest, RightClickOpensTheMenuOrHidesTheWindowByTheSwitch) {
    Start(PlainPages("one|two"));
    RunFrames(3);
    RightClickFrame();
    EXPECT_EQ(adventure.subMode, kAdventureMenu);
    RunFrames(12);  // the menu fades in
    ASSERT_EQ(adventure.menu.state, 1);
    RightClickFrame();  // back to the story through a fade
    EXPECT_EQ(adventure.menu.state, 7);
    RunFrames(5);
    EXPECT_EQ(adventure.subMode, kAdventureMenu);
    RunFrames(7);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.menu.head.background, nullptr);

    OpenMenu();
    RightClickFrame();
    ClickFrame(5, 5);  // ends the fade at once
    EXPECT_EQ(adventure.menu.state, 9);
    RunFrames(1);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.engine.pageNumber, 1u);  // no click reached the engine

    g_Config.rightClick = 1;
    RightClickFrame(200);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.engine.windowHiddenByUser, 1);
    RunFrames(1);
    EXPECT_EQ(Pixel(433, 575), 0x100010u) << "the bar is not drawn";
    RightClickFrame(200);  // the engine shows the window again
    EXPECT_EQ(adventure.engine.windowHiddenByUser, 0);
    EXPECT_EQ(adventure.engine.pageNumber, 1u);
}

TEST_F(AdventureTest, SaveFileHoldsDateThumbnailCaptionAndTheMaskedEngineState) {
    Start("page\n  layer 0: load \"Image/BG.bmp\"; pivot 0 0; offset 0 0; cut in\n"
          "  text: noeffect; say \"The harbour at dusk, with a lighthouse far away on the hill.\"\n"
          "page\n  host SaveThumbnail \"Image/Thumb.bmp\"\n  text: noeffect; say \"two\"\n");
    RunFrames(3);
    const time_t before = std::time(nullptr);
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    const std::vector<uint8_t> bytes = CTempFolder::Read(SavePath("Q-Save.sav"));
    const SParsedSave save = ParseSaveBytes(bytes);
    ASSERT_TRUE(save.ok);
    tm local = {};
    localtime_r(&before, &local);
    EXPECT_EQ(save.date[0], local.tm_year + 1900);
    EXPECT_EQ(save.date[1], local.tm_mon + 1);
    EXPECT_LE(save.date[6], 999);
    EXPECT_EQ(save.nameLength, 0u);
    ASSERT_EQ(save.pixels.size(), 30000u);
    for (uint32_t r : {0u, 1u, 40u, 74u}) {
        for (uint32_t c : {0u, 1u, 57u, 99u}) {
            EXPECT_EQ(U32At(save.pixels, 4 * (100 * r + c)), CodedTexel(kTagSceneBg, 8 * c, 8 * r)) << r << " " << c;
        }
    }
    EXPECT_EQ(save.captionLength, 32u);
    EXPECT_EQ(save.caption, std::string("The harbour at dusk, with a lig"));
    ASSERT_GE(save.stateSize, 48u);
    const size_t state = save.stateOffset;
    EXPECT_EQ(TagAt(bytes, state), "CKEY");
    EXPECT_EQ(U32At(bytes, state + 4), 32u);
    const std::vector<uint8_t> unmasked = Unmask(bytes, state + 40, bytes.size(), bytes.data() + state + 8);
    EXPECT_EQ(TagAt(unmasked, 0), "TIME");
    EXPECT_EQ(U32At(unmasked, 4), 24u);

    // A named thumbnail replaces the pixels and survives the load.
    NextPage();
    EXPECT_STREQ(adventure.thumbnailName, "Image/Thumb.bmp");
    RunFrames(3);
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    const SParsedSave named = ParseSaveBytes(CTempFolder::Read(SavePath("Q-Save.sav")));
    ASSERT_TRUE(named.ok);
    EXPECT_EQ(named.nameLength, 16u);
    EXPECT_EQ(named.thumbnailName, "Image/Thumb.bmp");
    EXPECT_TRUE(named.pixels.empty());
    adventure.thumbnailName[0] = 0;
    ASSERT_EQ(adventure.LoadSave(SavePath("Q-Save.sav").c_str()), 0);
    EXPECT_STREQ(adventure.thumbnailName, "Image/Thumb.bmp");
}

TEST_F(AdventureTest, LoadNeverClearsThePersistentGameFlags) {
    Start(PlainPages("one|two|three"));
    RunFrames(3);
    ASSERT_EQ(adventure.WriteSave(SavePath("Save00.sav").c_str()), 0);  // flags 7, 8 and 20 clear
    adventure.engine.flags.game[8] = 1;   // earned after the save in this play
    adventure.engine.flags.game[20] = 1;  // an ordinary flag
    g_PersistentGameFlags[2] = 1;         // flag 7, earned in an earlier play
    ASSERT_EQ(adventure.LoadSave(SavePath("Save00.sav").c_str()), 0);
    EXPECT_EQ(adventure.engine.flags.game[7], 1);
    EXPECT_EQ(adventure.engine.flags.game[8], 1);
    EXPECT_EQ(adventure.engine.flags.game[20], 0);
    EXPECT_EQ(g_PersistentGameFlags[3], 1);  // flag 8 was kept system-wide before the load

    // A file that cannot be opened fails before the engine changes, flags already kept.
    adventure.engine.flags.game[9] = 1;
    adventure.engine.flags.game[20] = 1;
    EXPECT_EQ(adventure.LoadSave(SavePath("Missing.sav").c_str()), -1);
    EXPECT_EQ(g_PersistentGameFlags[4], 1);
    EXPECT_EQ(adventure.engine.flags.game[20], 1);
}

TEST_F(AdventureTest, AutoSaveTakesAMissingSlotFirstAndThenTheOldest) {
    Start(PlainPages("one|two"));
    RunFrames(3);
    const auto yearOf = [&](const char* name) { return ParseSaveBytes(CTempFolder::Read(SavePath(name))).date[0]; };
    for (const auto& [slot, day] : {std::pair{0, 20}, {2, 5}, {3, 9}}) {  // slot 0 is the newest, yet 1 is missing
        STestSave save;
        save.time = SSystemTime{2024, 1, 0, static_cast<uint16_t>(day), 12, 0, 0, 0};
        m_saves.Write("save/A-Save0" + std::to_string(slot) + ".sav", BuildSaveBytes(save));
    }
    ASSERT_EQ(adventure.AutoSave(), 0);
    EXPECT_NE(yearOf("A-Save01.sav"), 2024);
    ASSERT_EQ(adventure.AutoSave(), 0);  // all four exist: the oldest (slot 2) goes
    EXPECT_NE(yearOf("A-Save02.sav"), 2024);
    EXPECT_EQ(yearOf("A-Save03.sav"), 2024);
    EXPECT_EQ(ParseSaveBytes(CTempFolder::Read(SavePath("A-Save00.sav"))).date[2], 20);
}

TEST_F(AdventureTest, ScriptedAutoSaveWaitsForTheTextAndRunsOnce) {
    Start(PlainPages("one") + "page\n  host AutoSaving\n  text: say \"A longer text that takes a while to show.\"\n");
    RunFrames(3);
    NextPage();
    EXPECT_EQ(adventure.autoSaveRequested, 1u);
    EXPECT_FALSE(std::filesystem::exists(SavePath("A-Save00.sav")));  // the text is still being revealed
    RunFrames(1000);
    EXPECT_EQ(adventure.autoSaveRequested, 0u);
    EXPECT_TRUE(std::filesystem::exists(SavePath("A-Save00.sav")));
    EXPECT_FALSE(std::filesystem::exists(SavePath("A-Save01.sav")));
}

TEST_F(AdventureTest, FailedSaveKeepsThePreviousFile) {
    Start(PlainPages("one|two"));
    RunFrames(3);
    const std::string path = SavePath("Save05.sav");
    ASSERT_EQ(adventure.WriteSave(path.c_str()), 0);
    const std::vector<uint8_t> before = CTempFolder::Read(path);
    // The back buffer cannot be locked for the thumbnail.
    SLockedRect locked;
    ASSERT_EQ(m_backBuffer->LockRect(&locked, nullptr, 0), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(adventure.WriteSave(path.c_str()), -1);
    const std::string said = testing::internal::GetCapturedStderr();
    m_backBuffer->UnlockRect();
    EXPECT_EQ(said, "cannot write \"" + path +
                        "\": the frame for its thumbnail cannot be read; the file there before is kept\n");
    EXPECT_EQ(CTempFolder::Read(path), before);
    // A back buffer smaller than the 800 × 600 frame gives no thumbnail.
    CGraphicsDevice* small = MakeTestDevice(400, 300);
    ASSERT_NE(small, nullptr);
    CSurface* smallBuffer = nullptr;
    small->GetBackBuffer(&smallBuffer);
    g_pBackBuffer = smallBuffer;
    EXPECT_EQ(adventure.WriteSave(path.c_str()), -1);
    g_pBackBuffer = m_backBuffer;
    smallBuffer->Release();
    small->Release();
    EXPECT_EQ(CTempFolder::Read(path), before);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(g_SaveFolder)) files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);  // no temporary file left behind
}

// A save that cannot be written, from the menu's save screen, the quick-save button or the
// script's auto save: the box keeps its words, stderr names the file and the reason, and what
// stood at the file's place stays there.
TEST_F(AdventureTest, SavesThatCannotBeWrittenSayWhichFileAndWhy) {
    const char* const names[] = {"Save02.sav", "Q-Save.sav", "A-Save00.sav"};
    for (const char* name : names) std::filesystem::create_directories(SavePath(name) + "/kept");
    const auto saidFor = [&](const char* name) {
        return "cannot write \"" + SavePath(name) + "\": Is a directory; the file there before is kept\n";
    };
    Start(PlainPages("one|two|three"));
    RunFrames(3);
    TakeShownMessages();

    OpenMenu();
    ClickFrame(330, 80);  // save
    RunFrames(12);
    testing::internal::CaptureStderr();
    ClickFrame(100, 48 + 95 * 2 + 40);  // slot 2 of page 0
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(saidFor("Save02.sav")), std::string::npos) << said;
    // セーブに失敗しました
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{"Error!!|\x83\x5A\x81\x5B\x83\x75\x82\xC9\x8E\xB8\x94\x73"
                                                            "\x82\xB5\x82\xDC\x82\xB5\x82\xBD"});
    RightClickFrame();
    RunFrames(12);
    ASSERT_EQ(adventure.subMode, kAdventureScript);

    testing::internal::CaptureStderr();
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(saidFor("Q-Save.sav")), std::string::npos) << said;
    // クイックセーブに失敗しました
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{"Error!!|\x83\x4E\x83\x43\x83\x62\x83\x4E\x83\x5A\x81\x5B"
                                                            "\x83\x75\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"});
    EXPECT_EQ(adventure.quickSaveExists, 0u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(adventure.AutoSave(), -1);
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(saidFor("A-Save00.sav")), std::string::npos) << said;
    // オートセーブに失敗しました
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{"Error!!|\x83\x49\x81\x5B\x83\x67\x83\x5A\x81\x5B\x83\x75"
                                                            "\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"});

    for (const char* name : names) EXPECT_TRUE(std::filesystem::exists(SavePath(name) + "/kept")) << name;
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(g_SaveFolder)) files += entry.is_regular_file();
    EXPECT_EQ(files, 0u);  // no temporary file left behind
}

TEST_F(AdventureTest, HostCommandsMatchInAnyCaseLineByLine) {
    CAdventure::OnScriptCommand("savethumbnail Image/Thumb.bmp\r\n\r\nAUTOSAVING\nmovie \"\"", &adventure);
    EXPECT_STREQ(adventure.thumbnailName, "Image/Thumb.bmp");
    EXPECT_EQ(adventure.autoSaveRequested, 1u);
    EXPECT_EQ(adventure.movieRequested, 0u);  // an empty name requests nothing
    CAdventure::OnScriptCommand("Movie", &adventure);
    EXPECT_EQ(adventure.movieRequested, 0u);
    adventure.engine.autoMode = 1;
    adventure.engine.SetSkipMode(1);
    CAdventure::OnScriptCommand("  MoViE \"Movie/Story 01.txt\" \"extra\"", &adventure);
    EXPECT_EQ(adventure.movieRequested, 1u);
    EXPECT_STREQ(adventure.movieTable, "Movie/Story 01.txt");
    EXPECT_EQ(adventure.engine.autoMode, 0);
    EXPECT_EQ(adventure.engine.IsSkipMode(), 0);
    CAdventure::OnScriptCommand("SaveThumbnail \"a b\"\nSaveThumbnail", &adventure);
    EXPECT_STREQ(adventure.thumbnailName, "");
    CAdventure::OnScriptCommand("SaveThumbnail \"a b\"\nUnknown 1 2", &adventure);
    EXPECT_STREQ(adventure.thumbnailName, "a b");
}

TEST_F(AdventureTest, InputLockKeepsTheBarAndTheMenuAway) {
    Start("page\n  lock 3000\n  text: noeffect; say \"locked\"\n" + PlainPages("free"));
    RunFrames(3);
    RightClickFrame();
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    EXPECT_FALSE(std::filesystem::exists(SavePath("Q-Save.sav")));
    EXPECT_EQ(adventure.engine.pageNumber, 1u);
    RunFrames(200);  // the lock runs out
    RightClickFrame();
    EXPECT_EQ(adventure.subMode, kAdventureMenu);
}

TEST_F(AdventureTest, MovieRequestIsReportedAfterTheInputStepUnlessTheScenarioEnded) {
    Start(PlainPages("one") + "page\n  host Movie \"Movie/Story01.txt\"\n  text: noeffect; say \"two\"\n");
    RunFrames(3);
    EXPECT_EQ(ClickFrame(100, 100), kFrameMovie);
    EXPECT_EQ(adventure.movieRequested, 0u);
    EXPECT_STREQ(adventure.movieTable, "Movie/Story01.txt");
    RunFrames(3);
    adventure.movieRequested = 1;  // still requested when the input step ends the scenario: the end wins
    EXPECT_EQ(ClickFrame(100, 100), kFrameToTitle);
}

TEST_F(AdventureTest, AMovieShowsAloneWhileTheBarTheMenuAndAutoSaveWait) {
    UseFakeMovies({{"Movie/a.mpg", SFakeMovie{4, 10, 40, true, 0}}, {"Movie/b.mpg", SFakeMovie{5, 10, 40, true, 0}}});
    Start(PlainPages("one") + "page\n  host AutoSaving\n  movie \"Movie/a.mpg\" noskip\n  text: say \"two\"\n" +
          "page\n  movie \"Movie/b.mpg\"\n  text: say \"three\"\n" + PlainPages("four"));
    RunFrames(3);
    NextPage();
    ASSERT_EQ(adventure.engine.movie.active, 1);
    RunFrames(1);
    EXPECT_EQ(Pixel(400, 300), FakeMoviePixel(4, 0) & 0xFFFFFF);
    EXPECT_EQ(Pixel(kQuickSaveButton.x, kQuickSaveButton.y), FakeMoviePixel(4, 0) & 0xFFFFFF) << "no bar over it";
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    RightClickFrame();
    EXPECT_EQ(adventure.subMode, kAdventureScript) << "the menu does not open";
    EXPECT_FALSE(std::filesystem::exists(SavePath("Q-Save.sav")));
    EXPECT_FALSE(std::filesystem::exists(SavePath("A-Save00.sav"))) << "the auto save waits for the movie";
    EXPECT_EQ(adventure.engine.movie.active, 1) << "noskip";
    RunFrames(30);  // past its end: the next page starts the second movie
    ASSERT_EQ(adventure.engine.pageNumber, 3u);
    // A right click skips the second movie and opens nothing.
    RightClickFrame();
    EXPECT_EQ(adventure.engine.pageNumber, 4u);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    RunFrames(3);
    EXPECT_TRUE(std::filesystem::exists(SavePath("A-Save00.sav"))) << "once no movie plays";
    UseRealMovies();
}

TEST_F(AdventureTest, EndWritesGameDataOnceAndItsReadHistoryLimitsSkipMode) {
    const std::string source =
        PlainPages("one|two") + "page\n  cgflag 3\n  movieflag 2\n  setflag 6\n  text: noeffect; say \"three\"\n" +
        PlainPages("four");
    Start(source);
    RunFrames(3);
    NextPage();
    NextPage();
    adventure.End();
    EXPECT_EQ(g_SystemCgFlags[3], 1);
    EXPECT_EQ(g_SystemMovieFlags[2], 1);
    EXPECT_EQ(g_PersistentGameFlags[1], 1);
    const std::vector<uint8_t> bytes = CTempFolder::Read(SavePath("GameData.sys"));
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(U32At(bytes, 0), bytes.size() - 4);
    EXPECT_EQ(TagAt(bytes, 4), "CKEY");
    const std::vector<uint8_t> records = Unmask(bytes, 44, bytes.size(), bytes.data() + 12);
    ASSERT_GE(records.size(), 8u);
    EXPECT_EQ(TagAt(records, 0), "RDAT");
    EXPECT_EQ(TagAt(records, 8), "FNAM");
    const std::string name = reinterpret_cast<const char*>(records.data() + 16);
    EXPECT_EQ(name, "Script/EndWritesGameDataOnceAndItsReadHistoryLimitsSkipMode.vsf");
    const size_t rpn = 16 + name.size() + 1;
    EXPECT_EQ(TagAt(records, rpn), "RPN ");
    EXPECT_EQ(U32At(records, rpn + 8), 3u);
    std::filesystem::remove(SavePath("GameData.sys"));
    adventure.End();  // the second time does nothing
    EXPECT_FALSE(std::filesystem::exists(SavePath("GameData.sys")));

    m_saves.Write("save/GameData.sys", bytes);
    Start(source);
    ASSERT_EQ(adventure.engine.readHistory.records.size(), 1u);
    EXPECT_EQ(adventure.engine.readHistory.records[0].maxPage, 3);
    RunFrames(3);
    ClickFrame(440, 580);  // skip mode
    EXPECT_EQ(adventure.engine.IsSkipMode(), 1);
    RunFrames(10);
    EXPECT_EQ(PageText(), "three");  // skip stops at the highest page read
    EXPECT_EQ(adventure.engine.IsSkipMode(), 0);
}

TEST_F(AdventureTest, UpAndDownPickAChoiceWhileLeftAndRightStayWithTheBar) {
    WriteScript("ChoiceA", PlainPages("went left"));
    WriteScript("ChoiceB", PlainPages("went right"));
    Start("page\n  choice\n    option \"left\" goto \"Script/ChoiceA.vsf\"\n"
          "    option \"right\" goto \"Script/ChoiceB.vsf\"\n  end\n  text: noeffect; say \"which?\"\n");
    RunFrames(3);
    ASSERT_EQ(adventure.engine.choiceWindow.active, 1);
    KeyFrame(DIK_RIGHT);
    EXPECT_EQ(adventure.hoveredButton, 0);
    EXPECT_EQ(adventure.engine.choiceWindow.highlighted, -1);
    KeyFrame(DIK_DOWN);
    EXPECT_EQ(adventure.hoveredButton, -1);
    KeyFrame(DIK_DOWN);
    EXPECT_EQ(adventure.engine.choiceWindow.highlighted, 1);
    KeyFrame(DIK_RETURN);
    EXPECT_EQ(PageText(), "went right");
}

TEST_F(AdventureTest, MenuQuitAndReturnAskFirstAndEndTheAdventure) {
    Start(PlainPages("one|two"));
    RunFrames(3);
    const auto answer = [&](SPoint button) {
        RunFrames(12);
        ClickFrame(button.x, button.y);
        int32_t result = kFrameContinue;
        for (int i = 0; i < 30 && result == kFrameContinue; ++i) result = RunFrames(1);
        return result;
    };
    OpenMenu();
    ClickFrame(400, 240);  // quit
    ASSERT_EQ(adventure.menu.state, 6);
    EXPECT_EQ(answer({450, 240}), kFrameContinue);  // no: the menu stays
    EXPECT_EQ(adventure.menu.state, 1);
    ClickFrame(400, 180);  // return to the title
    ASSERT_EQ(adventure.menu.state, 5);
    EXPECT_EQ(answer({300, 240}), kFrameToTitle);
    EXPECT_EQ(adventure.subMode, kAdventureLeave);
    adventure.End();

    Start(PlainPages("one|two"));
    RunFrames(3);
    OpenMenu();
    ClickFrame(400, 240);
    EXPECT_EQ(answer({300, 240}), kFrameQuit);
}

TEST_F(AdventureTest, MenuSavesAndLoadsThroughItsScreensAndAFailedLoadLeaves) {
    Start(PlainPages("one|two|three"));
    RunFrames(3);
    NextPage();
    OpenMenu();
    ClickFrame(330, 80);  // save
    ASSERT_EQ(adventure.menu.state, 2);
    RunFrames(12);
    ClickFrame(100, 48 + 95 * 2 + 40);  // slot 2 of page 0
    EXPECT_TRUE(std::filesystem::exists(SavePath("Save02.sav")));
    EXPECT_EQ(adventure.menu.saveScreen.slots[2].used, 1u);
    EXPECT_EQ(adventure.menu.saveScreen.newest, 2);
    EXPECT_EQ(adventure.menu.state, 2);  // the save screen stays open
    RightClickFrame();
    RunFrames(12);
    EXPECT_EQ(adventure.subMode, kAdventureScript);  // closing the save screen ends the menu

    NextPage();
    RunFrames(3);
    OpenMenu();
    ClickFrame(330, 110);  // load
    ASSERT_EQ(adventure.menu.state, 3);
    RunFrames(12);
    ClickFrame(100, 48 + 95 * 2 + 40);  // slot 2
    int32_t result = kFrameContinue;
    for (int i = 0; i < 30 && adventure.subMode == kAdventureMenu; ++i) result = RunFrames(1);
    EXPECT_EQ(result, kFrameContinue);
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(PageText(), "two");

    m_saves.Write("save/Save02.sav", std::vector<uint8_t>(40, 7));
    OpenMenu();
    ClickFrame(330, 110);
    RunFrames(12);
    EXPECT_EQ(adventure.menu.loadScreen.slots[2].used, 0u);  // a damaged file is no choice
    adventure.menu.loadScreen.slots[2].used = 1;            // as if it broke after the page was read
    TakeShownMessages();
    ClickFrame(100, 48 + 95 * 2 + 40);
    for (int i = 0; i < 30 && result == kFrameContinue; ++i) result = RunFrames(1);
    EXPECT_EQ(result, kFrameToTitle);
    ASSERT_EQ(TakeShownMessages().size(), 1u);
}

TEST_F(AdventureTest, AutoModeDrawsTheOtherButtonsDisabledYetTheyStillReact) {
    Start(PlainPages("one|two|three"));
    RunFrames(3);
    ClickFrame(500, 580);  // auto mode
    EXPECT_EQ(adventure.engine.autoMode, 1);
    RunFrames(1);
    EXPECT_SHOWS(491, 575, kTagTextWindowButton, 47, 60);  // auto: mode on
    EXPECT_SHOWS(693, 575, kTagTextWindowButton, 224, 0);  // menu: disabled look
    EXPECT_SHOWS(433, 575, kTagTextWindowButton, 0, 0);    // skip: disabled look
    ClickFrame(kMenuButton.x, kMenuButton.y);
    EXPECT_EQ(adventure.subMode, kAdventureMenu);
    EXPECT_EQ(adventure.engine.autoMode, 0);
}

TEST_F(AdventureTest, PageThatHidesTheWindowHasNoBar) {
    Start("page\n  text: noeffect; hide; say \"no window\"\n" + PlainPages("two"));
    RunFrames(3);
    ASSERT_EQ(adventure.engine.messageWindow.whf, 1);
    EXPECT_FALSE(Shows(Pixel(433, 575), kTagTextWindowButton, 0, 20));    // skip button not drawn
    EXPECT_FALSE(Shows(Pixel(714, 526), kTagTextWindowButton, 79, 102));  // quick save not drawn
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    EXPECT_FALSE(std::filesystem::exists(SavePath("Q-Save.sav")));
    EXPECT_EQ(PageText(), "two");  // the click went to the engine
    EXPECT_EQ(adventure.subMode, kAdventureScript);
}

// A sound of the first page that cannot be read shows its box, as on any later page, and the
// story goes on: the new game starts. A file that is there but damaged is told apart on stderr.
TEST_F(AdventureTest, FirstPageSoundsThatCannotBeReadShowTheirBoxesAndTheStoryGoesOn) {
    ASSERT_TRUE(WriteFileBytes(AssetFolder() + "/Sound/Broken.ogg", {'n', 'o', 't', ' ', 'o', 'g', 'g'}));
    TakeShownMessages();
    testing::internal::CaptureStderr();
    Start("page\n  music 0: load \"Sound/Broken.ogg\"; play\n  se 1: load \"Sound/Missing.wav\"; play\n"
          "  text: noeffect; say \"one\"\n" +
          PlainPages("two"));
    const std::string said = testing::internal::GetCapturedStderr();
    // ファイルのオープンに失敗しました\n"<name>"
    const std::string box = "Error!!|\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC9"
                            "\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n\"";
    EXPECT_EQ(TakeShownMessages(), (std::vector<std::string>{box + "Sound/Broken.ogg\"", box + "Sound/Missing.wav\""}));
    EXPECT_NE(said.find("cannot read \"Sound/Broken.ogg\""), std::string::npos) << said;
    EXPECT_EQ(said.find("cannot read \"Sound/Missing.wav\""), std::string::npos) << "a missing file is not damaged";
    RunFrames(3);
    EXPECT_EQ(PageText(), "one");
    NextPage();
    EXPECT_EQ(PageText(), "two");
}

// A save that cannot be loaded when the adventure starts from the title: the load-failure box and
// the result that gives the title back, with nothing of the adventure left running.
TEST_F(AdventureTest, ASaveThatCannotBeLoadedAtTheStartShowsTheBoxAndAsksForTheTitle) {
    const std::string path = m_saves.Write("save/Save02.sav", std::vector<uint8_t>(40, 7));
    TakeShownMessages();
    EXPECT_EQ(adventure.Init(1, path.c_str()), kAdventureLoadFailed);
    // ロードに失敗しました
    EXPECT_EQ(TakeShownMessages(),
              std::vector<std::string>{"Error!!|\x83\x8D\x81\x5B\x83\x68\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"});
    EXPECT_EQ(adventure.subMode, kAdventureNotStarted);
    EXPECT_EQ(adventure.Init(1, (m_saves.Path() + "/save/none.sav").c_str()), kAdventureLoadFailed);
}

// GameData.sys that cannot be replaced keeps the file there and says why on stderr; without a save
// folder nothing is written into the working folder, and that is said too.
TEST_F(AdventureTest, GameDataThatCannotBeWrittenIsSaidAndWrittenNowhereElse) {
    std::filesystem::create_directories(SavePath("GameData.sys/kept"));
    Start(PlainPages("one|two"));
    RunFrames(3);
    testing::internal::CaptureStderr();
    adventure.End();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot write \"" + SavePath("GameData.sys") + "\": Is a directory"), std::string::npos) << said;
    EXPECT_TRUE(std::filesystem::exists(SavePath("GameData.sys/kept")));

    const std::string folder = g_SaveFolder;
    g_SaveFolder[0] = 0;
    Start(PlainPages("one|two"));
    RunFrames(3);
    char path[kSavePathSize] = "unchanged";
    GetSaveFolderPath(kQuickSaveName, path);
    EXPECT_STREQ(path, "") << "no save folder, no path: never a bare name in the working folder";
    GetSaveFileName(5, path);
    EXPECT_STREQ(path, "");
    TakeShownMessages();
    testing::internal::CaptureStderr();
    ClickFrame(kQuickSaveButton.x, kQuickSaveButton.y);
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("save file not written: there is no save folder"), std::string::npos) << said;
    // クイックセーブに失敗しました
    EXPECT_EQ(TakeShownMessages().size(), 1u) << "the save says it failed";
    testing::internal::CaptureStderr();
    adventure.End();
    said = testing::internal::GetCapturedStderr();
    std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s", folder.c_str());
    EXPECT_NE(said.find("GameData.sys not written: there is no save folder"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists("GameData.sys"));
    EXPECT_FALSE(std::filesystem::exists("Q-Save.sav"));
}
