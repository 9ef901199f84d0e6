#include "text/text_reveal.h"

#include <gtest/gtest.h>

#include <vector>

#include "text_test_device.h"

namespace {

constexpr int32_t kSize = 8;        // glyph bitmap side
constexpr int32_t kAdvance = 10;
constexpr int32_t kLineHeight = 12;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

using EffectFn = int32_t (*)(CGraphicsDevice*, const CGlyph*, int32_t, const SRect&, int32_t, uint32_t, uint32_t,
                             int32_t, uint32_t);

int32_t Swell(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect, int32_t gap,
              uint32_t elapsed, uint32_t ms, int32_t overrideFlag, uint32_t overrideColour) {
    return DrawGlyphRunSwell(device, glyphs, count, rect, gap, elapsed, ms, overrideFlag, overrideColour, 0.5f);
}

const EffectFn kEffects[] = {DrawGlyphRunTyped,   DrawGlyphRunFade,      DrawGlyphRunZoom, DrawGlyphRunSlideUp,
                             DrawGlyphRunSlideDown, DrawGlyphRunHop, Swell};

class TextRevealTest : public TextDeviceTest {
protected:
    void TearDown() override {
        glyphs_.clear();  // their textures go before the device
        TextDeviceTest::TearDown();
    }
    // count solid glyphs, advance 10, line height 12: with the rectangle (100, 100, 160, 200)
    // five glyphs fit a line (the sixth would bring the pen to the right edge).
    void MakeRun(int32_t count, uint32_t colour = kWhite) {
        glyphs_ = std::vector<CGlyph>(count);
        for (CGlyph& glyph : glyphs_) MakeSolidGlyph(&glyph, kSize, kAdvance, kLineHeight, colour);
    }
    void MakeNewline(int32_t index) {
        glyphs_[index].Release();
        glyphs_[index].character = 10;
    }
    // The colour at the centre of a glyph drawn at the pen on the baseline.
    uint32_t GlyphAt(int32_t penX, int32_t baseline) const { return Pixel(penX + kSize / 2, baseline - kSize / 2); }
    int32_t Run(EffectFn effect, uint32_t elapsed, uint32_t ms = 50, int32_t overrideFlag = 0,
                uint32_t overrideColour = 0) {
        ClearScreen();
        return effect(device_, glyphs_.data(), static_cast<int32_t>(glyphs_.size()), rect_, 3, elapsed, ms,
                      overrideFlag, overrideColour);
    }

    std::vector<CGlyph> glyphs_;
    SRect rect_{100, 100, 160, 200};
};

TEST_F(TextRevealTest, FindLineEndBreaksBeforeTheRightEdgeAndAfterANewline) {
    MakeRun(8);
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 0, 8, rect_), 5);
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 5, 8, rect_), 8);
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 0, 8, SRect{100, 100, 161, 200}), 6);
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 0, 3, rect_), 3);
    MakeNewline(2);
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 0, 8, rect_), 3);
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 3, 8, rect_), 8);
    glyphs_[4].advance = 100;  // wider than the whole rectangle
    EXPECT_EQ(FindLineEnd(glyphs_.data(), 4, 8, rect_), 4);
}

TEST_F(TextRevealTest, RunsStackLinesByHeightAndGapAndStopAtTheBottom) {
    MakeRun(12);
    ASSERT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, rect_, 1, 3, 0, 0), 1);
    // Baselines 112, 127, 142.
    EXPECT_EQ(GlyphAt(100, 112), 0xFFFFFFu);
    EXPECT_EQ(GlyphAt(140, 112), 0xFFFFFFu);
    EXPECT_EQ(GlyphAt(150, 112), 0u);
    EXPECT_EQ(GlyphAt(120, 127), 0xFFFFFFu);
    EXPECT_EQ(GlyphAt(110, 142), 0xFFFFFFu);
    EXPECT_EQ(GlyphAt(120, 142), 0u);
    // Exactly the bitmap's pixels: 8 x 8 per glyph.
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 12 * kSize * kSize);

    // A line whose baseline falls below the bottom is not drawn, nor anything after it.
    ClearScreen();
    ASSERT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, SRect{100, 100, 160, 141}, 1, 3, 0, 0), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 10 * kSize * kSize);

    // Without all lines a line broken at the edge ends the run, a newline does not.
    ClearScreen();
    ASSERT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, rect_, 0, 3, 0, 0), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 5 * kSize * kSize);
    MakeNewline(2);
    ClearScreen();
    ASSERT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, rect_, 0, 3, 0, 0), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), (2 + 5) * kSize * kSize);
    EXPECT_EQ(GlyphAt(100, 127), 0xFFFFFFu);  // glyph 3 starts the second line

    // A rectangle lower than the line height (a choice bar's text rectangle): a one-line run
    // still draws its first line at top + line height, but nothing after its newline; a run of
    // all lines draws nothing.
    const SRect low{100, 100, 160, 106};
    ClearScreen();
    ASSERT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, low, 0, 3, 0, 0), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 2 * kSize * kSize);
    EXPECT_EQ(GlyphAt(110, 112), 0xFFFFFFu);
    ClearScreen();
    ASSERT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, low, 1, 3, 0, 0), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 0);
}

