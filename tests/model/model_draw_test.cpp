// Drawing meshes through the model effect: the palette rules, the states a draw leaves, the
// morph checks, and golden images of every pass drawn from small hand-built meshes. The images
// in tests/data/model are the reference rasteriser's; the span paths must match them exactly.
// UPDATE_GOLDEN=1 rewrites them (look at them before committing).
#include "model/model_draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/graphics_3d.h"
#include "platform/picture_decode.h"
#include "platform/raster.h"
#include "tests/support/graphics_support.h"
#include "tests/support/picture_support.h"

namespace {

struct SVertex {
    float position[3], normal[3], colour[4], uv[2], indices[4], weights[4];
};
static_assert(sizeof(SVertex) == kModelVertexSize);

SVertex MakeVertex(float x, float y, float z, float nx, float ny, float nz, float u, float v, float slot = 0) {
    return {{x, y, z}, {nx, ny, nz}, {1, 1, 1, 1}, {u, v}, {slot, 0, 0, 0}, {1, 0, 0, 0}};
}

struct SMesh {
    std::vector<SVertex> vertices;
    std::vector<uint16_t> indices;
    SModelMesh View(const SModelSurface* surface) const {
        return {vertices.data(), static_cast<uint32_t>(vertices.size()), indices.data(),
                static_cast<uint32_t>(indices.size() / 3), surface};
    }
};

// A sphere of the given radius, its triangles clockwise seen from outside.
SMesh Sphere(float radius, uint16_t rings = 12, uint16_t segments = 16) {
    SMesh m;
    for (uint16_t i = 0; i <= rings; ++i)
        for (uint16_t j = 0; j <= segments; ++j) {
            const float theta = static_cast<float>(M_PI) * i / rings;
            const float phi = 2.0f * static_cast<float>(M_PI) * j / segments - static_cast<float>(M_PI) / 2;
            const float nx = std::sin(theta) * std::cos(phi), ny = std::cos(theta), nz = std::sin(theta) * std::sin(phi);
            m.vertices.push_back(MakeVertex(nx * radius, ny * radius, nz * radius, nx, ny, nz,
                                            static_cast<float>(j) / segments, static_cast<float>(i) / rings));
        }
    for (uint16_t i = 0; i < rings; ++i)
        for (uint16_t j = 0; j < segments; ++j) {
            const uint16_t a = i * (segments + 1) + j, b = a + 1, d = a + segments + 1, c = d + 1;
            m.indices.insert(m.indices.end(), {a, b, c, a, c, d});
        }
    return m;
}

// An open tube along y, its outside facing out (clockwise seen from outside).
SMesh Tube(float radius, float height, uint16_t segments = 16) {
    SMesh m;
    for (uint16_t j = 0; j <= segments; ++j) {
        const float phi = 2.0f * static_cast<float>(M_PI) * j / segments - static_cast<float>(M_PI) / 2;
        const float nx = std::cos(phi), nz = std::sin(phi);
        for (float y : {height / 2, -height / 2})
            m.vertices.push_back(MakeVertex(nx * radius, y, nz * radius, nx, 0, nz, static_cast<float>(j) / segments,
                                            y > 0 ? 0.0f : 1.0f));
    }
    for (uint16_t j = 0; j < segments; ++j) {
        const uint16_t a = 2 * j, d = a + 1, b = a + 2, c = a + 3;
        m.indices.insert(m.indices.end(), {a, b, c, a, c, d});
    }
    return m;
}

// A square in the plane z = 0 facing the camera.
SMesh Square(float left, float top, float size) {
    SMesh m;
    m.vertices = {MakeVertex(left, top, 0, 0, 0, -1, 0, 0), MakeVertex(left + size, top, 0, 0, 0, -1, 1, 0),
                  MakeVertex(left + size, top - size, 0, 0, 0, -1, 1, 1),
                  MakeVertex(left, top - size, 0, 0, 0, -1, 0, 1)};
    m.indices = {0, 1, 2, 0, 2, 3};
    return m;
}

constexpr uint32_t kCell = 96;
constexpr uint32_t kBackground = 0xFF404850u;

// A device drawing into an A8R8G8B8 target of `cells` square cells side by side, each its own
// viewport, through a shader context looking at the origin from z = -3 with the scene lights'
// defaults.
class CModelScene {
public:
    explicit CModelScene(uint32_t cells) : width_(kCell * cells) {
        device = MakeTestDevice(width_, kCell);
        device->CreateRenderTarget(width_, kCell, Format::A8R8G8B8, &target_);
        device->SetRenderTarget(target_);
        EXPECT_EQ(context.Create(device), 0);
        MatrixPerspectiveFovLH(&context.projection, 1.0471976f, 1.0f, 0.1f, 20.0f);
        context.SetCamera({0, 0, -3}, {0, 0, 0}, {0, 1, 0});
        context.SetAmbientLight({0.2f, 0.2f, 0.2f});
        context.SetLight1({0.6124f, -0.5f, 0.6124f}, {1, 1, 1});
        context.SetLight2({-0.6124f, -0.5f, 0.6124f}, {0, 0, 0});
        SMatrix identity;
        MatrixIdentity(&identity);
        context.SetWorld(identity);
        for (uint32_t slot = 0; slot < kBlendMatrixCount; ++slot) context.SetBlendMatrix(slot, identity);
        device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, kBackground, 1.0f, 0);
        device->BeginScene();
        checker = MakeTestTexture(device, 32, 32, [](uint32_t x, uint32_t y) {
            return ((x / 4 + y / 4) % 2) ? 0xFFF0E0D0u : 0xFF5080C0u;
        });
        // The toon ramp lies along the first row; the rows below must never be read.
        toon = MakeTestTexture(device, 32, 32, [](uint32_t x, uint32_t y) {
            return y > 0 ? 0xFFFF00FFu : x < 12 ? 0xFF606878u : x < 26 ? 0xFFC0C8D8u : 0xFFFFFFFFu;
        });
    }
    ~CModelScene() {
        device->EndScene();
        device->SetTexture(0, nullptr);
        device->SetTexture(1, nullptr);
        checker->Release();
        toon->Release();
        context.Release();
        target_->Release();
        device->Release();
    }

