// The CPU half of the land and water frame: the window's vertices and
// indices, the water surface with its shore rule, and the flowing water
// texture coordinates advected along the water flow.
#include <cmath>
#include <cstring>

#include "render/hmRender.h"
#include "world/noise.h"

using namespace HeightmapData;

namespace HeightmapRenderer {

alignas(16) float curh[HMAP_CELLS];

alignas(16) float shown_depth[HMAP_CELLS];
RenderBuildingFunc render_building = nullptr;

namespace {
// Water level (land + shown depth) and wetness of every cell this frame.
alignas(16) float level[HMAP_CELLS];
uint8_t wet_shown[HMAP_CELLS];   // shown depth > 0.1
uint8_t wet_either[HMAP_CELLS];  // depth > 0.1 before or after the last step
uint8_t wet_near[HMAP_CELLS];    // some cell of the 3 x 3 block around it is wet (shown)

alignas(16) vec4f flow_tc[2][HMAP_CELLS];
int flow_cur = 0;
int flow_counter = 0;
// The flow animation's own random sequence: what is drawn, and at which
// quality, never moves the game's sequence.
constexpr uint64_t FLOW_RND_START = 0x6a09e667f3bcc909ULL;
uint64_t flow_rnd = FLOW_RND_START;

inline const Water& wcell(int x, int z) { return water[z & HMAP_MASK][x & HMAP_MASK]; }
inline const Water& pcell(int x, int z) { return tmpw[z & HMAP_MASK][x & HMAP_MASK]; }

// Bilinear sample of a per-cell value on the torus.
template <class Get>
inline auto bilinear(float x, float z, Get get) {
  float fx = std::floor(x), fz = std::floor(z);
  int ix = int(fx), iz = int(fz);
  float ax = x - fx, az = z - fz;
  auto a = get(ix, iz), b = get(ix + 1, iz), c = get(ix, iz + 1), d = get(ix + 1, iz + 1);
  return (a * (1 - ax) + b * ax) * (1 - az) + (c * (1 - ax) + d * ax) * az;
}

struct V4 {
  float v[4];
  V4 operator*(float s) const { return {{v[0] * s, v[1] * s, v[2] * s, v[3] * s}}; }
  V4 operator+(const V4& o) const { return {{v[0] + o.v[0], v[1] + o.v[1], v[2] + o.v[2], v[3] + o.v[3]}}; }
};

void resetPhase(int phase, int cx, int cz) {
  const float two_pi = 6.283185307179586f;
  float angle = float(rnd_step(flow_rnd)) * 0x1p-32f * two_pi;
  float off_a = float(rnd_step(flow_rnd)) * 0x1p-32f * 256.f;
  float off_b = float(rnd_step(flow_rnd)) * 0x1p-32f * 256.f;
  float ca = std::cos(angle), sa = std::sin(angle);
  vec4f* f = flow_tc[flow_cur];
  int o = phase * 2;
  for (int z = 0; z < HMAP_SIZE; z++) {
    float dz = float(((z - cz + 128) & HMAP_MASK) - 128);
    for (int x = 0; x < HMAP_SIZE; x++) {
      float dx = float(((x - cx + 128) & HMAP_MASK) - 128);
      vec4f& c = f[cellIndex(x, z)];
      c[o] = dx * ca - dz * sa + off_a;
      c[o + 1] = dx * sa + dz * ca + off_b;
    }
  }
}
}  // namespace

int cameraCell(float v) { return int(std::floor(v + 0.5f)); }

bool inLandDisc(int k, int l) {
  int a = 2 * k - 255, b = 2 * l - 255;
  return a * a + b * b <= DISC_R2;
}

void computeShownDepth(float t) {
  const Water* prev = &tmpw[0][0];
  const Water* cur = &water[0][0];
  for (int i = 0; i < HMAP_CELLS; i++) {
    float d = prev[i].depth + (cur[i].depth - prev[i].depth) * t;
    shown_depth[i] = d;
    wet_either[i] = prev[i].depth > WET_DEPTH || cur[i].depth > WET_DEPTH;
  }
}

int buildCentrePatches(int ox, int oz, PatchInstance* out) {
  int n = 0;
  for (int k = CENTRE_FIRST; k < CENTRE_FIRST + CENTRE_CELLS; k++) {
    int z = oz + k;
    int r0 = (z & HMAP_MASK) << HMAP_SIZE_SHIFT, r1 = ((z + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT;
    for (int l = CENTRE_FIRST; l < CENTRE_FIRST + CENTRE_CELLS; l++) {
      int x = ox + l;
      int c0 = x & HMAP_MASK, c1 = (x + 1) & HMAP_MASK;
      const Surface& s = surface[r0 | c0];
      if (s.groundType == GT_HOUSE) {
        if (render_building) render_building(s, x, z);
        continue;
      }
      PatchInstance& p = out[n++];
      p.x = int16_t(x);
      p.z = int16_t(z);
      p.h[0] = curh[r0 | c0];
      p.h[1] = curh[r0 | c1];
      p.h[2] = curh[r1 | c0];
      p.h[3] = curh[r1 | c1];
    }
  }
  return n;
}

void buildLandVerts(int ox, int oz, LandVertex* out) {
  for (int k = 0; k < WINDOW; k++) {
    int z = oz + k;
    const float* row = curh + ((z & HMAP_MASK) << HMAP_SIZE_SHIFT);
    LandVertex* v = out + k * WINDOW;
    for (int l = 0; l < WINDOW; l++) {
      int x = ox + l;
      v[l].x = int16_t(x);
      v[l].z = int16_t(z);
      v[l].h = row[x & HMAP_MASK];
    }
  }
}

// Two triangles of the grid quad whose first corner is vertex v in a grid
// `stride` vertices wide; returns the position after its six indices.
inline uint16_t* put_grid_quad(uint16_t* p, int v, int stride) {
  p[0] = uint16_t(v);
  p[1] = uint16_t(v + stride);
  p[2] = uint16_t(v + 1);
  p[3] = uint16_t(v + 1);
  p[4] = uint16_t(v + stride);
  p[5] = uint16_t(v + stride + 1);
  return p + 6;
}

int buildLandIndices(int ox, int oz, uint16_t* out) {
  uint16_t* p = out;
  for (int k = 0; k < WINDOW_QUADS; k++) {
    int a = 2 * k - 255;
    int rem = DISC_R2 - a * a;
    if (rem < 0) continue;
    // Columns inside the disc on this row: (2l - 255)^2 <= rem.
    int half = int(std::sqrt(float(rem)));
    while (half * half > rem) half--;
    while ((half + 1) * (half + 1) <= rem) half++;
    int l0 = (255 - half + 1) / 2, l1 = (255 + half) / 2;
    if (l0 < 0) l0 = 0;
    if (l1 > WINDOW_QUADS - 1) l1 = WINDOW_QUADS - 1;
    bool centre_row = unsigned(k - CENTRE_FIRST) < unsigned(CENTRE_CELLS);
    const Surface* srow = surface + (((oz + k) & HMAP_MASK) << HMAP_SIZE_SHIFT);
    for (int l = l0; l <= l1; l++) {
      if (centre_row && unsigned(l - CENTRE_FIRST) < unsigned(CENTRE_CELLS)) {
        l = CENTRE_FIRST + CENTRE_CELLS - 1;  // the patches cover the block
        continue;
      }
      int x = ox + l;
      const Surface& s = srow[x & HMAP_MASK];
      if (s.groundType == GT_HOUSE) {
        if (render_building) render_building(s, x, oz + k);
        continue;
      }
      p = put_grid_quad(p, k * WINDOW + l, WINDOW);
    }
  }
  return int(p - out);
}

void buildHorizonVerts(int cx, int cz, LandVertex* out, float* depth_out) {
  int sx = int(std::floor(float(cx - 383) / HORIZON_STEP)) * HORIZON_STEP;
  int sz = int(std::floor(float(cz - 383) / HORIZON_STEP)) * HORIZON_STEP;
  for (int i = 0; i < HORIZON_SIZE; i++) {
    int z = sz + i * HORIZON_STEP;
    int row = (z & HMAP_MASK) << HMAP_SIZE_SHIFT;
    float dz = float(z - cz);
    LandVertex* v = out + i * HORIZON_SIZE;
    for (int j = 0; j < HORIZON_SIZE; j++) {
      int x = sx + j * HORIZON_STEP;
      int c = row | (x & HMAP_MASK);
      float dx = float(x - cx);
      float h = curh[c] + shown_depth[c];
      float d = (std::sqrt(dx * dx + dz * dz) - 128.f) * (1.f / 256.f);
      if (d > 0) h -= 128.f * d * d;
      v[j].x = int16_t(x);
      v[j].z = int16_t(z);
      v[j].h = h;
      if (depth_out) depth_out[i * HORIZON_SIZE + j] = shown_depth[c];
    }
  }
}

int buildHorizonIndices(uint16_t* out) {
  uint16_t* p = out;
  for (int i = 0; i < HORIZON_SIZE - 1; i++)
    for (int j = 0; j < HORIZON_SIZE - 1; j++) {
      int a = 2 * i - 191, b = 2 * j - 191;
      if (a * a + b * b <= HORIZON_HOLE_R2) continue;
      p = put_grid_quad(p, i * HORIZON_SIZE + j, HORIZON_SIZE);
    }
  return int(p - out);
}

namespace {
void computeLevels() {
  for (int i = 0; i < HMAP_CELLS; i++) {
    level[i] = curh[i] + shown_depth[i];
    wet_shown[i] = shown_depth[i] > WET_DEPTH;
  }
  // Separable 3 x 3 dilation of the wet cells, so that dry cells far from
  // water skip the neighbour search.
  static uint8_t rows[HMAP_CELLS];
  for (int z = 0; z < HMAP_SIZE; z++) {
    const uint8_t* w = wet_shown + (z << HMAP_SIZE_SHIFT);
    uint8_t* r = rows + (z << HMAP_SIZE_SHIFT);
    for (int x = 0; x < HMAP_SIZE; x++) r[x] = w[(x - 1) & HMAP_MASK] | w[x] | w[(x + 1) & HMAP_MASK];
  }
  for (int z = 0; z < HMAP_SIZE; z++) {
    const uint8_t* a = rows + (((z - 1) & HMAP_MASK) << HMAP_SIZE_SHIFT);
    const uint8_t* b = rows + (z << HMAP_SIZE_SHIFT);
    const uint8_t* c = rows + (((z + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT);
    uint8_t* o = wet_near + (z << HMAP_SIZE_SHIFT);
    for (int x = 0; x < HMAP_SIZE; x++) o[x] = a[x] | b[x] | c[x];
  }
}

inline float surfaceAt(int x, int z) {
  int c = cellIndex(x, z);
  if (wet_shown[c]) return level[c] - WET_DEPTH;
  float land = curh[c];
  if (!wet_near[c]) return land - WET_DEPTH;
  float sum = 0;
  int n = 0;
  for (int dz = -1; dz <= 1; dz++)
    for (int dx = -1; dx <= 1; dx++) {
      if (!dx && !dz) continue;
      int o = cellIndex(x + dx, z + dz);
      if (wet_shown[o]) {
        sum += level[o];
        n++;
      }
    }
  if (n > 0) {
    float mean = sum / float(n);
    if (!(mean > land)) return mean - WET_DEPTH;
  }
  return land - WET_DEPTH;
}

inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
}  // namespace

float waterSurfaceHeight(int x, int z) {
  // A single query refreshes the levels of its 3 x 3 neighbourhood, so it
  // sees the current curh and shown_depth without a whole-window pass.
  for (int dz = -1; dz <= 1; dz++)
    for (int dx = -1; dx <= 1; dx++) {
      int o = cellIndex(x + dx, z + dz);
      level[o] = curh[o] + shown_depth[o];
      wet_shown[o] = shown_depth[o] > WET_DEPTH;
    }
  wet_near[cellIndex(x, z)] = 1;  // let the neighbour search decide
  return surfaceAt(x, z);
}

void buildWaterVertsLow(int ox, int oz, float t, WaterVertexLow* out) {
  computeLevels();
  for (int k = 0; k < WINDOW; k++) {
    int z = oz + k;
    WaterVertexLow* v = out + k * WINDOW;
    for (int l = 0; l < WINDOW; l++) {
      int x = ox + l;
      const Water& a = pcell(x, z);
      const Water& b = wcell(x, z);
      v[l].x = int16_t(x);
      v[l].z = int16_t(z);
      v[l].h = surfaceAt(x, z);
      v[l].foam = lerp(a.foam, b.foam, t);
    }
  }
}

void buildWaterVertsHigh(int ox, int oz, float t, WaterVertexHigh* out) {
  computeLevels();
  const vec4f* prev = flow_tc[flow_cur ^ 1];
  const vec4f* cur = flow_tc[flow_cur];
  for (int k = 0; k < WINDOW; k++) {
    int z = oz + k;
    WaterVertexHigh* v = out + k * WINDOW;
    for (int l = 0; l < WINDOW; l++) {
      int x = ox + l;
      int c = cellIndex(x, z);
      const Water& a = pcell(x, z);
      const Water& b = wcell(x, z);
      v[l].x = int16_t(x);
      v[l].z = int16_t(z);
      v[l].h = surfaceAt(x, z);
      for (int i = 0; i < 4; i++) v[l].tc[i] = lerp(prev[c][i], cur[c][i], t);
      v[l].foam = lerp(a.foam, b.foam, t);
    }
  }
}

int buildWaterIndices(int ox, int oz, uint16_t* out) {
  uint16_t* p = out;
  for (int k = 0; k < WINDOW_QUADS; k++) {
    int a = 2 * k - 255;
    int rem = DISC_R2 - a * a;
    if (rem < 0) continue;
    const uint8_t* r0 = wet_either + (((oz + k) & HMAP_MASK) << HMAP_SIZE_SHIFT);
    const uint8_t* r1 = wet_either + (((oz + k + 1) & HMAP_MASK) << HMAP_SIZE_SHIFT);
    for (int l = 0; l < WINDOW_QUADS; l++) {
      int b = 2 * l - 255;
      if (b * b > rem) continue;
      int x0 = (ox + l) & HMAP_MASK, x1 = (ox + l + 1) & HMAP_MASK;
      if (!(r0[x0] | r0[x1] | r1[x0] | r1[x1])) continue;
      p = put_grid_quad(p, k * WINDOW + l, WINDOW);
    }
  }
  return int(p - out);
}

int buildUploadHeights(int first, int count, UploadPoint* out) {
  const Water* w = &water[0][0];
  for (int i = 0; i < count; i++) {
    int c = first + i;
    float h = hmap[c] + w[c].depth;
    out[i].x = int16_t(c & HMAP_MASK);
    out[i].z = int16_t(c >> HMAP_SIZE_SHIFT);
    std::memcpy(&out[i].value, &h, 4);
  }
  return count;
}

int buildUploadColors(int first, int count, bool cover, UploadPoint* out) {
  for (int i = 0; i < count; i++) {
    int c = first + i;
    out[i].x = int16_t(c & HMAP_MASK);
    out[i].z = int16_t(c >> HMAP_SIZE_SHIFT);
    out[i].value = cover ? surface[c].coverColor.u : surface[c].groundColor.u;
  }
  return count;
}

// ---- flowing water ----

void flowStep(float dt, int cx, int cz, bool high) {
  flow_counter = (flow_counter + 1) % FLOW_PHASE_STEPS;
  if (!high) return;
  const vec4f* prev = flow_tc[flow_cur];
  vec4f* next = flow_tc[flow_cur ^ 1];
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      const Water& w = water[z][x];
      float fx = (wcell(x - 1, z).flowX + w.flowX) * 0.5f;
      float fz = (wcell(x, z - 1).flowZ + w.flowZ) * 0.5f;
      float sx = float(x) - fx * dt, sz = float(z) - fz * dt;
      if (!std::isfinite(sx) || !std::isfinite(sz)) {
        sx = float(x);
        sz = float(z);
      }
      V4 s = bilinear(sx, sz, [&](int ix, int iz) {
        const vec4f& c = prev[cellIndex(ix, iz)];
        return V4{{c.x, c.y, c.z, c.w}};
      });
      next[cellIndex(x, z)] = vec4f(s.v[0], s.v[1], s.v[2], s.v[3]);
    }
  flow_cur ^= 1;
  if (flow_counter == FLOW_PHASE_STEPS / 2) resetPhase(0, cx, cz);
  if (flow_counter == 0) resetPhase(1, cx, cz);
}

float flowPhaseWeight(float t) {
  return 1.f - std::fabs(float(flow_counter) + t - float(FLOW_PHASE_STEPS / 2)) * 0.05f;
}

int flowPhaseCounter() { return flow_counter; }

void resetFlow() {
  flow_counter = 0;
  flow_cur = 0;
  flow_rnd = FLOW_RND_START;
  std::memset(flow_tc, 0, sizeof(flow_tc));
}

const vec4f* flowField(bool current) { return flow_tc[current ? flow_cur : flow_cur ^ 1]; }

}  // namespace HeightmapRenderer
