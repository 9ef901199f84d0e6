// The pixel pipeline of the device against values worked out by hand from the definitions:
// blend factors and operations, texture stage operations, filters, alpha and depth tests,
// clipping, the fill rule, culling, viewports, render targets and StretchRect.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "platform/graphics.h"
#include "platform/raster.h"
#include "tests/support/graphics_support.h"

namespace {

struct SColourVertex {
    float x, y, z, rhw;
    uint32_t colour;
};

struct STexVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

uint32_t Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }

uint32_t RoundDiv255(uint32_t x) { return static_cast<uint32_t>(std::lround(x / 255.0)); }

// Applies f to each of the four channels of a and b.
template <typename F>
uint32_t PerChannel(uint32_t a, uint32_t b, F f) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) out |= f(Channel(a, c), Channel(b, c)) << (8 * c);
    return out;
}

uint32_t Lerp(uint32_t a, uint32_t b, uint32_t w) {
    return PerChannel(a, b, [w](uint32_t x, uint32_t y) { return (x * (256 - w) + y * w + 128) >> 8; });
}

// Runs every test once per rasteriser path, so that exact values hold for each of them.
class PipelineTest : public ::testing::TestWithParam<raster::Path> {
protected:
    void SetUp() override {
        if (GetParam() == raster::Path::Avx2 && !raster::CpuHasAvx2()) GTEST_SKIP() << "no AVX2";
        raster::SelectPath(GetParam());
        device_ = MakeTestDevice(64, 48);
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->CreateTexture(64, 48, 0, Usage::RenderTarget, Format::A8R8G8B8, Pool::Default, &target_), 0);
        ASSERT_EQ(target_->GetSurfaceLevel(0, &surface_), 0);
        ASSERT_EQ(device_->SetRenderTarget(surface_), 0);
        device_->SetRenderState(RenderState::ZEnable, 0);
        device_->SetRenderState(RenderState::AlphaTestEnable, 0);
        device_->SetRenderState(RenderState::AlphaBlendEnable, 0);
        device_->BeginScene();
    }
    void TearDown() override {
        raster::SelectPath(raster::Path::Auto);
        if (!device_) return;
        device_->EndScene();
        CSurface* back = nullptr;
        device_->GetBackBuffer(&back);
        device_->SetRenderTarget(back);
        back->Release();
        device_->SetTexture(0, nullptr);
        surface_->Release();
        target_->Release();
        device_->Release();
    }

    void Fill(uint32_t colour) { device_->Clear(0, nullptr, ClearFlag::Target, colour, 1.0f, 0); }
    uint32_t At(int x, int y) { return SurfacePixel(surface_, x, y); }
    std::vector<uint32_t> Pixels(int width = 64, int height = 48) {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels.push_back(At(x, y));
        return pixels;
    }
    void Additive() {
        device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
        device_->SetRenderState(RenderState::SrcBlend, Blend::One);
        device_->SetRenderState(RenderState::DestBlend, Blend::One);
    }

    void Draw(Primitive type, uint32_t count, const SColourVertex* vertices) {
        device_->SetFVF(Fvf::XyzRhw | Fvf::Diffuse);
        device_->DrawPrimitiveUP(type, count, vertices, sizeof(SColourVertex));
    }
    void Rect(float l, float t, float r, float b, uint32_t colour, float z = 0.0f) {
        const SColourVertex q[4] = {{l, t, z, 1, colour}, {r, t, z, 1, colour}, {r, b, z, 1, colour}, {l, b, z, 1, colour}};
        Draw(Primitive::TriangleFan, 2, q);
    }
    void TexturedRect(float l, float t, float r, float b, uint32_t colour, float u0, float v0, float u1, float v1) {
        const STexVertex q[4] = {{l, t, 0, 1, colour, u0, v0},
                                 {r, t, 0, 1, colour, u1, v0},
                                 {r, b, 0, 1, colour, u1, v1},
                                 {l, b, 0, 1, colour, u0, v1}};
        device_->SetFVF(Fvf::XyzRhw | Fvf::Diffuse | Fvf::Tex1);
        ASSERT_EQ(device_->DrawPrimitiveUP(Primitive::TriangleFan, 2, q, sizeof(STexVertex)), 0);
    }
    // Binds a texture that the device releases with the fixture.
    void BindTexture(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t, uint32_t)>& texel) {
        CTexture* texture = MakeTestTexture(device_, width, height, texel);
        device_->SetTexture(0, texture);
        texture->Release();
    }

    CGraphicsDevice* device_ = nullptr;
    CTexture* target_ = nullptr;
    CSurface* surface_ = nullptr;
};

