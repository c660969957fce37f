#include "platform/globals.h"

bool use_fog = true;
bool use_postfx = true;
bool use_ppaa = false;
bool use_obj_shadows = true;
int gfx_quality = 1;
const char* gfx_quality_name[] = {"low", "high", nullptr};
int land_shadow_quality = 2;
bool use_vsync = true;
bool start_fullscreen = false;
int req_width = 0, req_height = 0;
bool show_fps = false;
bool use_wireframe = false;
bool dev_mode = false;
uint64_t game_rnd_seed = 0;
char app_path[260] = "";
int d3d_wd = 0, d3d_ht = 0;

bool is_fullscreen = false;
bool app_active = false;
bool quit_requested = false;
int ui_scale_percent = 100;
bool hide_cursor = false;
