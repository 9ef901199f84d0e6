// The adventure over the sample game: a new game played from the first page to an ending with
// clicks and keys, visiting every in-game screen on the way (backlog, menu with its save, load and
// configuration screens, quick save and quick load), the script's auto save and story movie.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/input_devices.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "screens/adventure.h"
#include "tests/screens/save_bytes.h"
#include "tests/screens/screen_fixture.h"

namespace {

const std::string kGameFolder = std::string(TEST_BINARY_DIR) + "/game";

}  // namespace

class PlayThroughTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        if (!std::filesystem::exists(kGameFolder + "/Script.pac")) GTEST_SKIP() << "the sample game is not built";
        m_workingFolder.reset();
        m_workingFolder = std::make_unique<CWorkingFolder>(kGameFolder);
        OpenSystemArchive(nullptr);
    }
    void TearDown() override {
        adventure.End();
        CloseSystemArchive();
        ScreenTest::TearDown();
    }

    // One tick of play: the choice window is answered with the keys (the first choice when
    // `firstChoice`, else the second), anything else gets a click on empty space.
    int32_t PlayTick(bool firstChoice) {
        NextTick(100);
        CVantEngine& engine = adventure.engine;
        const bool settled = g_bPageEffectsDone && g_bPageTextDone && (g_bPageVoiceDone || !engine.choiceWindow.waitForVoice);
        if (engine.choiceWindow.active && settled) {
            const int32_t wanted = firstChoice ? 0 : 1;
            PressKey(engine.choiceWindow.highlighted == wanted ? DIK_RETURN : DIK_DOWN);
        } else {
            Click(100, 100);
        }
        const int32_t result = adventure.Frame();
        if (result == kFrameMovie) {
            ++movies;
            // The story-movie mode: its five results land in game flags 1 to 5.
            const uint8_t results[5] = {1, 0, 0, 0, 0};
            std::memcpy(&engine.flags.game[1], results, sizeof results);
        }
        return result;
    }
    // Plays until the page of that script is shown (or the scenario ends).
    bool PlayTo(const char* script, uint32_t page, bool firstChoice = true) {
        for (int i = 0; i < 3000; ++i) {
            if (std::strcmp(adventure.engine.scriptName, script) == 0 && adventure.engine.pageNumber == page) return true;
            if (PlayTick(firstChoice) == kFrameToTitle) return false;
        }
        return false;
    }
    void Ticks(int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            NextTick();
            adventure.Frame();
        }
    }
    void ClickAt(int32_t x, int32_t y) {
        NextTick(200);
        Click(x, y);
        adventure.Frame();
        Ticks(12);
    }

    // Every logged page carries the voice of its own speaker and no other: none for narration
    // and for Kai, one Voice/Akari_ or Voice/Shion_ line for theirs.
    void ExpectLogVoicesOfTheirSpeakers() {
        const CMessageLog& log = adventure.engine.messageLog;
        for (const auto& entry : log.entries) {
            std::string expected;
            if (std::strcmp(entry->name, "\x83\x41\x83\x4A\x83\x8A") == 0) expected = "Voice/Akari_";  // アカリ
            if (std::strcmp(entry->name, "\x83\x56\x83\x49\x83\x93") == 0) expected = "Voice/Shion_";  // シオン
            int32_t used = 0;
            for (const CLogVoice& voice : entry->voices) {
                if (!voice.used) continue;
                ++used;
                EXPECT_EQ(std::string(voice.name).rfind(expected, 0), 0u) << voice.name << " logged with: " << entry->text;
            }
            EXPECT_EQ(used, expected.empty() ? 0 : 1) << entry->text;
        }
    }
    // While a layer shows an event picture, no layer drawn over it shows a character.
    void ExpectEventPicturesOverTheCharacters() {
        const CImageLayer* layers = adventure.engine.layers;
        for (int32_t below = 0; below < kLayerCount; ++below) {
            if (!layers[below].used || !layers[below].visible || std::strncmp(layers[below].name, "Image/CG/", 9) != 0)
                continue;
            for (int32_t above = below + 1; above < kLayerCount; ++above)
                EXPECT_FALSE(layers[above].used && layers[above].visible &&
                             std::strncmp(layers[above].name, "Image/Chara/", 12) == 0)
                    << layers[above].name << " over " << layers[below].name << " in " << adventure.engine.scriptName
                    << " page " << adventure.engine.pageNumber;
        }
    }

    CAdventure adventure;
    int32_t movies = 0;
};

