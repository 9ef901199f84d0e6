// Set-up of 3D triangles shared by the rasteriser paths: the perspective planes and the
// per-pixel arithmetic of raster3d.h, written once in scalar form. The reference draws with
// these functions; the span paths compute the same values lane by lane and are tested against
// them.
#pragma once

#include <cstdint>

#include "platform/raster3d.h"
#include "platform/raster_setup.h"

namespace raster {

// The interpolated values of a 3D vertex, colours scaled to 0..255, in the byte order of a
// pixel (blue first).
enum : int {
    kAttrDiffuseB,
    kAttrDiffuseG,
    kAttrDiffuseR,
    kAttrDiffuseA,
    kAttrSpecularB,
    kAttrSpecularG,
    kAttrSpecularR,
    kAttrU0,
    kAttrV0,
    kAttrU1,
    kAttrV1,
    kAttrCount
};

// A vertex after the perspective division.
struct SScreenVertex {
    double x, y, z, q;  // q = 1 / w
    float attr[kAttrCount];
};

struct SPlanes3D {
    float z, zdx, zdy;  // depth times 65535 at the origin and its gradient
    float q, qdx, qdy;  // 1 / w at the origin and its gradient
    float qMin, qMax;
    // Attribute k times q at the origin and its gradient; for an attribute that does not vary
    // (bit k of `varying` clear), a[k] is its value.
    float a[kAttrCount], adx[kAttrCount], ady[kAttrCount];
    uint32_t varying;
    bool linear0, linear1;  // the filters of the two stages for this triangle
};

// The coverage and depth planes of the 2D set-up (origin shared) plus the attribute planes.
struct STriangleSetup3D {
    STriangleSetup base;
    SPlanes3D attributes;
};

// What the per-pixel work computes for a draw.
struct SFragmentNeeds {
    bool diffuse, texture0, texture1, specular;
};

SFragmentNeeds FragmentNeeds(const SPipeline3D& pipeline);
// Bit k set: the pixels read attribute k.
uint32_t NeededAttributes(const SFragmentNeeds& needs);

// False when nothing can be drawn (culled, degenerate, non-finite or outside the clip). Only the
// needed attributes get planes.
bool SetupTriangle3D(const STarget& target, const SPipeline3D& pipeline, uint32_t neededAttributes,
                     const SScreenVertex (&v)[3], STriangleSetup3D* setup);

// The pipeline the shared pixel loops run with: its "texture" is the row of source colours the
// 3D stages computed, taken as it is.
SPipeline SourcePipeline(const SPipeline& base);

// Each draws `count` prepared triangles in order.
void DrawSetups3DReference(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                           const STriangleSetup3D* setups, int count);
void DrawSetups3DSse2(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                      const STriangleSetup3D* setups, int count);
void DrawSetups3DAvx2(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                      const STriangleSetup3D* setups, int count);

// Scalar steps, local to each file that includes them (the vector paths are compiled for other
// instruction sets and must not share code with the rest).
namespace {

// min and max as the vector instructions give them: the second operand unless the first is
// strictly smaller (larger).
inline float MinF(float a, float b) { return a < b ? a : b; }
inline float MaxF(float a, float b) { return a > b ? a : b; }

constexpr float kCoordinateLimit = 16777216.0f;

inline uint16_t DepthLevel(float z) {
    return static_cast<uint16_t>(static_cast<int32_t>(MinF(MaxF(z, 0.0f), 65535.0f) + 0.5f));
}

inline uint32_t ColourLevel(float c) {
    return static_cast<uint32_t>(static_cast<int32_t>(MinF(MaxF(c, 0.0f), 255.0f) + 0.5f));
}

// The 16-bit fraction of a texture coordinate.
inline uint32_t Fraction16(float t) {
    t = MinF(MaxF(t, -kCoordinateLimit), kCoordinateLimit);
    int32_t whole = static_cast<int32_t>(t);
    if (static_cast<float>(whole) > t) --whole;
    const float fraction = t - static_cast<float>(whole);
    return static_cast<uint32_t>(static_cast<int32_t>(fraction * 65536.0f)) & 0xFFFFu;
}

// The two texels of a linear filter along one axis and the weight of the second.
inline SLinearTap LinearTap16(uint32_t coord, uint32_t size) {
    const int32_t position = static_cast<int32_t>(coord * size) - 32768;
    int32_t first = position >> 16;
    if (first < 0) first += static_cast<int32_t>(size);
    uint32_t second = static_cast<uint32_t>(first) + 1;
    if (second == size) second = 0;
    return {static_cast<uint32_t>(first), second, static_cast<uint32_t>(position >> 8) & 0xFFu};
}

inline uint32_t LerpTexel(uint32_t a, uint32_t b, uint32_t w) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= ((((a >> shift) & 0xFF) * (256 - w) + ((b >> shift) & 0xFF) * w + 128) >> 8) << shift;
    return out;
}

inline uint32_t SampleTexel16(const STextureView& t, uint32_t u, uint32_t v, bool linear) {
    if (!linear) {
        const uint32_t x = (u * t.width) >> 16;
        const uint32_t y = (v * t.height) >> 16;
        return t.texels[static_cast<int64_t>(y) * t.pitch + x] | t.alphaOr;
    }
    const SLinearTap tu = LinearTap16(u, t.width);
    const SLinearTap tv = LinearTap16(v, t.height);
    const uint32_t* row0 = t.texels + static_cast<int64_t>(tv.first) * t.pitch;
    const uint32_t* row1 = t.texels + static_cast<int64_t>(tv.second) * t.pitch;
    const uint32_t top = LerpTexel(row0[tu.first] | t.alphaOr, row0[tu.second] | t.alphaOr, tu.weight);
    const uint32_t bottom = LerpTexel(row1[tu.first] | t.alphaOr, row1[tu.second] | t.alphaOr, tu.weight);
    return LerpTexel(top, bottom, tv.weight);
}

inline uint32_t Product8(uint32_t a, uint32_t b) {
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t StageOperand(Source source, uint32_t texel, uint32_t diffuse, int shift) {
    switch (source) {
        case kSrcTexture: return (texel >> shift) & 0xFF;
        case kSrcDiffuse: return (diffuse >> shift) & 0xFF;
        default: return 255;
    }
}

// The source colour of the pixel at fx, fy (relative to the planes' origin) of a row whose
// plane values a0 + ady * fy are rowQ and rowA.
inline uint32_t ShadeFragment(const SPipeline3D& p, const SFragmentNeeds& needs, const SPlanes3D& planes,
                              float rowQ, const float* rowA, float fx) {
    const float q = MinF(MaxF(rowQ + planes.qdx * fx, planes.qMin), planes.qMax);
    const float w = 1.0f / q;
    const auto attr = [&](int k) {
        return (planes.varying >> k & 1u) ? (rowA[k] + planes.adx[k] * fx) * w : planes.a[k];
    };
    uint32_t diffuse = 0, texel = 0, toon = 0;
    if (needs.diffuse)
        for (int c = 0; c < 4; ++c) diffuse |= ColourLevel(attr(kAttrDiffuseB + c)) << (8 * c);
    if (needs.texture0)
        texel = SampleTexel16(p.base.texture, Fraction16(attr(kAttrU0)), Fraction16(attr(kAttrV0)), planes.linear0);
    if (needs.texture1)
        toon = SampleTexel16(p.texture1, Fraction16(attr(kAttrU1)), Fraction16(attr(kAttrV1)), planes.linear1);
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const int shift = 8 * c;
        const bool alpha = c == 3;
        uint32_t value = Product8(StageOperand(alpha ? p.base.alphaA : p.base.colourA, texel, diffuse, shift),
                                  StageOperand(alpha ? p.base.alphaB : p.base.colourB, texel, diffuse, shift));
        if (needs.texture1 && (alpha ? p.stage1Alpha : p.stage1Colour)) value = Product8(value, (toon >> shift) & 0xFF);
        if (needs.specular && !alpha) {
            value += ColourLevel(attr(kAttrSpecularB + c));
            if (value > 255) value = 255;
        }
        out |= value << shift;
    }
    return out;
}

}  // namespace
}  // namespace raster
