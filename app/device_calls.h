#pragma once
// The device-layer entry points the shell drives.
struct SDL_Window;

void d3d_prepare_window_attributes();
bool init_d3d(SDL_Window* window, int width, int height);
void close_d3d();
bool resize_d3d(int width, int height, bool fullscreen, bool force);
bool check_d3d_device();
bool render_d3d_frame(float t);
void present_frame();
bool save_backbuffer_png(const char* path);
