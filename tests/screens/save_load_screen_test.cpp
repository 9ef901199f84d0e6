#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/input_devices.h"
#include "screens/save_file.h"
#include "screens/save_load_screen.h"
#include "sound/sound_player.h"
#include "tests/screens/save_bytes.h"
#include "tests/screens/screen_fixture.h"

namespace {

std::string SaveName(int32_t slot) {
    char path[kSavePathSize];
    GetSaveFileName(slot, path);
    return path;
}

SSystemTime At(uint16_t day, uint16_t hour) { return SSystemTime{2024, 3, 0, day, hour, 0, 0, 0}; }

// The top left corner of a slot on the page.
SPoint SlotCorner(int32_t index) { return SPoint{16 + 388 * (index / 5), 48 + 95 * (index % 5)}; }

}  // namespace

// A save file's path is taken whole or refused, never cut into another name: under a folder
// that leaves room for exactly "Save07.sav", one byte more does not fit.
TEST(SaveFileName, PathsAtTheBufferBoundAreTakenWholeOrRefused) {
    char saved[kSaveFolderSize];
    std::memcpy(saved, g_SaveFolder, sizeof saved);
    const std::string folder = "/" + std::string(kSavePathSize - 1 - std::strlen("/Save07.sav") - 1, 'd') + "/";
    std::memcpy(g_SaveFolder, folder.c_str(), folder.size() + 1);
    EXPECT_EQ(SaveName(7), folder + "Save07.sav");
    EXPECT_EQ(SaveName(7).size(), kSavePathSize - 1);
    EXPECT_EQ(SaveName(kQuickSaveSlot), folder + "Q-Save.sav");
    EXPECT_EQ(SaveName(kFirstAutoSaveSlot + 1), "");
    char path[kSavePathSize] = "unchanged";
    GetSaveFolderPath(kGameDataName, path);
    EXPECT_STREQ(path, "");
    std::strcpy(path, "unchanged");
    EXPECT_EQ(FormatPath(path, "%sSave%02d.sav.", g_SaveFolder, 7), -1) << "one byte too long";
    EXPECT_STREQ(path, "");
    std::memcpy(g_SaveFolder, saved, sizeof saved);
}

class SaveLoadScreenTest : public ScreenTest {
protected:
    void WriteSave(int32_t slot, const STestSave& save) {
        m_saves.Write(SaveName(slot).substr(m_saves.Path().size() + 1), BuildSaveBytes(save));
    }
    void WriteSave(int32_t slot, SSystemTime time) {
        STestSave save;
        save.time = time;
        WriteSave(slot, save);
    }
    int32_t Update() { return screen.kind == kSaveScreen ? screen.UpdateSave() : screen.UpdateLoad(); }
    int32_t ClickOn(int32_t x, int32_t y) {
        NextTick();
        Click(x, y);
        return Update();
    }
    int32_t Tick() {
        NextTick();
        return Update();
    }
    int32_t ClickOnSlot(int32_t index) { return ClickOn(SlotCorner(index).x + 50, SlotCorner(index).y + 40); }
    int32_t Press(uint8_t dik) {
        NextTick(200);
        PressKey(dik);
        return Update();
    }
    void Draw() {
        NextTick();
        BeginFrame();
        screen.Draw();
        EndFrame();
    }
    // Draws until the state is reached (at most 12 frames).
    void DrawUntil(int32_t state) {
        for (int i = 0; i < 12 && screen.state != state; ++i) Draw();
        ASSERT_EQ(screen.state, state);
    }
    // Answers the overwrite question with the button at (x, y); the screen's result after it.
    int32_t AnswerQuestion(int32_t x, int32_t y) {
        for (int i = 0; i < 12 && screen.question.state == 0; ++i) Draw();
        EXPECT_SHOWS(321, 174, kTagYesNoButton, 120, 80);  // the overwrite question
        EXPECT_EQ(ClickOn(x, y), 0);
        int32_t result = 0;
        for (int i = 0; i < 20 && screen.state == 3; ++i) {
            Draw();
            result = Tick();
        }
        return result;
    }

