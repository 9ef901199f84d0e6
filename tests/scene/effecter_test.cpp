#include "scene/effecter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "tests/scene/scene_test_util.h"

namespace {

using scene_test::SceneDevice;

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override { white = scene.MakeTexture(16, 16, [](int, int) { return 0xFFFFFFFFu; }); }
    void TearDown() override { white->Release(); }

    SLayerDrawRecord Record(uint32_t colour) const {
        return SLayerDrawRecord{white, {0, 0}, {100, 100}, {0, 0, 16, 16}, 1.0f, 1.0f, 0.0f, colour, 0, 0};
    }
    // Draws one frame over black and checks the result and the grey level drawn inside the
    // picture, and nothing outside it (level 0: nothing drawn at all).
    void ExpectFrame(IEffecter9& effect, int32_t elapsed, uint32_t colour, int32_t result, int level,
                     int tolerance = 0) {
        SCOPED_TRACE(elapsed);
        scene.Clear(0);
        EXPECT_EQ(effect.Apply(scene.device, elapsed, Record(colour)), result);
        if (level == 0) {
            EXPECT_EQ(scene.CountLit(), 0);
        } else {
            EXPECT_NEAR(static_cast<int>(scene.Pixel(108, 108) & 0xFF), level, tolerance);
            EXPECT_EQ(scene.Pixel(99, 99), 0u);
        }
    }
    void ExpectStates(uint32_t src, uint32_t dest, uint32_t minFilter, uint32_t magFilter) {
        EXPECT_EQ(scene.device->GetRenderState(RenderState::SrcBlend), src);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::DestBlend), dest);
        EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MinFilter), minFilter);
        EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MagFilter), magFilter);
    }

    SceneDevice scene;
    CTexture* white = nullptr;
};

using namespace EffectResult;

TEST_F(EffectTest, FadesAndCutsFrameByFrame) {
    CFade fadeIn;
    EXPECT_EQ(fadeIn.GetEndState(), EffectEndState::Shown);
    ExpectFrame(fadeIn, 500, 0x80FFFFFFu, Running, 0x40, 1);  // up to the layer's own alpha
    ExpectFrame(fadeIn, 1000, 0x80FFFFFFu, Ended, 0x80, 1);
    ExpectFrame(fadeIn, 4000, 0x80FFFFFFu, Ended, 0x80, 1);

    CFade fadeOut;
    const uint32_t params[] = {1, 400};
    EXPECT_EQ(fadeOut.SetParams(params, 2), 1);
    EXPECT_EQ(fadeOut.GetEndState(), EffectEndState::Hidden);
    ExpectFrame(fadeOut, 0, 0xFFFFFFFFu, Running, 0xFF);
    ExpectFrame(fadeOut, 100, 0xFFFFFFFFu, Running, 191, 1);  // trunc(255 × 0.75)
    ExpectFrame(fadeOut, 400, 0xFFFFFFFFu, Ended, 0);

    // Zero or negative durations end at once.
    for (int32_t duration : {0, -5}) {
        SCOPED_TRACE(duration);
        CFade in, out;
        in.duration = out.duration = duration;
        out.direction = 7;
        ExpectFrame(in, 0, 0xFFFFFFFFu, Ended, 0xFF);
        ExpectFrame(out, 0, 0xFFFFFFFFu, Ended, 0);
    }

    CCut cutIn, cutOut;
    const uint32_t hide = 2;
    cutOut.SetParams(&hide, 1);
    EXPECT_EQ(cutIn.GetEndState(), EffectEndState::Shown);
    EXPECT_EQ(cutOut.GetEndState(), EffectEndState::Hidden);
    ExpectFrame(cutIn, 0, 0xFFFFFFFFu, Ended, 0xFF);
    ExpectFrame(cutOut, 0, 0xFFFFFFFFu, Ended, 0);
}

