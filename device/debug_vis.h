#pragma once
// Debug drawing: coloured lines, triangles, boxes and crosses in world
// space through the shared dynamic buffer, between start and end.
#include "platform/math_types.h"

void init_debug_vis();
void close_debug_vis();
void start_draw_debug_vis();
void end_draw_debug_vis();
void draw_debug_vis_tri(const vec4f& a, const vec4f& b, const vec4f& c, D3dColor ca, D3dColor cb, D3dColor cc);
void draw_debug_vis_line(const vec4f& a, const vec4f& b, D3dColor ca, D3dColor cb);
void draw_debug_vis_solid_box(const vec4f& a, const vec4f& b, D3dColor color, float grow);
void draw_debug_vis_cube(const vec4f& centre, float half_size, D3dColor color);
void draw_debug_vis_wire_box(const vec4f& a, const vec4f& b, D3dColor color);
void draw_debug_vis_cross_point(const vec4f& p, float size, D3dColor color);
