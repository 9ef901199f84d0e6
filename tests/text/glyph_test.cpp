#include "text/glyph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "text_test_device.h"

namespace {

TEST(GlyphMath, TextureSidesArePowersOfTwoThatHoldTheBitmap) {
    EXPECT_EQ(TextureSideFor(18), 32);
    EXPECT_EQ(TextureSideFor(3), 4);
    for (int32_t side = 2; side <= (1 << 20); side <<= 1) {
        EXPECT_EQ(TextureSideFor(side), side);  // 32 -> 32
        EXPECT_EQ(TextureSideFor(side + 1), side * 2);  // 33 -> 64
        EXPECT_EQ(TextureSideFor(side - 1), side == 2 ? 1 : side);
    }
}

TEST(GlyphMath, BlendPixelOverTruncatesAndCaps) {
    EXPECT_EQ(BlendPixelOver(0x12345678u, 0xFFABCDEFu), 0xFFABCDEFu);  // opaque source replaces
    EXPECT_EQ(BlendPixelOver(0x12345678u, 0x00ABCDEFu), 0x12345678u);  // transparent source keeps
    // Half-transparent black over opaque white: alpha capped at 255; 255 * (1 - 128/255) in single
    // precision lies just below 127 and is truncated.
    EXPECT_EQ(BlendPixelOver(0xFFFFFFFFu, 0x80000000u), 0xFF7E7E7Eu);
    // Over transparent black the colour scales with the alpha (so faint edge pixels are darker).
    const uint32_t faint = BlendPixelOver(0, 0x40FFFFFFu);
    EXPECT_EQ(faint >> 24, 0x40u);
    EXPECT_LE(faint & 0xFF, 0x40u);
    EXPECT_GE(faint & 0xFF, 0x3Fu);
}

class GlyphTest : public TextDeviceTest {
protected:
    CFont* Font(int32_t height) {
        CFont* font = CreateFontSjis(height, kFontWeightNormal, 0, kMsGothicSjis);
        fonts_.push_back(font);
        return font;
    }
    void TearDown() override {
        for (CFont* font : fonts_) DeleteFont(font);
        TextDeviceTest::TearDown();
    }
    std::vector<CFont*> fonts_;
};

TEST_F(GlyphTest, BlanksAdvanceByTheirCellAndVisibleGlyphsByTwoMore) {
    CFont* font = Font(24);
    CGlyph glyph;
    ASSERT_EQ(glyph.Rasterize(0x20, device_, dc_, font, 0xFFFFFFFF, 0), 0);
    EXPECT_EQ(glyph.texture, nullptr);
    EXPECT_EQ(glyph.advance, 11);
    EXPECT_EQ(glyph.lineHeight, 24);
    EXPECT_EQ(glyph.width, 0);
    EXPECT_EQ(glyph.ascent, 20);
    ASSERT_EQ(glyph.Rasterize(0x8140, device_, dc_, font, 0xFFFFFFFF, 0), 0);
    EXPECT_EQ(glyph.texture, nullptr);
    EXPECT_EQ(glyph.advance, 22);

    ASSERT_EQ(glyph.Rasterize('A', device_, dc_, font, 0xFF102030, 0), 0);
    EXPECT_EQ(glyph.character, static_cast<uint32_t>('A'));
    EXPECT_EQ(glyph.colour, 0xFF102030u);
    EXPECT_EQ(glyph.advance, 13);
    EXPECT_EQ(glyph.lineHeight, 26);
    // IPAGothic 'A' at a 24-pixel cell: an 11 x 16 bitmap 17 pixels above the baseline.
    EXPECT_EQ(glyph.width, 13);
    EXPECT_EQ(glyph.height, 18);
    EXPECT_EQ(glyph.originY, 17);
    EXPECT_EQ(glyph.textureWidth, 32);
    EXPECT_EQ(glyph.textureHeight, 32);
    ASSERT_NE(glyph.texture, nullptr);

    for (uint32_t code : {0u, 10u}) {
        ASSERT_EQ(glyph.Rasterize(code, device_, dc_, font, 0xFFFFFFFF, 1), 0);
        EXPECT_EQ(glyph.texture, nullptr);
        EXPECT_EQ(glyph.advance, 0);
        EXPECT_EQ(glyph.lineHeight, 0);
        EXPECT_EQ(glyph.width, 0);
        EXPECT_EQ(glyph.ascent, 0);
    }
}

// The glyph texture, pixel for pixel, from the font's bitmap by the passes' own rule: the rim
// blends black at alpha 4L - 1 into five pixels around each covered one, then white at that
// alpha lands on the pixel itself.
TEST_F(GlyphTest, TexturesFollowTheOutlineAndFillPassesExactly) {
    CFont* font = Font(24);
    for (uint32_t code : {0x8ABFu, uint32_t{'g'}}) {
        CFont* previous = SelectFont(dc_, font);
        SGlyphMetrics metrics{};
        const uint32_t size = GetGlyphOutlineGray8(dc_, code, &metrics, 0, nullptr);
        std::vector<uint8_t> bits(size);
        GetGlyphOutlineGray8(dc_, code, &metrics, size, bits.data());
        SelectFont(dc_, previous);
        const uint32_t pitch = (metrics.gmBlackBoxX + 3) & ~3u;
        for (uint32_t outline : {0u, 1u}) {
            CGlyph glyph;
            ASSERT_EQ(glyph.Rasterize(code, device_, dc_, font, 0xFFFFFFFF, outline), 0);
            const int32_t side = glyph.textureWidth;
            std::vector<uint32_t> expected(static_cast<size_t>(side * side), 0);
            auto at = [&](uint32_t x, uint32_t y) -> uint32_t& { return expected[y * side + x]; };
            for (int pass = outline ? 0 : 1; pass < 2; ++pass)
                for (uint32_t y = 0; y < metrics.gmBlackBoxY; ++y)
                    for (uint32_t x = 0; x < metrics.gmBlackBoxX; ++x) {
                        const uint32_t level = bits[y * pitch + x];
                        if (level == 0) continue;
                        const uint32_t alpha = (level * 4 - 1) << 24;
                        if (pass == 1) {
                            at(x + 1, y + 1) = BlendPixelOver(at(x + 1, y + 1), alpha | 0xFFFFFF);
                            continue;
                        }
                        const uint32_t targets[5][2] = {{x + 1, y + 1}, {x + 1, y}, {x + 1, y + 2}, {x, y + 1}, {x + 2, y + 1}};
                        for (const auto& t : targets) at(t[0], t[1]) = BlendPixelOver(at(t[0], t[1]), alpha);
                    }
            EXPECT_EQ(TexturePixels(glyph.texture), expected) << std::hex << code << " outline " << outline;
            // The rim (covered black pixels) comes with the outline flag only.
            const auto rim = std::count_if(expected.begin(), expected.end(),
                                           [](uint32_t p) { return (p >> 24) != 0 && (p & 0xFFFFFF) == 0; });
            EXPECT_EQ(rim > 20, outline == 1) << rim;
        }
    }
}

TEST_F(GlyphTest, FailuresLeaveARecordThatDrawsNothing) {
    CGlyph glyph;
    EXPECT_EQ(glyph.Rasterize(0x82A0, device_, dc_, nullptr, 0xFFFFFFFF, 0), -1);
    EXPECT_EQ(glyph.texture, nullptr);
    EXPECT_EQ(glyph.Draw(0, 100, device_, 0, 0), -1);
    EXPECT_EQ(glyph.Rasterize(0x82A0, nullptr, dc_, Font(24), 0xFFFFFFFF, 0), -1);
    EXPECT_EQ(glyph.texture, nullptr);
    glyph.Release();
    EXPECT_EQ(glyph.character, 0x82A0u);
    EXPECT_EQ(glyph.advance, 0);
    // A code that is not Shift-JIS still makes a visible glyph.
    ASSERT_EQ(glyph.Rasterize(0x81, device_, dc_, Font(24), 0xFFFFFFFF, 0), 0);
    EXPECT_NE(glyph.texture, nullptr);
}

TEST_F(GlyphTest, LinesWrapBeforeTheCharacterThatReachesTheWidth) {
    CFont* font = Font(24);  // full-width characters advance 22 + 2
    std::vector<CFont*> fonts(10, font);
    std::vector<uint32_t> text(10, 0x82A0);
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 0, 100, 10, 1, dc_), 4);  // 96 < 100, 120 >= 100
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 0, 96, 10, 1, dc_), 3);   // 96 reaches the width
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 8, 100, 10, 1, dc_), 2);
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 0, 100, 10, 0, dc_), 10);
    text[1] = 10;
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 0, 100, 10, 1, dc_), 2);
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 0, 100, 10, 0, dc_), 2);
    // A character wider than the block takes a line of its own instead of none.
    EXPECT_EQ(CountGlyphsInLine(fonts.data(), text.data(), 2, 10, 10, 1, dc_), 1);

    CFont* tall = Font(30);
    std::vector<CFont*> mixed = {font, tall, font};
    EXPECT_EQ(GetMaxLineHeight(0, 3, mixed.data(), dc_), 30);
    EXPECT_EQ(GetMaxLineHeight(0, 1, mixed.data(), dc_), 24);
    EXPECT_EQ(GetMaxLineHeight(1, 0, mixed.data(), dc_), 0);
}

