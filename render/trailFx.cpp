// The trail table: handles, the point ring, the update and the vertices.
#include "render/trailFx.h"

#include <cmath>

#include "platform/log.h"
#include "render/effect_limits.h"

Trail trails[MAX_TRAILS];
int32_t trail_free_head = -1;

namespace {
float wrap_offset(float d) { return d - 256.f * std::floor((d + 128.f) * (1.f / 256.f)); }

Trail* alive_trail(int handle) {
  if (unsigned(handle) >= unsigned(MAX_TRAILS)) return nullptr;
  Trail& tr = trails[handle];
  return tr.isAlive() ? &tr : nullptr;
}

vec4f lerp3(const vec4f& a, const vec4f& b, float t) {
  return vec4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, 1.f);
}
vec4f add3(const vec4f& a, const vec4f& b) { return vec4f(a.x + b.x, a.y + b.y, a.z + b.z, 1.f); }
vec4f sub3(const vec4f& a, const vec4f& b) { return vec4f(a.x - b.x, a.y - b.y, a.z - b.z, 1.f); }

void put(TrailVertex*& out, const vec4f& p, D3dColor c, float u, float v) {
  *out++ = TrailVertex{p.x, p.y, p.z, c.u, u, v};
}
}  // namespace

void Trail::addPoint(const vec4f& pos, const vec4f& vel, const vec4f& side) {
  int former = head;
  head = head == 0 ? TRAIL_POINTS - 1 : head - 1;
  TrailPoint& p = points[head];
  if (count <= 0) {
    count = 1;
    p.pos = p.prevPos = pos;
  } else {
    if (count < TRAIL_POINTS) count++;
    // The new head joins the nearest copy of the former head's start, so the
    // ribbon never jumps across the seam and slides from where it was.
    vec4f e = points[former].prevPos;
    p.pos = vec4f(e.x + wrap_offset(pos.x - e.x), pos.y, e.z + wrap_offset(pos.z - e.z), pos.w);
    p.prevPos = e;
  }
  p.side = side;
  p.vel = vel;
  p.color = color;
}

void Trail::update(float dt) {
  if (count <= 0) return;
  if (stopping && --count == 0) return;
  // Brings the whole trail back to the map with its head, so that a trail
  // never drifts off to a far copy of the world.
  const vec4f& hp = points[head].pos;
  float ox = std::fmod(hp.x / 256.f + 16.f, 1.f) * 256.f - hp.x;
  float oz = std::fmod(hp.z / 256.f + 16.f, 1.f) * 256.f - hp.z;
  for (int k = 0; k < count; k++) {
    TrailPoint& p = points[(head + k) % TRAIL_POINTS];
    p.prevPos = vec4f(p.pos.x + ox, p.pos.y, p.pos.z + oz, p.pos.w);
    p.pos = vec4f(p.prevPos.x + p.vel.x * dt, p.prevPos.y + p.vel.y * dt, p.prevPos.z + p.vel.z * dt,
                  p.prevPos.w + p.vel.w * dt);
  }
}

void reset_trails() {
  for (int i = 0; i < MAX_TRAILS; i++) {
    Trail& tr = trails[i];
    tr.count = 0;
    tr.head = 0;
    tr.stopping = false;
    tr.nextFree = i + 1 < MAX_TRAILS ? i + 1 : -1;
  }
  trail_free_head = 0;
}

// A stopped trail that has shrunk to nothing goes back to the free list:
// otherwise every missile's trail would stay taken and the table would run
// out after a few thousand casts.
void update_trails(float dt) {
  for (int i = 0; i < MAX_TRAILS; i++) {
    Trail& tr = trails[i];
    if (!tr.isAlive()) continue;
    tr.update(dt);
    if (tr.isAlive()) continue;
    tr.head = 0;
    tr.stopping = false;
    tr.nextFree = trail_free_head;
    trail_free_head = i;
  }
}

