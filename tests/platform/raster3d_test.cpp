// The 3D path of the rasteriser: the span paths against the reference on random meshes, and
// the geometry rules (perspective, clipping, shared edges, culling, depth) on small cases.
#include "platform/raster3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using raster::Path;

class CRandom {
public:
    explicit CRandom(uint32_t seed) : engine_(seed) {}
    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(engine_); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
    float Real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine_); }
    uint32_t Word() { return static_cast<uint32_t>(engine_()); }

private:
    std::mt19937 engine_;
};

struct SCanvas {
    uint32_t width, height;
    bool opaque;
    std::vector<uint32_t> pixels;
    std::vector<uint16_t> depth;

    raster::STarget Target() {
        return {pixels.data(), static_cast<int32_t>(width), width, height, opaque,
                depth.empty() ? nullptr : depth.data(), static_cast<int32_t>(width),
                0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
    }
};

SCanvas Canvas(uint32_t width, uint32_t height, uint32_t colour = 0xFF000000u, bool withDepth = true) {
    return {width, height, false, std::vector<uint32_t>(width * height, colour),
            withDepth ? std::vector<uint16_t>(width * height, 0xFFFF) : std::vector<uint16_t>()};
}

raster::SViewport3D Viewport(const SCanvas& c) { return {0, 0, double(c.width), double(c.height), 0, 1}; }

// Untextured, unblended, depth-tested drawing of the diffuse colour.
raster::SPipeline3D PlainPipeline() {
    static const uint32_t kWhite = 0xFFFFFFFFu;
    raster::SPipeline3D p = {};
    p.base.texture = {&kWhite, 1, 1, 1, 0};
    p.base.colourA = p.base.alphaA = raster::kSrcDiffuse;
    p.base.colourB = p.base.alphaB = raster::kSrcWhite;
    p.base.depthTest = p.base.depthWrite = true;
    p.base.depthFunc = Cmp::LessEqual;
    p.base.srcBlend = p.base.srcBlendAlpha = Blend::One;
    p.base.destBlend = p.base.destBlendAlpha = Blend::Zero;
    p.base.blendOp = p.base.blendOpAlpha = BlendOp::Add;
    p.texture1 = {&kWhite, 1, 1, 1, 0};
    return p;
}

SShadedVertex Vertex(float x, float y, float z, float w, uint32_t argb = 0xFFFFFFFFu, float u = 0, float v = 0) {
    SShadedVertex s = {};
    s.position[0] = x, s.position[1] = y, s.position[2] = z, s.position[3] = w;
    for (int c = 0; c < 4; ++c) s.diffuse[c] = ((argb >> (c == 3 ? 24 : 16 - 8 * c)) & 0xFF) / 255.0f;
    s.texCoord[0][0] = s.texCoord[1][0] = u;
    s.texCoord[0][1] = s.texCoord[1][1] = v;
    return s;
}

void Draw(SCanvas& c, const raster::SPipeline3D& p, const std::vector<SShadedVertex>& v,
          const std::vector<uint32_t>& indices, Path path = Path::Reference) {
    raster::SelectPath(path);
    raster::DrawTriangles3D(c.Target(), p, Viewport(c), v.data(), static_cast<uint32_t>(v.size()), indices.data(),
                            static_cast<uint32_t>(indices.size() / 3));
    raster::SelectPath(Path::Auto);
}

// ---- The span paths against the reference ----

struct SCase {
    SCanvas canvas;
    std::vector<uint32_t> texels0, texels1;
    raster::SPipeline3D pipeline;
    std::vector<SShadedVertex> vertices;
    std::vector<uint32_t> indices;
};

raster::STextureView RandomTexture(CRandom& r, std::vector<uint32_t>* texels) {
    const uint32_t w = 1 + r.Below(40), h = 1 + r.Below(40);
    texels->resize(w * h);
    for (uint32_t& t : *texels) t = r.Chance(20) ? t & 0x00FFFFFFu : r.Word();
    return {texels->data(), static_cast<int32_t>(w), w, h, r.Chance(20) ? 0xFF000000u : 0u};
}

SCase RandomCase(uint32_t seed) {
    CRandom r(seed);
    SCase c{Canvas(1 + r.Below(160), 1 + r.Below(100), r.Word(), r.Chance(80)), {}, {}, PlainPipeline(), {}, {}};
    c.canvas.opaque = r.Chance(30);
    for (uint16_t& d : c.canvas.depth) d = static_cast<uint16_t>(r.Chance(50) ? 0xFFFF : r.Below(65536));
    raster::SPipeline3D& p = c.pipeline;
    const raster::Source sources[3] = {raster::kSrcTexture, raster::kSrcDiffuse, raster::kSrcWhite};
    const bool modulate = r.Chance(60);  // the model effect's stage: texture times diffuse
    p.base.colourA = p.base.alphaA = modulate ? raster::kSrcTexture : sources[r.Below(3)];
    p.base.colourB = p.base.alphaB = modulate ? raster::kSrcDiffuse : sources[r.Below(3)];
    if (r.Chance(20)) p.base.alphaA = sources[r.Below(3)];
    p.base.useTexture = r.Chance(70);
    p.base.texture = RandomTexture(r, &c.texels0);
    p.base.minLinear = r.Chance(50);
    p.base.magLinear = r.Chance(50);
    p.stage1Colour = r.Chance(40);
    p.stage1Alpha = r.Chance(20);
    p.texture1 = RandomTexture(r, &c.texels1);
    p.minLinear1 = r.Chance(30);
    p.magLinear1 = r.Chance(30);
    p.specular = r.Chance(40);
    p.base.alphaTest = r.Chance(60);
    p.base.alphaFunc = r.Chance(70) ? Cmp::Greater : 1 + r.Below(8);
    p.base.alphaRef = static_cast<uint8_t>(r.Chance(60) ? 0 : r.Below(256));
    p.base.blend = r.Chance(70);
    const uint32_t factors[] = {Blend::SrcAlpha, Blend::InvSrcAlpha, Blend::One, Blend::Zero, Blend::DestColor,
                                Blend::InvSrcColor};
    p.base.srcBlend = p.base.srcBlendAlpha = r.Chance(60) ? Blend::SrcAlpha : factors[r.Below(6)];
    p.base.destBlend = p.base.destBlendAlpha = r.Chance(60) ? Blend::InvSrcAlpha : factors[r.Below(6)];
    if (r.Chance(40)) {  // the model target's alpha: the coverage adds up, or stays
        const bool covers = r.Chance(70);
        p.base.srcBlendAlpha = covers ? Blend::One : Blend::Zero;
        p.base.destBlendAlpha = covers ? Blend::InvSrcAlpha : Blend::One;
    }
    p.base.depthTest = r.Chance(80);
    p.base.depthWrite = p.base.depthTest && r.Chance(80);
    p.base.depthFunc = r.Chance(80) ? Cmp::LessEqual : 1 + r.Below(8);
    p.base.cullCw = r.Chance(20);
    p.base.cullCcw = !p.base.cullCw && r.Chance(20);

    // A small grid of vertices in clip space, some behind the eye or beyond the far plane, with
    // shared corners, random colours and coordinates; flat colours now and then.
    const uint32_t columns = 2 + r.Below(4), rows = 2 + r.Below(4);
    const bool flat = r.Chance(25);
    const uint32_t flatColour = r.Word();
    for (uint32_t i = 0; i < columns * rows; ++i) {
        const float w = r.Chance(10) ? r.Real(-0.5f, 0.05f) : r.Real(0.2f, 3.0f);
        const float z = r.Chance(10) ? r.Real(-1.0f, 0.0f) : r.Chance(10) ? w * r.Real(1.0f, 1.5f) : w * r.Real(0, 1);
        SShadedVertex v = Vertex(r.Real(-1.5f, 1.5f) * std::fabs(w), r.Real(-1.5f, 1.5f) * std::fabs(w), z, w,
                                 flat ? flatColour : r.Word(), r.Real(-3, 3), r.Real(-3, 3));
        for (float& s : v.specular) s = r.Real(-0.2f, 1.2f);
        v.texCoord[1][0] = r.Real(0, 1);
        v.texCoord[1][1] = r.Chance(50) ? 0.0f : r.Real(-2, 2);
        c.vertices.push_back(v);
    }
    for (uint32_t y = 0; y + 1 < rows; ++y)
        for (uint32_t x = 0; x + 1 < columns; ++x) {
            const uint32_t a = y * columns + x, b = a + 1, d = a + columns, e = d + 1;
            c.indices.insert(c.indices.end(), {a, b, e, a, e, d});
        }
    return c;
}

TEST(Raster3DTest, SpanPathsMatchTheReferenceOnRandomMeshes) {
    std::vector<Path> paths = {Path::Sse2};
    if (raster::CpuHasAvx2()) paths.push_back(Path::Avx2);
    int drawn = 0;
    for (uint32_t seed = 1; seed <= 3000; ++seed) {
        const SCase c = RandomCase(seed);
        SCase reference = c;
        Draw(reference.canvas, reference.pipeline, reference.vertices, reference.indices, Path::Reference);
        drawn += reference.canvas.pixels != c.canvas.pixels;
        for (Path path : paths) {
            SCase fast = c;
            Draw(fast.canvas, fast.pipeline, fast.vertices, fast.indices, path);
            for (size_t i = 0; i < fast.canvas.pixels.size(); ++i)
                ASSERT_EQ(fast.canvas.pixels[i], reference.canvas.pixels[i])
                    << "seed " << seed << " path " << static_cast<int>(path) << " pixel " << i % c.canvas.width
                    << "," << i / c.canvas.width;
            ASSERT_EQ(fast.canvas.depth, reference.canvas.depth) << "seed " << seed;
        }
    }
    EXPECT_GT(drawn, 1500);  // most cases must change pixels, or the comparison proves little
}

// ---- Geometry ----

// A floor strip receding from w = 1 to w = 4, textured with a ramp whose texel x encodes x: the
// texel reached at each pixel is the one perspective predicts, not the screen-linear one.
TEST(Raster3DTest, TextureCoordinatesArePerspectiveCorrect) {
    std::vector<uint32_t> ramp(256);
    for (uint32_t x = 0; x < 256; ++x) ramp[x] = 0xFF000000u | x;
    raster::SPipeline3D p = PlainPipeline();
    p.base.useTexture = true;
    p.base.texture = {ramp.data(), 256, 256, 1, 0};
    p.base.colourA = p.base.alphaA = raster::kSrcTexture;
    SCanvas c = Canvas(64, 256);
    // Screen rows 0..255 go from w = 4 (top) to w = 1 (bottom); u runs 0 → 1 along the strip.
    const std::vector<SShadedVertex> v = {Vertex(-4, 4, 0, 4, ~0u, 0.999f, 0), Vertex(4, 4, 0, 4, ~0u, 0.999f, 0),
                                          Vertex(1, -1, 0, 1, ~0u, 0, 0), Vertex(-1, -1, 0, 1, ~0u, 0, 0)};
    Draw(c, p, v, {0, 1, 2, 0, 2, 3});
    for (uint32_t y : {10u, 64u, 128u, 200u, 250u}) {
        const double s = (2.0 - y / 128.0) / 2.0;  // the row's fraction of the way up the screen
        const double q = (1 - s) * 1.0 + s * 0.25;  // 1 / w is linear in screen space,
        const double u = (s * 0.25 * 0.999) / q;    // and so is u / w
        const double texel = c.pixels[y * 64 + 32] & 0xFF;
        EXPECT_NEAR(texel, u * 256, 1.0) << "row " << y;
        if (y == 128) {
            EXPECT_GT(std::fabs(texel - s * 0.999 * 256), 40) << "screen-linear would be wrong";
        }
    }
}

// A quad across the near plane, as two triangles sharing a diagonal that crosses it too, drawn
// with additive blending: the part in front is covered exactly once, nothing behind appears.
TEST(Raster3DTest, NearClippingKeepsSharedEdgesWatertight) {
    raster::SPipeline3D p = PlainPipeline();
    p.base.depthTest = false;
    p.base.blend = true;
    p.base.srcBlend = p.base.destBlend = Blend::One;
    SCanvas c = Canvas(100, 100, 0xFF000000u, false);
    const uint32_t one = 0x01010101u;
    // z runs from -0.7 (behind) at the bottom to 1.9 at the top; w = 1 + z.
    const auto corner = [&](float x, float z) { return Vertex(x * (1 + z), (z - 0.6f) * (1 + z), z, 1 + z, one); };
    const std::vector<SShadedVertex> v = {corner(-0.9f, -0.7f), corner(0.9f, -0.7f), corner(0.8f, 1.9f),
                                          corner(-0.8f, 1.9f)};
    Draw(c, p, v, {0, 1, 2, 0, 2, 3});
    // The near plane cuts both triangles along clip-space y = 0.73 (screen row 13.5): the rows
    // above it are covered once between the edges, the rows below it not at all.
    for (uint32_t y = 0; y < 100; ++y) {
        uint32_t covered = 0;
        for (uint32_t x = 0; x < 100; ++x) {
            const uint32_t pixel = c.pixels[y * 100 + x] & 0xFFFFFF;
            ASSERT_TRUE(pixel == 0 || pixel == 0x010101) << x << "," << y << " drawn more than once";
            covered += pixel != 0;
        }
        EXPECT_TRUE(y <= 13 ? covered >= 80 : covered == 0) << "row " << y << ": " << covered;
    }
}

TEST(Raster3DTest, CullingFollowsScreenWindingAndDepthKeepsTheNearest) {
    // Clockwise on screen (y up in clip space becomes y down on screen).
    const std::vector<SShadedVertex> clockwise = {Vertex(-1, 1, 0.5f, 1, 0xFFFF0000u), Vertex(1, 1, 0.5f, 1, 0xFFFF0000u),
                                                  Vertex(0, -1, 0.5f, 1, 0xFFFF0000u)};
    struct SCull {
        bool cw, ccw, drawn;
    };
    for (const SCull& cull : {SCull{false, false, true}, SCull{true, false, false}, SCull{false, true, true}}) {
        raster::SPipeline3D p = PlainPipeline();
        p.base.cullCw = cull.cw;
        p.base.cullCcw = cull.ccw;
        SCanvas c = Canvas(16, 16);
        Draw(c, p, clockwise, {0, 1, 2});
        EXPECT_EQ(c.pixels[8 * 16 + 8] == 0xFFFF0000u, cull.drawn) << cull.cw << cull.ccw;
    }
    // A green triangle nearer than the red one wins in either drawing order.
    std::vector<SShadedVertex> both = clockwise;
    for (const SShadedVertex& v : clockwise) both.push_back(Vertex(v.position[0], v.position[1], 0.25f, 1, 0xFF00FF00u));
    for (const std::vector<uint32_t>& order : {std::vector<uint32_t>{0, 1, 2, 3, 4, 5}, {3, 4, 5, 0, 1, 2}}) {
        SCanvas c = Canvas(16, 16);
        Draw(c, PlainPipeline(), both, order);
        EXPECT_EQ(c.pixels[8 * 16 + 8], 0xFF00FF00u);
        EXPECT_EQ(c.depth[8 * 16 + 8], 16384) << "z 0.25 of 65535";
    }
}

}  // namespace