TEST_F(GlyphTest, TextBlocksAreClippedAtTheBlockAndLinesStackByTheirHeight) {
    CFont* font = Font(24);
    const int32_t count = 6;
    std::vector<CFont*> fonts(count, font);
    std::vector<uint32_t> text(count, 0x81A1);  // ■, a solid square
    std::vector<uint32_t> colours(count, 0xFFFF0000);
    CTexture* texture = nullptr;
    // 100 pixels hold 4 squares a line: two lines, the second starting 24 + 5 pixels lower.
    const SBlockSize block{100, 60};
    ASSERT_EQ(RenderTextToTexture(device_, &texture, dc_, block, fonts.data(), text.data(), colours.data(), count, 0,
                                  1, 5),
              0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), 128u);
    const std::vector<uint32_t> pixels = TexturePixels(texture);
    auto inkInRows = [&](int32_t top, int32_t bottom, int32_t left, int32_t right) {
        int32_t ink = 0;
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x) ink += (pixels[y * 128 + x] >> 24) != 0;
        return ink;
    };
    EXPECT_GT(inkInRows(0, 24, 0, 100), 0);
    EXPECT_GT(inkInRows(29, 53, 0, 48), 0);
    EXPECT_EQ(inkInRows(29, 60, 48, 100), 0);  // the second line holds two squares only
    for (uint32_t p : pixels) {
        if ((p >> 24) == 0) continue;
        EXPECT_EQ(p & 0xFFFF, 0u);  // red only, scaled by the coverage
        EXPECT_GT(p & 0xFF0000, 0u);
    }
    texture->Release();

    // A block smaller than the glyphs: nothing lands outside it, though the texture is larger.
    const SBlockSize small{30, 12};
    ASSERT_EQ(RenderTextToTexture(device_, &texture, dc_, small, fonts.data(), text.data(), colours.data(), count, 1,
                                  0, 0),
              0);
    EXPECT_EQ(texture->Width(), 32u);
    const std::vector<uint32_t> clipped = TexturePixels(texture);
    int32_t inside = 0;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            const uint32_t p = clipped[y * 32 + x];
            if (x >= small.width || y >= small.height) {
                EXPECT_EQ(p, 0u) << x << "," << y;
            } else {
                inside += (p >> 24) != 0;
            }
        }
    EXPECT_GT(inside, 0);
    texture->Release();
}

