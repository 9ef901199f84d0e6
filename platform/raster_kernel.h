// The span rasteriser, written once over a vector instruction set I (SSE2 or AVX2, see
// raster_sse2.cpp and raster_avx2.cpp). Each row of a triangle is solved for its first and last
// covered pixel; the row is then shaded in chunks: texels fetched (straight from the texture row
// when the span steps one texel per pixel), then I::N pixels at a time combined, tested and
// blended in 16-bit lanes.
//
// Pixels are split into two vectors of 16-bit lanes: rb (blue, red) and ag (green, alpha), so
// that every 8-bit product fits a lane and no lane ever crosses a pixel.
//
// This header is included by exactly those two files, after their instruction-set set-up; it
// includes no standard headers and calls no standard functions, so nothing compiled for AVX2
// can leak into shared code.
#pragma once

#include "platform/raster_setup.h"

namespace raster {
namespace {

inline int64_t MaxI64(int64_t a, int64_t b) { return a > b ? a : b; }
inline int64_t MinI64(int64_t a, int64_t b) { return a < b ? a : b; }

inline int64_t FloorDivI64(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

constexpr int kChunk = 64;

// Does Compare(func, a, b) hold for a = value and every possible b of the given range?
inline bool AlwaysPasses(uint32_t func, uint32_t value, uint32_t maxB) {
    switch (func) {
        case Cmp::Never: return false;
        case Cmp::Less: return false;
        case Cmp::Equal: return false;
        case Cmp::LessEqual: return value == 0;
        case Cmp::Greater: return false;
        case Cmp::NotEqual: return false;
        case Cmp::GreaterEqual: return value == maxB;
        default: return true;
    }
}

inline bool PassesForZero(uint32_t func, uint32_t ref) {
    switch (func) {
        case Cmp::Never: return false;
        case Cmp::Less: return 0 < ref;
        case Cmp::Equal: return ref == 0;
        case Cmp::LessEqual: return true;
        case Cmp::Greater: return false;
        case Cmp::NotEqual: return ref != 0;
        case Cmp::GreaterEqual: return ref == 0;
        default: return true;
    }
}

template <class I>
struct SHalves {
    typename I::V rb, ag;
};

template <class I>
struct SKernel {
    using V = typename I::V;
    using D = typename I::D;
    const SPipeline* p;
    V texAlphaOr, dstAlphaOr;
    V lowByte;    // 0x00FF in every 16-bit lane
    V alphaLane;  // 0xFFFF0000 in every pixel: the alpha lane of an ag vector
    V round;      // 128 in every 16-bit lane
    V scale;      // 257 in every 16-bit lane
    V alphaRef;
    bool flatColour;
    V flatDiffuse;
    bool skipClearTexels;  // a texel of alpha 0 fails the alpha test whatever the diffuse colour
    bool multiply;         // colourB or alphaB is not white
    bool depth;
    bool depthAlwaysPasses;
    bool flatDepth;
    D flatZ;
    D depthBias;
    bool separateSrc, separateDest, separateOp;
};

template <class I>
inline typename I::V Mul8(const SKernel<I>& k, typename I::V a, typename I::V b) {
    return I::MulHi16(I::Add16(I::MulLo16(a, b), k.round), k.scale);
}

template <class I>
inline SHalves<I> Split(const SKernel<I>& k, typename I::V pixels) {
    return {I::And(pixels, k.lowByte), I::Srl16(pixels, 8)};
}

template <class I>
inline typename I::V Join(typename I::V rb, typename I::V ag) {
    return I::Or(rb, I::Sll16(ag, 8));
}

// Lanes of an ag vector: colour lanes from c, alpha lanes from a.
template <class I>
inline typename I::V MergeAlpha(const SKernel<I>& k, typename I::V c, typename I::V a) {
    return I::Or(I::AndNot(k.alphaLane, c), I::And(k.alphaLane, a));
}

template <class I>
inline SHalves<I> Pick(const SKernel<I>& k, Source source, const SHalves<I>& texel, const SHalves<I>& diffuse) {
    switch (source) {
        case kSrcTexture: return texel;
        case kSrcDiffuse: return diffuse;
        default: return {k.lowByte, k.lowByte};
    }
}

template <class I>
inline SHalves<I> Operand(const SKernel<I>& k, Source colour, Source alpha, const SHalves<I>& texel,
                          const SHalves<I>& diffuse) {
    SHalves<I> out = Pick(k, colour, texel, diffuse);
    if (alpha != colour) out.ag = MergeAlpha(k, out.ag, Pick(k, alpha, texel, diffuse).ag);
    return out;
}

// Both alphas of a pixel's ag pair copied into both lanes.
template <class I>
inline typename I::V BroadcastAlpha(typename I::V ag) {
    const typename I::V high = I::Srl32(ag, 16);
    return I::Or(high, I::Sll32(high, 16));
}

template <class I>
inline typename I::V FactorHalf(const SKernel<I>& k, uint32_t factor, typename I::V s, typename I::V sa,
                                typename I::V d, typename I::V da) {
    switch (factor) {
        case Blend::Zero: return I::Zero();
        case Blend::SrcColor: return s;
        case Blend::InvSrcColor: return I::Xor(s, k.lowByte);
        case Blend::SrcAlpha: return sa;
        case Blend::InvSrcAlpha: return I::Xor(sa, k.lowByte);
        case Blend::DestAlpha: return da;
        case Blend::InvDestAlpha: return I::Xor(da, k.lowByte);
        case Blend::DestColor: return d;
        case Blend::InvDestColor: return I::Xor(d, k.lowByte);
        default: return k.lowByte;
    }
}

template <class I>
inline typename I::V Product(const SKernel<I>& k, uint32_t factor, typename I::V x, typename I::V f) {
    if (factor == Blend::Zero) return I::Zero();
    if (factor != Blend::SrcColor && factor != Blend::InvSrcColor && factor != Blend::SrcAlpha &&
        factor != Blend::InvSrcAlpha && factor != Blend::DestAlpha && factor != Blend::InvDestAlpha &&
        factor != Blend::DestColor && factor != Blend::InvDestColor)
        return x;  // One and the unknown factors, which act as One
    return Mul8(k, x, f);
}

template <class I>
inline typename I::V Operation(const SKernel<I>& k, uint32_t op, typename I::V ps, typename I::V pd, typename I::V s,
                               typename I::V d) {
    switch (op) {
        case BlendOp::Subtract: return I::SubSatU16(ps, pd);
        case BlendOp::RevSubtract: return I::SubSatU16(pd, ps);
        case BlendOp::Min: return I::Min16(s, d);
        case BlendOp::Max: return I::Max16(s, d);
        default: return I::Min16(I::Add16(ps, pd), k.lowByte);
    }
}

// One half (rb or ag) of the blend; isAg merges the alpha lane's own factors and operation.
template <class I>
inline typename I::V BlendHalf(const SKernel<I>& k, bool isAg, typename I::V s, typename I::V sa, typename I::V d,
                               typename I::V da) {
    const SPipeline& p = *k.p;
    typename I::V ps = Product(k, p.srcBlend, s, FactorHalf(k, p.srcBlend, s, sa, d, da));
    typename I::V pd = Product(k, p.destBlend, d, FactorHalf(k, p.destBlend, s, sa, d, da));
    if (isAg && k.separateSrc)
        ps = MergeAlpha(k, ps, Product(k, p.srcBlendAlpha, s, FactorHalf(k, p.srcBlendAlpha, s, sa, d, da)));
    if (isAg && k.separateDest)
        pd = MergeAlpha(k, pd, Product(k, p.destBlendAlpha, d, FactorHalf(k, p.destBlendAlpha, s, sa, d, da)));
    typename I::V out = Operation(k, p.blendOp, ps, pd, s, d);
    if (isAg && k.separateOp) out = MergeAlpha(k, out, Operation(k, p.blendOpAlpha, ps, pd, s, d));
    return out;
}

template <class I>
inline typename I::V AlphaTest(const SKernel<I>& k, typename I::V alpha) {
    switch (k.p->alphaFunc) {
        case Cmp::Never: return I::Zero();
        case Cmp::Less: return I::CmpGt32(k.alphaRef, alpha);
        case Cmp::Equal: return I::CmpEq32(alpha, k.alphaRef);
        case Cmp::LessEqual: return I::Not(I::CmpGt32(alpha, k.alphaRef));
        case Cmp::Greater: return I::CmpGt32(alpha, k.alphaRef);
        case Cmp::NotEqual: return I::Not(I::CmpEq32(alpha, k.alphaRef));
        case Cmp::GreaterEqual: return I::Not(I::CmpGt32(k.alphaRef, alpha));
        default: return I::Ones();
    }
}

// Unsigned 16-bit comparison of the new depth z against the stored d.
template <class I>
inline typename I::D DepthTest(const SKernel<I>& k, typename I::D z, typename I::D d) {
    const typename I::D zs = I::DXor(z, k.depthBias);
    const typename I::D ds = I::DXor(d, k.depthBias);
    switch (k.p->depthFunc) {
        case Cmp::Never: return I::DZero();
        case Cmp::Less: return I::DCmpGt(ds, zs);
        case Cmp::Equal: return I::DCmpEq(zs, ds);
        case Cmp::LessEqual: return I::DNot(I::DCmpGt(zs, ds));
        case Cmp::Greater: return I::DCmpGt(zs, ds);
        case Cmp::NotEqual: return I::DNot(I::DCmpEq(zs, ds));
        case Cmp::GreaterEqual: return I::DNot(I::DCmpGt(ds, zs));
        default: return I::DOnes();
    }
}

// Shades I::N pixels. lanes masks the pixels that exist; texel, diffuse and z point at I::N
// values (diffuse and z unused when flat).
template <class I>
inline void ShadeGroup(const SKernel<I>& k, typename I::V lanes, const uint32_t* texel, const uint32_t* diffuse,
                       const uint16_t* z, uint32_t* dst, uint16_t* depth) {
    using V = typename I::V;
    const SPipeline& p = *k.p;
    V texels = k.texAlphaOr;
    if (p.useTexture) {
        texels = I::Or(I::Load(texel), k.texAlphaOr);
        if (k.skipClearTexels && I::MoveMask(I::And(I::Not(I::CmpEq32(I::Srl32(texels, 24), I::Zero())), lanes)) == 0)
            return;
    }
    const SHalves<I> tex = Split(k, texels);
    const SHalves<I> dif = Split(k, k.flatColour ? k.flatDiffuse : I::Load(diffuse));
    SHalves<I> src = Operand(k, p.colourA, p.alphaA, tex, dif);
    if (k.multiply) {
        const SHalves<I> b = Operand(k, p.colourB, p.alphaB, tex, dif);
        src = {Mul8(k, src.rb, b.rb), Mul8(k, src.ag, b.ag)};
    }

    V mask = lanes;
    if (p.alphaTest) mask = I::And(mask, AlphaTest(k, I::Srl32(src.ag, 16)));
    if (k.depth) {
        const typename I::D zNew = k.flatDepth ? k.flatZ : I::LoadD(z);
        if (k.depthAlwaysPasses) {
            if (p.depthWrite) I::StoreD(depth, I::DSelect(I::NarrowMask(mask), zNew, I::LoadD(depth)));
        } else {
            const typename I::D stored = I::LoadD(depth);
            mask = I::And(mask, I::WidenMask(DepthTest(k, zNew, stored)));
            if (p.depthWrite) I::StoreD(depth, I::DSelect(I::NarrowMask(mask), zNew, stored));
        }
    }
    if (I::MoveMask(mask) == 0) return;

    const V old = I::Load(dst);
    V out;
    if (p.blend) {
        const SHalves<I> d = Split(k, I::Or(old, k.dstAlphaOr));
        const V sa = BroadcastAlpha<I>(src.ag);
        const V da = BroadcastAlpha<I>(d.ag);
        out = Join<I>(BlendHalf(k, false, src.rb, sa, d.rb, da), BlendHalf(k, true, src.ag, sa, d.ag, da));
    } else {
        out = Join<I>(src.rb, src.ag);
    }
    I::Store(dst, I::Select(mask, I::Or(out, k.dstAlphaOr), old));
}

template <class I>
void ShadeRun(const SKernel<I>& k, int n, const uint32_t* texel, const uint32_t* diffuse, const uint16_t* z,
              uint32_t* dst, uint16_t* depth) {
    constexpr int N = I::N;
    int i = 0;
    for (; i + N <= n; i += N)
        ShadeGroup(k, I::Ones(), texel + i, diffuse + i, z + i, dst + i, depth ? depth + i : nullptr);
    const int rest = n - i;
    if (rest == 0) return;
    uint32_t t[N] = {}, c[N] = {}, out[N] = {};
    uint16_t zz[N] = {}, dd[N] = {};
    for (int j = 0; j < rest; ++j) {
        if (k.p->useTexture) t[j] = texel[i + j];
        if (!k.flatColour) c[j] = diffuse[i + j];
        if (k.depth && !k.flatDepth) zz[j] = z[i + j];
        if (depth) dd[j] = depth[i + j];
        out[j] = dst[i + j];
    }
    ShadeGroup(k, I::FirstLanes(rest), t, c, zz, out, depth ? dd : nullptr);
    for (int j = 0; j < rest; ++j) {
        dst[i + j] = out[j];
        if (depth) depth[i + j] = dd[j];
    }
}

// True when texel indices along the span run first, first + 1, ... without wrapping, so the
// texels can be read straight from the texture row.
inline bool Contiguous(uint32_t u, uint32_t step, int n, uint32_t size) {
    const uint64_t end = static_cast<uint64_t>(u) + static_cast<uint64_t>(step) * static_cast<uint64_t>(n - 1);
    if (end >> 32) return false;
    if (static_cast<uint64_t>(step) * size >= (uint64_t{1} << 33)) return false;
    return TexelIndex(static_cast<uint32_t>(end), size) - TexelIndex(u, size) == static_cast<uint32_t>(n - 1);
}

template <class I>
void ShadeSpan(const SKernel<I>& k, const STarget& target, const SPlanes& planes, int32_t py, int32_t x0,
               int32_t x1) {
    const SPipeline& p = *k.p;
    const STextureView& tv = p.texture;
    uint32_t texBuffer[kChunk];
    uint32_t difBuffer[kChunk];
    uint16_t zBuffer[kChunk];
    uint32_t* row = target.pixels + static_cast<int64_t>(py) * target.pitch;
    uint16_t* depthRow = k.depth ? target.depth + static_cast<int64_t>(py) * target.depthPitch : nullptr;
    const int64_t dy = static_cast<int64_t>(py) - planes.originY;
    for (int32_t x = x0; x < x1; x += kChunk) {
        const int n = static_cast<int>(MinI64(kChunk, static_cast<int64_t>(x1) - x));
        const int64_t dx = static_cast<int64_t>(x) - planes.originX;
        const uint32_t* texel = texBuffer;
        if (p.useTexture) {
            uint32_t u = planes.u + planes.udx * static_cast<uint32_t>(dx) + planes.udy * static_cast<uint32_t>(dy);
            uint32_t v = planes.v + planes.vdx * static_cast<uint32_t>(dx) + planes.vdy * static_cast<uint32_t>(dy);
            if (planes.linear) {
                for (int i = 0; i < n; ++i, u += planes.udx, v += planes.vdx) texBuffer[i] = SampleLinear(tv, u, v);
            } else if (planes.vdx == 0) {
                const uint32_t* texRow = tv.texels + static_cast<int64_t>(TexelIndex(v, tv.height)) * tv.pitch;
                if (Contiguous(u, planes.udx, n, tv.width)) {
                    texel = texRow + TexelIndex(u, tv.width);
                } else {
                    for (int i = 0; i < n; ++i, u += planes.udx) texBuffer[i] = texRow[TexelIndex(u, tv.width)];
                }
            } else {
                for (int i = 0; i < n; ++i, u += planes.udx, v += planes.vdx)
                    texBuffer[i] = tv.texels[static_cast<int64_t>(TexelIndex(v, tv.height)) * tv.pitch +
                                             TexelIndex(u, tv.width)];
            }
        }
        if (!k.flatColour) {
            int64_t acc[4];
            for (int c = 0; c < 4; ++c) acc[c] = planes.colour[c] + planes.colourDx[c] * dx + planes.colourDy[c] * dy;
            for (int i = 0; i < n; ++i) {
                uint32_t pixel = 0;
                for (int c = 0; c < 4; ++c) {
                    pixel |= ColourChannel(acc[c]) << (8 * c);
                    acc[c] += planes.colourDx[c];
                }
                difBuffer[i] = pixel;
            }
        }
        if (k.depth && !k.flatDepth) {
            int64_t acc = planes.depth + planes.depthDx * dx + planes.depthDy * dy;
            for (int i = 0; i < n; ++i, acc += planes.depthDx) zBuffer[i] = DepthValue(acc);
        }
        ShadeRun(k, n, texel, difBuffer, zBuffer, row + x, depthRow ? depthRow + x : nullptr);
    }
}

template <class I>
SKernel<I> MakeKernel(const STarget& target, const SPipeline& p, const SPlanes& planes) {
    SKernel<I> k;
    k.p = &p;
    k.texAlphaOr = I::Set32(p.texture.alphaOr);
    k.dstAlphaOr = I::Set32(target.opaque ? 0xFF000000u : 0u);
    k.lowByte = I::Set16(0x00FF);
    k.alphaLane = I::Set32(0xFFFF0000u);
    k.round = I::Set16(128);
    k.scale = I::Set16(257);
    k.alphaRef = I::Set32(p.alphaRef);
    k.flatColour = planes.flatColour;
    k.flatDiffuse = I::Set32(planes.flatColourValue);
    const bool alphaFromTexture = p.alphaA == kSrcTexture || p.alphaB == kSrcTexture;
    k.skipClearTexels = p.useTexture && alphaFromTexture && p.alphaTest && !PassesForZero(p.alphaFunc, p.alphaRef);
    k.multiply = p.colourB != kSrcWhite || p.alphaB != kSrcWhite;
    k.depth = p.depthTest && target.depth;
    k.flatDepth = planes.flatDepth;
    k.flatZ = I::SetD(planes.flatDepthValue);
    k.depthAlwaysPasses = planes.flatDepth && AlwaysPasses(p.depthFunc, planes.flatDepthValue, 65535);
    k.depthBias = I::SetD(0x8000);
    k.separateSrc = p.srcBlendAlpha != p.srcBlend;
    k.separateDest = p.destBlendAlpha != p.destBlend;
    k.separateOp = p.blendOpAlpha != p.blendOp;
    return k;
}

template <class I>
void DrawSetupWith(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    const SKernel<I> k = MakeKernel<I>(target, pipeline, setup.planes);
    for (int i = 0; i < setup.count; ++i) {
        const SCoverage& cover = setup.cover[i];
        for (int32_t py = cover.top; py < cover.bottom; ++py) {
            int64_t left = cover.left;
            int64_t right = cover.right;
            for (const SEdge& e : cover.edge) {
                const int64_t rest = e.b * py + e.c;
                if (e.a > 0) {
                    left = MaxI64(left, FloorDivI64(-rest, e.a) + 1);
                } else if (e.a < 0) {
                    right = MinI64(right, -FloorDivI64(-rest, -e.a));
                } else if (rest <= 0) {
                    right = left;
                }
            }
            if (left < right)
                ShadeSpan(k, target, setup.planes, py, static_cast<int32_t>(left), static_cast<int32_t>(right));
        }
    }
}

}  // namespace
}  // namespace raster
