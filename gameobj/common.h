// What several of the module's sources need about the world: the height of
// the land or of the surface under a point, distances across the world's
// wrap, the castle, and making an object that stands somewhere.
#pragma once
#include "classes.h"
#include "object_registry.h"

// Land height under a point (no water), between cell corners.
float land_height(float x, float z);
// Land or water surface under a point, between cell corners.
float surface_at(float x, float z);
// Water depth of the cell under a point.
float water_depth_at(float x, float z);
// The shortest way from a to b on the wrap-around ground plane (y as is).
vec4f wrapped_delta(const vec4f& a, const vec4f& b);
// Distance on the ground plane across the world's wrap.
float distance_xz(const vec4f& a, const vec4f& b);
// A coordinate brought back into 0..256.
float wrap_coord(float v);
// The player's castle, or null before the world script placed one.
CastleObject* the_castle();

// Makes an object of class T at pos and puts it into its proximity bin.
template <typename T>
T* spawn_at(DynArray<T*>& list, const vec4f& pos) {
  T* obj = spawn(list);
  obj->pos = vec4f(pos.x, pos.y, pos.z, 1);
  update_proximity(obj, obj->boundRect());
  return obj;
}
