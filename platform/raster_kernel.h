// The span rasteriser, written once over a vector instruction set I (SSE2 or AVX2, see
// raster_sse2.cpp and raster_avx2.cpp). Each row of a triangle is solved for its first and last
// covered pixel; the row is then shaded in chunks: texels fetched (straight from the texture row
// when the span steps one texel per pixel), then I::N pixels at a time combined, tested and
// blended in 16-bit lanes.
//
// Pixels are split into two vectors of 16-bit lanes: rb (blue, red) and ag (green, alpha), so
// that every 8-bit product fits a lane and no lane ever crosses a pixel.
//
// The pixel loop is compiled for the shapes the game draws with (the texture alone or times a
// flat colour; the seven layer blends and the premultiplied "over", with the alpha blended
// alike, by MAX, by its own "over" or kept), so that their loops carry no decision per pixel;
// everything else runs through the generic loop, which decides at run time and gives the same
// pixels.
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
    // Operands within 2^52 (all edges inside the guard band) divide as doubles, which is several
    // times faster than a 64-bit integer division: the rounded quotient is within one of the
    // true one, and the remainder puts it right.
    constexpr int64_t kExact = int64_t{1} << 52;
    if (b > 0 && b < kExact && a > -kExact && a < kExact) {
        int64_t q = static_cast<int64_t>(static_cast<double>(a) / static_cast<double>(b));
        const int64_t r = a - q * b;
        if (r < 0) --q;
        if (r >= b) ++q;
        return q;
    }
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

constexpr int kChunk = 128;

// The per-pixel steps must fold into their run's loop whatever the compiler's size limits say:
// a call per group of pixels costs more than the group's arithmetic. The steps per run, shared
// by every shape, are kept out of line, so that each shape adds only its loops. Sanitizer builds
// leave inlining to the compiler: forced, it doubles their compile time for no checking gained.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RASTER_INLINE inline
#else
#define RASTER_INLINE inline __attribute__((always_inline))
#endif

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

// The shapes of a run's pixel loop; each run is compiled for one combination.
// The stage: the texel alone or times a flat colour (texels read, so no 1×1 texture), or any
// combination (SDrawPlan::combine, decided per group).
enum { kStageTexture, kStageModulate, kStageAny };
// The alpha test: "greater than" (with a reference of -1 when there is no test), none (runs
// without blending, which then need not read the target), or any.
enum { kAlphaTestGreater, kAlphaTestNone, kAlphaTestGeneric };
// The depth: none, the flat depth written where pixels pass (a test that always passes), or a
// real test.
enum { kDepthNone, kDepthWrite, kDepthTest };
// Blends with a shape of their own (the ADD operation with the layer blend modes' factors);
// every other combination of factors and operations takes kBlendGeneric.
enum {
    kBlendNone,
    kBlendOver,         // SRCALPHA, INVSRCALPHA: s * a + d * (1 - a)
    kBlendAddAlpha,     // SRCALPHA, ONE: d + s * a
    kBlendMultiply,     // DESTCOLOR, ZERO: s * d
    kBlendExclusion,    // INVDESTCOLOR, INVSRCCOLOR: s * (1 - d) + d * (1 - s)
    kBlendScreen,       // ONE, INVSRCCOLOR: s + d * (1 - s)
    kBlendDarken,       // ZERO, INVSRCCOLOR: d * (1 - s)
    kBlendMultiplyAdd,  // DESTCOLOR, ONE: d + s * d
    kBlendPremultipliedOver,  // ONE, INVSRCALPHA: s + d * (1 - a), for colour already weighted by a
    kBlendGeneric
};
// The alpha a shaped blend stores (a target without alpha stores 255 whatever it is): the colour
// formula applied to the alphas (no separate alpha blend, or one with the same states), the
// larger of the two (MAX), the source's "over" the destination's (ONE, INVSRCALPHA, ADD: the
// coverage of both), or the destination's (ZERO, ONE, ADD).
enum { kAlphaLikeColour, kAlphaMax, kAlphaOver, kAlphaKeep };
// The stage combination once the sources that cannot change a product (a white 1×1 texture, a
// flat white colour) are dropped.
enum ECombine : uint8_t {
    kCombineTexture,   // the texel
    kCombineDiffuse,   // the diffuse colour
    kCombineModulate,  // texel times diffuse colour in every channel
    kCombineMasked     // any other pair of operands, picked lane by lane
};

// What a draw needs, decided once from the states and the triangle's planes.
struct SDrawPlan {
    int stage, alphaTest, depth, blending;
    int alphaShape;  // the alpha a shaped blend stores
    ECombine combine;
    Source colourA, colourB, alphaA, alphaB;  // the product's operands, white second
    bool loadTexel;        // else every texel is singleTexel (no texture read, or a 1×1 texture)
    uint32_t singleTexel;
    bool skipClearTexels;  // a texel of alpha 0 leaves the pixel and its depth as they are
    bool skipEmptyTexels;  // a texel of 0 leaves the pixel as it is (but for a target without alpha's 255)
    bool opaqueSources;    // a source alpha of 255 can occur (the over blend then copies)
    uint32_t alphaRefAg;
};

// Drops the sources that cannot change a product: a white single texel, a flat white colour.
inline Source Effective(Source source, bool whiteTexel, bool whiteDiffuse) {
    if ((source == kSrcTexture && whiteTexel) || (source == kSrcDiffuse && whiteDiffuse)) return kSrcWhite;
    return source;
}

// Orders a product's two operands so that white, if any, comes second.
inline void WhiteLast(Source* a, Source* b) {
    if (*a == kSrcWhite) {
        *a = *b;
        *b = kSrcWhite;
    }
}

inline bool IsProduct(Source a, Source b, Source x, Source y) { return (a == x && b == y) || (a == y && b == x); }

