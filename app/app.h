#pragma once
// The game's per-step update and per-frame render, and subsystem start-up
// and shutdown in their fixed order.
void app_init();
void app_close();
void app_update(float dt);
// One frame showing fraction k (0..1) of the step; the device layer calls it.
void app_render(float k);
// The once-a-second checks for changed shaders, module and scripts.
void app_hot_reload_checks();
// Called by the device after every successful resize.
void app_after_resize();

#include "platform/math_types.h"
// The screen flash colour (alpha fades out over about a second).
extern vec4f cur_frame_color;
extern vec4f prev_frame_color;