    void Cell(uint32_t index) { device->SetViewport({kCell * index, 0, kCell, kCell, 0.0f, 1.0f}); }

    std::vector<uint32_t> Pixels() const {
        std::vector<uint32_t> out;
        for (uint32_t y = 0; y < kCell; ++y)
            for (uint32_t x = 0; x < width_; ++x) out.push_back(SurfacePixel(target_, x, y));
        return out;
    }
    uint32_t Pixel(int32_t x, int32_t y) const { return SurfacePixel(target_, x, y); }
    uint32_t Width() const { return width_; }

    CGraphicsDevice* device = nullptr;
    CShaderContext context;
    CTexture* checker = nullptr;
    CTexture* toon = nullptr;

private:
    uint32_t width_;
    CSurface* target_ = nullptr;
};

SModelSurface Surface(uint32_t shadingType, CTexture* texture = nullptr) {
    SModelSurface s;
    s.shadingType = shadingType;
    s.diffuse = {1.0f, 0.9f, 0.8f, 1.0f};
    s.specular = 0.8f;
    s.power = 20.0f;
    s.texture = texture;
    s.edgeColour = {0.1f, 0.1f, 0.3f, 1.0f};
    return s;
}

// ---- Golden images ----

std::string GoldenPath(const char* name) { return std::string(TEST_DATA_DIR) + "/model/" + name; }

