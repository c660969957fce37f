// Shadow-ball binning and the tiled shadow passes.
#include "render/shadows.h"

#include <cmath>
#include <cstring>

#include "render/frame_view.h"
#include "platform/log.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_vbuf.h"
#include "device/debug_vis.h"
#include "device/dynVBWriter.h"

ShadowBins shadow_bins;

namespace {
const int NUMVECS[4] = {8, 4, 2, 1};
ShaderRecord* shadow_sh[4] = {};
VDecl* shadow_decl[4] = {};
VertexBuffer* tile_vb = nullptr;
IndexBuffer* tile_ib = nullptr;
vec4f sun_dir(0, 1, 0, 0);

int record_bytes(int numvec) { return 4 + 16 * numvec; }

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

vec4f transform(const vec4f& p, const Matrix44& m) {
  vec4f r;
  for (int c = 0; c < 4; c++) r[c] = p.x * m.at(0, c) + p.y * m.at(1, c) + p.z * m.at(2, c) + m.at(3, c);
  return r;
}

void make_decl(int slot, int numvec) {
  VertexElement e[12];
  int n = 0;
  e[n++] = {0, 0, VDECL_SHORT2, VDECL_POSITION, 0};
  e[n++] = {0, 1, VDECL_SHORT2, VDECL_POSITION, 1};
  for (int i = 0; i < numvec; i++) e[n++] = {uint16_t(4 + 16 * i), 1, VDECL_FLOAT4, VDECL_TEXCOORD, uint8_t(i)};
  e[n] = VDECL_END;
  shadow_decl[slot] = create_vdecl(e);
}

// Draws the instances queued in the writer: one record per instance.
void draw_tile_instances(int instances, int slot) {
  set_vb(1, dynVBWriter.vb, 0, record_bytes(NUMVECS[slot]));
  set_instancing(instances);
  draw_indexed(PRIM_TRIANGLELIST, 0, 0, 4, 0, 2);
}

void put_record(int col, int row, const vec4f* spheres, int numvec) {
  int bytes = record_bytes(numvec);
  char* p = dynVBWriter.reserve(bytes);
  int16_t cr[2] = {int16_t(col), int16_t(row)};
  std::memcpy(p, cr, 4);
  std::memcpy(p + 4, spheres, size_t(16 * numvec));
  dynVBWriter.advance(bytes, 1);
}

template <typename Visit>
void for_each_instance(const ShadowBins& b, int slot, Visit visit) {
  for (int row = 0; row < SHADOW_TILES_Y; row++)
    for (int col = 0; col < SHADOW_TILES_X; col++) {
      const ShadowTile& t = b.tiles[row][col];
      if (t.first_block < 0) continue;
      const ShadowBlock& last = b.blocks[t.last_block];
      if (slot == 0) {
        for (int blk = t.first_block; blk >= 0; blk = b.next_block[blk])
          if (blk != t.last_block || t.last_count == 8) visit(col, row, b.blocks[blk].spheres);
      } else if (slot == 1 && t.last_count != 8 && (t.last_count & 4)) {
        visit(col, row, last.spheres);
      } else if (slot == 2 && t.last_count != 8 && (t.last_count & 2)) {
        visit(col, row, last.spheres + (t.last_count & 4));
      } else if (slot == 3 && t.last_count != 8 && (t.last_count & 1)) {
        visit(col, row, last.spheres + (t.last_count & 6));
      }
    }
}
}  // namespace

void ShadowBins::clear() {
  balls.clear();
  for (auto& row : tiles)
    for (auto& t : row) t = ShadowTile();
  blocks.clear();
  next_block.clear();
}

void ShadowBins::bin(const vec4f& s, const vec4f& sun, const Matrix44& glob, const vec4f& rk) {
  float r = s.w;
  vec4f q(s.x - 3 * r * sun.x, s.y - 3 * r * sun.y, s.z - 3 * r * sun.z, 1);
  float R = 5 * r;
  vec4f c = transform(q, glob);
  vec4f e(R * rk.x, R * rk.y, R * rk.z, R * rk.w);
  if (c.x + e.x < -c.w || c.y + e.y < -c.w || c.z + e.z < 0) return;
  if (c.x - e.x > c.w || c.y - e.y > c.w || c.z - e.z > c.w) return;
  float iw = 1.f / std::fmax(c.w, 0.1f), ihw = 1.f / std::fmax(c.w - e.w, 0.1f);
  float cx = c.x * iw, cy = c.y * iw, hx = e.x * ihw, hy = e.y * ihw;
  int c0 = clamp_int(int((cx - hx + 1) * 8), 0, 15), c1 = clamp_int(int((cx + hx + 1) * 8), 0, 15);
  int r0 = clamp_int(int((cy - hy + 1) * 4.5f), 0, 8), r1 = clamp_int(int((cy + hy + 1) * 4.5f), 0, 8);
  for (int row = r0; row <= r1; row++)
    for (int col = c0; col <= c1; col++) {
      ShadowTile& t = tiles[row][col];
      if (t.last_block >= 0 && t.last_count < SHADOW_BLOCK) {
        blocks[t.last_block].spheres[t.last_count++] = s;
        continue;
      }
      int nb = blocks.push_back(ShadowBlock());
      next_block.push_back(-1);
      if (t.last_block >= 0) {
        next_block[t.last_block] = nb;
        t.extra_blocks++;
      } else {
        t.first_block = nb;
      }
      t.last_block = nb;
      blocks[nb].spheres[0] = s;
      t.last_count = 1;
    }
}

