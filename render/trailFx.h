#pragma once
// Ribbon trails behind moving objects: a fixed table of trails, each a ring
// of up to 16 points extended at its head, moved by the points' own
// velocities, kept continuous across the seam of the torus world, and drawn
// as a camera-facing head cap and a ribbon through the points.
#include <cstdint>

#include "platform/math_types.h"

constexpr int MAX_TRAILS = 4000;
constexpr int TRAIL_POINTS = 16;
// Vertices one trail point adds to the effect pass: the cap and one ribbon
// segment per older point are six vertices each.
constexpr int TRAIL_VERTICES_PER_POINT = 6;

struct TrailPoint {
  vec4f pos;
  vec4f prevPos;  // position before the last update
  vec4f side;     // half-width offset of the ribbon edges
  vec4f vel;
  D3dColor color;
};

struct Trail {
  TrailPoint points[TRAIL_POINTS];
  int32_t count;     // live points; the trail is alive while count > 0
  int32_t head;      // ring index of the newest point
  int32_t nextFree;  // next handle in the free list, -1 ends it
  float width;       // half size of the head cap
  D3dColor color;    // colour of points added from now on
  bool stopping;

  bool isAlive() const { return count > 0; }
  void addPoint(const vec4f& pos, const vec4f& vel, const vec4f& side);
  void update(float dt);
};

struct TrailVertex {
  float x, y, z;
  uint32_t color;
  float u, v;
};
static_assert(sizeof(TrailVertex) == 24, "trail vertices are 24 bytes");

extern Trail trails[MAX_TRAILS];
extern int32_t trail_free_head;

// Every trail free and empty, chained in handle order.
void reset_trails();
void update_trails(float dt);
int live_trail_count();

// The vertices of an alive trail (count x 6 of them) at interpolation
// factor t, moved to its copy nearest `cam`; right and up are the camera's
// axes already scaled by nothing (the cap scales them by the width).
// Returns the number written.
int write_trail_vertices(const Trail& tr, float t, const vec4f& cam, const vec4f& right, const vec4f& up,
                         TrailVertex* out);

// Exported for the game-object module. Handles outside 0..3999 are ignored.
int add_trail_fx(const vec4f& pos, const vec4f& vel, const vec4f& side, float width, D3dColor color);
void add_trail_point(int handle, const vec4f& pos, const vec4f& vel, const vec4f& side);
void set_trail_color(int handle, D3dColor color);
void stop_trail_fx(int handle);
void kill_trail_fx(int handle);
