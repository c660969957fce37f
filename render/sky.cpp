// Sky colours, sun direction and the sky quad.
#include "render/sky.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "render/frame_view.h"
#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_vbuf.h"
#include "render/sky_script.h"

namespace Sky {

namespace {
vec4f prev_colors[SCRIPT_COLORS], next_colors[SCRIPT_COLORS], cur_colors[SCRIPT_COLORS];
vec4f prev_dir, cur_dir;  // kept with the previous copy
vec4f target_dir;
vec4f cur_table[TABLE_ENTRIES];
ColorSource* source = nullptr;
bool own_source = false;  // the source is the sky script opened by init

VertexBuffer* vb = nullptr;
IndexBuffer* ib = nullptr;
VDecl* decl = nullptr;
ShaderRecord* shader = nullptr;

vec4f lerp4(const vec4f& a, const vec4f& b, float t) {
  return vec4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t);
}

void refresh_table() {
  for (int i = 0; i < SCRIPT_COLORS; i++) cur_table[i] = cur_colors[i];
  derive_entries(cur_table);
}

constexpr const char* SKY_ERROR = "Error in sky script:\n%s";

// Logged and boxed as every sky failure is, and also put in the on-screen
// error band, which is what shows where message boxes are off.
void report_sky_error(const char* text) {
  char msg[1200];
  std::snprintf(msg, sizeof(msg), SKY_ERROR, text);
  error_message(msg);
  set_error_message(msg);
}

// A fixed script takes its own message off the screen, and only its own.
void clear_sky_error() {
  const char* shown = get_error_message();
  if (std::strncmp(shown, SKY_ERROR, std::strlen("Error in sky script:\n")) == 0) set_error_message(nullptr);
}

// New colours for a sun direction: the script's, or the defaults when it has
// no colour function or fails (reported on screen, the game goes on).
void evaluate(const vec4f& dir) {
  vec4f out[SCRIPT_COLORS];
  if (source && source->bound()) {
    char err[1024] = "";
    if (source->evaluate(elevation_deg(dir), out, err, sizeof(err))) {
      for (int i = 0; i < SCRIPT_COLORS; i++) next_colors[i] = vec4f(out[i].x, out[i].y, out[i].z, 0);
      return;
    }
    report_sky_error(err);
  }
  default_colors(next_colors);
}

void copy_new_into_all() {
  for (int i = 0; i < SCRIPT_COLORS; i++) prev_colors[i] = cur_colors[i] = next_colors[i];
}
}  // namespace

void default_colors(vec4f out[SCRIPT_COLORS]) {
  static const vec4f d[SCRIPT_COLORS] = {
      {1, 1, 1, 0}, {0, 0, 0, 0}, {0.45f, 0.15f, 0.06f, 0}, {0, 0, 0, 0}, {1, 0, 0, 0},
      {0.346021f, 0, 0, 0}, {1, 0, 0, 0}, {3, 6, 15, 0}, {2, 0, 0, 0}, {2, 0, 0, 0},
  };
  for (int i = 0; i < SCRIPT_COLORS; i++) out[i] = d[i];
}

void derive_entries(vec4f t[TABLE_ENTRIES]) {
  for (int c = 0; c < 3; c++) {
    t[10][c] = std::exp(-t[2][c] / 0.2f) * t[1][c] + t[0][c];
    t[11][c] = std::exp(-t[2][c]) * t[1][c] + t[0][c];
  }
  t[10].w = t[11].w = 0;
}

float elevation_deg(const vec4f& dir) {
  float y = dir.y > 1.f ? 1.f : dir.y < -1.f ? -1.f : dir.y;
  return float(std::asin(double(y)) * 57.29577951308232);
}

vec4f normalize_dir(const vec4f& d) {
  float l2 = d.x * d.x + d.y * d.y + d.z * d.z;
  if (!(l2 > 0.f) || !std::isfinite(l2)) return vec4f(0, 0, 0, 0);
  float s = 1.f / std::sqrt(l2);
  return vec4f(d.x * s, d.y * s, d.z * s, 0);
}

