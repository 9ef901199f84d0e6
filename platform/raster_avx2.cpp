// The span rasteriser on AVX2: eight pixels per step. Everything after the target switch is
// compiled for AVX2 and runs only when the processor has it (see ActivePath); standard headers
// are included before the switch so that no shared code is compiled for AVX2.
#include <immintrin.h>

#include <cstdint>

#include "platform/raster3d_setup.h"
#include "platform/raster_setup.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace raster {
namespace {

struct Avx2 {
    static constexpr int N = 8;
    static constexpr int kAllLanes = -1;  // MoveMask of a vector with every lane set
    using V = __m256i;  // eight pixels, or their rb / ag halves
    using D = __m128i;  // eight depth values

    static V Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(uint32_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V Set32(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
    static V Set16(uint16_t x) { return _mm256_set1_epi16(static_cast<short>(x)); }
    static V Zero() { return _mm256_setzero_si256(); }
    static V Ones() { return _mm256_set1_epi32(-1); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
    static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
    static V Not(V a) { return _mm256_xor_si256(a, Ones()); }
    static V Srl16(V a, int n) { return _mm256_srli_epi16(a, n); }
    static V Sll16(V a, int n) { return _mm256_slli_epi16(a, n); }
    static V Srl32(V a, int n) { return _mm256_srli_epi32(a, n); }
    static V Sll32(V a, int n) { return _mm256_slli_epi32(a, n); }
    static V MulLo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V MulHi16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V SubSatU16(V a, V b) { return _mm256_subs_epu16(a, b); }
    static V AddSatU16(V a, V b) { return _mm256_adds_epu16(a, b); }
    static V MinU16(V a, V b) { return _mm256_min_epu16(a, b); }
    static bool AllAlphaZero(V a) { return _mm256_testz_si256(a, Set32(0xFF000000u)); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    // Each pixel's alpha lane (the high half of an ag pair) copied into both of its lanes.
    static V AlphaToBothLanes(V ag) {
        return _mm256_shuffle_epi8(ag, _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15, 2, 3,
                                                        2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15));
    }
    // (a * (256 - w) + b * w + 128) >> 8 in every lane (0 <= w <= 255) as
    // a + floor(((b - a) * w + 128) / 256): the rounding multiply gives
    // floor(((b - a) * 128 * w + 2^14) / 2^15) without overflow.
    static V Lerp16(V a, V b, V w) { return _mm256_add_epi16(a, _mm256_mulhrs_epi16(Sll16(Sub16(b, a), 7), w)); }
    // The colour lanes of c with the alpha lanes of a.
    static V BlendAlphaLanes(V c, V a) { return _mm256_blend_epi16(c, a, 0xAA); }
    static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
    static V CmpGt32(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    static V CmpEq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
    static int MoveMask(V a) { return _mm256_movemask_epi8(a); }
    static V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }
    static V FirstLanes(int n) {
        return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    }

    // Taps along one axis for coordinates c (0.32 fixed point) of a texture side of `size`.
    static void Taps(V c, uint32_t size, V* first, V* second, V* weight) {
        const V sizes = Set32(size);
        const V half = _mm256_set1_epi64x(int64_t{1} << 31);
        const V even = _mm256_sub_epi64(_mm256_mul_epu32(c, sizes), half);
        const V odd = _mm256_sub_epi64(_mm256_mul_epu32(_mm256_srli_epi64(c, 32), sizes), half);
        V index = _mm256_blend_epi32(_mm256_srli_epi64(even, 32), odd, 0xAA);
        index = _mm256_add_epi32(index, And(_mm256_cmpgt_epi32(Zero(), index), sizes));
        const V next = _mm256_add_epi32(index, Set32(1));
        *first = index;
        *second = AndNot(_mm256_cmpeq_epi32(next, sizes), next);
        const V evenWeight = _mm256_srli_epi32(even, 24);
        const V oddWeight = _mm256_slli_epi64(_mm256_srli_epi32(odd, 24), 32);
        *weight = And(_mm256_blend_epi32(evenWeight, oddWeight, 0xAA), Set32(0xFF));
    }

    // True when the eight first columns lie within eight texels of the first lane's and each
    // second column is the next one, so two row loads and a permutation replace the gathers.
    static bool NearbyColumns(const STextureView& tv, V x0, V x1) {
        const int32_t base = _mm256_cvtsi256_si32(x0);
        if (static_cast<int64_t>(base) + 9 > static_cast<int64_t>(tv.width)) return false;
        const V offsets = _mm256_sub_epi32(x0, Set32(static_cast<uint32_t>(base)));
        const V outside = Or(_mm256_cmpgt_epi32(offsets, Set32(7)), _mm256_cmpgt_epi32(Zero(), offsets));
        const V notNext = Not(_mm256_cmpeq_epi32(x1, _mm256_add_epi32(x0, Set32(1))));
        return _mm256_testz_si256(Or(outside, notNext), Ones());
    }

    // The taps of eight pixels along a row that reads the texture rows row0 and row1 (weightV
    // is left to the caller).
    static void RowTaps(const STextureView& tv, const uint32_t* row0, const uint32_t* row1, uint32_t u, uint32_t du,
                        SBilinearTaps<Avx2>* taps) {
        const V us = _mm256_add_epi32(Set32(u), _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), Set32(du)));
        V x0, x1;
        Taps(us, tv.width, &x0, &x1, &taps->weightU);
        if (NearbyColumns(tv, x0, x1)) {
            const uint32_t base = static_cast<uint32_t>(_mm256_cvtsi256_si32(x0));
            const V offsets = _mm256_sub_epi32(x0, Set32(base));
            taps->t00 = _mm256_permutevar8x32_epi32(Load(row0 + base), offsets);
            taps->t10 = _mm256_permutevar8x32_epi32(Load(row0 + base + 1), offsets);
            taps->t01 = _mm256_permutevar8x32_epi32(Load(row1 + base), offsets);
            taps->t11 = _mm256_permutevar8x32_epi32(Load(row1 + base + 1), offsets);
            return;
        }
        taps->t00 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(row0), x0, 4);
        taps->t10 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(row0), x1, 4);
        taps->t01 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(row1), x0, 4);
        taps->t11 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(row1), x1, 4);
    }

    // The taps of eight pixels that step in v as well (rows that do not take RowTaps).
    static void BilinearTaps(const STextureView& tv, uint32_t u, uint32_t v, uint32_t du, uint32_t dv,
                             SBilinearTaps<Avx2>* taps) {
        const V step = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        const V us = _mm256_add_epi32(Set32(u), _mm256_mullo_epi32(step, Set32(du)));
        const V vs = _mm256_add_epi32(Set32(v), _mm256_mullo_epi32(step, Set32(dv)));
        V x0, x1, y0, y1;
        Taps(us, tv.width, &x0, &x1, &taps->weightU);
        Taps(vs, tv.height, &y0, &y1, &taps->weightV);
        const V pitch = Set32(static_cast<uint32_t>(tv.pitch));
        const V row0 = _mm256_mullo_epi32(y0, pitch);
        const V row1 = _mm256_mullo_epi32(y1, pitch);
        const int* base = reinterpret_cast<const int*>(tv.texels);
        taps->t00 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row0, x0), 4);
        taps->t10 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row0, x1), 4);
        taps->t01 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row1, x0), 4);
        taps->t11 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row1, x1), 4);
    }

    // Floats, for the 3D attributes.
    using F = __m256;
    static F SetF(float x) { return _mm256_set1_ps(x); }
    static F AddF(F a, F b) { return _mm256_add_ps(a, b); }
    static F SubF(F a, F b) { return _mm256_sub_ps(a, b); }
    static F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
    static F DivF(F a, F b) { return _mm256_div_ps(a, b); }
    static F MinF(F a, F b) { return _mm256_min_ps(a, b); }
    static F MaxF(F a, F b) { return _mm256_max_ps(a, b); }
    static V CmpGtF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_GT_OQ)); }
    static V TruncF(F a) { return _mm256_cvttps_epi32(a); }
    static F ToFloat(V a) { return _mm256_cvtepi32_ps(a); }
    static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V LaneIndex() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }

    // Eight values of 0..65535 (in 32-bit lanes) as the eight depth values of a D.
    static D PackDepth(V a) { return _mm_packus_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1)); }
    // Point-sampled texels at coordinate fractions u, v (0..65535): texel ((u * width) >> 16,
    // (v * height) >> 16), gathered.
    static V SamplePoint(const STextureView& tv, V u, V v) {
        const V x = _mm256_srli_epi32(_mm256_mullo_epi32(u, Set32(tv.width)), 16);
        const V y = _mm256_srli_epi32(_mm256_mullo_epi32(v, Set32(tv.height)), 16);
        const V index = _mm256_add_epi32(_mm256_mullo_epi32(y, Set32(static_cast<uint32_t>(tv.pitch))), x);
        return Or(_mm256_i32gather_epi32(reinterpret_cast<const int*>(tv.texels), index, 4), Set32(tv.alphaOr));
    }

    static D LoadD(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void StoreD(uint16_t* p, D d) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), d); }
    static D SetD(uint16_t x) { return _mm_set1_epi16(static_cast<short>(x)); }
    static D DZero() { return _mm_setzero_si128(); }
    static D DOnes() { return _mm_set1_epi32(-1); }
    static D DXor(D a, D b) { return _mm_xor_si128(a, b); }
    static D DNot(D a) { return _mm_xor_si128(a, DOnes()); }
    static D DCmpGt(D a, D b) { return _mm_cmpgt_epi16(a, b); }
    static D DCmpEq(D a, D b) { return _mm_cmpeq_epi16(a, b); }
    static D DSelect(D mask, D a, D b) { return _mm_blendv_epi8(b, a, mask); }
    static D NarrowMask(V mask) {
        return _mm_packs_epi32(_mm256_castsi256_si128(mask), _mm256_extracti128_si256(mask, 1));
    }
    static V WidenMask(D mask) { return _mm256_cvtepi16_epi32(mask); }
};

}  // namespace
}  // namespace raster

#include "platform/raster_kernel.h"
#include "platform/raster_kernel_3d.h"

namespace raster {

void DrawSetupAvx2(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    DrawSetupWith<Avx2>(target, pipeline, setup);
}

void DrawSetups3DAvx2(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                      const STriangleSetup3D* setups, int count) {
    DrawSetups3DWith<Avx2>(target, pipeline, source, setups, count);
}

}  // namespace raster

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
