// Proximity bins: fine 8-unit cells, coarse 16-unit cells shifted by 4 units
// (so that a small object straddling a fine border usually fits a coarse
// cell), and one overflow bin for everything larger.
#include "objects/proximity.h"

#include <cmath>

#include "objects/game_objects.h"

ProximityBin proximity[PROX_BIN_COUNT];

namespace {
// Subtracting just under one half and rounding to nearest (ties to even)
// gives the floor for every float the game meets, negative ones included.
constexpr float FLOOR_BIAS = 0.49999991f;

int fine_cell(float v) { return int(std::nearbyintf(v / 8.f - FLOOR_BIAS)); }
int coarse_cell(float v) { return int(std::nearbyintf((v + 4.f) / 16.f - FLOOR_BIAS)); }

// The low bits of the signed cell number: both grids repeat every 256 units.
int fine_bin(int cx, int cz) { return (cz & (PROX_FINE_CELLS - 1)) * PROX_FINE_CELLS + (cx & (PROX_FINE_CELLS - 1)); }
int coarse_bin(int cx, int cz) {
  return PROX_COARSE_FIRST + (cz & (PROX_COARSE_CELLS - 1)) * PROX_COARSE_CELLS + (cx & (PROX_COARSE_CELLS - 1));
}

// Swap-removes the object from the bin; order is not kept.
void take_out_of_bin(ProximityBin& bin, GameObj* obj) {
  for (int i = 0; i < bin.count; i++)
    if (bin.data[i] == obj) {
      bin.data[i] = bin.data[bin.count - 1];
      bin.count--;
      return;
    }
}
}  // namespace

void free_proximity_bins() {
  for (ProximityBin& b : proximity) b.reset();
}

int proximity_bin_for(const vec4f& r) {
  int x0 = fine_cell(r.x), z0 = fine_cell(r.y), x1 = fine_cell(r.z), z1 = fine_cell(r.w);
  if (x0 == x1 && z0 == z1) return fine_bin(x0, z0);
  x0 = coarse_cell(r.x), z0 = coarse_cell(r.y), x1 = coarse_cell(r.z), z1 = coarse_cell(r.w);
  if (x0 == x1 && z0 == z1) return coarse_bin(x0, z0);
  return PROX_OVERFLOW_BIN;
}

void update_proximity(GameObj* obj, const vec4f& rect) {
  int bin = proximity_bin_for(rect);
  if (bin == obj->proximityBin) return;
  // An index outside the bins (never placed, or overwritten) has nothing to remove.
  if (obj->proximityBin >= 0 && obj->proximityBin < PROX_BIN_COUNT) take_out_of_bin(proximity[obj->proximityBin], obj);
  proximity[bin].push_back(obj);
  obj->proximityBin = bin;
}

void remove_proximity_object(GameObj* obj) {
  if (!obj) return;
  if (obj->proximityBin < 0 || obj->proximityBin >= PROX_BIN_COUNT) return;
  take_out_of_bin(proximity[obj->proximityBin], obj);
  obj->proximityBin = -1;
}

void ProximityQuery::proximityQuery(const vec4f& r, bool skipOverflow) {
  bins.clear();
  int x0 = fine_cell(r.x), z0 = fine_cell(r.y), x1 = fine_cell(r.z), z1 = fine_cell(r.w);
  for (int cz = z0; cz <= z1; cz++)
    for (int cx = x0; cx <= x1; cx++) {
      int b = fine_bin(cx, cz);
      if (!proximity[b].empty()) bins.push_back(b);
    }
  x0 = coarse_cell(r.x), z0 = coarse_cell(r.y), x1 = coarse_cell(r.z), z1 = coarse_cell(r.w);
  for (int cz = z0; cz <= z1; cz++)
    for (int cx = x0; cx <= x1; cx++) {
      int b = coarse_bin(cx, cz);
      if (!proximity[b].empty()) bins.push_back(b);
    }
  if (!skipOverflow && !proximity[PROX_OVERFLOW_BIN].empty()) bins.push_back(PROX_OVERFLOW_BIN);
  binCursor = 0;
  itemCursor = -1;
}

GameObj* ProximityQuery::next() {
  while (binCursor < bins.count) {
    const ProximityBin& bin = proximity[bins[binCursor]];
    if (++itemCursor < bin.count) return bin.data[itemCursor];
    binCursor++;
    itemCursor = -1;
  }
  return nullptr;
}
