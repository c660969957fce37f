// The module's shared world queries (see common.h).
#include "common.h"

#include <cmath>

namespace {
float top_of(int cx, int cz) {
  using namespace HeightmapData;
  return hmap[cellIndex(cx, cz)] + water[cz & HMAP_MASK][cx & HMAP_MASK].depth;
}
float land_of(int cx, int cz) { return HeightmapData::hmap[HeightmapData::cellIndex(cx, cz)]; }

// Bilinear between the four corners of the cell under (x, z).
template <typename Corner>
float between_corners(float x, float z, Corner corner) {
  float fx = std::floor(x), fz = std::floor(z);
  int ix = int(fx), iz = int(fz);
  float tx = x - fx, tz = z - fz;
  float a = corner(ix, iz) + (corner(ix + 1, iz) - corner(ix, iz)) * tx;
  float b = corner(ix, iz + 1) + (corner(ix + 1, iz + 1) - corner(ix, iz + 1)) * tx;
  return a + (b - a) * tz;
}
}  // namespace

float land_height(float x, float z) { return between_corners(x, z, land_of); }
float surface_at(float x, float z) { return between_corners(x, z, top_of); }

float water_depth_at(float x, float z) {
  return HeightmapData::water[int(std::floor(z)) & HMAP_MASK][int(std::floor(x)) & HMAP_MASK].depth;
}

vec4f wrapped_delta(const vec4f& a, const vec4f& b) {
  return vec4f(std::remainder(b.x - a.x, float(HMAP_SIZE)), b.y - a.y, std::remainder(b.z - a.z, float(HMAP_SIZE)), 0);
}

float distance_xz(const vec4f& a, const vec4f& b) { return length_xz(wrapped_delta(a, b)); }

float wrap_coord(float v) {
  v = std::fmod(v, float(HMAP_SIZE));
  return v < 0 ? v + float(HMAP_SIZE) : v;
}

CastleObject* the_castle() { return CastleObject_list.count ? CastleObject_list[0] : nullptr; }
