// The adventure mode: hosts the scenario engine and plays the story. It fills the engine's
// parameters, starts a new game or a saved one, keeps the read history in GameData.sys, draws
// the scene with the text-window button bar each frame and hands the input to the engine. Around
// the script it runs the backlog screen, the in-game menu, quick save, quick load and the auto
// save that scripts ask for; the engine reaches it only through the host callback.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine_params.h"
#include "engine/vant_engine.h"
#include "screens/backlog.h"
#include "screens/in_game_menu.h"
#include "screens/save_file.h"

class CTexture;
class IDirectSoundPlayer;

// Sub-modes.
enum : int32_t {
    kAdventureNotStarted = -1,
    kAdventureScript = 0,
    kAdventureBacklog = 1,
    kAdventureMenu = 2,
    kAdventureLeave = 3,  // to the title
    kAdventureQuit = 4,   // end the program
};

// Results of CAdventure::Frame.
enum : int32_t {
    kFrameContinue = 0,
    kFrameToTitle = 1,
    kFrameMovie = 2,
    kFrameQuit = 3,
};

// CAdventure::Init's result for a save that could not be loaded: the load-failure box has been
// shown, and the title comes back, as after a failed load in the game.
constexpr int32_t kAdventureLoadFailed = 1;

constexpr int32_t kBarButtonCount = 8;
constexpr uint32_t kMovieTableSize = 260;

extern const char kFirstScript[];  // "Script/Main.vsf"

// The engine parameters of the game: the archives, the message and choice window layouts, models
// and the scene target off, no host callback.
void FillAdventureEngineParams(CEngineParams* params);
// Clears the frame, begins the scene and draws the engine's scene and its message and choice
// windows, as every adventure frame does before its own screens.
void BeginEngineFrame(CGraphicsDevice* device, CVantEngine& engine);

struct CAdventure {
    CTexture* buttonSheet = nullptr;          // "System/Adventure/TextWindowButton.bmp"
    IDirectSoundPlayer* cursorSound = nullptr;
    IDirectSoundPlayer* selectSound = nullptr;
    CVantEngine engine;
    CBacklog backlog;
    CInGameMenu menu;
    int32_t subMode = kAdventureNotStarted;
    int32_t hoveredButton = -1;
    uint32_t movieRequested = 0;
    char movieTable[kMovieTableSize] = {};
    uint32_t autoSaveRequested = 0;
    char thumbnailName[kThumbnailNameSize] = {};  // empty: saves carry a screen capture
    uint32_t quickSaveExists = 0;

    CAdventure() = default;
    CAdventure(const CAdventure&) = delete;
    CAdventure& operator=(const CAdventure&) = delete;
    ~CAdventure();

    // loadFlag 0: a new game from the script `name`; 1: the save file `name`. 0, -1, or
    // kAdventureLoadFailed.
    int32_t Init(int32_t loadFlag, const char* name);
    // kFrameContinue, kFrameToTitle, kFrameMovie or kFrameQuit.
    int32_t Frame();
    // Tears the mode down; nothing when it is not started.
    void End();
    void FillEngineParams(CEngineParams* params);
    // The engine's host callback: the text of an SSCR command. Returns 0.
    static int32_t OnScriptCommand(const char* text, void* context);

    // The text-window button bar and the sub-modes.
    void Draw();
    // 1 when the interface took this frame's input (the engine then gets none).
    int32_t Update();
    int32_t HandleMenuResult();
    int32_t AutoSave();

    // Save files and GameData.sys.
    int32_t WriteSave(const char* path);
    int32_t WriteThumbnail(CWriteStream* stream);
    int32_t LoadSave(const char* path);
    static int32_t WriteGameData(const char* path, CAdventure* adventure);
    int32_t ReadGameData(const char* path);
    // The flag report into the file at `path` (a native path). 1 written, 0 failed.
    int32_t DumpFlags(const char* path);

private:
    void DrawFrame();
    void SetNameFontFromConfig();
    void TakePersistentFlags();
    void KeepPersistentFlags();
    bool IsButtonEnabled(int32_t button) const;
    bool IsBarActive() const;
    int32_t UpdateScript();
    void PressButton(int32_t button);
    void OpenBacklog();
    void OpenMenu();
    void StopAutoAndSkip();
    void ToggleSkip();
    void ToggleAuto();
    void QuickSave();
    void QuickLoad();
    void RunCommandLine(const char* line);
};

// The flag report of the engine's flags: the game flags, then the picture and movie flags with
// the system-wide ones ORed in; Shift-JIS, lines ending "\r\n", 1,413 lines.
std::string MakeFlagReport(const CFlagBlock& flags);

// The five game flags kept across plays: 0, 6, 7, 8 and 9.
extern const int32_t kPersistentGameFlags[5];
