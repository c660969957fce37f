#include "script/ramp_classes.h"

#include <cstring>

#include "platform/log.h"

namespace {
inline float smooth(float x) { return x * x * (3.0f - 2.0f * x); }
inline vec4f lerp4(const vec4f& a, const vec4f& b, float t) {
  return vec4f(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t);
}
inline float lerp4(float a, float b, float t) { return a + (b - a) * t; }

template <class R, class V>
void fade_fill(R& r, const V& a, const V& b, const V& c, float fadeIn, float fadeOut) {
  for (int i = 0; i < RAMP_ENTRIES; i++) {
    float u = float(i) / 256.0f;
    if (u < fadeIn)
      r.v[i] = lerp4(a, b, smooth(u / fadeIn));
    else if (u > 1.0f - fadeOut)
      r.v[i] = lerp4(b, c, smooth((u - (1.0f - fadeOut)) / fadeOut));
    else
      r.v[i] = b;
  }
}

// Packed 0xAARRGGBB to (r, g, b, a) without touching other globals, so the
// exported ramps can be built during static initialisation in any order.
vec4f unpack(uint32_t c) {
  return vec4f(float((c >> 16) & 255) / 255.0f, float((c >> 8) & 255) / 255.0f, float(c & 255) / 255.0f,
               float(c >> 24) / 255.0f);
}

// ---- script side ----
template <class R>
R* new_ramp() {
  R* r = new R;
  std::memset(static_cast<void*>(r), 0, sizeof(R));
  return r;
}

// Fills each entry from fn(t), t = i/256, with the root table as 'this'.
template <class R, class Res>
void ramp_ctor(HSQUIRRELVM v, sqbind::SqObject fn) {
  R* r = new_ramp<R>();
  sqbind::construct(v, r);  // owned from here on, even if fn fails
  sqbind::SqObject root;
  sq_pushroottable(v);
  root.weakFromStack(v, -1);
  sq_poptop(v);
  sqbind::SqFunc f;
  f.bind(v, root, fn);
  for (int i = 0; i < RAMP_ENTRIES; i++) {
    Res e = f.call<Res>(float(i) / 256.0f);
    if constexpr (std::is_same_v<Res, sqbind::Color>)
      r->v[i] = e.v;
    else
      r->v[i] = e;
  }
}

using sqbind::Pushed;

template <class R>
Pushed dump_method(HSQUIRRELVM, R& r, const char* name) {
  dump_ramp(r, name);
  return Pushed{0};
}

sqbind::New<ColorRamp> color_const(sqbind::Color c) {
  ColorRamp* r = new_ramp<ColorRamp>();
  const_ramp(*r, c.v);
  return {r};
}
sqbind::New<ColorRamp> color_linear(sqbind::Color a, sqbind::Color b) {
  ColorRamp* r = new_ramp<ColorRamp>();
  linear_ramp(*r, a.v, b.v);
  return {r};
}
sqbind::New<ColorRamp> color_fade(sqbind::Color a, sqbind::Color b, sqbind::Color c, float fi, float fo) {
  ColorRamp* r = new_ramp<ColorRamp>();
  fade_in_out_ramp(*r, a.v, b.v, c.v, fi, fo);
  return {r};
}
sqbind::New<FloatRamp> float_const(float c) {
  FloatRamp* r = new_ramp<FloatRamp>();
  const_ramp(*r, c);
  return {r};
}
sqbind::New<FloatRamp> float_linear(float a, float b) {
  FloatRamp* r = new_ramp<FloatRamp>();
  linear_ramp(*r, a, b);
  return {r};
}
sqbind::New<FloatRamp> float_fade(float a, float b, float c, float fi, float fo) {
  FloatRamp* r = new_ramp<FloatRamp>();
  fade_in_out_ramp(*r, a, b, c, fi, fo);
  return {r};
}
}  // namespace

