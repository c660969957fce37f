#pragma once
// Four-lane single-precision arithmetic for the whole-grid passes: SSE on
// x86-64, plain per-lane code elsewhere (or when TOLVANE_WORLD_SCALAR is
// defined). Both paths perform the same IEEE operations lane by lane, so the
// results are bit-identical; min and max follow the SSE rule (the second
// operand is returned unless the first is strictly smaller/greater).
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(TOLVANE_WORLD_SCALAR)
#define WORLD_SSE 1
#include <emmintrin.h>
#endif

namespace simd {

#if WORLD_SSE

struct F4 {
  __m128 v;
};

inline F4 load(const float* p) { return {_mm_load_ps(p)}; }
inline F4 loadu(const float* p) { return {_mm_loadu_ps(p)}; }
inline void store(float* p, F4 a) { _mm_store_ps(p, a.v); }
inline void storeu(float* p, F4 a) { _mm_storeu_ps(p, a.v); }
inline F4 set1(float f) { return {_mm_set1_ps(f)}; }
inline F4 set(float a, float b, float c, float d) { return {_mm_setr_ps(a, b, c, d)}; }
inline F4 zero() { return {_mm_setzero_ps()}; }
inline F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline F4 operator*(F4 a, F4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline F4 operator/(F4 a, F4 b) { return {_mm_div_ps(a.v, b.v)}; }
inline F4 min(F4 a, F4 b) { return {_mm_min_ps(a.v, b.v)}; }
inline F4 max(F4 a, F4 b) { return {_mm_max_ps(a.v, b.v)}; }
inline F4 sqrt(F4 a) { return {_mm_sqrt_ps(a.v)}; }
inline F4 cmplt(F4 a, F4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline F4 cmple(F4 a, F4 b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline F4 cmpgt(F4 a, F4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline F4 cmpge(F4 a, F4 b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline F4 cmpeq(F4 a, F4 b) { return {_mm_cmpeq_ps(a.v, b.v)}; }
inline F4 operator&(F4 a, F4 b) { return {_mm_and_ps(a.v, b.v)}; }
inline F4 operator|(F4 a, F4 b) { return {_mm_or_ps(a.v, b.v)}; }
inline F4 operator^(F4 a, F4 b) { return {_mm_xor_ps(a.v, b.v)}; }
// ~a & b
inline F4 andnot(F4 a, F4 b) { return {_mm_andnot_ps(a.v, b.v)}; }
// mask ? a : b, lane by lane (mask lanes all ones or all zeros)
inline F4 select(F4 mask, F4 a, F4 b) { return {_mm_or_ps(_mm_and_ps(mask.v, a.v), _mm_andnot_ps(mask.v, b.v))}; }
// Bit i set when lane i's sign bit is set.
inline int movemask(F4 a) { return _mm_movemask_ps(a.v); }
inline float lane(F4 a, int i) {
  alignas(16) float t[4];
  _mm_store_ps(t, a.v);
  return t[i];
}
// Transposes four rows of four lanes.
inline void transpose(F4& a, F4& b, F4& c, F4& d) { _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v); }

#else

struct F4 {
  float v[4];
};

namespace detail {
inline uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
inline float from_bits(uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline float mask_of(bool b) { return from_bits(b ? 0xFFFFFFFFu : 0u); }
}  // namespace detail

#define WORLD_F4_BINOP(name, expr)          \
  inline F4 name(F4 a, F4 b) {              \
    F4 r;                                   \
    for (int i = 0; i < 4; i++) {           \
      float x = a.v[i], y = b.v[i];         \
      r.v[i] = (expr);                      \
    }                                       \
    return r;                                \
  }
#define WORLD_F4_BITOP(name, op)                                                              \
  inline F4 name(F4 a, F4 b) {                                                                \
    F4 r;                                                                                     \
    for (int i = 0; i < 4; i++) r.v[i] = detail::from_bits(detail::bits(a.v[i]) op detail::bits(b.v[i])); \
    return r;                                                                                 \
  }

inline F4 load(const float* p) { F4 r; std::memcpy(r.v, p, 16); return r; }
inline F4 loadu(const float* p) { return load(p); }
inline void store(float* p, F4 a) { std::memcpy(p, a.v, 16); }
inline void storeu(float* p, F4 a) { store(p, a); }
inline F4 set1(float f) { return {{f, f, f, f}}; }
inline F4 set(float a, float b, float c, float d) { return {{a, b, c, d}}; }
inline F4 zero() { return set1(0.0f); }
WORLD_F4_BINOP(operator+, x + y)
WORLD_F4_BINOP(operator-, x - y)
WORLD_F4_BINOP(operator*, x * y)
WORLD_F4_BINOP(operator/, x / y)
WORLD_F4_BINOP(min, x < y ? x : y)
WORLD_F4_BINOP(max, x > y ? x : y)
WORLD_F4_BINOP(cmplt, detail::mask_of(x < y))
WORLD_F4_BINOP(cmple, detail::mask_of(x <= y))
WORLD_F4_BINOP(cmpgt, detail::mask_of(x > y))
WORLD_F4_BINOP(cmpge, detail::mask_of(x >= y))
WORLD_F4_BINOP(cmpeq, detail::mask_of(x == y))
WORLD_F4_BITOP(operator&, &)
WORLD_F4_BITOP(operator|, |)
WORLD_F4_BITOP(operator^, ^)
inline F4 andnot(F4 a, F4 b) {
  F4 r;
  for (int i = 0; i < 4; i++) r.v[i] = detail::from_bits(~detail::bits(a.v[i]) & detail::bits(b.v[i]));
  return r;
}
inline F4 sqrt(F4 a) {
  F4 r;
  for (int i = 0; i < 4; i++) r.v[i] = std::sqrt(a.v[i]);
  return r;
}
inline F4 select(F4 mask, F4 a, F4 b) { return (mask & a) | andnot(mask, b); }
inline int movemask(F4 a) {
  int m = 0;
  for (int i = 0; i < 4; i++) m |= int(detail::bits(a.v[i]) >> 31) << i;
  return m;
}
inline float lane(F4 a, int i) { return a.v[i]; }
inline void transpose(F4& a, F4& b, F4& c, F4& d) {
  F4 r[4] = {a, b, c, d};
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      F4* dst = i == 0 ? &a : i == 1 ? &b : i == 2 ? &c : &d;
      dst->v[j] = r[j].v[i];
    }
}
#undef WORLD_F4_BINOP
#undef WORLD_F4_BITOP

#endif

inline F4 sign_mask() { return set1(-0.0f); }
inline F4 abs(F4 a) { return andnot(sign_mask(), a); }

}  // namespace simd

// Round to nearest integer in the current (default: nearest-even) mode, as a
// single conversion instruction where available.
inline int world_round(float v) {
#if WORLD_SSE
  return _mm_cvtss_si32(_mm_set_ss(v));
#else
  return int(std::lrintf(v));
#endif
}