uint32_t FactorOf(uint32_t factor, uint32_t s, uint32_t sa, uint32_t d, uint32_t da) {
    switch (factor) {
        case Blend::Zero: return 0;
        case Blend::One: return 255;
        case Blend::SrcColor: return s;
        case Blend::InvSrcColor: return 255 - s;
        case Blend::SrcAlpha: return sa;
        case Blend::InvSrcAlpha: return 255 - sa;
        case Blend::DestAlpha: return da;
        case Blend::InvDestAlpha: return 255 - da;
        case Blend::DestColor: return d;
        default: return 255 - d;
    }
}

TEST_P(PipelineTest, EveryBlendFactorPairGivesTheRoundedExactSum) {
    const uint32_t src = 0x9C30C0F0u, dst = 0x5AE01080u;
    device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    for (uint32_t fs = Blend::Zero; fs <= Blend::InvDestColor; ++fs) {
        for (uint32_t fd = Blend::Zero; fd <= Blend::InvDestColor; ++fd) {
            Fill(dst);
            device_->SetRenderState(RenderState::SrcBlend, fs);
            device_->SetRenderState(RenderState::DestBlend, fd);
            Rect(0, 0, 4, 4, src);
            const uint32_t expected = PerChannel(src, dst, [&](uint32_t s, uint32_t d) {
                return std::min(255u, RoundDiv255(s * FactorOf(fs, s, src >> 24, d, dst >> 24) +
                                                  d * FactorOf(fd, s, src >> 24, d, dst >> 24)));
            });
            ASSERT_EQ(At(1, 1), expected) << "factors " << fs << ", " << fd;
        }
    }
}

TEST_P(PipelineTest, BlendOperationsSubtractClampAndMinMaxIgnoreFactors) {
    const uint32_t src = 0x80C04020u, dst = 0x40608090u;
    device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    device_->SetRenderState(RenderState::SrcBlend, Blend::One);
    device_->SetRenderState(RenderState::DestBlend, Blend::SrcAlpha);
    const auto expect = [&](uint32_t op, auto combine) {
        Fill(dst);
        device_->SetRenderState(RenderState::BlendOp, op);
        Rect(0, 0, 2, 2, src);
        EXPECT_EQ(At(0, 0), PerChannel(src, dst, combine)) << "op " << op;
    };
    const auto difference = [](int64_t x) { return x <= 0 ? 0u : RoundDiv255(static_cast<uint32_t>(x)); };
    expect(BlendOp::Subtract, [&](uint32_t s, uint32_t d) { return difference(s * 255 - int64_t{d} * (src >> 24)); });
    expect(BlendOp::RevSubtract, [&](uint32_t s, uint32_t d) { return difference(int64_t{d} * (src >> 24) - s * 255); });
    expect(BlendOp::Min, [](uint32_t s, uint32_t d) { return std::min(s, d); });
    expect(BlendOp::Max, [](uint32_t s, uint32_t d) { return std::max(s, d); });
}

TEST_P(PipelineTest, SeparateAlphaKeepsTheLargerAlphaWithMax) {
    device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    device_->SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    device_->SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    device_->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
    device_->SetRenderState(RenderState::SrcBlendAlpha, Blend::One);
    device_->SetRenderState(RenderState::DestBlendAlpha, Blend::One);
    device_->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
    Fill(0xA0000000u);
    Rect(0, 0, 2, 2, 0x40FF8000u);
    EXPECT_EQ(At(0, 0), 0xA0402000u) << "colour blended by source alpha, alpha = max(0x40, 0xA0)";
    Fill(0x10000000u);
    Rect(0, 0, 2, 2, 0x40FF8000u);
    EXPECT_EQ(At(0, 0) >> 24, 0x40u);
    device_->SetRenderState(RenderState::SeparateAlphaBlendEnable, 0);
    Fill(0xA0000000u);
    Rect(0, 0, 2, 2, 0x40FF8000u);
    EXPECT_EQ(At(0, 0) >> 24, RoundDiv255(0x40 * 0x40 + 0xA0 * (255 - 0x40))) << "alpha follows the colour factors";
}

