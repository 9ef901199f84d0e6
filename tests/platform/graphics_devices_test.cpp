#include "platform/devices_graphics.h"

#include <gtest/gtest.h>

namespace {

class DevicesGraphicsTest : public ::testing::Test {
protected:
    void TearDown() override {
        ReleaseDirect3D();
        EXPECT_EQ(g_pD3DDevice, nullptr);
        EXPECT_EQ(g_pBackBuffer, nullptr);
        EXPECT_EQ(g_pDepthSurface, nullptr);
        EXPECT_EQ(g_pOffscreenTarget, nullptr);
    }
};

// The fixed states of 2D sprite drawing.
void ExpectSpriteStates(CGraphicsDevice* d) {
    const std::pair<RenderState, uint32_t> states[] = {
        {RenderState::DitherEnable, 1},         {RenderState::ZWriteEnable, 1},
        {RenderState::ZFunc, Cmp::LessEqual},   {RenderState::ZEnable, 1},
        {RenderState::AlphaTestEnable, 1},      {RenderState::AlphaFunc, Cmp::Greater},
        {RenderState::AlphaRef, 0},             {RenderState::CullMode, Cull::None},
        {RenderState::Lighting, 0},             {RenderState::AlphaBlendEnable, 1},
        {RenderState::SrcBlend, Blend::SrcAlpha}, {RenderState::DestBlend, Blend::InvSrcAlpha}};
    for (const auto& [state, value] : states) EXPECT_EQ(d->GetRenderState(state), value) << int(state);
    const std::pair<TexStage, uint32_t> stages[] = {
        {TexStage::ColorOp, TexOp::Modulate}, {TexStage::ColorArg1, TexArg::Texture}, {TexStage::ColorArg2, TexArg::Diffuse},
        {TexStage::AlphaOp, TexOp::Modulate}, {TexStage::AlphaArg1, TexArg::Texture}, {TexStage::AlphaArg2, TexArg::Diffuse}};
    for (const auto& [state, value] : stages) EXPECT_EQ(d->GetTextureStageState(0, state), value) << int(state);
    EXPECT_EQ(d->GetSamplerState(0, Sampler::MinFilter), TexFilter::Point);
    EXPECT_EQ(d->GetSamplerState(0, Sampler::MagFilter), TexFilter::Point);
}

TEST_F(DevicesGraphicsTest, InitTakesTheSurfacesAndSetsTheSpriteStates) {
    SDeviceRequest request;
    request.multisample = -1;
    ASSERT_EQ(InitDirect3D(request), 0);
    EXPECT_EQ(InitDirect3D(request), -1) << "one device per process";
    EXPECT_EQ(g_MultiSampleType, 0u) << "the software device has no multisampling";
    ASSERT_NE(g_pBackBuffer, nullptr);
    EXPECT_EQ(g_pBackBuffer->Width(), 800u);
    EXPECT_EQ(g_pBackBuffer->Height(), 600u);
    ASSERT_NE(g_pDepthSurface, nullptr);
    EXPECT_EQ(g_pDepthSurface->GetFormat(), Format::D16);
    EXPECT_EQ(g_pOffscreenTarget, nullptr);
    ExpectSpriteStates(g_pD3DDevice);
}

TEST_F(DevicesGraphicsTest, ResetAfterLossRestoresSurfacesStatesAndViewport) {
    SDeviceRequest request;
    request.offscreenTarget = 1;
    ASSERT_EQ(InitDirect3D(request), 0);
    ASSERT_NE(g_pOffscreenTarget, nullptr);
    SSurfaceDesc desc;
    g_pOffscreenTarget->GetDesc(&desc);
    EXPECT_EQ(desc.format, Format::A8R8G8B8);
    EXPECT_EQ(desc.width, 800u);
    SLockedRect locked;
    EXPECT_EQ(g_pOffscreenTarget->LockRect(&locked, nullptr, 0), -1) << "the off-screen target is not lockable";

    g_pD3DDevice->SetRenderState(RenderState::SrcBlend, Blend::One);
    g_pD3DDevice->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    g_pD3DDevice->SimulateDeviceLoss(0);
    ASSERT_EQ(g_pD3DDevice->TestCooperativeLevel(), kDeviceNotReset);
    g_pD3DDevice->FailNextResets(1);
    EXPECT_EQ(ResetDirect3DDevice(800, 600), -1);
    EXPECT_EQ(g_pBackBuffer, nullptr);
    ASSERT_EQ(ResetDirect3DDevice(800, 600), 0);
    EXPECT_EQ(g_pD3DDevice->TestCooperativeLevel(), kDeviceOk);
    ExpectSpriteStates(g_pD3DDevice);
    SViewport viewport;
    g_pD3DDevice->GetViewport(&viewport);
    EXPECT_EQ(viewport.width, 800u);
    EXPECT_EQ(viewport.height, 600u);
    EXPECT_EQ(viewport.maxZ, 1.0f);
    ASSERT_NE(g_pOffscreenTarget, nullptr);
    CSurface* current = nullptr;
    ASSERT_EQ(g_pD3DDevice->GetRenderTarget(&current), 0);
    EXPECT_EQ(current, g_pBackBuffer);
    current->Release();
}

TEST_F(DevicesGraphicsTest, ExplicitDepthSurfaceIsCreatedAndRecreated) {
    SDeviceRequest request;
    request.width = 320;
    request.height = 200;
    request.autoDepth = 0;
    request.depthWidth = 512;
    request.depthHeight = 256;
    ASSERT_EQ(InitDirect3D(request), 0);
    ASSERT_NE(g_pDepthSurface, nullptr);
    EXPECT_EQ(g_pDepthSurface->Width(), 512u);
    CSurface* bound = nullptr;
    ASSERT_EQ(g_pD3DDevice->GetDepthSurface(&bound), 0);
    EXPECT_EQ(bound, g_pDepthSurface);
    bound->Release();
    g_pD3DDevice->SimulateDeviceLoss(0);
    g_pD3DDevice->TestCooperativeLevel();
    ASSERT_EQ(ResetDirect3DDevice(320, 200), 0);
    ASSERT_NE(g_pDepthSurface, nullptr);
    EXPECT_EQ(g_pDepthSurface->Height(), 256u);
}

TEST_F(DevicesGraphicsTest, UnmetShaderRequirementOrBadSizeFailsAndReleaseSkipsWhatIsMissing) {
    SDeviceRequest request;
    request.pixelShaderVersion = kPixelShaderVersion00 | 0x0200;
    EXPECT_EQ(InitDirect3D(request), -1);
    EXPECT_EQ(g_pD3DDevice, nullptr);
    request = SDeviceRequest();
    request.width = 0;
    EXPECT_EQ(InitDirect3D(request), -1);
    ReleaseDirect3D();
    EXPECT_EQ(ChooseMultiSampleType(0, Format::X8R8G8B8, Format::D16), 0u);
    EXPECT_EQ(CheckMultiSampleType(0, Format::X8R8G8B8, Format::D16, 0), 0);
    EXPECT_EQ(ResetDirect3DDevice(800, 600), -1) << "no device";
}

}  // namespace
