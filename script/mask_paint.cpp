// HmapMask arithmetic (add, sub, mul, less, greater, remap) and the layer
// paints paint_ground_layer and paint_cover_layer. A "layer" argument is a
// mask or a number that stands for a mask of that value everywhere; every
// arithmetic result is a new mask.
#include "script/mask_paint.h"

#include <cmath>
#include <cstdio>

#include "script/worldgen_script.h"
#include "world/ramps.h"
#include "world/vecmath.h"

using sqbind::New;
using sqbind::Nullable;
using sqbind::Pushed;
using sqbind::SqObject;

namespace {
using namespace HeightmapData;

// A mask or a number, read per cell.
struct Layer {
  const float* mask = nullptr;
  float value = 0.0f;
  float at(int i) const { return mask ? mask[i] : value; }
};

[[noreturn]] void layer_error(const char* fn, const char* what) {
  static char msg[200];
  std::snprintf(msg, sizeof(msg), "%s: %s must be a number or an HmapMask", fn, what);
  throw sqbind::SquirrelError(msg);
}

Layer read_layer(HSQUIRRELVM v, const SqObject& o, const char* fn, const char* what) {
  Layer l;
  if (o.type() == OT_INTEGER || o.type() == OT_FLOAT) {
    l.value = float(sq_objtofloat(&o.obj));
    if (!std::isfinite(l.value)) layer_error(fn, what);
    return l;
  }
  if (o.type() == OT_INSTANCE) {
    sq_pushobject(v, o.obj);
    auto* m = static_cast<HmapMask*>(sqbind::get_instance(v, -1, sqbind::type_tag<HmapMask>()));
    sq_poptop(v);
    if (m) {
      l.mask = m->v;
      return l;
    }
  }
  layer_error(fn, what);
}

// "where" of a paint: null paints every cell, else the cells above one half.
Layer read_where(HSQUIRRELVM v, const SqObject& o, const char* fn) {
  if (o.isNull()) return Layer{nullptr, 1.0f};
  return read_layer(v, o, fn, "where");
}

template <class Op>
New<HmapMask> combine(HSQUIRRELVM v, const HmapMask& m, const SqObject& other, const char* fn, Op op) {
  Layer o = read_layer(v, other, fn, "the argument");
  auto* r = new HmapMask;
  for (int i = 0; i < HMAP_CELLS; i++) r->v[i] = op(m.v[i], o.at(i));
  return {r};
}

New<HmapMask> mask_add(HSQUIRRELVM v, HmapMask& m, SqObject o) {
  return combine(v, m, o, "add", [](float a, float b) { return a + b; });
}
New<HmapMask> mask_sub(HSQUIRRELVM v, HmapMask& m, SqObject o) {
  return combine(v, m, o, "sub", [](float a, float b) { return a - b; });
}
New<HmapMask> mask_mul(HSQUIRRELVM v, HmapMask& m, SqObject o) {
  return combine(v, m, o, "mul", [](float a, float b) { return a * b; });
}
New<HmapMask> mask_less(HSQUIRRELVM v, HmapMask& m, SqObject o) {
  return combine(v, m, o, "less", [](float a, float b) { return a < b ? 1.0f : 0.0f; });
}
New<HmapMask> mask_greater(HSQUIRRELVM v, HmapMask& m, SqObject o) {
  return combine(v, m, o, "greater", [](float a, float b) { return a > b ? 1.0f : 0.0f; });
}

// t = (value - lo) / (hi - lo) clamped to 0..1 (hi below lo runs the other
// way; hi equal to lo is a step at lo), then through the ramp when given.
Pushed mask_remap(HSQUIRRELVM v, HmapMask& m, float lo, float hi, Nullable<const FloatRamp> ramp) {
  if (!std::isfinite(lo) || !std::isfinite(hi))
    return Pushed{int(sq_throwerror(v, "remap: lo and hi must be finite numbers"))};
  auto* r = new HmapMask;
  float range = hi - lo;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float t = range != 0.0f ? (m.v[i] - lo) / range : (m.v[i] >= lo ? 1.0f : 0.0f);
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    if (t != t) t = 0.0f;
    r->v[i] = ramp ? ramp->get(t) : t;
  }
  sqbind::push_owned(v, r);
  return Pushed{1};
}

vec4f lerp4(const vec4f& a, const vec4f& b, float k) {
  return vec4f(a.x + (b.x - a.x) * k, a.y + (b.y - a.y) * k, a.z + (b.z - a.z) * k, a.w + (b.w - a.w) * k);
}

// Where `where` is above one half: groundColor moves toward ramp(t) by
// `blend`, groundType is set, and the cover is cleared. House fields stay.
void paint_ground_layer(HSQUIRRELVM v, SqObject where, const ColorRamp* ramp, SqObject t, SqObject blend,
                        int groundType) {
  Layer w = read_where(v, where, "paint_ground_layer");
  Layer tl = read_layer(v, t, "paint_ground_layer", "t");
  Layer bl = read_layer(v, blend, "paint_ground_layer", "blend");
  for (int i = 0; i < HMAP_CELLS; i++) {
    if (!(w.at(i) > 0.5f)) continue;
    Surface& s = surface[i];
    float k = bl.at(i);
    if (k != 0.0f) s.groundColor = vec4f_to_color(lerp4(color_to_vec4f(s.groundColor), ramp->get(tl.at(i)), k));
    s.setGroundType(groundType);
    s.coverColor = D3dColor(0u);
    s.setSurfaceType(ST_NONE);
  }
}

// Where `where` is above one half: the cover's colour moves toward ramp(t)
// by `blend`, its alpha becomes `alpha` (kept when null) and surfaceType is
// set.
void paint_cover_layer(HSQUIRRELVM v, SqObject where, const ColorRamp* ramp, SqObject t, SqObject blend,
                       SqObject alpha, int surfaceType) {
  Layer w = read_where(v, where, "paint_cover_layer");
  Layer tl = read_layer(v, t, "paint_cover_layer", "t");
  Layer bl = read_layer(v, blend, "paint_cover_layer", "blend");
  bool keepAlpha = alpha.isNull();
  Layer al = keepAlpha ? Layer{} : read_layer(v, alpha, "paint_cover_layer", "alpha");
  for (int i = 0; i < HMAP_CELLS; i++) {
    if (!(w.at(i) > 0.5f)) continue;
    Surface& s = surface[i];
    vec4f c = color_to_vec4f(s.coverColor);
    vec4f r = lerp4(c, ramp->get(tl.at(i)), bl.at(i));
    r.w = keepAlpha ? c.w : al.at(i);
    s.coverColor = vec4f_to_color(r);
    s.setSurfaceType(surfaceType);
  }
}
}  // namespace

void register_mask_paint(HSQUIRRELVM vm, const SqObject& cls) {
  using namespace sqbind;
  register_method(vm, cls, "add", &mask_add);
  register_method(vm, cls, "sub", &mask_sub);
  register_method(vm, cls, "mul", &mask_mul);
  register_method(vm, cls, "less", &mask_less);
  register_method(vm, cls, "greater", &mask_greater);
  register_method(vm, cls, "remap", &mask_remap);
  register_global(vm, "paint_ground_layer", &paint_ground_layer);
  register_global(vm, "paint_cover_layer", &paint_cover_layer);
}
