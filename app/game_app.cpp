#include "app/game_app.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/app_messages.h"
#include "app/system_data.h"
#include "files/atomic_file.h"
#include "files/loaders.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/desktop_dialog.h"
#include "platform/devices_graphics.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/render_context.h"
#include "platform/single_instance.h"
#include "platform/sjis.h"

namespace {

constexpr uint32_t kClientWidth = kScreenWidth;
constexpr uint32_t kClientHeight = kScreenHeight;

void ShowStartupError(const char* text) { ShowScreenError(text, true); }

SModeStep Continue() { return SModeStep{}; }
SModeStep Enter(uint32_t next) { return SModeStep{EModeAction::Enter, next}; }
SModeStep Quit() { return SModeStep{EModeAction::Quit, kModeNone}; }
SModeStep Leave() { return SModeStep{EModeAction::Leave, kModeNone}; }

// The files the program writes into the save folder, whose temporaries it may remove. In the
// patterns '#' stands for a digit.
bool IsSaveFolderFile(const std::string& name) {
    const auto matches = [&name](std::string_view pattern) {
        return name.size() == pattern.size() && std::equal(pattern.begin(), pattern.end(), name.begin(), [](char p, char c) {
                   return p == '#' ? c >= '0' && c <= '9' : p == c;
               });
    };
    return name == kSystemDataFileName || name == kGameDataName || name == kQuickSaveName || matches("Save##.sav") ||
           matches("A-Save##.sav") || matches("FlagReport-########-######.txt");
}

void OnExternalRequest(void* app) { static_cast<CGameApp*>(app)->DumpDebugInfo(); }

int32_t StartMakerLogo(CGameApp& app) { return app.logo.Init(); }
void EndMakerLogo(CGameApp& app) { app.logo.End(); }
int32_t StartTitle(CGameApp& app) { return app.title.Init(); }
void EndTitle(CGameApp& app) { app.title.End(); }
int32_t StartAdventure(CGameApp& app) {
    const int32_t started = app.adventure.Init(app.adventureLoadFlag, app.adventureName);
    return started == kAdventureLoadFailed ? kModeInitBackToTitle : started;
}
void EndAdventure(CGameApp& app) { app.adventure.End(); }
// The story movie plays the table that the adventure's script asked for.
int32_t StartAdvMovie(CGameApp& app) { return app.advMovie.Init(app.adventure.movieTable); }
void EndAdvMovie(CGameApp& app) { app.advMovie.End(); }
int32_t StartMovieGallery(CGameApp& app) { return app.movieGallery.Init(); }
void EndMovieGallery(CGameApp& app) { app.movieGallery.End(); }
int32_t StartCg(CGameApp& app) { return app.cg.Init(); }
void EndCg(CGameApp& app) { app.cg.End(); }
int32_t StartBgm(CGameApp& app) { return app.bgm.Init(); }
void EndBgm(CGameApp& app) { app.bgm.End(); }

void SetAdventureStart(CGameApp& app, int32_t loadFlag, const char* name) {
    app.adventureLoadFlag = loadFlag;
    std::snprintf(app.adventureName, sizeof app.adventureName, "%s", name);
}

}  // namespace

const SModeEntry kModeTable[kModeCount] = {
    {},
    {StartMakerLogo, CGameApp::UpdateMakerLogoMode, EndMakerLogo, kMakerLogoFailedText, kModeNone},
    {StartTitle, CGameApp::UpdateTitleMode, EndTitle, kTitleFailedText, kModeNone},
    {StartAdventure, CGameApp::UpdateAdventureMode, EndAdventure, kAdventureFailedText, kModeNone},
    {StartAdvMovie, CGameApp::UpdateAdvMovieMode, EndAdvMovie, kAdvMovieFailedText, kModeAdventure},
    {StartCg, CGameApp::UpdateCgMode, EndCg, kCgFailedText, kModeNone},
    {StartMovieGallery, CGameApp::UpdateMovieMode, EndMovieGallery, kMovieGalleryFailedText, kModeNone},
    {StartBgm, CGameApp::UpdateBgmMode, EndBgm, kBgmFailedText, kModeNone},
};

CGameApp::~CGameApp() { Shutdown(); }