TEST_F(PlayThroughTest, VoicesStayWithTheirPagesAndEventPicturesCoverTheCharacters) {
    for (const bool toLighthouse : {true, false}) {
        SCOPED_TRACE(toLighthouse ? "lighthouse road" : "market road");
        ASSERT_EQ(adventure.Init(0, kFirstScript), 0);
        ASSERT_TRUE(PlayTo("Script/Main.vsf", 10));
        Ticks(500);  // every voice and effect of the choice page has ended
        ASSERT_EQ(adventure.engine.choiceWindow.active, 1);
        ClickAt(720, 530);  // quick save
        ClickAt(720, 555);  // quick load: no old voice replays, the choices show once the text has
        ASSERT_EQ(adventure.engine.choiceWindow.active, 1);
        EXPECT_EQ(g_bPageVoiceDone, 1);
        Ticks(200);  // 3 s: the text's fade-in has ended, the page's last voice would still play
        EXPECT_EQ(g_bPageEffectsDone + g_bPageTextDone + g_bPageVoiceDone, 3);
        NextTick();
        MoveMouse(100, 100);  // off the bar's buttons, so that Return answers the choice
        adventure.Frame();

        int32_t result = kFrameContinue;
        for (int i = 0; i < 3000 && result != kFrameToTitle; ++i) {
            result = PlayTick(toLighthouse);
            ExpectEventPicturesOverTheCharacters();
            if (i % 20 == 0) ExpectLogVoicesOfTheirSpeakers();
        }
        ASSERT_EQ(result, kFrameToTitle) << adventure.engine.scriptName << " page " << adventure.engine.pageNumber
                                         << " sub-mode " << adventure.subMode << " highlighted "
                                         << adventure.engine.choiceWindow.highlighted;
        adventure.End();
    }
    for (const std::string& shown : TakeShownMessages()) ADD_FAILURE() << shown;
}

TEST_F(PlayThroughTest, NewGameToAnEndingThroughEveryScreen) {
    ASSERT_EQ(adventure.Init(0, kFirstScript), 0);
    ASSERT_TRUE(PlayTo("Script/Main.vsf", 2));
    Ticks(200);
    ClickAt(720, 530);  // quick save on page 2
    ASSERT_EQ(adventure.quickSaveExists, 1u);
    const std::string pageTwo = adventure.engine.messageWindow.text;

    ASSERT_TRUE(PlayTo("Script/Main.vsf", 4));
    NextTick();
    TurnWheel(120);
    adventure.Frame();
    ASSERT_EQ(adventure.subMode, kAdventureBacklog);
    Ticks(40);
    EXPECT_GE(adventure.backlog.lines[0].used + adventure.backlog.lines[1].used, 2);
    NextTick();
    RightClick();
    adventure.Frame();
    Ticks(40);
    ASSERT_EQ(adventure.subMode, kAdventureScript);

    ClickAt(700, 580);  // the menu
    ASSERT_EQ(adventure.subMode, kAdventureMenu);
    ClickAt(330, 80);  // save
    ClickAt(100, 48 + 95 * 3 + 40);  // slot 3
    EXPECT_TRUE(std::filesystem::exists(SavePath("Save03.sav")));
    ClickAt(560, 560);  // to the load screen
    ASSERT_EQ(adventure.menu.state, 3);
    EXPECT_EQ(adventure.menu.loadScreen.slots[3].used, 1u);
    ClickAt(720, 560);  // close: back to the story
    ASSERT_EQ(adventure.subMode, kAdventureScript);
    ClickAt(700, 580);
    ClickAt(330, 140);  // configuration
    ASSERT_EQ(adventure.menu.state, 4);
    ClickAt(179 + 40 * 2 + 5, 150);  // text speed 66
    EXPECT_EQ(adventure.engine.settings.textSpeed, 66u);
    ClickAt(400, 550);  // close
    ASSERT_EQ(adventure.subMode, kAdventureScript);

    ClickAt(720, 555);  // quick load: back to page 2
    EXPECT_EQ(adventure.engine.pageNumber, 2u);
    EXPECT_EQ(adventure.engine.messageWindow.text, pageTwo);

    ASSERT_TRUE(PlayTo("Script/Main.vsf", 8));
    Ticks(20);
    EXPECT_TRUE(std::filesystem::exists(SavePath("A-Save00.sav")));  // page 7 asked for it

    ASSERT_TRUE(PlayTo("Script/Lighthouse.vsf", 2)) << adventure.engine.scriptName << " " << adventure.engine.pageNumber;
    EXPECT_STREQ(adventure.thumbnailName, "System/Thumbnail/Lighthouse.bmp");
    ASSERT_EQ(adventure.WriteSave(SavePath("Save04.sav").c_str()), 0);
    const SParsedSave named = ParseSaveBytes(CTempFolder::Read(SavePath("Save04.sav")));
    EXPECT_TRUE(named.ok);
    EXPECT_EQ(named.thumbnailName, "System/Thumbnail/Lighthouse.bmp");

    int32_t result = kFrameContinue;
    for (int i = 0; i < 3000 && result != kFrameToTitle; ++i) result = PlayTick(true);
    EXPECT_EQ(result, kFrameToTitle);
    EXPECT_EQ(movies, 1);
    EXPECT_STREQ(adventure.engine.scriptName, "Script/NormalEnd.vsf");  // flag 11 comes from the market
    adventure.End();
    EXPECT_EQ(g_PersistentGameFlags[0], 1);  // every ending sets game flag 0
    EXPECT_EQ(g_SystemCgFlags[0], 1);
    EXPECT_TRUE(std::filesystem::exists(SavePath("GameData.sys")));
    for (const std::string& shown : TakeShownMessages()) ADD_FAILURE() << shown;

    // The second play continues from the ordinary save and sees the read pages.
    ASSERT_EQ(adventure.Init(1, SavePath("Save03.sav").c_str()), 0);
    EXPECT_STREQ(adventure.engine.scriptName, "Script/Main.vsf");
    EXPECT_EQ(adventure.engine.pageNumber, 4u);
    EXPECT_EQ(adventure.engine.flags.game[0], 1);  // kept across plays
    EXPECT_FALSE(adventure.engine.readHistory.records.empty());
}
