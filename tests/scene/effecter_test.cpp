#include "scene/effecter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/scene/scene_device.h"

namespace {

using scene_test::SceneDevice;

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override { white = scene.MakeTexture(16, 16, [](int, int) { return 0xFFFFFFFFu; }); }
    void TearDown() override { white->Release(); }

    SLayerDrawRecord Record(uint32_t colour) const {
        return SLayerDrawRecord{white, {0, 0}, {100, 100}, {0, 0, 16, 16}, 1.0f, 1.0f, 0.0f, colour, 0, 0};
    }
    // The grey level drawn at the middle of the record over black.
    int Level() const { return static_cast<int>(scene.Pixel(108, 108) & 0xFF); }

    SceneDevice scene;
    CTexture* white = nullptr;
};

TEST_F(EffectTest, FadeInReachesTheLayersAlpha) {
    CFade fade;
    EXPECT_EQ(fade.GetType(), EffectType::Fade);
    EXPECT_EQ(fade.GetEndState(), EffectEndState::Shown);
    const SLayerDrawRecord record = Record(0x80FFFFFFu);
    EXPECT_EQ(fade.Apply(scene.device, 500, record), EffectResult::Running);
    EXPECT_NEAR(Level(), 0x40, 1);
    scene.Clear(0);
    EXPECT_EQ(fade.Apply(scene.device, 1000, record), EffectResult::Ended);
    EXPECT_NEAR(Level(), 0x80, 1);
    scene.Clear(0);
    EXPECT_EQ(fade.Apply(scene.device, 4000, record), EffectResult::Ended);
    EXPECT_NEAR(Level(), 0x80, 1);
    EXPECT_EQ(scene.Pixel(99, 99), 0u);  // nothing outside the picture
}

TEST_F(EffectTest, FadeOutFirstAndLastFrames) {
    CFade fade;
    const uint32_t params[] = {1, 400};
    EXPECT_EQ(fade.SetParams(params, 2), 1);
    EXPECT_EQ(fade.GetEndState(), EffectEndState::Hidden);
    const SLayerDrawRecord record = Record(0xFFFFFFFFu);
    EXPECT_EQ(fade.Apply(scene.device, 0, record), EffectResult::Running);
    EXPECT_EQ(Level(), 0xFF);
    scene.Clear(0);
    EXPECT_EQ(fade.Apply(scene.device, 100, record), EffectResult::Running);
    EXPECT_NEAR(Level(), 191, 1);  // trunc(255 × 0.75)
    scene.Clear(0);
    EXPECT_EQ(fade.Apply(scene.device, 400, record), EffectResult::Ended);
    EXPECT_EQ(scene.CountOtherThan(0), 0);
}

TEST_F(EffectTest, ZeroOrNegativeDurationsEndAtOnce) {
    for (int32_t duration : {0, -5}) {
        CFade in;
        in.duration = duration;
        scene.Clear(0);
        EXPECT_EQ(in.Apply(scene.device, 0, Record(0xFFFFFFFFu)), EffectResult::Ended);
        EXPECT_EQ(Level(), 0xFF);
        CFade out;
        out.direction = 7;
        out.duration = duration;
        scene.Clear(0);
        EXPECT_EQ(out.Apply(scene.device, 0, Record(0xFFFFFFFFu)), EffectResult::Ended);
        EXPECT_EQ(scene.CountOtherThan(0), 0);
    }
}

TEST_F(EffectTest, CutsShowOrHideAtOnce) {
    CCut in;
    EXPECT_EQ(in.GetType(), EffectType::Cut);
    EXPECT_EQ(in.GetEndState(), EffectEndState::Shown);
    EXPECT_EQ(in.Apply(scene.device, 0, Record(0xFFFFFFFFu)), EffectResult::Ended);
    EXPECT_EQ(Level(), 0xFF);
    scene.Clear(0);
    CCut out;
    const uint32_t hide = 2;
    out.SetParams(&hide, 1);
    EXPECT_EQ(out.GetEndState(), EffectEndState::Hidden);
    EXPECT_EQ(out.Apply(scene.device, 0, Record(0xFFFFFFFFu)), EffectResult::Ended);
    EXPECT_EQ(scene.CountOtherThan(0), 0);
}