int ShadowBins::sphereCount(int col, int row) const {
  const ShadowTile& t = tiles[row][col];
  return t.first_block < 0 ? 0 : t.extra_blocks * SHADOW_BLOCK + t.last_count;
}

ShadowPassCounts count_shadow_instances(const ShadowBins& b) {
  int n[4] = {0, 0, 0, 0};
  for (int slot = 0; slot < 4; slot++) for_each_instance(b, slot, [&](int, int, const vec4f*) { n[slot]++; });
  return {n[0], n[1], n[2], n[3]};
}

void set_shadow_sun_dir(const vec4f& dir) { sun_dir = dir; }

void init_shadows() {
  tile_vb = create_vb(16, BUF_STATIC);
  tile_ib = create_ib(6, BUF_STATIC);
  if (!tile_vb || !tile_ib) fatal("Can't create shadows VB");
  auto* vp = static_cast<int16_t*>(lock_vb(tile_vb, 0, 0));
  G_ASSERT(vp);
  const int16_t corners[8] = {0, 0, 0, 1, 1, 0, 1, 1};
  std::memcpy(vp, corners, sizeof(corners));
  unlock_vb(tile_vb);
  auto* ip = static_cast<uint16_t*>(lock_ib(tile_ib, 0, 0));
  G_ASSERT(ip);
  const uint16_t idx[6] = {0, 1, 2, 2, 1, 3};
  std::memcpy(ip, idx, sizeof(idx));
  unlock_ib(tile_ib);
  for (int i = 0; i < 4; i++) {
    // Name and value pairs, each NUL-terminated, ending with an empty name.
    static const char* const defines[4] = {"NUMVEC\0" "8\0", "NUMVEC\0" "4\0", "NUMVEC\0" "2\0", "NUMVEC\0" "1\0"};
    shadow_sh[i] = load_shader("dr_shadow.sh", defines[i]);
    make_decl(i, NUMVECS[i]);
  }
}

void close_shadows() {
  for (auto& s : shadow_sh) {
    if (s) release_shader(s);
    s = nullptr;
  }
  if (tile_vb) release_vb(tile_vb);
  if (tile_ib) release_ib(tile_ib);
  tile_vb = nullptr;
  tile_ib = nullptr;
}

void start_render_shadows() { shadow_bins.clear(); }

void render_shadow_ball(const vec4f& pos, float radius) {
  vec4f s(pos.x, pos.y, pos.z, radius);
  shadow_bins.balls.push_back(s);
  shadow_bins.bin(s, sun_dir, render_view().glob_tm, render_view().glob_rk);
}

void end_render_shadows() {
  clear_view_color(D3dColor(0xFFFFFFFF));
  set_ps_const(16, render_view().cameraPos());
  set_ps_const(18, sun_dir);
  set_blend_multiply();
  set_vs_const(15, vec4f(0.125f, 2.f / 9.f, -1.f, -1.f));
  set_vb(0, tile_vb, 0, 4);
  set_ib(tile_ib);
  for (int slot = 0; slot < 4; slot++) {
    if (!shadow_sh[slot]) continue;
    set_vdecl(shadow_decl[slot]);
    set_shaders(shadow_sh[slot]);
    dynVBWriter.begin(draw_tile_instances, slot);
    for_each_instance(shadow_bins, slot,
                      [&](int col, int row, const vec4f* spheres) { put_record(col, row, spheres, NUMVECS[slot]); });
    dynVBWriter.flush(true);
  }
  set_instancing(0);
  set_blend_none();
}

void render_shadows_debug() {
  for (const vec4f& b : shadow_bins.balls) {
    vec4f centre(b.x, b.y, b.z, 1);
    draw_debug_vis_cross_point(centre, b.w, D3dColor(0xFF000000));
    vec4f q(b.x - 3 * b.w * sun_dir.x, b.y - 3 * b.w * sun_dir.y, b.z - 3 * b.w * sun_dir.z, 1);
    draw_debug_vis_cross_point(q, 5 * b.w, D3dColor(0xFF00FF00));
  }
}