inline void PlanStage(const SPipeline& p, const SPlanes& planes, SDrawPlan* plan) {
    const bool singleTexel = p.texture.width == 1 && p.texture.height == 1;
    plan->singleTexel = singleTexel ? p.texture.texels[0] | p.texture.alphaOr : 0u;
    plan->loadTexel = p.useTexture && !singleTexel;
    const bool whiteTexel = !plan->loadTexel && plan->singleTexel == 0xFFFFFFFFu;
    const bool whiteDiffuse = planes.flatColour && planes.flatColourValue == 0xFFFFFFFFu;
    plan->colourA = Effective(p.colourA, whiteTexel, whiteDiffuse);
    plan->colourB = Effective(p.colourB, whiteTexel, whiteDiffuse);
    plan->alphaA = Effective(p.alphaA, whiteTexel, whiteDiffuse);
    plan->alphaB = Effective(p.alphaB, whiteTexel, whiteDiffuse);
    WhiteLast(&plan->colourA, &plan->colourB);
    WhiteLast(&plan->alphaA, &plan->alphaB);
    const bool sameForAlpha = plan->colourA == plan->alphaA && plan->colourB == plan->alphaB;
    if (sameForAlpha && plan->colourA == kSrcTexture && plan->colourB == kSrcWhite)
        plan->combine = kCombineTexture;
    else if (sameForAlpha && plan->colourA == kSrcDiffuse && plan->colourB == kSrcWhite)
        plan->combine = kCombineDiffuse;
    else if (IsProduct(plan->colourA, plan->colourB, kSrcTexture, kSrcDiffuse) &&
             IsProduct(plan->alphaA, plan->alphaB, kSrcTexture, kSrcDiffuse))
        plan->combine = kCombineModulate;
    else
        plan->combine = kCombineMasked;
    plan->stage = kStageAny;
    if (plan->loadTexel && plan->combine == kCombineTexture) plan->stage = kStageTexture;
    if (plan->loadTexel && plan->combine == kCombineModulate && planes.flatColour) plan->stage = kStageModulate;
    // The source alpha stays below 255 when it is a product with a flat alpha below 255.
    plan->opaqueSources = !((plan->alphaA == kSrcDiffuse || plan->alphaB == kSrcDiffuse) && planes.flatColour &&
                            (planes.flatColourValue >> 24) < 255);
}

inline int ShapedBlend(const SPipeline& p) {
    struct SShape {
        uint32_t src, dest;
        int blending;
    };
    constexpr SShape kShapes[] = {
        {Blend::SrcAlpha, Blend::InvSrcAlpha, kBlendOver},
        {Blend::SrcAlpha, Blend::One, kBlendAddAlpha},
        {Blend::DestColor, Blend::Zero, kBlendMultiply},
        {Blend::InvDestColor, Blend::InvSrcColor, kBlendExclusion},
        {Blend::One, Blend::InvSrcColor, kBlendScreen},
        {Blend::Zero, Blend::InvSrcColor, kBlendDarken},
        {Blend::DestColor, Blend::One, kBlendMultiplyAdd},
        {Blend::One, Blend::InvSrcAlpha, kBlendPremultipliedOver},
    };
    if (!p.blend) return kBlendNone;
    if (p.blendOp != BlendOp::Add) return kBlendGeneric;
    for (const SShape& shape : kShapes)
        if (p.srcBlend == shape.src && p.destBlend == shape.dest) return shape.blending;
    return kBlendGeneric;
}

inline SDrawPlan PlanDraw(const STarget& target, const SPipeline& p, const SPlanes& planes) {
    SDrawPlan plan;
    PlanStage(p, planes, &plan);
    const bool greater = p.alphaTest && p.alphaFunc == Cmp::Greater;
    const bool noTest = !p.alphaTest || p.alphaFunc == Cmp::Always;
    plan.alphaTest = greater ? kAlphaTestGreater : noTest ? kAlphaTestNone : kAlphaTestGeneric;
    plan.alphaRefAg = greater ? static_cast<uint32_t>(p.alphaRef) << 16 | 0xFFFFu : 0xFFFFFFFFu;
    plan.depth = kDepthNone;
    if (p.depthTest && target.depth) {
        if (!planes.flatDepth || !AlwaysPasses(p.depthFunc, planes.flatDepthValue, 65535))
            plan.depth = kDepthTest;
        else if (p.depthWrite)
            plan.depth = kDepthWrite;
    }
    plan.blending = ShapedBlend(p);
    plan.alphaShape = kAlphaLikeColour;
    if (!target.opaque && plan.blending != kBlendNone) {
        const bool sameStates =
            p.srcBlendAlpha == p.srcBlend && p.destBlendAlpha == p.destBlend && p.blendOpAlpha == p.blendOp;
        const bool add = p.blendOpAlpha == BlendOp::Add;
        if (p.blendOpAlpha == BlendOp::Max)
            plan.alphaShape = kAlphaMax;
        else if (sameStates)
            plan.alphaShape = kAlphaLikeColour;
        else if (add && p.srcBlendAlpha == Blend::One && p.destBlendAlpha == Blend::InvSrcAlpha)
            plan.alphaShape = kAlphaOver;
        else if (add && p.srcBlendAlpha == Blend::Zero && p.destBlendAlpha == Blend::One)
            plan.alphaShape = kAlphaKeep;
        else
            plan.blending = kBlendGeneric;
    }
    // A texel of alpha 0 gives a source alpha of 0: it fails an alpha test that rejects 0, and
    // the over and additive blends keep the pixel (unless the target has no alpha, whose stored
    // alpha byte would become 255, or a depth value is written).
    const bool alphaFromTexture = p.useTexture && (p.alphaA == kSrcTexture || p.alphaB == kSrcTexture);
    const bool rejectedByTest = p.alphaTest && !PassesForZero(p.alphaFunc, p.alphaRef);
    const bool keptByBlend = (plan.blending == kBlendOver || plan.blending == kBlendAddAlpha) && !target.opaque &&
                             plan.depth == kDepthNone;
    plan.skipClearTexels = alphaFromTexture && (rejectedByTest || keptByBlend);
    // A texel of 0 in both products adds nothing and covers nothing in the premultiplied "over".
    const bool colourFromTexture = p.useTexture && (p.colourA == kSrcTexture || p.colourB == kSrcTexture);
    plan.skipEmptyTexels = alphaFromTexture && colourFromTexture && !rejectedByTest &&
                           plan.blending == kBlendPremultipliedOver && plan.depth == kDepthNone;
    return plan;
}

template <class I>
struct SHalves {
    typename I::V rb, ag;
};

// One operand of the stage product, chosen lane by lane among the texel, the diffuse colour
// and white: the texture and diffuse masks hold 0xFFFF in the lanes that take that source,
// the white vector 255 in the lanes that take white.
template <class I>
struct SOperandMasks {
    SHalves<I> texture, diffuse, white;
};