TEST_F(EffectTest, BlendModesAndFiltersAreSetAroundTheDrawOnly) {
    static const uint32_t kPairs[7][2] = {
        {Blend::SrcAlpha, Blend::InvSrcAlpha}, {Blend::SrcAlpha, Blend::One},   {Blend::DestColor, Blend::Zero},
        {Blend::InvDestColor, Blend::InvSrcColor}, {Blend::One, Blend::InvSrcColor}, {Blend::Zero, Blend::InvSrcColor},
        {Blend::DestColor, Blend::One}};
    for (uint32_t mode = 0; mode < 7; ++mode) {
        SCOPED_TRACE(mode);
        uint32_t src = 0, dest = 0;
        scene.device->SetRenderState(RenderState::SrcBlend, 77);
        scene.device->SetRenderState(RenderState::DestBlend, 78);
        SetLayerBlendMode(scene.device, mode, &src, &dest);
        EXPECT_EQ(src, 77u);
        EXPECT_EQ(dest, 78u);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::SrcBlend), kPairs[mode][0]);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::DestBlend), kPairs[mode][1]);
    }

    uint32_t minFilter = 0, magFilter = 0;
    scene.device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    SetTextureFilter(scene.device, 2, &minFilter, &magFilter);
    EXPECT_EQ(minFilter, TexFilter::Linear);
    ExpectStates(kPairs[6][0], kPairs[6][1], TexFilter::Point, TexFilter::Point);
    SetTextureFilter(scene.device, 1, &minFilter, &magFilter);
    ExpectStates(kPairs[6][0], kPairs[6][1], TexFilter::Linear, TexFilter::Linear);

    // Mode 7 draws with the device's own blend (here: replace) and leaves every state as it
    // found it; mode 1 (additive) and linear filtering are undone after the draw.
    scene.device->SetRenderState(RenderState::SrcBlend, Blend::One);
    scene.device->SetRenderState(RenderState::DestBlend, Blend::Zero);
    scene.device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Point);
    scene.device->SetSamplerState(0, Sampler::MagFilter, TexFilter::Point);
    scene.Clear(0xFF0000);
    SLayerDrawRecord record = Record(0x80FFFFFFu);
    record.blendMode = 7;
    record.filter = 1;
    CCut cut;
    cut.Apply(scene.device, 0, record);
    EXPECT_EQ(scene.Pixel(108, 108), 0xFFFFFFu);  // white replaced the red, unblended
    ExpectStates(Blend::One, Blend::Zero, TexFilter::Point, TexFilter::Point);

    scene.Clear(0x400000);
    record.blendMode = 1;
    record.colour = 0xFFFFFFFFu;
    cut.Apply(scene.device, 0, record);
    EXPECT_EQ(scene.Pixel(108, 108), 0xFFFFFFu);
    ExpectStates(Blend::One, Blend::Zero, TexFilter::Point, TexFilter::Point);
}

