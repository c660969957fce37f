// Terrain generators.
#include "world/hmGen.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "world/noise_impl.h"

namespace HeightmapData {

namespace {
using noise_detail::coord_ceil;
using noise_detail::coord_floor;

const char* const castle_heights[] = {
    "0000000000000000000", "0888000000000008880", "0898664466644668980", "0888664466644668880",
    "0066444444444446600", "0066444444444446600", "0044440000000444400", "0044440000000444400",
    "0066440088800446600", "0066440089800446600", "0066440088800446600", "0044440000000444400",
    "0044440000000444400", "0066444444444446600", "0066444444444446600", "0888664466644668880",
    "0898664466644668980", "0888000000000008880", "0000000000000000000"};
const char* const castle_tiles[] = {
    "bdcb..........bdcb", "caarkomnkjqlpjraad", "daaifheiffheifhaac", "brhsigeghigeghsirb",
    ".jfheeeeeeeeeeifk.", ".pigebcdcdcdbegho.", ".leeed......ceeem.", ".qhgec.bdcb.degin.",
    ".jfied.caad.cehfk.", ".kfhec.daac.deifj.", ".niged.bcdb.ceghq.", ".meeec......deeel.",
    ".ohgebdcdcdcbegip.", ".kfieeeeeeeeeehfj.", "brishgegihgegishrb", "caahfiehffiehfiaad",
    "daarjplqjknmokraac", "bcdb..........bcdb"};
const char* const castle_orients[] = {
    "566600000000005666", "556766666666665563", "503363056630565033", "000303000030000043",
    "055300000000005330", "050305000000600030", "050003000000500030", "056603056660505630",
    "055303055630505330", "055303050330505330", "050303000030500030", "050003000000500030",
    "056600666666305630", "055300000000005330", "526666056660565666", "556303050030505563",
    "503300000000001033", "000300000000000003"};

const char* const tower_heights[] = {"00000", "08880", "08980", "08880", "00000"};
const char* const tower_tiles[] = {"bdcb", "caad", "daac", "bcdb"};
const char* const tower_orients[] = {"5666", "5563", "5033", "0003"};

const char* const wallz_heights[] = {"00000", "05550", "05650", "05550", "05550", "05750",
                                     "05550", "05550", "05650", "05550", "00000"};
const char* const wallz_tiles[] = {"bdcb", "caad", "daac", "ceed", "daac",
                                   "caad", "deec", "caad", "daac", "bcdb"};
const char* const wallz_orients[] = {"5666", "5563", "5033", "5003", "5563",
                                     "5033", "5003", "5563", "5033", "0003"};

const char* const wallx_heights[] = {"00000000000", "05555555550", "05655755650", "05555555550", "00000000000"};
const char* const wallx_tiles[] = {"bdcdcdcdcb", "caaeaaeaad", "daaeaaeaac", "bcdcdcdcdb"};
const char* const wallx_orients[] = {"5666666666", "5560560563", "5030030033", "0000000003"};

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline float vertex_height(char c) { return float(c - '0') * HOUSE_HEIGHT_SCALE / 9.0f; }

inline int cell(int x, int z) { return ((z & HMAP_MASK) << HMAP_SIZE_SHIFT) | (x & HMAP_MASK); }

inline int log2_of(int tile) {
  int s = 0;
  while ((1 << s) < tile) s++;
  return s;
}

// Ground type rule shared by the painting generators: GT_NONE keeps the type.
inline void set_ground(Surface& s, int groundType) {
  if (groundType != GT_NONE) s.setGroundType(groundType);
}
}  // namespace

const HouseTemplate house_templates[NUM_HOUSE_TEMPLATES] = {
    {18, 18, castle_heights, castle_tiles, castle_orients},
    {4, 4, tower_heights, tower_tiles, tower_orients},
    {4, 10, wallz_heights, wallz_tiles, wallz_orients},
    {10, 4, wallx_heights, wallx_tiles, wallx_orients},
};

void placeHouse(int x, int z, int type, float* heights, bool keepMean) {
  int t = type == -1 ? 0 : int(unsigned(type) % 3u) + 1;
  const HouseTemplate& tp = house_templates[t];
  // Unsigned: any script coordinate wraps onto the map without overflow.
  int x0 = int((unsigned(x) - unsigned(tp.w / 2)) & HMAP_MASK);
  int z0 = int((unsigned(z) - unsigned(tp.d / 2)) & HMAP_MASK);

  // Vertex row r of the template belongs to z0 + d - r.
  float sum = 0.0f;
  for (int j = 0; j <= tp.d; j++) {
    const char* row = tp.heights[tp.d - j];
    for (int i = 0; i <= tp.w; i++) {
      sum += heights[cell(x0 + i, z0 + j)];
      if (keepMean) sum -= is_digit(row[i]) ? vertex_height(row[i]) : -1000.0f;
    }
  }
  float base = sum / float((tp.w + 1) * (tp.d + 1));

  for (int j = 0; j <= tp.d; j++) {
    const char* row = tp.heights[tp.d - j];
    for (int i = 0; i <= tp.w; i++)
      if (is_digit(row[i])) heights[cell(x0 + i, z0 + j)] = base + vertex_height(row[i]);
  }

  for (int j = 0; j < tp.d; j++) {
    const char* tiles = tp.tiles[tp.d - 1 - j];
    const char* orients = tp.orients[tp.d - 1 - j];
    for (int i = 0; i < tp.w; i++) {
      char c = tiles[i];
      if (c < 'a' || c > 'z') continue;
      Surface& s = surface[cell(x0 + i, z0 + j)];
      s.coverColor = D3dColor(0u);
      s.groundType = GT_HOUSE;
      s.surfaceType = 0;
      s.houseTile = uint32_t(c - 'a');
      s.houseOrient = uint32_t(orients[i] - '0') & 7u;
    }
  }
}

void makeFastNoise(float* out, float amplitude, float persistence) {
  uint64_t seed = game_rnd_seed;
  out[cell(0, 0)] = out[cell(128, 0)] = out[cell(0, 128)] = out[cell(128, 128)] = -0.5f;
  // Corner values of the current level's grid, taken before the level writes
  // over them (a square's far corners wrap onto the first row and column).
  static float grid[128 * 128];
  float a = amplitude;
  for (int s = 128; s >= 2; s >>= 1) {
    int n = HMAP_SIZE / s, h = s / 2;
    for (int gz = 0; gz < n; gz++)
      for (int gx = 0; gx < n; gx++) grid[gz * n + gx] = out[cell(gx * s, gz * s)];
    for (int gz = 0; gz < n; gz++) {
      const float* r0 = grid + gz * n;
      const float* r1 = grid + ((gz + 1) % n) * n;
      float* o0 = out + (gz * s) * HMAP_SIZE;
      float* o1 = o0 + h * HMAP_SIZE;
      for (int gx = 0; gx < n; gx++) {
        int gx1 = gx + 1 == n ? 0 : gx + 1;
        float p00 = r0[gx], p10 = r0[gx1], p01 = r1[gx], p11 = r1[gx1];
        int x = gx * s;
        o0[x] = (9.0f * p00 + 3.0f * p10 + 3.0f * p01 + p11) / 16.0f + rnd_unit(rnd_step(seed)) * a;
        o0[x + h] = (9.0f * p10 + 3.0f * p00 + 3.0f * p11 + p01) / 16.0f + rnd_unit(rnd_step(seed)) * a;
        o1[x] = (9.0f * p01 + 3.0f * p00 + 3.0f * p11 + p10) / 16.0f + rnd_unit(rnd_step(seed)) * a;
        o1[x + h] = (9.0f * p11 + 3.0f * p10 + 3.0f * p01 + p00) / 16.0f + rnd_unit(rnd_step(seed)) * a;
      }
    }
    a *= persistence;
  }
  game_rnd_seed = seed;
}

void paintRampColor(Surface& s, const ColorRamp& ramp, float t, int alpha) {
  vec4f c = ramp.get(t);
  // The painted colour goes through its byte form, alpha byte replaced.
  uint32_t painted = (uint32_t(alpha & 255) << 24) | (unit_to_byte(c.x) << 16) | (unit_to_byte(c.y) << 8) |
                     unit_to_byte(c.z);
  vec4f p = color_to_vec4f(D3dColor(painted));
  vec4f o = color_to_vec4f(s.groundColor);
  float k = c.w;
  s.groundColor = vec4f_to_color(worldmath::add(o, worldmath::scale(worldmath::sub(p, o), k)));
}

void addFastNoise(float min_ht, float max_ht, const ColorRamp* ramp, int groundType, int alpha,
                  float persistence) {
  G_ASSERT(min_ht<=max_ht);
  G_ASSERT(min_ht>=0);
  float* temp = static_cast<float*>(std::malloc(sizeof(float) * HMAP_CELLS));
  if (!temp) fatal("out of memory for the fast noise layer");
  makeFastNoise(temp, 1.0f, persistence);
  float range = max_ht - min_ht;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float n = temp[i];
    if (ramp) paintRampColor(surface[i], *ramp, n, alpha);
    set_ground(surface[i], groundType);
    hmap[i] += n * range + min_ht;
  }
  std::free(temp);
}