int32_t CGameApp::Run() {
    const int32_t instance = TakeSaveFolder();
    if (instance == 0) return 1;
    if (instance < 0) return 0;
    const bool started = Init() != 0;
    if (started) Loop();
    Shutdown();
    ReleaseSingleInstance();
    return started && !modeFailed ? 1 : 0;
}

int32_t CGameApp::Loop(uint32_t limitMs) {
    const uint32_t start = GetTimeMs();
    uint32_t last = start;
    // Sleeps until the next tick is due (the pace counts from the start of the previous tick, so
    // lateness does not pile up) or the limit comes; false when the tick is due already. Waking
    // every millisecond instead would cost more than all of an idle tick.
    const auto sleepUntilDue = [&](uint32_t now) {
        const int32_t sinceTick = static_cast<int32_t>(now - last);
        if (sinceTick >= static_cast<int32_t>(kTickMs)) return false;
        uint32_t wait = static_cast<uint32_t>(std::clamp<int32_t>(kTickMs - sinceTick, 1, kTickMs));
        if (limitMs != 0) wait = std::clamp<uint32_t>(limitMs - (now - start), 1, wait);
        SleepMs(wait);
        return true;
    };
    for (;;) {
        if (PumpWindowEvents(window) != 0 || windowClosed_) return 0;
        const uint32_t now = GetTimeMs();
        if (limitMs != 0 && now - start >= limitMs) return 1;
        if (sleepUntilDue(now)) continue;
        if (Tick() == 0) return 0;
        last = now;
        // Straight back to sleep: the events that arrive meanwhile are drained just before the
        // next tick.
        const uint32_t after = GetTimeMs();
        if (limitMs == 0 || after - start < limitMs) sleepUntilDue(after);
    }
}

// The save folder is locked before anything in it is touched: a second copy on the same folder
// leaves without reading or writing there. Without a save folder (it cannot be made, or its path
// is too long; said on stderr) nothing is written, so there is nothing to lock.
int32_t CGameApp::TakeSaveFolder() {
    saveFolderTaken_ = true;
    if (InitSaveFolder() != 0) return 1;
    const int32_t instance = AcquireSingleInstance(g_SaveFolder);
    if (instance == 1) RemoveStaleTemporaries(g_SaveFolder, IsSaveFolderFile);
    return instance;
}

int32_t CGameApp::Init() {
    if (CreateMainWindow(&window) == 0) {
        ShowStartupError(kWindowFailedText);
        return 0;
    }
    // Without a save folder the game still runs; every save says it failed, and System.sys and
    // GameData.sys say so on stderr.
    if (!saveFolderTaken_ && TakeSaveFolder() != 1) return 0;
    InitGlobals();
    g_ScreenWidth = kClientWidth;
    g_ScreenHeight = kClientHeight;
    if (LoadSystemData() == 0) {
        ShowStartupError(kSystemDataFailedText);
        return 0;
    }
    g_FrameTime = GetTimeMs();

    SDeviceRequest request;
    request.width = kClientWidth;
    request.height = kClientHeight;
    request.present = PresentToWindow;
    request.presentUser = window;
    if (InitDirect3D(request) != 0 || InitDirectSound() != 0 || InitDirectInput() != 0) {
        ShowStartupError(kDirectXFailedText);
        return 0;
    }
    OpenSystemArchive(window);
    LinkMainWindow(&mouse, OnExternalRequest, this);

    mode = kModeMakerLogo;
    if (logo.Init() != 0) {
        ShowScreenError(kMakerLogoFailedText, false);
        return 0;
    }
    return 1;
}

int32_t CGameApp::Tick() {
    if (g_pD3DDevice != nullptr && g_pD3DDevice->TestCooperativeLevel() == kDeviceNotReset &&
        RecoverDevice() != 0)
        return -1;
    ++tickCount;
    g_FrameTime = GetTimeMs();
    CInputState::Update(&g_Input, &mouse, g_FrameTime);
    return RunModeFrame();
}

