#pragma once
// The high-quality scene: a geometry pass into three targets, object
// shadows, a light pass, the horizon and sky, and the final composition
// into the scene image.
void init_deferred();   // the light and composition shaders
void close_deferred();
void render_scene_deferred();
// Whether the deferred shaders are loaded (high quality at start-up).
bool deferred_ready();

// The light and final passes on their own (the benchmark times them); they
// expect the geometry textures bound and the stencil marking surfaces.
void render_deferred_light_pass();
void render_deferred_final_pass();

// Vertex registers 17-19: the world-space ray to the far distance is
// x * r17 + y * r18 + r19 for a clip-space point (x, y).
void set_far_ray_consts();
