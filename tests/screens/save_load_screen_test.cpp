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

SSystemTime At(uint16_t day, uint16_t hour, uint16_t minute = 0) { return SSystemTime{2024, 3, 0, day, hour, minute, 0, 0}; }

}  // namespace

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
    void Draw(CSaveLoadScreen& screen) {
        BeginFrame();
        screen.Draw();
        EndFrame();
    }
    // Ticks until the opening fade is over.
    void Open(CSaveLoadScreen& screen) {
        for (int i = 0; i < 12 && screen.state != 2; ++i) {
            NextTick();
            Draw(screen);
        }
        ASSERT_EQ(screen.state, 2);
    }
    int32_t Press(CSaveLoadScreen& screen, uint8_t dik) {
        NextTick(200);
        PressKey(dik);
        return screen.kind == kSaveScreen ? screen.UpdateSave() : screen.UpdateLoad();
    }
};

TEST_F(SaveLoadScreenTest, PageOfMissingFilesShowsEmptySlotsAndOffersOnlyTabsOnTheLoadScreen) {
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    Open(screen);
    for (int32_t index = 0; index < 10; ++index) {
        const int32_t x = 16 + 388 * (index / 5), y = 48 + 95 * (index % 5);
        EXPECT_SHOWS(x + 18, y + 11, kTagSaveLoadButton, 0, 284);  // the empty picture
        EXPECT_SHOWS(x + 117, y + 85, kTagSaveLoadButton, 99, 358);
    }
    NextTick();
    MoveMouse(100, 100);  // over slot 0
    screen.UpdateLoad();
    EXPECT_EQ(screen.hovered, -1);
    Press(screen, DIK_RIGHT);
    EXPECT_EQ(screen.hovered, kHoverFirstPageTab);  // the slots are passed over
    Press(screen, DIK_LEFT);
    EXPECT_EQ(screen.hovered, kHoverClose);
    Press(screen, DIK_LEFT);
    EXPECT_EQ(screen.hovered, kHoverSwitchTab);  // offered on the load screen of the game
    NextTick();
    Click(100, 100);
    EXPECT_EQ(screen.UpdateLoad(), 0);
    EXPECT_EQ(screen.state, 2);
    EXPECT_EQ(screen.selected, -1);
}

TEST_F(SaveLoadScreenTest, LoadScreenFromTheTitleDrawsTheSwitchTabButNeverOffersIt) {
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(1, 0), 0);
    EXPECT_EQ(screen.kind, kLoadFromTitle);
    Open(screen);
    EXPECT_SHOWS(501, 548, kTagSaveLoadButton, 143, 87);  // drawn, normal
    NextTick();
    MoveMouse(560, 560);
    screen.UpdateLoad();
    EXPECT_EQ(screen.hovered, -1);
    screen.hovered = kHoverClose;
    Press(screen, DIK_UP);
    EXPECT_EQ(screen.hovered, kHoverAutoQuickTab);
    Press(screen, DIK_DOWN);
    EXPECT_EQ(screen.hovered, kHoverClose);
}

TEST_F(SaveLoadScreenTest, SlotNumberThirtySevenIsShownAsZeroThreeSeven) {
    WriteSave(37, At(1, 10));
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    Open(screen);
    NextTick();
    Click(30 + 40 * 3, 560);  // page tab 3
    screen.UpdateLoad();
    ASSERT_EQ(screen.page, 3);
    EXPECT_EQ(screen.slots[7].used, 1u);
    NextTick();
    Draw(screen);
    const int32_t x = 16 + 388, y = 48 + 95 * 2;  // column 1, row 2
    EXPECT_SHOWS(x + 286, y + 15, kTagSaveLoadButton, 100, 287);  // the number label
    EXPECT_SHOWS(x + 320, y + 15, kTagSaveLoadButton, 100, 302);  // 0
    EXPECT_SHOWS(x + 332, y + 15, kTagSaveLoadButton, 136, 302);  // 3
    EXPECT_SHOWS(x + 344, y + 15, kTagSaveLoadButton, 184, 302);  // 7
    EXPECT_SHOWS(20 + 40 * 3, 550, kTagSaveLoadButton, 117, 58);  // tab 3 in its current-page look

    NextTick();
    Click(x + 50, y + 50);
    EXPECT_EQ(screen.UpdateLoad(), 0);
    EXPECT_EQ(screen.state, 5);
    EXPECT_EQ(screen.selected, 37);
    char path[kSavePathSize];
    screen.GetSelectedFileName(path);
    EXPECT_EQ(std::string(path), SaveName(37));
    for (int i = 0; i < 12 && screen.state != 6; ++i) {
        NextTick();
        Draw(screen);
    }
    NextTick();
    EXPECT_EQ(screen.UpdateLoad(), kSaveLoadChosen);
}

