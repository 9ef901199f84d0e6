// Mode 2, the title: one of two backgrounds chosen at random, the title music, and six buttons
// (new game, load, continue, configuration, extra, quit). Load, configuration and extra open
// their screens over the title; the other buttons close it with a fade to black and return a
// result that the mode machine turns into the next mode.
#pragma once

#include <cstdint>

#include "app/system_data.h"
#include "screens/config_screen.h"
#include "screens/extra_menu.h"
#include "screens/save_file.h"
#include "screens/save_load_screen.h"

class IDirectSoundPlayer;

extern const char kTitleBackgroundPaths[2][32];  // "System/Title/TitleBG01.bmp", "...02.bmp"
extern const char kTitleButtonPath[];            // "System/Title/TitleButton.bmp"
extern const char kTitleMusicPath[];             // "System/Title/BGM.ogg"

constexpr uint32_t kTitleFadeMs = 1500;
constexpr float kTitleMusicFadeSpeed = 2.5f;
constexpr int32_t kTitleButtonCount = 6;

enum : int32_t {
    kTitleNewGame = 0,
    kTitleLoad = 1,
    kTitleContinue = 2,
    kTitleConfig = 3,
    kTitleExtra = 4,
    kTitleQuit = 5,
};

enum : int32_t {
    kTitleOpening = 0,
    kTitleMenu = 1,
    kTitleLoadOpen = 2,
    kTitleConfigOpen = 3,
    kTitleExtraOpen = 4,
    kTitleClosing = 7,
    kTitleDone = 8,
};

// Results of CTitleMode::Update.
enum : int32_t {
    kTitleResultNewGame = 1,
    kTitleResultLoad = 2,  // the save file is in chosenSave
    kTitleResultPictureGallery = 3,
    kTitleResultMovieGallery = 4,
    kTitleResultMusicGallery = 5,
    kTitleResultQuit = 6,
};

struct CTitleMode {
    CScreenResources head;  // background, button sheet, cursor and select sounds
    IDirectSoundPlayer* music = nullptr;
    CSaveLoadScreen loadScreen;
    CConfigScreen configScreen;
    CExtraMenu extraMenu;
    int32_t loadEnabled = 0;      // at least one save file exists
    int32_t continueEnabled = 0;  // the quick save exists
    int32_t extraEnabled = 0;     // the system-wide copy of game flag 0
    int32_t state = kTitleDone;
    int32_t hover = -1;
    uint32_t stateStart = 0;
    int32_t result = 0;
    char chosenSave[kSavePathSize] = {};
    CConfigBlock config = {};

    CTitleMode() = default;
    CTitleMode(const CTitleMode&) = delete;
    CTitleMode& operator=(const CTitleMode&) = delete;
    ~CTitleMode();

    // 0, or -1 when a picture or sound cannot be loaded (the owner then calls End).
    int32_t Init();
    // Draws the frame, then handles the input. 0 while running, else the result.
    int32_t Update();
    void Draw();
    // Releases everything the title and its sub-screens hold; harmless when nothing is held.
    void End();

    bool IsButtonEnabled(int32_t button) const;

private:
    void UpdateMenu();
    void Activate(int32_t button);
    void Close(int32_t closeResult);
    void StopMusic();
    void ApplyVolumes();
    void FindSaveFiles();
    void DrawButtons();
    void DrawFade();
    void EnterState(int32_t next);
};
