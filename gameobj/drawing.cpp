// Drawing through the game's instance renderers: each renderer bound to its
// mesh, the house cells the land hands over as building records, and the
// standing stones, gatherers and wyverns as instances of their meshes.
#include "drawing.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "classes.h"
#include "object_registry.h"

namespace {
float ground_height(float x, float z) {
  using namespace HeightmapData;
  int ix = int(std::floor(x)), iz = int(std::floor(z));
  float fx = x - float(ix), fz = z - float(iz);
  float a = hmap[cellIndex(ix, iz)], b = hmap[cellIndex(ix + 1, iz)];
  float c = hmap[cellIndex(ix, iz + 1)], d = hmap[cellIndex(ix + 1, iz + 1)];
  return (a + (b - a) * fx) * (1 - fz) + (c + (d - c) * fx) * fz;
}

// Placement of a mesh looking along `fwd` (its +z) with y up, uniformly scaled.
Matrix44 placement(const vec4f& pos, const vec4f& fwd, float scale) {
  float l = std::sqrt(fwd.x * fwd.x + fwd.z * fwd.z);
  float fx = l > 1e-5f ? fwd.x / l : 0.f, fz = l > 1e-5f ? fwd.z / l : 1.f;
  Matrix44 m = Matrix44::identity();
  m.row[0] = vec4f(fz * scale, 0, -fx * scale, 0);
  m.row[1] = vec4f(0, scale, 0, 0);
  m.row[2] = vec4f(fx * scale, 0, fz * scale, 0);
  m.row[3] = vec4f(pos.x, pos.y, pos.z, 1);
  return m;
}

// A direction that stays put for an object at pos, so stones stand each
// their own way.
vec4f facing_of(const vec4f& pos) {
  float a = std::fmod(pos.x * 12.9898f + pos.z * 78.233f, 6.2831853f);
  return vec4f(std::sin(a), 0, std::cos(a), 0);
}

void queue_simple(SimpleInstRender& r, const Matrix44& tm, uint32_t tint, float glow = 0) {
  SimpleInstRecord rec;
  make_simple_inst(rec, tm, D3dColor(tint), glow);
  std::memcpy(r.append(int(sizeof(rec))), &rec, sizeof(rec));
}

// The gatherer's body floats and breathes; the eye sits in front of it,
// turned toward the player.
Matrix44 gatherer_body_tm(const ManaGatherer& g, float& breath) {
  float phase = g.pos.x * 0.7f + g.pos.z * 0.3f;
  breath = 0.5f + 0.5f * std::sin(run_state.anim_clock * 1.7f + phase);
  vec4f p = g.pos;
  p.y += 1.2f + 0.15f * std::sin(run_state.anim_clock * 2.3f + phase);
  vec4f look = local_player ? vec4f(local_player->pos.x - g.pos.x, 0, local_player->pos.z - g.pos.z, 0)
                            : facing_of(g.pos);
  return placement(p, look, 1.f);
}

// The wyvern's body: a chain of points behind the head, swaying sideways.
constexpr int WYVERN_LINKS = 7;
void wyvern_chain(const WyvernMonster& w, vec4f* pts, vec4f& fwd, vec4f& side) {
  float l = std::sqrt(w.vel.x * w.vel.x + w.vel.z * w.vel.z);
  fwd = l > 1e-4f ? vec4f(w.vel.x / l, 0, w.vel.z / l, 0) : vec4f(0, 0, 1, 0);
  side = vec4f(fwd.z, 0, -fwd.x, 0);
  for (int k = 0; k < WYVERN_LINKS; k++) {
    float sway = std::sin(run_state.anim_clock * 3.0f - float(k) * 0.9f) * 0.25f * float(k) / WYVERN_LINKS;
    float back = 0.35f + float(k) * 0.55f;
    // Each wing beat sends a wave down the body.
    float beat = 0.12f * std::sin(w.flap - float(k) * 0.8f);
    pts[k] = vec4f(w.pos.x - fwd.x * back + side.x * sway, w.pos.y - 0.05f * float(k) + beat,
                   w.pos.z - fwd.z * back + side.z * sway, 1);
  }
}
}  // namespace

void bind_inst_renderers() {
  init_inst_render_internals();
  for (int i = 0; i < num_inst_renderers; i++) {
    const char* name = inst_renderers[i].name;
    char path[96];
    std::snprintf(path, sizeof(path), "meshes/%.*s.mesh", int(std::strlen(name)) - 5, name);
    inst_renderers[i].inst->init(path);
  }
  bind_house_tile_renderers();
  int bound = 0;
  for (int i = 0; i < num_inst_renderers; i++) bound += inst_renderers[i].inst->mesh != nullptr;
  debug("instance renderers bound: %d of %d", bound, num_inst_renderers);
}

void draw_inst_renderers() {
  begin_inst_render();
  // Mirrored building orientations turn their triangles' winding round.
  set_cull_mode(0);
  for (int i = 0; i < HeightmapRenderer::num_house_tiles; i++)
    if (InstRender* r = HeightmapRenderer::house_tile_info[i].inst) r->render();
  set_cull_mode(1);
  for (InstRender* r : std::initializer_list<InstRender*>{&stone1_inst, &gatherer_body_inst, &gatherer_eye_inst,
                                                          &wyvern_body_inst, &wyvern_head_inst, &wyvern_tail_inst})
    r->render();
}