TEST_F(EffectTest, BlendModesAndFiltersAreSetAroundTheDrawOnly) {
    static const uint32_t kPairs[7][2] = {
        {Blend::SrcAlpha, Blend::InvSrcAlpha}, {Blend::SrcAlpha, Blend::One},   {Blend::DestColor, Blend::Zero},
        {Blend::InvDestColor, Blend::InvSrcColor}, {Blend::One, Blend::InvSrcColor}, {Blend::Zero, Blend::InvSrcColor},
        {Blend::DestColor, Blend::One}};
    for (uint32_t mode = 0; mode < 7; ++mode) {
        uint32_t src = 0, dest = 0;
        scene.device->SetRenderState(RenderState::SrcBlend, 77);
        scene.device->SetRenderState(RenderState::DestBlend, 78);
        SetLayerBlendMode(scene.device, mode, &src, &dest);
        EXPECT_EQ(src, 77u);
        EXPECT_EQ(dest, 78u);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::SrcBlend), kPairs[mode][0]) << mode;
        EXPECT_EQ(scene.device->GetRenderState(RenderState::DestBlend), kPairs[mode][1]) << mode;
    }

    uint32_t minFilter = 0, magFilter = 0;
    scene.device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    SetTextureFilter(scene.device, 2, &minFilter, &magFilter);
    EXPECT_EQ(minFilter, TexFilter::Linear);
    EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MinFilter), TexFilter::Point);
    EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MagFilter), TexFilter::Point);
    SetTextureFilter(scene.device, 1, &minFilter, &magFilter);
    EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MinFilter), TexFilter::Linear);
    EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MagFilter), TexFilter::Linear);

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
    EXPECT_EQ(scene.device->GetRenderState(RenderState::SrcBlend), Blend::One);
    EXPECT_EQ(scene.device->GetRenderState(RenderState::DestBlend), Blend::Zero);
    EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MinFilter), TexFilter::Point);
    EXPECT_EQ(scene.device->GetSamplerState(0, Sampler::MagFilter), TexFilter::Point);

    scene.Clear(0x400000);
    record.blendMode = 1;
    record.colour = 0xFFFFFFFFu;
    cut.Apply(scene.device, 0, record);
    EXPECT_EQ(scene.Pixel(108, 108), 0xFFFFFFu);
    EXPECT_EQ(scene.device->GetRenderState(RenderState::SrcBlend), Blend::One);
    EXPECT_EQ(scene.device->GetRenderState(RenderState::DestBlend), Blend::Zero);
}

TEST_F(EffectTest, CopyToReusesTheSameClassAndReplacesAnother) {
    IEffecter9* target = nullptr;
    CFade fade;
    fade.direction = 1;
    fade.duration = 250;
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
    const float nan = std::nanf("");
    SLayerDrawRecord bad[] = {Record(0xFFFFFFFFu), Record(0xFFFFFFFFu), Record(0xFFFFFFFFu), Record(0xFFFFFFFFu),
                              Record(0xFFFFFFFFu), Record(0xFFFFFFFFu)};
    bad[0].scaleX = nan;
    bad[1].angle = INFINITY;
    bad[2].source = SRect{INT32_MIN, 0, INT32_MAX, 16};
    bad[3].offset = SPoint{INT32_MAX, 0};
    bad[4].texture = nullptr;
    bad[5].scaleY = -INFINITY;
    CCut cut;
    for (const SLayerDrawRecord& record : bad) {
        scene.Clear(0);
        EXPECT_EQ(cut.Apply(scene.device, 0, record), EffectResult::Ended);
        EXPECT_EQ(scene.CountOtherThan(0), 0);
    }
    // Huge but finite values are left to the rasteriser's clipping.
    SLayerDrawRecord huge = Record(0xFFFFFFFFu);
    huge.scaleX = 1e30f;
    huge.scaleY = -1e30f;
    huge.source = SRect{-100000, -100000, 100000, 100000};
    cut.Apply(scene.device, 0, huge);
}

}  // namespace
