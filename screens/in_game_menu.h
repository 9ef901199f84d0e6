// The in-game menu, opened during the story by the right button or the menu button of the
// text-window bar: save, load, configuration, return to the title, back to the story and quit.
// The save, load and configuration screens and the yes/no question run inside it; the menu only
// reports what was chosen, and the adventure acts on it (CAdventure::HandleMenuResult).
#pragma once

#include <cstdint>

#include "screens/config_screen.h"
#include "screens/save_file.h"
#include "screens/save_load_screen.h"
#include "screens/screen_resources.h"
#include "screens/yes_no_dialog.h"

// Results of CInGameMenu::Update.
enum : int32_t {
    kMenuRunning = 0,
    kMenuSave = 1,             // save into the chosen file (the save screen stays open)
    kMenuLoad = 2,             // load the chosen file
    kMenuSettingsChanged = 3,  // the configuration was written to g_Config
    kMenuReturnToTitle = 4,
    kMenuQuit = 5,
    kMenuBack = 6,             // back to the story
    kMenuFailed = -1,          // a sub-screen failed to open
};

constexpr int32_t kMenuButtonCount = 6;

struct CInGameMenu {
    CScreenResources head;
    CSaveLoadScreen saveScreen;
    CSaveLoadScreen loadScreen;
    CConfigScreen configScreen;
    // 0 fade in, 1 idle, 2 save screen, 3 load screen, 4 configuration, 5 return-to-title
    // question, 6 quit question, 7 fade out, 8 to black, 9 done
    int32_t state = 0;
    uint32_t startTime = 0;
    int32_t hovered = -1;
    char chosenFile[kSavePathSize] = {};
    int32_t result = 0;
    CYesNoDialog question;

    CInGameMenu() = default;
    CInGameMenu(const CInGameMenu&) = delete;
    CInGameMenu& operator=(const CInGameMenu&) = delete;
    ~CInGameMenu();

    // 0, or -1 when a picture or sound cannot be loaded (the owner then calls Close).
    int32_t Init();
    int32_t Update();
    void Draw();
    // Releases the sub-screens, the question and the menu's own head.
    void Close();

    // One step function per state.
    int32_t FadeIn();
    int32_t UpdateIdle();
    int32_t RunSaveScreen();
    int32_t RunLoadScreen();
    int32_t RunConfigScreen();
    int32_t RunQuestion();
    int32_t FadeOut();

private:
    void Enter(int32_t nextState);
    void Activate(int32_t button);
    void Ask(int32_t questionKind, int32_t nextState, int32_t resultWithoutQuestion);
};
