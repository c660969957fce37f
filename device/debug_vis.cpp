// Debug shapes through the dynamic writer, switching between triangle and
// line lists as the caller mixes them.
#include "device/debug_vis.h"

#include <algorithm>

#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/dynVBWriter.h"

namespace {
struct DebugVertex {
  float x, y, z;
  uint32_t color;
};
static_assert(sizeof(DebugVertex) == 16, "16-byte debug vertices");

ShaderRecord* debug_sh = nullptr;
VDecl* debug_decl = nullptr;
int mode = PRIM_TRIANGLELIST;

void use_mode(int prim) {
  if (mode == prim) return;
  dynVBWriter.flush(true);
  mode = prim;
  dynVBWriter.begin(dyn_vb_draw_prims, mode);
}

void put(DebugVertex* v, const vec4f& p, D3dColor c) { *v = DebugVertex{p.x, p.y, p.z, c.u}; }

vec4f corner(const vec4f& lo, const vec4f& hi, int bits) {
  return vec4f(bits & 1 ? hi.x : lo.x, bits & 2 ? hi.y : lo.y, bits & 4 ? hi.z : lo.z, 1);
}

void box_bounds(const vec4f& a, const vec4f& b, float grow, vec4f& lo, vec4f& hi) {
  lo = vec4f(std::min(a.x, b.x) - grow, std::min(a.y, b.y) - grow, std::min(a.z, b.z) - grow, 1);
  hi = vec4f(std::max(a.x, b.x) + grow, std::max(a.y, b.y) + grow, std::max(a.z, b.z) + grow, 1);
}
}  // namespace

void init_debug_vis() {
  static const VertexElement decl[] = {
      {0, 0, VDECL_FLOAT3, VDECL_POSITION, 0},
      {12, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0},
      VDECL_END,
  };
  debug_decl = create_vdecl(decl);
  debug_sh = load_shader("debug_vis.sh", nullptr);
}

void close_debug_vis() {
  if (debug_sh) release_shader(debug_sh);
  debug_sh = nullptr;
}

void start_draw_debug_vis() {
  set_vdecl(debug_decl);
  set_vb(0, dynVBWriter.vb, 0, int(sizeof(DebugVertex)));
  set_shaders(debug_sh);
  set_cull_mode(0);
  mode = PRIM_TRIANGLELIST;
  dynVBWriter.begin(dyn_vb_draw_prims, mode);
}

void end_draw_debug_vis() {
  dynVBWriter.flush(true);
  set_cull_mode(1);
}

void draw_debug_vis_tri(const vec4f& a, const vec4f& b, const vec4f& c, D3dColor ca, D3dColor cb, D3dColor cc) {
  use_mode(PRIM_TRIANGLELIST);
  auto* v = reinterpret_cast<DebugVertex*>(dynVBWriter.reserve(48));
  put(v, a, ca), put(v + 1, b, cb), put(v + 2, c, cc);
  dynVBWriter.advance(48, 1);
}

void draw_debug_vis_line(const vec4f& a, const vec4f& b, D3dColor ca, D3dColor cb) {
  use_mode(PRIM_LINELIST);
  auto* v = reinterpret_cast<DebugVertex*>(dynVBWriter.reserve(32));
  put(v, a, ca), put(v + 1, b, cb);
  dynVBWriter.advance(32, 1);
}

void draw_debug_vis_solid_box(const vec4f& a, const vec4f& b, D3dColor color, float grow) {
  vec4f lo, hi;
  box_bounds(a, b, grow, lo, hi);
  // Each face as two triangles over its four corners (bit masks of hi axes).
  static const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& f : faces) {
    vec4f p0 = corner(lo, hi, f[0]), p1 = corner(lo, hi, f[1]), p2 = corner(lo, hi, f[2]), p3 = corner(lo, hi, f[3]);
    draw_debug_vis_tri(p0, p1, p2, color, color, color);
    draw_debug_vis_tri(p0, p2, p3, color, color, color);
  }
}

void draw_debug_vis_cube(const vec4f& centre, float half_size, D3dColor color) {
  draw_debug_vis_solid_box(centre, centre, color, half_size);
}

void draw_debug_vis_wire_box(const vec4f& a, const vec4f& b, D3dColor color) {
  vec4f lo, hi;
  box_bounds(a, b, 0, lo, hi);
  for (int i = 0; i < 8; i++)
    for (int axis = 1; axis < 8; axis <<= 1)
      if (!(i & axis)) draw_debug_vis_line(corner(lo, hi, i), corner(lo, hi, i | axis), color, color);
}

void draw_debug_vis_cross_point(const vec4f& p, float size, D3dColor color) {
  draw_debug_vis_line(vec4f(p.x - size, p.y, p.z, 1), vec4f(p.x + size, p.y, p.z, 1), color, color);
  draw_debug_vis_line(vec4f(p.x, p.y - size, p.z, 1), vec4f(p.x, p.y + size, p.z, 1), color, color);
  draw_debug_vis_line(vec4f(p.x, p.y, p.z - size, 1), vec4f(p.x, p.y, p.z + size, 1), color, color);
}
