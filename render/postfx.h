#pragma once
// The off-screen images of a frame and the post pass: the scene image, the
// four helper textures A-D shared by the deferred path, MLAA and the colour
// grade, and the passes that end on the back buffer.
#include "platform/math_types.h"

struct Texture;

// One simulation step of the screen flash: the previous value takes the
// current one, colours are clamped at 0 and the alpha fades out
// (a' = max(0, a (1 - dt/2) - dt/2), gone after 2 ln 2 s from 1).
void decay_frame_color(vec4f& prev, vec4f& cur, float dt);

extern Texture* scene_image;
// A: MLAA edges, post-effect intermediate, geometry target 2.
// B: MLAA search ping-pong, geometry target 1 (swaps with the scene image).
// C: light buffer, MLAA search results.  D: geometry target 0, MLAA search.
extern Texture* postfx_tex[4];
enum { POSTFX_A, POSTFX_B, POSTFX_C, POSTFX_D };

void create_scene_image_texture();  // fatal when it cannot be made
void release_scene_image_texture();
void init_postfx();
void close_postfx();

// The full-screen texture-coordinate constant of a target size.
void set_fullscreen_tc_const(int reg, int width, int height);

// MLAA on the scene image: afterwards the scene image is anti-aliased.
void render_mlaa();
// MLAA when enabled, then the colour grade or a plain copy to the back
// buffer with the screen flash `frame_color` (r, g, b, a).
void render_post_pass(const float frame_color[4]);