TEST_F(GlyphTest, TextBlocksScaleCoverageByTheColourAlphaAndDrawDarkEdges) {
    CFont* font = Font(24);
    CFont* fonts[2] = {font, font};
    const uint32_t text[2] = {0x81A1, 0x20};
    const uint32_t colours[2] = {0x80FFFFFF, 0x80FFFFFF};
    CTexture* texture = nullptr;
    ASSERT_EQ(RenderTextToTexture(device_, &texture, dc_, {64, 32}, fonts, text, colours, 2, 0, 0, 0), 0);
    uint32_t highest = 0;
    for (uint32_t p : TexturePixels(texture)) highest = std::max(highest, p >> 24);
    EXPECT_EQ(highest, 0x80u);
    texture->Release();

    ASSERT_EQ(RenderTextToTexture(device_, &texture, dc_, {64, 32}, fonts, text, colours, 2, 1, 0, 0), 0);
    int32_t dark = 0;
    for (uint32_t p : TexturePixels(texture)) dark += (p >> 24) != 0 && (p & 0xFFFFFF) == 0;
    EXPECT_GT(dark, 10);
    texture->Release();

    CFont* broken[2] = {font, nullptr};
    EXPECT_EQ(RenderTextToTexture(device_, &texture, dc_, {64, 32}, broken, text, colours, 2, 0, 0, 0), -1);
    ASSERT_NE(texture, nullptr);  // handed back for the caller to release
    texture->Release();
}

}  // namespace