void ExpectGolden(const std::vector<uint32_t>& pixels, uint32_t width, const char* name) {
    const uint32_t height = static_cast<uint32_t>(pixels.size() / width);
    if (std::getenv("UPDATE_GOLDEN")) {
        const std::vector<uint8_t> png = EncodeTestPng(width, height, pixels);
        std::ofstream(GoldenPath(name), std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
    }
    std::ifstream file(GoldenPath(name), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    CPicture golden;
    ASSERT_EQ(DecodePng(bytes.data(), bytes.size(), &golden), 0) << name;
    ASSERT_EQ(golden.width, width) << name;
    ASSERT_EQ(golden.pixels.size(), pixels.size()) << name;
    for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(pixels[i], golden.pixels[i]) << name << " pixel " << i % width << "," << i / width;
}

using SceneDrawing = std::function<void(CModelScene&)>;

// The scene drawn by the reference rasteriser, after checking that every span path draws the
// same pixels.
std::vector<uint32_t> Render(uint32_t cells, const SceneDrawing& draw) {
    const auto renderWith = [&](raster::Path path) {
        raster::SelectPath(path);
        CModelScene scene(cells);
        draw(scene);
        raster::SelectPath(raster::Path::Auto);
        return scene.Pixels();
    };
    const std::vector<uint32_t> reference = renderWith(raster::Path::Reference);
    EXPECT_EQ(renderWith(raster::Path::Sse2), reference) << "SSE2";
    if (raster::CpuHasAvx2()) {
        EXPECT_EQ(renderWith(raster::Path::Avx2), reference) << "AVX2";
    }
    return reference;
}

void DrawMesh(CModelScene& scene, const SMesh& mesh, const SModelSurface& surface, uint32_t edge = 0) {
    const SModelMesh view = mesh.View(&surface);
    ASSERT_EQ(DrawModelMeshes(scene.device, scene.context, &view, 1, nullptr, nullptr, edge), 0);
}

// Five spheres, one per main pass: flat, diffuse, glossy, soft, toon. Each sits in the middle
// of its cell: the lights reach it in its own object space whatever the cell.
TEST(ModelDrawTest, EachShadingTypeDrawsItsOwnPass) {
    const SMesh sphere = Sphere(1.0f);
    const std::vector<uint32_t> pixels = Render(5, [&](CModelScene& scene) {
        for (uint32_t type = 0; type < 5; ++type) {
            scene.Cell(type);
            SModelSurface s = Surface(type, scene.checker);
            s.toonTexture = scene.toon;
            DrawMesh(scene, sphere, s);
        }
    });
    ExpectGolden(pixels, 5 * kCell, "shading.png");
    // No two passes give the same picture.
    for (uint32_t a = 0; a < 5; ++a)
        for (uint32_t b = a + 1; b < 5; ++b) {
            uint32_t differing = 0;
            for (uint32_t y = 0; y < kCell; ++y)
                for (uint32_t x = 0; x < kCell; ++x)
                    differing += pixels[y * 5 * kCell + a * kCell + x] != pixels[y * 5 * kCell + b * kCell + x];
            EXPECT_GT(differing, 200u) << "passes " << a << " and " << b;
        }
}

// A toon sphere without and with its outline; an edge size of 0 or the edge flag 0 draw none.
TEST(ModelDrawTest, EdgePassOutlinesOnlyWhenAskedAndSized) {
    const SMesh sphere = Sphere(1.0f);
    const auto draw = [&](float edgeSize, uint32_t edge) {
        return Render(1, [&](CModelScene& scene) {
            scene.Cell(0);
            SModelSurface s = Surface(4, scene.checker);
            s.toonTexture = scene.toon;
            s.edgeSize = edgeSize;
            DrawMesh(scene, sphere, s, edge);
        });
    };
    const std::vector<uint32_t> plain = draw(0.0f, 1), outlined = draw(0.08f, 1);
    EXPECT_EQ(draw(0.08f, 0), plain);
    std::vector<uint32_t> both = plain;
    both.insert(both.end(), outlined.begin(), outlined.end());
    ExpectGolden(both, kCell, "edge.png");  // the plain sphere above the outlined one
    // The outline surrounds the sphere: left of its rim a pixel turns edge-coloured.
    const uint32_t row = kCell / 2;
    uint32_t rim = 0;
    while (rim < kCell && plain[row * kCell + rim] == kBackground) ++rim;
    ASSERT_GT(rim, 2u);
    EXPECT_EQ(outlined[row * kCell + rim - 2] & 0xFFFFFF, 0x1A1A4Du);
}

// An open tube tilted so that its lower opening faces the camera: one-sided, only its outer wall
// shows; two-sided, the inside of the far wall shows through the opening too.
TEST(ModelDrawTest, OneSidedSurfacesCullBackFacesAndTwoSidedOnesDoNot) {
    const SMesh tube = Tube(0.9f, 1.6f);
    const std::vector<uint32_t> pixels = Render(2, [&](CModelScene& scene) {
        SMatrix tilt;
        MatrixRotationX(&tilt, 0.6f);
        scene.context.SetWorld(tilt);
        for (uint32_t sided = 0; sided < 2; ++sided) {
            scene.Cell(sided);
            SModelSurface s = Surface(1, scene.checker);
            s.twoSided = sided;
            DrawMesh(scene, tube, s);
        }
    });
    ExpectGolden(pixels, 2 * kCell, "culling.png");
    uint32_t insideOnly = 0;
    for (uint32_t y = 0; y < kCell; ++y)
        for (uint32_t x = 0; x < kCell; ++x)
            insideOnly += pixels[y * 2 * kCell + x] == kBackground && pixels[y * 2 * kCell + kCell + x] != kBackground;
    EXPECT_GT(insideOnly, 300u);
}

// A multiplying square (blend mode 2), then one of blend mode 7, which keeps the states the
// first left: both multiply the background. The draw puts the states back afterwards.
TEST(ModelDrawTest, BlendModeSevenKeepsThePreviousStatesAndTheDrawRestoresThem) {
    const SMesh left = Square(-1.2f, 0.8f, 1.2f), right = Square(0.0f, 0.8f, 1.2f);
    const std::vector<uint32_t> pixels = Render(1, [&](CModelScene& scene) {
        scene.Cell(0);
        scene.device->SetRenderState(RenderState::CullMode, Cull::CW);
        SModelSurface multiply = Surface(0), inherit = Surface(0);
        multiply.blendMode = 2;
        multiply.diffuse = {1.0f, 0.5f, 0.5f, 1.0f};
        inherit.blendMode = 7;
        inherit.diffuse = {0.5f, 1.0f, 0.5f, 1.0f};
        const SModelMesh meshes[] = {left.View(&multiply), right.View(&inherit)};
        ASSERT_EQ(DrawModelMeshes(scene.device, scene.context, meshes, 2, nullptr, nullptr, 1), 0);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::SrcBlend), Blend::SrcAlpha);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::DestBlend), Blend::InvSrcAlpha);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::CullMode), Cull::CW);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::SpecularEnable), 0u);
        EXPECT_EQ(scene.device->GetTextureStageState(1, TexStage::ColorOp), TexOp::Disable);
        EXPECT_EQ(scene.device->GetVertexShader(), nullptr);
    });
    ExpectGolden(pixels, kCell, "blend7.png");
    EXPECT_EQ(pixels[40 * kCell + 30], 0xFF402428u) << "background times (1, 0.5, 0.5)";
    EXPECT_EQ(pixels[40 * kCell + 66], 0xFF204828u) << "background times (0.5, 1, 0.5)";
}

