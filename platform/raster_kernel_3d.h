// The 3D pixel work on a vector instruction set I, included after raster_kernel.h by
// raster_sse2.cpp and raster_avx2.cpp. For each run of a row it computes, I::N pixels at a
// time, the perspective-correct attributes in float (lane by lane the operations of
// ShadeFragment, in the same order, so the results agree bit for bit), samples the two
// textures, combines the stages in 16-bit lanes and adds the specular colour; the run of source
// colours then goes through the shared loops for the alpha test, depth and blending. Like
// raster_kernel.h it includes no standard headers and calls no standard functions.
#pragma once

#include "platform/raster_kernel.h"

namespace raster {
namespace {

template <class I>
struct SKernel3D {
    using V = typename I::V;
    using F = typename I::F;
    const SPipeline3D* p;
    SFragmentNeeds needs;
    SOperandMasks<I> stage0[2];  // operands A and B of stage 0
    bool stage0Multiply;         // operand B is not white in every lane
    SHalves<I> stage1Lanes;      // 0xFFFF in the lanes stage 1 multiplies
    SHalves<I> stage1White;      // 255 in the others
    V laneIndex;
    V fractionMask;
    F zero, half, level255, coordLow, coordHigh, fractionScale, one;
};

// The triangle's gradients and constants, broadcast.
template <class I>
struct STriangle3D {
    using F = typename I::F;
    F qdx, qMin, qMax;
    F adx[kAttrCount];
    F constant[kAttrCount];
    uint32_t varying;
};

// The plane values of one row: a0 + ady * fy.
template <class I>
struct SRow3D {
    typename I::F q;
    typename I::F a[kAttrCount];
};

template <class I>
SKernel3D<I> MakeKernel3D(const SPipeline3D& p) {
    SKernel3D<I> k;
    k.p = &p;
    k.needs = FragmentNeeds(p);
    k.stage0[0] = MasksFor<I>(p.base.colourA, p.base.alphaA);
    k.stage0[1] = MasksFor<I>(p.base.colourB, p.base.alphaB);
    k.stage0Multiply = p.base.colourB != kSrcWhite || p.base.alphaB != kSrcWhite;
    const uint32_t colourRb = p.stage1Colour ? 0xFFFFFFFFu : 0u;
    const uint32_t ag = (p.stage1Colour ? 0x0000FFFFu : 0u) | (p.stage1Alpha ? 0xFFFF0000u : 0u);
    k.stage1Lanes = {I::Set32(colourRb), I::Set32(ag)};
    k.stage1White = {I::Set32(~colourRb & 0x00FF00FFu), I::Set32(~ag & 0x00FF00FFu)};
    k.laneIndex = I::LaneIndex();
    k.fractionMask = I::Set32(0xFFFF);
    k.zero = I::SetF(0.0f);
    k.half = I::SetF(0.5f);
    k.level255 = I::SetF(255.0f);
    k.coordLow = I::SetF(-kCoordinateLimit);
    k.coordHigh = I::SetF(kCoordinateLimit);
    k.fractionScale = I::SetF(65536.0f);
    k.one = I::SetF(1.0f);
    return k;
}

template <class I>
STriangle3D<I> MakeTriangle3D(const SPlanes3D& a) {
    STriangle3D<I> t;
    t.qdx = I::SetF(a.qdx);
    t.qMin = I::SetF(a.qMin);
    t.qMax = I::SetF(a.qMax);
    for (int k = 0; k < kAttrCount; ++k) {
        t.adx[k] = I::SetF(a.adx[k]);
        t.constant[k] = I::SetF(a.a[k]);
    }
    t.varying = a.varying;
    return t;
}

template <class I>
SRow3D<I> MakeRow3D(const SPlanes3D& a, int32_t dy) {
    const float fy = static_cast<float>(dy);
    SRow3D<I> row;
    row.q = I::SetF(a.q + a.qdy * fy);
    for (int k = 0; k < kAttrCount; ++k) row.a[k] = I::SetF(a.a[k] + a.ady[k] * fy);
    return row;
}

template <class I>
RASTER_INLINE typename I::V Level(const SKernel3D<I>& k, typename I::F c) {
    return I::TruncF(I::AddF(I::MinF(I::MaxF(c, k.zero), k.level255), k.half));
}

template <class I>
RASTER_INLINE typename I::V Fraction(const SKernel3D<I>& k, typename I::F t) {
    t = I::MinF(I::MaxF(t, k.coordLow), k.coordHigh);
    typename I::V whole = I::TruncF(t);
    whole = I::Add32(whole, I::CmpGtF(I::ToFloat(whole), t));  // one less where the cut rounded up
    const typename I::F fraction = I::SubF(t, I::ToFloat(whole));
    return I::And(I::TruncF(I::MulF(fraction, k.fractionScale)), k.fractionMask);
}

// The texels of I::N pixels at the coordinate fractions u, v.
template <class I>
RASTER_INLINE typename I::V Sample(const STextureView& texture, bool linear, typename I::V u, typename I::V v) {
    alignas(32) uint32_t us[I::N], vs[I::N], texels[I::N];
    I::Store(us, u);
    I::Store(vs, v);
    for (int j = 0; j < I::N; ++j) texels[j] = SampleTexel16(texture, us[j], vs[j], linear);
    return I::Load(texels);
}

// The source colours of the run of n pixels from x on row py, and their depths.
template <class I>
__attribute__((noinline)) SRunInput PrepareRun3D(const SKernel<I>& k, const SKernel3D<I>& k3, const STriangle3D<I>& t,
                                                 const SPlanes3D& a, const SRow3D<I>& row, const STarget& target,
                                                 const SPlanes& planes, int32_t py, int32_t x, int n,
                                                 SRunBuffers* buffers) {
    using V = typename I::V;
    using F = typename I::F;
    SRunInput in = RunAt(target, py, x, n, buffers);
    const SFragmentNeeds& needs = k3.needs;
    for (int i = 0; i < n; i += I::N) {
        const F fx = I::ToFloat(I::Add32(I::Set32(static_cast<uint32_t>(x + i - planes.originX)), k3.laneIndex));
        const F q = I::MinF(I::MaxF(I::AddF(row.q, I::MulF(t.qdx, fx)), t.qMin), t.qMax);
        const F w = I::DivF(k3.one, q);
        const auto attr = [&](int c) {
            return (t.varying >> c & 1u) ? I::MulF(I::AddF(row.a[c], I::MulF(t.adx[c], fx)), w) : t.constant[c];
        };
        V diffuse = I::Zero(), texel = I::Zero();
        if (needs.diffuse)
            diffuse = I::Or(I::Or(Level(k3, attr(kAttrDiffuseB)), I::Sll32(Level(k3, attr(kAttrDiffuseG)), 8)),
                            I::Or(I::Sll32(Level(k3, attr(kAttrDiffuseR)), 16),
                                  I::Sll32(Level(k3, attr(kAttrDiffuseA)), 24)));
        if (needs.texture0)
            texel = Sample<I>(k3.p->base.texture, a.linear0, Fraction(k3, attr(kAttrU0)), Fraction(k3, attr(kAttrV0)));
        const SHalves<I> tex = Split(k, texel), dif = Split(k, diffuse);
        SHalves<I> src = Operand(k3.stage0[0], tex, dif);
        if (k3.stage0Multiply) {
            const SHalves<I> b = Operand(k3.stage0[1], tex, dif);
            src = {Mul8(k, src.rb, b.rb), Mul8(k, src.ag, b.ag)};
        }
        if (needs.texture1) {
            const SHalves<I> toon = Split(k, Sample<I>(k3.p->texture1, a.linear1, Fraction(k3, attr(kAttrU1)),
                                                       Fraction(k3, attr(kAttrV1))));
            const V rb = I::Or(I::And(toon.rb, k3.stage1Lanes.rb), k3.stage1White.rb);
            const V ag = I::Or(I::And(toon.ag, k3.stage1Lanes.ag), k3.stage1White.ag);
            src = {Mul8(k, src.rb, rb), Mul8(k, src.ag, ag)};
        }
        if (needs.specular) {
            const V specular = I::Or(I::Or(Level(k3, attr(kAttrSpecularB)), I::Sll32(Level(k3, attr(kAttrSpecularG)), 8)),
                                     I::Sll32(Level(k3, attr(kAttrSpecularR)), 16));
            const SHalves<I> s = Split(k, specular);
            src = {I::Min16(I::Add16(src.rb, s.rb), k.lowByte), I::Min16(I::Add16(src.ag, s.ag), k.lowByte)};
        }
        I::Store(buffers->texel + i, Join<I>(src.rb, src.ag));
    }
    if (!k.flatDepth) {
        const int64_t dx = static_cast<int64_t>(x) - planes.originX;
        const int64_t dy = static_cast<int64_t>(py) - planes.originY;
        int64_t acc = planes.depth + planes.depthDx * dx + planes.depthDy * dy;
        for (int i = 0; i < n; ++i, acc += planes.depthDx) buffers->z[i] = DepthValue(acc);
    }
    return in;
}

template <class I, int AlphaTestShape, int Depth, int Blending>
void ShadeCover3D(const SKernel<I>& kernel, const SKernel3D<I>& k3, const STriangle3D<I>& t, const SPlanes3D& a,
                  const STarget& target, const SPlanes& planes, const SCoverage& cover) {
    const SKernel<I> k = kernel;  // for the pixel loops only: its address must not escape
    SRunBuffers buffers;
    int32_t py;
    int64_t left, right;
    for (CSpanWalker spans(target, cover); spans.Next(&py, &left, &right);) {
        const SRow3D<I> row = MakeRow3D<I>(a, py - planes.originY);
        for (int64_t x = left; x < right; x += kChunk) {
            const int n = static_cast<int>(MinI64(kChunk, right - x));
            const SRunInput in =
                PrepareRun3D(kernel, k3, t, a, row, target, planes, py, static_cast<int32_t>(x), n, &buffers);
            ShadeRun<I, kStageTexture, AlphaTestShape, Depth, Blending>(k, in);
        }
    }
}

template <class I>
using Cover3DFunction = void (*)(const SKernel<I>&, const SKernel3D<I>&, const STriangle3D<I>&, const SPlanes3D&,
                                 const STarget&, const SPlanes&, const SCoverage&);

// Models blend "over" or not at all; every other blend takes the generic loop.
template <class I, int AlphaTestShape, int Depth>
Cover3DFunction<I> Choose3DBlend(int blending) {
    switch (blending) {
        case kBlendNone: return &ShadeCover3D<I, AlphaTestShape, Depth, kBlendNone>;
        case kBlendOver: return &ShadeCover3D<I, AlphaTestShape, Depth, kBlendOver>;
        default: return &ShadeCover3D<I, AlphaTestShape, Depth, kBlendGeneric>;
    }
}

template <class I, int AlphaTestShape>
Cover3DFunction<I> Choose3DDepth(const SDrawPlan& plan) {
    switch (plan.depth) {
        case kDepthNone: return Choose3DBlend<I, AlphaTestShape, kDepthNone>(plan.blending);
        case kDepthWrite: return Choose3DBlend<I, AlphaTestShape, kDepthWrite>(plan.blending);
        default: return Choose3DBlend<I, AlphaTestShape, kDepthTest>(plan.blending);
    }
}

template <class I>
void DrawSetup3DWith(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                     const STriangleSetup3D& setup) {
    const SDrawPlan plan = PlanDraw(target, source, setup.base.planes);
    SOperandMasks<I> operands[2];
    const SKernel<I> k = MakeKernel<I>(target, source, setup.base.planes, plan, operands);
    const SKernel3D<I> k3 = MakeKernel3D<I>(pipeline);
    const STriangle3D<I> t = MakeTriangle3D<I>(setup.attributes);
    const Cover3DFunction<I> shade = plan.alphaTest == kAlphaTestGeneric
                                         ? Choose3DDepth<I, kAlphaTestGeneric>(plan)
                                         : Choose3DDepth<I, kAlphaTestGreater>(plan);
    for (int i = 0; i < setup.base.count; ++i)
        shade(k, k3, t, setup.attributes, target, setup.base.planes, setup.base.cover[i]);
}

}  // namespace
}  // namespace raster

#undef RASTER_INLINE
