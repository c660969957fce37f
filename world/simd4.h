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
// Store that bypasses the caches (for data not read again soon); needs
// stream_fence() before other code reads it.
inline void stream(float* p, F4 a) { _mm_stream_ps(p, a.v); }
inline void stream_fence() { _mm_sfence(); }
inline void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }
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

// Lanes rounded to the nearest integer (ties to even), then 2^lane as floats
// for lanes in -126..127.
inline F4 round_lanes(F4 a) { return {_mm_cvtepi32_ps(_mm_cvtps_epi32(a.v))}; }
inline F4 pow2_lanes(F4 n) {
  __m128i e = _mm_slli_epi32(_mm_add_epi32(_mm_cvtps_epi32(n.v), _mm_set1_epi32(127)), 23);
  return {_mm_castsi128_ps(e)};
}
// The four bytes of a colour as lanes (byte 0 in lane 0), each divided by 255.
inline F4 unpack_bytes(uint32_t c) {
  __m128i v = _mm_cvtsi32_si128(int(c));
  v = _mm_unpacklo_epi8(v, _mm_setzero_si128());
  v = _mm_unpacklo_epi16(v, _mm_setzero_si128());
  return {_mm_div_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(255.0f))};
}
// Lanes clamped to 0..1 (NaN to 0), scaled by 255, rounded and packed as bytes.
inline uint32_t pack_bytes(F4 a) {
  __m128 c = _mm_min_ps(_mm_max_ps(a.v, _mm_setzero_ps()), _mm_set1_ps(1.0f));
  __m128i i = _mm_cvtps_epi32(_mm_mul_ps(c, _mm_set1_ps(255.0f)));
  i = _mm_packs_epi32(i, i);
  i = _mm_packus_epi16(i, i);
  return uint32_t(_mm_cvtsi128_si32(i));
}

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
inline void stream(float* p, F4 a) { store(p, a); }
inline void stream_fence() {}
inline void prefetch(const void*) {}
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
inline F4 round_lanes(F4 a) {
  F4 r;
  for (int i = 0; i < 4; i++) r.v[i] = float(std::lrintf(a.v[i]));
  return r;
}
inline F4 pow2_lanes(F4 n) {
  F4 r;
  for (int i = 0; i < 4; i++) r.v[i] = detail::from_bits(uint32_t(std::lrintf(n.v[i]) + 127) << 23);
  return r;
}
inline F4 unpack_bytes(uint32_t c) {
  F4 r;
  for (int i = 0; i < 4; i++) r.v[i] = float((c >> (8 * i)) & 255) / 255.0f;
  return r;
}
inline uint32_t pack_bytes(F4 a) {
  uint32_t r = 0;
  for (int i = 0; i < 4; i++) {
    float x = a.v[i] > 0.0f ? a.v[i] : 0.0f;
    x = x < 1.0f ? x : 1.0f;
    r |= uint32_t(std::lrintf(x * 255.0f)) << (8 * i);
  }
  return r;
}
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

// e^x to within about one unit in the last place, built only from the lane
// operations above so that both paths give the same bits. x is limited to
// -87.3..88.7, the range of normal float results.
inline F4 exp(F4 x) {
  x = min(max(x, set1(-87.3f)), set1(88.7f));
  F4 n = round_lanes(x * set1(1.44269504f));
  F4 r = (x - n * set1(0.693359375f)) - n * set1(-2.12194440e-4f);
  F4 p = set1(1.0f / 720.0f);
  p = p * r + set1(1.0f / 120.0f);
  p = p * r + set1(1.0f / 24.0f);
  p = p * r + set1(1.0f / 6.0f);
  p = p * r + set1(0.5f);
  p = p * r + set1(1.0f);
  p = p * r + set1(1.0f);
  // 2^n in two halves so that n = 128 after rounding near the top still works.
  F4 h = round_lanes(n * set1(0.5f));
  return p * pow2_lanes(h) * pow2_lanes(n - h);
}

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