// A picture whose colour is already weighted by its alpha (the model target): the normal mode
// adds it over what lies beneath, the layer's alpha (a fade) weighs colour and coverage alike,
// the multiply keeps what the picture does not cover, and the additive mode adds the colour.
TEST_F(EffectTest, PremultipliedPicturesCountTheirAlphaOnce) {
    // Left half: colour (96, 48, 0) at coverage 128; right half: nothing but added light of
    // (0, 0, 16), which no alpha test may drop.
    CTexture* picture = scene.MakeTexture(16, 16, [](int x, int) { return x < 8 ? 0x80603000u : 0x00000010u; });
    scene.device->SetRenderState(RenderState::AlphaTestEnable, 1);
    scene.device->SetRenderState(RenderState::AlphaFunc, Cmp::Greater);
    scene.device->SetRenderState(RenderState::AlphaRef, 0);
    constexpr uint32_t kBeneath = 0x204060;
    SLayerDrawRecord record = Record(0xFFFFFFFFu);
    record.texture = picture;
    record.premultiplied = true;
    const auto channel = [](uint32_t rgb, int c) { return static_cast<float>(rgb >> (16 - 8 * c) & 0xFF); };
    // Draws with the layer alpha f (0-1) in `mode` and checks both halves against blend(s, d),
    // which gets the picture's weighted colour s, its coverage a and the pixel beneath d (0-255).
    const auto expectDraw = [&](uint32_t mode, float f, const std::function<float(float, float, float)>& blend) {
        SCOPED_TRACE(mode);
        scene.Clear(kBeneath);
        record.blendMode = mode;
        CCut().Apply(scene.device, 0, record);
        for (int c = 0; c < 3; ++c) {
            const float d = channel(kBeneath, c);
            EXPECT_NEAR(channel(scene.Pixel(103, 108), c), blend(channel(0x603000, c) * f, 128 * f, d), 1.0f) << c;
            EXPECT_NEAR(channel(scene.Pixel(112, 108), c), blend(channel(0x000010, c) * f, 0, d), 1.0f) << c;
        }
    };
    const auto over = [](float s, float a, float d) { return s + d * (1 - a / 255); };
    expectDraw(0, 1.0f, over);
    record.colour = 0x80FFFFFFu;
    expectDraw(0, 128 / 255.0f, over);
    expectDraw(2, 128 / 255.0f, [](float s, float a, float d) { return d * s / 255 + d * (1 - a / 255); });
    expectDraw(1, 128 / 255.0f, [](float s, float, float d) { return std::min(d + s, 255.0f); });
    // Without the flag the same picture is weighed by its alpha a second time.
    record.premultiplied = false;
    record.colour = 0xFFFFFFFFu;
    scene.Clear(kBeneath);
    record.blendMode = 0;
    CCut().Apply(scene.device, 0, record);
    EXPECT_NEAR(channel(scene.Pixel(103, 108), 0), 96 * 128 / 255.0f + 0x20 * 127 / 255.0f, 1.0f);
    EXPECT_EQ(scene.Pixel(112, 108), kBeneath) << "dropped by the alpha test";
    EXPECT_EQ(scene.device->GetRenderState(RenderState::AlphaTestEnable), 1u);
    picture->Release();
}

TEST_F(EffectTest, CopyToReusesTheSameClassAndReplacesAnother) {
    IEffecter9* target = nullptr;
    CFade fade;
    fade.direction = 1;
    ASSERT_EQ(fade.CopyTo(&target), 1);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->GetType(), EffectType::Fade);
    IEffecter9* first = target;

    CFade other;
    other.duration = 800;
    ASSERT_EQ(other.CopyTo(&target), 1);
    EXPECT_EQ(target, first);  // reused
    uint32_t params[IEffecter9::kMaxParams];
    target->GetParams(params);
    EXPECT_EQ(params[0], 0u);
    EXPECT_EQ(params[1], 800u);

    CCut cut;
    cut.in = 0;
    ASSERT_EQ(cut.CopyTo(&target), 1);
    EXPECT_EQ(target->GetType(), EffectType::Cut);
    EXPECT_EQ(target->GetEndState(), EffectEndState::Hidden);
    delete target;
}

TEST_F(EffectTest, PlacementsThatCannotBeDrawnDrawNothing) {
    const std::function<void(SLayerDrawRecord&)> damages[] = {
        [](SLayerDrawRecord& r) { r.scaleX = std::nanf(""); },
        [](SLayerDrawRecord& r) { r.scaleY = -INFINITY; },
        [](SLayerDrawRecord& r) { r.angle = INFINITY; },
        [](SLayerDrawRecord& r) { r.source = SRect{INT32_MIN, 0, INT32_MAX, 16}; },
        [](SLayerDrawRecord& r) { r.offset = SPoint{INT32_MAX, 0}; },
        [](SLayerDrawRecord& r) { r.texture = nullptr; },
    };
    CCut cut;
    for (const auto& damage : damages) {
        SLayerDrawRecord record = Record(0xFFFFFFFFu);
        damage(record);
        scene.Clear(0);
        EXPECT_EQ(cut.Apply(scene.device, 0, record), Ended);
        EXPECT_EQ(scene.CountLit(), 0);
    }
    // Huge but finite values are left to the rasteriser's clipping.
    SLayerDrawRecord huge = Record(0xFFFFFFFFu);
    huge.scaleX = 1e30f;
    huge.scaleY = -1e30f;
    huge.source = SRect{-100000, -100000, 100000, 100000};
    EXPECT_EQ(cut.Apply(scene.device, 0, huge), Ended);
}

}  // namespace