// The engine's default-pool targets live only while the adventure runs (also under the story
// movie); they are released around the reset and made again with the new back buffer.
int32_t CGameApp::RecoverDevice() {
    const bool engineRuns = mode == kModeAdventure || kModeTable[mode].runsOver == kModeAdventure;
    if (engineRuns) ReleaseRenderTargets();
    if (ResetDirect3DDevice(kClientWidth, kClientHeight) != 0) return -1;
    if (engineRuns && RestoreRenderTargets(g_pBackBuffer, g_pOffscreenTarget) != 0) return -1;
    return 0;
}

int32_t CGameApp::RunModeFrame() {
    if (mode == kModeNone || mode >= kModeCount || kModeTable[mode].frame == nullptr) return 0;
    const SModeStep step = kModeTable[mode].frame(*this);
    switch (step.action) {
        case EModeAction::Continue: return 1;
        case EModeAction::Enter: return EnterMode(step.next);
        case EModeAction::Leave: {
            const uint32_t below = kModeTable[mode].runsOver;
            EndMode(mode);
            mode = below;
            return below != kModeNone ? 1 : 0;
        }
        case EModeAction::Quit: return 0;
    }
    return 0;
}

// The new mode number is set before its initialisation, so a failed start leaves it changed
// (Shutdown then ends that mode, which is harmless). A mode that runs over the current one keeps
// it running and, when it cannot start, gives the control back to it.
int32_t CGameApp::EnterMode(uint32_t next) {
    if (next == kModeNone || next >= kModeCount) return 0;
    const SModeEntry& entry = kModeTable[next];
    const uint32_t previous = mode;
    const bool over = entry.runsOver != kModeNone && entry.runsOver == previous;
    if (!over) EndMode(previous);
    mode = next;
    const int32_t started = entry.init != nullptr ? entry.init(*this) : -1;
    if (started == 0) return 1;
    if (started == kModeInitBackToTitle && next != kModeTitle) return EnterMode(kModeTitle);
    ShowScreenError(entry.initFailureText, false);
    if (!over) {
        modeFailed = true;
        return 0;
    }
    EndMode(next);
    mode = previous;
    return 1;
}

void CGameApp::EndMode(uint32_t which) {
    if (which == kModeNone || which >= kModeCount) return;
    if (kModeTable[which].end != nullptr) kModeTable[which].end(*this);
}

void CGameApp::Shutdown() {
    if (mode != kModeNone && mode < kModeCount) {
        const uint32_t below = kModeTable[mode].runsOver;
        EndMode(mode);
        EndMode(below);
        SaveSystemData();
    }
    mode = kModeNone;
    if (g_bWindowed == 0) SetDisplayMode(1);
    ReleasePlatform();
}

// Everything start-up may have made, each only when it is held, so that a start-up that stopped
// half way is released as well.
void CGameApp::ReleasePlatform() {
    LinkMainWindow(nullptr, nullptr, nullptr);
    CloseSystemArchive();
    ReleaseDirect3D();
    ReleaseDirectSound();
    ReleaseDirectInput();
    if (window != nullptr) DestroyMainWindow();
    window = nullptr;
}

void CGameApp::DumpDebugInfo() {
    // The flag report exists only while the adventure runs.
    if (mode != kModeAdventure) {
        ShowMessageBox(kNotInAdventureText, kInformationCaption, MessageBoxStyle::IconInformation);
        return;
    }
    if (reportChooserOpen_) return;  // asked again while the chooser is open
    reportChooserOpen_ = true;
    std::string chosen;
    const ESaveFileChoice choice = ChooseSaveFile(kReportChooserTitle, reportPath, kReportFilterName,
                                                  kReportFilterPattern, [this] { PumpDuringDialog(); }, &chosen);
    reportChooserOpen_ = false;
    // Clicks on the game window while the chooser was open are dropped, as by a modal dialog.
    mouse = CMouseFields{mouse.mouseX, mouse.mouseY};
    if (choice == ESaveFileChoice::Cancelled) return;
    if (choice == ESaveFileChoice::Unavailable) {
        WriteReportToSaveFolder();
        return;
    }
    if (PathExtension(chosen.c_str())[0] == 0) chosen += kReportExtension;
    // A name too long for the buffer is refused, never cut into another name.
    if (chosen.size() >= sizeof reportPath) {
        ShowScreenError(kReportFailedText, true);
        return;
    }
    std::snprintf(reportPath, sizeof reportPath, "%s", chosen.c_str());
    if (adventure.DumpFlags(reportPath) == 0) ShowScreenError(kReportFailedText, true);
}