template <class I>
struct SKernel {
    using V = typename I::V;
    using D = typename I::D;
    const SPipeline* p;
    V texAlphaOr, dstAlphaOr;
    V lowByte;     // 0x00FF in every 16-bit lane
    V alphaLane;   // 0xFFFF0000 in every pixel: the alpha lane of an ag vector
    V round;       // 128 in every 16-bit lane
    V scale;       // 257 in every 16-bit lane
    V opaqueAg;    // 0x00FEFFFF: an ag vector above it holds alpha 255
    V sumLimit;    // 65024: sums of products above it round to 255 or more
    V alphaRef;    // the reference in every pixel
    V alphaRefAg;  // an ag vector above it passes the alpha test (-1: no test)
    V flatTexel;
    V flatDiffuseRb, flatDiffuseAg;
    const SOperandMasks<I>* operands;  // kCombineMasked: operands A and B
    D flatZ;
    D depthBias;
    ECombine combine;
    bool loadTexel;
    bool flatColour;
    bool skipClearTexels;
    bool skipEmptyTexels;
    bool multiply;  // kCombineMasked: operand B is not white in every lane
    bool opaqueSources;
    int alphaShape;
    bool texAlphaOpaque;  // X8R8G8B8 texture: texels read with alpha 255
    bool opaqueTarget;    // X8R8G8B8 target: alpha stored as 255
    bool flatDepth;
    bool depthWrite;
    bool separateSrc, separateDest, separateOp;
};

// round(x / 255) for x in 0..65535 (exact up to 65025; larger sums saturate to 255 anyway).
template <class I>
inline typename I::V Div255(const SKernel<I>& k, typename I::V x) {
    return I::MulHi16(I::Add16(x, k.round), k.scale);
}

