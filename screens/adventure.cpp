#include "screens/adventure.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/input_state.h"
#include "platform/render_context.h"
#include "platform/tokenizer.h"
#include "screens/screen_messages.h"
#include "screens/screen_resources.h"

const char kFirstScript[] = "Script/Main.vsf";
const int32_t kPersistentGameFlags[5] = {0, 6, 7, 8, 9};

namespace {

constexpr uint32_t kSceneClearColour = 0x00100010u;
constexpr int32_t kStartUpMutedVolume = -5000;
constexpr size_t kHostLineSize = 256;
constexpr size_t kHostWordSize = 32;
constexpr char kHostDelimiters[] = " \t";
// "ＭＳ Ｐゴシック"
constexpr char kWindowFace[] = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

void CopyText(char* field, size_t size, const char* text) {
    std::snprintf(field, size, "%s", text);
}

CTextFormat MakeFont(const char* face, int32_t height, uint32_t colour) {
    CTextFormat font = {};
    CopyText(font.face, sizeof font.face, face);
    font.height = height;
    font.colour = colour;
    return font;
}

}  // namespace

CAdventure::~CAdventure() { End(); }

void FillAdventureEngineParams(CEngineParams* params) {
    std::memset(params, 0, sizeof *params);
    params->sceneTarget = 0;
    params->modelsUsable = 0;
    params->offscreenSurface = nullptr;
    const char* archives[kDataArchiveCount] = {"Script.pac", "Image.pac", "BGM.pac", "Voice.pac", "SE.pac"};
    for (uint32_t i = 0; i < kDataArchiveCount; ++i) {
        CopyText(params->archives.names[i], sizeof params->archives.names[i], archives[i]);
    }
    params->archives.errorMask = 0xFF;

    CMessageWindowStyle& window = params->messageWindow;
    CopyText(window.pictureName, sizeof window.pictureName, "Image/TextWindow.bmp");
    window.plateSource = {0, 0, 146, 52};
    window.plateX = 0;
    window.plateY = 429;
    window.frameSource = {0, 53, 800, 184};
    window.frameX = 0;
    window.frameY = 469;
    window.nameFont = MakeFont(kWindowFace, 24, 0xFFFFFFFFu);
    window.nameRect = {10, 436, 129, 467};
    window.textRect = {90, 480, 660, 570};
    window.nameShadowRect = {12, 438, 131, 469};
    window.textShadowRect = {92, 482, 662, 572};
    window.lineGap = 4;
    window.shadowColour = 0xA0606060u;

    CChoiceWindowStyle& choice = params->choiceWindow;
    CopyText(choice.picture, sizeof choice.picture, "Image/SelectWindow.bmp");
    choice.normalBar = {0, 0, 543, 48};
    choice.highlightedBar = {0, 48, 543, 96};
    choice.originX = 400;
    choice.originY = 190;
    choice.spacing = 25;
    choice.textRect = {38, 14, 503, 32};
    CopyText(choice.face, sizeof choice.face, kWindowFace);
    choice.height = 24;
    choice.bold = 0;
    choice.italic = 0;
    choice.textColour = 0xFFFFFFFFu;
    choice.highlightColour = 0xFFFF00FFu;
}

void CAdventure::FillEngineParams(CEngineParams* params) {
    FillAdventureEngineParams(params);
    params->hostCallback = &CAdventure::OnScriptCommand;
    params->hostContext = this;
}

void CAdventure::SetNameFontFromConfig() {
    engine.messageWindow.SetNameFont(MakeFont(g_Config.settings.font.face, 24, 0xFFFFFFFFu), 0);
}

void CAdventure::TakePersistentFlags() {
    for (uint32_t i = 0; i < kPersistentFlagCount; ++i) {
        engine.flags.game[kPersistentGameFlags[i]] = g_PersistentGameFlags[i];
    }
}

void CAdventure::KeepPersistentFlags() {
    for (uint32_t i = 0; i < kPersistentFlagCount; ++i) {
        g_PersistentGameFlags[i] |= engine.flags.game[kPersistentGameFlags[i]];
    }
}

int32_t CAdventure::Init(int32_t loadFlag, const char* name) {
    CConfigBlock config = g_Config;
    if (config.bgmOff == 1) config.settings.bgmVolume = kStartUpMutedVolume;
    if (config.seOff == 1) config.settings.seVolume = kStartUpMutedVolume;
    if (config.voiceOff == 1) config.settings.voiceVolume = kStartUpMutedVolume;
    movieRequested = 0;
    movieTable[0] = 0;
    autoSaveRequested = 0;
    thumbnailName[0] = 0;
    hoveredButton = -1;

    bool engineStarted = false;
    const auto fail = [&]() {
        if (engineStarted) engine.Release();
        ReleaseTexture(&buttonSheet);
        ReleaseScreenSound(&cursorSound);
        ReleaseScreenSound(&selectSound);
        return -1;
    };
    if (LoadSystemTexture(g_pD3DDevice, &buttonSheet, "System/Adventure/TextWindowButton.bmp") != 0 ||
        LoadScreenSound(&cursorSound, kCursorSoundPath) != 0 || LoadScreenSound(&selectSound, kSelectSoundPath) != 0) {
        return fail();
    }
    ApplySoundEffectVolume(g_Config, cursorSound, selectSound);

    CEngineParams params;
    FillEngineParams(&params);
    if (engine.Init(g_hWnd, g_pD3DDevice, g_pBackBuffer, g_pDirectSound, &params, &config.settings) != 0) {
        return fail();
    }
    engineStarted = true;
    SetNameFontFromConfig();

    char path[kSavePathSize];
    GetSaveFolderPath(kGameDataName, path);
    ReadGameData(path);

    if (loadFlag == 0) {
        if (engine.NewGame(name) != 0) return fail();
    } else if (LoadSave(name) != 0) {
        ShowScreenError(kLoadFailedText, true);
        fail();
        return kAdventureLoadFailed;
    }
    TakePersistentFlags();

    GetSaveFolderPath(kQuickSaveName, path);
    quickSaveExists = CanOpenFile(path) ? 1 : 0;

    subMode = kAdventureScript;
    return 0;
}