TEST_P(PipelineTest, StageOperationsSelectAndModulateTheirArguments) {
    const uint32_t texel = 0x80C06020u, diffuse = 0xFF8040C0u;
    BindTexture(4, 4, [&](uint32_t, uint32_t) { return texel; });
    const auto draw = [&](uint32_t colourOp, uint32_t alphaOp) {
        Fill(0);
        device_->SetTextureStageState(0, TexStage::ColorOp, colourOp);
        device_->SetTextureStageState(0, TexStage::AlphaOp, alphaOp);
        TexturedRect(0, 0, 4, 4, diffuse, 0, 0, 1, 1);
        return At(2, 2);
    };
    EXPECT_EQ(draw(TexOp::SelectArg1, TexOp::SelectArg1), texel);
    EXPECT_EQ(draw(TexOp::SelectArg2, TexOp::SelectArg2), diffuse);
    EXPECT_EQ(draw(TexOp::SelectArg1, TexOp::SelectArg2), (diffuse & 0xFF000000u) | (texel & 0xFFFFFFu));
    EXPECT_EQ(draw(TexOp::Modulate, TexOp::Modulate),
              PerChannel(texel, diffuse, [](uint32_t t, uint32_t d) { return RoundDiv255(t * d); }));
    EXPECT_EQ(draw(TexOp::Disable, TexOp::SelectArg1), diffuse) << "a disabled stage passes the diffuse colour";

    device_->SetTexture(0, nullptr);
    EXPECT_EQ(draw(TexOp::Modulate, TexOp::Modulate), diffuse) << "no texture reads as opaque white";
    device_->SetTextureStageState(0, TexStage::ColorArg1, TexArg::Current);
    EXPECT_EQ(draw(TexOp::SelectArg1, TexOp::SelectArg2), diffuse) << "current is the diffuse colour on stage 0";
}

TEST_P(PipelineTest, AlphaTestComparesAgainstTheReference) {
    BindTexture(3, 1, [](uint32_t x, uint32_t) { return (0x7Fu + x) << 24 | 0xFFFFFF; });
    device_->SetRenderState(RenderState::AlphaTestEnable, 1);
    device_->SetRenderState(RenderState::AlphaRef, 0x80);
    // Which of the texel alphas 0x7F, 0x80, 0x81 pass each function.
    const char* const passes[] = {"---", "x--", "-x-", "xx-", "--x", "x-x", "-xx", "xxx"};
    for (uint32_t func = Cmp::Never; func <= Cmp::Always; ++func) {
        Fill(0x00000000u);
        device_->SetRenderState(RenderState::AlphaFunc, func);
        TexturedRect(0, 0, 3, 1, 0xFFFFFFFF, 0.1f / 3, 0, 3.1f / 3, 1);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(At(x, 0) != 0, passes[func - 1][x] == 'x') << "func " << func << " texel " << x;
    }
}

TEST_P(PipelineTest, LinearFilterWeighsTexelCentresAndMinificationUsesTheMinFilter) {
    const uint32_t t0 = 0xFF000000u, t1 = 0xFFFFFFFFu;
    BindTexture(2, 1, [&](uint32_t x, uint32_t) { return x ? t1 : t0; });
    device_->SetTextureStageState(0, TexStage::ColorOp, TexOp::SelectArg1);
    device_->SetSamplerState(0, Sampler::MagFilter, TexFilter::Linear);
    Fill(0);
    TexturedRect(0, 0, 4, 1, 0xFFFFFFFF, 0, 0, 1, 1);  // two pixels per texel
    // Pixel px samples u = px / 4, texel position px / 2 - 0.5 (wrapping at the left).
    EXPECT_EQ(Pixels(4, 1), (std::vector<uint32_t>{Lerp(t1, t0, 128), t0, Lerp(t0, t1, 128), t1}));

    Fill(0);
    TexturedRect(0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);  // two texels per pixel: the min filter
    EXPECT_EQ(At(0, 0), t0) << "point minification";
    device_->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    TexturedRect(0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), Lerp(t1, t0, 128));
}

