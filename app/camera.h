#pragma once
// The one camera: its state, the game camera and the free-fly camera of
// developer mode, interpolation between steps and the frame matrices.
#include "platform/math_types.h"
#include "render/frame_view.h"

struct CameraState {
  vec4f pos{0, 0, 0, 1}, prev_pos{0, 0, 0, 1};
  float yaw = 0, pitch = 0;
  float roll = 0, prev_roll = 0;
  float zoom = 1, prev_zoom = 1;
  float roll_gain = 0, prev_roll_gain = 0;
  float fwd_tap_timer = 0, back_tap_timer = 0;
  int dash = 0;  // -1 backward, 0 none, +1 forward
  bool mouse_centred = false;
};
extern CameraState camera;
// The mouse look's options: a factor on the turn per pixel, and the up-down
// turn reversed.
extern float mouse_sensitivity;
extern bool invert_mouse;

constexpr float CAMERA_FOV = 1.2915436464758039f;  // 74 degrees
constexpr float CAMERA_ZNEAR = 0.1f, CAMERA_ZFAR = 512.f;
constexpr float CAMERA_MAX_PITCH = 1.5707964f;

// The frame matrices and reset_fly_control() are declared with the services
// the module calls back.
#include "objects/shell_exports.h"

// The local player as the game camera sees it; installed by the game-object
// host. `move` asks the module to move the player, `eye` returns its eye.
struct CameraPlayer {
  virtual ~CameraPlayer() = default;
  virtual void move(float dt, float speed, const vec4f& velocity, const Matrix44& cam, int dash) = 0;
  virtual vec4f eye() = 0;
  virtual void placeAt(const vec4f& pos) = 0;
};
void set_camera_player(CameraPlayer* player);
// Whether the spell UI claims the mouse this frame (it does while Ctrl is held).
using MouseClaimQuery = bool (*)();
void set_spell_ui_mouse_claim(MouseClaimQuery query);

void set_camera_pos(const vec4f& pos);
void camera_save_previous();
// Gives the mouse back (the menu shows the pointer); the look takes it again
// from the centre.
void release_camera_mouse();

Matrix44 camera_matrix(float f);
void game_camera_step(float dt);
void free_fly_step(float dt);
void game_camera_mouse_look(float k);
void free_fly_mouse_look(float k);
float camera_fov(float k);  // field of view at fraction k
// Computes the frame matrices at fraction k, sets the device transforms and
// writes vertex constants 0-3 (view x projection) and 4 (camera position).
void set_camera_frame(float k);
// The frame matrices set_camera_frame computed, with fraction k, as the
// renderer takes them.
FrameView camera_frame_view(float k);

Matrix44 inverse44(const Matrix44& m);
