#pragma once
// One frame of the scene: everything is drawn into the scene image, then the
// post pass ends on the back buffer. Stencil bit 1 marks land, objects and
// water, value 2 the horizon ring; the sky fills what stays 0.
#include "platform/math_types.h"
#include "render/frame_view.h"

constexpr int STENCIL_SURFACE = 1;
constexpr int STENCIL_HORIZON = 2;
constexpr unsigned WIREFRAME_CLEAR = 0xb4b4b4b4u;

// Hooks for the parts drawn between the scene's own passes; unset hooks are
// skipped (the game-object module, particles and trails fill them).
struct SceneHooks {
  void (*renderObjects)() = nullptr;      // objects, after the land
  void (*renderObjectShadows)() = nullptr; // object shadow balls (deferred path)
  void (*renderDebugObjects)() = nullptr; // debug drawing of the objects
  // Particles and trails: seconds since the last simulation step and the
  // interpolation factor.
  void (*renderEffects)(float elapsed, float t) = nullptr;
};
extern SceneHooks scene_hooks;

// Takes the frame's view, brings sky and land up to date for its step
// fraction, draws the scene by the path of gfx_quality, then the post pass
// with the interpolated screen flash.
void render_scene_frame(const FrameView& view, const vec4f& frame_color);

// The scene passes themselves, drawing into the scene image.
void render_scene_forward();
// The high-quality path. Until the deferred pipeline exists it draws the
// forward path with the horizon ring added.
void render_scene_high_quality();

// Fog flag, sun direction and sky table as vertex registers 5, 30, 31-42.
void set_scene_forward_consts();
// What both paths draw last over the finished scene: depth on, the objects'
// debug drawing, particles and trails.
void render_scene_additions();