void BeginEngineFrame(CGraphicsDevice* device, CVantEngine& engine) {
    device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, kSceneClearColour, 1.0f, 0);
    device->BeginScene();
    engine.Draw();
    if (engine.windowHiddenByUser == 0) {
        engine.DrawMessageWindow();
        if (engine.choiceWindow.active) engine.choiceWindow.Draw();
    }
}

// The scene, the message and choice windows, then the bar, the backlog or the menu; while the
// engine plays a movie, the movie's frame instead.
void CAdventure::DrawFrame() {
    CGraphicsDevice* device = g_pD3DDevice;
    if (engine.movie.active) {
        engine.movie.Draw(device);
        device->Present();
        return;
    }
    BeginEngineFrame(device, engine);
    if (subMode == kAdventureScript) {
        if (IsBarActive()) Draw();
    } else if (subMode == kAdventureBacklog) {
        backlog.Draw();
    } else if (subMode == kAdventureMenu) {
        if (IsBarActive()) Draw();
        menu.Draw();
    }
    device->EndScene();
    device->Present();
}

int32_t CAdventure::Frame() {
    UpdateEngineClock();
    DrawFrame();

    // Nothing of the adventure's own acts under a movie: no auto save, no button bar, menu or
    // quick load; the engine alone watches the movie.
    const bool moviePlays = engine.movie.active != 0;
    if (autoSaveRequested && !moviePlays && g_bPageTextDone == 1 && g_bPageEffectsDone == 1) {
        AutoSave();
        autoSaveRequested = 0;
    }

    int32_t interfaceBusy = 0;
    if (!engine.IsInputLocked() && !moviePlays) {
        interfaceBusy = Update();
        if (subMode == kAdventureLeave) return kFrameToTitle;
        if (subMode == kAdventureQuit) return kFrameQuit;
    }

    if (engine.UpdateInput(interfaceBusy ? nullptr : &g_Input, interfaceBusy) == 1) return kFrameToTitle;

    if (movieRequested) {
        movieRequested = 0;
        return kFrameMovie;
    }
    return kFrameContinue;
}

void CAdventure::End() {
    if (subMode == kAdventureNotStarted) return;
    KeepPersistentFlags();
    uint8_t cgFlags[kCgFlagCount];
    uint8_t movieFlags[kMovieFlagCount];
    std::memcpy(cgFlags, engine.flags.cg, sizeof cgFlags);
    std::memcpy(movieFlags, engine.flags.movie, sizeof movieFlags);
    MergeCgFlags(cgFlags);
    MergeMovieFlags(movieFlags);

    char path[kSavePathSize];
    GetSaveFolderPath(kGameDataName, path);
    WriteGameData(path, this);

    if (subMode == kAdventureBacklog) backlog.ReleaseResources();
    if (subMode == kAdventureMenu) menu.Close();
    engine.Release();
    ReleaseTexture(&buttonSheet);
    ReleaseScreenSound(&cursorSound);
    ReleaseScreenSound(&selectSound);
    subMode = kAdventureNotStarted;
}

int32_t CAdventure::OnScriptCommand(const char* text, void* context) {
    CAdventure* adventure = static_cast<CAdventure*>(context);
    if (adventure == nullptr || text == nullptr) return 0;
    const size_t length = strnlen(text, kHostTextSize - 1);
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        char line[kHostLineSize];
        const size_t lineLength = std::min(end - start, kHostLineSize - 1);
        std::memcpy(line, text + start, lineLength);
        line[lineLength] = 0;
        if (lineLength > 0) adventure->RunCommandLine(line);
        start = end + 1;
    }
    return 0;
}

void CAdventure::RunCommandLine(const char* line) {
    CTokenizer words;
    words.Init(line, kHostDelimiters);
    char command[kHostWordSize];
    words.Next(command, sizeof command);
    if (command[0] == 0) return;
    if (strcasecmp(command, "Movie") == 0) {
        char name[kQuotedTokenSize];
        words.NextQuoted(name);
        char ignored[kQuotedTokenSize];
        words.NextQuoted(ignored);
        CopyText(movieTable, sizeof movieTable, name);
        if (movieTable[0] != 0) {
            movieRequested = 1;
            engine.autoMode = 0;
            engine.SetSkipMode(0);
        }
    } else if (strcasecmp(command, "AutoSaving") == 0) {
        autoSaveRequested = 1;
    } else if (strcasecmp(command, "SaveThumbnail") == 0) {
        const char* rest = line + words.position;
        while (*rest == ' ' || *rest == '\t') ++rest;
        char word[kQuotedTokenSize];
        if (*rest == '"') {
            words.NextQuoted(word);
        } else {
            words.Next(word, sizeof word);
        }
        CopyText(thumbnailName, sizeof thumbnailName, word);
    }
}
