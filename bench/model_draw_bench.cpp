// The model pass of one frame: a skinned, toon-shaded 10,000-triangle mesh with its outline,
// covering about 300 × 500 pixels of the 800 × 600 off-screen target, then copied into the model
// target. The goal is 5 ms per frame on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/model_draw.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/raster.h"

namespace {

struct SVertex {
    float position[3], normal[3], colour[4], uv[2], indices[4], weights[4];
};
static_assert(sizeof(SVertex) == kModelVertexSize);

// An upright ellipsoid of rings × segments quads (2 × rings × segments triangles) whose
// vertices blend two of four palette slots by height, as limbs and bodies do.
void BuildFigure(uint16_t rings, uint16_t segments, std::vector<SVertex>* vertices, std::vector<uint16_t>* indices) {
    const float pi = 3.14159265f;
    for (uint16_t i = 0; i <= rings; ++i)
        for (uint16_t j = 0; j <= segments; ++j) {
            const float theta = pi * i / rings, phi = 2 * pi * j / segments - pi / 2;
            const float nx = std::sin(theta) * std::cos(phi), ny = std::cos(theta), nz = std::sin(theta) * std::sin(phi);
            const float height = static_cast<float>(i) / rings * 3.0f;  // 0..3 down the figure
            const float slot = std::floor(std::min(height, 2.999f));
            const float blend = height - slot;
            vertices->push_back({{nx * 0.85f, ny * 1.45f, nz * 0.85f},
                                 {nx, ny, nz},
                                 {1, 1, 1, 1},
                                 {static_cast<float>(j) / segments, static_cast<float>(i) / rings},
                                 {slot, slot + 1, 0, 0},
                                 {1 - blend, blend, 0, 0}});
        }
    for (uint16_t i = 0; i < rings; ++i)
        for (uint16_t j = 0; j < segments; ++j) {
            const uint16_t a = i * (segments + 1) + j, b = a + 1, d = a + segments + 1, c = d + 1;
            indices->insert(indices->end(), {a, b, c, a, c, d});
        }
}

CTexture* MakeTexture(CGraphicsDevice* device, uint32_t side, uint32_t (*texel)(uint32_t, uint32_t)) {
    CTexture* texture = nullptr;
    device->CreateTexture(side, side, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture);
    SLockedRect locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch)[x] = texel(x, y);
    texture->UnlockRect(0);
    return texture;
}

void BM_ModelPass(benchmark::State& state) {
    raster::SelectPath(static_cast<raster::Path>(state.range(0)));
    const uint32_t edge = static_cast<uint32_t>(state.range(1));
    state.SetLabel(std::string(state.range(0) == static_cast<int>(raster::Path::Sse2) ? "sse2" : "avx2") +
                   (edge ? "" : ", no edge pass"));
    SDeviceParams params;
    CGraphicsDevice* device = CGraphicsDevice::Create(params);
    ApplyDefaultRenderStates(device);
    CSurface* offscreen = nullptr;
    device->CreateRenderTarget(800, 600, Format::A8R8G8B8, &offscreen);
    CTexture* modelTarget = nullptr;
    device->CreateTexture(1024, 1024, 0, Usage::RenderTarget, Format::A8R8G8B8, Pool::Default, &modelTarget);
    CSurface* modelSurface = nullptr;
    modelTarget->GetSurfaceLevel(0, &modelSurface);
    CTexture* skin = MakeTexture(device, 512, [](uint32_t x, uint32_t y) {
        return 0xFF000000u | (((x * 2654435761u >> 8) ^ (y * 40503u)) & 0xFFFFFF);
    });
    CTexture* ramp = MakeTexture(device, 32, [](uint32_t x, uint32_t) { return x < 14 ? 0xFF707888u : 0xFFFFFFFFu; });

    CShaderContext context;
    context.Create(device);
    MatrixPerspectiveFovLH(&context.projection, 1.0471976f, 4.0f / 3.0f, 0.1f, 20.0f);
    context.SetCamera({0, 0, -3}, {0, 0, 0}, {0, 1, 0});
    context.SetAmbientLight({0.2f, 0.2f, 0.2f});
    context.SetLight1({0.6124f, -0.5f, 0.6124f}, {1, 1, 1});
    context.SetLight2({-0.6124f, -0.5f, 0.6124f}, {0, 0, 0});
    SMatrix world;
    MatrixRotationY(&world, 0.3f);
    context.SetWorld(world);
    for (uint32_t slot = 0; slot < 4; ++slot) {
        SMatrix bend;
        MatrixRotationZ(&bend, 0.05f * slot);
        context.SetBlendMatrix(slot, bend);
    }

    std::vector<SVertex> vertices;
    std::vector<uint16_t> indices;
    BuildFigure(50, 100, &vertices, &indices);
    SModelSurface surface;
    surface.shadingType = 4;
    surface.diffuse = {1, 1, 1, 1};
    surface.texture = skin;
    surface.toonTexture = ramp;
    surface.edgeColour = {0.1f, 0.1f, 0.2f, 1};
    surface.edgeSize = 0.01f;
    const SModelMesh mesh = {vertices.data(), static_cast<uint32_t>(vertices.size()), indices.data(),
                             static_cast<uint32_t>(indices.size() / 3), &surface};
    const SRect frame = {0, 0, 800, 600};

    for (auto _ : state) {
        device->SetRenderTarget(offscreen);
        device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
        device->BeginScene();
        DrawModelMeshes(device, context, &mesh, 1, nullptr, nullptr, edge);
        device->EndScene();
        device->StretchRect(offscreen, &frame, modelSurface, &frame, TexFilter::None);
    }
    state.counters["triangles"] = static_cast<double>(mesh.triangleCount);
    context.Release();
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    skin->Release();
    ramp->Release();
    modelSurface->Release();
    modelTarget->Release();
    offscreen->Release();
    device->Release();
    raster::SelectPath(raster::Path::Auto);
}
// Arguments: the raster path, and 1 with the edge pass (the goal's case) or 0 without it.
BENCHMARK(BM_ModelPass)->Unit(benchmark::kMillisecond)->Apply([](benchmark::internal::Benchmark* b) {
    for (int edge : {1, 0}) {
        b->Args({static_cast<int>(raster::Path::Sse2), edge});
        if (raster::CpuHasAvx2()) b->Args({static_cast<int>(raster::Path::Avx2), edge});
    }
});

}  // namespace