    CSaveLoadScreen screen;
};

TEST_F(SaveLoadScreenTest, PageOfMissingFilesShowsEmptySlotsAndOffersOnlyTabsOnTheLoadScreen) {
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    DrawUntil(2);
    for (int32_t index = 0; index < 10; ++index) {
        const SPoint corner = SlotCorner(index);
        EXPECT_SHOWS(corner.x + 18, corner.y + 11, kTagSaveLoadButton, 0, 284);  // the empty picture
        EXPECT_SHOWS(corner.x + 117, corner.y + 85, kTagSaveLoadButton, 99, 358);
    }
    NextTick();
    MoveMouse(100, 100);  // over slot 0
    screen.UpdateLoad();
    EXPECT_EQ(screen.hovered, -1);
    Press(DIK_RIGHT);
    EXPECT_EQ(screen.hovered, kHoverFirstPageTab);  // the slots are passed over
    Press(DIK_LEFT);
    EXPECT_EQ(screen.hovered, kHoverClose);
    Press(DIK_LEFT);
    EXPECT_EQ(screen.hovered, kHoverSwitchTab);  // offered on the load screen of the game
    EXPECT_EQ(ClickOn(100, 100), 0);
    EXPECT_EQ(screen.state, 2);
    EXPECT_EQ(screen.selected, -1);
}

TEST_F(SaveLoadScreenTest, LoadScreenFromTheTitleDrawsTheSwitchTabButNeverOffersIt) {
    ASSERT_EQ(screen.InitLoad(1, 0), 0);
    EXPECT_EQ(screen.kind, kLoadFromTitle);
    DrawUntil(2);
    EXPECT_SHOWS(501, 548, kTagSaveLoadButton, 143, 87);  // drawn, normal
    NextTick();
    MoveMouse(560, 560);
    screen.UpdateLoad();
    EXPECT_EQ(screen.hovered, -1);
    screen.hovered = kHoverClose;
    Press(DIK_UP);
    EXPECT_EQ(screen.hovered, kHoverAutoQuickTab);
    Press(DIK_DOWN);
    EXPECT_EQ(screen.hovered, kHoverClose);
}

TEST_F(SaveLoadScreenTest, SlotNumberThirtySevenIsShownAsZeroThreeSevenAndChosen) {
    WriteSave(37, At(1, 10));
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    DrawUntil(2);
    ClickOn(30 + 40 * 3, 560);  // page tab 3
    ASSERT_EQ(screen.page, 3);
    EXPECT_EQ(screen.slots[7].used, 1u);
    Draw();
    const SPoint corner = SlotCorner(7);
    EXPECT_SHOWS(corner.x + 286, corner.y + 15, kTagSaveLoadButton, 100, 287);  // the number label
    EXPECT_SHOWS(corner.x + 320, corner.y + 15, kTagSaveLoadButton, 100, 302);  // 0
    EXPECT_SHOWS(corner.x + 332, corner.y + 15, kTagSaveLoadButton, 136, 302);  // 3
    EXPECT_SHOWS(corner.x + 344, corner.y + 15, kTagSaveLoadButton, 184, 302);  // 7
    EXPECT_SHOWS(20 + 40 * 3, 550, kTagSaveLoadButton, 117, 58);  // tab 3 in its current-page look

    EXPECT_EQ(ClickOnSlot(7), 0);
    EXPECT_EQ(screen.state, 5);
    EXPECT_EQ(screen.selected, 37);
    char path[kSavePathSize];
    screen.GetSelectedFileName(path);
    EXPECT_EQ(std::string(path), SaveName(37));
    DrawUntil(6);
    EXPECT_EQ(Tick(), kSaveLoadChosen);
}

