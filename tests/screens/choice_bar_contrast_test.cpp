// The sample game's choice bars read clearly with the colours the adventure gives their text:
// measured on the generated bar picture's pixels under the text, laid out as the adventure's
// engine parameters place the text in a bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/engine_params.h"
#include "files/pack_archive.h"
#include "screens/adventure.h"

namespace {

const std::string kSampleImageArchive = std::string(TEST_BINARY_DIR) + "/game/Image.pac";

// WCAG 2 relative luminance of an 8-bit sRGB colour (the alpha byte is ignored).
double RelativeLuminance(uint32_t rgb) {
    const auto linear = [](uint32_t channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(rgb >> 16 & 0xFF) + 0.7152 * linear(rgb >> 8 & 0xFF) + 0.0722 * linear(rgb & 0xFF);
}

double ContrastRatio(uint32_t a, uint32_t b) {
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A pixel drawn with source-alpha blending over an opaque backdrop, as sprites are drawn.
uint32_t Over(uint32_t pixel, uint32_t backdrop) {
    const uint32_t alpha = pixel >> 24;
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t s = pixel >> shift & 0xFF, d = backdrop >> shift & 0xFF;
        out |= ((s * alpha + d * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

struct SPicture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A TEYL picture of the archive: "TEYL", width, height, then the ARGB pixels row by row.
bool ReadTeylEntry(const std::string& archivePath, const char* name, SPicture* picture) {
    CPackArchive archive;
    CPackEntryHandle handle;
    if (archive.Open(archivePath.c_str()) != 0 || archive.OpenEntry(&handle, name) != 0) return false;
    std::string bytes;
    char buffer[65536];
    for (int32_t n; (n = archive.Read(&handle, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    handle.Close();
    if (bytes.size() < 12 || bytes.compare(0, 4, "TEYL") != 0) return false;
    std::memcpy(&picture->width, bytes.data() + 4, 4);
    std::memcpy(&picture->height, bytes.data() + 8, 4);
    const size_t count = static_cast<size_t>(picture->width) * picture->height;
    if (bytes.size() != 12 + 4 * count) return false;
    picture->pixels.resize(count);
    std::memcpy(picture->pixels.data(), bytes.data() + 12, 4 * count);
    return true;
}

// The rows of a bar that its text's line covers: from the text rectangle's top one line height
// (the font's height + 2) down to the baseline, and the descent below it (under a sixth of the
// height in the sample's face); a choice's line may reach below the text rectangle.
int32_t TextLineBottom(const CChoiceWindowStyle& style) {
    return std::max(style.textRect.bottom, style.textRect.top + style.height + 2 + style.height / 6);
}

// The lowest contrast between the text colour and the bar under the text's line, whatever the
// scene beneath the bar: the bar is measured drawn over black and over white.
double LowestContrastUnderText(const SPicture& picture, const SRect& bar, const CChoiceWindowStyle& style,
                               uint32_t textColour) {
    double lowest = 1e9;
    for (int32_t y = bar.top + style.textRect.top; y < bar.top + TextLineBottom(style); ++y) {
        for (int32_t x = bar.left + style.textRect.left; x < bar.left + style.textRect.right; ++x) {
            for (uint32_t backdrop : {0xFF000000u, 0xFFFFFFFFu}) {
                lowest = std::min(lowest, ContrastRatio(textColour, Over(picture.At(x, y), backdrop)));
            }
        }
    }
    return lowest;
}

}  // namespace

TEST(SampleChoiceBars, TextReadsClearlyOnTheNormalAndTheHighlightedBar) {
    if (!std::filesystem::exists(kSampleImageArchive)) GTEST_SKIP() << "the sample game is not built";
    CEngineParams params = {};
    FillAdventureEngineParams(&params);
    const CChoiceWindowStyle& style = params.choiceWindow;
    SPicture picture;
    ASSERT_TRUE(ReadTeylEntry(kSampleImageArchive, style.picture, &picture)) << style.picture;
    for (const SRect& bar : {style.normalBar, style.highlightedBar}) {
        ASSERT_GE(bar.left + style.textRect.right, 0);
        ASSERT_LE(static_cast<uint32_t>(bar.left + style.textRect.right), picture.width);
        ASSERT_LE(TextLineBottom(style), bar.bottom - bar.top);
        ASSERT_LE(static_cast<uint32_t>(bar.bottom), picture.height);
    }
    EXPECT_NEAR(ContrastRatio(0xFFFFFFFFu, 0xFF000000u), 21.0, 1e-9) << "the measure itself";

    EXPECT_GE(LowestContrastUnderText(picture, style.highlightedBar, style, style.highlightColour), 4.5);
    EXPECT_GE(LowestContrastUnderText(picture, style.normalBar, style, style.textColour), 4.5);
}