TEST_P(PipelineTest, GouraudColoursMeetTheVerticesAndInterpolateBetween) {
    const SColourVertex q[4] = {{0, 0, 0, 1, 0xFF000000u}, {8, 0, 0, 1, 0xFF0000FFu}, {8, 8, 0, 1, 0xFF00FFFFu},
                                {0, 8, 0, 1, 0xFF00FF00u}};
    Fill(0);
    Draw(Primitive::TriangleFan, 2, q);
    // Pixels (0, 0), (4, 0), (0, 4), (4, 4): halfway, 127.5 rounds up.
    EXPECT_EQ((std::vector{At(0, 0), At(4, 0), At(0, 4), At(4, 4)}),
              (std::vector{0xFF000000u, 0xFF000080u, 0xFF008000u, 0xFF008080u}));
}

TEST_P(PipelineTest, DepthTestOrdersDrawsAndHonoursTheSwitches) {
    CSurface* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthSurface(64, 48, &depth), 0);
    device_->SetDepthSurface(depth);
    device_->SetRenderState(RenderState::ZEnable, 1);
    device_->SetRenderState(RenderState::ZFunc, Cmp::Less);
    device_->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
    EXPECT_EQ(SurfaceDepth(depth, 3, 3), 65535);
    Rect(0, 0, 8, 8, 0xFFFF0000u, 0.5f);
    EXPECT_EQ(SurfaceDepth(depth, 3, 3), 32768);  // round(0.5 * 65535)
    Rect(0, 0, 8, 8, 0xFF00FF00u, 0.7f);
    EXPECT_EQ(At(3, 3), 0xFFFF0000u) << "farther draw hidden";
    Rect(0, 0, 4, 8, 0xFF0000FFu, 0.25f);
    EXPECT_EQ(At(3, 3), 0xFF0000FFu);
    EXPECT_EQ(At(5, 3), 0xFFFF0000u);

    device_->SetRenderState(RenderState::ZWriteEnable, 0);
    Rect(0, 0, 8, 8, 0xFF00FF00u, 0.1f);
    EXPECT_EQ(At(5, 3), 0xFF00FF00u);
    EXPECT_EQ(SurfaceDepth(depth, 5, 3), 32768) << "no depth written";
    device_->SetRenderState(RenderState::ZEnable, 0);
    Rect(0, 0, 8, 8, 0xFFFFFFFFu, 0.9f);
    EXPECT_EQ(At(5, 3), 0xFFFFFFFFu) << "test off";

    // A sloped triangle writes interpolated depth.
    device_->SetRenderState(RenderState::ZEnable, 1);
    device_->SetRenderState(RenderState::ZWriteEnable, 1);
    device_->SetRenderState(RenderState::ZFunc, Cmp::Always);
    const SColourVertex slope[4] = {{10, 0, 0.0f, 1, 0xFFFFFFFF}, {20, 0, 1.0f, 1, 0xFFFFFFFF},
                                    {20, 4, 1.0f, 1, 0xFFFFFFFF}, {10, 4, 0.0f, 1, 0xFFFFFFFF}};
    Draw(Primitive::TriangleFan, 2, slope);
    EXPECT_EQ(SurfaceDepth(depth, 10, 1), 0);
    EXPECT_EQ(SurfaceDepth(depth, 15, 1), 32768);
    device_->SetDepthSurface(nullptr);
    depth->Release();
}

TEST_P(PipelineTest, AbsurdCoordinatesAreClippedOrDropped) {
    Additive();
    Fill(0);
    Rect(-1e9f, -1e9f, 1e9f, 1e9f, 0x01010101u);
    EXPECT_EQ(Pixels(), std::vector<uint32_t>(64 * 48, 0x01010101u)) << "every pixel drawn exactly once";

    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 3e38f};
    for (float b : bad) {
        Rect(0, 0, b, 10, 0xFFFFFFFFu);
        Rect(b, b, 10, 10, 0xFFFFFFFFu);
        const SColourVertex tri[3] = {{0, 0, b, 1, 0xFFFFFFFF}, {10, 0, 0, 1, 0xFFFFFFFF}, {0, 10, 0, 1, 0xFFFFFFFF}};
        Draw(Primitive::TriangleList, 1, tri);
    }
    // A triangle reaching far outside still fills its visible part exactly.
    Fill(0);
    const SColourVertex wide[3] = {{-4e8f, 10, 0, 1, 0x01010101}, {4e8f, 10, 0, 1, 0x01010101},
                                   {0, -4e8f, 0, 1, 0x01010101}};
    Draw(Primitive::TriangleList, 1, wide);
    EXPECT_EQ((std::vector{At(0, 0), At(63, 9), At(0, 10)}), (std::vector{0x01010101u, 0x01010101u, 0u}));
}

