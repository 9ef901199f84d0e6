// Full-frame drawing costs of the software device against the memory-copy limit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/quad_draw.h"
#include "platform/raster.h"

namespace {

constexpr uint32_t kWidth = 800, kHeight = 600;

struct SScene {
    CGraphicsDevice* device = nullptr;
    CTexture* picture = nullptr;

    SScene() {
        SDeviceParams params;
        params.width = kWidth;
        params.height = kHeight;
        device = CGraphicsDevice::Create(params);
        device->SetDamageTracking(false);  // every draw rasterised at once: the drawing is measured
        ApplyDefaultRenderStates(device);
        device->CreateTexture(kWidth, kHeight, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &picture);
        SLockedRect locked;
        picture->LockRect(0, &locked, nullptr, 0);
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
            for (uint32_t x = 0; x < kWidth; ++x) row[x] = 0xFF000000u | ((x * 2654435761u >> 8) ^ (y * 40503u));
        }
        picture->UnlockRect(0);
        device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0xFF204060u, 1.0f, 0);
        device->BeginScene();
    }
    ~SScene() {
        device->EndScene();
        device->SetTexture(0, nullptr);
        picture->Release();
        device->Release();
    }
};

void SetPath(benchmark::State& state) {
    raster::SelectPath(static_cast<raster::Path>(state.range(0)));
    state.SetLabel(state.range(0) == static_cast<int>(raster::Path::Reference) ? "reference"
                   : state.range(0) == static_cast<int>(raster::Path::Sse2)    ? "sse2"
                                                                               : "avx2");
}

void PathArgs(benchmark::internal::Benchmark* b) {
    b->Arg(static_cast<int>(raster::Path::Reference))->Arg(static_cast<int>(raster::Path::Sse2));
    if (raster::CpuHasAvx2()) b->Arg(static_cast<int>(raster::Path::Avx2));
}

// The time of one frame's memcpy (the best of 50 runs): the yardstick of the drawing
// benchmarks, whose counter x_memcpy is their time per frame in memcpys.
double FrameMemcpySeconds() {
    static const double seconds = [] {
        std::vector<uint32_t> from(kWidth * kHeight, 0x12345678u), to(kWidth * kHeight);
        double best = 1.0;
        for (int i = 0; i < 50; ++i) {
            const auto begin = std::chrono::steady_clock::now();
            std::memcpy(to.data(), from.data(), from.size() * 4);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        }
        return best;
    }();
    return seconds;
}

