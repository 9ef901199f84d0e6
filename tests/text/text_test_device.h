// A headless graphics device for the text tests, with the render states the game draws with
// (alpha blending, texture modulated by the vertex colour), and helpers to read its pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/font.h"
#include "platform/graphics.h"
#include "tests/support/graphics_support.h"
#include "text/glyph.h"

class TextDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = MakeTestDevice(800, 600);
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->GetBackBuffer(&back_), 0);
        ClearScreen();
        device_->BeginScene();
        dc_ = GetFontDC(nullptr);
    }
    void TearDown() override {
        ReleaseFontDC(nullptr, dc_);
        if (device_) device_->EndScene();
        if (device_) device_->SetTexture(0, nullptr);
        if (back_) back_->Release();
        if (device_) device_->Release();
    }

    void ClearScreen() { device_->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0xFF000000u, 1.0f, 0); }

    uint32_t Pixel(int32_t x, int32_t y) const { return SurfacePixel(back_, x, y) & 0xFFFFFFu; }
    // Pixels of the back buffer in the rectangle that are not black.
    int32_t LitPixels(const SRect& rect) const {
        int32_t lit = 0;
        for (int32_t y = rect.top; y < rect.bottom; ++y)
            for (int32_t x = rect.left; x < rect.right; ++x)
                if (Pixel(x, y) != 0) ++lit;
        return lit;
    }

    // A glyph record with a solid white texture of size x size pixels and chosen metrics: its
    // bitmap's top-left lands at (pen, baseline - size).
    void MakeSolidGlyph(CGlyph* glyph, int32_t size, int32_t advance, int32_t lineHeight, uint32_t colour) {
        glyph->Release();
        glyph->character = 0x82A0;
        glyph->colour = colour;
        glyph->advance = advance;
        glyph->lineHeight = lineHeight;
        glyph->width = size;
        glyph->height = size;
        glyph->originX = 0;
        glyph->originY = size;
        const int32_t side = TextureSideFor(size);
        glyph->textureWidth = side;
        glyph->textureHeight = side;
        glyph->texture = MakeTestTexture(device_, side, side, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
        ASSERT_NE(glyph->texture, nullptr);
    }

    CGraphicsDevice* device_ = nullptr;
    CSurface* back_ = nullptr;
    CFontDC* dc_ = nullptr;
};

// The pixels of a texture's level 0, row by row.
inline std::vector<uint32_t> TexturePixels(CTexture* texture) {
    std::vector<uint32_t> pixels;
    SLockedRect locked{};
    if (!texture || texture->LockRect(0, &locked, nullptr, 0) != 0) return pixels;
    for (uint32_t y = 0; y < texture->Height(); ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
        pixels.insert(pixels.end(), row, row + texture->Width());
    }
    texture->UnlockRect(0);
    return pixels;
}

// Face names as the program writes them (Shift-JIS).
inline constexpr char kMsGothicSjis[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック
