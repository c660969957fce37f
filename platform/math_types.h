#pragma once
// The vector, matrix and colour types the render device layer takes and gives.
#include <cmath>
#include <cstdint>

// Four packed floats: a position (x, y, z, w) with y up, or a colour (r, g, b, a).
struct alignas(16) vec4f {
  float x = 0, y = 0, z = 0, w = 0;
  vec4f() = default;
  constexpr vec4f(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }
};

// Arithmetic on all four lanes, as positions and directions combine them.
inline constexpr vec4f operator+(const vec4f& a, const vec4f& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
inline constexpr vec4f operator-(const vec4f& a, const vec4f& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
inline constexpr vec4f operator*(const vec4f& a, float k) { return {a.x * k, a.y * k, a.z * k, a.w * k}; }
inline constexpr vec4f operator*(float k, const vec4f& a) { return a * k; }
inline constexpr float dot_xyz(const vec4f& a, const vec4f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float length_xyz(const vec4f& a) { return std::sqrt(dot_xyz(a, a)); }
inline float length_xz(const vec4f& a) { return std::sqrt(a.x * a.x + a.z * a.z); }

// Four vec4f rows; points are row vectors multiplied on the left (p * M).
struct Matrix44 {
  vec4f row[4];
  static Matrix44 identity() {
    Matrix44 m;
    for (int i = 0; i < 4; i++) m.row[i][i] = 1.f;
    return m;
  }
  float& at(int r, int c) { return row[r][c]; }
  float at(int r, int c) const { return row[r][c]; }
};

inline Matrix44 operator*(const Matrix44& a, const Matrix44& b) {
  Matrix44 m;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) {
      float s = 0;
      for (int k = 0; k < 4; k++) s += a.at(r, k) * b.at(k, c);
      m.at(r, c) = s;
    }
  return m;
}

// A 32-bit ARGB colour: blue in the low byte, alpha in the high byte.
struct D3dColor {
  uint32_t u = 0;
  D3dColor() = default;
  constexpr D3dColor(uint32_t argb) : u(argb) {}
  // Packs by clamping each channel to 0..1, scaling by 255 and rounding to nearest.
  explicit D3dColor(const vec4f& c) {
    auto q = [](float v) -> uint32_t {
      if (!(v > 0.f)) return 0;  // also catches NaN
      if (v >= 1.f) return 255;
      return uint32_t(std::lround(v * 255.f));
    };
    u = (q(c.w) << 24) | (q(c.x) << 16) | (q(c.y) << 8) | q(c.z);
  }
  uint32_t a() const { return u >> 24; }
  uint32_t r() const { return (u >> 16) & 0xFF; }
  uint32_t g() const { return (u >> 8) & 0xFF; }
  uint32_t b() const { return u & 0xFF; }
  vec4f toVec4() const { return vec4f(r() / 255.f, g() / 255.f, b() / 255.f, a() / 255.f); }
};