void genCrater(Point2 c, float r, float s, float* heights) {
  // Mean height strictly inside the radius.
  float r2 = r * r;
  float sum = 0.0f;
  int count = 0;
  int xa = coord_ceil(c.x - r), xb = coord_floor(c.x + r);
  int za = coord_ceil(c.y - r), zb = coord_floor(c.y + r);
  for (int z = za; z <= zb; z++)
    for (int x = xa; x <= xb; x++) {
      float dx = float(x) - c.x, dz = float(z) - c.y;
      if (dx * dx + dz * dz < r2) {
        sum += heights[cell(x, z)];
        count++;
      }
    }
  float m = count ? sum / float(count) : heights[cell(world_round(c.x), world_round(c.y))];
  float rim = m - 1.5f * s;

  float outer2 = (2.0f * r) * (2.0f * r);
  float inner_blend2 = (r - 1.5f) * (r - 1.5f);
  float outer_blend2 = (r + 1.5f) * (r + 1.5f);
  xa = coord_ceil(c.x - 2.0f * r), xb = coord_floor(c.x + 2.0f * r);
  za = coord_ceil(c.y - 2.0f * r), zb = coord_floor(c.y + 2.0f * r);
  for (int z = za; z <= zb; z++)
    for (int x = xa; x <= xb; x++) {
      float dx = float(x) - c.x, dz = float(z) - c.y;
      float d2 = dx * dx + dz * dz;
      if (!(d2 < outer2)) continue;
      float d = std::sqrt(d2);
      float e = d - r;
      float& h = heights[cell(x, z)];
      if (d2 < r2) {
        float v = m - std::sqrt(r2 - d2) * s;
        if (d2 > inner_blend2) {
          float q = e * 2.0f / 3.0f;
          v += (1.0f - q * q) * (rim - v);
        }
        if (h > v) h = v;
      } else {
        float w = m - s * e;
        if (d2 < outer_blend2) {
          float q = e * 2.0f / 3.0f;
          w += (1.0f - q * q) * (rim - w);
        }
        float f = 1.0f - e / r;
        if (h > w) h += (w - h) * (f * f);
      }
    }
}

