// The application object: start-up, the 15 ms tick loop, the mode machine that runs one of the
// seven game modes, and shutdown. Everything the player sees runs inside one tick, on the main
// thread, in the frame of the current mode.
#pragma once

#include <cstdint>

#include "app/main_window.h"
#include "platform/input_state.h"
#include "screens/adv_movie_mode.h"
#include "screens/adventure.h"
#include "screens/bgm_mode.h"
#include "screens/cg_mode.h"
#include "screens/maker_logo.h"
#include "screens/movie_gallery.h"
#include "screens/title.h"

constexpr uint32_t kTickMs = 15;
constexpr uint32_t kModeNameSize = kSavePathSize;  // holds a save file's path
constexpr uint32_t kReportPathSize = 260;

enum : uint32_t {
    kModeNone = 0,
    kModeMakerLogo = 1,
    kModeTitle = 2,
    kModeAdventure = 3,
    kModeAdvMovie = 4,      // the story movie, over the adventure
    kModeCg = 5,            // picture gallery
    kModeMovieGallery = 6,
    kModeBgm = 7,           // music gallery
    kModeCount = 8,
};

struct CGameApp;

// What the frame of a mode asks of the mode machine.
enum class EModeAction : uint32_t {
    Continue,  // stay in the mode
    Enter,     // end the mode (unless the next one runs over it) and start `next`
    Leave,     // end the mode and go back to the mode it runs over
    Quit,      // end the program
};

struct SModeStep {
    EModeAction action = EModeAction::Continue;
    uint32_t next = kModeNone;
};

// One mode of the machine. A mode without operations cannot start: entering it fails with its
// message like a failed initialisation.
// What a mode's init returns when the mode cannot start, has said why, and the title is to come
// back instead of the program ending (a save that cannot be loaded).
constexpr int32_t kModeInitBackToTitle = 2;

struct SModeEntry {
    // 0, kModeInitBackToTitle, or another non-zero value when the mode cannot start.
    int32_t (*init)(CGameApp& app) = nullptr;
    SModeStep (*frame)(CGameApp& app) = nullptr;
    void (*end)(CGameApp& app) = nullptr;      // harmless on a mode that is not running
    const char* initFailureText = nullptr;     // the box shown when the mode cannot start
    // The mode that stays running underneath (the adventure under the story movie), or kModeNone.
    // A mode that runs over another one returns to it when it ends or cannot start.
    uint32_t runsOver = kModeNone;
};

// The modes by number (index 0 unused).
extern const SModeEntry kModeTable[kModeCount];

struct CGameApp {
    CPlatformWindow* window = nullptr;
    uint32_t mode = kModeNone;
    CMakerLogoMode logo;
    CTitleMode title;
    CAdventure adventure;
    CAdvMovieMode advMovie;
    CCgMode cg;
    CMovieMode movieGallery;
    CBgmMode bgm;
    // Written by the window procedure between ticks, taken by CInputState::Update.
    CMouseFields mouse;
    // How the adventure starts when the title enters it: 0 a new game from the script named in
    // adventureName, 1 the save file named there.
    int32_t adventureLoadFlag = 0;
    char adventureName[kModeNameSize] = {};
    // Set when a mode could not start and so ended the program.
    bool modeFailed = false;
    // Ticks run since start-up.
    uint32_t tickCount = 0;
    // The file the last flag report went to: the file chooser starts from it.
    char reportPath[kReportPathSize] = {};

    CGameApp() = default;
    CGameApp(const CGameApp&) = delete;
    CGameApp& operator=(const CGameApp&) = delete;
    ~CGameApp();

    // The whole run: the save folder and its single-instance lock, start-up, the tick loop,
    // shutdown. 1, or 0 when the save folder could not be locked, start-up failed or a mode could
    // not start (the program ended on a failure). A second instance on the same save folder asks
    // the first one to come to the front and returns 1 at once, without a window and without
    // touching any file of the game.
    int32_t Run();
    // Makes the save folder and takes the single-instance lock on it, then removes the
    // temporary files that a killed run left there. 1 when this copy may run (also without a
    // save folder, said on stderr), 0 when another copy runs on the folder (asked to come to the
    // front), -1 when the folder cannot be locked.
    int32_t TakeSaveFolder();
    // Start-up: the window, the save folder (unless taken already), System.sys, the devices, System.pac, the maker logo.
    // 1, or 0 after a failure box.
    int32_t Init();
    // The tick loop: drains the window's events, then runs a tick once kTickMs have passed since
    // the previous one began, else sleeps 1 ms. Ends when a tick returns 0 or the window is
    // closed (0), or, with a non-zero limit, after limitMs (1).
    int32_t Loop(uint32_t limitMs = 0);
    // One tick: device recovery, the frame time, the input snapshot, the current mode's frame.
    // 0 ends the program; -1 is a tick cut short by a failed device reset.
    int32_t Tick();
    // Ends the current mode, writes System.sys, restores the desktop and releases the platform.
    // Safe to call again.
    void Shutdown();
    // The flag-report request sent to the program from outside: in the adventure, asks for a
    // file (a name without an extension gets ".txt") and writes the flag report into it; with no
    // file chooser on the desktop, writes it into the save folder under a dated name and says
    // where. Elsewhere only an information box.
    void DumpDebugInfo();

    // Mode frames.
    static SModeStep UpdateMakerLogoMode(CGameApp& app);
    static SModeStep UpdateTitleMode(CGameApp& app);
    static SModeStep UpdateAdventureMode(CGameApp& app);
    static SModeStep UpdateAdvMovieMode(CGameApp& app);
    static SModeStep UpdateCgMode(CGameApp& app);
    static SModeStep UpdateMovieMode(CGameApp& app);
    static SModeStep UpdateBgmMode(CGameApp& app);

private:
    int32_t RecoverDevice();
    int32_t RunModeFrame();
    int32_t EnterMode(uint32_t next);
    void EndMode(uint32_t which);
    void ReleasePlatform();
    void WriteReportToSaveFolder();
    void PumpDuringDialog();

    bool reportChooserOpen_ = false;
    bool windowClosed_ = false;  // the window was closed while a dialog held the loop
    bool saveFolderTaken_ = false;
};
