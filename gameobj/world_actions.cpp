// Small world actions the spells will use: water at a cell, a smooth hill,
// land normals and directions on the ground plane.

namespace {
float smooth_falloff(float d, float radius) {
  float t = 1.f - d / radius;
  return t <= 0 ? 0 : t * t * (3.f - 2.f * t);
}
}  // namespace

// Adds water at one cell (a negative amount takes it away, never below none).
void add_source_water(int x, int z, float amount) {
  HeightmapData::Water& w = HeightmapData::water[z & HMAP_MASK][x & HMAP_MASK];
  w.depth = std::fmax(0.f, w.depth + amount);
}

// Raises the target land around (x, z) by up to `height` (negative lowers it);
// the live land slides toward it.
void create_hill(float x, float z, float radius, float height) {
  if (!(radius > 0)) return;
  int r = int(std::ceil(radius));
  for (int dz = -r; dz <= r; dz++)
    for (int dx = -r; dx <= r; dx++) {
      int cx = int(std::floor(x)) + dx, cz = int(std::floor(z)) + dz;
      float d = std::sqrt((float(cx) - x) * (float(cx) - x) + (float(cz) - z) * (float(cz) - z));
      HeightmapData::target_hmap[HeightmapData::cellIndex(cx, cz)] += height * smooth_falloff(d, radius);
    }
}

// Normal of the land at a cell from its neighbours' heights.
vec4f calc_land_norm(int x, int z) {
  using HeightmapData::cellIndex;
  using HeightmapData::hmap;
  float dx = hmap[cellIndex(x + 1, z)] - hmap[cellIndex(x - 1, z)];
  float dz = hmap[cellIndex(x, z + 1)] - hmap[cellIndex(x, z - 1)];
  vec4f n(-dx, 2.f, -dz, 0);
  float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  return vec4f(n.x / len, n.y / len, n.z / len, 0);
}

// Unit direction on the ground plane for a heading (0 faces +z).
vec4f make_dir_xz(float yaw) { return vec4f(-std::sin(yaw), 0, std::cos(yaw), 0); }