void genFault(Point2 centre, Point2 direction, float H, float b, float g, const ColorRamp* ramp, int groundType,
              int alpha, float* heights) {
  float len = std::sqrt(direction.x * direction.x + direction.y * direction.y);
  float nx = 0.0f, nz = 0.0f;
  if (len > 0.0f) {
    nx = direction.x / len;
    nz = direction.y / len;
  }
  float o = centre.x + centre.y + rnd_unit(rnd_step()) * 256.0f;

  float coarse[257], fine[257];
  for (int k = 0; k <= 256; k++) {
    float p = float(k) * 0.005f + o;
    float c = 0.0f, amp = 1.0f;
    for (int i = 0; i < 4; i++, p = 2.0f * p + 0.5f, amp *= 0.5f) c += amp * noise_detail::noise1(p);
    coarse[k] = c;
    float q = 16.0f * (float(k) * 0.005f + o);
    float f = 0.0f;
    amp = 1.0f;
    for (int i = 0; i < 3; i++, q = 2.0f * q + 0.5f, amp *= 0.5f) f += amp * noise_detail::noise1(q);
    fine[k] = f;
  }

  float upperH = 0.75f * H, lowerH = -0.25f * H;
  float lift = (b - 0.75f) * H;
  // wrap(x - centre.x) depends only on x (and likewise for z): one table each.
  float wx[HMAP_SIZE], wz[HMAP_SIZE];
  for (int i = 0; i < HMAP_SIZE; i++) {
    wx[i] = wrap(float(i) - centre.x);
    wz[i] = wrap(float(i) - centre.y);
  }
  for (int z = 0; z < HMAP_SIZE; z++) {
    float dz = wz[z];
    for (int x = 0; x < HMAP_SIZE; x++) {
      float dx = wx[x];
      float along = nx * dx + nz * dz;
      float across = -nz * dx + nx * dz;
      float a1 = along / 64.0f, a2 = across / 128.0f;
      float F = a1 * a1 + a2 * a2;
      if (!(F < 1.0f)) continue;
      float u = 1.0f - F;
      float S = (3.0f - 2.0f * u) * u * u;
      int k = coord_floor(across);
      float t = across - float(k);
      int idx = (k + 128) & 255;
      float gc = coarse[idx] + (coarse[idx + 1] - coarse[idx]) * t;
      float gn = fine[idx] + (fine[idx + 1] - fine[idx]) * t;
      float E = ((gc + gn * 0.0625f) * g + along) * (4.0f - (1.0f - gn) * 0.7f);
      float upper = S * upperH, lower = S * lowerH;
      float step;
      int i = (z << HMAP_SIZE_SHIFT) | x;
      if (E > upper) {
        step = upper;
      } else if (E < lower) {
        step = lower;
      } else {
        if (ramp) paintRampColor(surface[i], *ramp, (E - lower) / (upper - lower), alpha);
        set_ground(surface[i], groundType);
        step = E;
      }
      heights[i] += S * lift + step;
    }
  }
}

