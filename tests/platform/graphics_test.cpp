#include "platform/graphics.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/graphics_support.h"

namespace {

struct STexVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SDeviceParams params;
        params.width = 200;
        params.height = 150;
        params.presentUser = &presented_;
        params.present = [](void* user, const SPresentFrame& frame) {
            static_cast<std::vector<uint32_t>*>(user)->assign(
                {frame.pixels[0], uint32_t(frame.pitchBytes), frame.width, frame.height});
        };
        device_ = CGraphicsDevice::Create(params);
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->GetBackBuffer(&back_), 0);
    }
    void TearDown() override {
        if (back_) back_->Release();
        if (device_) device_->Release();
    }

    CGraphicsDevice* device_ = nullptr;
    CSurface* back_ = nullptr;
    std::vector<uint32_t> presented_;  // first pixel, pitch, width, height of the last frame
};

uint32_t Gradient(uint32_t x, uint32_t y) { return 0xFF000000u | (x << 16) | (y << 8) | ((x + y) & 0xFF); }

TEST_F(GraphicsTest, BackBufferIsLockableAndClearFillsTheViewport) {
    SSurfaceDesc desc;
    ASSERT_EQ(back_->GetDesc(&desc), 0);
    EXPECT_EQ(desc.format, Format::X8R8G8B8);
    EXPECT_EQ(desc.width, 200u);
    EXPECT_EQ(desc.height, 150u);

    ASSERT_EQ(device_->Clear(0, nullptr, ClearFlag::Target, 0x00123456, 1.0f, 0), 0);
    SLockedRect lr;
    ASSERT_EQ(back_->LockRect(&lr, nullptr, 0), 0);
    EXPECT_EQ(back_->LockRect(&lr, nullptr, 0), -1) << "a locked surface cannot be locked again";
    EXPECT_EQ(static_cast<const uint32_t*>(lr.bits)[0], 0xFF123456u) << "X8 alpha reads as opaque";
    EXPECT_EQ(back_->UnlockRect(), 0);
    EXPECT_EQ(back_->UnlockRect(), -1);

    const SRect part = {10, 10, 20, 20};
    ASSERT_EQ(device_->Clear(1, &part, ClearFlag::Target, 0xFF00FF00, 1.0f, 0), 0);
    EXPECT_EQ(SurfacePixel(back_, 10, 10), 0xFF00FF00u);
    EXPECT_EQ(SurfacePixel(back_, 19, 19), 0xFF00FF00u);
    EXPECT_EQ(SurfacePixel(back_, 20, 19), 0xFF123456u);
    EXPECT_EQ(device_->Clear(0, nullptr, ClearFlag::Stencil, 0, 1.0f, 0), -1) << "no stencil buffer";
}

TEST_F(GraphicsTest, DrawingNeedsASceneAndAPreTransformedLayout) {
    const STexVertex quad[3] = {};
    device_->SetFVF(Fvf::XyzRhw | Fvf::Diffuse | Fvf::Tex1);
    EXPECT_EQ(device_->DrawPrimitiveUP(Primitive::TriangleList, 1, quad, sizeof(STexVertex)), -1);
    ASSERT_EQ(device_->BeginScene(), 0);
    EXPECT_EQ(device_->BeginScene(), -1);
    EXPECT_EQ(device_->DrawPrimitiveUP(Primitive::TriangleList, 1, quad, sizeof(STexVertex)), 0);
    EXPECT_EQ(device_->DrawPrimitiveUP(Primitive::TriangleList, 1, quad, 8), -1) << "stride below the layout";
    device_->SetFVF(Fvf::Diffuse);
    EXPECT_EQ(device_->DrawPrimitiveUP(Primitive::TriangleList, 1, quad, sizeof(STexVertex)), -1);
    EXPECT_EQ(device_->EndScene(), 0);
    EXPECT_EQ(device_->EndScene(), -1);
}

TEST_F(GraphicsTest, ImpossibleResourcesAreRefused) {
    CTexture* texture = reinterpret_cast<CTexture*>(1);
    EXPECT_EQ(device_->CreateTexture(0, 16, 1, 0, Format::A8R8G8B8, Pool::Managed, &texture), -1);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(device_->CreateTexture(100000, 100000, 1, 0, Format::A8R8G8B8, Pool::Managed, &texture), -1);
    EXPECT_EQ(device_->CreateTexture(16, 16, 1, 0, Format::D16, Pool::Managed, &texture), -1);
    EXPECT_EQ(device_->CreateTexture(16, 16, 1, Usage::RenderTarget, Format::A8R8G8B8, Pool::Managed, &texture), -1)
        << "render-target textures live in the default pool";
    CSurface* surface = nullptr;
    EXPECT_EQ(device_->CreateRenderTarget(0, 0, Format::A8R8G8B8, &surface), -1);
    EXPECT_EQ(device_->CreateDepthSurface(1u << 20, 4, &surface), -1);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(device_->SetRenderTarget(nullptr), -1);
    SDeviceParams huge;
    huge.width = 0;
    EXPECT_EQ(CGraphicsDevice::Create(huge), nullptr);
}

