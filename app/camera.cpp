// Camera steering, interpolation and frame matrices.
#include "app/camera.h"

#include <cmath>

#include "platform/globals.h"
#include "platform/input.h"
#include "platform/key_bindings.h"
#include "platform/vk_codes.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"

CameraState camera;
float mouse_sensitivity = 1;
bool invert_mouse = false;
Matrix44 cur_view_itm = Matrix44::identity();
Matrix44 cur_view_tm = Matrix44::identity();
Matrix44 cur_glob_tm = Matrix44::identity();
vec4f cur_glob_rk;

namespace {
constexpr float TWO_PI = 6.283185307179586f;
constexpr float FLY_SPEED = 5.55f, FLY_SHIFT = 6.f, MOUSE_SENS = 0.002f;
constexpr float ZOOM_LIMIT = 8.f, ZOOM_SPEED = 20.f;
constexpr float GAME_SPEED = 8.f, GAME_BOOST = 2.f, TAP_WINDOW = 0.2f;
constexpr float BANKING = 0.2f, ROLL_DECAY = 4.f;

CameraPlayer* player = nullptr;
MouseClaimQuery spell_ui_claims_mouse = nullptr;

vec4f add(vec4f a, vec4f b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
vec4f scale(vec4f a, float s) { return {a.x * s, a.y * s, a.z * s, a.w * s}; }
vec4f row3(const Matrix44& m, int r) { return {m.row[r].x, m.row[r].y, m.row[r].z, 0}; }

// Into (-128, 128]: the world wraps every 256 units in x and z.
float wrap_delta(float d) {
  d = std::fmod(d, 256.f);
  if (d > 128.f) d -= 256.f;
  if (d <= -128.f) d += 256.f;
  return d;
}

float clamp_pitch(float p) { return p > CAMERA_MAX_PITCH ? CAMERA_MAX_PITCH : (p < -CAMERA_MAX_PITCH ? -CAMERA_MAX_PITCH : p); }

float wrap_yaw(float y) {
  if (y >= TWO_PI) y -= TWO_PI;
  if (y <= -TWO_PI) y += TWO_PI;
  return y;
}

int axis(bool neg, bool pos) { return (pos ? 1 : 0) - (neg ? 1 : 0); }
bool held(int vk) { return getKeyState(vk); }

void centre_mouse() { setMousePos(float(d3d_wd / 2), float(d3d_ht / 2)); }

// Mouse look shared by both cameras; returns false when the mouse is not ours.
bool mouse_delta(float& dx, float& dy) {
  float mx, my;
  getMousePos(&mx, &my);
  dx = mx - float(d3d_wd / 2);
  dy = my - float(d3d_ht / 2);
  return camera.mouse_centred;
}

void take_mouse() {
  centre_mouse();
  camera.mouse_centred = true;
  hide_cursor = true;
}

void release_mouse(bool clear_hide) {
  camera.mouse_centred = false;
  if (clear_hide) hide_cursor = false;
}

void update_dash(bool back_pressed, bool fwd_pressed) {
  if (back_pressed) {
    camera.dash = camera.back_tap_timer > 0 ? -1 : 0;
    camera.back_tap_timer = TAP_WINDOW;
  }
  if (fwd_pressed) {
    camera.dash = camera.fwd_tap_timer > 0 ? 1 : 0;
    camera.fwd_tap_timer = TAP_WINDOW;
  }
}
}  // namespace

void set_camera_player(CameraPlayer* p) { player = p; }
void set_spell_ui_mouse_claim(MouseClaimQuery q) { spell_ui_claims_mouse = q; }

void set_camera_pos(const vec4f& pos) {
  camera.pos = pos;
  camera.prev_pos = pos;
}

void camera_set_angles(float yaw, float pitch) {
  camera.yaw = wrap_yaw(yaw);
  camera.pitch = clamp_pitch(pitch);
}

void reset_fly_control() {
  camera.zoom = camera.prev_zoom = 1;
  camera.fwd_tap_timer = camera.back_tap_timer = 0;
  camera.dash = 0;
  camera.roll_gain = camera.prev_roll_gain = 0;
  if (player) player->placeAt(camera.pos);
}

void release_camera_mouse() {
  hold_pointer(false);
  release_mouse(true);
}

void camera_save_previous() {
  camera.prev_pos = camera.pos;
  camera.prev_roll = camera.roll;
  camera.prev_roll_gain = camera.roll_gain;
  camera.prev_zoom = camera.zoom;
}

Matrix44 camera_matrix(float f) {
  float r = camera.prev_roll + (camera.roll - camera.prev_roll) * f;
  float y = camera.yaw, p = camera.pitch;
  vec4f right0{std::cos(y), 0, std::sin(y), 0};
  vec4f up0{std::sin(p) * std::sin(y), std::cos(p), -std::sin(p) * std::cos(y), 0};
  vec4f fwd{-std::cos(p) * std::sin(y), std::sin(p), std::cos(p) * std::cos(y), 0};
  Matrix44 m;
  m.row[0] = add(scale(right0, std::cos(r)), scale(up0, -std::sin(r)));
  m.row[1] = add(scale(right0, std::sin(r)), scale(up0, std::cos(r)));
  m.row[2] = fwd;
  vec4f d{wrap_delta(camera.pos.x - camera.prev_pos.x), camera.pos.y - camera.prev_pos.y,
          wrap_delta(camera.pos.z - camera.prev_pos.z), 0};
  m.row[3] = add(camera.prev_pos, scale(d, f));
  m.row[3].w = 1;
  return m;
}

void game_camera_step(float dt) {
  camera.fwd_tap_timer = std::fmax(0.f, camera.fwd_tap_timer - dt);
  camera.back_tap_timer = std::fmax(0.f, camera.back_tap_timer - dt);
  camera.roll *= std::fmax(0.f, 1.f - ROLL_DECAY * dt);
  if (!app_active) {
    release_mouse(true);
    return;
  }
  update_dash(action_pressed(KEY_BACK), action_pressed(KEY_FORWARD));
  int strafe = axis(action_held(KEY_LEFT), action_held(KEY_RIGHT));
  int forward = axis(action_held(KEY_BACK), action_held(KEY_FORWARD)) + camera.dash;
  int vertical = axis(action_held(KEY_DOWN), action_held(KEY_UP));
  float speed = GAME_SPEED * dt;
  if (camera.dash != 0 || action_held(KEY_BOOST)) speed *= GAME_BOOST;
  Matrix44 cam = camera_matrix(0);
  vec4f dir = add(add(scale(row3(cam, 0), float(strafe)), scale(row3(cam, 2), float(forward))),
                  vec4f(0, float(vertical), 0, 0));
  float len = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
  vec4f vel = len > 0 ? scale(dir, speed / len) : vec4f(0, 0, 0, 0);
  if (player) {
    player->move(dt, speed, vel, cam, camera.dash);
    vec4f eye = player->eye();
    camera.pos = vec4f(eye.x, eye.y, eye.z, 1);
  }
  camera.roll_gain = std::sqrt(vel.x * vel.x + vel.z * vel.z);
}

void free_fly_step(float dt) {
  if (app_active) {
    int strafe = axis(held('A') || held(VK_LEFT), held('D') || held(VK_RIGHT));
    int forward = axis(held('S') || held(VK_DOWN), held('W') || held(VK_UP));
    int cam_up = axis(held('C') || held(VK_NEXT), held('E') || held(VK_PRIOR));
    int world_up = axis(held('Z') || held(VK_END), held('Q') || held(VK_HOME));
    float speed = FLY_SPEED * dt * (held(VK_SHIFT) ? FLY_SHIFT : 1.f);
    Matrix44 cam = camera_matrix(1);
    vec4f p = camera.pos;
    if (strafe) p = add(p, scale(row3(cam, 0), speed * float(strafe)));
    if (cam_up) p = add(p, scale(row3(cam, 1), speed * float(cam_up)));
    if (forward) p = add(p, scale(row3(cam, 2), speed * float(forward)));
    if (world_up) p.y += speed * float(world_up);
    camera.pos = p;
  }
  if (app_active && held(VK_MBUTTON))
    camera.zoom = std::fmin(ZOOM_LIMIT, camera.zoom + ZOOM_SPEED * dt);
  else
    camera.zoom = std::fmax(1.f, camera.zoom - ZOOM_SPEED * dt);
}

// The game camera holds the pointer (relative motion, hidden and confined)
// while the window has the focus, and lets it go while the panel wants it,
// when the focus goes and in developer mode (the free-fly look does not
// hold it). The first frame after taking it only starts counting motion.
void game_camera_mouse_look(float k) {
  bool claimed = spell_ui_claims_mouse && spell_ui_claims_mouse();
  if (!app_active || claimed) {
    hold_pointer(false);
    take_mouse_motion(nullptr, nullptr);
    release_mouse(true);
    return;
  }
  hold_pointer(true);
  float dx, dy;
  take_mouse_motion(&dx, &dy);
  if (camera.mouse_centred) {
    float sens = MOUSE_SENS * mouse_sensitivity;
    camera.yaw = wrap_yaw(camera.yaw - sens * dx);
    camera.pitch = clamp_pitch(camera.pitch - sens * (invert_mouse ? -dy : dy));
    float gain = camera.prev_roll_gain + (camera.roll_gain - camera.prev_roll_gain) * k;
    camera.roll += sens * dx * gain * BANKING;
  }
  camera.mouse_centred = true;
  hide_cursor = true;
}

void free_fly_mouse_look(float k) {
  hold_pointer(false);
  if (!(isMouseOver() && app_active)) {
    release_mouse(true);
    return;
  }
  float dx, dy;
  if (mouse_delta(dx, dy)) {
    float zoom = camera.prev_zoom + (camera.zoom - camera.prev_zoom) * k;
    float sens = MOUSE_SENS * mouse_sensitivity / zoom;
    camera.yaw = wrap_yaw(camera.yaw - sens * dx);
    camera.pitch = clamp_pitch(camera.pitch - sens * (invert_mouse ? -dy : dy));
  }
  take_mouse();
}

float camera_fov(float k) { return CAMERA_FOV / (camera.prev_zoom + (camera.zoom - camera.prev_zoom) * k); }

Matrix44 inverse44(const Matrix44& m) {
  // Gauss-Jordan elimination with partial pivoting.
  float a[4][8];
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) a[r][c] = m.at(r, c), a[r][c + 4] = r == c ? 1.f : 0.f;
  for (int c = 0; c < 4; c++) {
    int piv = c;
    for (int r = c + 1; r < 4; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[piv][c])) piv = r;
    if (a[piv][c] == 0) return Matrix44::identity();
    for (int k = 0; k < 8; k++) std::swap(a[c][k], a[piv][k]);
    float inv = 1.f / a[c][c];
    for (int k = 0; k < 8; k++) a[c][k] *= inv;
    for (int r = 0; r < 4; r++)
      if (r != c) {
        float f = a[r][c];
        for (int k = 0; k < 8; k++) a[r][k] -= f * a[c][k];
      }
  }
  Matrix44 out;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) out.at(r, c) = a[r][c + 4];
  return out;
}

void set_camera_frame(float k) {
  cur_view_itm = camera_matrix(k);
  cur_view_tm = inverse44(cur_view_itm);
  set_view_tm(cur_view_tm);
  set_proj_tm(camera_fov(k), d3d_ht > 0 ? float(d3d_wd) / float(d3d_ht) : 1.f, CAMERA_ZNEAR, CAMERA_ZFAR);
  cur_glob_tm = cur_view_tm * get_proj_tm();
  for (int c = 0; c < 4; c++)
    cur_glob_rk[c] = std::fabs(cur_glob_tm.at(0, c)) + std::fabs(cur_glob_tm.at(1, c)) + std::fabs(cur_glob_tm.at(2, c));
  set_vs_const(0, cur_glob_tm.row, 4);
  set_vs_const(4, cur_view_itm.row[3]);
}

FrameView camera_frame_view(float k) {
  FrameView v;
  v.itm = cur_view_itm;
  v.tm = cur_view_tm;
  v.glob_tm = cur_glob_tm;
  v.glob_rk = cur_glob_rk;
  v.k = k;
  return v;
}
