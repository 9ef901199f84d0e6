// The span rasteriser on SSE2, the x86-64 baseline: four pixels per step.
#include <emmintrin.h>

#include <cstdint>

#include "platform/raster3d_setup.h"
#include "platform/raster_setup.h"

namespace raster {
namespace {

struct Sse2 {
    static constexpr int N = 4;
    static constexpr int kAllLanes = 0xFFFF;  // MoveMask of a vector with every lane set
    using V = __m128i;  // four pixels, or their rb / ag halves
    using D = __m128i;  // four depth values in the low 64 bits

    static V Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint32_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V Set32(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
    static V Set16(uint16_t x) { return _mm_set1_epi16(static_cast<short>(x)); }
    static V Zero() { return _mm_setzero_si128(); }
    static V Ones() { return _mm_set1_epi32(-1); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
    static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
    static V Not(V a) { return _mm_xor_si128(a, Ones()); }
    static V Srl16(V a, int n) { return _mm_srli_epi16(a, n); }
    static V Sll16(V a, int n) { return _mm_slli_epi16(a, n); }
    static V Srl32(V a, int n) { return _mm_srli_epi32(a, n); }
    static V Sll32(V a, int n) { return _mm_slli_epi32(a, n); }
    static V MulLo16(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V MulHi16(V a, V b) { return _mm_mulhi_epu16(a, b); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V SubSatU16(V a, V b) { return _mm_subs_epu16(a, b); }
    static V AddSatU16(V a, V b) { return _mm_adds_epu16(a, b); }
    // min(a, b): saturate up by 65535 - b, then back down.
    static V MinU16(V a, V b) {
        const V m = _mm_sub_epi16(Ones(), b);
        return _mm_subs_epu16(_mm_adds_epu16(a, m), m);
    }
    static bool AllAlphaZero(V a) { return MoveMask(_mm_cmpeq_epi32(_mm_srli_epi32(a, 24), Zero())) == kAllLanes; }
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    // Each pixel's alpha lane (the high half of an ag pair) copied into both of its lanes.
    static V AlphaToBothLanes(V ag) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(ag, 0xF5), 0xF5); }
    // (a * (256 - w) + b * w + 128) >> 8 in every lane (0 <= w <= 255).
    static V Lerp16(V a, V b, V w) {
        const V sum = _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(Set16(256), w)), _mm_mullo_epi16(b, w));
        return _mm_srli_epi16(_mm_add_epi16(sum, Set16(128)), 8);
    }
    // The colour lanes of c with the alpha lanes of a.
    static V BlendAlphaLanes(V c, V a) {
        const V alphaLanes = Set32(0xFFFF0000u);
        return Or(And(alphaLanes, a), AndNot(alphaLanes, c));
    }
    static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm_max_epi16(a, b); }
    static V CmpGt32(V a, V b) { return _mm_cmpgt_epi32(a, b); }
    static V CmpEq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
    static int MoveMask(V a) { return _mm_movemask_epi8(a); }
    static V Select(V mask, V a, V b) { return Or(And(mask, a), AndNot(mask, b)); }
    static V FirstLanes(int n) { return _mm_cmpgt_epi32(_mm_set1_epi32(n), _mm_setr_epi32(0, 1, 2, 3)); }

    // The taps of four pixels along a row that reads the texture rows row0 and row1 (weightV
    // is left to the caller).
    static void RowTaps(const STextureView& tv, const uint32_t* row0, const uint32_t* row1, uint32_t u, uint32_t du,
                        SBilinearTaps<Sse2>* taps) {
        SLinearTap tap[N];
        for (int j = 0; j < N; ++j, u += du) tap[j] = LinearTap(u, tv.width);
        const auto texels = [&](const uint32_t* row, uint32_t SLinearTap::*column) {
            return _mm_setr_epi32(static_cast<int>(row[tap[0].*column]), static_cast<int>(row[tap[1].*column]),
                                  static_cast<int>(row[tap[2].*column]), static_cast<int>(row[tap[3].*column]));
        };
        taps->t00 = texels(row0, &SLinearTap::first);
        taps->t10 = texels(row0, &SLinearTap::second);
        taps->t01 = texels(row1, &SLinearTap::first);
        taps->t11 = texels(row1, &SLinearTap::second);
        taps->weightU = _mm_setr_epi32(static_cast<int>(tap[0].weight), static_cast<int>(tap[1].weight),
                                       static_cast<int>(tap[2].weight), static_cast<int>(tap[3].weight));
    }

