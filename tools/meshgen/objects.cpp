// The standing stone and the creatures' parts, each a closed surface of
// revolution bent into shape: rings of vertices between two poles.
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include "tools/meshgen/meshgen.h"

namespace meshgen {

namespace {

constexpr float PI = 3.14159265358979f;

struct V3 {
  float x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 normalised(V3 a) {
  float l = std::sqrt(dot(a, a));
  return l > 0 ? V3{a.x / l, a.y / l, a.z / l} : V3{0, 1, 0};
}

// A point of the surface for t (0 at the first pole, 1 at the second) and the
// angle a around the axis; the colour of that point as 0xAARRGGBB.
using Shape = std::function<V3(float t, float a)>;
using Paint = std::function<uint32_t(float t, float a, V3 p)>;

float hashf(int a, int b, int seed) {
  uint32_t x = uint32_t(a) * 73856093u ^ uint32_t(b) * 19349663u ^ uint32_t(seed) * 83492791u;
  x ^= x >> 13;
  x *= 0x5bd1e995u;
  x ^= x >> 15;
  return float(x & 0xFFFF) / 65535.f;
}
// Smooth periodic noise around the ring and along the axis.
float ring_noise(float t, float a, int rings, int around, int seed) {
  float x = a / (2 * PI) * float(around), y = t * float(rings);
  int ix = int(std::floor(x)), iy = int(std::floor(y));
  float fx = x - float(ix), fy = y - float(iy);
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  auto h = [&](int i, int j) { return hashf(((i % around) + around) % around, j, seed); };
  float a0 = h(ix, iy) + (h(ix + 1, iy) - h(ix, iy)) * fx;
  float a1 = h(ix, iy + 1) + (h(ix + 1, iy + 1) - h(ix, iy + 1)) * fx;
  return a0 + (a1 - a0) * fy;
}

uint32_t rgb(float r, float g, float b) {
  auto c = [](float v) { return uint32_t(v < 0 ? 0 : v > 1 ? 255 : int(v * 255 + 0.5f)); };
  return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

struct Lathe {
  int rings = 16;   // rings between the poles
  int around = 24;  // vertices per ring
};

struct Surface {
  std::vector<V3> pos, nrm;
  std::vector<float> u, v;
  std::vector<uint32_t> col;
  std::vector<uint16_t> idx;
};

// Rings k = 1..rings at t = k / (rings + 1); the poles at t = 0 and 1. Each
// ring repeats its first vertex at its end for the texture seam.
Surface lathe(const Lathe& l, const Shape& shape, const Paint& paint) {
  Surface s;
  auto add = [&](float t, float a, float uu) {
    V3 p = shape(t, a);
    s.pos.push_back(p);
    s.u.push_back(uu);
    s.v.push_back(t);
    s.col.push_back(paint(t, a, p));
  };
  add(0, 0, 0.5f);
  for (int k = 1; k <= l.rings; k++) {
    float t = float(k) / float(l.rings + 1);
    for (int j = 0; j <= l.around; j++) add(t, 2 * PI * float(j % l.around) / float(l.around), float(j) / float(l.around));
  }
  add(1, 0, 0.5f);
  int row = l.around + 1;
  auto ring = [&](int k, int j) { return uint16_t(1 + (k - 1) * row + j); };
  uint16_t last = uint16_t(s.pos.size() - 1);
  for (int j = 0; j < l.around; j++) {
    s.idx.insert(s.idx.end(), {0, ring(1, j), ring(1, j + 1)});
    for (int k = 1; k < l.rings; k++) {
      s.idx.insert(s.idx.end(), {ring(k, j), ring(k + 1, j), ring(k + 1, j + 1)});
      s.idx.insert(s.idx.end(), {ring(k, j), ring(k + 1, j + 1), ring(k, j + 1)});
    }
    s.idx.insert(s.idx.end(), {ring(l.rings, j), last, ring(l.rings, j + 1)});
  }
  return s;
}

// Six times the signed volume; positive when the triangles face outward
// under the device's winding (normal = (b - a) x (c - a)).
float volume6(const std::vector<V3>& p, const std::vector<uint16_t>& idx) {
  float v = 0;
  for (size_t i = 0; i < idx.size(); i += 3) v += dot(p[idx[i]], cross(p[idx[i + 1]], p[idx[i + 2]]));
  return v;
}

// Area-weighted face normals summed over every vertex at the same point.
std::vector<V3> smooth_normals(const std::vector<V3>& p, const std::vector<uint16_t>& idx) {
  std::map<std::array<float, 3>, V3> acc;
  auto key = [&](const V3& a) { return std::array<float, 3>{a.x, a.y, a.z}; };
  for (size_t i = 0; i < idx.size(); i += 3) {
    V3 a = p[idx[i]], b = p[idx[i + 1]], c = p[idx[i + 2]];
    V3 n = cross(b - a, c - a);
    for (int k = 0; k < 3; k++) {
      V3& s = acc[key(p[idx[i + size_t(k)]])];
      s = s + n;
    }
  }
  std::vector<V3> out;
  for (const V3& a : p) out.push_back(normalised(acc[key(a)]));
  return out;
}

void orient_outward(Surface& s) {
  if (volume6(s.pos, s.idx) < 0)
    for (size_t i = 0; i < s.idx.size(); i += 3) std::swap(s.idx[i + 1], s.idx[i + 2]);
  s.nrm = smooth_normals(s.pos, s.idx);
}

void put(std::vector<uint8_t>& out, const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}

// Object layout: POSITION0, NORMAL0, TEXCOORD0, COLOR0 (stride 36); with a
// morph target POSITION1 and NORMAL1 follow (stride 60).
GenMesh pack(const std::string& name, Surface s, const Surface* morph, const std::string& low,
             const std::string& high, std::vector<float> balls) {
  orient_outward(s);
  GenMesh g;
  g.name = name;
  auto& d = g.data;
  d.shaderLow = low;
  d.shaderHigh = high;
  d.textures = {"hide.dds"};
  d.balls = std::move(balls);
  d.elements = {{0, 0, 3, 0, 0}, {12, 0, 3, 1, 0}, {24, 0, 2, 3, 0}, {32, 0, 5, 2, 0}};
  d.stride = 36;
  std::vector<V3> mn;
  if (morph) {
    d.elements.push_back({36, 0, 3, 0, 1});
    d.elements.push_back({48, 0, 3, 1, 1});
    d.stride = 60;
    mn = smooth_normals(morph->pos, s.idx);
  }
  for (size_t i = 0; i < s.pos.size(); i++) {
    put(d.vertices, &s.pos[i], 12);
    put(d.vertices, &s.nrm[i], 12);
    put(d.vertices, &s.u[i], 4);
    put(d.vertices, &s.v[i], 4);
    put(d.vertices, &s.col[i], 4);
    if (morph) {
      put(d.vertices, &morph->pos[i], 12);
      put(d.vertices, &mn[i], 12);
    }
    g.keys.push_back({s.pos[i].x, s.pos[i].y, s.pos[i].z});
    g.samplePos.push_back({s.pos[i].x, s.pos[i].y, s.pos[i].z});
  }
  d.indices = s.idx;
  return g;
}

// ---- the meshes ----

// A weathered standing stone, taller than wide, leaning a little, with a
// worn and uneven skin and lichen toward the top.
GenMesh stone1() {
  Lathe l{18, 20};
  Shape shape = [](float t, float a) {
    float y = -0.3f + t * 2.6f;
    float prof = t < 0.08f ? std::sqrt(t / 0.08f) : 1.0f;
    float top = t > 0.8f ? std::sqrt(std::max(0.f, 1 - (t - 0.8f) / 0.2f)) : 1.0f;
    float r = (0.55f - 0.2f * t) * prof * top;
    float rough = 0.85f + 0.3f * ring_noise(t, a, 7, 8, 3) + 0.08f * ring_noise(t, a, 19, 16, 5);
    r *= rough;
    return V3{std::cos(a) * r + 0.12f * t * t, y, std::sin(a) * r * 0.65f};
  };
  Paint paint = [](float t, float a, V3) {
    float n = ring_noise(t, a, 9, 10, 11);
    float lichen = t > 0.45f ? std::max(0.f, n - 0.55f) * 2.5f : 0.f;
    float g = 0.46f + 0.12f * n;
    return rgb(g * (1 - lichen) + 0.42f * lichen, g * (1 - lichen) + 0.5f * lichen, g * 0.97f * (1 - lichen) + 0.25f * lichen);
  };
  return pack("stone1", lathe(l, shape, paint), nullptr, "obj_simple.sh", "dr_obj_simple.sh",
              {0.05f, 0.4f, 0, 0.5f, 0.12f, 1.4f, 0, 0.4f});
}

// The gatherer's eye: a ball looking along +z, white with an amber iris and
// a dark pupil.
GenMesh gatherer_eye() {
  Lathe l{12, 18};
  Shape shape = [](float t, float a) {
    float th = t * PI;
    return V3{std::sin(th) * std::cos(a) * 0.28f, std::sin(th) * std::sin(a) * 0.28f, std::cos(th) * 0.28f};
  };
  Paint paint = [](float t, float, V3) {
    if (t < 0.12f) return rgb(0.05f, 0.03f, 0.02f);
    if (t < 0.3f) return rgb(0.85f, 0.55f, 0.12f);
    return rgb(0.92f, 0.9f, 0.85f);
  };
  return pack("gatherer_eye", lathe(l, shape, paint), nullptr, "obj_simple.sh", "dr_obj_simple.sh", {});
}

// The gatherer's body: a soft, lobed sack hanging below the eye. The second
// shape is the same body drawn in (a breath); the record's morph weight
// blends between them.
Shape gatherer_shape(float breath) {
  return [breath](float t, float a) {
    float th = t * PI;
    float lobes = 1 + 0.16f * std::cos(5 * a + breath * 0.6f) * std::pow(std::sin(th), 3.f);
    float r = 0.72f * std::sin(th) * lobes * (1 + 0.12f * breath);
    float y = 0.55f * std::cos(th) * (1 - 0.1f * breath) - 0.15f * t * t;
    return V3{std::cos(a) * r, y, std::sin(a) * r};
  };
}
GenMesh gatherer_body() {
  Lathe l{14, 20};
  Paint paint = [](float t, float a, V3) {
    float band = 0.5f + 0.5f * std::cos(5 * a);
    float belly = t > 0.55f ? (t - 0.55f) * 1.6f : 0.f;
    return rgb(0.35f + 0.25f * belly + 0.05f * band, 0.22f + 0.3f * belly, 0.45f + 0.15f * belly - 0.05f * band);
  };
  Surface rest = lathe(l, gatherer_shape(0), paint);
  Surface breathe = lathe(l, gatherer_shape(1), paint);
  return pack("gatherer_body", rest, &breathe, "obj_morph.sh", "dr_obj_morph.sh", {0, 0, 0, 0.75f});
}

// The wyvern's head looks along +z: a long skull with a heavy brow, the jaw
// line darker, two swept horns along the top.
GenMesh wyvern_head() {
  Lathe l{16, 20};
  Shape shape = [](float t, float a) {
    float z = 0.9f - t * 1.5f;
    float prof = std::sin(std::sqrt(t) * PI * 0.5f + t * PI * 0.5f);
    float r = 0.34f * prof * (t < 0.5f ? 0.6f + 0.8f * t : 1.0f);
    float up = std::sin(a);
    float horn = up > 0.6f && t > 0.6f && t < 0.85f ? (up - 0.6f) * 1.2f * std::sin((t - 0.6f) / 0.25f * PI) : 0.f;
    float y = r * up * 0.8f + horn * 0.8f;
    return V3{std::cos(a) * r, y, z - horn * 0.6f};
  };
  Paint paint = [](float t, float a, V3) {
    float up = std::sin(a);
    if (up > 0.6f && t > 0.6f && t < 0.85f) return rgb(0.85f, 0.8f, 0.65f);
    if (std::fabs(up) < 0.12f && t < 0.5f) return rgb(0.2f, 0.08f, 0.06f);
    return rgb(0.25f + 0.1f * up, 0.42f + 0.1f * up, 0.2f);
  };
  return pack("wyvern_head", lathe(l, shape, paint), nullptr, "obj_simple.sh", "dr_obj_simple.sh",
              {0, 0, 0.1f, 0.4f});
}

// The wyvern's tail tapers along -z to a flat barbed tip.
GenMesh wyvern_tail() {
  Lathe l{16, 16};
  Shape shape = [](float t, float a) {
    float z = -t * 2.0f;
    float r = 0.3f * std::pow(1 - t, 0.8f) * std::sqrt(std::min(1.f, t * 12));
    float barb = t > 0.78f ? std::sin((t - 0.78f) / 0.22f * PI) * 0.22f : 0.f;
    return V3{std::cos(a) * (r + barb), std::sin(a) * r * 0.8f, z};
  };
  Paint paint = [](float t, float a, V3) {
    float up = std::sin(a);
    if (t > 0.78f) return rgb(0.55f, 0.12f, 0.08f);
    return rgb(0.24f + 0.1f * up, 0.4f + 0.12f * up, 0.2f);
  };
  return pack("wyvern_tail", lathe(l, shape, paint), nullptr, "obj_simple.sh", "dr_obj_simple.sh",
              {0, 0, -0.5f, 0.3f});
}

// One body segment for the spline renderer: a unit tube from z = 0 to z = 1
// (radius 1, x to the side, y up) with rounded ends and a dorsal ridge; the
// shader bends it along the record's curve and scales its radius.
GenMesh wyvern_body() {
  Lathe l{18, 18};
  Shape shape = [](float t, float a) {
    float z = t;
    float cap = std::min(1.f, std::min(t, 1 - t) * 10.f);
    float r = std::sqrt(std::max(0.f, 1 - (1 - cap) * (1 - cap)));
    float up = std::sin(a);
    float ridge = up > 0.85f ? (up - 0.85f) * 3.0f * cap : 0.f;
    return V3{std::cos(a) * r, std::sin(a) * r * 0.9f + ridge, z};
  };
  Paint paint = [](float t, float a, V3) {
    float up = std::sin(a);
    float scale = 0.5f + 0.5f * std::cos(t * 2 * PI * 3);
    if (up < -0.5f) return rgb(0.6f, 0.55f, 0.35f);
    return rgb(0.22f + 0.06f * scale, 0.38f + 0.1f * up + 0.05f * scale, 0.18f);
  };
  return pack("wyvern_body", lathe(l, shape, paint), nullptr, "obj_spline.sh", "dr_obj_spline.sh", {});
}

}  // namespace

std::vector<GenMesh> object_meshes() {
  return {stone1(), gatherer_eye(), gatherer_body(), wyvern_head(), wyvern_tail(), wyvern_body()};
}

std::vector<GenMesh> all_meshes() {
  std::vector<GenMesh> out = building_pieces();
  for (GenMesh& m : object_meshes()) out.push_back(std::move(m));
  return out;
}

}  // namespace meshgen