TEST_P(PipelineTest, FillRuleDrawsSharedEdgesOnce) {
    Additive();
    Fill(0);
    // A fan of eight triangles around a point that is not a pixel centre.
    const float cx = 20.3f, cy = 17.6f;
    std::vector<SColourVertex> fan = {{cx, cy, 0, 1, 0x01010101}};
    for (int i = 0; i <= 8; ++i) {
        const double a = i * M_PI / 4 + 0.1;
        fan.push_back({static_cast<float>(cx + 14 * std::cos(a)), static_cast<float>(cy + 14 * std::sin(a)), 0, 1,
                       0x01010101});
    }
    Draw(Primitive::TriangleFan, 8, fan.data());
    // Quads meeting at fractional edges.
    Rect(40.5f, 2.25f, 50.5f, 12.75f, 0x01010101u);
    Rect(50.5f, 2.25f, 60.5f, 12.75f, 0x01010101u);
    Rect(40.5f, 12.75f, 60.5f, 20.0f, 0x01010101u);
    int covered = 0;
    for (uint32_t pixel : Pixels()) {
        ASSERT_LE(pixel, 0x01010101u);
        covered += pixel != 0;
    }
    EXPECT_EQ((std::vector{At(20, 17), At(45, 12), At(50, 13)}), std::vector<uint32_t>(3, 0x01010101u));
    EXPECT_GT(covered, 200 + 600 / 2);
}

TEST_P(PipelineTest, CullModesFollowTheScreenWinding) {
    const SColourVertex clockwise[3] = {{0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}};
    const SColourVertex counter[3] = {clockwise[0], clockwise[2], clockwise[1]};
    for (uint32_t cull : {Cull::None, Cull::CW, Cull::CCW}) {
        device_->SetRenderState(RenderState::CullMode, cull);
        for (const SColourVertex* tri : {clockwise, counter}) {
            Fill(0);
            Draw(Primitive::TriangleList, 1, tri);
            EXPECT_EQ(At(1, 1) != 0, cull == Cull::None || (cull == Cull::CW) == (tri == counter)) << "cull " << cull;
        }
    }
}

TEST_P(PipelineTest, ViewportClipsDrawsAndClearsAndResetsWithTheTarget) {
    Fill(0);
    ASSERT_EQ(device_->SetViewport({10, 5, 20, 10, 0.0f, 1.0f}), 0);
    EXPECT_EQ(device_->SetViewport({60, 0, 10, 10, 0.0f, 1.0f}), -1);
    Rect(0, 0, 64, 48, 0xFFFFFFFFu);
    // The viewport's corners inside, the pixels beside them outside.
    EXPECT_EQ((std::vector{At(10, 5), At(29, 14), At(9, 5), At(30, 14), At(10, 15)}),
              (std::vector{0xFFFFFFFFu, 0xFFFFFFFFu, 0u, 0u, 0u}));
    device_->Clear(0, nullptr, ClearFlag::Target, 0x12345678u, 1.0f, 0);
    EXPECT_EQ(At(12, 7), 0x12345678u);
    EXPECT_EQ(At(0, 0), 0u) << "clear keeps to the viewport";
    ASSERT_EQ(device_->SetRenderTarget(surface_), 0);
    SViewport now;
    device_->GetViewport(&now);
    EXPECT_EQ((std::vector{now.x, now.y, now.width, now.height}), (std::vector{0u, 0u, 64u, 48u}));
}

