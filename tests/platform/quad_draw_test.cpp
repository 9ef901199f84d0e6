#include "platform/quad_draw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/graphics.h"
#include "tests/support/graphics_support.h"

namespace {

uint32_t Pattern(uint32_t x, uint32_t y) { return 0xFF000000u | (x << 16) | (y << 8) | ((x * 7 + y * 3) & 0xFF); }

class QuadDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = MakeTestDevice(200, 150);
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->GetBackBuffer(&back_), 0);
        Clear(0xFF000000u);
        ASSERT_EQ(device_->BeginScene(), 0);
    }
    void TearDown() override {
        device_->EndScene();
        device_->SetTexture(0, nullptr);
        back_->Release();
        device_->Release();
    }
    void Clear(uint32_t colour) { device_->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, colour, 1.0f, 0); }
    uint32_t At(int x, int y) { return SurfacePixel(back_, x, y); }
    std::vector<uint32_t> Frame() {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x) pixels.push_back(At(x, y));
        return pixels;
    }

    CGraphicsDevice* device_ = nullptr;
    CSurface* back_ = nullptr;
};

TEST_F(QuadDrawTest, SourceRectangleLandsOnExactPixelsTexelForTexel) {
    CTexture* texture = MakeTestTexture(device_, 256, 128, Pattern);
    const SRect source = {30, 40, 130, 90};
    EXPECT_EQ(DrawSprite(device_, texture, &source, 1, 10.0f, 20.0f, 0xFFFFFFFF), 1);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool inside = x >= 10 && x <= 109 && y >= 20 && y <= 69;
            ASSERT_EQ(At(x, y), inside ? Pattern(30 + x - 10, 40 + y - 20) : 0xFF000000u) << x << "," << y;
        }
    texture->Release();
}

TEST_F(QuadDrawTest, VertexColourFadesAndTints) {
    CTexture* white = MakeTestTexture(device_, 16, 16, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    DrawSprite(device_, white, nullptr, 1, 0, 0, 0x80FFFFFF);
    EXPECT_EQ(At(5, 5), 0xFF808080u) << "half opacity over black";
    Clear(0xFFFFFFFFu);
    DrawSprite(device_, white, nullptr, 1, 0, 0, 0x80000000);
    EXPECT_EQ(At(5, 5), 0xFF7F7F7Fu) << "half-transparent black over white";
    DrawSprite(device_, white, nullptr, 1, 20, 0, 0xFF000000);
    EXPECT_EQ(At(25, 5), 0xFF000000u) << "opaque black makes the sprite black";
    DrawSprite(device_, white, nullptr, 1, 40, 0, 0x00FFFFFF);
    EXPECT_EQ(At(45, 5), 0xFFFFFFFFu) << "alpha 0 fails the alpha test";
    white->Release();
}

TEST_F(QuadDrawTest, UnrotatedSpriteMatchesThePlainSprite) {
    CTexture* texture = MakeTestTexture(device_, 64, 32, Pattern);
    const SRect source = {3, 2, 43, 27};
    DrawSprite(device_, texture, &source, 1, 57.0f, 41.0f, 0xC0FFE0FF);
    const std::vector<uint32_t> plain = Frame();
    Clear(0xFF000000u);
    EXPECT_EQ(DrawSpriteRotated(device_, texture, &source, {50, 30}, {7, 11}, 1.0f, 1.0f, 0.0f, 0xC0FFE0FF), 1);
    EXPECT_EQ(Frame(), plain);
    texture->Release();
}

TEST_F(QuadDrawTest, RotationAndScaleTurnAboutTheDestination) {
    CTexture* texture = MakeTestTexture(device_, 4, 2, Pattern);
    // A quarter turn: local (x, y) goes to (dest.x - y, dest.y + x).
    DrawSpriteRotated(device_, texture, nullptr, {50, 50}, {0, 0}, 1.0f, 1.0f, static_cast<float>(M_PI / 2), 0xFFFFFFFF);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(At(49, 50 + i), Pattern(i, 1));
        EXPECT_EQ(At(48, 50 + i), Pattern(i, 0)) << "the far edge samples the wrapped row";
        EXPECT_EQ(At(50, 50 + i), 0xFF000000u);
    }
    EXPECT_EQ(At(49, 54), 0xFF000000u);

    // Twice the size: every texel covers 2 × 2 pixels, starting at the offset times the scale.
    DrawSpriteRotated(device_, texture, nullptr, {100, 100}, {1, 1}, 2.0f, 2.0f, 0.0f, 0xFFFFFFFF);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(At(102 + x, 102 + y), Pattern(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(At(101, 102), 0xFF000000u);
    EXPECT_EQ(At(110, 102), 0xFF000000u);
    texture->Release();
}

TEST_F(QuadDrawTest, NullTextureDrawsNothingAndBindingFollowsTheFlag) {
    EXPECT_EQ(DrawSprite(device_, nullptr, nullptr, 1, 0, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(DrawSpriteRotated(device_, nullptr, nullptr, {0, 0}, {0, 0}, 1, 1, 0, 0xFFFFFFFF), 0);
    EXPECT_EQ(At(0, 0), 0xFF000000u);

    CTexture* red = MakeTestTexture(device_, 8, 8, [](uint32_t, uint32_t) { return 0xFFFF0000u; });
    CTexture* blue = MakeTestTexture(device_, 8, 8, [](uint32_t, uint32_t) { return 0xFF0000FFu; });
    device_->SetTexture(1, blue);
    DrawSprite(device_, red, nullptr, 1, 0, 0, 0xFFFFFFFF);
    EXPECT_EQ(device_->GetTexture(0), red);
    EXPECT_EQ(device_->GetTexture(1), nullptr);
    DrawSprite(device_, blue, nullptr, 0, 20, 0, 0xFFFFFFFF);
    EXPECT_EQ(At(21, 1), 0xFFFF0000u) << "flag 0 draws with the bound texture";
    EXPECT_EQ(device_->GetTexture(0), red);
    red->Release();
    blue->Release();
}

TEST_F(QuadDrawTest, FilledRectangleUnbindsTexturesAndBlendsItsColour) {
    CTexture* texture = MakeTestTexture(device_, 8, 8, Pattern);
    device_->SetTexture(0, texture);
    device_->SetTexture(1, texture);
    EXPECT_EQ(DrawFilledRect(device_, {10, 10, 20, 15}, 0x80FF0000), 1);
    EXPECT_EQ(device_->GetTexture(0), nullptr);
    EXPECT_EQ(device_->GetTexture(1), nullptr);
    EXPECT_EQ(At(10, 10), 0xFF800000u);
    EXPECT_EQ(At(19, 14), 0xFF800000u);
    EXPECT_EQ(At(20, 14), 0xFF000000u);
    EXPECT_EQ(At(19, 15), 0xFF000000u);
    texture->Release();
}

}  // namespace
