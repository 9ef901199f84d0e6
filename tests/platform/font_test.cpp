#include "platform/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Face names as the program writes them (Shift-JIS).
const char kMsGothic[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";           // ＭＳ ゴシック
const char kMsPGothic[] = "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ Ｐゴシック
const char kMsMincho[] = "\x82\x6C\x82\x72 \x96\xBE\x92\xA9";                          // ＭＳ 明朝
const char kIpaGothicJa[] = "IPA\x83\x53\x83\x56\x83\x62\x83\x4E";                      // IPAゴシック

// A context with one font selected; frees both.
struct SSelectedFont {
    CFontDC* dc = nullptr;
    CFont* font = nullptr;
    CFont* previous = nullptr;
    SSelectedFont(int32_t height, const char* face, int32_t weight = kFontWeightNormal, uint32_t italic = 0) {
        dc = GetFontDC(nullptr);
        font = CreateFontSjis(height, weight, italic, face);
        if (font) previous = SelectFont(dc, font);
    }
    ~SSelectedFont() {
        if (previous) SelectFont(dc, previous);
        DeleteFont(font);
        ReleaseFontDC(nullptr, dc);
    }
};

struct SBitmap {
    uint32_t size = 0;
    SGlyphMetrics metrics{};
    std::vector<uint8_t> bits;
};

SBitmap FetchGlyph(CFontDC* dc, uint32_t code) {
    SBitmap bitmap;
    bitmap.size = GetGlyphOutlineGray8(dc, code, &bitmap.metrics, 0, nullptr);
    if (bitmap.size == kGlyphOutlineError || bitmap.size == 0) return bitmap;
    bitmap.bits.assign(bitmap.size, 0xEE);
    SGlyphMetrics again{};
    EXPECT_EQ(GetGlyphOutlineGray8(dc, code, &again, bitmap.size, bitmap.bits.data()), bitmap.size);
    EXPECT_EQ(again.gmBlackBoxX, bitmap.metrics.gmBlackBoxX);
    return bitmap;
}

// The size query's metrics of a character.
SGlyphMetrics Measure(CFontDC* dc, uint32_t code, uint32_t expectedSize) {
    SGlyphMetrics metrics{};
    EXPECT_EQ(GetGlyphOutlineGray8(dc, code, &metrics, 0, nullptr), expectedSize) << std::hex << code;
    return metrics;
}

uint64_t CoverageSum(const SBitmap& bitmap) {
    uint64_t sum = 0;
    for (uint8_t level : bitmap.bits) sum += level;
    return sum;
}

TEST(Font, FaceNamesAlwaysGiveJapaneseFaces) {
    // Windows faces map to the IPA fonts, family names in Japanese or Latin to their family.
    const std::pair<const char*, const char*> mapped[] = {
        {kMsGothic, "IPAGothic"},       {kMsPGothic, "IPAPGothic"},  {kMsMincho, "IPAMincho"},
        {"MS PMincho", "IPAPMincho"},   {kIpaGothicJa, "IPAGothic"}, {"ipapmincho", "IPAPMincho"}};
    SFontFaceInfo info;
    for (const auto& [name, family] : mapped) {
        ASSERT_TRUE(DescribeFontFace(name, kFontWeightNormal, 0, &info)) << family;
        EXPECT_EQ(info.familyUtf8, family);
        EXPECT_FALSE(info.syntheticBold);
    }
    // A Latin-only family and a name that matches nothing both fall back to a Japanese face.
    for (const char* name : {"DejaVu Sans", "No Such Face At All", ""}) {
        ASSERT_TRUE(DescribeFontFace(name, kFontWeightNormal, 0, &info)) << name;
        EXPECT_EQ(info.familyUtf8.rfind("IPA", 0), 0u) << name << " -> " << info.familyUtf8;
    }
    // A name without its zero inside 32 bytes is cut at 31 bytes, never read further.
    char unterminated[32];
    std::memset(unterminated, 'A', sizeof unterminated);
    EXPECT_TRUE(DescribeFontFace(unterminated, kFontWeightNormal, 0, &info));
}

TEST(Font, StylesWithoutAFaceOfTheirOwnAreSynthesised) {
    SFontFaceInfo info;
    ASSERT_TRUE(DescribeFontFace(kMsGothic, kFontWeightBold, 1, &info));
    EXPECT_TRUE(info.syntheticBold);
    EXPECT_TRUE(info.syntheticItalic);

    SSelectedFont regular(24, kMsGothic);
    SSelectedFont bold(24, kMsGothic, kFontWeightBold);
    SSelectedFont italic(24, kMsGothic, kFontWeightNormal, 1);
    const uint32_t kanji = 0x8ABF;  // 漢
    const SBitmap plain = FetchGlyph(regular.dc, kanji);
    const SBitmap heavy = FetchGlyph(bold.dc, kanji);
    const SBitmap slanted = FetchGlyph(italic.dc, kanji);
    EXPECT_GT(CoverageSum(heavy), CoverageSum(plain) * 11 / 10);
    EXPECT_GT(slanted.metrics.gmBlackBoxX, plain.metrics.gmBlackBoxX);
}

TEST(Font, HeightIsTheCellHeightAndNegativeHeightTheEm) {
    SSelectedFont cell(24, kMsGothic);
    STextMetrics metrics{};
    ASSERT_EQ(GetFontTextMetrics(cell.dc, &metrics), 0);
    // IPAGothic: usWinAscent 1802, usWinDescent 401: ascent round(24 * 1802 / 2203) = 20.
    EXPECT_EQ(metrics.tmHeight, 24);
    EXPECT_EQ(metrics.tmAscent, 20);
    EXPECT_EQ(metrics.tmDescent, 4);

    SSelectedFont em(-24, kMsGothic);
    ASSERT_EQ(GetFontTextMetrics(em.dc, &metrics), 0);
    EXPECT_EQ(metrics.tmHeight, 26);  // round(24 * 2203 / 2048)
    // A full-width character advances by the em: 24 * 2048 / 2203 = 22.3 pixels at cell 24.
    EXPECT_EQ(FetchGlyph(cell.dc, 0x82A0).metrics.gmCellIncX, 22);
    EXPECT_EQ(FetchGlyph(em.dc, 0x82A0).metrics.gmCellIncX, 24);

    EXPECT_EQ(CreateFontSjis(kMaxFontHeight + 1, kFontWeightNormal, 0, kMsGothic), nullptr);
    EXPECT_EQ(CreateFontSjis(-kMaxFontHeight - 1, kFontWeightNormal, 0, kMsGothic), nullptr);
}

TEST(Font, GlyphBitmapsUseSixtyFiveLevelsAndPaddedRows) {
    SSelectedFont selected(24, kMsGothic);
    for (uint32_t code : {uint32_t{'A'}, uint32_t{'i'}, 0x82A0u, 0x8ABFu}) {
        const SBitmap bitmap = FetchGlyph(selected.dc, code);
        const uint32_t pitch = (bitmap.metrics.gmBlackBoxX + 3) & ~3u;
        EXPECT_EQ(bitmap.size, pitch * bitmap.metrics.gmBlackBoxY) << code;
        const uint8_t highest = *std::max_element(bitmap.bits.begin(), bitmap.bits.end());
        EXPECT_EQ(highest, 64) << code;
        // The padding bytes of each row stay 0.
        for (uint32_t y = 0; y < bitmap.metrics.gmBlackBoxY; ++y)
            for (uint32_t x = bitmap.metrics.gmBlackBoxX; x < pitch; ++x) EXPECT_EQ(bitmap.bits[y * pitch + x], 0);
    }
    SGlyphMetrics metrics{};
    const uint32_t size = GetGlyphOutlineGray8(selected.dc, 'A', &metrics, 0, nullptr);
    std::vector<uint8_t> small(size - 1);
    EXPECT_EQ(GetGlyphOutlineGray8(selected.dc, 'A', &metrics, size - 1, small.data()), kGlyphOutlineError);
}

TEST(Font, BlanksControlsAndInvalidCodes) {
    SSelectedFont selected(24, kMsGothic);
    EXPECT_EQ(Measure(selected.dc, 0x20, 0).gmBlackBoxX, 1u);
    EXPECT_EQ(Measure(selected.dc, 0x20, 0).gmCellIncX, 11) << "half-width blank";
    EXPECT_EQ(Measure(selected.dc, 0x8140, 0).gmCellIncX, 22) << "full-width blank";
    EXPECT_EQ(Measure(selected.dc, 10, 0).gmCellIncX, 0);
    // A lone lead byte, a lead byte with a byte that cannot trail it, an unassigned code and a
    // value beyond two bytes each give one visible replacement glyph.
    for (uint32_t code : {0x81u, 0x8120u, 0x85A0u, 0x12345u}) {
        const SBitmap glyph = FetchGlyph(selected.dc, code);
        EXPECT_NE(glyph.size, kGlyphOutlineError) << std::hex << code;
        EXPECT_GT(CoverageSum(glyph), 0u) << std::hex << code;
        EXPECT_GT(glyph.metrics.gmCellIncX, 0) << std::hex << code;
    }
    // 0x5C is the backslash in code page 932, not the yen sign.
    const SBitmap backslash = FetchGlyph(selected.dc, 0x5C);
    const SBitmap yen = FetchGlyph(selected.dc, 0x818F);  // ￥
    EXPECT_NE(backslash.bits, yen.bits);
}

TEST(Font, ContextsAndDeletionOrder) {
    EXPECT_EQ(SelectFont(nullptr, nullptr), nullptr);
    CFontDC* dc = GetFontDC(nullptr);
    STextMetrics metrics{};
    EXPECT_EQ(GetFontTextMetrics(dc, &metrics), 0);  // the default font
    EXPECT_EQ(SelectFont(dc, nullptr), nullptr);
    CFont* font = CreateFontSjis(30, kFontWeightNormal, 0, kMsGothic);
    CFont* previous = SelectFont(dc, font);
    ASSERT_NE(previous, nullptr);
    // Deleted while selected: it stays usable until deselected, then goes.
    DeleteFont(font);
    EXPECT_EQ(GetFontTextMetrics(dc, &metrics), 0);
    EXPECT_EQ(metrics.tmHeight, 30);
    CFont* back = SelectFont(dc, previous);
    EXPECT_NE(back, font);
    ReleaseFontDC(nullptr, dc);
}

TEST(Font, FontFilesAreOpenedOncePerSize) {
    auto measure = [](int32_t height) {
        SSelectedFont selected(height, kMsGothic);
        STextMetrics metrics{};
        EXPECT_EQ(GetFontTextMetrics(selected.dc, &metrics), 0);
        FetchGlyph(selected.dc, 0x82A0);
    };
    measure(21);
    const SFontCacheStats before = GetFontCacheStats();
    for (int i = 0; i < 256; ++i) measure(21);
    const SFontCacheStats after = GetFontCacheStats();
    EXPECT_EQ(after.fileOpens, before.fileOpens);
    EXPECT_EQ(after.glyphRenders, before.glyphRenders);
    FlushFontCaches();
    measure(21);
    EXPECT_EQ(GetFontCacheStats().fileOpens, after.fileOpens + 1);
}

// Golden glyphs: the line 吾輩は猫である。Ag in IPAGothic with a 24-pixel cell, checked against
// metrics and coverage sums recorded once from this font layer (FreeType 2.12, light hinting)
// with fonts-ipafont-gothic 00303. They change only when the font package or the rasteriser
// settings change; record them again then, after looking at the glyphs.
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

TEST(Font, GoldenIpaGothicLineAt24Pixels) {
    SSelectedFont selected(24, "IPAGothic");
    ASSERT_NE(selected.font, nullptr);
    for (const SGoldenGlyph& golden : kGolden) {
        const SBitmap bitmap = FetchGlyph(selected.dc, golden.code);
        const SGlyphMetrics& m = bitmap.metrics;
        EXPECT_EQ((std::vector<int64_t>{m.gmBlackBoxX, m.gmBlackBoxY, m.gmptGlyphOrigin.x, m.gmptGlyphOrigin.y,
                                        m.gmCellIncX, int64_t(CoverageSum(bitmap))}),
                  (std::vector<int64_t>{golden.blackBoxX, golden.blackBoxY, golden.originX, golden.originY,
                                        golden.cellIncX, int64_t(golden.coverageSum)}))
            << std::hex << golden.code;
    }
}

TEST(Font, EnumerationListsJapaneseFacesAndInstalledAliases) {
    const std::vector<std::string> faces = EnumJapaneseFontFaces();
    auto has = [&faces](const char* name) { return std::find(faces.begin(), faces.end(), name) != faces.end(); };
    EXPECT_TRUE(has(kMsGothic));
    EXPECT_TRUE(has(kMsPGothic));
    EXPECT_TRUE(has(kMsMincho));
    EXPECT_TRUE(has(kIpaGothicJa));
    EXPECT_FALSE(has("DejaVu Sans"));
    EXPECT_TRUE(std::is_sorted(faces.begin(), faces.end()));
    EXPECT_EQ(std::adjacent_find(faces.begin(), faces.end()), faces.end());
    for (const std::string& face : faces) {
        EXPECT_NE(face[0], '@');
        EXPECT_LT(face.size(), 32u);
    }
}

}  // namespace
