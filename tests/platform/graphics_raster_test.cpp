// The span paths (SSE2, AVX2) against the reference rasteriser on random triangles and states:
// every pixel and depth value must agree bit for bit.
#include "platform/raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <random>
#include <vector>

#include "platform/graphics.h"

namespace {

using raster::Path;

struct SCase {
    uint32_t width, height;
    bool opaque, withDepth;
    std::vector<uint32_t> pixels;
    std::vector<uint16_t> depth;
    std::vector<uint32_t> texels;
    uint32_t texWidth, texHeight;
    raster::SPipeline pipeline;
    std::vector<std::vector<raster::SVertex>> shapes;  // triangles and quads (two-triangle fans)
    int32_t clip[4];
};

class CRandom {
public:
    explicit CRandom(uint32_t seed) : engine_(seed) {}
    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(engine_); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
    double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    uint32_t Colour() {
        const uint32_t kinds[] = {0x00000000u, 0xFFFFFFFFu, 0xFF000000u, 0x80FFFFFFu};
        return Chance(20) ? kinds[Below(4)] : static_cast<uint32_t>(engine_());
    }

private:
    std::mt19937 engine_;
};

const uint32_t kFactors[] = {Blend::Zero,      Blend::One,          Blend::SrcColor,  Blend::InvSrcColor,
                             Blend::SrcAlpha,  Blend::InvSrcAlpha,  Blend::DestAlpha, Blend::InvDestAlpha,
                             Blend::DestColor, Blend::InvDestColor, 12};
const uint32_t kOps[] = {BlendOp::Add, BlendOp::Subtract, BlendOp::RevSubtract, BlendOp::Min, BlendOp::Max, 9};

// The source and destination factors of the seven layer blend modes, and the model target's
// premultiplied "over".
const uint32_t kLayerBlends[8][2] = {{Blend::SrcAlpha, Blend::InvSrcAlpha}, {Blend::SrcAlpha, Blend::One},
                                     {Blend::DestColor, Blend::Zero},       {Blend::InvDestColor, Blend::InvSrcColor},
                                     {Blend::One, Blend::InvSrcColor},      {Blend::Zero, Blend::InvSrcColor},
                                     {Blend::DestColor, Blend::One},        {Blend::One, Blend::InvSrcAlpha}};
constexpr uint32_t kPremultipliedOver = 7;

// The game's separate alpha blends (source, destination, operation): the engine's MAX, the
// model target's coverage (the source's alpha "over" the destination's) and a kept alpha.
const uint32_t kGameAlphaBlends[3][3] = {{Blend::One, Blend::Zero, BlendOp::Max},
                                         {Blend::One, Blend::InvSrcAlpha, BlendOp::Add},
                                         {Blend::Zero, Blend::One, BlendOp::Add}};

// Random states; with `game` set, biased to the states the game draws with: the layer blends,
// with separate alpha blending as the engine and the model target set it up or without, the "greater
// than" alpha test or none, stage 0 selecting or modulating, point and linear filters, no depth
// test or one that always passes.
raster::SPipeline RandomPipeline(CRandom& r, bool game) {
    using raster::kSrcDiffuse, raster::kSrcTexture, raster::kSrcWhite;
    // Colour A, colour B, alpha A, alpha B of the game's stage set-ups: SELECTARG1 TEXTURE,
    // texture colour with modulated alpha, diffuse colour with modulated alpha (the text
    // shadow), the diffuse colour alone (a disabled stage), MODULATE.
    const raster::Source kStages[5][4] = {{kSrcTexture, kSrcWhite, kSrcTexture, kSrcWhite},
                                          {kSrcTexture, kSrcWhite, kSrcTexture, kSrcDiffuse},
                                          {kSrcDiffuse, kSrcWhite, kSrcTexture, kSrcDiffuse},
                                          {kSrcDiffuse, kSrcWhite, kSrcDiffuse, kSrcWhite},
                                          {kSrcTexture, kSrcDiffuse, kSrcTexture, kSrcDiffuse}};
    raster::SPipeline p = {};
    raster::Source* operands[4] = {&p.colourA, &p.colourB, &p.alphaA, &p.alphaB};
    const raster::Source* stage = game ? kStages[std::min(r.Below(6), 4u)] : r.Chance(40) ? kStages[4] : nullptr;
    for (int i = 0; i < 4; ++i) *operands[i] = stage ? stage[i] : static_cast<raster::Source>(r.Below(3));
    p.useTexture = p.colourA == kSrcTexture || p.alphaA == kSrcTexture ||
                   (!game && (p.colourB == kSrcTexture || p.alphaB == kSrcTexture));
    p.minLinear = r.Chance(game ? 30 : 40);
    p.magLinear = r.Chance(game ? 30 : 40);
    p.alphaTest = r.Chance(game ? 80 : 60);
    p.alphaFunc = game && r.Chance(85) ? Cmp::Greater : game && r.Chance(50) ? Cmp::Always : 1 + r.Below(9);
    p.alphaRef = static_cast<uint8_t>(r.Chance(game ? 70 : 50) ? 0 : r.Below(256));
    p.blend = r.Chance(game ? 90 : 80);
    const uint32_t* pair = kLayerBlends[r.Chance(40) ? 0 : r.Below(8)];
    p.srcBlend = game ? pair[0] : kFactors[r.Below(11)];
    p.destBlend = game ? pair[1] : kFactors[r.Below(11)];
    p.blendOp = r.Chance(game ? 95 : 50) ? BlendOp::Add : kOps[r.Below(6)];
    p.srcBlendAlpha = p.srcBlend;
    p.destBlendAlpha = p.destBlend;
    p.blendOpAlpha = p.blendOp;
    if (r.Chance(game ? 50 : 40)) {  // separate alpha blending: the game's, or any
        const uint32_t* alpha = kGameAlphaBlends[r.Below(3)];
        p.srcBlendAlpha = game && r.Chance(70) ? alpha[0] : kFactors[r.Below(11)];
        p.destBlendAlpha = game && r.Chance(70) ? alpha[1] : kFactors[r.Below(11)];
        p.blendOpAlpha = game && r.Chance(70) ? alpha[2] : kOps[r.Below(6)];
    }
    p.depthTest = r.Chance(game ? 50 : 60);
    p.depthWrite = p.depthTest && r.Chance(game ? 80 : 70);
    p.depthFunc = game && r.Chance(80) ? Cmp::LessEqual : 1 + r.Below(9);
    p.cullCw = !game && r.Chance(15);
    p.cullCcw = !game && !p.cullCw && r.Chance(15);
    return p;
}

double Coordinate(CRandom& r, uint32_t size) {
    switch (r.Below(10)) {
        case 0: return r.Real(-1e9, 1e9);
        case 1: return r.Real(-40000, 40000);
        case 2: return std::floor(r.Real(-5, size + 5));
        case 3: return std::floor(r.Real(-5, size + 5)) + 0.5;
        default: return r.Real(-10, size + 10);
    }
}

void AddRandomShape(CRandom& r, SCase& c, bool gameStates) {
    const bool flatColour = r.Chance(gameStates ? 85 : 50);
    const bool flatZ = r.Chance(gameStates ? 90 : 60);
    // A layer's colour: white, faded white, or any.
    const uint32_t fade = r.Below(256) << 24;
    const uint32_t colour = gameStates && r.Chance(60) ? (r.Chance(50) ? 0xFFFFFFFFu : fade | 0xFFFFFF) : r.Colour();
    const double z = r.Chance(gameStates ? 80 : 30) ? 0.0 : r.Real(-0.1, 1.1);
    const auto vertex = [&](double x, double y, double u, double v) {
        return raster::SVertex{x, y, flatZ ? z : r.Real(-0.2, 1.2), flatColour ? colour : r.Colour(), u, v};
    };
    const int kind = static_cast<int>(r.Below(4));
    if (kind <= 1) {
        // A sprite quad with the 0.1-texel nudge, sometimes scaled, rotated or as two triangles.
        const double x = std::floor(r.Real(-20, c.width + 5));
        const double y = std::floor(r.Real(-20, c.height + 5));
        const double w = std::floor(r.Real(1, 90));
        const double h = std::floor(r.Real(1, 60));
        const double scale = r.Chance(50) ? 1.0 : r.Real(0.3, 3.0);
        const double angle = r.Chance(60) ? 0.0 : r.Chance(50) ? M_PI / 2 * r.Below(4) : r.Real(-4, 4);
        const double cx = x + r.Real(-10, 10), cy = y + r.Real(-10, 10);
        const auto turn = [&](double px, double py, double u, double v) {
            const double dx = px - cx, dy = py - cy;
            return vertex(cx + dx * std::cos(angle) - dy * std::sin(angle),
                          cy + dx * std::sin(angle) + dy * std::cos(angle), u, v);
        };
        const double u0 = (std::floor(r.Real(0, c.texWidth)) + 0.1) / c.texWidth;
        const double v0 = (std::floor(r.Real(0, c.texHeight)) + 0.1) / c.texHeight;
        const double u1 = u0 + w / c.texWidth, v1 = v0 + h / c.texHeight;
        const std::vector<raster::SVertex> q = {turn(x, y, u0, v0), turn(x + w * scale, y, u1, v0),
                                                turn(x + w * scale, y + h * scale, u1, v1),
                                                turn(x, y + h * scale, u0, v1)};
        if (kind == 0) {
            c.shapes.push_back(q);
        } else {
            c.shapes.push_back({q[0], q[1], q[2]});
            c.shapes.push_back({q[0], q[2], q[3]});
        }
        return;
    }
    const auto random = [&] {
        return vertex(Coordinate(r, c.width), Coordinate(r, c.height), r.Real(-3, 3), r.Real(-3, 3));
    };
    if (kind == 2) {
        c.shapes.push_back({random(), random(), random(), random()});
        return;
    }
    const int count = 1 + static_cast<int>(r.Below(3));
    for (int i = 0; i < count; ++i) c.shapes.push_back({random(), random(), random()});
}

// Texels of one of three kinds: any, sparse (many fully transparent, half of those empty as a
// premultiplied picture is), or opaque pictures.
uint32_t RandomTexel(CRandom& r, int kind) {
    switch (kind) {
        case 0: return r.Colour();
        case 1: return r.Chance(60) ? r.Colour() & (r.Chance(50) ? 0x00FFFFFFu : 0u) : r.Colour();
        default: return r.Colour() | 0xFF000000u;
    }
}

// maxWidth bounds the target's width; the shapes' spans follow it.
SCase RandomCase(uint32_t seed, bool gameStates, uint32_t maxWidth = 90) {
    CRandom r(seed);
    SCase c;
    c.width = 1 + r.Below(maxWidth);
    c.height = 1 + r.Below(40);
    c.opaque = r.Chance(50);
    c.withDepth = r.Chance(70);
    c.pixels.resize(c.width * c.height);
    for (uint32_t& p : c.pixels) p = r.Colour();
    if (c.withDepth) {
        c.depth.resize(c.width * c.height);
        for (uint16_t& d : c.depth) d = static_cast<uint16_t>(r.Chance(30) ? 65535 : r.Below(65536));
    }
    const bool single = gameStates && r.Chance(10);  // an untextured quad draws with a white 1×1 texture
    c.texWidth = single ? 1 : 1 + r.Below(48);
    c.texHeight = single ? 1 : 1 + r.Below(48);
    c.texels.resize(c.texWidth * c.texHeight);
    const int texelKind = static_cast<int>(r.Below(3));
    for (uint32_t& t : c.texels) t = single && r.Chance(70) ? 0xFFFFFFFFu : RandomTexel(r, texelKind);
    c.pipeline = RandomPipeline(r, gameStates);
    c.pipeline.texture = {c.texels.data(), static_cast<int32_t>(c.texWidth), c.texWidth, c.texHeight,
                          r.Chance(20) ? 0xFF000000u : 0u};
    c.clip[0] = static_cast<int32_t>(r.Below(c.width));
    c.clip[1] = static_cast<int32_t>(r.Below(c.height));
    c.clip[2] = c.clip[0] + 1 + static_cast<int32_t>(r.Below(c.width - c.clip[0]));
    c.clip[3] = c.clip[1] + 1 + static_cast<int32_t>(r.Below(c.height - c.clip[1]));
    if (r.Chance(60)) {
        c.clip[0] = c.clip[1] = 0;
        c.clip[2] = static_cast<int32_t>(c.width);
        c.clip[3] = static_cast<int32_t>(c.height);
    }
    const int draws = 1 + static_cast<int>(r.Below(3));
    for (int i = 0; i < draws; ++i) AddRandomShape(r, c, gameStates);
    return c;
}

void Render(SCase c, Path path, std::vector<uint32_t>* pixels, std::vector<uint16_t>* depth) {
    const raster::STarget t = {c.pixels.data(), static_cast<int32_t>(c.width), c.width, c.height, c.opaque,
                               c.withDepth ? c.depth.data() : nullptr, static_cast<int32_t>(c.width),
                               c.clip[0], c.clip[1], c.clip[2], c.clip[3]};
    raster::SelectPath(path);
    for (const std::vector<raster::SVertex>& v : c.shapes) {
        if (v.size() == 4)
            raster::DrawQuad(t, c.pipeline, v[0], v[1], v[2], v[3]);
        else
            raster::DrawTriangle(t, c.pipeline, v[0], v[1], v[2]);
    }
    raster::SelectPath(Path::Auto);
    *pixels = c.pixels;
    *depth = c.depth;
}

// Draws the case with the reference and every span path; false (after reporting it) at the first
// pixel or depth value that differs. *drawn tells whether the reference changed anything.
bool MatchesReference(const SCase& c, uint32_t seed, bool* drawn) {
    std::vector<Path> paths = {Path::Sse2};
    if (raster::CpuHasAvx2()) paths.push_back(Path::Avx2);
    std::vector<uint32_t> refPixels, pixels;
    std::vector<uint16_t> refDepth, depth;
    Render(c, Path::Reference, &refPixels, &refDepth);
    *drawn = refPixels != c.pixels || refDepth != c.depth;
    for (Path path : paths) {
        Render(c, path, &pixels, &depth);
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] == refPixels[i]) continue;
            ADD_FAILURE() << "seed " << seed << " path " << static_cast<int>(path) << " pixel " << i % c.width << ","
                          << i / c.width << ": " << std::hex << pixels[i] << " instead of " << refPixels[i];
            return false;
        }
        if (depth != refDepth) {
            ADD_FAILURE() << "seed " << seed << " path " << static_cast<int>(path) << ": depth differs";
            return false;
        }
    }
    return true;
}

