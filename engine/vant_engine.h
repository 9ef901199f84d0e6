// The scenario engine: opens compiled scenario scripts and runs them page by page, hands each
// page command to its owner (picture layers, camera, lights, sound channels, message window,
// choice window, jump table, waits, flags), takes the player's input each frame, and saves and
// restores the state of a running story.
#pragma once

#include <cstdint>

#include "engine/engine_params.h"
#include "engine/engine_settings.h"
#include "engine/flags.h"
#include "engine/read_history.h"
#include "engine/waits.h"
#include "files/stream.h"
#include "scene/camera.h"
#include "scene/image_layer.h"
#include "scene/scene_light.h"
#include "sound/movie_player.h"
#include "sound/sound_channel.h"
#include "text/choice_window.h"
#include "text/message_log.h"
#include "text/message_window.h"

class CGraphicsDevice;
class CSurface;
class CAudioDevice;
struct CPlatformWindow;
struct CInputState;

constexpr int32_t kLayerCount = 16;
constexpr int32_t kMusicChannelCount = 2;
constexpr int32_t kVoiceChannelCount = 4;
constexpr int32_t kSeChannelCount = 4;
constexpr uint32_t kScriptBufferSize = 64 * 1024;
constexpr uint32_t kHostTextSize = 4096;

struct CVantEngineManager {
    virtual ~CVantEngineManager() = default;
};

struct CVantEngineFileManager : CVantEngineManager {};

class CVantEngine : public CVantEngineFileManager {
public:
    CImageLayer layers[kLayerCount];
    CImageLayer mainLayer;
    CCamera camera;
    CSceneLight lights;
    CSoundChannel musicChannels[kMusicChannelCount];
    CSoundChannel voiceChannels[kVoiceChannelCount];
    CSoundChannel seChannels[kSeChannelCount];
    CMessageWindow messageWindow;
    CChoiceWindow choiceWindow;
    CJumpTable jumpTable;
    CFlagBlock flags;
    CReadHistory readHistory;
    CActionControl autoAdvance;
    CClockWait inputLock;
    CMoviePlayer movie;
    HostCallback hostCallback = nullptr;
    void* hostContext = nullptr;
    char hostText[kHostTextSize] = {};
    int32_t autoMode = 0;
    int32_t autoUnit = 100;
    CMessageLog messageLog;
    CSoundChannel logVoiceChannels[kVoiceChannelCount];
    CReadStream script;
    char scriptName[kScriptNameSize] = {};
    uint32_t pageNumber = 0;
    int32_t windowHiddenByUser = 0;
    CEngineSettings settings;

    CVantEngine();
    ~CVantEngine() override;
    CVantEngine(const CVantEngine&) = delete;
    CVantEngine& operator=(const CVantEngine&) = delete;

    // ---- Life cycle (engine object) ----
    int32_t Init(CPlatformWindow* window, CGraphicsDevice* device, CSurface* backBuffer, CAudioDevice* sound,
                 const CEngineParams* params, const CEngineSettings* initialSettings);
    void Release();
    int32_t NewGame(const char* scriptName);
    int32_t Draw();
    int32_t DrawMessageWindow();
    void FinishEffects();
    // Points every model's lip sync at the player of its voice channel (none while the channel
    // is inactive).
    void HookUpLipSync();
    int32_t IsVoicePlaying() const;
    void RearmVoices();
    int32_t OpenMessageLog(int32_t stopModes);
    int32_t ApplySettings(const CEngineSettings* settings);
    static void SetDefaultSettings(CEngineSettings* settings);
    void GetSaveCaption(char caption[32]) const;

    // ---- Script and pages ----
    virtual int32_t Load(const char* name);
    virtual int32_t RunPage();
    virtual void StampClock();
    int32_t OpenScript(const char* name);
    void CloseScript();
    int32_t SkipToBody();

    // ---- Input and page advance ----
    int32_t UpdateInput(CInputState* input, int32_t interfaceBusy);
    int32_t SkipPage();
    int32_t UpdateAutoAdvance(CInputState* input);
    int32_t UpdateTextWait(CInputState* input, int32_t interfaceBusy);
    int32_t UpdateHiddenWindow(CInputState* input);
    int32_t UpdateMessageLog(CInputState* input);
    int32_t UpdateSelection(CInputState* input);
    int32_t UpdateMovie(CInputState* input);
    void UpdateSoundChannels();
    // True while the input lock holds the player's clicks and keys.
    bool IsInputLocked() const { return inputLock.IsLocking(); }
    // Skip mode (kept by the read history).
    int32_t IsSkipMode() const { return readHistory.skipOn; }
    void SetSkipMode(int32_t on) { readHistory.skipOn = on; }

    // ---- Save state ----
    int32_t Save(CWriteStream* stream, uint32_t* size);
    int32_t Restore(CReadStream* stream, uint32_t size);
    int32_t SaveClock(CWriteStream* stream, uint32_t* size) const;
    int32_t RestoreClock(CReadStream* stream, uint32_t size);
    int32_t SaveScriptPos(CWriteStream* stream, uint32_t* size) const;
    int32_t RestoreScriptPos(CReadStream* stream, uint32_t size);

private:
    // Page-local state: the channel and layer numbers set on the page (-1 none) and whether some
    // command of the page failed.
    int32_t pageLayer_ = -1;
    int32_t pageMusic_ = -1;
    int32_t pageVoice_ = -1;
    int32_t pageSe_ = -1;
    int32_t pageFailed_ = 0;
    // Jumps taken inside the current page run (each runs its target's first page at once).
    int32_t jumpDepth_ = 0;
    static constexpr int32_t kMaxJumpChain = 16;

    void CompleteCurrentPage();
    void ResetPageState();
    int32_t FindNextPage(uint32_t* pageSize);
    bool RunCommand(const CChunkHeader& command);
    int32_t DispatchCommand(const CChunkHeader& command, uint32_t* consumed);
    int32_t AfterPage();
    int32_t Advance();
    int32_t ClickInTextWait();
    void ShowLogFailure() const;
    int32_t RestoreComponents(CReadStream* stream, uint32_t size);
    void FinishRestore();
    int32_t SaveChunks(CWriteStream* stream, uint32_t* total);
    int32_t WalkToSavedPage(uint32_t savedPage);
};

// The auto-mode test: 1 when the page has stayed its auto-mode time (auto unit × glyph count
// from the reveal start) with effects, text and voices done. A click or advance key ends auto
// mode.
int32_t IsPageAdvanceDue(CVantEngine* engine, CInputState* input, uint32_t revealStart, int32_t glyphCount);

// The SSCR command: reads the host text (at most 4095 bytes) and hands it to the host callback.
int32_t ReadStringChunk(CReadStream* stream, uint32_t* consumed, uint32_t size, CVantEngine* hook);
