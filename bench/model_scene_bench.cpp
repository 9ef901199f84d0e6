// Models in the running engine, on one core: the sample game's skinned column (64 animated nodes,
// more than 10,000 triangles, outlined), scaled to cover about 300 × 500 pixels, rendered by
// its layer's model holder into the 800 × 600 off-screen target and copied into the model
// target (goal 5 ms per frame); and a whole engine frame with that model over a background, two
// character pictures and the message window with a page of text (goal 8 ms). Argument: the
// raster path.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "bench/bench_globals.h"
#include "engine/vant_engine.h"
#include "platform/clock.h"
#include "platform/raster.h"
#include "platform/render_context.h"
#include "screens/adventure.h"
#include "tools/lib/lmf_writer.h"
#include "tools/lib/sample_models.h"
#include "tools/lib/script_compiler.h"
#include "tools/lib/teyl_writer.h"

namespace {

constexpr uint32_t kFrameMs = 16;

// The column on layer 5, between a background and two characters, under the camera and a light.
const char kScript[] = R"(header "bench"
page
  camera: position 0 1.9 -4.2; angles 0 0 0; fov 1.0471976
  light: ambient 0.3 0.3 0.3; colour1 1 1 1; angles1 0.5236 0.7854
  layer 0: load "Image/BG.bmp"; cut in
  layer 4: load "Image/Left.bmp"; pivot 0 0; cut in
  layer 5
    load "Image/Model/Column.lmf"
    model
      scale 6.5 1.25 6.5
      motion segment 0 60 16 0 0
      part 0: fade in 0
    end
    cut in
  end
  layer 6: load "Image/Right.bmp"; pivot 400 0; cut in
  text: name "アカリ"; say "「うん。でもね、今夜は特別なの。\n灯台守だったおじいちゃんの手帳が\n見つかったんだ」"
)";

void WritePicture(const std::string& name, int32_t width, int32_t height, uint32_t (*texel)(int32_t, int32_t)) {
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) pixels.push_back(texel(x, y));
    if (WriteTeylFile(name, width, height, pixels.data()) != 0) std::abort();
}

// A character: an opaque figure in a transparent 400 x 600 picture.
uint32_t Figure(int32_t x, int32_t y) {
    const int32_t dx = x - 200;
    return dx * dx < (y < 150 ? 3600 : 10000) && y > 60 ? 0xFF000000u | static_cast<uint32_t>(x * 97 + y) : 0u;
}

// The sample game's set-up with models on: the adventure's engine parameters and window
// picture, the column written from the sample models, a headless device and the fake clock.
class ModelScene {
public:
    explicit ModelScene(raster::Path path) {
        raster::SelectPath(path);
        WriteBenchFile("Image/Model/Column.lmf", BuildLmf(MakeDenseModel()));
        WritePicture("Image/BG.bmp", 800, 600, [](int32_t x, int32_t y) { return 0xFF000000u | (x * 13 + y * 7); });
        WritePicture("Image/Left.bmp", 400, 600, Figure);
        WritePicture("Image/Right.bmp", 400, 600, Figure);
        WritePicture("Image/TextWindow.bmp", 800, 237,
                     [](int32_t, int32_t y) { return y < 53 ? 0xF0304878u : 0xE0182848u; });
        WritePicture("Image/SelectWindow.bmp", 543, 96, [](int32_t, int32_t) { return 0xC0203040u; });
        std::vector<uint8_t> script;
        std::vector<std::string> errors;
        if (!CompileScript(kScript, "bench.vss", &script, &errors)) std::abort();
        WriteBenchFile("bench.vsf", script);

        UseFakeClock(1000000);
        device_ = CGraphicsDevice::Create(SDeviceParams{});
        device_->SetDamageTracking(false);  // every draw rasterised: the drawing is measured
        ApplyDefaultRenderStates(device_);
        device_->GetBackBuffer(&backBuffer_);
        device_->CreateRenderTarget(800, 600, Format::A8R8G8B8, &offscreen_);
        audio_ = CAudioDevice::Create(EAudioOutput::Manual);
        CEngineParams params;
        FillAdventureEngineParams(&params);
        params.modelsUsable = 1;
        params.offscreenSurface = offscreen_;
        CEngineSettings settings;
        CVantEngine::SetDefaultSettings(&settings);
        settings.textSpeed = 0;
        engine = std::make_unique<CVantEngine>();
        if (engine->Init(nullptr, device_, backBuffer_, audio_.get(), &params, &settings) != 0 ||
            engine->NewGame("bench.vsf") != 0 || engine->layers[5].kind != LayerKind::Model)
            std::abort();
    }