TEST_F(SaveLoadScreenTest, NewestBadgeMarksOnlyTheLatestOrdinarySave) {
    WriteSave(3, At(2, 9));
    WriteSave(5, At(2, 11));
    WriteSave(8, At(2, 11));  // the same date: the lower number stays the newest
    WriteSave(kQuickSaveSlot, At(9, 9));
    WriteSave(kFirstAutoSaveSlot + 1, At(9, 10));
    EXPECT_EQ(FindNewestSave(), 5);
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    EXPECT_EQ(screen.newest, 5);
    DrawUntil(2);
    const auto badged = [&](int32_t index) {
        return Shows(Pixel(SlotCorner(index).x + 125, SlotCorner(index).y + 13), kTagSaveLoadButton, 252, 284);
    };
    EXPECT_TRUE(badged(5));
    EXPECT_FALSE(badged(3));

    ClickOn(440, 560);  // the auto/quick page
    ASSERT_EQ(screen.page, kAutoQuickPage);
    EXPECT_EQ(screen.slots[1].used, 1u);
    EXPECT_EQ(screen.slots[4].used, 1u);
    Draw();
    for (int32_t row = 0; row < 5; ++row) EXPECT_FALSE(badged(row)) << row;
    EXPECT_SHOWS(286, 63 + 95, kTagSaveLoadButton, 132, 287);            // the auto label of row 1
    EXPECT_SHOWS(16 + 344, 48 + 95 + 15, kTagSaveLoadButton, 112, 302);  // auto save 001
    EXPECT_SHOWS(299, 443, kTagSaveLoadButton, 180, 284);                // the quick label
    EXPECT_FALSE(Shows(Pixel(16 + 388 + 18, 48 + 11), kTagSaveLoadButton, 0, 284));  // no sixth slot
    ClickOnSlot(4);  // the quick save
    EXPECT_EQ(screen.selected, kQuickSaveSlot);
}

TEST_F(SaveLoadScreenTest, SlotsShowTheirThumbnailAndCaption) {
    STestSave pixels;
    pixels.thumbnail = [](uint32_t c, uint32_t r) { return 0xFF000000u | c << 8 | r; };
    WriteSave(0, pixels);
    STestSave named;
    named.thumbnailName = "Image/Thumb.bmp";
    WriteSave(1, named);
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    ASSERT_EQ(screen.slots[0].used, 1u);
    ASSERT_EQ(screen.slots[1].used, 1u);
    EXPECT_NE(screen.slots[0].caption, nullptr);
    DrawUntil(2);
    EXPECT_EQ(Pixel(16 + 18, 48 + 11), 0x000000u);
    EXPECT_EQ(Pixel(16 + 18 + 99, 48 + 11 + 74), 0x00634Au);
    EXPECT_EQ(Pixel(16 + 18 + 40, 48 + 11 + 7), 0x002807u);
    EXPECT_SHOWS(16 + 18 + 3, 48 + 95 + 11 + 4, kTagThumbnailPicture, 3, 4);
    // The caption (white text modulated to dark grey) leaves some pixels in the caption box
    // that are neither the frame nor the background.
    int32_t inked = 0;
    for (int32_t y = 48 + 33; y < 48 + 33 + 50; ++y) {
        for (int32_t x = 16 + 122; x < 16 + 122 + 240; ++x) {
            if (!Shows(Pixel(x, y), kTagSaveLoadButton, x - 16, y - 48 + 186)) ++inked;
        }
    }
    EXPECT_GT(inked, 50);
}

TEST_F(SaveLoadScreenTest, DamagedHeadsLeaveTheSlotEmpty) {
    STestSave longName;
    longName.thumbnailName = std::string(260, 'a');  // with its zero: 261 bytes
    WriteSave(0, longName);
    STestSave longCaption;
    longCaption.caption = std::string(32, 'c');
    WriteSave(1, longCaption);
    STestSave good;
    good.caption = std::string(31, 'c');
    good.thumbnailName = std::string(259, 'n');
    WriteSave(2, good);
    std::vector<uint8_t> truncated = BuildSaveBytes(STestSave{});
    truncated.resize(18 + 29999);
    m_saves.Write("save/Save03.sav", truncated);
    std::vector<uint8_t> unterminated = BuildSaveBytes(STestSave{});
    unterminated[18 + 30000 + 4 + 7] = 'x';  // the caption's zero byte
    m_saves.Write("save/Save04.sav", unterminated);
    m_saves.Write("save/Save05.sav", std::vector<uint8_t>{1, 2, 3});

    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    for (int32_t slot = 0; slot < 6; ++slot) EXPECT_EQ(screen.slots[slot].used, slot == 2 ? 1u : 0u) << slot;
}