TEST_F(GraphicsTest, StatesReadBackWhatWasSetAndStartAtDirect3DDefaults) {
    EXPECT_EQ(device_->GetRenderState(RenderState::AlphaFunc), Cmp::Always);
    EXPECT_EQ(device_->GetRenderState(RenderState::CullMode), Cull::CCW);
    EXPECT_EQ(device_->GetRenderState(RenderState::ZEnable), 1u);
    EXPECT_EQ(device_->GetTextureStageState(0, TexStage::ColorOp), TexOp::Modulate);
    EXPECT_EQ(device_->GetTextureStageState(1, TexStage::ColorOp), TexOp::Disable);
    EXPECT_EQ(device_->GetTextureStageState(0, TexStage::AlphaOp), TexOp::SelectArg1);
    EXPECT_EQ(device_->GetSamplerState(0, Sampler::MinFilter), TexFilter::Point);

    ASSERT_EQ(device_->SetRenderState(RenderState::AlphaRef, 0x1234), 0);
    ASSERT_EQ(device_->SetTextureStageState(0, TexStage::AlphaArg2, 77), 0);
    ASSERT_EQ(device_->SetSamplerState(0, Sampler::MagFilter, TexFilter::Linear), 0);
    EXPECT_EQ(device_->GetRenderState(RenderState::AlphaRef), 0x1234u);
    EXPECT_EQ(device_->GetTextureStageState(0, TexStage::AlphaArg2), 77u);
    EXPECT_EQ(device_->GetSamplerState(0, Sampler::MagFilter), TexFilter::Linear);
    EXPECT_EQ(device_->SetTextureStageState(99, TexStage::ColorOp, 1), -1);
    EXPECT_EQ(device_->SetSamplerState(99, Sampler::MinFilter, 1), -1);
    EXPECT_EQ(device_->SetRenderState(static_cast<RenderState>(4096), 1), -1);
}

TEST_F(GraphicsTest, LossAndResetFollowTheCooperativeLevelProtocol) {
    EXPECT_EQ(device_->TestCooperativeLevel(), kDeviceOk);
    device_->SimulateDeviceLoss(2);
    EXPECT_EQ(device_->TestCooperativeLevel(), kDeviceLost);
    EXPECT_EQ(device_->Present(), kDeviceLost);
    EXPECT_TRUE(presented_.empty()) << "a lost device shows nothing";
    back_->Release();
    back_ = nullptr;
    EXPECT_EQ(device_->Reset(0, 0), -1) << "still lost";
    EXPECT_EQ(device_->TestCooperativeLevel(), kDeviceLost);
    EXPECT_EQ(device_->TestCooperativeLevel(), kDeviceNotReset);

    // A live default-pool resource blocks the reset; managed textures do not.
    CTexture* target = nullptr;
    CTexture* managed = nullptr;
    ASSERT_EQ(device_->CreateTexture(64, 64, 0, Usage::RenderTarget, Format::A8R8G8B8, Pool::Default, &target), 0);
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, Format::A8R8G8B8, Pool::Managed, &managed), 0);
    EXPECT_EQ(device_->Reset(0, 0), -1);
    target->Release();

    device_->FailNextResets(1);
    EXPECT_EQ(device_->Reset(0, 0), -1);
    EXPECT_EQ(device_->TestCooperativeLevel(), kDeviceNotReset);

    device_->SetRenderState(RenderState::AlphaTestEnable, 1);
    device_->SetTexture(0, managed);
    ASSERT_EQ(device_->Reset(320, 240), 0);
    EXPECT_EQ(device_->TestCooperativeLevel(), kDeviceOk);
    EXPECT_EQ(device_->GetRenderState(RenderState::AlphaTestEnable), 0u);
    EXPECT_EQ(device_->GetTexture(0), nullptr);
    ASSERT_EQ(device_->GetBackBuffer(&back_), 0);
    EXPECT_EQ(back_->Width(), 320u);
    SViewport vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.width, 320u);
    EXPECT_EQ(vp.height, 240u);
    EXPECT_EQ(managed->Width(), 8u);
    managed->Release();

    // A reference still held on the back buffer is a default-pool resource too.
    EXPECT_EQ(device_->Reset(0, 0), -1);
    back_->Release();
    back_ = nullptr;
    EXPECT_EQ(device_->Reset(0, 0), 0);
}

TEST_F(GraphicsTest, PresentHandsTheBackBufferToTheCallback) {
    device_->Clear(0, nullptr, ClearFlag::Target, 0x00ABCDEF, 1.0f, 0);
    EXPECT_EQ(device_->Present(), 0);
    EXPECT_EQ(presented_, (std::vector<uint32_t>{0xFFABCDEFu, 200 * 4, 200, 150}));
}

TEST_F(GraphicsTest, ResourcesOutlivingTheDeviceStayUsable) {
    CTexture* texture = MakeTestTexture(device_, 4, 4, Gradient);
    device_->SetTexture(0, texture);
    back_->Release();
    back_ = nullptr;
    device_->Release();
    device_ = nullptr;
    EXPECT_EQ(texture->Width(), 4u);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(GraphicsTest, SavedPngReadsBackWithTheSamePixels) {
    CTexture* texture =
        MakeTestTexture(device_, 5, 3, [](uint32_t x, uint32_t y) { return (x * 40u) << 24 | (y * 50u) << 16 | 0x1234; });
    const std::string path = std::string(TEST_BINARY_DIR) + "/graphics_test_save.png";
    ASSERT_EQ(SaveSurfacePng(texture->Level0(), path.c_str()), 0);
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0);
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(image.width * image.height);
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0);
    ASSERT_EQ(image.width, 5u);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(pixels[y * 5 + x], SurfacePixel(texture->Level0(), x, y));
    EXPECT_EQ(SaveSurfacePng(texture->Level0(), "/nonexistent-dir/x.png"), -1);
    std::remove(path.c_str());
    texture->Release();
}

}  // namespace