void set_color_source(ColorSource* src) { source = src; }

void init() {
  if (!source) {
    source = open_sky_script("sky.nut");
    own_source = true;
  }
  vb = create_vb(48, 0);
  ib = create_ib(6, BUF_STATIC);
  if (!vb || !ib) fatal("can't create sky buffers");
  auto* ip = static_cast<uint16_t*>(lock_ib(ib, 0, 0));
  G_ASSERT(ip);
  static const uint16_t idx[6] = {0, 2, 1, 1, 2, 3};
  std::memcpy(ip, idx, sizeof(idx));
  unlock_ib(ib);
  static const VertexElement el[] = {{0, 0, VDECL_FLOAT3, VDECL_POSITION, 0}, VDECL_END};
  decl = create_vdecl(el);
  shader = load_shader("sky.sh", nullptr);
  target_dir = normalize_dir(vec4f(0, 1, 3, 0));
  prev_dir = cur_dir = target_dir;
  evaluate(target_dir);
  copy_new_into_all();
  refresh_table();
}

void close() {
  if (own_source) {
    close_sky_script();
    source = nullptr;
    own_source = false;
  }
  if (shader) release_shader(shader);
  if (vb) release_vb(vb);
  if (ib) release_ib(ib);
  shader = nullptr;
  vb = nullptr;
  ib = nullptr;
}

void set_sun_dir(const vec4f& dir, bool smooth) {
  target_dir = normalize_dir(dir);
  evaluate(target_dir);
  if (!smooth) {
    copy_new_into_all();
    prev_dir = cur_dir = target_dir;
    refresh_table();
  }
}

void begin_update() {
  for (int i = 0; i < SCRIPT_COLORS; i++) prev_colors[i] = next_colors[i];
  prev_dir = target_dir;
}

void update_frame(float t) {
  cur_dir = normalize_dir(lerp4(prev_dir, target_dir, t));
  for (int i = 0; i < SCRIPT_COLORS; i++) cur_colors[i] = lerp4(prev_colors[i], next_colors[i], t);
  refresh_table();
}

void check_reload() {
  if (!source || !source->reload_if_changed()) return;
  clear_sky_error();
  if (source->reload_error()[0]) report_sky_error(source->reload_error());
  evaluate(cur_dir);
  copy_new_into_all();
  refresh_table();
}

void draw() {
  if (!vb || !shader) return;
  auto* vp = static_cast<float*>(lock_vb(vb, 0, 0));
  G_ASSERT(vp);
  const Matrix44& m = render_view().itm;
  float aspect = d3d_ht > 0 ? float(d3d_wd) / float(d3d_ht) : 1.f;
  for (int i = 0; i < 4; i++) {
    float sr = (i & 1) ? 10.f * aspect : -10.f * aspect;
    float su = (i & 2) ? 10.f : -10.f;
    for (int c = 0; c < 3; c++)
      vp[i * 3 + c] = m.row[3][c] + 10.f * m.row[2][c] + sr * m.row[0][c] + su * m.row[1][c];
  }
  unlock_vb(vb);
  set_vdecl(decl);
  set_ib(ib);
  set_vb(0, vb, 0, 12);
  set_shaders(shader);
  set_ps_const(0, sun_const());
  set_ps_const(1, cur_table, TABLE_ENTRIES);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
}

const vec4f* table() { return cur_table; }
vec4f sun_dir() { return cur_dir; }
vec4f target_sun_dir() { return target_dir; }
vec4f sun_const() { return vec4f(cur_dir.x, cur_dir.y, cur_dir.z, SUN_DISC_COS); }
const vec4f* previous_colors() { return prev_colors; }
const vec4f* new_colors() { return next_colors; }

}  // namespace Sky