    ~ModelScene() {
        engine.reset();
        audio_.reset();
        offscreen_->Release();
        backBuffer_->Release();
        device_->Release();
        UseRealClock();
        raster::SelectPath(raster::Path::Auto);
    }

    // The model pass alone: the camera and light, then the holder's render into the model target
    // (the frame's depth clear comes first, as in the adventure's frame).
    void ModelFrame() {
        AdvanceFakeClock(kFrameMs);
        UpdateEngineClock();
        device_->Clear(0, nullptr, ClearFlag::ZBuffer, 0, 1.0f, 0);
        device_->BeginScene();
        engine->camera.Apply();
        engine->lights.Apply();
        engine->layers[5].model.Render(g_pModelTargetSurface);
        device_->EndScene();
    }

    // The adventure's frame.
    void EngineFrame() {
        AdvanceFakeClock(kFrameMs);
        UpdateEngineClock();
        device_->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0x00100010u, 1.0f, 0);
        device_->BeginScene();
        engine->Draw();
        engine->DrawMessageWindow();
        device_->EndScene();
        device_->Present();
    }

    // The model's pixels in the off-screen target: their count, and the width and height of
    // their bounding box.
    std::array<int32_t, 3> ModelExtent() const {
        int32_t count = 0, left = 800, top = 600, right = -1, bottom = -1;
        for (int32_t y = 0; y < 600; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(offscreen_->Bits() + y * offscreen_->Pitch());
            for (int32_t x = 0; x < 800; ++x) {
                if (row[x] >> 24 == 0) continue;
                ++count;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        return {count, right - left + 1, bottom - top + 1};
    }

    std::unique_ptr<CVantEngine> engine;

private:
    CBenchWorkingFolder folder_{"model_scene_bench"};
    CGraphicsDevice* device_ = nullptr;
    CSurface* backBuffer_ = nullptr;
    CSurface* offscreen_ = nullptr;
    std::unique_ptr<CAudioDevice> audio_;
};

const char* PathLabel(int64_t path) { return path == static_cast<int64_t>(raster::Path::Sse2) ? "sse2" : "avx2"; }

void BM_ModelHolderFrame(benchmark::State& state) {
    CBenchGlobalsScope globals;
    state.SetLabel(PathLabel(state.range(0)));
    ModelScene scene(static_cast<raster::Path>(state.range(0)));
    for (auto _ : state) scene.ModelFrame();
    const auto [pixels, width, height] = scene.ModelExtent();
    state.counters["pixels"] = pixels;
    state.counters["width"] = width;
    state.counters["height"] = height;
}

void BM_EngineFrameWithModel(benchmark::State& state) {
    CBenchGlobalsScope globals;
    state.SetLabel(PathLabel(state.range(0)));
    ModelScene scene(static_cast<raster::Path>(state.range(0)));
    for (auto _ : state) scene.EngineFrame();
}

void RasterPaths(benchmark::internal::Benchmark* b) {
    b->Arg(static_cast<int>(raster::Path::Sse2));
    if (raster::CpuHasAvx2()) b->Arg(static_cast<int>(raster::Path::Avx2));
}

BENCHMARK(BM_ModelHolderFrame)->Unit(benchmark::kMillisecond)->Apply(RasterPaths);
BENCHMARK(BM_EngineFrameWithModel)->Unit(benchmark::kMillisecond)->Apply(RasterPaths);

}  // namespace
