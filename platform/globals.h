#pragma once
// Global rendering settings and window state shared by every subsystem.
// They live in the platform library so that tests and both programs see one
// definition.
#include <cstdint>

extern bool use_fog;
extern bool use_postfx;
extern bool use_ppaa;
extern bool use_obj_shadows;
extern int gfx_quality;                 // index into gfx_quality_name
extern const char* gfx_quality_name[];  // "low", "high", nullptr
extern int land_shadow_quality;         // 0, 1 or 2
extern bool use_vsync;
extern bool start_fullscreen;
extern int req_width, req_height;  // requested client size, 0 = not given
extern bool show_fps;
extern bool use_wireframe;
extern bool dev_mode;
extern uint64_t game_rnd_seed;
extern char app_path[260];  // directory of the executable, with trailing '/'
extern int d3d_wd, d3d_ht;  // back-buffer size, set by the device layer

extern bool is_fullscreen;   // current mode, kept by the device layer
extern bool app_active;      // window active and not minimised
extern bool quit_requested;  // the window was destroyed
extern bool hide_cursor;     // set by the camera and the spell UI
extern int ui_scale_percent;  // 75..200: the text and GUI scale the player chose