// Returns how many random cases changed any pixel or depth value, or -1 at the first mismatch.
int CompareWithReference(uint32_t seeds, bool gameStates, uint32_t maxWidth = 90) {
    int drawnCases = 0;
    for (uint32_t seed = 1; seed <= seeds; ++seed) {
        bool drawn = false;
        if (!MatchesReference(RandomCase(seed, gameStates, maxWidth), seed, &drawn)) return -1;
        drawnCases += drawn;
    }
    return drawnCases;
}

TEST(RasterPathsTest, SpanPathsMatchTheReferenceOnRandomDraws) {
    // Most random cases must change pixels, or the comparison proves little.
    EXPECT_GT(CompareWithReference(6000, false), 2800) << "any states";
    EXPECT_GT(CompareWithReference(8000, true), 4800) << "the game's states";
}

TEST(RasterPathsTest, SpanPathsMatchTheReferenceOnRowsLongerThanABuffer) {
    // Spans of hundreds of pixels with shaded colour or depth run in several buffered pieces.
    EXPECT_GT(CompareWithReference(1500, false, 400), 650) << "any states";
    EXPECT_GT(CompareWithReference(1500, true, 400), 900) << "the game's states";
}

// A game-sized frame: an 800 × 600 target and a 1024 × 1024 picture whose rows are read with
// gaps between them, drawn whole, as a 400 × 600 character, scaled and slightly rotated, in the
// blend `mode` of kLayerBlends with random other states.
SCase FullFrameCase(uint32_t seed, uint32_t mode) {
    CRandom r(seed);
    SCase c;
    c.width = 800;
    c.height = 600;
    c.opaque = seed % 2 == 0;
    c.withDepth = r.Chance(50);
    c.pixels.resize(c.width * c.height);
    for (uint32_t& p : c.pixels) p = r.Colour();
    if (c.withDepth) c.depth.assign(c.width * c.height, static_cast<uint16_t>(r.Below(65536)));
    c.texWidth = c.texHeight = 1024;
    c.texels.resize(c.texWidth * c.texHeight);
    for (uint32_t i = 0; i < c.texels.size(); ++i) {
        // Transparent outside a band, soft at its edges, opaque inside.
        const uint32_t x = i % 1024, y = i / 1024, edge = x < 512 ? x : 1023 - x;
        const uint32_t alpha = edge < 100 ? 0 : edge < 160 ? (edge - 100) * 4 : 255;
        c.texels[i] = alpha << 24 | (((x * 2654435761u >> 8) ^ (y * 40503u)) & 0xFFFFFF);
        if (mode == kPremultipliedOver && alpha == 0) c.texels[i] = 0;  // as a premultiplied picture
    }
    c.pipeline = RandomPipeline(r, true);
    c.pipeline.blend = true;
    c.pipeline.srcBlend = kLayerBlends[mode][0];
    c.pipeline.destBlend = kLayerBlends[mode][1];
    c.pipeline.blendOp = BlendOp::Add;
    c.pipeline.texture = {c.texels.data(), static_cast<int32_t>(c.texWidth), c.texWidth, c.texHeight, 0};
    c.clip[0] = c.clip[1] = 0;
    c.clip[2] = static_cast<int32_t>(c.width);
    c.clip[3] = static_cast<int32_t>(c.height);
    const auto quad = [&](double x, double y, double w, double h, double scale, double angle, uint32_t colour) {
        const double u0 = 0.1 / c.texWidth, v0 = 0.1 / c.texHeight;
        const double u1 = u0 + w / c.texWidth, v1 = v0 + h / c.texHeight;
        const auto corner = [&](double dx, double dy, double u, double v) {
            return raster::SVertex{x + (dx * std::cos(angle) - dy * std::sin(angle)) * scale,
                                   y + (dx * std::sin(angle) + dy * std::cos(angle)) * scale, 0.0, colour, u, v};
        };
        c.shapes.push_back({corner(0, 0, u0, v0), corner(w, 0, u1, v0), corner(w, h, u1, v1), corner(0, h, u0, v1)});
    };
    quad(0, 0, 800, 600, 1.0, 0.0, 0xFFFFFFFFu);
    quad(200, 0, 400, 600, 1.0, 0.0, r.Chance(50) ? 0xFFFFFFFFu : 0x80FFFFFFu);
    quad(-40, -30, 640, 480, 1.25, 0.0, r.Colour());
    quad(100, 50, 600, 500, 1.0, 0.05, 0xC0FFE0C0u);
    return c;
}

