// Scene frames drawn through the picture layers on the software device, one core:
// a typical frame (an opaque 800 × 600 background, two 400 × 600 characters with alpha and
// one layer in the middle of a fade) and the worst case of 16 full-screen alpha layers.
// Argument 1: the device as the engine sets it (separate alpha blending with the MAX
// operation); 0: the default states alone, for comparison. And where a page of 16 full-screen
// pictures puts its memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "scene/image_layer.h"
#include "bench/bench_files.h"
#include "bench/bench_memory.h"

namespace {

// The engine's device: the default states, optionally the engine's own, inside a scene.
class BenchDevice {
public:
    explicit BenchDevice(bool engineStates) {
        SDeviceParams params;
        device_ = CGraphicsDevice::Create(params);
        device_->SetDamageTracking(false);  // every draw rasterised at once: the drawing is measured
        ApplyDefaultRenderStates(device_);
        device_->SetRenderState(RenderState::ZEnable, 0);
        if (engineStates) {
            device_->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
            device_->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
        }
        device_->BeginScene();
        g_pEngineDevice = device_;
    }
    ~BenchDevice() {
        g_pEngineDevice = nullptr;
        device_->EndScene();
        device_->SetTexture(0, nullptr);
        device_->Release();
    }
    CTexture* MakeTexture(uint32_t side, uint32_t (*texel)(int, int)) const {
        CTexture* texture = nullptr;
        device_->CreateTexture(side, side, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture);
        SLockedRect locked;
        texture->LockRect(0, &locked, nullptr, 0);
        for (uint32_t y = 0; y < side; ++y)
            for (uint32_t x = 0; x < side; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch)[x] =
                    texel(static_cast<int>(x), static_cast<int>(y));
        texture->UnlockRect(0);
        return texture;
    }

private:
    CGraphicsDevice* device_;
};

// A character: opaque in an inner ellipse-like band, soft edges, transparent outside.
uint32_t CharacterTexel(int x, int y) {
    const int dx = x < 200 ? 200 - x : x - 199;
    if (dx > 180 || y < 40) return 0x00000000u;
    const uint32_t alpha = dx > 150 ? static_cast<uint32_t>((180 - dx) * 255 / 30) : 255u;
    return alpha << 24 | static_cast<uint32_t>(x & 0xFF) << 16 | static_cast<uint32_t>(y & 0xFF) << 8 | 0x40;
}

uint32_t BackgroundTexel(int x, int y) { return 0xFF000000u | static_cast<uint32_t>((x ^ y) & 0xFF) * 0x010101u; }

uint32_t GlassTexel(int x, int y) { return 0x60000000u | static_cast<uint32_t>((x + y) & 0xFF) * 0x010101u; }

void Place(CImageLayer* layer, CTexture* texture, int32_t width, int32_t height) {
    layer->used = 1;
    layer->kind = LayerKind::Picture;
    layer->texture = texture;
    layer->width = width;
    layer->height = height;
    layer->ResetGeometry();
    layer->visible = 1;
}

void TypicalFrame(benchmark::State& state) {
    BenchDevice scene(state.range(0) != 0);
    g_GameClock = 100000;
    std::vector<std::unique_ptr<CImageLayer>> layers;
    for (int i = 0; i < 4; ++i) layers.push_back(std::make_unique<CImageLayer>());
    Place(layers[0].get(), scene.MakeTexture(1024, BackgroundTexel), 800, 600);
    Place(layers[1].get(), scene.MakeTexture(1024, CharacterTexel), 400, 600);
    layers[1]->pivot.x = 0;
    Place(layers[2].get(), scene.MakeTexture(1024, CharacterTexel), 400, 600);
    layers[2]->pivot.x = 400;
    Place(layers[3].get(), scene.MakeTexture(1024, CharacterTexel), 400, 600);
    layers[3]->visible = 0;
    CFade fade;
    fade.CopyTo(&layers[3]->effect);  // fade in over 1000 ms, held at its middle
    layers[3]->effectStart = g_GameClock - 500;
    for (auto _ : state) {
        for (auto& layer : layers) benchmark::DoNotOptimize(layer->Draw());
    }
    state.SetItemsProcessed(state.iterations());
    layers.clear();
    g_GameClock = 0;
}
BENCHMARK(TypicalFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void SixteenFullScreenAlphaLayers(benchmark::State& state) {
    BenchDevice scene(state.range(0) != 0);
    std::vector<std::unique_ptr<CImageLayer>> layers;
    for (int i = 0; i < 16; ++i) {
        layers.push_back(std::make_unique<CImageLayer>());
        Place(layers.back().get(), scene.MakeTexture(1024, GlassTexel), 800, 600);
    }
    for (auto _ : state) {
        for (auto& layer : layers) benchmark::DoNotOptimize(layer->Draw());
    }
    state.SetItemsProcessed(state.iterations());
    layers.clear();
}
BENCHMARK(SixteenFullScreenAlphaLayers)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// 16 layers each loading its own 800 × 600 TEYL picture the way a script's LOAD does (into a
// square power-of-two texture), drawn for a few frames. rss_per_layer_mib: what each loaded
// layer adds to the resident memory (the picture's 1.83 MiB, in the rows of a 1024-wide texture
// that it writes: the rest of the texture is never made resident); page_peak_mib: the page's
// highest resident memory above what the process held before (loading included);
// bench_peak_mib: the benchmark's own peak, its pictures and device included, above what the
// process held when it started (never what an earlier benchmark peaked at).
void BM_SixteenLayerPageMemory(benchmark::State& state) {
    const CResidentPeak benchPeak;
    char folder[] = "/tmp/scene-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    for (int i = 0; i < 16; ++i) WriteNoisePicture(std::string(folder) + "/Image/P" + std::to_string(i) + ".bmp", 800, 600);
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    for (auto _ : state) {
        BenchDevice scene(true);
        const CResidentPeak pagePeak;
        std::vector<std::unique_ptr<CImageLayer>> layers;
        for (int i = 0; i < 16; ++i) {
            layers.push_back(std::make_unique<CImageLayer>());
            const std::string name = "Image/P" + std::to_string(i) + ".bmp";
            if (layers.back()->Load(name.c_str()) != 0) state.SkipWithError("a picture did not load");
            layers.back()->visible = 1;
        }
        const double loaded = pagePeak.NowMib();
        for (int frame = 0; frame < 3; ++frame)
            for (auto& layer : layers) benchmark::DoNotOptimize(layer->Draw());
        state.counters["rss_per_layer_mib"] = loaded / 16.0;
        state.counters["page_peak_mib"] = pagePeak.PeakMib();
        state.counters["bench_peak_mib"] = benchPeak.PeakMib();
    }
    std::filesystem::current_path(saved);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SixteenLayerPageMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
