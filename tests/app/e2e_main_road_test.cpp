// The main road of the sample game, played in-process by the real application object with the
// fake clock and synthetic input, and the files it leaves behind, read by independent readers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/system_data.h"
#include "platform/clock.h"
#include "platform/cursor.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "platform/render_context.h"
#include "tests/app/app_harness.h"
#include "tests/app/saved_files.h"

namespace {

const std::string kSampleGame = std::string(TEST_BINARY_DIR) + "/game";
constexpr uint32_t kStep = 250;  // between two clicks: past every key guard
const std::string kCaptionPage2 = "\x8B\x75\x82\xCC\x8F\xE3\x82\xC9\x82\xCD";               // 丘の上には
const std::string kCaptionPage7 = "\x81\x75\x8E\xE8\x92\xA0\x82\xC9\x82\xCD";               // 「手帳には
const std::string kCaptionMarket = "\x97\x5B\x95\xE9\x82\xEA\x82\xCC\x8E\x73\x8F\xEA\x82\xCD";  // 夕暮れの市場は

// The engine state of a page without choices and waits, chunk by chunk.
std::vector<std::string> ExpectedStateTags() {
    std::vector<std::string> tags = {"CKEY", "TIME", "SCRT", "TEXT"};
    for (int layer = 0; layer < 16; ++layer) tags.insert(tags.end(), {"IMGN", "IMAG"});
    tags.insert(tags.end(), {"MIMG", "CAM ", "LGHT"});
    for (int i = 0; i < 2; ++i) tags.insert(tags.end(), {"BTNO", "BGMT"});
    for (int i = 0; i < 4; ++i) tags.insert(tags.end(), {"VTNO", "VOIT"});
    for (int i = 0; i < 4; ++i) tags.insert(tags.end(), {"SETN", "SET "});
    tags.push_back("FLAG");
    return tags;
}

using SPage = std::pair<std::string, uint32_t>;  // script, page

class MainRoad : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kSampleGame + "/System.pac")) GTEST_SKIP() << "build the sample_game target";
    }

    void Begin() {
        harness_ = std::make_unique<CAppHarness>(kSampleGame, home_.Path());
        ASSERT_EQ(harness_->Start(), 1);
    }
    void Finish() { harness_.reset(); }

    CGameApp& App() { return harness_->app; }
    CVantEngine& Engine() { return harness_->app.adventure.engine; }
    SPage Here() { return SPage{Engine().scriptName, Engine().pageNumber}; }

    // Ticks for ms (the first tick takes the input given before); 0 when the program ended.
    int32_t Wait(uint32_t ms) {
        int32_t result = 1;
        for (uint32_t t = 0; t < ms && result != 0; t += kTickMs) result = harness_->Tick();
        return result;
    }
    int32_t ClickAt(int32_t x, int32_t y, uint32_t after = kStep) {
        harness_->Click(x, y);
        return Wait(after);
    }
    int32_t RightClickAt(int32_t x, int32_t y) {
        harness_->RightClick(x, y);
        return Wait(kStep);
    }

    // Clicks at the middle of the scene every kStep until the predicate holds, noting the pages
    // of the adventure seen on the way.
    template <typename Done>
    bool ClickUntil(Done done, int32_t limit) {
        for (int32_t i = 0; i < limit; ++i) {
            if (App().mode == kModeAdventure) seen_.insert(Here());
            if (done()) return true;
            if (ClickAt(400, 300) == 0) return false;
        }
        return done();
    }
    std::string SavePath(const std::string& name) const { return home_.Path() + "/Save/Velkora/" + name; }
    void CheckSystemData();
    void CheckGameData();
    void CheckSaves();

    std::unique_ptr<CAppHarness> harness_;
    CTempFolder home_;
    std::set<SPage> seen_;
};

