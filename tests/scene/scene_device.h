// A software device set up as the engine leaves it (the default render states plus the
// engine's own), installed as the engine device for the scene tests.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/graphics.h"
#include "platform/render_context.h"

namespace scene_test {

class SceneDevice {
public:
    SceneDevice() {
        SDeviceParams params;
        params.autoDepth = false;
        device = CGraphicsDevice::Create(params);
        device->SetRenderState(RenderState::ZEnable, 0);
        device->SetRenderState(RenderState::AlphaTestEnable, 1);
        device->SetRenderState(RenderState::AlphaFunc, Cmp::Greater);
        device->SetRenderState(RenderState::AlphaRef, 0);
        device->SetRenderState(RenderState::CullMode, Cull::None);
        device->SetRenderState(RenderState::AlphaBlendEnable, 1);
        device->SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
        device->SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
        device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
        device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
        device->SetTextureStageState(0, TexStage::ColorOp, TexOp::Modulate);
        device->SetTextureStageState(0, TexStage::ColorArg1, TexArg::Texture);
        device->SetTextureStageState(0, TexStage::ColorArg2, TexArg::Diffuse);
        device->SetTextureStageState(0, TexStage::AlphaOp, TexOp::Modulate);
        device->SetTextureStageState(0, TexStage::AlphaArg1, TexArg::Texture);
        device->SetTextureStageState(0, TexStage::AlphaArg2, TexArg::Diffuse);
        device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Point);
        device->SetSamplerState(0, Sampler::MagFilter, TexFilter::Point);
        g_pEngineDevice = device;
        device->BeginScene();
        Clear(0);
    }
    ~SceneDevice() {
        g_pEngineDevice = nullptr;
        device->EndScene();
        device->SetTexture(0, nullptr);
        device->Release();
    }
    SceneDevice(const SceneDevice&) = delete;
    SceneDevice& operator=(const SceneDevice&) = delete;

    void Clear(uint32_t colour) { device->Clear(0, nullptr, ClearFlag::Target, colour, 1.0f, 0); }

    // The back buffer's pixel as 0xRRGGBB.
    uint32_t Pixel(int x, int y) const {
        CSurface* back = nullptr;
        device->GetBackBuffer(&back);
        const uint32_t value = reinterpret_cast<const uint32_t*>(back->Bits() + y * back->Pitch())[x] & 0xFFFFFFu;
        back->Release();
        return value;
    }

    // Pixels of the back buffer that are not the given colour.
    int CountOtherThan(uint32_t colour) const {
        int count = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) count += Pixel(x, y) != colour ? 1 : 0;
        return count;
    }

    // A managed A8R8G8B8 texture filled by texel(x, y); the caller owns it.
    CTexture* MakeTexture(uint32_t width, uint32_t height, const std::function<uint32_t(int, int)>& texel) const {
        CTexture* texture = nullptr;
        if (device->CreateTexture(width, height, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture) != 0)
            return nullptr;
        SLockedRect locked;
        texture->LockRect(0, &locked, nullptr, 0);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch)[x] =
                    texel(static_cast<int>(x), static_cast<int>(y));
        texture->UnlockRect(0);
        return texture;
    }

    // Opaque texels, never black, that name their own position: 11 bits of x above 12 of y.
    static uint32_t PositionTexel(int x, int y) {
        return 0xFF800000u | static_cast<uint32_t>(x & 0x7FF) << 12 | static_cast<uint32_t>(y & 0xFFF);
    }
    static int TexelX(uint32_t rgb) { return static_cast<int>(rgb >> 12 & 0x7FF); }
    static int TexelY(uint32_t rgb) { return static_cast<int>(rgb & 0xFFF); }

    CGraphicsDevice* device = nullptr;
};

}  // namespace scene_test