void const_ramp(ColorRamp& r, const vec4f& c) {
  for (vec4f& e : r.v) e = c;
}
void const_ramp(FloatRamp& r, float c) {
  for (float& e : r.v) e = c;
}
void linear_ramp(ColorRamp& r, const vec4f& a, const vec4f& b) {
  for (int i = 0; i < RAMP_ENTRIES; i++) r.v[i] = lerp4(a, b, float(i) / 256.0f);
}
void linear_ramp(FloatRamp& r, float a, float b) {
  for (int i = 0; i < RAMP_ENTRIES; i++) r.v[i] = a + (b - a) * (float(i) / 256.0f);
}
void fade_in_out_ramp(ColorRamp& r, const vec4f& a, const vec4f& b, const vec4f& c, float fadeIn, float fadeOut) {
  fade_fill(r, a, b, c, fadeIn, fadeOut);
}
void fade_in_out_ramp(FloatRamp& r, float a, float b, float c, float fadeIn, float fadeOut) {
  fade_fill(r, a, b, c, fadeIn, fadeOut);
}

void dump_ramp(const ColorRamp& r, const char* name) {
  debug_("\nstatic ColorRamp %s=\n{\n ", name);
  for (int i = 0; i < RAMP_ENTRIES; i++) {
    const vec4f& e = r.v[i];
    debug_(" make4f(%g, %g, %g, %g),", double(e.x), double(e.y), double(e.z), double(e.w));
    if (i % 4 == 3) debug_("\n ");
  }
  debug("\n};\n");
}

void dump_ramp(const FloatRamp& r, const char* name) {
  debug_("\nstatic FloatRamp %s=\n{\n ", name);
  for (int i = 0; i < RAMP_ENTRIES; i++) {
    debug_(" %g,", double(r.v[i]));
    if (i % 8 == 7) debug_("\n ");
  }
  debug("\n};\n");
}

void register_ramp_classes(HSQUIRRELVM vm) {
  using namespace sqbind;
  SqObject cr = create_class(vm, "ColorRamp", nullptr, type_tag<ColorRamp>());
  register_constructor<ColorRamp>(vm, cr, &ramp_ctor<ColorRamp, Color>);
  register_method(vm, cr, "get", &ColorRamp::get);
  register_method(vm, cr, "dump", &dump_method<ColorRamp>);
  register_class_function(vm, cr, "constRamp", &color_const);
  register_class_function(vm, cr, "linear", &color_linear);
  register_class_function(vm, cr, "fadeInOut", &color_fade);

  SqObject fr = create_class(vm, "FloatRamp", nullptr, type_tag<FloatRamp>());
  register_constructor<FloatRamp>(vm, fr, &ramp_ctor<FloatRamp, float>);
  register_method(vm, fr, "get", &FloatRamp::get);
  register_method(vm, fr, "dump", &dump_method<FloatRamp>);
  register_class_function(vm, fr, "constRamp", &float_const);
  register_class_function(vm, fr, "linear", &float_linear);
  register_class_function(vm, fr, "fadeInOut", &float_fade);
}

// ---- exported ramps ----
ColorRamp blend_std_fade_anim;
ColorRamp blend_rev_fade_anim;
ColorRamp blend_end_fade_anim;
ColorRamp glow_std_fade_anim;
FloatRamp size_05_2_anim;
FloatRamp size_05_4_anim;
FloatRamp std_roll_anim;  // all zero; never filled

namespace {
struct FillExportedRamps {
  FillExportedRamps() {
    vec4f clear_white = unpack(0x00ffffff), white = unpack(0xffffffff), clear_black = unpack(0x00000000);
    fade_in_out_ramp(blend_std_fade_anim, clear_white, white, clear_white, 0.1f, 0.9f);
    fade_in_out_ramp(blend_rev_fade_anim, clear_white, white, clear_white, 0.9f, 0.1f);
    fade_in_out_ramp(blend_end_fade_anim, clear_white, white, clear_white, 0.1f, 0.1f);
    fade_in_out_ramp(glow_std_fade_anim, clear_black, white, clear_black, 0.1f, 0.9f);
    linear_ramp(size_05_2_anim, 0.5f, 2.0f);
    linear_ramp(size_05_4_anim, 0.5f, 4.0f);
  }
} fill_exported_ramps;
}  // namespace
