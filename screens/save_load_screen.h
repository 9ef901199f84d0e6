// The save and load screen: pages of ten slots with a thumbnail, the date and a caption, from
// which the player picks a slot. One struct serves as the save screen (from the in-game menu)
// and as the load screen (from the in-game menu or the title). It writes and loads nothing: it
// returns the chosen slot, which GetSelectedFileName turns into a path.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "screens/save_file.h"
#include "screens/screen_resources.h"
#include "screens/yes_no_dialog.h"

constexpr int32_t kSlotsPerPage = 10;
constexpr int32_t kAutoQuickPage = 10;  // the auto saves and the quick save

enum : int32_t { kSaveScreen = 0, kLoadFromGame = 1, kLoadFromTitle = 2 };
enum : int32_t { kSaveLoadChosen = 1, kSaveLoadSwitch = 2, kSaveLoadClose = 3 };

// Hover numbers besides the slots 0-9.
enum : int32_t {
    kHoverFirstPageTab = 10,  // 10-19: page tabs 0-9
    kHoverAutoQuickTab = 20,
    kHoverSwitchTab = 21,
    kHoverClose = 22,
    kHoverItemCount = 23,
};

struct CSaveSlot {
    uint32_t used = 0;
    CTexture* thumbnail = nullptr;  // 100 × 75 picture at its top left
    CTexture* caption = nullptr;    // 240 × 50: the date line and the caption line
};

struct CSaveLoadScreen {
    CScreenResources head;
    // 0 fade in, 1 open from black, 2 idle, 3 overwrite question, 4 fade out, 5 close through
    // black, 6 done
    int32_t state = 0;
    uint32_t startTime = 0;
    int32_t result = 0;
    CSaveSlot slots[kSlotsPerPage];
    int32_t newest = -1;
    int32_t page = 0;
    int32_t hovered = -1;
    int32_t selected = -1;
    int32_t kind = kSaveScreen;
    CYesNoDialog question;

    CSaveLoadScreen() = default;
    CSaveLoadScreen(const CSaveLoadScreen&) = delete;
    CSaveLoadScreen& operator=(const CSaveLoadScreen&) = delete;
    ~CSaveLoadScreen();

    // 0, or -1 when a picture or sound cannot be loaded (the owner releases with ReleaseSlots).
    // openingState non-zero: the screen opens from black.
    int32_t InitLoad(int32_t fromTitle, int32_t openingState);
    int32_t InitSave(int32_t openingState);
    // 0 while running, else kSaveLoadChosen, kSaveLoadSwitch or kSaveLoadClose. The save screen
    // returns kSaveLoadChosen for a free slot, or an overwrite that was confirmed, and stays open.
    int32_t UpdateLoad();
    int32_t UpdateSave();
    // Draws into the owner's scene and advances the timed states.
    void Draw();
    void GetSelectedFileName(char path[kSavePathSize]) const;
    // Reads the heads of the shown page again.
    void RefreshPage();
    // Frees the slot textures and the head.
    void ReleaseSlots();

    // Reads a slot from a save file: thumbnail, date and caption. A missing or damaged file
    // leaves the slot empty (-1).
    static int32_t ReadSlotHeader(CSaveSlot* slot, const char* path);
    // The date line and the caption line, white, in a new 240 × 50 texture. 0 / -1.
    static int32_t RenderSlotCaption(const SSystemTime& date, CTexture** texture, const char* caption);

private:
    int32_t Init(int32_t screenKind, int32_t openingState, const char* backgroundPath);
    int32_t SlotNumber(int32_t index) const;
    int32_t SlotsOnPage() const;
    bool CanHover(int32_t item) const;
    int32_t HitTest() const;
    // The idle input of both screens; returns the activated item, or -1.
    int32_t UpdateIdleInput();
    int32_t UpdateOpeningOrClosing();
    // A page tab, the switch tab or close, acted on alike by both screens.
    void TurnPageOrClose(int32_t item);
    void Close(int32_t nextState, int32_t closeResult);
    void DrawSlots(uint32_t alpha);
    void DrawTabs(uint32_t colour);
};

// The number (0-99) of the ordinary save with the latest date, or -1 when there is none.
int32_t FindNewestSave();