TEST_F(TextRevealTest, FadeAndTypewriterTimingAtFiftyMillisecondsPerCharacter) {
    MakeRun(20);
    rect_ = {0, 0, 800, 600};
    EXPECT_EQ(Run(DrawGlyphRunFade, 0), 0);
    EXPECT_EQ(GlyphAt(0, 12), 0u);  // glyph 0 at alpha 0
    EXPECT_EQ(Run(DrawGlyphRunFade, 400), 0);
    EXPECT_EQ(GlyphAt(0, 12), 0xFEFEFEu);  // 400 * (255 / 400 as a float) is just below 255
    EXPECT_EQ(Run(DrawGlyphRunFade, 401), 0);
    EXPECT_EQ(GlyphAt(0, 12), 0xFFFFFFu);
    EXPECT_EQ(Run(DrawGlyphRunFade, 149), 0);
    EXPECT_EQ(GlyphAt(20, 12), 0x1F1F1Fu);  // glyph 2 at t 49: alpha 31
    EXPECT_EQ(Run(DrawGlyphRunFade, 1350), 0);
    EXPECT_EQ(GlyphAt(190, 12), 0xFEFEFEu);
    EXPECT_EQ(Run(DrawGlyphRunFade, 1351), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 20 * kSize * kSize);

    EXPECT_EQ(Run(DrawGlyphRunTyped, 949), 0);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 19 * kSize * kSize);
    EXPECT_EQ(GlyphAt(190, 12), 0u);
    EXPECT_EQ(Run(DrawGlyphRunTyped, 950), 1);
    EXPECT_EQ(GlyphAt(190, 12), 0xFFFFFFu);
}

TEST_F(TextRevealTest, EveryEffectShowsAllAtOnceWithoutSpeedOrAfterAHugeElapsedTime) {
    MakeRun(12);
    for (EffectFn effect : kEffects) {
        EXPECT_EQ(Run(effect, 0, 0), 1);
        EXPECT_EQ(LitPixels({0, 0, 800, 600}), 12 * kSize * kSize);
        // The message window's show-everything start lies billions of milliseconds back.
        EXPECT_EQ(Run(effect, 0x80000001u), 1);
        EXPECT_EQ(LitPixels({0, 0, 800, 600}), 12 * kSize * kSize);
        EXPECT_EQ(GlyphAt(100, 112), 0xFFFFFFu);
        EXPECT_EQ(GlyphAt(110, 142), 0xFFFFFFu);
        EXPECT_EQ(Run(effect, 0xFFFFFFFFu, 1), 1);
        EXPECT_EQ(GlyphAt(140, 127), 0xFFFFFFu);
        // Lines below the rectangle are left out and the run still completes.
        rect_.bottom = 130;
        EXPECT_EQ(Run(effect, 0xF0000000u), 1);
        EXPECT_EQ(LitPixels({0, 0, 800, 600}), 10 * kSize * kSize);
        rect_.bottom = 200;
    }
    // A glyph wider than the rectangle ends the run; so do negative and zero counts.
    glyphs_[0].advance = 100;
    EXPECT_EQ(DrawGlyphRun(device_, glyphs_.data(), 12, rect_, 1, 0, 0, 0), 1);
    for (EffectFn effect : kEffects) EXPECT_EQ(Run(effect, 0xF0000000u), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 0);
    glyphs_[0].advance = kAdvance;
    EXPECT_EQ(DrawGlyphRun(device_, glyphs_.data(), -1, rect_, 1, 0, 0, 0), 1);
    EXPECT_EQ(DrawGlyphRunFade(device_, glyphs_.data(), -1, rect_, 0, 1000, 50, 0, 0), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), 0);
    glyphs_.clear();
    for (EffectFn effect : kEffects) EXPECT_EQ(Run(effect, 0), 1);
}

