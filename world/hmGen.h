#pragma once
// Terrain generators: additive noise layers, subdivision noise, Voronoi hills
// and plateaus, a fault cliff, a crater and house footprints. Each works in
// place on a 256 x 256 height array (hmap unless a pointer is taken) and some
// on the surface colours and types. The ones that draw random numbers do so
// in a fixed number and order, so a world is reproducible from its seed.
#include "world/heightmap.h"
#include "world/ramps.h"

namespace HeightmapData {

// House templates: 0 castle, 1 tower, 2 wall along z, 3 wall along x.
struct HouseTemplate {
  int w, d;                   // size in tiles
  const char* const* heights;  // d + 1 rows of w + 1 vertex characters, largest z first
  const char* const* tiles;    // d rows of w tile letters, largest z first
  const char* const* orients;  // d rows of w orientation digits
};
constexpr int NUM_HOUSE_TEMPLATES = 4;
extern const HouseTemplate house_templates[NUM_HOUSE_TEMPLATES];
constexpr float HOUSE_HEIGHT_SCALE = 6.75f;

// type -1 is the castle; any other type picks template (unsigned)type % 3 + 1.
void placeHouse(int x, int z, int type, float* heights, bool keepMean);

// Square-square subdivision noise over the whole torus into out (87376 draws).
void makeFastNoise(float* out, float amplitude, float persistence);
// hmap += subdivision noise scaled to min_ht..max_ht; optional ramp colouring.
void addFastNoise(float min_ht, float max_ht, const ColorRamp* ramp, int groundType, int alpha, float persistence);
// Lowers the ground into a crater; never raises a cell.
void genCrater(Point2 centre, float radius, float steepness, float* heights);
// A noisy fault cliff inside an ellipse around centre (1 draw).
void genFault(Point2 centre, Point2 direction, float height, float balance, float noiseAmp, const ColorRamp* ramp,
              int groundType, int alpha, float* heights);
void addSimplexNoise(float min_ht, float max_ht, int tile, int octaves, float gain);
// Round hills around the Voronoi feature points (256 draws).
void addVoronoiHills(int tile, float min_ht, float max_ht, float radius);
// Plateaus on Voronoi cells with noisy, blended borders (256 draws).
void genVoronoiFaults(int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale, int octaves,
                      float sharpness);

// The same two layers written into out instead of added to hmap (for whole-map
// masks); they draw exactly as the hmap versions do.
void fillVoronoiHills(float* out, int tile, float min_ht, float max_ht, float radius);
void fillVoronoiFaults(float* out, int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale, int octaves,
                       float sharpness);

// Blends a surface cell's ground colour toward the ramp's colour at t (alpha
// 0..255 replaces the ramp's alpha byte; the ramp's own alpha is the weight).
void paintRampColor(Surface& s, const ColorRamp& ramp, float t, int alpha);

}  // namespace HeightmapData
