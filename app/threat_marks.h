#pragma once
// What tells a player where the danger is when he does not see it: an arrow
// at the screen's edge toward each wyvern near him that is off screen (red
// while it breathes fire), and an orange tint along the edge on the side a
// wyvern's breath comes from, which leaves the middle of the screen clear.
#include "platform/math_types.h"

// Wyverns farther than this from the eye get no arrow.
constexpr float THREAT_ARROW_RANGE = 60.f;
// The breath tint's opacity at the screen's edge; it fades to nothing
// before the middle of the screen.
constexpr float BREATH_TINT_EDGE_ALPHA = 0.35f;

// Where a world point lies as seen through the view-projection matrix: a
// direction from the screen's centre in normalised units (x right, y up)
// and whether it is on screen. Points behind the eye point the other way.
struct ScreenBearing {
  float x, y;
  bool onScreen;
};
ScreenBearing screen_bearing(const vec4f& point, const Matrix44& view_proj);

// Draws both in the text pass from the module's view of the world.
void draw_threat_marks(const vec4f& eye, const Matrix44& view_proj);