// A target of transparent black whose alpha blends by its own factors and adds up, as the model
// target draws: a normal surface leaves its colour weighted by its alpha, and its alpha as the
// coverage; two of alpha 0.5 cover 0.75; an additive surface adds its light and no coverage.
TEST(ModelDrawTest, TheTargetAlphaAddsUpTheCoverageOfNormalSurfacesOnly) {
    const SMesh left = Square(-1.2f, 0.8f, 1.2f), right = Square(0.0f, 0.8f, 1.2f);
    SModelSurface translucent = Surface(0), additive = Surface(0);
    translucent.diffuse = {204 / 255.0f, 102 / 255.0f, 51 / 255.0f, 0.5f};
    additive.blendMode = 1;
    additive.diffuse = {51 / 255.0f, 51 / 255.0f, 51 / 255.0f, 1.0f};
    const std::vector<uint32_t> pixels = Render(1, [&](CModelScene& scene) {
        CGraphicsDevice* device = scene.device;
        scene.Cell(0);
        device->Clear(0, nullptr, ClearFlag::Target, 0, 1.0f, 0);
        device->SetRenderState(RenderState::CullMode, Cull::None);
        device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
        device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Add);
        device->SetRenderState(RenderState::SrcBlendAlpha, Blend::One);
        device->SetRenderState(RenderState::DestBlendAlpha, Blend::InvSrcAlpha);
        const SModelMesh meshes[] = {left.View(&translucent), right.View(&translucent), right.View(&translucent),
                                     left.View(&additive)};
        ASSERT_EQ(DrawModelMeshes(device, scene.context, meshes, 4, nullptr, nullptr, 0), 0);
        EXPECT_EQ(device->GetRenderState(RenderState::SrcBlendAlpha), Blend::One);
        EXPECT_EQ(device->GetRenderState(RenderState::DestBlendAlpha), Blend::InvSrcAlpha);
    });
    // 0xAARRGGBB against (colour × coverage + added light, coverage), in 255ths.
    const auto expect = [](uint32_t pixel, const std::array<float, 4>& argb, const char* what) {
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(static_cast<float>(pixel >> (24 - 8 * c) & 0xFF), argb[c], 1.0f) << what << ", byte " << c;
    };
    expect(pixels[40 * kCell + 30], {127.5f, 102 + 51, 51 + 51, 25.5f + 51}, "one layer and the additive light");
    expect(pixels[40 * kCell + 66], {191.25f, 153, 76.5f, 38.25f}, "two layers of alpha 0.5");
    EXPECT_EQ(pixels[5 * kCell + 5], 0u) << "nothing drawn";
}

