#pragma once
// Services of the game's shell that the game-object module calls back: the
// camera's frame matrices and fly control, and the step clock. The shell
// defines them and includes this header where it declares its own.
#include "platform/math_types.h"

extern Matrix44 cur_view_itm;  // camera matrix: rows right, up, forward, position
extern Matrix44 cur_view_tm;   // view matrix (its inverse)
extern Matrix44 cur_glob_tm;   // view x projection
extern vec4f cur_glob_rk;      // per-axis bound for sphere visibility tests

// Turns the camera: yaw 0 looks along +z, negative pitch looks down (radians).
void camera_set_angles(float yaw, float pitch);
// Fly control back to rest; the local player is placed at the camera.
void reset_fly_control();
// Starts the current step's clock again so that a long operation inside the
// step (world generation) is not counted in its duration.
void reset_update_time();

// Colour added over the whole frame, fading by itself: flashes of hits and blasts.
extern vec4f cur_frame_color;