TEST_F(TextRevealTest, FadeKeepsTheGlyphsOwnAlphaAndTakesTheOverrideColour) {
    MakeRun(3, 0x80FFFFFFu);
    EXPECT_EQ(Run(DrawGlyphRunFade, 300), 0);  // glyph 0 at t 300 would be 191: its own 128 instead
    const uint32_t half = GlyphAt(100, 112);
    EXPECT_NEAR(static_cast<int>(half & 0xFF), 128, 1);
    EXPECT_EQ(Run(DrawGlyphRunFade, 0xF0000000u), 1);
    EXPECT_EQ(GlyphAt(120, 112), half);

    MakeRun(3);
    EXPECT_EQ(Run(DrawGlyphRunTyped, 1000, 50, 1, 0xFF0000FFu), 1);
    EXPECT_EQ(GlyphAt(110, 112), 0x0000FFu);
    // During a fade the override colour's alpha is the ceiling.
    EXPECT_EQ(Run(DrawGlyphRunFade, 210, 50, 1, 0x400000FFu), 1);
    EXPECT_NEAR(static_cast<int>(GlyphAt(100, 112) & 0xFF), 0x40, 1);
    EXPECT_EQ(Run(DrawGlyphRunFade, 100, 50, 1, 0xFF0000FFu), 0);
    EXPECT_LT(GlyphAt(100, 112) & 0xFF, 0x50u);  // glyph 0 at t 100: alpha 63
    EXPECT_EQ(GlyphAt(100, 112) & 0xFFFF00, 0u);
}

TEST_F(TextRevealTest, SlidesAndHopsMoveGlyphsByTheLineHeight) {
    MakeRun(1);
    // Slide from below at t 0: the whole line height lower.
    EXPECT_EQ(Run(DrawGlyphRunSlideUp, 0), 0);
    EXPECT_EQ(GlyphAt(100, 112), 0u);
    EXPECT_EQ(GlyphAt(100, 112 + kLineHeight), 0xFFFFFFu);
    EXPECT_EQ(Run(DrawGlyphRunSlideDown, 0), 0);
    EXPECT_EQ(GlyphAt(100, 112 - kLineHeight), 0xFFFFFFu);
    // Half-way (t 200 of 400): 12 - 200 * (12 / 400) = 6 pixels.
    EXPECT_EQ(Run(DrawGlyphRunSlideUp, 200), 0);
    EXPECT_EQ(Pixel(104, 104 + 6), 0xFFFFFFu);
    EXPECT_EQ(Pixel(104, 104 + 5), 0u);
    EXPECT_EQ(Run(DrawGlyphRunSlideUp, 400), 1);
    EXPECT_EQ(GlyphAt(100, 112), 0xFFFFFFu);
    // The hop peaks half-way at the line height above the baseline (sin just below 1: 11).
    EXPECT_EQ(Run(DrawGlyphRunHop, 200), 0);
    EXPECT_EQ(Pixel(104, 104 - 11), 0xFFFFFFu);
    EXPECT_EQ(Pixel(104, 104 - 12), 0u);
    EXPECT_EQ(Run(DrawGlyphRunHop, 400), 1);
    EXPECT_EQ(GlyphAt(100, 112), 0xFFFFFFu);
}

TEST_F(TextRevealTest, ZoomAndSwellScaleAboutTheCentreAndRestoreTheFilter) {
    MakeRun(1);
    device_->SetSamplerState(0, Sampler::MinFilter, TexFilter::None);
    EXPECT_EQ(Run(DrawGlyphRunZoom, 200), 0);  // half size
    const int32_t halfSize = LitPixels({0, 0, 800, 600});
    EXPECT_GT(halfSize, 9);
    EXPECT_LT(halfSize, 25);
    EXPECT_EQ(GlyphAt(100, 112), 0xFFFFFFu);  // the centre stays
    EXPECT_EQ(device_->GetSamplerState(0, Sampler::MinFilter), TexFilter::None);
    // 400 * (1 / 400 as a float) stays just below 1: the glyph rests from 401 ms on.
    EXPECT_EQ(Run(DrawGlyphRunZoom, 400), 0);
    EXPECT_EQ(Run(DrawGlyphRunZoom, 401), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), kSize * kSize);

    EXPECT_EQ(Run(Swell, 200), 0);  // 1.5 times
    const int32_t swollen = LitPixels({0, 0, 800, 600});
    EXPECT_GT(swollen, 120);
    EXPECT_LT(swollen, 170);
    EXPECT_EQ(Run(Swell, 401), 1);
    EXPECT_EQ(LitPixels({0, 0, 800, 600}), kSize * kSize);
    EXPECT_EQ(device_->GetSamplerState(0, Sampler::MinFilter), TexFilter::None);
}

}  // namespace
