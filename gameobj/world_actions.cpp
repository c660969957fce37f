// World actions of the spells, on the same exported world functions the
// world script uses: water at a cell and in a globe, springs, smooth hills
// and pits, the fault cliff, the crater, the house stamp and the fireball's
// scorch. Every change to the land goes to target_hmap, so the live land
// slides to it and the water reacts by itself.
#include <cmath>
#include <cstring>

#include "casting.h"
#include "common.h"
#include "tuning.h"
#include "world_run.h"
#include "entry_points.h"
#include "object_registry.h"

using namespace tuning;

namespace {
constexpr float CRATER_STEEPNESS = 0.8f;   // a crater of radius 8 is about 6 units deep
constexpr float HOUSE_MAX_SLOPE = 2.5f;     // highest minus lowest corner under a house
constexpr float HOUSE_MAX_WATER = 0.05f;
constexpr int TOWER_TYPE = 0;               // placeHouse's tower template

float smooth_falloff(float d, float radius) {
  float t = 1.f - d / radius;
  return t <= 0 ? 0 : t * t * (3.f - 2.f * t);
}

// Calls fn(cell index, distance) for every cell within radius of (x, z).
template <typename Fn>
void for_cells_within(float x, float z, float radius, Fn fn) {
  int r = int(std::ceil(radius));
  int cx0 = int(std::floor(x)), cz0 = int(std::floor(z));
  for (int dz = -r; dz <= r; dz++)
    for (int dx = -r; dx <= r; dx++) {
      int cx = cx0 + dx, cz = cz0 + dz;
      float d = std::sqrt((float(cx) - x) * (float(cx) - x) + (float(cz) - z) * (float(cz) - z));
      if (d <= radius) fn(cx, cz, d);
    }
}

void tell_land_renderer() {
  if (HeightmapData::world_hooks.heightsChanged) HeightmapData::world_hooks.heightsChanged();
}

// Darkens a colour toward soot by `amount` (0..1), keeping its alpha.
D3dColor scorched(D3dColor c, float amount) {
  uint32_t v = c.u, out = v & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    float ch = float((v >> shift) & 0xFF);
    float soot = 24.f;
    out |= uint32_t(ch + (soot - ch) * amount + 0.5f) << shift;
  }
  return D3dColor(out);
}
}  // namespace

// Kills a monster: it falls, bursts and leaves its mana.
void kill_monster(Monster* m) { monster_killed(m); }

// Adds water at one cell (a negative amount takes it away, never below none).
void add_source_water(int x, int z, float amount) {
  HeightmapData::Water& w = HeightmapData::water[z & HMAP_MASK][x & HMAP_MASK];
  w.depth = std::fmax(0.f, w.depth + amount);
}

// Raises the target land around (x, z) by up to `height` (negative lowers it);
// the live land slides toward it.
void create_hill(float x, float z, float radius, float height) {
  if (!(radius > 0) || !std::isfinite(height)) return;
  for_cells_within(x, z, radius, [&](int cx, int cz, float d) {
    HeightmapData::target_hmap[HeightmapData::cellIndex(cx, cz)] += height * smooth_falloff(d, radius);
  });
  tell_land_renderer();
}

// Pours `amount` units of water over a disc, most in the middle.
void add_water_globe(const vec4f& pos, float amount, float radius) {
  if (!(radius > 0) || !(amount > 0)) return;
  float total = 0;
  for_cells_within(pos.x, pos.z, radius, [&](int, int, float d) { total += 1.f - d / (radius + 1.f); });
  for_cells_within(pos.x, pos.z, radius, [&](int cx, int cz, float d) {
    add_source_water(cx, cz, amount * (1.f - d / (radius + 1.f)) / total);
  });
}