TEST_F(SaveLoadScreenTest, NewestBadgeMarksOnlyTheLatestOrdinarySave) {
    WriteSave(3, At(2, 9));
    WriteSave(5, At(2, 11));
    WriteSave(8, At(2, 11));  // the same date: the lower number stays the newest
    WriteSave(kQuickSaveSlot, At(9, 9));
    WriteSave(kFirstAutoSaveSlot + 1, At(9, 10));
    EXPECT_EQ(FindNewestSave(), 5);
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    EXPECT_EQ(screen.newest, 5);
    Open(screen);
    const int32_t badgeX = 16 + 388 + 125, badgeY = 48 + 13;  // slot 5: column 1, row 0
    EXPECT_SHOWS(badgeX, badgeY, kTagSaveLoadButton, 252, 284);
    EXPECT_FALSE(Shows(Pixel(16 + 125, 48 + 95 * 3 + 13), kTagSaveLoadButton, 252, 284));  // slot 3

    NextTick();
    Click(440, 560);  // the auto/quick page
    screen.UpdateLoad();
    ASSERT_EQ(screen.page, kAutoQuickPage);
    EXPECT_EQ(screen.slots[1].used, 1u);
    EXPECT_EQ(screen.slots[4].used, 1u);
    NextTick();
    Draw(screen);
    for (int32_t row = 0; row < 5; ++row) {
        EXPECT_FALSE(Shows(Pixel(16 + 125, 48 + 95 * row + 13), kTagSaveLoadButton, 252, 284)) << row;
    }
    EXPECT_SHOWS(286, 63 + 95, kTagSaveLoadButton, 132, 287);   // the auto label of row 1
    EXPECT_SHOWS(16 + 344, 48 + 95 + 15, kTagSaveLoadButton, 112, 302);  // auto save 001
    EXPECT_SHOWS(299, 443, kTagSaveLoadButton, 180, 284);       // the quick label
    EXPECT_FALSE(Shows(Pixel(16 + 388 + 18, 48 + 11), kTagSaveLoadButton, 0, 284));  // no sixth slot
    NextTick();
    Click(100, 48 + 95 * 4 + 40);  // the quick save
    screen.UpdateLoad();
    EXPECT_EQ(screen.selected, kQuickSaveSlot);
}

