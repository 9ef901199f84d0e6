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
    uint32_t neededAttributes;   // bit k: the pixels read attribute k
    SOperandMasks<I> stage0[2];  // operands A and B of stage 0
    bool stage0Multiply;         // operand B is not white in every lane
    SHalves<I> stage1Lanes;      // 0xFFFF in the lanes stage 1 multiplies
    SHalves<I> stage1White;      // 255 in the others
    V laneIndex;
    V fractionMask;
    F zero, half, level255, depth65535, coordLow, coordHigh, fractionScale, one;
};

template <class I>
SKernel3D<I> MakeKernel3D(const SPipeline3D& p) {
    SKernel3D<I> k;
    k.p = &p;
    k.needs = FragmentNeeds(p);
    k.neededAttributes = NeededAttributes(k.needs);
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
    k.depth65535 = I::SetF(65535.0f);
    k.coordLow = I::SetF(-kCoordinateLimit);
    k.coordHigh = I::SetF(kCoordinateLimit);
    k.fractionScale = I::SetF(65536.0f);
    k.one = I::SetF(1.0f);
    return k;
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
    if (!linear) return I::SamplePoint(texture, u, v);
    alignas(32) uint32_t us[I::N], vs[I::N], texels[I::N];
    I::Store(us, u);
    I::Store(vs, v);
    for (int j = 0; j < I::N; ++j) texels[j] = SampleTexel16(texture, us[j], vs[j], linear);
    return I::Load(texels);
}


// The spans of a triangle gathered for shading together: short rows (a model's triangles cover
// a few pixels each) fill the vector lanes as well as long ones. Each lane holds its pixel's
// offsets from the planes' origin; the slack past kChunk lets a last group read whole vectors.
constexpr int kPackSlack = 8;
constexpr int kMaxPackedSpans = 64;

struct SPackedSpan {
    int32_t py, left, n, offset;
};

// The pack also holds the target's pixels and depths under its spans, gathered before the
// shared loops run over the whole pack and scattered back after them: a triangle's pixels are
// all different, so the result is that of shading them one by one.
struct SPackedFragments {
    int32_t dx[kChunk + kPackSlack], dy[kChunk + kPackSlack];
    uint32_t colour[kChunk + kPackSlack];
    uint16_t z[kChunk + kPackSlack];
    uint32_t dst[kChunk + kPackSlack];
    uint16_t depth[kChunk + kPackSlack];
    SPackedSpan spans[kMaxPackedSpans];
    int spanCount = 0, filled = 0;
};

