#pragma once
// Proximity bins: a spatial hash over the wrap-around ground plane. Every
// placed object stands in exactly one bin, the smallest whose cell holds its
// whole ground rectangle; a query lists the non-empty bins that can hold
// objects overlapping a rectangle. Rectangles are (min x, min z, max x, max z).
#include "containers/dyn_array.h"
#include "platform/math_types.h"

struct GameObj;

constexpr int PROX_FINE_CELLS = 32;    // per axis, 8 units each
constexpr int PROX_COARSE_CELLS = 16;  // per axis, 16 units each, shifted by 4
constexpr int PROX_COARSE_FIRST = PROX_FINE_CELLS * PROX_FINE_CELLS;                     // 1024
constexpr int PROX_OVERFLOW_BIN = PROX_COARSE_FIRST + PROX_COARSE_CELLS * PROX_COARSE_CELLS;  // 1280
constexpr int PROX_BIN_COUNT = PROX_OVERFLOW_BIN + 1;

struct ProximityBin : DynArray<GameObj*> {};
extern ProximityBin proximity[PROX_BIN_COUNT];

// Moves the object into the bin its rectangle selects.
void update_proximity(GameObj* obj, const vec4f& rect);
// Takes the object out of its bin; its bin index becomes -1.
void remove_proximity_object(GameObj* obj);
// Frees every bin's storage (at exit, once the objects are gone).
void free_proximity_bins();
// The bin a rectangle selects (fine, coarse or overflow).
int proximity_bin_for(const vec4f& rect);

struct ProximityQuery {
  DynArray<int> bins;
  int binCursor = 0;
  int itemCursor = -1;

  // Lists the non-empty bins for the rectangle; `skipOverflow` leaves out
  // the overflow bin. Resets both cursors.
  void proximityQuery(const vec4f& rect, bool skipOverflow);
  // Steps the cursors to the next object of the listed bins; null at the end.
  GameObj* next();
};