template <class I>
inline typename I::V Mul8(const SKernel<I>& k, typename I::V a, typename I::V b) {
    return Div255(k, I::MulLo16(a, b));
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
inline typename I::V PickLanes(typename I::V texel, typename I::V diffuse, typename I::V textureMask,
                               typename I::V diffuseMask, typename I::V white) {
    return I::Or(I::Or(I::And(texel, textureMask), I::And(diffuse, diffuseMask)), white);
}

template <class I>
RASTER_INLINE SHalves<I> Operand(const SOperandMasks<I>& m, const SHalves<I>& texel, const SHalves<I>& diffuse) {
    return {PickLanes<I>(texel.rb, diffuse.rb, m.texture.rb, m.diffuse.rb, m.white.rb),
            PickLanes<I>(texel.ag, diffuse.ag, m.texture.ag, m.diffuse.ag, m.white.ag)};
}

// The texture stage's result for I::N pixels.
template <class I, int Stage>
RASTER_INLINE SHalves<I> Combine(const SKernel<I>& k, typename I::V texels, const uint32_t* diffuse) {
    if constexpr (Stage == kStageTexture) {
        return Split(k, texels);
    } else if constexpr (Stage == kStageModulate) {
        const SHalves<I> tex = Split(k, texels);
        return {Mul8(k, tex.rb, k.flatDiffuseRb), Mul8(k, tex.ag, k.flatDiffuseAg)};
    } else {
        SHalves<I> dif = {k.flatDiffuseRb, k.flatDiffuseAg};
        if (!k.flatColour) dif = Split(k, I::Load(diffuse));
        switch (k.combine) {
            case kCombineTexture: return Split(k, texels);
            case kCombineDiffuse: return dif;
            case kCombineModulate: {
                const SHalves<I> tex = Split(k, texels);
                return {Mul8(k, tex.rb, dif.rb), Mul8(k, tex.ag, dif.ag)};
            }
            default: {
                const SHalves<I> tex = Split(k, texels);
                const SHalves<I> a = Operand(k.operands[0], tex, dif);
                if (!k.multiply) return a;
                const SHalves<I> b = Operand(k.operands[1], tex, dif);
                return {Mul8(k, a.rb, b.rb), Mul8(k, a.ag, b.ag)};
            }
        }
    }
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

// One half (rb or ag) of the generic blend; isAg merges the alpha lane's own factors and
// operation.
template <class I>
RASTER_INLINE typename I::V BlendHalf(const SKernel<I>& k, bool isAg, typename I::V s, typename I::V sa,
                                      typename I::V d, typename I::V da) {
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

// One half of a shaped blend of source s into destination d; sa holds each pixel's source
// alpha in both lanes. Every sum stays within 0..65025, so no lane overflows; the two blends
// that add to the destination saturate at 255 as the reference does.
template <class I, int Blending>
RASTER_INLINE typename I::V BlendShaped(const SKernel<I>& k, typename I::V s, typename I::V sa, typename I::V d) {
    if constexpr (Blending == kBlendOver) {
        return Div255(k, I::Add16(I::MulLo16(s, sa), I::MulLo16(d, I::Xor(sa, k.lowByte))));
    } else if constexpr (Blending == kBlendAddAlpha) {
        return I::Min16(I::Add16(d, Mul8(k, s, sa)), k.lowByte);
    } else if constexpr (Blending == kBlendMultiply) {
        return Mul8(k, s, d);
    } else if constexpr (Blending == kBlendExclusion) {
        return Div255(k, I::Add16(I::MulLo16(s, I::Xor(d, k.lowByte)), I::MulLo16(d, I::Xor(s, k.lowByte))));
    } else if constexpr (Blending == kBlendScreen) {
        return I::Add16(s, Mul8(k, d, I::Xor(s, k.lowByte)));
    } else if constexpr (Blending == kBlendDarken) {
        return Mul8(k, d, I::Xor(s, k.lowByte));
    } else if constexpr (Blending == kBlendPremultipliedOver) {
        return I::Min16(I::Add16(s, Mul8(k, d, I::Xor(sa, k.lowByte))), k.lowByte);
    } else {
        static_assert(Blending == kBlendMultiplyAdd);
        return I::Min16(I::Add16(d, Mul8(k, s, d)), k.lowByte);
    }
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

// The blended pixels of a group (alpha lanes still to be forced for a target without alpha).
template <class I, int Stage, int Blending>
RASTER_INLINE typename I::V BlendGroup(const SKernel<I>& k, const SHalves<I>& src, typename I::V old) {
    using V = typename I::V;
    if constexpr (Blending == kBlendNone) {
        return Join<I>(src.rb, src.ag);
    } else if constexpr (Blending == kBlendGeneric) {
        const SHalves<I> d = Split(k, I::Or(old, k.dstAlphaOr));
        const V sa = BroadcastAlpha<I>(I::Srl32(src.ag, 16));
        const V da = BroadcastAlpha<I>(I::Srl32(d.ag, 16));
        return Join<I>(BlendHalf(k, false, src.rb, sa, d.rb, da), BlendHalf(k, true, src.ag, sa, d.ag, da));
    } else {
        const bool opaqueSources = Stage == kStageTexture || k.opaqueSources;
        constexpr bool kOver = Blending == kBlendOver || Blending == kBlendPremultipliedOver;
        if (kOver && opaqueSources && k.alphaShape != kAlphaKeep &&
            I::MoveMask(I::CmpGt32(src.ag, k.opaqueAg)) == I::kAllLanes)
            return Join<I>(src.rb, src.ag);  // s * 1 + d * 0, and an alpha of 255
        // The destination's alpha lane reaches only the alpha lane of the result, which a
        // target without alpha replaces: it need not read as 255 here.
        const SHalves<I> d = Split(k, old);
        const V sa = I::AlphaToBothLanes(src.ag);
        const V rb = BlendShaped<I, Blending>(k, src.rb, sa, d.rb);
        V ag = BlendShaped<I, Blending>(k, src.ag, sa, d.ag);
        // In the alpha lane: max(sa, da); sa + da * (1 - sa), exactly as the sum rounded once,
        // since sa * 255 / 255 is whole; or da.
        if (k.alphaShape == kAlphaMax) ag = I::BlendAlphaLanes(ag, I::Max16(src.ag, d.ag));
        if (k.alphaShape == kAlphaOver)
            ag = I::BlendAlphaLanes(ag, I::Add16(src.ag, Mul8(k, d.ag, I::Xor(sa, k.lowByte))));
        if (k.alphaShape == kAlphaKeep) ag = I::BlendAlphaLanes(ag, d.ag);
        return Join<I>(rb, ag);
    }
}

// One run of pixels along a row.
struct SRunInput {
    int n;
    const uint32_t* texel;    // n texels, unless the kernel has a flat texel
    const uint32_t* diffuse;  // n colours, unless the colour is flat
    const uint16_t* z;        // n depth values, unless the depth is flat
    uint32_t* dst;
    uint16_t* depth;          // the depth row at the first pixel, or null
    int64_t texelAheadBytes;  // the texels the next row reads lie this far from these,
    int64_t dstAheadBytes;    // the next row of the target this far from this one,
    int64_t depthAheadBytes;  // and the next row of the depth buffer this far from this one
    // Pixels from dst (and depth values from depth) that may be read and written back as they
    // were, with as many texels, colours and depths readable: a last group this short of the
    // end is shaded in place under a mask. 0: copy the last group out and back.
    int room;
};

// Shades I::N pixels from index i of the run. lanes masks the pixels that exist.
template <class I, int Stage, int AlphaTestShape, int Depth, int Blending>
RASTER_INLINE void ShadeGroup(const SKernel<I>& k, typename I::V lanes, const SRunInput& in, int i) {
    using V = typename I::V;
    const bool texelsRead = Stage != kStageAny || k.loadTexel;
    V texels = k.flatTexel;
    if (texelsRead) texels = k.texAlphaOpaque ? I::Or(I::Load(in.texel + i), k.texAlphaOr) : I::Load(in.texel + i);
    if (k.skipClearTexels && I::AllAlphaZero(I::And(texels, lanes))) return;
    if (k.skipEmptyTexels && I::MoveMask(I::CmpEq32(I::And(texels, lanes), I::Zero())) == I::kAllLanes) {
        if (!k.opaqueTarget) return;
        // A target without alpha stores 255 in every pixel drawn; it mostly holds 255 already.
        const V old = I::Load(in.dst + i);
        const V forced = I::Or(old, k.dstAlphaOr);
        if (I::MoveMask(I::CmpEq32(forced, old)) != I::kAllLanes) I::Store(in.dst + i, I::Select(lanes, forced, old));
        return;
    }
    const SHalves<I> src = Combine<I, Stage>(k, texels, in.diffuse + i);

    V mask = lanes;
    if constexpr (AlphaTestShape == kAlphaTestGreater) mask = I::And(mask, I::CmpGt32(src.ag, k.alphaRefAg));
    if constexpr (AlphaTestShape == kAlphaTestGeneric) mask = I::And(mask, AlphaTest(k, I::Srl32(src.ag, 16)));
    if constexpr (Depth == kDepthWrite) {
        uint16_t* depth = in.depth + i;
        if (I::MoveMask(mask) == I::kAllLanes)
            I::StoreD(depth, k.flatZ);
        else
            I::StoreD(depth, I::DSelect(I::NarrowMask(mask), k.flatZ, I::LoadD(depth)));
    }
    if constexpr (Depth == kDepthTest) {
        uint16_t* depth = in.depth + i;
        const typename I::D zNew = k.flatDepth ? k.flatZ : I::LoadD(in.z + i);
        const typename I::D stored = I::LoadD(depth);
        mask = I::And(mask, I::WidenMask(DepthTest(k, zNew, stored)));
        if (k.depthWrite) I::StoreD(depth, I::DSelect(I::NarrowMask(mask), zNew, stored));
    }
    const int passing = I::MoveMask(mask);
    if (passing == 0) return;

    const V old = I::Load(in.dst + i);
    const V out = I::Or(BlendGroup<I, Stage, Blending>(k, src, old), k.dstAlphaOr);
    I::Store(in.dst + i, passing == I::kAllLanes ? out : I::Select(mask, out, old));
}

// Shades a run of pixels; k must be a local copy the compiler can keep in registers (a store to
// the target could alias anything reached through a reference).
template <class I, int Stage, int AlphaTestShape, int Depth, int Blending>
RASTER_INLINE void ShadeRun(const SKernel<I>& k, const SRunInput& input) {
    constexpr int N = I::N;
    const SRunInput in = input;
    const bool texelsRead = Stage != kStageAny || k.loadTexel;
    const uintptr_t ahead = reinterpret_cast<uintptr_t>(in.texel) + static_cast<uintptr_t>(in.texelAheadBytes);
    const uintptr_t dstAhead = reinterpret_cast<uintptr_t>(in.dst) + static_cast<uintptr_t>(in.dstAheadBytes);
    const uintptr_t depthAhead =
        reinterpret_cast<uintptr_t>(in.depth) + static_cast<uintptr_t>(in.depthAheadBytes);
    int i = 0;
    for (; i + N <= in.n; i += N) {
        // The same pixels of the next row, which the processor does not fetch early enough by
        // itself; a prefetch per group costs less than one per cache line and a test.
        const uintptr_t at = static_cast<uintptr_t>(i);
        if (texelsRead) __builtin_prefetch(reinterpret_cast<const void*>(ahead + 4 * at));
        __builtin_prefetch(reinterpret_cast<const void*>(dstAhead + 4 * at), 1);
        if (Depth != kDepthNone) __builtin_prefetch(reinterpret_cast<const void*>(depthAhead + 2 * at), 1);
        ShadeGroup<I, Stage, AlphaTestShape, Depth, Blending>(k, I::Ones(), in, i);
    }
    const int rest = in.n - i;
    if (rest == 0) return;
    if (in.room >= i + N) {
        ShadeGroup<I, Stage, AlphaTestShape, Depth, Blending>(k, I::FirstLanes(rest), in, i);
        return;
    }
    const bool hasDepth = Depth != kDepthNone;
    uint32_t t[N] = {}, c[N] = {}, out[N] = {};
    uint16_t zz[N] = {}, dd[N] = {};
    for (int j = 0; j < rest; ++j) {
        if (texelsRead) t[j] = in.texel[i + j];
        if (!k.flatColour) c[j] = in.diffuse[i + j];
        if (Depth == kDepthTest && !k.flatDepth) zz[j] = in.z[i + j];
        if (hasDepth) dd[j] = in.depth[i + j];
        out[j] = in.dst[i + j];
    }
    const SRunInput last = {rest, t, c, zz, out, dd, 0, 0, 0, 0};
    ShadeGroup<I, Stage, AlphaTestShape, Depth, Blending>(k, I::FirstLanes(rest), last, 0);
    for (int j = 0; j < rest; ++j) {
        in.dst[i + j] = out[j];
        if (hasDepth) in.depth[i + j] = dd[j];
    }
}

// Lerp8 in every lane of two pixel halves; w holds each pixel's weight in both of its lanes.
template <class I>
RASTER_INLINE SHalves<I> LerpHalves(const SHalves<I>& a, const SHalves<I>& b, typename I::V w) {
    return {I::Lerp16(a.rb, b.rb, w), I::Lerp16(a.ag, b.ag, w)};
}

// Bilinear texels of n pixels stepping (du, dv) from (u, v), I::N pixels at a time. Lanes past
// n compute in-range taps too (taps always wrap into the texture), so no tail is special.
template <class I>
__attribute__((noinline)) void SampleLinearRun(const SKernel<I>& k, const STextureView& tv, uint32_t u, uint32_t v,
                                               uint32_t du, uint32_t dv, int n, uint32_t* out) {
    using V = typename I::V;
    constexpr int N = I::N;
    // A row that does not step in v reads the same two texture rows with the same weight.
    const SLinearTap tapV = LinearTap(v, tv.height);
    const uint32_t* row0 = tv.texels + static_cast<int64_t>(tapV.first) * tv.pitch;
    const uint32_t* row1 = tv.texels + static_cast<int64_t>(tapV.second) * tv.pitch;
    const V rowWeight = I::Set16(static_cast<uint16_t>(tapV.weight));
    const auto texels = [&](V t) { return Split(k, k.texAlphaOpaque ? I::Or(t, k.texAlphaOr) : t); };
    int i = 0;
    // A picture at scale 1 (the layers' 0.1-texel nudge puts every pixel at the same fraction
    // between two columns): when the first and the last pixel of the run have the same weight
    // and lie n - 1 columns apart without wrapping, every pixel between does too (the position
    // is linear in the pixel), so the taps are plain loads of consecutive texels.
    const SLinearTap firstTap = LinearTap(u, tv.width);
    const uint64_t lastU = uint64_t{u} + uint64_t{du} * static_cast<uint64_t>(n - 1);
    if (dv == 0 && n >= N && lastU >> 32 == 0) {
        const SLinearTap lastTap = LinearTap(static_cast<uint32_t>(lastU), tv.width);
        if (lastTap.weight == firstTap.weight && lastTap.first == firstTap.first + static_cast<uint32_t>(n - 1) &&
            uint64_t{firstTap.first} + static_cast<uint64_t>(n) < tv.width) {
            const V weightU = I::Set16(static_cast<uint16_t>(firstTap.weight));
            const uint32_t* top = row0 + firstTap.first;
            const uint32_t* bottom = row1 + firstTap.first;
            for (; i + N <= n; i += N) {
                const SHalves<I> upper = LerpHalves<I>(texels(I::Load(top + i)), texels(I::Load(top + i + 1)), weightU);
                const SHalves<I> lower =
                    LerpHalves<I>(texels(I::Load(bottom + i)), texels(I::Load(bottom + i + 1)), weightU);
                const SHalves<I> mixed = LerpHalves<I>(upper, lower, rowWeight);
                I::Store(out + i, Join<I>(mixed.rb, mixed.ag));
            }
            u += du * static_cast<uint32_t>(i);
        }
    }
    for (; i < n; i += N) {
        SBilinearTaps<I> taps;
        V weightV = rowWeight;
        if (dv == 0) {
            I::RowTaps(tv, row0, row1, u, du, &taps);
        } else {
            I::BilinearTaps(tv, u, v, du, dv, &taps);
            weightV = BroadcastAlpha<I>(taps.weightV);
        }
        const V weightU = BroadcastAlpha<I>(taps.weightU);
        const SHalves<I> top = LerpHalves<I>(texels(taps.t00), texels(taps.t10), weightU);
        const SHalves<I> bottom = LerpHalves<I>(texels(taps.t01), texels(taps.t11), weightU);
        const SHalves<I> mixed = LerpHalves<I>(top, bottom, weightV);
        const V result = Join<I>(mixed.rb, mixed.ag);
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

// The distance in bytes from the texel at (u, v) to the one the same pixel of the next row
// reads: large textures are read row after row with a gap between the rows, which the
// processor's own prefetching does not cross in time.
inline int64_t NextRowDistance(const STextureView& tv, const SPlanes& planes, uint32_t u, uint32_t v) {
    const int64_t rows = static_cast<int64_t>(TexelIndex(v + planes.vdy, tv.height)) - TexelIndex(v, tv.height);
    const int64_t columns = static_cast<int64_t>(TexelIndex(u + planes.udy, tv.width)) - TexelIndex(u, tv.width);
    return (rows * tv.pitch + columns) * 4;
}

// Buffers for the texels, colours and depths of a run that are not read in place or flat.
struct SRunBuffers {
    uint32_t texel[kChunk];
    uint32_t diffuse[kChunk];
    uint16_t z[kChunk];
};

// The length of the runs of the span x0..x1 of row py: the whole span when nothing needs a
// buffer (texels read in place, flat colour and depth), else kChunk.
template <class I>
int64_t RunLength(const SKernel<I>& k, const SPlanes& planes, int32_t py, int32_t x0, int32_t x1) {
    if (!k.flatColour || !k.flatDepth) return kChunk;
    if (!k.loadTexel) return x1 - x0;
    const int64_t dx = static_cast<int64_t>(x0) - planes.originX;
    const int64_t dy = static_cast<int64_t>(py) - planes.originY;
    const uint32_t u = planes.u + planes.udx * static_cast<uint32_t>(dx) + planes.udy * static_cast<uint32_t>(dy);
    if (!planes.linear && planes.vdx == 0 && Contiguous(u, planes.udx, x1 - x0, k.p->texture.width)) return x1 - x0;
    return kChunk;
}

// A run of n pixels from x on row py: the target and depth rows, the buffers for everything
// not read in place.
inline SRunInput RunAt(const STarget& target, int32_t py, int64_t x, int n, SRunBuffers* buffers) {
    SRunInput in;
    in.n = n;
    in.texel = buffers->texel;
    in.diffuse = buffers->diffuse;
    in.z = buffers->z;
    in.dst = target.pixels + static_cast<int64_t>(py) * target.pitch + x;
    in.depth = target.depth ? target.depth + static_cast<int64_t>(py) * target.depthPitch + x : nullptr;
    in.texelAheadBytes = 0;
    in.room = 0;
    in.dstAheadBytes = int64_t{target.pitch} * 4;
    in.depthAheadBytes = int64_t{target.depthPitch} * 2;
    return in;
}

// The inputs of the run of n pixels from x on row py.
template <class I>
__attribute__((noinline)) SRunInput PrepareRun(const SKernel<I>& k, const STarget& target, const SPlanes& planes,
                                               int32_t py, int32_t x, int n, SRunBuffers* buffers) {
    const STextureView& tv = k.p->texture;
    const int64_t dx = static_cast<int64_t>(x) - planes.originX;
    const int64_t dy = static_cast<int64_t>(py) - planes.originY;
    SRunInput in = RunAt(target, py, x, n, buffers);
    if (k.loadTexel) {
        uint32_t u = planes.u + planes.udx * static_cast<uint32_t>(dx) + planes.udy * static_cast<uint32_t>(dy);
        uint32_t v = planes.v + planes.vdx * static_cast<uint32_t>(dx) + planes.vdy * static_cast<uint32_t>(dy);
        uint32_t* texels = buffers->texel;
        if (planes.linear) {
            SampleLinearRun(k, tv, u, v, planes.udx, planes.vdx, n, texels);
        } else if (planes.vdx == 0) {
            const uint32_t* texRow = tv.texels + static_cast<int64_t>(TexelIndex(v, tv.height)) * tv.pitch;
            if (Contiguous(u, planes.udx, n, tv.width)) {
                in.texel = texRow + TexelIndex(u, tv.width);
                in.texelAheadBytes = NextRowDistance(tv, planes, u, v);
            } else {
                for (int i = 0; i < n; ++i, u += planes.udx) texels[i] = texRow[TexelIndex(u, tv.width)];
            }
        } else {
            for (int i = 0; i < n; ++i, u += planes.udx, v += planes.vdx)
                texels[i] =
                    tv.texels[static_cast<int64_t>(TexelIndex(v, tv.height)) * tv.pitch + TexelIndex(u, tv.width)];
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
            buffers->diffuse[i] = pixel;
        }
    }
    if (!k.flatDepth) {
        int64_t acc = planes.depth + planes.depthDx * dx + planes.depthDy * dy;
        for (int i = 0; i < n; ++i, acc += planes.depthDx) buffers->z[i] = DepthValue(acc);
    }
    return in;
}

template <class I>
SOperandMasks<I> MasksFor(Source colour, Source alpha) {
    const auto lanes = [&](Source source, uint32_t colourLanes, uint32_t alphaLanes) {
        return (colour == source ? colourLanes : 0u) | (alpha == source ? alphaLanes : 0u);
    };
    SOperandMasks<I> m;
    m.texture = {I::Set32(lanes(kSrcTexture, 0xFFFFFFFFu, 0)), I::Set32(lanes(kSrcTexture, 0xFFFF, 0xFFFF0000u))};
    m.diffuse = {I::Set32(lanes(kSrcDiffuse, 0xFFFFFFFFu, 0)), I::Set32(lanes(kSrcDiffuse, 0xFFFF, 0xFFFF0000u))};
    m.white = {I::Set32(lanes(kSrcWhite, 0x00FF00FFu, 0)), I::Set32(lanes(kSrcWhite, 0x00FF, 0x00FF0000u))};
    return m;
}

template <class I>
SKernel<I> MakeKernel(const STarget& target, const SPipeline& p, const SPlanes& planes, const SDrawPlan& plan,
                      SOperandMasks<I> (&operands)[2]) {
    SKernel<I> k;
    k.p = &p;
    k.texAlphaOr = I::Set32(p.texture.alphaOr);
    k.dstAlphaOr = I::Set32(target.opaque ? 0xFF000000u : 0u);
    k.lowByte = I::Set16(0x00FF);
    k.alphaLane = I::Set32(0xFFFF0000u);
    k.round = I::Set16(128);
    k.scale = I::Set16(257);
    k.opaqueAg = I::Set32(0x00FEFFFFu);
    k.sumLimit = I::Set16(65024);
    k.alphaRef = I::Set32(p.alphaRef);
    k.alphaRefAg = I::Set32(plan.alphaRefAg);
    k.flatTexel = I::Set32(plan.singleTexel);
    const SHalves<I> flatDiffuse = Split(k, I::Set32(planes.flatColourValue));
    k.flatDiffuseRb = flatDiffuse.rb;
    k.flatDiffuseAg = flatDiffuse.ag;
    operands[0] = MasksFor<I>(plan.colourA, plan.alphaA);
    operands[1] = MasksFor<I>(plan.colourB, plan.alphaB);
    k.operands = operands;
    k.flatZ = I::SetD(planes.flatDepthValue);
    k.depthBias = I::SetD(0x8000);
    k.combine = plan.combine;
    k.loadTexel = plan.loadTexel;
    k.flatColour = planes.flatColour;
    k.skipClearTexels = plan.skipClearTexels;
    k.skipEmptyTexels = plan.skipEmptyTexels;
    k.opaqueTarget = target.opaque;
    k.multiply = plan.colourB != kSrcWhite || plan.alphaB != kSrcWhite;
    k.opaqueSources = plan.opaqueSources;
    k.alphaShape = plan.alphaShape;
    k.texAlphaOpaque = p.texture.alphaOr != 0;
    k.flatDepth = planes.flatDepth || !(p.depthTest && target.depth);
    k.depthWrite = p.depthWrite;
    k.separateSrc = p.srcBlendAlpha != p.srcBlend;
    k.separateDest = p.destBlendAlpha != p.destBlend;
    k.separateOp = p.blendOpAlpha != p.blendOp;
    return k;
}

// Where one edge bounds each row: a pixel centre px of row py is inside when
// a * px + b * py + c > 0, so an edge with a > 0 starts the row at floor(-(b * py + c) / a) + 1
// and one with a < 0 ends it (exclusive) at -floor(-(b * py + c) / -a). The quotient is carried
// from row to row with its remainder instead of dividing again; an edge with a = 0 keeps the
// row or empties it.
struct SEdgeWalk {
    int side;  // +1: bounds the left end, -1: the right end, 0: the whole row
    int64_t quotient, remainder, divisor, stepQuotient, stepRemainder;
    int64_t rest, restStep;  // side 0: b * py + c and b
};

inline SEdgeWalk StartEdge(const SEdge& e, int32_t py) {
    SEdgeWalk w = {};
    w.rest = e.b * py + e.c;
    w.restStep = e.b;
    if (e.a == 0) return w;
    w.side = e.a > 0 ? 1 : -1;
    w.divisor = e.a > 0 ? e.a : -e.a;
    w.quotient = FloorDivI64(-w.rest, w.divisor);
    w.remainder = -w.rest - w.quotient * w.divisor;
    w.stepQuotient = FloorDivI64(-e.b, w.divisor);
    w.stepRemainder = -e.b - w.stepQuotient * w.divisor;
    return w;
}

inline void StepEdge(SEdgeWalk* w) {
    w->rest += w->restStep;
    w->quotient += w->stepQuotient;
    w->remainder += w->stepRemainder;
    if (w->remainder >= w->divisor && w->side != 0) {
        w->remainder -= w->divisor;
        ++w->quotient;
    }
}

// The rows of an unrotated, unscaled quad with flat colour and depth, the common case: each row
// reads its texels straight from one texture row, at columns that do not change from row to
// row, so only the texture row is worked out for each.
class SStraightRows {
public:
    template <class I>
    SStraightRows(const SKernel<I>& k, const SPlanes& planes, SRunBuffers* buffers)
        : texture_(k.p->texture), planes_(planes), buffers_(buffers) {
        usable_ = k.flatColour && k.flatDepth &&
                  (!k.loadTexel || (!planes.linear && planes.vdx == 0 && planes.udy == 0));
        loadTexel_ = k.loadTexel;
    }

    // Whether the span left..right can run this way (its columns are worked out once).
    bool Covers(int64_t left, int64_t right) {
        if (!usable_) return false;
        if (!loadTexel_) return true;
        if (left != left_ || right != right_) {
            left_ = left;
            right_ = right;
            const uint32_t u = planes_.u + planes_.udx * static_cast<uint32_t>(left - planes_.originX);
            contiguous_ = Contiguous(u, planes_.udx, static_cast<int>(right - left), texture_.width);
            column_ = TexelIndex(u, texture_.width);
        }
        return contiguous_;
    }

    SRunInput Run(const STarget& target, int32_t py, int64_t left, int64_t right) const {
        SRunInput in = RunAt(target, py, left, static_cast<int>(right - left), buffers_);
        if (loadTexel_) {
            const uint32_t v = planes_.v + planes_.vdy * static_cast<uint32_t>(py - planes_.originY);
            const int64_t row = TexelIndex(v, texture_.height);
            in.texel = texture_.texels + row * texture_.pitch + column_;
            in.texelAheadBytes = (TexelIndex(v + planes_.vdy, texture_.height) - row) * texture_.pitch * 4;
        }
        return in;
    }

private:
    const STextureView& texture_;
    const SPlanes& planes_;
    SRunBuffers* buffers_;
    bool usable_ = false;
    bool loadTexel_ = false;
    bool contiguous_ = false;
    int64_t left_ = 0, right_ = -1;
    uint32_t column_ = 0;
};

// The rows of a coverage triangle or quad that hold a pixel, top to bottom: each Next gives
// the row and its span left..right (right exclusive).
class CSpanWalker {
public:
    // The edges are sorted once into those that bound the rows' left ends, their right ends, and
    // those that keep or empty whole rows; an edge that keeps every row (a triangle's fourth) is
    // dropped.
    // prefetch: fetch each next row's ends early (long rows read from memory far apart).
    CSpanWalker(const STarget& target, const SCoverage& cover, bool prefetch = true)
        : target_(target), cover_(cover), py_(cover.top), prefetch_(prefetch) {
        for (const SEdge& e : cover.edge) {
            const SEdgeWalk walk = StartEdge(e, cover.top);
            if (walk.side > 0) lefts_[leftCount_++] = walk;
            if (walk.side < 0) rights_[rightCount_++] = walk;
            if (walk.side == 0 && (e.b != 0 || e.c <= 0)) rows_[rowCount_++] = walk;
        }
    }

    RASTER_INLINE bool Next(int32_t* row, int64_t* spanLeft, int64_t* spanRight) {
        for (; py_ < cover_.bottom; ++py_) {
            int64_t left = cover_.left;
            int64_t right = cover_.right;
            for (int e = 0; e < leftCount_; ++e) {
                left = MaxI64(left, lefts_[e].quotient + 1);
                StepEdge(&lefts_[e]);
            }
            for (int e = 0; e < rightCount_; ++e) {
                right = MinI64(right, -rights_[e].quotient);
                StepEdge(&rights_[e]);
            }
            for (int e = 0; e < rowCount_; ++e) {
                if (rows_[e].rest <= 0) right = left;
                StepEdge(&rows_[e]);
            }
            if (left >= right) continue;
            // The next row is usually the same span one line down: start fetching its ends now.
            if (prefetch_ && py_ + 1 < cover_.bottom) {
                const int64_t next = static_cast<int64_t>(py_ + 1);
                __builtin_prefetch(target_.pixels + next * target_.pitch + left, 1);
                __builtin_prefetch(target_.pixels + next * target_.pitch + right - 1, 1);
                if (target_.depth) __builtin_prefetch(target_.depth + next * target_.depthPitch + left, 1);
            }
            *row = py_++;
            *spanLeft = left;
            *spanRight = right;
            return true;
        }
        return false;
    }

private:
    const STarget& target_;
    const SCoverage& cover_;
    int32_t py_;
    bool prefetch_;
    int leftCount_ = 0, rightCount_ = 0, rowCount_ = 0;
    SEdgeWalk lefts_[4], rights_[4], rows_[4];
};

// Shades the rows of one coverage triangle or quad.
template <class I, int Stage, int AlphaTestShape, int Depth, int Blending>
void ShadeCover(const SKernel<I>& kernel, const STarget& target, const SPlanes& planes, const SCoverage& cover) {
    const SKernel<I> k = kernel;  // for the pixel loops only: its address must not escape
    SRunBuffers buffers;
    SStraightRows rows(kernel, planes, &buffers);
    int32_t py;
    int64_t left, right;
    for (CSpanWalker spans(target, cover); spans.Next(&py, &left, &right);) {
        const bool straight = rows.Covers(left, right);
        const int64_t length =
            straight ? right - left
                     : RunLength(kernel, planes, py, static_cast<int32_t>(left), static_cast<int32_t>(right));
        for (int64_t x = left; x < right; x += length) {
            const int n = static_cast<int>(MinI64(length, right - x));
            const SRunInput in = straight ? rows.Run(target, py, left, right)
                                          : PrepareRun(kernel, target, planes, py, static_cast<int32_t>(x), n, &buffers);
            ShadeRun<I, Stage, AlphaTestShape, Depth, Blending>(k, in);
        }
    }
}

template <class I>
using CoverFunction = void (*)(const SKernel<I>&, const STarget&, const SPlanes&, const SCoverage&);

// The runs of the shapes the game draws with: any blend but the generic one, with the
// "greater than" alpha test or none, and no depth test that can fail.
template <class I, int Stage, int Depth>
CoverFunction<I> ChooseShapedRun(const SDrawPlan& plan) {
    switch (plan.blending) {
        case kBlendOver: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendOver>;
        case kBlendAddAlpha: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendAddAlpha>;
        case kBlendMultiply: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendMultiply>;
        case kBlendExclusion: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendExclusion>;
        case kBlendScreen: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendScreen>;
        case kBlendDarken: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendDarken>;
        case kBlendMultiplyAdd: return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendMultiplyAdd>;
        case kBlendPremultipliedOver:
            return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendPremultipliedOver>;
        default:
            if (plan.alphaTest == kAlphaTestNone) return &ShadeCover<I, Stage, kAlphaTestNone, Depth, kBlendNone>;
            return &ShadeCover<I, Stage, kAlphaTestGreater, Depth, kBlendNone>;
    }
}

template <class I, int Stage>
CoverFunction<I> ChooseShapedDepth(const SDrawPlan& plan) {
    if (plan.depth == kDepthWrite) return ChooseShapedRun<I, Stage, kDepthWrite>(plan);
    return ChooseShapedRun<I, Stage, kDepthNone>(plan);
}

// The generic runs: any stage, blend and test, decided per group.
template <class I, int AlphaTestShape, int Depth>
CoverFunction<I> ChooseGenericBlend(int blending) {
    if (blending == kBlendNone) return &ShadeCover<I, kStageAny, AlphaTestShape, Depth, kBlendNone>;
    return &ShadeCover<I, kStageAny, AlphaTestShape, Depth, kBlendGeneric>;
}

template <class I, int AlphaTestShape>
CoverFunction<I> ChooseGenericDepth(const SDrawPlan& plan) {
    switch (plan.depth) {
        case kDepthNone: return ChooseGenericBlend<I, AlphaTestShape, kDepthNone>(plan.blending);
        case kDepthWrite: return ChooseGenericBlend<I, AlphaTestShape, kDepthWrite>(plan.blending);
        default: return ChooseGenericBlend<I, AlphaTestShape, kDepthTest>(plan.blending);
    }
}

template <class I>
CoverFunction<I> ChooseRun(const SDrawPlan& plan) {
    if (plan.blending != kBlendGeneric && plan.alphaTest != kAlphaTestGeneric && plan.depth != kDepthTest) {
        switch (plan.stage) {
            case kStageTexture: return ChooseShapedDepth<I, kStageTexture>(plan);
            case kStageModulate: return ChooseShapedDepth<I, kStageModulate>(plan);
            default: return ChooseShapedDepth<I, kStageAny>(plan);
        }
    }
    if (plan.alphaTest != kAlphaTestGeneric) return ChooseGenericDepth<I, kAlphaTestGreater>(plan);
    return ChooseGenericDepth<I, kAlphaTestGeneric>(plan);
}

template <class I>
void DrawSetupWith(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    const SDrawPlan plan = PlanDraw(target, pipeline, setup.planes);
    SOperandMasks<I> operands[2];
    const SKernel<I> k = MakeKernel<I>(target, pipeline, setup.planes, plan, operands);
    const CoverFunction<I> shade = ChooseRun<I>(plan);
    for (int i = 0; i < setup.count; ++i) shade(k, target, setup.planes, setup.cover[i]);
}

}  // namespace
}  // namespace raster

// RASTER_INLINE stays defined for raster_kernel_3d.h, which undefines it.