// Without a file chooser the report goes into the save folder, named after the time.
void CGameApp::WriteReportToSaveFolder() {
    const SSystemTime now = GetLocalSaveTime();
    char name[64];
    std::snprintf(name, sizeof name, "FlagReport-%04u%02u%02u-%02u%02u%02u.txt", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    const std::string folder(g_SaveFolder);
    const std::string path = folder + name;
    // A save folder removed while playing is made again, as the saves make it.
    if (folder.empty() || MakeDirectories(folder.substr(0, folder.size() - 1)) != 0 ||
        adventure.DumpFlags(path.c_str()) == 0) {
        ShowScreenError(kReportFailedText, true);
        return;
    }
    std::string shownPath;
    if (!Utf8ToSjis(path, &shownPath)) shownPath = path;
    char text[1024];
    std::snprintf(text, sizeof text, kReportWrittenFormat, shownPath.c_str());
    ShowMessageBox(text, kInformationCaption, MessageBoxStyle::IconInformation);
}

// The game window keeps answering the desktop while a dialog is open; no tick runs.
void CGameApp::PumpDuringDialog() {
    if (PumpWindowEvents(window) != 0) windowClosed_ = true;
}

SModeStep CGameApp::UpdateMakerLogoMode(CGameApp& app) {
    app.logo.Frame();
    if (IsActivation()) {
        StampKeyGuard();
        app.logo.Finish(g_FrameTime);
    }
    if (!app.logo.IsFinished()) return Continue();
    return Enter(kModeTitle);
}

SModeStep CGameApp::UpdateTitleMode(CGameApp& app) {
    switch (app.title.Update()) {
        case kTitleResultNewGame: SetAdventureStart(app, 0, kFirstScript); return Enter(kModeAdventure);
        // The save file's name is taken before the title ends and releases its screens.
        case kTitleResultLoad: SetAdventureStart(app, 1, app.title.chosenSave); return Enter(kModeAdventure);
        case kTitleResultPictureGallery: return Enter(kModeCg);
        case kTitleResultMovieGallery: return Enter(kModeMovieGallery);
        case kTitleResultMusicGallery: return Enter(kModeBgm);
        case kTitleResultQuit: return Quit();
        default: return Continue();
    }
}

SModeStep CGameApp::UpdateCgMode(CGameApp& app) {
    switch (app.cg.Frame()) {
        case kCgToMovieGallery: return Enter(kModeMovieGallery);
        case -1:
        case kCgToTitle: return Enter(kModeTitle);
        default: return Continue();
    }
}

SModeStep CGameApp::UpdateBgmMode(CGameApp& app) {
    return app.bgm.Frame() != 0 ? Enter(kModeTitle) : Continue();
}

SModeStep CGameApp::UpdateAdventureMode(CGameApp& app) {
    switch (app.adventure.Frame()) {
        case -1:
        case kFrameToTitle: return Enter(kModeTitle);
        // The adventure stays running under the story movie.
        case kFrameMovie: return Enter(kModeAdvMovie);
        case kFrameQuit: return Quit();
        default: return Continue();
    }
}

// The movie's five result bytes become the adventure's game flags 1 to 5; the adventure goes on
// on the next tick. No adventure frame ran during the movie, so the game clock stood still and
// takes the whole pause at that next frame.
SModeStep CGameApp::UpdateAdvMovieMode(CGameApp& app) {
    CAdvMovieMode& movie = app.advMovie;
    movie.DrawFrame();
    int32_t result = movie.UpdatePlaying();
    if (result == kMoviePlaying) result = movie.UpdateClickable();
    if (result == kMoviePlaying) return Continue();
    for (int32_t i = 0; i < kMovieResultCount; ++i) app.adventure.engine.flags.game[1 + i] = movie.results[i];
    return Leave();
}

SModeStep CGameApp::UpdateMovieMode(CGameApp& app) {
    switch (app.movieGallery.Frame()) {
        case kMovieGalleryToPictures: return Enter(kModeCg);
        case kMovieGalleryToTitle: return Enter(kModeTitle);
        default: return Continue();
    }
}