    // The taps of four pixels that step in v as well (rows that do not take RowTaps).
    static void BilinearTaps(const STextureView& tv, uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
                             SBilinearTaps<Sse2>* taps) {
        uint32_t t00[N], t10[N], t01[N], t11[N], wu[N], wv[N];
        for (int j = 0; j < N; ++j, u += du, v += dv) {
            const SLinearTap tapU = LinearTap(u, tv.width);
            const SLinearTap tapV = LinearTap(v, tv.height);
            const uint32_t* row0 = tv.texels + static_cast<int64_t>(tapV.first) * tv.pitch;
            const uint32_t* row1 = tv.texels + static_cast<int64_t>(tapV.second) * tv.pitch;
            t00[j] = row0[tapU.first];
            t10[j] = row0[tapU.second];
            t01[j] = row1[tapU.first];
            t11[j] = row1[tapU.second];
            wu[j] = tapU.weight;
            wv[j] = tapV.weight;
        }
        // Built from registers: reloading the just-written array as a vector would stall.
        const auto gather = [](const uint32_t* x) {
            return _mm_setr_epi32(static_cast<int>(x[0]), static_cast<int>(x[1]), static_cast<int>(x[2]),
                                  static_cast<int>(x[3]));
        };
        *taps = {gather(t00), gather(t10), gather(t01), gather(t11), gather(wu), gather(wv)};
    }

    // Floats, for the 3D attributes.
    using F = __m128;
    static F SetF(float x) { return _mm_set1_ps(x); }
    static F AddF(F a, F b) { return _mm_add_ps(a, b); }
    static F SubF(F a, F b) { return _mm_sub_ps(a, b); }
    static F MulF(F a, F b) { return _mm_mul_ps(a, b); }
    static F DivF(F a, F b) { return _mm_div_ps(a, b); }
    static F MinF(F a, F b) { return _mm_min_ps(a, b); }
    static F MaxF(F a, F b) { return _mm_max_ps(a, b); }
    static V CmpGtF(F a, F b) { return _mm_castps_si128(_mm_cmpgt_ps(a, b)); }
    static V TruncF(F a) { return _mm_cvttps_epi32(a); }
    static F ToFloat(V a) { return _mm_cvtepi32_ps(a); }
    static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V LaneIndex() { return _mm_setr_epi32(0, 1, 2, 3); }

    // Four values of 0..65535 (in 32-bit lanes) as the four depth values of a D.
    static D PackDepth(V a) {
        const V packed = _mm_packs_epi32(_mm_sub_epi32(a, _mm_set1_epi32(32768)), _mm_setzero_si128());
        return _mm_xor_si128(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
    }
    // Point-sampled texels at coordinate fractions u, v (0..65535), read one by one.
    static V SamplePoint(const STextureView& tv, V u, V v) {
        alignas(16) uint32_t us[N], vs[N], texels[N];
        Store(us, u);
        Store(vs, v);
        for (int j = 0; j < N; ++j) texels[j] = SampleTexel16(tv, us[j], vs[j], false);
        return Load(texels);
    }

    static D LoadD(const uint16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
    static void StoreD(uint16_t* p, D d) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), d); }
    static D SetD(uint16_t x) { return _mm_set1_epi16(static_cast<short>(x)); }
    static D DZero() { return _mm_setzero_si128(); }
    static D DOnes() { return Ones(); }
    static D DXor(D a, D b) { return _mm_xor_si128(a, b); }
    static D DNot(D a) { return Not(a); }
    static D DCmpGt(D a, D b) { return _mm_cmpgt_epi16(a, b); }
    static D DCmpEq(D a, D b) { return _mm_cmpeq_epi16(a, b); }
    static D DSelect(D mask, D a, D b) { return Select(mask, a, b); }
    static D NarrowMask(V mask) { return _mm_packs_epi32(mask, mask); }
    static V WidenMask(D mask) { return _mm_unpacklo_epi16(mask, mask); }
};

}  // namespace
}  // namespace raster

#include "platform/raster_kernel.h"
#include "platform/raster_kernel_3d.h"

namespace raster {

void DrawSetupSse2(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    DrawSetupWith<Sse2>(target, pipeline, setup);
}

void DrawSetups3DSse2(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                      const STriangleSetup3D* setups, int count) {
    DrawSetups3DWith<Sse2>(target, pipeline, source, setups, count);
}

}  // namespace raster
