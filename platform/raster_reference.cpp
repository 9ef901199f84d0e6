// The reference rasteriser: every candidate pixel is tested against the three edge functions
// and shaded on its own, straight from the definitions in raster.h. The span paths must give
// exactly the same pixels.
#include "platform/graphics.h"
#include "platform/raster_setup.h"

namespace raster {
namespace {

uint32_t Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }

uint32_t Pick(Source source, uint32_t texel, uint32_t diffuse, int c) {
    switch (source) {
        case kSrcTexture: return Channel(texel, c);
        case kSrcDiffuse: return Channel(diffuse, c);
        default: return 255;
    }
}

uint32_t CombineStage(const SPipeline& p, uint32_t texel, uint32_t diffuse) {
    uint32_t out = Mul8(Pick(p.alphaA, texel, diffuse, 3), Pick(p.alphaB, texel, diffuse, 3)) << 24;
    for (int c = 0; c < 3; ++c)
        out |= Mul8(Pick(p.colourA, texel, diffuse, c), Pick(p.colourB, texel, diffuse, c)) << (8 * c);
    return out;
}

bool Compare(uint32_t func, uint32_t a, uint32_t b) {
    switch (func) {
        case Cmp::Never: return false;
        case Cmp::Less: return a < b;
        case Cmp::Equal: return a == b;
        case Cmp::LessEqual: return a <= b;
        case Cmp::Greater: return a > b;
        case Cmp::NotEqual: return a != b;
        case Cmp::GreaterEqual: return a >= b;
        default: return true;
    }
}

// s, d: the channel of source and destination; sa, da: their alphas.
uint32_t Factor(uint32_t factor, uint32_t s, uint32_t sa, uint32_t d, uint32_t da) {
    switch (factor) {
        case Blend::Zero: return 0;
        case Blend::SrcColor: return s;
        case Blend::InvSrcColor: return 255 - s;
        case Blend::SrcAlpha: return sa;
        case Blend::InvSrcAlpha: return 255 - sa;
        case Blend::DestAlpha: return da;
        case Blend::InvDestAlpha: return 255 - da;
        case Blend::DestColor: return d;
        case Blend::InvDestColor: return 255 - d;
        default: return 255;
    }
}

// The exact sum or difference of the two products, rounded once.
uint32_t BlendChannel(uint32_t op, uint32_t s, uint32_t fs, uint32_t d, uint32_t fd) {
    const int32_t a = static_cast<int32_t>(s * fs);
    const int32_t b = static_cast<int32_t>(d * fd);
    int32_t sum;
    switch (op) {
        case BlendOp::Subtract: sum = a - b; break;
        case BlendOp::RevSubtract: sum = b - a; break;
        case BlendOp::Min: return s < d ? s : d;
        case BlendOp::Max: return s > d ? s : d;
        default: sum = a + b; break;
    }
    if (sum <= 0) return 0;
    const int32_t out = (2 * sum + 255) / 510;
    return out > 255 ? 255u : static_cast<uint32_t>(out);
}

uint32_t BlendPixel(const SPipeline& p, uint32_t src, uint32_t dst) {
    const uint32_t sa = Channel(src, 3);
    const uint32_t da = Channel(dst, 3);
    uint32_t out = BlendChannel(p.blendOpAlpha, sa, Factor(p.srcBlendAlpha, sa, sa, da, da), da,
                                Factor(p.destBlendAlpha, sa, sa, da, da))
                   << 24;
    for (int c = 0; c < 3; ++c) {
        const uint32_t s = Channel(src, c);
        const uint32_t d = Channel(dst, c);
        out |= BlendChannel(p.blendOp, s, Factor(p.srcBlend, s, sa, d, da), d, Factor(p.destBlend, s, sa, d, da))
               << (8 * c);
    }
    return out;
}

void ShadePixel(const STarget& target, const SPipeline& p, const SPlanes& planes, int32_t px, int32_t py) {
    const int64_t dx = static_cast<int64_t>(px) - planes.originX;
    const int64_t dy = static_cast<int64_t>(py) - planes.originY;
    uint32_t texel = 0;
    if (p.useTexture) {
        const uint32_t ux = static_cast<uint32_t>(dx);
        const uint32_t uy = static_cast<uint32_t>(dy);
        const uint32_t u = planes.u + planes.udx * ux + planes.udy * uy;
        const uint32_t v = planes.v + planes.vdx * ux + planes.vdy * uy;
        texel = planes.linear ? SampleLinear(p.texture, u, v) : SamplePoint(p.texture, u, v);
    }
    uint32_t diffuse = 0;
    for (int c = 0; c < 4; ++c)
        diffuse |= ColourChannel(planes.colour[c] + planes.colourDx[c] * dx + planes.colourDy[c] * dy) << (8 * c);
    const uint16_t z = DepthValue(planes.depth + planes.depthDx * dx + planes.depthDy * dy);
    WritePixel(target, p, px, py, CombineStage(p, texel, diffuse), z);
}

}  // namespace

void WritePixel(const STarget& target, const SPipeline& p, int32_t px, int32_t py, uint32_t src, uint16_t z) {
    if (p.alphaTest && !Compare(p.alphaFunc, src >> 24, p.alphaRef)) return;
    if (p.depthTest && target.depth) {
        uint16_t& stored = target.depth[static_cast<int64_t>(py) * target.depthPitch + px];
        if (!Compare(p.depthFunc, z, stored)) return;
        if (p.depthWrite) stored = z;
    }
    uint32_t& pixel = target.pixels[static_cast<int64_t>(py) * target.pitch + px];
    const uint32_t alphaOr = target.opaque ? 0xFF000000u : 0u;
    const uint32_t out = p.blend ? BlendPixel(p, src, pixel | alphaOr) : src;
    pixel = out | alphaOr;
}

bool InsideCoverage(const SCoverage& cover, int64_t px, int64_t py) {
    for (const SEdge& e : cover.edge)
        if (e.a * px + e.b * py + e.c <= 0) return false;
    return true;
}

void DrawSetupReference(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    for (int i = 0; i < setup.count; ++i) {
        const SCoverage& cover = setup.cover[i];
        for (int32_t py = cover.top; py < cover.bottom; ++py)
            for (int32_t px = cover.left; px < cover.right; ++px)
                if (InsideCoverage(cover, px, py)) ShadePixel(target, pipeline, setup.planes, px, py);
    }
}

}  // namespace raster