// ---- Morphing ----

TEST(ModelDrawTest, MorphingBlendsTowardsTheTargetAndRefusesMismatchedTargets) {
    const SMesh small = Sphere(0.5f), large = Sphere(1.5f), coarse = Sphere(1.0f, 6, 8);
    CModelScene scene(1);
    scene.Cell(0);
    const SModelSurface s = Surface(0);
    const SModelMesh base = small.View(&s), target = large.View(&s), other = coarse.View(&s);
    scene.device->SetRenderState(RenderState::CullMode, Cull::CW);
    const SMorphTarget mismatched = {&other, 1, {0.5f, 0, 0}}, missing = {&target, 0, {0.5f, 0, 0}};
    for (const SMorphTarget* bad : {&mismatched, &missing}) {
        EXPECT_EQ(DrawModelMeshes(scene.device, scene.context, &base, 1, bad, nullptr, 1), -1);
        EXPECT_EQ(scene.device->GetRenderState(RenderState::CullMode), Cull::CW);
    }
    EXPECT_EQ(scene.Pixels(), std::vector<uint32_t>(kCell * kCell, kBackground)) << "nothing drawn";

    // Halfway from radius 0.5 to 1.5: radius 1, the same rim as a sphere of radius 1.
    const SMorphTarget halfway = {&target, 1, {0.5f, 0, 0}};
    ASSERT_EQ(DrawModelMeshes(scene.device, scene.context, &base, 1, &halfway, nullptr, 0), 0);
    SVector4 weight = {};
    scene.context.effect->GetVector(scene.context.handles.morphingWeight, &weight);
    EXPECT_EQ(weight.x, 0.5f);
    const std::vector<uint32_t> morphed = scene.Pixels();
    CModelScene plain(1);
    plain.Cell(0);
    const SMesh unit = Sphere(1.0f);
    DrawMesh(plain, unit, s);
    EXPECT_EQ(morphed, plain.Pixels());
}

// ---- Skinning ----

// The bounds of the pixels that differ from the background: left, top, right, bottom.
std::vector<int32_t> DrawnBounds(const CModelScene& scene) {
    std::vector<int32_t> b = {INT32_MAX, INT32_MAX, -1, -1};
    for (int32_t y = 0; y < static_cast<int32_t>(kCell); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(scene.Width()); ++x)
            if (scene.Pixel(x, y) != kBackground) b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x), std::max(b[3], y)};
    return b;
}

