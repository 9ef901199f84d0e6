// Model benchmarks: loading the dense sample model (64 nodes, more than 10,000 skinned
// triangles, a 128 x 128 texture) from a scrambled Image.pac, and posing its 64 animated nodes
// for one frame (channels, local, world and skinning matrices); the goal for the pose is 20 us.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "files/loaders.h"
#include "model/lmf_model.h"
#include "platform/graphics.h"
#include "tools/lib/lmf_writer.h"
#include "tools/lib/pack_writer.h"
#include "tools/lib/sample_models.h"

namespace {

constexpr char kDenseEntry[] = "Image/Model/Column.lmf";

CGraphicsDevice* Device() {
    static CGraphicsDevice* device = CGraphicsDevice::Create(SDeviceParams{16, 16, false, nullptr, nullptr});
    return device;
}

// Image.pac holding the dense model, installed as the engine's image archive while it lives.
struct CDenseArchive {
    std::string folder;
    CPackArchive archive;
    size_t bytes = 0;

    CDenseArchive() {
        folder =
            (std::filesystem::temp_directory_path() / ("velkora-bench-model-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder);
        std::vector<uint8_t> model = BuildLmf(MakeDenseModel());
        bytes = model.size();
        CPackWriteOptions options;
        options.scrambled = true;
        WritePackArchive(folder + "/Image.pac", {{kDenseEntry, std::move(model)}}, options);
        archive.Open((folder + "/Image.pac").c_str());
        g_pArchives[kImageArchive] = &archive;
    }
    ~CDenseArchive() {
        g_pArchives[kImageArchive] = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

void BM_LoadDenseModelFromArchive(benchmark::State& state) {
    CDenseArchive pack;
    CLmfModel model;
    for (auto _ : state) {
        if (OpenModelStream(&model, Device(), kDenseEntry) != 0) {
            state.SkipWithError("the model did not load");
            break;
        }
        benchmark::DoNotOptimize(model.layers.data());
    }
    size_t triangles = 0;
    for (const CLmfLayer& layer : model.layers)
        for (const CLmfMesh& mesh : layer.meshes) triangles += mesh.TriangleCount();
    state.counters["triangles"] = static_cast<double>(triangles);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pack.bytes));
}
BENCHMARK(BM_LoadDenseModelFromArchive)->Unit(benchmark::kMillisecond);

void BM_PoseDenseModel(benchmark::State& state) {
    CDenseArchive pack;
    CLmfModel model;
    if (OpenModelStream(&model, Device(), kDenseEntry) != 0) {
        state.SkipWithError("the model did not load");
        return;
    }
    int32_t t = 0;
    for (auto _ : state) {
        model.ApplyMotion(0, 60, 0, t++);
        benchmark::DoNotOptimize(model.nodes.back().skinning);
    }
    state.counters["nodes"] = static_cast<double>(model.nodes.size());
}
BENCHMARK(BM_PoseDenseModel)->Unit(benchmark::kMicrosecond);

}  // namespace