void Stone1StaticObject::render(float) { queue_simple(stone1_inst, placement(pos, facing_of(pos), 1.f), 0xFFFFFFFFu); }
void Stone1StaticObject::renderShadow(float) { stone1_inst.renderShadowBalls(placement(pos, facing_of(pos), 1.f), 1.f); }

void ManaGatherer::render(float) {
  float breath = 0;
  Matrix44 body = gatherer_body_tm(*this, breath);
  MorphInstRecord rec;
  make_simple_inst(rec.simple, body, D3dColor(0xFFFFFFFFu));
  rec.morph = 0xFF000000u | uint32_t(breath * 255.f + 0.5f) << 16;
  std::memcpy(gatherer_body_inst.append(int(sizeof(rec))), &rec, sizeof(rec));
  Matrix44 eye = body;
  eye.row[3] = vec4f(body.row[3].x + body.row[2].x * 0.55f, body.row[3].y + 0.15f,
                     body.row[3].z + body.row[2].z * 0.55f, 1);
  queue_simple(gatherer_eye_inst, eye, 0xFFFFFFFFu, 0.15f + 0.2f * breath);
}
void ManaGatherer::renderShadow(float) {
  float breath = 0;
  gatherer_body_inst.renderShadowBalls(gatherer_body_tm(*this, breath), 1.f);
}

void WyvernMonster::render(float) {
  vec4f pts[WYVERN_LINKS], fwd, side;
  wyvern_chain(*this, pts, fwd, side);
  queue_simple(wyvern_head_inst, placement(pos, fwd, 1.2f), 0xFFFFFFFFu);
  // Each link of the chain is one bent segment, its inner control points
  // set so that neighbouring segments meet smoothly; the body rolls with
  // the bank of the turn.
  vec4f up(side.x * std::sin(bank), std::cos(bank), side.z * std::sin(bank), 0);
  for (int k = 0; k + 1 < WYVERN_LINKS; k++) {
    const vec4f& a = pts[k];
    const vec4f& b = pts[k + 1];
    const vec4f& pa = k > 0 ? pts[k - 1] : vec4f(pos.x, pos.y, pos.z, 1);
    const vec4f& nb = k + 2 < WYVERN_LINKS ? pts[k + 2] : b;
    SplineInstRecord rec;
    const vec4f c[4] = {a, vec4f(a.x + (b.x - pa.x) / 6, a.y + (b.y - pa.y) / 6, a.z + (b.z - pa.z) / 6, 1),
                        vec4f(b.x - (nb.x - a.x) / 6, b.y - (nb.y - a.y) / 6, b.z - (nb.z - a.z) / 6, 1), b};
    for (int i = 0; i < 4; i++) {
      rec.p[i][0] = c[i].x;
      rec.p[i][1] = c[i].y;
      rec.p[i][2] = c[i].z;
    }
    float r0 = 0.42f - 0.045f * float(k), r1 = 0.42f - 0.045f * float(k + 1);
    rec.up0 = pack_inst_dir(up, r0 / 4.f);
    rec.up1 = pack_inst_dir(up, r1 / 4.f);
    rec.color0 = rec.color1 = 0xFFFFFFFFu;
    std::memcpy(wyvern_body_inst.append(int(sizeof(rec))), &rec, sizeof(rec));
  }
  const vec4f& end = pts[WYVERN_LINKS - 1];
  const vec4f& before = pts[WYVERN_LINKS - 2];
  queue_simple(wyvern_tail_inst, placement(end, vec4f(before.x - end.x, 0, before.z - end.z, 0), 0.8f), 0xFFFFFFFFu);
}

void WyvernMonster::renderShadow(float) {
  vec4f pts[WYVERN_LINKS], fwd, side;
  wyvern_chain(*this, pts, fwd, side);
  wyvern_head_inst.renderShadowBalls(placement(pos, fwd, 1.2f), 1.2f);
  for (int k = 1; k < WYVERN_LINKS; k += 2) render_shadow_ball(pts[k], 0.45f - 0.04f * float(k));
}

SQInteger sq_place_test_objects(HSQUIRRELVM vm) {
  SQFloat x = 0, z = 0;
  if (SQ_FAILED(sq_getfloat(vm, 2, &x)) || SQ_FAILED(sq_getfloat(vm, 3, &z)))
    return sq_throwerror(vm, "place_test_objects(x, z): numbers expected");
  const float stones[3][2] = {{-4, 0}, {-6, 3}, {-3, 5}};
  for (const auto& d : stones) {
    Stone1StaticObject* s = spawn(Stone1StaticObject_list);
    float sx = float(x) + d[0], sz = float(z) + d[1];
    s->pos = vec4f(sx, ground_height(sx, sz) - 0.15f, sz, 1);
  }
  const float gatherers[2][2] = {{4, 1}, {5, -3}};
  for (const auto& d : gatherers) {
    ManaGatherer* g = spawn(ManaGatherer_list);
    float gx = float(x) + d[0], gz = float(z) + d[1];
    g->pos = vec4f(gx, ground_height(gx, gz), gz, 1);
  }
  WyvernMonster* w = spawn(WyvernMonster_list);
  w->pos = vec4f(float(x), ground_height(float(x), float(z)) + 7, float(z) + 6, 1);
  w->vel = vec4f(2.5f, 0, 0, 0);
  return 0;
}
