#pragma once
// The game's deterministic random generator and the coherent noise built on
// it: gradient noise in one and two dimensions, their fractal sums and the
// cellular (Voronoi) feature-point queries. All state is global and every
// draw advances game_rnd_seed by exactly one step.
#include <cstdint>

#include "platform/globals.h"
#include "world/ramps.h"
#include "world/vecmath.h"

extern uint8_t noise_perm[512];  // permutation of 0..255, repeated in 256..511
extern float noise_rnd[512];     // feature point k = (noise_rnd[2k], noise_rnd[2k+1]), in [0, 1)

constexpr uint64_t RND_MULTIPLIER = 0x5851F42D4C957F2DULL;
constexpr uint64_t RND_INCREMENT = 0x14057B7EF767814FULL;

// One generator step; returns the high 32 bits of the new state.
inline uint32_t rnd_step(uint64_t& state) {
  state = state * RND_MULTIPLIER + RND_INCREMENT;
  return uint32_t(state >> 32);
}
inline uint32_t rnd_step() { return rnd_step(game_rnd_seed); }

// While one lives, every draw advances `own` instead of the game's sequence.
// Effects and anything else only seen use one so that how much is drawn,
// how often and at which quality never changes what the game draws next.
class OwnRandomSequence {
 public:
  explicit OwnRandomSequence(uint64_t& own) : own_(own), game_(game_rnd_seed) { game_rnd_seed = own; }
  ~OwnRandomSequence() {
    own_ = game_rnd_seed;
    game_rnd_seed = game_;
  }
  OwnRandomSequence(const OwnRandomSequence&) = delete;
  OwnRandomSequence& operator=(const OwnRandomSequence&) = delete;

 private:
  uint64_t& own_;
  uint64_t game_;
};

// u * 2^-32 as a float in [0, 1). The float product rounds the top 128 values
// of u up to 1.0; those are held at the largest float below 1 so that every
// unit draw stays inside its half-open range.
inline float rnd_unit(uint32_t u) {
  float f = float(u) * 0x1p-32f;
  const float below_one = 0x1.fffffep-1f;
  return f < below_one ? f : below_one;
}

int hmrnd();     // random cell coordinate 0..255
float hmfrnd();  // [0, 256)
float hmsrnd();  // [-128, 128)
int irnd();      // 0..0x7FFFFFFF
float frnd();    // [0, 1)
float srnd();    // [-1, 1)
float rndf(float a, float b);
// Sets the state to n sign-extended to 64 bits; no draw. Takes 64 bits so a
// logged seed can be set back in full.
void set_rnd_seed(int64_t n);
// Seeds from the platform's reference time; no draw.
void randomize_rnd_seed();
// Signed offset of x on the 256-cell torus, in (-128, 128].
float wrap(float x);

// Shuffles noise_perm and refills noise_rnd from the generator (1536 draws).
void reseed_noise();

float noise1(float x);
// Periodic with period tile (a power of two, 1..256) in both directions.
float tiled_noise2(float x, float y, int tile);
float fractal_noise1(float x, int octaves, const FloatRamp* ramp, float gain);
float tiled_fractal_noise2(float x, float y, int tile, int octaves, const FloatRamp* ramp, float gain);

int get_noise_hash1(int i);
int get_noise_hash2(int x, int y);

// The nine feature points around (x, y), period 2^tileShift, as offsets from
// (x, y) in row-major order of their cells; each output only when given.
void tiled_voronoi_noise2_all9(float x, float y, int tileShift, Point2* points, int* ids);
// The four nearest of the same nine, by squared distance, nearest first.
void tiled_voronoi_noise2_near4(float x, float y, int tileShift, float* dist, int* ids, Point2* points);

// Visitor of the map in square cells.
struct IWalkMapGrid {
  virtual ~IWalkMapGrid() = default;
  virtual void on_map_grid_walk(float x, float z, float size) = 0;
};
// Visits the map row by row in cells of 2^level map cells (level < 0: fractions).
void walk_map_grid(int level, IWalkMapGrid& walker);

struct IPointSink {
  virtual ~IPointSink() = default;
  virtual void add_point(float x, float z) = 0;
};

// Makes n random points inside every visited cell (two draws per point).
struct GenMapCellPoints : IWalkMapGrid {
  IPointSink* sink;
  int n;
  GenMapCellPoints(IPointSink* s, int count) : sink(s), n(count) {}
  void on_map_grid_walk(float x, float z, float size) override;
};