TEST_F(MainRoad, PlaysFromTheTitleToTheEndAndBack) {
    // First run: a new game through every page of the first script.
    Begin();
    ClickAt(400, 300);  // the logo
    ASSERT_EQ(App().mode, kModeTitle);
    ClickAt(10, 10);    // the title's opening fade
    ClickAt(680, 269, kTitleFadeMs + kStep);  // new game
    ASSERT_EQ(App().mode, kModeAdventure);
    EXPECT_EQ(std::string(Engine().scriptName), "Script/Main.vsf");
    EXPECT_EQ(Engine().pageNumber, 1u);

    // A lost device is reset on the next tick, and that tick's frame draws the scene.
    Wait(2000);
    g_pD3DDevice->SimulateDeviceLoss(0);
    ASSERT_EQ(harness_->Tick(), 1);
    EXPECT_EQ(g_pD3DDevice->TestCooperativeLevel(), kDeviceOk);
    EXPECT_NE(BackBufferPixel(400, 100), 0x100010u) << "the frame after the reset shows the scene";

    ASSERT_TRUE(ClickUntil([&] { return Engine().pageNumber == 2 && g_bPageTextDone == 1; }, 10));
    ClickAt(750, 536);  // quick save
    EXPECT_TRUE(std::filesystem::exists(harness_->SavePath("Q-Save.sav")));
    EXPECT_EQ(Engine().pageNumber, 2u) << "the quick-save button does not advance the page";

    ASSERT_TRUE(ClickUntil([&] { return Engine().choiceWindow.active == 1 && g_bPageTextDone == 1; }, 60));
    for (uint32_t page = 1; page <= 10; ++page)
        EXPECT_EQ(seen_.count(SPage{"Script/Main.vsf", page}), 1u) << "page " << page;
    EXPECT_TRUE(std::filesystem::exists(harness_->SavePath("A-Save00.sav"))) << "page 7 asks for an auto save";

    // The second choice, pointed at with the mouse and taken with Return.
    harness_->MoveMouse(400, 227);
    Wait(kStep);
    EXPECT_EQ(Engine().choiceWindow.highlighted, 1);
    harness_->TapKey(DIK_RETURN);
    Wait(kStep);
    ASSERT_EQ(std::string(Engine().scriptName), "Script/Market.vsf");
    ASSERT_TRUE(ClickUntil([&] { return g_bPageTextDone == 1 && g_bPageEffectsDone == 1; }, 10));

    // The menu's save into the first slot, then quit from the menu.
    RightClickAt(400, 300);
    ASSERT_EQ(App().adventure.subMode, kAdventureMenu);
    ClickAt(398, 86);   // save
    ClickAt(200, 95);   // slot 0
    EXPECT_TRUE(std::filesystem::exists(harness_->SavePath("Save00.sav")));
    RightClickAt(400, 300);  // closes the save screen
    Wait(kStep);
    ASSERT_EQ(App().adventure.subMode, kAdventureScript);
    RightClickAt(400, 300);
    ClickAt(398, 241);  // quit
    ClickAt(335, 240);  // yes
    EXPECT_EQ(Wait(1000), 0) << "the program ends";
    Finish();

    // Second run: continue from the quick save, back to the title, load the ordinary save.
    Begin();
    ClickAt(400, 300);
    ClickAt(10, 10);
    EXPECT_EQ(App().title.continueEnabled, 1);
    EXPECT_EQ(App().title.loadEnabled, 1);
    ClickAt(680, 369, kTitleFadeMs + kStep);  // continue
    ASSERT_EQ(App().mode, kModeAdventure);
    EXPECT_EQ(std::string(Engine().scriptName), "Script/Main.vsf");
    EXPECT_EQ(Engine().pageNumber, 2u);

    RightClickAt(400, 300);
    ClickAt(398, 179);  // back to the title
    ClickAt(335, 240);  // yes
    Wait(kStep);
    ASSERT_EQ(App().mode, kModeTitle);
    ClickAt(10, 10);
    ClickAt(680, 319);  // load
    ASSERT_EQ(App().title.state, kTitleLoadOpen);
    ClickAt(200, 95);   // slot 0
    Wait(kStep);
    ASSERT_EQ(App().mode, kModeAdventure);
    EXPECT_EQ(Here(), SPage("Script/Market.vsf", 1)) << "where the menu's save was made";

    // On through the market's last page, whose movie cannot be skipped and leads to the
    // lighthouse, to the lighthouse's story movie.
    seen_.clear();
    ASSERT_TRUE(ClickUntil([&] { return App().mode != kModeAdventure; }, 400));
    ASSERT_EQ(App().mode, kModeAdvMovie);
    const uint32_t movieSeenAt = GetTimeMs();
    const uint32_t gameClock = g_GameClock;
    for (uint32_t page = 2; page <= 7; ++page) EXPECT_EQ(seen_.count(SPage{"Script/Market.vsf", page}), 1u);
    EXPECT_EQ(Here(), SPage("Script/Lighthouse.vsf", 7));
    EXPECT_EQ(Engine().movie.active, 0);
    EXPECT_NE(BackBufferPixel(400, 300), 0x100010u) << "the movie's frame is shown";
    // The hand cursor over a lever, the normal one between them; the right lever's result lands
    // in game flag 2.
    harness_->MoveMouse(200, 300);
    Wait(kStep);
    EXPECT_EQ(GetShownColourCursor(), App().advMovie.cursors.Get(EMovieCursor::Hand));
    harness_->MoveMouse(400, 300);
    Wait(kStep);
    EXPECT_EQ(GetShownColourCursor(), nullptr);
    Engine().flags.game[5] = 1;
    EXPECT_EQ(g_GameClock, gameClock) << "the game clock stands still during the movie";
    ClickAt(590, 300);
    ASSERT_EQ(App().mode, kModeAdventure);
    EXPECT_EQ(std::vector<uint8_t>(Engine().flags.game + 1, Engine().flags.game + 6),
              (std::vector<uint8_t>{0, 1, 0, 0, 0}));
    EXPECT_GE(g_GameClock - gameClock, GetTimeMs() - movieSeenAt) << "the resumed adventure takes the whole pause";

    // On to the end of the scenario, which returns to the title.
    ASSERT_TRUE(ClickUntil([&] { return App().mode != kModeAdventure; }, 400));
    EXPECT_EQ(App().mode, kModeTitle);
    EXPECT_EQ(seen_.count(SPage{"Script/NormalEnd.vsf", 4}), 1u);
    EXPECT_TRUE(harness_->TakeMessages().empty());
    EXPECT_EQ(App().title.extraEnabled, 1) << "the last page earned game flag 0";
    ClickAt(10, 10);
    ClickAt(680, 519);  // quit
    EXPECT_EQ(Wait(kTitleFadeMs + kStep), 0);
    Finish();

    CheckSystemData();
    CheckGameData();
    CheckSaves();
}

