#include "platform/render_context.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/graphics.h"

namespace {

CSurface* FakeBackBuffer() { return reinterpret_cast<CSurface*>(0x1000); }

TEST(RenderContext, TheClockStartsAtZeroAddsTrueElapsedTimeAndClearKeepsTheHold) {
    EXPECT_EQ(InitRenderContext(nullptr, nullptr, 0, nullptr, nullptr, 0), -1);
    EXPECT_EQ(InitRenderContext(nullptr, nullptr, 1, FakeBackBuffer(), nullptr, 0), -1);
    ClearRenderContext();
    EXPECT_EQ(g_bModelsUsable, 0u);

    UseFakeClock(0xFFFFFF00u);
    g_GameClock = 77;
    g_PageStartClock = 9;
    ASSERT_EQ(InitRenderContext(nullptr, nullptr, 0, FakeBackBuffer(), nullptr, 0), 0);
    EXPECT_EQ(g_GameClock, 0u);
    EXPECT_EQ(g_PageStartClock, 0u);
    EXPECT_EQ(g_ClockNow, 0xFFFFFF00u);
    EXPECT_EQ(g_ClockPrevTime, 0xFFFFFF00u);
    EXPECT_EQ(g_pSceneTargetTexture, nullptr);
    EXPECT_EQ(g_pModelTargetTexture, nullptr);
    AdvanceFakeClock(0x200);  // across the wrap of the millisecond timer
    UpdateEngineClock();
    EXPECT_EQ(g_GameClock, 0x200u);
    EXPECT_EQ(g_ClockNow, 0x100u);

    // Around a reset only the new back buffer is stored.
    ReleaseRenderTargets();
    CSurface* second = reinterpret_cast<CSurface*>(0x2000);
    EXPECT_EQ(RestoreRenderTargets(second, nullptr), 0);
    EXPECT_EQ(g_pEngineBackBuffer, second);
    EXPECT_EQ(RestoreRenderTargets(nullptr, nullptr), -1);

    g_bPageEffectsDone = g_bPageTextDone = g_bPageVoiceDone = g_bHoldTextStart = 1;
    ClearRenderContext();
    EXPECT_EQ(g_bPageEffectsDone + g_bPageTextDone + g_bPageVoiceDone, 0u);
    EXPECT_EQ(g_bHoldTextStart, 1u);
    EXPECT_EQ(g_GameClock, 0u);
    g_bHoldTextStart = 0;
    UseRealClock();
}

TEST(RenderContext, SceneTargetIsReleasedAroundAResetAndMadeAgain) {
    CGraphicsDevice* device = CGraphicsDevice::Create(SDeviceParams{});
    ASSERT_NE(device, nullptr);
    CSurface* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(&back), 0);
    ASSERT_EQ(InitRenderContext(nullptr, nullptr, 0, back, device, 1), 0);
    ASSERT_NE(g_pSceneTargetTexture, nullptr);
    ASSERT_NE(g_pSceneTargetSurface, nullptr);
    EXPECT_EQ(g_pSceneTargetTexture->Width(), 1024u);
    EXPECT_EQ(g_pSceneTargetSurface->Height(), 1024u);

    // A reset is refused while the default-pool target lives, and succeeds once it is released.
    EXPECT_NE(device->Reset(800, 600), 0);
    ReleaseRenderTargets();
    EXPECT_EQ(g_pSceneTargetTexture, nullptr);
    back->Release();
    ASSERT_EQ(device->Reset(800, 600), 0);
    ASSERT_EQ(device->GetBackBuffer(&back), 0);
    ASSERT_EQ(RestoreRenderTargets(back, nullptr), 0);
    EXPECT_NE(g_pSceneTargetTexture, nullptr);
    EXPECT_EQ(g_pEngineBackBuffer, back);

    ClearRenderContext();
    EXPECT_EQ(g_pSceneTargetTexture, nullptr);
    EXPECT_EQ(g_pSceneTargetSurface, nullptr);
    EXPECT_EQ(g_pEngineDevice, nullptr);
    g_bSceneTarget = 0;
    back->Release();
    device->Release();
}

TEST(RenderContext, ModelPathNeedsTheRegisteredEffectAndAnOffscreenSurface) {
    CGraphicsDevice* device = CGraphicsDevice::Create(SDeviceParams{});
    ASSERT_NE(device, nullptr);
    CSurface* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(&back), 0);
    // An engine started earlier in this process leaves its effect hooks registered.
    SetModelEffectHooks(nullptr, nullptr);
    // Init refuses the models switch; restoring after a reset builds the model target.
    EXPECT_EQ(InitRenderContext(nullptr, nullptr, 1, back, device, 0), -1);
    EXPECT_EQ(g_bModelsUsable, 1u);
    EXPECT_EQ(RestoreRenderTargets(back, back), -1);  // no effect creator registered
    static int created = 0;
    static int released = 0;
    SetModelEffectHooks([](CGraphicsDevice*, CPlatformWindow*) -> int32_t { return ++created, 0; },
                        [] { ++released; });
    EXPECT_EQ(RestoreRenderTargets(back, nullptr), -1);
    ASSERT_EQ(RestoreRenderTargets(back, back), 0);
    EXPECT_EQ(created, 1);
    EXPECT_NE(g_pModelTargetTexture, nullptr);
    EXPECT_EQ(g_pEngineOffscreenSurface, back);
    ReleaseRenderTargets();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(g_pModelTargetTexture, nullptr);
    ClearRenderContext();
    SetModelEffectHooks(nullptr, nullptr);
    g_pEngineOffscreenSurface = nullptr;
    back->Release();
    device->Release();
}

}  // namespace