TEST_P(PipelineTest, SavedStatesRestoreTheSameDrawing) {
    BindTexture(16, 16, [](uint32_t x, uint32_t y) { return (x * 16) << 24 | y * 0x0F0F0F; });
    device_->SetRenderState(RenderState::AlphaBlendEnable, 1);
    device_->SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
    device_->SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
    const auto picture = [&] {
        Fill(0xFF406080u);
        TexturedRect(0, 0, 16, 16, 0xC0FFFFFF, 0.1f / 16, 0.1f / 16, 16.1f / 16, 16.1f / 16);
        return Pixels(16, 16);
    };
    const std::vector<uint32_t> before = picture();
    // Save, change for one draw (as a layer's blend mode and filter do), restore.
    const uint32_t saved[] = {device_->GetRenderState(RenderState::SrcBlend),
                              device_->GetRenderState(RenderState::DestBlend),
                              device_->GetSamplerState(0, Sampler::MinFilter),
                              device_->GetSamplerState(0, Sampler::MagFilter)};
    const auto set = [&](uint32_t src, uint32_t dest, uint32_t minFilter, uint32_t magFilter) {
        device_->SetRenderState(RenderState::SrcBlend, src);
        device_->SetRenderState(RenderState::DestBlend, dest);
        device_->SetSamplerState(0, Sampler::MinFilter, minFilter);
        device_->SetSamplerState(0, Sampler::MagFilter, magFilter);
    };
    set(Blend::DestColor, Blend::One, TexFilter::Linear, TexFilter::Linear);
    EXPECT_NE(picture(), before);
    set(saved[0], saved[1], saved[2], saved[3]);
    EXPECT_EQ(picture(), before);
}

TEST_P(PipelineTest, RenderTargetTextureIsDrawnIntoAndThenSampled) {
    Fill(0xFF112233u);
    Rect(2, 2, 6, 6, 0xFFAABBCCu);
    CSurface* back = nullptr;
    device_->GetBackBuffer(&back);
    device_->SetRenderTarget(back);
    device_->Clear(0, nullptr, ClearFlag::Target, 0, 1.0f, 0);
    device_->SetTexture(0, target_);
    TexturedRect(0, 0, 64, 48, 0xFFFFFFFF, 0.1f / 64, 0.1f / 48, 64.1f / 64, 48.1f / 48);
    EXPECT_EQ(SurfacePixel(back, 1, 1), 0xFF112233u);
    EXPECT_EQ(SurfacePixel(back, 3, 3), 0xFFAABBCCu);
    device_->SetRenderTarget(surface_);
    back->Release();
}

TEST_P(PipelineTest, StretchRectScalesWithPointAndLinearFilters) {
    CSurface* small = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(2, 1, Format::X8R8G8B8, &small), 0);
    uint32_t* pixels = reinterpret_cast<uint32_t*>(small->Bits());
    pixels[0] = 0x00000000u;
    pixels[1] = 0x00FFFFFFu;  // X8: alpha reads as opaque
    const SRect dest = {0, 0, 4, 1};
    const uint32_t black = 0xFF000000u, white = 0xFFFFFFFFu;
    ASSERT_EQ(device_->StretchRect(small, nullptr, surface_, &dest, TexFilter::Point), 0);
    EXPECT_EQ(Pixels(4, 1), (std::vector<uint32_t>{black, black, white, white}));
    ASSERT_EQ(device_->StretchRect(small, nullptr, surface_, &dest, TexFilter::Linear), 0);
    EXPECT_EQ(Pixels(4, 1), (std::vector<uint32_t>{black, Lerp(black, white, 64), Lerp(black, white, 192), white}))
        << "edges clamp";
    const SRect same = {1, 0, 3, 1};
    ASSERT_EQ(device_->StretchRect(small, nullptr, surface_, &same, TexFilter::Linear), 0);
    EXPECT_EQ(Pixels(4, 1), (std::vector<uint32_t>{black, black, white, white})) << "a plain copy";

    const SRect overlapA = {0, 0, 8, 8}, overlapB = {4, 4, 12, 12}, outside = {60, 40, 70, 50};
    EXPECT_EQ(device_->StretchRect(surface_, &overlapA, surface_, &overlapB, TexFilter::Point), -1);
    EXPECT_EQ(device_->StretchRect(surface_, &outside, small, nullptr, TexFilter::Point), -1);
    EXPECT_EQ(device_->StretchRect(surface_, nullptr, small, nullptr, 7), -1);
    small->Release();
}

INSTANTIATE_TEST_SUITE_P(Paths, PipelineTest,
                         ::testing::Values(raster::Path::Reference, raster::Path::Sse2, raster::Path::Avx2),
                         [](const ::testing::TestParamInfo<raster::Path>& info) {
                             return info.param == raster::Path::Reference ? "Reference"
                                    : info.param == raster::Path::Sse2    ? "Sse2"
                                                                          : "Avx2";
                         });

}  // namespace