void MainRoad::CheckSystemData() {
    SStoredSystemData stored;
    std::string error;
    ASSERT_TRUE(ReadStoredSystemData(CTempFolder::Read(SavePath("System.sys")), &stored, &error)) << error;
    EXPECT_EQ(stored.windowed, 1u);
    EXPECT_EQ(stored.textSpeed, 137u);
    EXPECT_EQ(stored.persistentFlags, (std::vector<uint8_t>{1, 0, 0, 0, 0}));
    for (uint32_t picture : {0u, 1u, 2u, 5u}) EXPECT_EQ(stored.cgFlags[picture], 1) << "picture " << picture;
    EXPECT_EQ(stored.cgFlags[3], 0) << "the good end was not seen";
    EXPECT_EQ(stored.movieFlags[1], 1);
    EXPECT_EQ(stored.movieFlags[2], 0);
    EXPECT_EQ(stored.movieFlags[3], 1) << "the market's movie page";
    EXPECT_EQ(stored.movieFlags[4], 0) << "the notebook was not looked at";
}

void MainRoad::CheckGameData() {
    std::vector<SReadRecord> records;
    std::string error;
    ASSERT_TRUE(ReadGameDataFile(CTempFolder::Read(SavePath("GameData.sys")), &records, &error)) << error;
    std::map<std::string, uint32_t> pages;
    for (const SReadRecord& record : records) {
        EXPECT_EQ(pages.count(record.script), 0u) << record.script << " recorded twice";
        pages[record.script] = record.maxPage;
    }
    EXPECT_EQ(pages.size(), 4u);
    EXPECT_GE(pages["Script/Main.vsf"], 10u);
    EXPECT_GE(pages["Script/Market.vsf"], 6u);
    EXPECT_GE(pages["Script/Lighthouse.vsf"], 7u);
    EXPECT_GE(pages["Script/NormalEnd.vsf"], 4u);
}

void MainRoad::CheckSaves() {
    struct SExpected {
        const char* file;
        const char* script;
        uint32_t page;
        std::string caption;
    };
    const SExpected expected[] = {
        {"Q-Save.sav", "Script/Main.vsf", 2, kCaptionPage2},
        {"A-Save00.sav", "Script/Main.vsf", 7, kCaptionPage7},
        {"Save00.sav", "Script/Market.vsf", 1, kCaptionMarket},
    };
    for (const SExpected& want : expected) {
        SCOPED_TRACE(want.file);
        SSaveFile save;
        std::string error;
        ASSERT_TRUE(ReadSaveFile(CTempFolder::Read(SavePath(want.file)), &save, &error)) << error;
        EXPECT_EQ(save.script, want.script);
        EXPECT_EQ(save.page, want.page);
        EXPECT_EQ(save.caption.compare(0, want.caption.size(), want.caption), 0) << save.caption;
        EXPECT_GE(save.date[0], 2024);
        EXPECT_TRUE(save.date[1] >= 1 && save.date[1] <= 12);
        // The first page cleared the thumbnail name: the file carries the scene's pixels.
        EXPECT_TRUE(save.thumbnailName.empty());
        ASSERT_EQ(save.pixels.size(), 30000u);
        std::set<uint32_t> colours;
        for (size_t i = 0; i < save.pixels.size(); i += 4) {
            EXPECT_EQ(save.pixels[i + 3], 0xFF) << "pixel " << i / 4;
            colours.insert(save.pixels[i] | save.pixels[i + 1] << 8 | save.pixels[i + 2] << 16);
            if (save.pixels[i + 3] != 0xFF) break;
        }
        EXPECT_GT(colours.size(), 50u) << "the thumbnail shows the scene";
        std::vector<std::string> tags;
        for (const SChunk& chunk : save.state) tags.push_back(chunk.tag);
        EXPECT_EQ(tags, ExpectedStateTags());
        EXPECT_EQ(save.gameFlags[11], 0);
    }
}

}  // namespace
