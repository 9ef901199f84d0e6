// Golden glyphs: the line 吾輩は猫である。Ag in IPAGothic with a 24-pixel cell, checked against
// metrics and coverage sums recorded once from this font layer (FreeType 2.12, light hinting)
// with fonts-ipafont-gothic 00303. They change only when the font package or the rasteriser
// settings change; record them again then, after looking at the glyphs.
#include "platform/font.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct SGoldenGlyph {
    uint32_t code;
    uint32_t blackBoxX;
    uint32_t blackBoxY;
    int32_t originX;
    int32_t originY;
    int32_t cellIncX;
    uint64_t coverageSum;
};

constexpr SGoldenGlyph kGolden[] = {
    {0x8CE1, 20, 20, 1, 18, 22, 8790},   // 吾
    {0x9479, 21, 21, 1, 19, 22, 11538},  // 輩
    {0x82CD, 19, 19, 2, 18, 22, 6678},   // は
    {0x944C, 21, 21, 1, 19, 22, 10837},  // 猫
    {0x82C5, 19, 17, 2, 16, 22, 4702},   // で
    {0x82A0, 18, 19, 2, 18, 22, 7160},   // あ
    {0x82E9, 16, 18, 3, 17, 22, 5813},   // る
    {0x8142, 6, 7, 1, 5, 22, 1133},      // 。
    {0x41, 11, 16, 0, 17, 11, 3952},     // A
    {0x67, 9, 14, 1, 12, 11, 3770},      // g
};

TEST(FontGolden, IpaGothicLineAt24Pixels) {
    CFontDC* dc = GetFontDC(nullptr);
    CFont* font = CreateFontSjis(24, kFontWeightNormal, 0, "IPAGothic");
    ASSERT_NE(font, nullptr);
    CFont* previous = SelectFont(dc, font);
    for (const SGoldenGlyph& golden : kGolden) {
        SGlyphMetrics metrics{};
        const uint32_t size = GetGlyphOutlineGray8(dc, golden.code, &metrics, 0, nullptr);
        ASSERT_NE(size, kGlyphOutlineError);
        std::vector<uint8_t> bits(size);
        ASSERT_EQ(GetGlyphOutlineGray8(dc, golden.code, &metrics, size, bits.data()), size);
        uint64_t sum = 0;
        for (uint8_t level : bits) sum += level;
        EXPECT_EQ(metrics.gmBlackBoxX, golden.blackBoxX) << std::hex << golden.code;
        EXPECT_EQ(metrics.gmBlackBoxY, golden.blackBoxY) << std::hex << golden.code;
        EXPECT_EQ(metrics.gmptGlyphOrigin.x, golden.originX) << std::hex << golden.code;
        EXPECT_EQ(metrics.gmptGlyphOrigin.y, golden.originY) << std::hex << golden.code;
        EXPECT_EQ(metrics.gmCellIncX, golden.cellIncX) << std::hex << golden.code;
        EXPECT_EQ(sum, golden.coverageSum) << std::hex << golden.code;
    }
    SelectFont(dc, previous);
    DeleteFont(font);
    ReleaseFontDC(nullptr, dc);
}

}  // namespace
