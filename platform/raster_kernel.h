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

constexpr int kChunk = 128;

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
    V opaque;     // 255 in every pixel
    V sumLimit;   // 65024: sums of products above it round to 255 or more
    V weightOne;  // 256 in every 16-bit lane
    V alphaRef;
    V flatDiffuse;
    V flatTexel;
    D flatZ;
    D depthBias;
    bool loadTexel;        // else every texel is flatTexel (no texture read, or a 1×1 texture)
    bool flatColour;
    bool whiteDiffuse;     // flat and 0xFFFFFFFF: modulating by it changes nothing
    bool skipClearTexels;  // a texel of alpha 0 fails the alpha test whatever the diffuse colour
    bool multiply;         // colourB or alphaB is not white
    bool flatDepth;
    bool depthWrite;
    bool separateSrc, separateDest, separateOp;
};

// The shapes of the shading steps; each run is compiled for one combination.
enum { kCombineModulate, kCombineGeneric };
enum { kAlphaNone, kAlphaGreater, kAlphaGeneric };
enum { kDepthNone, kDepthWriteOnly, kDepthTest };
enum { kBlendNone, kBlendOver, kBlendGeneric };

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

// The alpha of each pixel (0..255 in a 32-bit lane) copied into both 16-bit lanes.
template <class I>
inline typename I::V BroadcastAlpha(typename I::V alpha) {
    return I::Or(alpha, I::Sll32(alpha, 16));
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

// round(x / 255) for x in 0..65535 (exact up to 65024; larger sums saturate to 255 anyway).
template <class I>
inline typename I::V Div255(const SKernel<I>& k, typename I::V x) {
    return I::MulHi16(I::Add16(x, k.round), k.scale);
}

template <class I>
inline typename I::V Operation(const SKernel<I>& k, uint32_t op, typename I::V ps, typename I::V pd, typename I::V s,
                               typename I::V d) {
    switch (op) {
        case BlendOp::Subtract: return Div255(k, I::SubSatU16(ps, pd));
        case BlendOp::RevSubtract: return Div255(k, I::SubSatU16(pd, ps));
        case BlendOp::Min: return I::Min16(s, d);
        case BlendOp::Max: return I::Max16(s, d);
        default: return Div255(k, I::MinU16(I::AddSatU16(ps, pd), k.sumLimit));
    }
}

// One half (rb or ag) of the blend; isAg merges the alpha lane's own factors and operation.
template <class I>
inline typename I::V BlendHalf(const SKernel<I>& k, bool isAg, typename I::V s, typename I::V sa, typename I::V d,
                               typename I::V da) {
    const SPipeline& p = *k.p;
    typename I::V fs = FactorHalf(k, p.srcBlend, s, sa, d, da);
    typename I::V fd = FactorHalf(k, p.destBlend, s, sa, d, da);
    if (isAg && k.separateSrc) fs = MergeAlpha(k, fs, FactorHalf(k, p.srcBlendAlpha, s, sa, d, da));
    if (isAg && k.separateDest) fd = MergeAlpha(k, fd, FactorHalf(k, p.destBlendAlpha, s, sa, d, da));
    const typename I::V ps = I::MulLo16(s, fs);
    const typename I::V pd = I::MulLo16(d, fd);
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
// values (unused when flat).
template <class I, int Combine, int Alpha, int Depth, int Blending>
inline void ShadeGroup(const SKernel<I>& k, typename I::V lanes, const uint32_t* texel, const uint32_t* diffuse,
                       const uint16_t* z, uint32_t* dst, uint16_t* depth) {
    using V = typename I::V;
    const V texels = k.loadTexel ? I::Or(I::Load(texel), k.texAlphaOr) : k.flatTexel;
    if (k.skipClearTexels && I::AllAlphaZero(I::And(texels, lanes))) return;
    const SHalves<I> tex = Split(k, texels);
    SHalves<I> src;
    if constexpr (Combine == kCombineModulate) {
        if (k.whiteDiffuse) {
            src = tex;
        } else {
            const SHalves<I> dif = Split(k, k.flatColour ? k.flatDiffuse : I::Load(diffuse));
            src = {Mul8(k, tex.rb, dif.rb), Mul8(k, tex.ag, dif.ag)};
        }
    } else {
        const SPipeline& p = *k.p;
        const SHalves<I> dif = Split(k, k.flatColour ? k.flatDiffuse : I::Load(diffuse));
        src = Operand(k, p.colourA, p.alphaA, tex, dif);
        if (k.multiply) {
            const SHalves<I> b = Operand(k, p.colourB, p.alphaB, tex, dif);
            src = {Mul8(k, src.rb, b.rb), Mul8(k, src.ag, b.ag)};
        }
    }

    const V alpha = I::Srl32(src.ag, 16);
    V mask = lanes;
    if constexpr (Alpha == kAlphaGreater) mask = I::And(mask, I::CmpGt32(alpha, k.alphaRef));
    if constexpr (Alpha == kAlphaGeneric) mask = I::And(mask, AlphaTest(k, alpha));
    if constexpr (Depth == kDepthWriteOnly) {
        if (I::MoveMask(mask) == I::kAllLanes)
            I::StoreD(depth, k.flatZ);
        else
            I::StoreD(depth, I::DSelect(I::NarrowMask(mask), k.flatZ, I::LoadD(depth)));
    }
    if constexpr (Depth == kDepthTest) {
        const typename I::D zNew = k.flatDepth ? k.flatZ : I::LoadD(z);
        const typename I::D stored = I::LoadD(depth);
        mask = I::And(mask, I::WidenMask(DepthTest(k, zNew, stored)));
        if (k.depthWrite) I::StoreD(depth, I::DSelect(I::NarrowMask(mask), zNew, stored));
    }
    if (I::MoveMask(mask) == 0) return;

    const V old = I::Load(dst);
    V out;
    if constexpr (Blending == kBlendNone) {
        out = Join<I>(src.rb, src.ag);
    } else if constexpr (Blending == kBlendOver) {
        if (I::MoveMask(I::CmpEq32(alpha, k.opaque)) == I::kAllLanes) {
            out = Join<I>(src.rb, src.ag);
        } else {
            // s * a + d * (255 - a) is at most 255 * 255: no saturation needed.
            const SHalves<I> d = Split(k, I::Or(old, k.dstAlphaOr));
            const V sa = BroadcastAlpha<I>(alpha);
            const V inverse = I::Xor(sa, k.lowByte);
            out = Join<I>(Div255(k, I::Add16(I::MulLo16(src.rb, sa), I::MulLo16(d.rb, inverse))),
                          Div255(k, I::Add16(I::MulLo16(src.ag, sa), I::MulLo16(d.ag, inverse))));
        }
    } else {
        const SHalves<I> d = Split(k, I::Or(old, k.dstAlphaOr));
        const V sa = BroadcastAlpha<I>(alpha);
        const V da = BroadcastAlpha<I>(I::Srl32(d.ag, 16));
        out = Join<I>(BlendHalf(k, false, src.rb, sa, d.rb, da), BlendHalf(k, true, src.ag, sa, d.ag, da));
    }
    I::Store(dst, I::Select(mask, I::Or(out, k.dstAlphaOr), old));
}

template <class I, int Combine, int Alpha, int Depth, int Blending>
void ShadeRun(const SKernel<I>& kernel, int n, const uint32_t* texel, const uint32_t* diffuse, const uint16_t* z,
              uint32_t* dst, uint16_t* depth) {
    constexpr int N = I::N;
    const SKernel<I> k = kernel;  // a local copy the compiler can keep in registers
    int i = 0;
    for (; i + N <= n; i += N)
        ShadeGroup<I, Combine, Alpha, Depth, Blending>(k, I::Ones(), texel + i, diffuse + i, z + i, dst + i,
                                                       Depth == kDepthNone ? nullptr : depth + i);
    const int rest = n - i;
    if (rest == 0) return;
    uint32_t t[N] = {}, c[N] = {}, out[N] = {};
    uint16_t zz[N] = {}, dd[N] = {};
    for (int j = 0; j < rest; ++j) {
        if (k.loadTexel) t[j] = texel[i + j];
        if (!k.flatColour) c[j] = diffuse[i + j];
        if (Depth == kDepthTest && !k.flatDepth) zz[j] = z[i + j];
        if (Depth != kDepthNone) dd[j] = depth[i + j];
        out[j] = dst[i + j];
    }
    ShadeGroup<I, Combine, Alpha, Depth, Blending>(k, I::FirstLanes(rest), t, c, zz, out, dd);
    for (int j = 0; j < rest; ++j) {
        dst[i + j] = out[j];
        if (Depth != kDepthNone) depth[i + j] = dd[j];
    }
}

template <class I>
using RunFunction = void (*)(const SKernel<I>&, int, const uint32_t*, const uint32_t*, const uint16_t*, uint32_t*,
                             uint16_t*);

template <class I, int Combine, int Alpha, int Depth>
RunFunction<I> ChooseBlend(int blending) {
    switch (blending) {
        case kBlendNone: return &ShadeRun<I, Combine, Alpha, Depth, kBlendNone>;
        case kBlendOver: return &ShadeRun<I, Combine, Alpha, Depth, kBlendOver>;
        default: return &ShadeRun<I, Combine, Alpha, Depth, kBlendGeneric>;
    }
}

template <class I, int Combine, int Alpha>
RunFunction<I> ChooseDepth(int depth, int blending) {
    switch (depth) {
        case kDepthNone: return ChooseBlend<I, Combine, Alpha, kDepthNone>(blending);
        case kDepthWriteOnly: return ChooseBlend<I, Combine, Alpha, kDepthWriteOnly>(blending);
        default: return ChooseBlend<I, Combine, Alpha, kDepthTest>(blending);
    }
}

template <class I, int Combine>
RunFunction<I> ChooseAlpha(int alpha, int depth, int blending) {
    switch (alpha) {
        case kAlphaNone: return ChooseDepth<I, Combine, kAlphaNone>(depth, blending);
        case kAlphaGreater: return ChooseDepth<I, Combine, kAlphaGreater>(depth, blending);
        default: return ChooseDepth<I, Combine, kAlphaGeneric>(depth, blending);
    }
}

template <class I>
RunFunction<I> ChooseRun(const STarget& target, const SPipeline& p, const SPlanes& planes) {
    const bool modulate = p.colourA == kSrcTexture && p.colourB == kSrcDiffuse && p.alphaA == kSrcTexture &&
                          p.alphaB == kSrcDiffuse;
    const int alpha = !p.alphaTest                    ? kAlphaNone
                      : p.alphaFunc == Cmp::Greater   ? kAlphaGreater
                      : p.alphaFunc == Cmp::Always    ? kAlphaNone
                                                      : kAlphaGeneric;
    int depth = kDepthNone;
    if (p.depthTest && target.depth) {
        if (!planes.flatDepth || !AlwaysPasses(p.depthFunc, planes.flatDepthValue, 65535))
            depth = kDepthTest;
        else if (p.depthWrite)
            depth = kDepthWriteOnly;
    }
    const bool over = p.srcBlend == Blend::SrcAlpha && p.destBlend == Blend::InvSrcAlpha &&
                      p.blendOp == BlendOp::Add && p.srcBlendAlpha == p.srcBlend &&
                      p.destBlendAlpha == p.destBlend && p.blendOpAlpha == p.blendOp;
    const int blending = !p.blend ? kBlendNone : over ? kBlendOver : kBlendGeneric;
    return modulate ? ChooseAlpha<I, kCombineModulate>(alpha, depth, blending)
                    : ChooseAlpha<I, kCombineGeneric>(alpha, depth, blending);
}

// (a * (256 - w) + b * w + 128) >> 8 in every lane; w holds each pixel's weight in both lanes.
template <class I>
inline typename I::V LerpHalf(const SKernel<I>& k, typename I::V a, typename I::V b, typename I::V w) {
    const typename I::V sum = I::Add16(I::MulLo16(a, I::Sub16(k.weightOne, w)), I::MulLo16(b, w));
    return I::Srl16(I::Add16(sum, k.round), 8);
}

template <class I>
inline typename I::V LerpPixels(const SKernel<I>& k, typename I::V a, typename I::V b, typename I::V w) {
    const SHalves<I> ha = Split(k, a);
    const SHalves<I> hb = Split(k, b);
    return Join<I>(LerpHalf(k, ha.rb, hb.rb, w), LerpHalf(k, ha.ag, hb.ag, w));
}

// Bilinear texels of n pixels stepping (du, dv) from (u, v), I::N pixels at a time. Lanes past
// n compute in-range taps too (taps always wrap into the texture), so no tail is special.
template <class I>
void SampleLinearRun(const SKernel<I>& k, const STextureView& tv, uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
                     int n, uint32_t* out) {
    constexpr int N = I::N;
    for (int i = 0; i < n; i += N) {
        SBilinearTaps<I> taps;
        I::BilinearTaps(tv, u, v, du, dv, &taps);
        const typename I::V weightU = BroadcastAlpha<I>(taps.weightU);
        const typename I::V weightV = BroadcastAlpha<I>(taps.weightV);
        const typename I::V top = LerpPixels(k, I::Or(taps.t00, k.texAlphaOr), I::Or(taps.t10, k.texAlphaOr), weightU);
        const typename I::V bottom =
            LerpPixels(k, I::Or(taps.t01, k.texAlphaOr), I::Or(taps.t11, k.texAlphaOr), weightU);
        const typename I::V result = LerpPixels(k, top, bottom, weightV);
        if (n - i >= N) {
            I::Store(out + i, result);
        } else {
            alignas(32) uint32_t last[N];
            I::Store(last, result);
            for (int j = 0; j < n - i; ++j) out[i + j] = last[j];
        }
        u += du * N;
        v += dv * N;
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
void ShadeSpan(const SKernel<I>& k, RunFunction<I> run, const STarget& target, const SPlanes& planes, int32_t py,
               int32_t x0, int32_t x1) {
    const STextureView& tv = k.p->texture;
    uint32_t texBuffer[kChunk];
    uint32_t difBuffer[kChunk];
    uint16_t zBuffer[kChunk];
    uint32_t* row = target.pixels + static_cast<int64_t>(py) * target.pitch;
    uint16_t* depthRow = target.depth ? target.depth + static_cast<int64_t>(py) * target.depthPitch : nullptr;
    const int64_t dy = static_cast<int64_t>(py) - planes.originY;
    // A span that needs no buffer (texels read in place, flat colour and depth) runs in one go.
    int64_t chunk = kChunk;
    if (k.flatColour && k.flatDepth) {
        const int64_t dx = static_cast<int64_t>(x0) - planes.originX;
        const uint32_t u = planes.u + planes.udx * static_cast<uint32_t>(dx) + planes.udy * static_cast<uint32_t>(dy);
        if (!k.loadTexel || (!planes.linear && planes.vdx == 0 && Contiguous(u, planes.udx, x1 - x0, tv.width)))
            chunk = x1 - x0;
    }
    for (int32_t x = x0; x < x1; x += static_cast<int32_t>(chunk)) {
        const int n = static_cast<int>(MinI64(chunk, static_cast<int64_t>(x1) - x));
        const int64_t dx = static_cast<int64_t>(x) - planes.originX;
        const uint32_t* texel = texBuffer;
        if (k.loadTexel) {
            uint32_t u = planes.u + planes.udx * static_cast<uint32_t>(dx) + planes.udy * static_cast<uint32_t>(dy);
            uint32_t v = planes.v + planes.vdx * static_cast<uint32_t>(dx) + planes.vdy * static_cast<uint32_t>(dy);
            if (planes.linear) {
                SampleLinearRun(k, tv, u, v, planes.udx, planes.vdx, n, texBuffer);
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
        if (!k.flatDepth) {
            int64_t acc = planes.depth + planes.depthDx * dx + planes.depthDy * dy;
            for (int i = 0; i < n; ++i, acc += planes.depthDx) zBuffer[i] = DepthValue(acc);
        }
        run(k, n, texel, difBuffer, zBuffer, row + x, depthRow ? depthRow + x : nullptr);
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
    k.opaque = I::Set32(255);
    k.sumLimit = I::Set16(65024);
    k.weightOne = I::Set16(256);
    k.alphaRef = I::Set32(p.alphaRef);
    k.flatDiffuse = I::Set32(planes.flatColourValue);
    const bool singleTexel = p.texture.width == 1 && p.texture.height == 1;
    k.loadTexel = p.useTexture && !singleTexel;
    k.flatTexel = I::Set32(singleTexel ? p.texture.texels[0] | p.texture.alphaOr : 0u);
    k.flatZ = I::SetD(planes.flatDepthValue);
    k.depthBias = I::SetD(0x8000);
    k.flatColour = planes.flatColour;
    k.whiteDiffuse = planes.flatColour && planes.flatColourValue == 0xFFFFFFFFu;
    const bool alphaFromTexture = p.alphaA == kSrcTexture || p.alphaB == kSrcTexture;
    k.skipClearTexels = p.useTexture && alphaFromTexture && p.alphaTest && !PassesForZero(p.alphaFunc, p.alphaRef);
    k.multiply = p.colourB != kSrcWhite || p.alphaB != kSrcWhite;
    k.flatDepth = planes.flatDepth || !(p.depthTest && target.depth);
    k.depthWrite = p.depthWrite;
    k.separateSrc = p.srcBlendAlpha != p.srcBlend;
    k.separateDest = p.destBlendAlpha != p.destBlend;
    k.separateOp = p.blendOpAlpha != p.blendOp;
    return k;
}

template <class I>
void DrawSetupWith(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    const SKernel<I> k = MakeKernel<I>(target, pipeline, setup.planes);
    const RunFunction<I> run = ChooseRun<I>(target, pipeline, setup.planes);
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
            if (left >= right) continue;
            // The next row is usually the same span one line down: start fetching it now.
            if (py + 1 < cover.bottom) {
                const int64_t next = static_cast<int64_t>(py + 1);
                __builtin_prefetch(target.pixels + next * target.pitch + left, 1);
                __builtin_prefetch(target.pixels + next * target.pitch + right - 1, 1);
                if (target.depth) __builtin_prefetch(target.depth + next * target.depthPitch + left, 1);
            }
            ShadeSpan(k, run, target, setup.planes, py, static_cast<int32_t>(left), static_cast<int32_t>(right));
        }
    }
}

}  // namespace
}  // namespace raster
