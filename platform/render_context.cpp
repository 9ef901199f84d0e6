#include "platform/render_context.h"

#include "platform/clock.h"

CPlatformWindow* g_hEngineWnd = nullptr;
CGraphicsDevice* g_pEngineDevice = nullptr;
CSurface* g_pEngineBackBuffer = nullptr;
CSurface* g_pEngineOffscreenSurface = nullptr;
CAudioDevice* g_pEngineDirectSound = nullptr;
uint32_t g_bModelsUsable = 0;
uint32_t g_bSceneTarget = 0;
CTexture* g_pSceneTargetTexture = nullptr;
CSurface* g_pSceneTargetSurface = nullptr;
CTexture* g_pModelTargetTexture = nullptr;
CSurface* g_pModelTargetSurface = nullptr;

uint32_t g_ClockNow = 0;
uint32_t g_GameClock = 0;
uint32_t g_ClockPrevTime = 0;
uint32_t g_PageStartClock = 0;
uint32_t g_FrameTime = 0;

uint32_t g_bPageEffectsDone = 0;
uint32_t g_bPageTextDone = 0;
uint32_t g_bPageVoiceDone = 0;
uint32_t g_bHoldTextStart = 0;

void UpdateEngineClock() {
    const uint32_t now = GetTimeMs();
    g_GameClock += now - g_ClockPrevTime;
    g_ClockNow = now;
    g_ClockPrevTime = now;
}
