// A headless device set up as the engine leaves it (the default render states plus the
// engine's own), inside a scene, and installed as the engine device for the scene tests.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/graphics.h"
#include "platform/render_context.h"
#include "tests/support/graphics_support.h"

namespace scene_test {

class SceneDevice {
public:
    SceneDevice() {
        device = MakeTestDevice(800, 600);
        device->SetRenderState(RenderState::ZEnable, 0);
        device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
        device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
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
        const uint32_t value = SurfacePixel(back, x, y) & 0xFFFFFFu;
        back->Release();
        return value;
    }

    // Pixels of the back buffer that are not the given colour.
    int CountOtherThan(uint32_t colour) const {
        CSurface* back = nullptr;
        device->GetBackBuffer(&back);
        int count = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) count += (SurfacePixel(back, x, y) & 0xFFFFFFu) != colour ? 1 : 0;
        back->Release();
        return count;
    }

    // A managed A8R8G8B8 texture filled by texel(x, y); the caller owns it.
    CTexture* MakeTexture(uint32_t width, uint32_t height, const std::function<uint32_t(int, int)>& texel) const {
        return MakeTestTexture(device, width, height, [&](uint32_t x, uint32_t y) {
            return texel(static_cast<int>(x), static_cast<int>(y));
        });
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