void addSimplexNoise(float min_ht, float max_ht, int tile, int octaves, float gain) {
  G_ASSERT(min_ht<=max_ht);
  G_ASSERT(min_ht>=0);
  G_ASSERT((tile&(tile-1))==0 && tile>0);
  float range = max_ht - min_ht;
  float scale = float(tile) / 256.0f;
  for (int z = 0; z < HMAP_SIZE; z++) {
    float fz0 = float(z) * scale;
    for (int x = 0; x < HMAP_SIZE; x++) {
      float v = noise_detail::tiled_fractal_noise2(float(x) * scale, fz0, tile, octaves, nullptr, gain);
      float m = v * 0.286f + 0.5f;
      hmap[(z << HMAP_SIZE_SHIFT) | x] += (m > 0.0f ? m : 0.0f) * range + min_ht;
    }
  }
}

namespace {
void draw_levels(float* level, float min_ht, float max_ht) {
  uint64_t seed = game_rnd_seed;
  for (int i = 0; i < 256; i++) level[i] = min_ht + (max_ht - min_ht) * rnd_unit(rnd_step(seed));
  game_rnd_seed = seed;
}

inline float level_of(const float* level, int id) { return level[noise_detail::hash2(id & 255, (id >> 16) & 255)]; }

template <typename Out>
void voronoi_hills(int tile, float min_ht, float max_ht, float radius, Out&& out) {
  G_ASSERT((tile&(tile-1))==0 && tile>0);
  int shift = log2_of(tile);
  float level[256];
  draw_levels(level, min_ht, max_ht);
  float r2 = radius * radius;
  float scale = float(tile) / 256.0f;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      bool any = false;
      float best = 0.0f;
      noise_detail::voronoi9(float(x) * scale, float(z) * scale, shift, [&](int, float px, float py, int id) {
        float w = 1.0f - (px * px + py * py) / r2;
        if (!(w > 0.0f)) return;
        float v = w * level_of(level, id);
        if (!any || v > best) best = v;
        any = true;
      });
      out((z << HMAP_SIZE_SHIFT) | x, best);
    }
}

template <typename Out>
void voronoi_faults(int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale, int octaves,
                    float sharpness, Out&& out) {
  G_ASSERT((tile&(tile-1))==0 && tile>0);
  int shift = log2_of(tile);
  float level[256];
  draw_levels(level, min_ht, max_ht);
  int T = noiseScale * tile;
  float fn = float(T) / 256.0f, fv = float(tile) / 256.0f;
  float sharp = sharpness / fv;
  // The two warps are the same noise with the coordinates swapped, so the warp
  // along z at (x, z) is the warp along x at (z, x): evaluate the noise once
  // per cell and read it back transposed.
  static float warp[HMAP_SIZE * HMAP_SIZE];
  for (int z = 0; z < HMAP_SIZE; z++) {
    float pz = float(z) * fn;
    for (int x = 0; x < HMAP_SIZE; x++)
      warp[(z << HMAP_SIZE_SHIFT) | x] = noise_detail::tiled_fractal_noise2(float(x) * fn, pz, T, octaves, nullptr, 0.5f);
  }
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      float wx = warp[(z << HMAP_SIZE_SHIFT) | x];
      float wz = warp[(x << HMAP_SIZE_SHIFT) | z];
      noise_detail::Near4 nr;
      noise_detail::near4(float(x) * fv + wx * noiseAmp, float(z) * fv + wz * noiseAmp, shift, nr);
      float A = level_of(level, nr.ids[0]);
      float B = level_of(level, nr.ids[1]);
      float diff = std::fabs(A - B);
      float k = (std::sqrt(nr.dist[1]) - std::sqrt(nr.dist[0])) * sharp / (diff > 0.1f ? diff : 0.1f);
      out((z << HMAP_SIZE_SHIFT) | x, k > 1.0f ? A : ((A - B) * k + A + B) * 0.5f);
    }
}
}  // namespace

void addVoronoiHills(int tile, float min_ht, float max_ht, float radius) {
  voronoi_hills(tile, min_ht, max_ht, radius, [](int i, float v) { hmap[i] += v; });
}

void fillVoronoiHills(float* out, int tile, float min_ht, float max_ht, float radius) {
  voronoi_hills(tile, min_ht, max_ht, radius, [out](int i, float v) { out[i] = v; });
}

void genVoronoiFaults(int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale, int octaves,
                      float sharpness) {
  voronoi_faults(tile, min_ht, max_ht, noiseAmp, noiseScale, octaves, sharpness,
                 [](int i, float v) { hmap[i] += v; });
}

void fillVoronoiFaults(float* out, int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale, int octaves,
                       float sharpness) {
  voronoi_faults(tile, min_ht, max_ht, noiseAmp, noiseScale, octaves, sharpness,
                 [out](int i, float v) { out[i] = v; });
}

}  // namespace HeightmapData
