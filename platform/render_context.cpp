#include "platform/render_context.h"

#include "platform/clock.h"
#include "platform/graphics.h"

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

namespace {

ModelEffectCreate g_createModelEffect = nullptr;
ModelEffectRelease g_releaseModelEffect = nullptr;

constexpr uint32_t kTargetSide = 1024;

int32_t CreateTarget(CTexture** texture, CSurface** surface) {
    if (g_pEngineDevice == nullptr) return -1;
    if (g_pEngineDevice->CreateTexture(kTargetSide, kTargetSide, 0, Usage::RenderTarget, Format::A8R8G8B8,
                                       Pool::Default, texture) != 0) {
        *texture = nullptr;
        return -1;
    }
    if ((*texture)->GetSurfaceLevel(0, surface) != 0) {
        (*texture)->Release();
        *texture = nullptr;
        *surface = nullptr;
        return -1;
    }
    return 0;
}

void ReleaseTarget(CTexture** texture, CSurface** surface) {
    if (*surface != nullptr) {
        (*surface)->Release();
        *surface = nullptr;
    }
    if (*texture != nullptr) {
        (*texture)->Release();
        *texture = nullptr;
    }
}

}  // namespace

void SetModelEffectHooks(ModelEffectCreate create, ModelEffectRelease release) {
    g_createModelEffect = create;
    g_releaseModelEffect = release;
}

// The model path's part of a start or a restore: the shell's off-screen surface, the model
// effect and the model target.
int32_t CreateModelTargets(CSurface* offscreenSurface) {
    if (offscreenSurface == nullptr) return -1;
    g_pEngineOffscreenSurface = offscreenSurface;
    if (g_createModelEffect == nullptr || g_createModelEffect(g_pEngineDevice, g_hEngineWnd) != 0) return -1;
    return CreateTarget(&g_pModelTargetTexture, &g_pModelTargetSurface);
}

int32_t InitRenderContext(CPlatformWindow* window, CAudioDevice* sound, uint32_t modelsUsable,
                          CSurface* backBuffer, CGraphicsDevice* device, uint32_t sceneTarget,
                          CSurface* offscreenSurface) {
    ClearRenderContext();
    if (backBuffer == nullptr) return -1;
    g_pEngineBackBuffer = backBuffer;
    g_hEngineWnd = window;
    g_pEngineDevice = device;
    g_pEngineDirectSound = sound;
    g_bSceneTarget = sceneTarget;
    g_bModelsUsable = modelsUsable;
    if (g_bSceneTarget == 1 && CreateTarget(&g_pSceneTargetTexture, &g_pSceneTargetSurface) != 0) return -1;
    if (g_bModelsUsable == 1 && CreateModelTargets(offscreenSurface) != 0) return -1;
    g_GameClock = 0;
    g_PageStartClock = 0;
    g_ClockNow = g_ClockPrevTime = GetTimeMs();
    return 0;
}

void ReleaseRenderTargets() {
    if (g_bSceneTarget == 1) ReleaseTarget(&g_pSceneTargetTexture, &g_pSceneTargetSurface);
    if (g_bModelsUsable == 1) {
        if (g_releaseModelEffect != nullptr) g_releaseModelEffect();
        ReleaseTarget(&g_pModelTargetTexture, &g_pModelTargetSurface);
    }
}

int32_t RestoreRenderTargets(CSurface* backBuffer, CSurface* offscreenSurface) {
    if (backBuffer == nullptr) return -1;
    g_pEngineBackBuffer = backBuffer;
    if (g_bSceneTarget == 1 && CreateTarget(&g_pSceneTargetTexture, &g_pSceneTargetSurface) != 0) return -1;
    if (g_bModelsUsable == 1 && CreateModelTargets(offscreenSurface) != 0) return -1;
    return 0;
}

void ClearRenderContext() {
    ReleaseRenderTargets();
    g_hEngineWnd = nullptr;
    g_pEngineDevice = nullptr;
    g_pEngineDirectSound = nullptr;
    g_bModelsUsable = 0;
    g_ClockNow = 0;
    g_GameClock = 0;
    g_ClockPrevTime = 0;
    g_PageStartClock = 0;
    g_bPageEffectsDone = 0;
    g_bPageTextDone = 0;
    g_bPageVoiceDone = 0;
}