// Each vertex blends two palette slots half and half: the square moves by the mean of their
// translations, and a slot outside the palette adds nothing.
TEST(ModelDrawTest, VerticesBlendTheirPaletteSlotsByWeight) {
    SMesh square = Square(-0.5f, 0.5f, 1.0f);
    const SModelSurface s = Surface(0);
    CModelScene plain(1), skinned(1);
    plain.Cell(0);
    skinned.Cell(0);
    DrawMesh(plain, square, s);
    SMatrix right, up;
    MatrixTranslation(&right, 0.8f, 0, 0);
    MatrixTranslation(&up, 0, 0.8f, 0);
    skinned.context.SetBlendMatrix(3, right);
    skinned.context.SetBlendMatrix(5, up);
    for (SVertex& v : square.vertices) {
        const float indices[4] = {3, 5, 200, 0}, weights[4] = {0.5f, 0.5f, 1.0f, 0.0f};
        std::copy(indices, indices + 4, v.indices);
        std::copy(weights, weights + 4, v.weights);
    }
    DrawMesh(skinned, square, s);
    const std::vector<int32_t> before = DrawnBounds(plain), after = DrawnBounds(skinned);
    // 0.4 units at 3 units' distance with a 60-degree view over 96 pixels: about 11 pixels.
    const int32_t shift = static_cast<int32_t>(std::lround(0.4 / (3 * std::tan(M_PI / 6)) * kCell / 2));
    EXPECT_NEAR(after[0] - before[0], shift, 1);
    EXPECT_NEAR(after[2] - before[2], shift, 1);
    EXPECT_NEAR(after[1] - before[1], -shift, 1);
    EXPECT_NEAR(after[3] - before[3], -shift, 1);
}

// ---- The palette ----

TEST(ModelDrawTest, PaletteRecordsUploadTheirNodesOrTheLayerMatrix) {
    CModelScene scene(1);
    const auto matrix = [](float tag) {
        SMatrix m;
        MatrixTranslation(&m, tag, 0, 0);
        return m;
    };
    const std::vector<SMatrix> nodes = {matrix(10), matrix(11), matrix(12), matrix(13)};
    const auto skinning = [&](uint16_t node) { return node < nodes.size() ? &nodes[node] : nullptr; };
    const auto slotTag = [&](uint32_t slot) {
        SMatrix m;
        scene.context.effect->GetMatrix(scene.context.handles.blendMatrix[slot], &m);
        return m.m[3][0];
    };
    struct SRecord {
        uint16_t node, slot;
    };
    const std::vector<SRecord> records = {
        {3, 5},              // a node's matrix
        {kModelNoNode, 6},   // no node: the layer matrix
        {1, kModelNoNode},   // skipped
        {2, 80},             // beyond the palette: nothing
        {9, 8},              // a node the model does not have: the layer matrix
    };
    for (uint32_t slot = 0; slot < kBlendMatrixCount; ++slot) scene.context.SetBlendMatrix(slot, matrix(-1));

    UploadLayerPalette(scene.context, kModelNoNode, 7, records, skinning);  // no own node: identity
    EXPECT_EQ(slotTag(7), 0.0f);
    EXPECT_EQ(slotTag(5), 13.0f);
    EXPECT_EQ(slotTag(6), 0.0f);
    EXPECT_EQ(slotTag(8), 0.0f);
    for (uint32_t slot : {0u, 1u, 2u, 4u, 9u, 79u}) EXPECT_EQ(slotTag(slot), -1.0f) << slot;

    UploadLayerPalette(scene.context, 2, 80, records, skinning);  // own node 2, own slot beyond the palette
    EXPECT_EQ(slotTag(6), 12.0f);
    EXPECT_EQ(slotTag(5), 13.0f);
    EXPECT_EQ(slotTag(7), 0.0f) << "the own slot 80 uploads nothing";

    // A model without nodes: every record and the own slot get the identity.
    UploadLayerPalette(scene.context, 0, 4, records, [](uint16_t) { return static_cast<const SMatrix*>(nullptr); });
    for (uint32_t slot : {4u, 5u, 6u}) EXPECT_EQ(slotTag(slot), 0.0f) << slot;
}

}  // namespace
