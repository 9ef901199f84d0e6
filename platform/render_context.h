// The render context: process-wide globals through which the scenario engine and its scene
// components reach the graphics device, the window, the sound device, the engine clock and the
// page flags, without receiving them as arguments.
#pragma once

#include <cstdint>

class CGraphicsDevice;
class CSurface;
class CTexture;
class CAudioDevice;
struct CPlatformWindow;

// A start time that has not been set yet.
constexpr uint32_t kTimeNotSet = 0x80000000u;
// The message window's reveal start meaning "show the whole text at once".
constexpr uint32_t kRevealShowAll = 0x80000001u;

extern CPlatformWindow* g_hEngineWnd;
extern CGraphicsDevice* g_pEngineDevice;
extern CSurface* g_pEngineBackBuffer;
extern CSurface* g_pEngineOffscreenSurface;
extern CAudioDevice* g_pEngineDirectSound;
extern uint32_t g_bModelsUsable;
extern uint32_t g_bSceneTarget;
extern CTexture* g_pSceneTargetTexture;
extern CSurface* g_pSceneTargetSurface;
extern CTexture* g_pModelTargetTexture;
extern CSurface* g_pModelTargetSurface;

// Engine clock (milliseconds; all arithmetic wraps modulo 2^32).
extern uint32_t g_ClockNow;
extern uint32_t g_GameClock;
extern uint32_t g_ClockPrevTime;
extern uint32_t g_PageStartClock;

// The frame time the application stamps at the start of every tick.
extern uint32_t g_FrameTime;

// Page flags (1 = true).
extern uint32_t g_bPageEffectsDone;
extern uint32_t g_bPageTextDone;
extern uint32_t g_bPageVoiceDone;
extern uint32_t g_bHoldTextStart;

// Adds the real time passed since the previous update to the game clock.
void UpdateEngineClock();

// The model effect lives in the model layer, above this one: it registers its creation and
// release here. With no creator registered the model path cannot start.
using ModelEffectCreate = int32_t (*)(CGraphicsDevice* device, CPlatformWindow* window);
using ModelEffectRelease = void (*)();
void SetModelEffectHooks(ModelEffectCreate create, ModelEffectRelease release);

// Fills the render context for an engine run: stores the devices and the two 3D switches,
// creates the whole-scene target when its switch is on, and starts the clock at 0. With the
// models switch on it also takes the shell's off-screen surface and makes the model effect and
// the model target, as the restore after a reset does. Returns 0, or -1 without a back buffer,
// or when a target, the effect or (models on) the off-screen surface is missing.
int32_t InitRenderContext(CPlatformWindow* window, CAudioDevice* sound, uint32_t modelsUsable,
                          CSurface* backBuffer, CGraphicsDevice* device, uint32_t sceneTarget,
                          CSurface* offscreenSurface = nullptr);
// Releases the default-pool targets (and the model effect) before a device reset.
void ReleaseRenderTargets();
// Re-creates them after a reset with the new back buffer. Returns 0 or -1.
int32_t RestoreRenderTargets(CSurface* backBuffer, CSurface* offscreenSurface);
// Releases the targets and zeroes the devices, the models switch, the clock and the first
// three page flags.
void ClearRenderContext();
