#pragma once
// The view the renderer draws from, handed down by the shell: the camera's
// matrices and the fraction of the simulation step this frame shows. The
// renderer never reads the shell's camera; the shell sets the view after
// each camera step and before each frame.
#include "platform/math_types.h"

struct FrameView {
  Matrix44 itm = Matrix44::identity();      // camera matrix: rows right, up, forward, position
  Matrix44 tm = Matrix44::identity();       // view matrix (its inverse)
  Matrix44 glob_tm = Matrix44::identity();  // view x projection
  vec4f glob_rk{0, 0, 0, 0};                // per-axis bound for sphere visibility tests
  float k = 0;                              // fraction of the step since the last one, 0..1

  const vec4f& cameraPos() const { return itm.row[3]; }
};

// The view of the frame being drawn (or, between frames, of the last step).
const FrameView& render_view();
void set_render_view(const FrameView& view);
// After a simulation step only the camera matrix is new.
void set_render_view_camera(const Matrix44& itm);
