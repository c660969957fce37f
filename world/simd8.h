#pragma once
// Eight-lane single-precision arithmetic on AVX2, for the hottest whole-grid
// sweeps. Only functions compiled for AVX2 (WORLD_AVX2_TARGET) may use it, and
// only after avx2_available() said yes: the rest of the program stays plain
// x86-64. Every operation is the 8-lane form of the simd4.h one of the same
// name (same IEEE operation, same comparison predicate, same min/max rule),
// so a sweep written once for both widths gives bit-identical results.
#include "world/simd4.h"

#if WORLD_SSE && (defined(__GNUC__) || defined(__clang__))
#define WORLD_AVX2 1
#include <immintrin.h>

#define WORLD_AVX2_TARGET __attribute__((target("avx2")))
#define WORLD_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace simd {

inline bool avx2_available() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

struct F8 {
  __m256 v;
};

WORLD_AVX2_INLINE F8 load8(const float* p) { return {_mm256_load_ps(p)}; }
WORLD_AVX2_INLINE F8 loadu8(const float* p) { return {_mm256_loadu_ps(p)}; }
WORLD_AVX2_INLINE void store(float* p, F8 a) { _mm256_store_ps(p, a.v); }
WORLD_AVX2_INLINE F8 set1_8(float f) { return {_mm256_set1_ps(f)}; }
WORLD_AVX2_INLINE F8 zero8() { return {_mm256_setzero_ps()}; }
WORLD_AVX2_INLINE F8 operator+(F8 a, F8 b) { return {_mm256_add_ps(a.v, b.v)}; }
WORLD_AVX2_INLINE F8 operator-(F8 a, F8 b) { return {_mm256_sub_ps(a.v, b.v)}; }
WORLD_AVX2_INLINE F8 operator*(F8 a, F8 b) { return {_mm256_mul_ps(a.v, b.v)}; }
WORLD_AVX2_INLINE F8 operator/(F8 a, F8 b) { return {_mm256_div_ps(a.v, b.v)}; }
WORLD_AVX2_INLINE F8 min(F8 a, F8 b) { return {_mm256_min_ps(a.v, b.v)}; }
WORLD_AVX2_INLINE F8 max(F8 a, F8 b) { return {_mm256_max_ps(a.v, b.v)}; }
// The ordered, signalling predicates of the SSE comparisons (false on NaN).
WORLD_AVX2_INLINE F8 cmplt(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OS)}; }
WORLD_AVX2_INLINE F8 cmple(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_LE_OS)}; }
WORLD_AVX2_INLINE F8 cmpgt(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OS)}; }
WORLD_AVX2_INLINE F8 cmpge(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_GE_OS)}; }
WORLD_AVX2_INLINE F8 cmpeq(F8 a, F8 b) { return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
WORLD_AVX2_INLINE F8 operator&(F8 a, F8 b) { return {_mm256_and_ps(a.v, b.v)}; }
WORLD_AVX2_INLINE F8 operator|(F8 a, F8 b) { return {_mm256_or_ps(a.v, b.v)}; }
// ~a & b
WORLD_AVX2_INLINE F8 andnot(F8 a, F8 b) { return {_mm256_andnot_ps(a.v, b.v)}; }
// Bit i set when lane i's sign bit is set.
WORLD_AVX2_INLINE int movemask(F8 a) { return _mm256_movemask_ps(a.v); }

}  // namespace simd

#endif