TEST_F(SaveLoadScreenTest, SaveScreenAsksBeforeOverwritingOnly) {
    WriteSave(1, At(1, 1));
    ASSERT_EQ(screen.InitSave(0), 0);
    DrawUntil(2);
    EXPECT_EQ(ClickOnSlot(0), kSaveLoadChosen);  // empty
    EXPECT_EQ(screen.selected, 0);
    EXPECT_EQ(screen.state, 2);  // stays open

    EXPECT_EQ(ClickOnSlot(1), 0);  // used: the question opens
    EXPECT_EQ(screen.state, 3);
    EXPECT_EQ(screen.selected, 1);
    EXPECT_EQ(AnswerQuestion(450, 240), 0);  // no
    EXPECT_EQ(screen.state, 2);
    EXPECT_EQ(screen.selected, -1);
    EXPECT_EQ(screen.question.head.background, nullptr);

    ClickOnSlot(1);
    ASSERT_EQ(screen.state, 3);
    EXPECT_EQ(AnswerQuestion(300, 240), kSaveLoadChosen);  // yes
    EXPECT_EQ(screen.selected, 1);
    EXPECT_EQ(screen.state, 2);
}

TEST_F(SaveLoadScreenTest, SaveScreenOffersNoSlotOnTheAutoPageAndSwitchesThroughBlack) {
    ASSERT_EQ(screen.InitSave(0), 0);
    DrawUntil(2);
    ClickOn(440, 560);  // the auto/quick tab does nothing on the save screen
    EXPECT_EQ(screen.page, 0);
    EXPECT_EQ(ClickOn(520, 560), 0);  // the switch tab
    EXPECT_EQ(screen.state, 5);
    NextTick(60);
    Draw();  // 75 ms in: half way to black, the background texel at half
    EXPECT_GT(Pixel(5, 5) >> 16, 0x10u);
    EXPECT_LT(Pixel(5, 5) >> 16, 0x20u);
    NextTick(60);
    Draw();
    EXPECT_EQ(screen.state, 6);
    EXPECT_EQ(Tick(), kSaveLoadSwitch);
}

// The close tab starts the fade-out anew; the right click keeps the idle state's start time, so
// after 200 ms idle its fade-out ends on the next frame.
TEST_F(SaveLoadScreenTest, TheCloseTabFadesOutAndTheRightClickClosesOnTheNextFrame) {
    for (const bool rightClick : {false, true}) {
        screen.ReleaseSlots();
        ASSERT_EQ(screen.InitLoad(0, 1), 0);
        EXPECT_EQ(screen.state, 1);  // opens from black
        ClickOn(5, 5);
        EXPECT_EQ(screen.state, 2);
        NextTick(200);
        if (rightClick) {
            RightClick();
        } else {
            Click(700, 560);
        }
        screen.UpdateLoad();
        ASSERT_EQ(screen.state, 4);
        int32_t frames = 0;
        while (screen.state == 4 && frames < 20) {
            Draw();
            ++frames;
        }
        EXPECT_EQ(frames, rightClick ? 1 : 10);
        EXPECT_EQ(Tick(), kSaveLoadClose);
    }
    // A click or Enter during the fade-out returns at once.
    screen.ReleaseSlots();
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    DrawUntil(2);
    NextTick();
    RightClick();
    screen.UpdateLoad();
    EXPECT_EQ(Press(DIK_NUMPADENTER), kSaveLoadClose);
}