// A spring (rate > 0) or a sink (rate < 0) at pos, running for `seconds`.
void add_water_source(const vec4f& pos, float rate, float seconds) {
  if (!(seconds > 0) || !std::isfinite(rate) || rate == 0) return;
  WaterSource* s = rate > 0 ? spawn(WaterSource_list) : spawn_as<WaterSink>(WaterSource_list);
  s->pos = vec4f(pos.x, pos.y, pos.z, 1);
  s->rate = std::fabs(rate);
  s->timeLeft = seconds;
  update_proximity(s, s->boundRect());
}

// The fireball's blast: wyverns near it die, gatherers catch fire, the
// ground is scorched.
void apply_fireball(const vec4f& pos, float radius) {
  if (!(radius > 0)) return;
  for (int i = WyvernMonster_list.count - 1; i >= 0; i--) {
    Monster* w = reinterpret_cast<Monster*>(WyvernMonster_list[i]);
    if (distance_xz(w->pos, pos) <= radius) kill_monster(w);
  }
  for (int i = ManaGatherer_list.count - 1; i >= 0; i--) {
    ManaGatherer* g = ManaGatherer_list[i];
    if (g->standing() && distance_xz(g->pos, pos) <= radius) g->burning = std::fmax(g->burning, GATHERER_FIRE_S);
  }
  for_cells_within(pos.x, pos.z, radius * 1.5f, [&](int cx, int cz, float d) {
    HeightmapData::Surface& s = HeightmapData::surface[HeightmapData::cellIndex(cx, cz)];
    float amount = 0.85f * smooth_falloff(d, radius * 1.5f);
    s.groundColor = scorched(s.groundColor, amount);
    if (s.coverColor.u) s.coverColor = scorched(s.coverColor, amount);
  });
  tell_land_renderer();
}

// A cliff through pos running along dir (on the ground plane): the fault
// generator's cliff, kept to FAULT_REACH cells around the impact.
void open_fault(const vec4f& pos, const vec4f& dir) {
  static float cliff[HMAP_CELLS];
  std::memset(cliff, 0, sizeof(cliff));
  // The generator's direction crosses the cliff: the normal of the cast direction.
  HeightmapData::genFault(Point2{pos.x, pos.z}, Point2{-dir.z, dir.x}, FAULT_HEIGHT, 0.75f, 4.f, nullptr, GT_NONE, 0,
                          cliff);
  for_cells_within(pos.x, pos.z, FAULT_REACH, [&](int cx, int cz, float d) {
    int i = HeightmapData::cellIndex(cx, cz);
    HeightmapData::target_hmap[i] += cliff[i] * smooth_falloff(d, FAULT_REACH);
  });
  tell_land_renderer();
}

void make_crater(const vec4f& pos, float radius) {
  HeightmapData::genCrater(Point2{pos.x, pos.z}, radius, CRATER_STEEPNESS, HeightmapData::target_hmap);
  tell_land_renderer();
}

// A tower stands only on dry, even ground that holds no building yet.
bool house_fits(int x, int z) {
  using namespace HeightmapData;
  const HouseTemplate& t = house_templates[1];
  int x0 = x - t.w / 2, z0 = z - t.d / 2;
  float lo = 1e30f, hi = -1e30f;
  for (int j = 0; j <= t.d; j++)
    for (int i = 0; i <= t.w; i++) {
      int c = cellIndex(x0 + i, z0 + j);
      lo = std::fmin(lo, target_hmap[c]);
      hi = std::fmax(hi, target_hmap[c]);
      if (water[(z0 + j) & HMAP_MASK][(x0 + i) & HMAP_MASK].depth > HOUSE_MAX_WATER) return false;
      if (i < t.w && j < t.d && surface[c].groundType == GT_HOUSE) return false;
    }
  return hi - lo <= HOUSE_MAX_SLOPE;
}

// Stamps a tower at the cell of pos when it fits; false when it does not.
bool build_house(const vec4f& pos) {
  int x = int(std::floor(pos.x)), z = int(std::floor(pos.z));
  if (!house_fits(x, z)) return false;
  HeightmapData::placeHouse(x, z, TOWER_TYPE, HeightmapData::target_hmap, false);
  tell_land_renderer();
  return true;
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
