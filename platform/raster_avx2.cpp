// The span rasteriser on AVX2: eight pixels per step. Everything after the target switch is
// compiled for AVX2 and runs only when the processor has it (see ActivePath); standard headers
// are included before the switch so that no shared code is compiled for AVX2.
#include <immintrin.h>

#include <cstdint>

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
    static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
    static V CmpGt32(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    static V CmpEq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
    static int MoveMask(V a) { return _mm256_movemask_epi8(a); }
    static V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }
    static V FirstLanes(int n) {
        return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
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

namespace raster {

void DrawSetupAvx2(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    DrawSetupWith<Avx2>(target, pipeline, setup);
}

}  // namespace raster

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