void CompareWithMemcpy(benchmark::State& state) {
    state.counters["x_memcpy"] = benchmark::Counter(static_cast<double>(state.iterations()) * FrameMemcpySeconds(),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FrameMemcpy(benchmark::State& state) {
    std::vector<uint32_t> from(kWidth * kHeight, 0x12345678u), to(kWidth * kHeight);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameMemcpy);

void BM_OpaqueFullScreenQuad(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    scene.device->SetRenderState(RenderState::AlphaBlendEnable, 0);
    scene.device->SetRenderState(RenderState::AlphaTestEnable, 0);
    for (auto _ : state) DrawSprite(scene.device, scene.picture, nullptr, 1, 0.0f, 0.0f, 0xFFFFFFFFu);
    CompareWithMemcpy(state);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_OpaqueFullScreenQuad)->Apply(PathArgs);

void BM_BlendedFullScreenQuad(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    for (auto _ : state) DrawSprite(scene.device, scene.picture, nullptr, 1, 0.0f, 0.0f, 0x80FFC0A0u);
    CompareWithMemcpy(state);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_BlendedFullScreenQuad)->Apply(PathArgs);

// The states the scenario engine sets on the device at its start: no depth test, separate alpha
// blending with the MAX operation.
void ApplyEngineStates(CGraphicsDevice* device) {
    device->SetRenderState(RenderState::ZEnable, 0);
    device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
    device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
}

void BM_BlendedFullScreenQuadEngineStates(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    ApplyEngineStates(scene.device);
    for (auto _ : state) DrawSprite(scene.device, scene.picture, nullptr, 1, 0.0f, 0.0f, 0x80FFC0A0u);
    CompareWithMemcpy(state);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_BlendedFullScreenQuadEngineStates)->Apply(PathArgs);

// A 400 × 300 part of the picture, faded: rows shorter than those of the target and the texture,
// as a character sprite's are.
void BM_BlendedSprite(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    ApplyEngineStates(scene.device);
    const SRect source = {0, 0, 400, 300};
    for (auto _ : state) DrawSprite(scene.device, scene.picture, &source, 1, 200.0f, 150.0f, 0x80FFFFFFu);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_BlendedSprite)->Apply(PathArgs);

// A full-screen faded layer in each of the seven layer blend modes (argument 1), engine states.
void BM_LayerBlendModes(benchmark::State& state) {
    struct SMode {
        uint32_t src, dest;
    };
    const SMode kModes[] = {{Blend::SrcAlpha, Blend::InvSrcAlpha}, {Blend::SrcAlpha, Blend::One},
                            {Blend::DestColor, Blend::Zero},       {Blend::InvDestColor, Blend::InvSrcColor},
                            {Blend::One, Blend::InvSrcColor},      {Blend::Zero, Blend::InvSrcColor},
                            {Blend::DestColor, Blend::One}};
    SetPath(state);
    SScene scene;
    ApplyEngineStates(scene.device);
    const SMode mode = kModes[state.range(1)];
    scene.device->SetRenderState(RenderState::SrcBlend, mode.src);
    scene.device->SetRenderState(RenderState::DestBlend, mode.dest);
    for (auto _ : state) DrawSprite(scene.device, scene.picture, nullptr, 1, 0.0f, 0.0f, 0xC0FFFFFFu);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_LayerBlendModes)->Apply([](benchmark::internal::Benchmark* b) {
    for (int mode = 0; mode < 7; ++mode) {
        b->Args({static_cast<int>(raster::Path::Sse2), mode});
        if (raster::CpuHasAvx2()) b->Args({static_cast<int>(raster::Path::Avx2), mode});
    }
});

// A full-screen untextured rectangle at half opacity, as the screens' fades draw.
void BM_FilledRect(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    ApplyEngineStates(scene.device);
    const SRect all = {0, 0, static_cast<int32_t>(kWidth), static_cast<int32_t>(kHeight)};
    for (auto _ : state) DrawFilledRect(scene.device, all, 0x80000000u);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_FilledRect)->Apply(PathArgs);

// A full-screen picture at scale 1 through the linear filter, alpha-blended, as a story page's
// background layer: texel coordinates are nudged 0.1 texel past each pixel centre, so every
// pixel mixes two columns and two rows.
void BM_LinearOneToOneFullScreenQuad(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    scene.device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    scene.device->SetSamplerState(0, Sampler::MagFilter, TexFilter::Linear);
    for (auto _ : state) DrawSprite(scene.device, scene.picture, nullptr, 1, 0.0f, 0.0f, 0xFFFFFFFFu);
    CompareWithMemcpy(state);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_LinearOneToOneFullScreenQuad)->Apply(PathArgs);

// The same picture at a scale a hair above 1: the weights drift along each row, so every run
// takes the general linear path.
void BM_LinearNearlyOneToOneFullScreenQuad(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    scene.device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    scene.device->SetSamplerState(0, Sampler::MagFilter, TexFilter::Linear);
    for (auto _ : state)
        DrawSpriteRotated(scene.device, scene.picture, nullptr, {0, 0}, {0, 0}, 1.0005f, 1.0005f, 0.0f, 0xFFFFFFFFu);
    CompareWithMemcpy(state);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_LinearNearlyOneToOneFullScreenQuad)->Apply(PathArgs);

void BM_LinearScaledFullScreenQuad(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    scene.device->SetSamplerState(0, Sampler::MinFilter, TexFilter::Linear);
    scene.device->SetSamplerState(0, Sampler::MagFilter, TexFilter::Linear);
    const SRect source = {0, 0, 640, 480};
    for (auto _ : state)
        DrawSpriteRotated(scene.device, scene.picture, &source, {0, 0}, {0, 0}, 1.25f, 1.25f, 0.0f, 0x80FFC0A0u);
    state.SetItemsProcessed(state.iterations());
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_LinearScaledFullScreenQuad)->Apply(PathArgs);

// A page of text: 1,000 glyph quads of 24 × 24 pixels from a small glyph texture with soft
// edges, where the cost per draw call matters.
void BM_GlyphQuads(benchmark::State& state) {
    SetPath(state);
    SScene scene;
    CTexture* glyph = nullptr;
    scene.device->CreateTexture(24, 24, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &glyph);
    SLockedRect locked;
    glyph->LockRect(0, &locked, nullptr, 0);
    for (uint32_t y = 0; y < 24; ++y)
        for (uint32_t x = 0; x < 24; ++x) {
            const uint32_t alpha = (x * 37 + y * 11) % 3 == 0 ? 0 : (x * 255 / 23) & 0xFF;
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch)[x] =
                alpha << 24 | 0xFFFFFF;
        }
    glyph->UnlockRect(0);
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            DrawSprite(scene.device, glyph, nullptr, 1, static_cast<float>(i % 32 * 24),
                       static_cast<float>(i / 32 * 18), 0xFFFFFFFFu);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    scene.device->SetTexture(0, nullptr);
    glyph->Release();
    raster::SelectPath(raster::Path::Auto);
}
BENCHMARK(BM_GlyphQuads)->Apply(PathArgs);

}  // namespace