TEST(RasterPathsTest, SpanPathsMatchTheReferenceOnGameSizedFrames) {
    for (uint32_t mode = 0; mode < std::size(kLayerBlends); ++mode) {
        bool drawn = false;
        ASSERT_TRUE(MatchesReference(FullFrameCase(100 + mode, mode), 100 + mode, &drawn));
        EXPECT_TRUE(drawn);
    }
}

// Pictures drawn unscaled through the linear filter, as the layers draw backgrounds: every pixel
// of a row mixes two columns with the same weight, unless the position drifts across a weight
// step or the row wraps around the texture's edge. Widths, nudges and offsets cover each case.
TEST(RasterPathsTest, SpanPathsMatchTheReferenceOnLinearPicturesAtScaleOne) {
    const uint32_t widths[] = {800, 1024, 37, 9};
    const double nudges[] = {0.1, 0.5, 0.0, 0.998};
    const double offsets[] = {0.0, 0.25, -3.0};
    uint32_t seed = 500;
    int drawnCases = 0;
    for (uint32_t width : widths)
        for (double nudge : nudges)
            for (double offset : offsets) {
                CRandom r(++seed);
                SCase c;
                c.width = 820;
                c.height = 5;
                c.opaque = r.Chance(50);
                c.withDepth = false;
                c.pixels.resize(c.width * c.height);
                for (uint32_t& p : c.pixels) p = r.Colour();
                c.texWidth = width;
                c.texHeight = 6;
                c.texels.resize(c.texWidth * c.texHeight);
                for (uint32_t& t : c.texels) t = r.Colour();
                c.pipeline = RandomPipeline(r, true);
                c.pipeline.useTexture = true;
                c.pipeline.minLinear = c.pipeline.magLinear = true;
                c.pipeline.texture = {c.texels.data(), static_cast<int32_t>(width), width, c.texHeight,
                                      r.Chance(30) ? 0xFF000000u : 0u};
                c.clip[0] = c.clip[1] = 0;
                c.clip[2] = static_cast<int32_t>(c.width);
                c.clip[3] = static_cast<int32_t>(c.height);
                const double u0 = nudge / width, v0 = 0.1 / c.texHeight;
                const double u1 = u0 + 800.0 / width, v1 = v0 + 5.0 / c.texHeight;
                const uint32_t colour = r.Chance(50) ? 0xFFFFFFFFu : 0x80FFFFFFu;
                const auto at = [&](double x, double y, double u, double v) {
                    return raster::SVertex{x, y, 0.0, colour, u, v};
                };
                c.shapes.push_back({at(offset, 0, u0, v0), at(offset + 800, 0, u1, v0), at(offset + 800, 5, u1, v1),
                                    at(offset, 5, u0, v1)});
                bool drawn = false;
                ASSERT_TRUE(MatchesReference(c, seed, &drawn)) << "width " << width << " nudge " << nudge;
                drawnCases += drawn;
            }
    EXPECT_GT(drawnCases, 40) << "of 48";
}

TEST(RasterPathsTest, AutoChoosesTheWidestSupportedPath) {
    raster::SelectPath(Path::Auto);
    EXPECT_EQ(raster::ActivePath(), raster::CpuHasAvx2() ? Path::Avx2 : Path::Sse2);
    raster::SelectPath(Path::Reference);
    EXPECT_EQ(raster::ActivePath(), Path::Reference);
    raster::SelectPath(Path::Auto);
}

TEST(RasterArithmeticTest, Mul8RoundsToNearestAndLerpKeepsEnds) {
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) {
            ASSERT_EQ(raster::Mul8(a, b), static_cast<uint32_t>(std::lround(a * b / 255.0))) << a << "*" << b;
            ASSERT_EQ(raster::Lerp8(a, b, 0), a);
            ASSERT_EQ(raster::Lerp8(a, a, b), a);
        }
    // The span paths divide blend sums by 255 as ((x + 128) * 257) >> 16.
    for (uint32_t x = 0; x <= 65024; ++x) ASSERT_EQ(((x + 128) * 257) >> 16, (2 * x + 255) / 510) << x;
}

}  // namespace