TEST_F(SaveLoadScreenTest, SlotsShowTheirThumbnailAndCaption) {
    STestSave pixels;
    pixels.thumbnail = [](uint32_t c, uint32_t r) { return 0xFF000000u | c << 8 | r; };
    WriteSave(0, pixels);
    STestSave named;
    named.thumbnailName = "Image/Thumb.bmp";
    WriteSave(1, named);
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    ASSERT_EQ(screen.slots[0].used, 1u);
    ASSERT_EQ(screen.slots[1].used, 1u);
    EXPECT_NE(screen.slots[0].caption, nullptr);
    Open(screen);
    EXPECT_EQ(Pixel(16 + 18, 48 + 11), 0x000000u);
    EXPECT_EQ(Pixel(16 + 18 + 99, 48 + 11 + 74), 0x00634Au);
    EXPECT_EQ(Pixel(16 + 18 + 40, 48 + 11 + 7), 0x002807u);
    EXPECT_SHOWS(16 + 18 + 3, 48 + 95 + 11 + 4, kTagThumbnailPicture, 3, 4);
    // The caption (white text modulated to dark grey) leaves some pixels in the caption box
    // that are neither the frame nor the background.
    int32_t inked = 0;
    for (int32_t y = 48 + 33; y < 48 + 33 + 50; ++y) {
        for (int32_t x = 16 + 122; x < 16 + 122 + 240; ++x) {
            const uint32_t p = Pixel(x, y);
            if (!Shows(p, kTagSaveLoadButton, x - 16, y - 48 + 186)) ++inked;
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

    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(0, 0), 0);
    EXPECT_EQ(screen.slots[0].used, 0u);
    EXPECT_EQ(screen.slots[1].used, 0u);
    EXPECT_EQ(screen.slots[2].used, 1u);  // the limits themselves are allowed
    EXPECT_EQ(screen.slots[3].used, 0u);
    EXPECT_EQ(screen.slots[4].used, 0u);
    EXPECT_EQ(screen.slots[5].used, 0u);
}

TEST_F(SaveLoadScreenTest, SaveScreenAsksBeforeOverwritingOnly) {
    WriteSave(1, At(1, 1));
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitSave(0), 0);
    Open(screen);
    NextTick();
    Click(100, 100);  // slot 0: empty
    EXPECT_EQ(screen.UpdateSave(), kSaveLoadChosen);
    EXPECT_EQ(screen.selected, 0);
    EXPECT_EQ(screen.state, 2);  // stays open

    NextTick();
    Click(100, 48 + 95 + 40);  // slot 1: used
    EXPECT_EQ(screen.UpdateSave(), 0);
    EXPECT_EQ(screen.state, 3);
    EXPECT_EQ(screen.selected, 1);
    // The question opens; "no" keeps the slot unchosen.
    for (int i = 0; i < 12 && screen.question.state == 0; ++i) {
        NextTick();
        Draw(screen);
    }
    EXPECT_SHOWS(321, 174, kTagYesNoButton, 120, 80);
    NextTick();
    Click(450, 240);
    EXPECT_EQ(screen.UpdateSave(), 0);
    int32_t answer = 0;
    for (int i = 0; i < 20 && screen.state == 3; ++i) {
        NextTick();
        Draw(screen);
        NextTick();
        answer = screen.UpdateSave();
    }
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(screen.state, 2);
    EXPECT_EQ(screen.selected, -1);
    EXPECT_EQ(screen.question.head.background, nullptr);

    // Again, and "yes" chooses it.
    NextTick();
    Click(100, 48 + 95 + 40);
    screen.UpdateSave();
    ASSERT_EQ(screen.state, 3);
    for (int i = 0; i < 12 && screen.question.state == 0; ++i) {
        NextTick();
        Draw(screen);
    }
    NextTick();
    Click(300, 240);
    screen.UpdateSave();
    for (int i = 0; i < 20 && answer == 0; ++i) {
        NextTick();
        Draw(screen);
        NextTick();
        answer = screen.UpdateSave();
    }
    EXPECT_EQ(answer, kSaveLoadChosen);
    EXPECT_EQ(screen.selected, 1);
    EXPECT_EQ(screen.state, 2);
}

TEST_F(SaveLoadScreenTest, SaveScreenOffersNoSlotOnTheAutoPageAndSwitchesThroughBlack) {
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitSave(0), 0);
    Open(screen);
    NextTick();
    Click(440, 560);  // the auto/quick tab does nothing on the save screen
    screen.UpdateSave();
    EXPECT_EQ(screen.page, 0);
    NextTick();
    Click(520, 560);  // the switch tab
    EXPECT_EQ(screen.UpdateSave(), 0);
    EXPECT_EQ(screen.state, 5);
    NextTick(75);
    Draw(screen);
    const uint32_t red = Pixel(5, 5) >> 16;  // half way to black: the background texel at half
    EXPECT_GT(red, 0x10u);
    EXPECT_LT(red, 0x20u);
    NextTick(75);
    Draw(screen);
    EXPECT_EQ(screen.state, 6);
    NextTick();
    EXPECT_EQ(screen.UpdateSave(), kSaveLoadSwitch);
}

TEST_F(SaveLoadScreenTest, RightClickClosesWithAFadeAndAClickReturnsAtOnce) {
    CSaveLoadScreen screen;
    ASSERT_EQ(screen.InitLoad(0, 1), 0);
    EXPECT_EQ(screen.state, 1);  // opens from black
    NextTick();
    Click(5, 5);
    screen.UpdateLoad();
    EXPECT_EQ(screen.state, 2);
    NextTick();
    RightClick();
    screen.UpdateLoad();
    EXPECT_EQ(screen.state, 4);
    NextTick();
    PressKey(DIK_NUMPADENTER);
    EXPECT_EQ(screen.UpdateLoad(), kSaveLoadClose);
}