int live_trail_count() {
  int n = 0;
  for (const Trail& tr : trails) n += tr.isAlive();
  return n;
}

int write_trail_vertices(const Trail& tr, float t, const vec4f& cam, const vec4f& right, const vec4f& up,
                         TrailVertex* out) {
  if (tr.count <= 0) return 0;
  TrailVertex* start = out;
  const TrailPoint& hp = tr.points[tr.head];
  vec4f raw = lerp3(hp.prevPos, hp.pos, t);
  vec4f shift(wrap_offset(raw.x - cam.x) + cam.x - raw.x, 0, wrap_offset(raw.z - cam.z) + cam.z - raw.z, 0);
  vec4f h = add3(raw, shift);

  vec4f r(right.x * tr.width, right.y * tr.width, right.z * tr.width, 0);
  vec4f u(up.x * tr.width, up.y * tr.width, up.z * tr.width, 0);
  vec4f tl = add3(sub3(h, r), u), bl = sub3(sub3(h, r), u), tr_ = add3(add3(h, r), u), br = sub3(add3(h, r), u);
  put(out, tl, hp.color, 0, 0.25f);
  put(out, bl, hp.color, 0, 0.5f);
  put(out, tr_, hp.color, 0.125f, 0.25f);
  put(out, bl, hp.color, 0, 0.5f);
  put(out, br, hp.color, 0.125f, 0.5f);
  put(out, tr_, hp.color, 0.125f, 0.25f);

  vec4f plus = add3(h, hp.side), minus = sub3(h, hp.side);
  D3dColor col = hp.color;
  float uu = t / 16.f;
  for (int k = 1; k < tr.count; k++) {
    const TrailPoint& p = tr.points[(tr.head + k) % TRAIL_POINTS];
    vec4f q = add3(lerp3(p.prevPos, p.pos, t), shift);
    vec4f np = add3(q, p.side), nm = sub3(q, p.side);
    float nu = uu + 1.f / 16.f;
    put(out, plus, col, uu, 0);
    put(out, minus, col, uu, 0.25f);
    put(out, np, p.color, nu, 0);
    put(out, minus, col, uu, 0.25f);
    put(out, nm, p.color, nu, 0.25f);
    put(out, np, p.color, nu, 0);
    plus = np;
    minus = nm;
    col = p.color;
    uu = nu;
  }
  return int(out - start);
}

int add_trail_fx(const vec4f& pos, const vec4f& vel, const vec4f& side, float width, D3dColor color) {
  if (!admit_trail_point(pos, vel, side, width)) return -1;
  int h = trail_free_head;
  if (h < 0) {
    note_trail_table_full();
    return -1;
  }
  Trail& tr = trails[h];
  G_ASSERT(!tr.isAlive());
  trail_free_head = tr.nextFree;
  tr.width = width;
  tr.color = color;
  tr.stopping = false;
  tr.addPoint(pos, vel, side);
  return h;
}

// Only alive trails take points: a point added through a stale handle of a
// killed trail would bring it back to life while it sits in the free list,
// and the next add_trail_fx would take a live trail.
void add_trail_point(int handle, const vec4f& pos, const vec4f& vel, const vec4f& side) {
  Trail* tr = alive_trail(handle);
  if (tr && admit_trail_point(pos, vel, side, tr->width)) tr->addPoint(pos, vel, side);
}

void set_trail_color(int handle, D3dColor color) {
  if (unsigned(handle) >= unsigned(MAX_TRAILS)) return;
  trails[handle].color = color;
}

void stop_trail_fx(int handle) {
  if (Trail* tr = alive_trail(handle)) tr->stopping = true;
}

void kill_trail_fx(int handle) {
  Trail* tr = alive_trail(handle);
  if (!tr) return;
  tr->count = 0;
  tr->head = 0;
  tr->stopping = false;
  tr->nextFree = trail_free_head;
  trail_free_head = handle;
}