// The source colours of the gathered pixels: lane by lane the steps of ShadeFragment.
template <class I>
__attribute__((noinline)) void ShadeFragments(const SKernel<I>& k, const SKernel3D<I>& k3, const SPlanes3D& a,
                                              SPackedFragments* frags) {
    using V = typename I::V;
    using F = typename I::F;
    const SFragmentNeeds& needs = k3.needs;
    for (int i = frags->filled; i < frags->filled + I::N; ++i) frags->dx[i] = frags->dy[i] = 0;
    for (int i = 0; i < frags->filled; i += I::N) {
        const F fx = I::ToFloat(I::Load(reinterpret_cast<const uint32_t*>(frags->dx + i)));
        const F fy = I::ToFloat(I::Load(reinterpret_cast<const uint32_t*>(frags->dy + i)));
        const F z = I::AddF(I::AddF(I::SetF(a.z), I::MulF(I::SetF(a.zdy), fy)), I::MulF(I::SetF(a.zdx), fx));
        I::StoreD(frags->z + i, I::PackDepth(I::TruncF(I::AddF(I::MinF(I::MaxF(z, k3.zero), k3.depth65535), k3.half))));
        F w = k3.one;
        if (a.varying & k3.neededAttributes) {
            const F rowQ = I::AddF(I::SetF(a.q), I::MulF(I::SetF(a.qdy), fy));
            const F q = I::MinF(I::MaxF(I::AddF(rowQ, I::MulF(I::SetF(a.qdx), fx)), I::SetF(a.qMin)), I::SetF(a.qMax));
            w = I::DivF(k3.one, q);
        }
        const auto attr = [&](int c) {
            if (!(a.varying >> c & 1u)) return I::SetF(a.a[c]);
            const F row = I::AddF(I::SetF(a.a[c]), I::MulF(I::SetF(a.ady[c]), fy));
            return I::MulF(I::AddF(row, I::MulF(I::SetF(a.adx[c]), fx)), w);
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
        I::Store(frags->colour + i, Join<I>(src.rb, src.ag));
    }
}

// Whole-vector loads, stores and first-n selections of pixels (uint32_t) or depth values
// (uint16_t).
template <class I, class T>
struct SLanes;

template <class I>
struct SLanes<I, uint32_t> {
    static typename I::V Load(const uint32_t* p) { return I::Load(p); }
    static void Store(uint32_t* p, typename I::V v) { I::Store(p, v); }
    static typename I::V First(int n, typename I::V a, typename I::V b) { return I::Select(I::FirstLanes(n), a, b); }
};

template <class I>
struct SLanes<I, uint16_t> {
    static typename I::D Load(const uint16_t* p) { return I::LoadD(p); }
    static void Store(uint16_t* p, typename I::D v) { I::StoreD(p, v); }
    static typename I::D First(int n, typename I::D a, typename I::D b) {
        return I::DSelect(I::NarrowMask(I::FirstLanes(n)), a, b);
    }
};

// Copies of short runs between the target and the pack, whole vectors where `room` allows
// (reading and writing back values past the run as they were), so that a run of a few pixels
// takes no loop whose length changes from run to run.
template <class I, class T>
RASTER_INLINE void GatherRun(T* to, const T* from, int n, int room) {
    using L = SLanes<I, T>;
    int j = 0;
    for (; j < n && j + I::N <= room; j += I::N) L::Store(to + j, L::Load(from + j));
    for (; j < n; ++j) to[j] = from[j];
}

template <class I, class T>
RASTER_INLINE void ScatterRun(T* to, const T* from, int n, int room) {
    using L = SLanes<I, T>;
    int j = 0;
    for (; j + I::N <= n; j += I::N) L::Store(to + j, L::Load(from + j));
    if (j < n && j + I::N <= room) {
        L::Store(to + j, L::First(n - j, L::Load(from + j), L::Load(to + j)));
        return;
    }
    for (; j < n; ++j) to[j] = from[j];
}

// Shades the gathered pixels and runs them through the shared pixel loops; empties the pack.
template <class I, int AlphaTestShape, int Depth, int Blending>
RASTER_INLINE void FlushFragments(const SKernel<I>& k, const SKernel3D<I>& k3, const SPlanes3D& a,
                                  const STarget& target, SPackedFragments* frags) {
    if (frags->filled == 0) return;
    ShadeFragments(k, k3, a, frags);
    constexpr bool kDepth = Depth != kDepthNone;
    for (int s = 0; s < frags->spanCount; ++s) {
        const SPackedSpan& span = frags->spans[s];
        GatherRun<I>(frags->dst + span.offset, target.pixels + static_cast<int64_t>(span.py) * target.pitch + span.left,
                     span.n, target.pitch - span.left);
        if (!kDepth) continue;
        GatherRun<I>(frags->depth + span.offset,
                     target.depth + static_cast<int64_t>(span.py) * target.depthPitch + span.left, span.n,
                     target.depthPitch - span.left);
    }
    const SRunInput in = {frags->filled, frags->colour, frags->colour, frags->z, frags->dst, frags->depth,
                          0, 0, 0, kChunk + kPackSlack};
    ShadeRun<I, kStageTexture, AlphaTestShape, Depth, Blending>(k, in);
    for (int s = 0; s < frags->spanCount; ++s) {
        const SPackedSpan& span = frags->spans[s];
        ScatterRun<I>(target.pixels + static_cast<int64_t>(span.py) * target.pitch + span.left,
                      frags->dst + span.offset, span.n, target.pitch - span.left);
        if (kDepth)
            ScatterRun<I>(target.depth + static_cast<int64_t>(span.py) * target.depthPitch + span.left,
                          frags->depth + span.offset, span.n, target.depthPitch - span.left);
    }
    frags->spanCount = frags->filled = 0;
}

template <class I, int AlphaTestShape, int Depth, int Blending>
void ShadeCover3D(const SKernel<I>& k, const SKernel3D<I>& k3, const SPlanes3D& a, const STarget& target,
                  const SPlanes& planes, const SCoverage& cover) {
    SPackedFragments frags;
    int32_t py;
    int64_t left, right;
    // A model's triangles are small and near each other: their rows are in the cache already.
    for (CSpanWalker spans(target, cover, false); spans.Next(&py, &left, &right);) {
        const typename I::V dy = I::Set32(static_cast<uint32_t>(py - planes.originY));
        for (int64_t x = left; x < right;) {
            if (frags.filled == kChunk || frags.spanCount == kMaxPackedSpans)
                FlushFragments<I, AlphaTestShape, Depth, Blending>(k, k3, a, target, &frags);
            const int n = static_cast<int>(MinI64(kChunk - frags.filled, right - x));
            frags.spans[frags.spanCount++] = {py, static_cast<int32_t>(x), n, frags.filled};
            for (int j = 0; j < n; j += I::N) {
                const uint32_t dx = static_cast<uint32_t>(x + j - planes.originX);
                I::Store(reinterpret_cast<uint32_t*>(frags.dx + frags.filled + j), I::Add32(I::Set32(dx), k3.laneIndex));
                I::Store(reinterpret_cast<uint32_t*>(frags.dy + frags.filled + j), dy);
            }
            frags.filled += n;
            x += n;
        }
    }
    FlushFragments<I, AlphaTestShape, Depth, Blending>(k, k3, a, target, &frags);
}

template <class I>
using Cover3DFunction = void (*)(const SKernel<I>&, const SKernel3D<I>&, const SPlanes3D&, const STarget&,
                                 const SPlanes&, const SCoverage&);

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
void DrawSetups3DWith(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                      const STriangleSetup3D* setups, int count) {
    if (count == 0) return;
    // As far as the shared loops are concerned every 3D triangle has the same planes (a flat
    // white colour, depth read per pixel): one kernel serves them all.
    const SPlanes& planes = setups[0].base.planes;
    const SDrawPlan plan = PlanDraw(target, source, planes);
    SOperandMasks<I> operands[2];
    const SKernel<I> k = MakeKernel<I>(target, source, planes, plan, operands);
    const SKernel3D<I> k3 = MakeKernel3D<I>(pipeline);
    const Cover3DFunction<I> shade = plan.alphaTest == kAlphaTestGeneric ? Choose3DDepth<I, kAlphaTestGeneric>(plan)
                                                                         : Choose3DDepth<I, kAlphaTestGreater>(plan);
    for (const STriangleSetup3D* setup = setups; setup < setups + count; ++setup)
        for (int i = 0; i < setup->base.count; ++i)
            shade(k, k3, setup->attributes, target, setup->base.planes, setup->base.cover[i]);
}

}  // namespace
}  // namespace raster

#undef RASTER_INLINE
