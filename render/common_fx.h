#pragma once
// The effects frame shared by particles and trails: their GPU resources,
// the per-update step, the reset, and the pass that draws both into two
// accumulation images and composites them over the scene image.
#include "platform/math_types.h"

// Resets the pools and trails and creates the textures, shaders, vertex
// declarations and quad buffers (fatal when the buffers cannot be made).
void init_common_fx();
void close_common_fx();
// One simulation update: blend pool, glow pool, then every trail.
void update_common_fx(float dt);
// Kills every particle and every trail.
void reset_common_fx();
// At the end of the scene pass, drawing into the scene image: `elapsed`
// seconds since the last update, `t` the interpolation factor. `camera` is
// the inverse view matrix (rows right, up, forward, position).
void render_common_fx(float elapsed, float t, const Matrix44& camera);
