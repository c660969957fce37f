#include "script/vec_helpers.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstdio>

#include "script/sqbind.h"
#include "world/noise.h"

using sqbind::Color;
using sqbind::Pushed;

namespace {
constexpr float TWO_PI = 6.28318530717958647692f;

vec4f add4(const vec4f& a, const vec4f& b) { return vec4f(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w); }
vec4f mul4(const vec4f& a, float s) { return vec4f(a.x * s, a.y * s, a.z * s, a.w * s); }
float dot3f(const vec4f& a, const vec4f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Components: four arguments give x, y, z, w; otherwise the first is copied
// to all four.
vec4f read_components(HSQUIRRELVM v) {
  SQInteger nargs = sq_gettop(v) - 1;
  if (nargs == 4)
    return vec4f(sqbind::get_float(v, 2), sqbind::get_float(v, 3), sqbind::get_float(v, 4), sqbind::get_float(v, 5));
  float x = sqbind::get_float(v, 2);
  return vec4f(x, x, x, x);
}

void vec_ctor(HSQUIRRELVM v) {
  vec4f c = read_components(v);
  sqbind::construct(v, new vec4f(c));
}

Pushed vec_get(HSQUIRRELVM v, vec4f& self, sqbind::SqObject key) {
  if (key.type() != OT_INTEGER) return Pushed{int(sq_throwerror(v, "vec4f index out of range"))};
  SQInteger i = sq_objtointeger(&key.obj);
  if (i < 0 || i > 3) return Pushed{int(sq_throwerror(v, "vec4f index out of range"))};
  sq_pushfloat(v, self[int(i)]);
  return Pushed{1};
}

Pushed vec_set(HSQUIRRELVM v, vec4f& self, sqbind::SqObject key, float value) {
  if (key.type() != OT_INTEGER) return Pushed{int(sq_throwerror(v, "vec4f index out of range"))};
  SQInteger i = sq_objtointeger(&key.obj);
  if (i < 0 || i > 3) return Pushed{int(sq_throwerror(v, "vec4f index out of range"))};
  self[int(i)] = value;
  sq_pushfloat(v, value);
  return Pushed{1};
}

vec4f vec_add(HSQUIRRELVM, vec4f& a, vec4f b) { return add4(a, b); }
vec4f vec_sub(HSQUIRRELVM, vec4f& a, vec4f b) { return vec4f(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w); }
vec4f vec_mul(HSQUIRRELVM, vec4f& a, vec4f b) { return vec4f(a.x * b.x, a.y * b.y, a.z * b.z, a.w * b.w); }
vec4f vec_div(HSQUIRRELVM, vec4f& a, vec4f b) { return vec4f(a.x / b.x, a.y / b.y, a.z / b.z, a.w / b.w); }
vec4f vec_unm(HSQUIRRELVM, vec4f& a) { return vec4f(-a.x, -a.y, -a.z, -a.w); }
Pushed vec_tostring(HSQUIRRELVM v, vec4f& a) {
  char buf[128];
  std::snprintf(buf, sizeof(buf), "(%g, %g, %g, %g)", double(a.x), double(a.y), double(a.z), double(a.w));
  sq_pushstring(v, buf, -1);
  return Pushed{1};
}

float getx(vec4f a) { return a.x; }
float gety(vec4f a) { return a.y; }
float getz(vec4f a) { return a.z; }
vec4f make4f(HSQUIRRELVM v) { return read_components(v); }
vec4f cross(vec4f a, vec4f b) { return vec4f(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0); }
vec4f dot3(vec4f a, vec4f b) {
  float d = dot3f(a, b);
  return vec4f(d, d, d, d);
}
vec4f len3Sq(vec4f a) { return dot3(a, a); }
vec4f len3(vec4f a) {
  float l = std::sqrt(dot3f(a, a));
  return vec4f(l, l, l, l);
}
vec4f norm3(vec4f a) {
  float l = std::sqrt(dot3f(a, a));
  return l > 0 ? mul4(a, 1.0f / l) : vec4f(0, 0, 0, 0);
}
vec4f norm3a(vec4f a) {
  float r = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(dot3f(a, a))));
  return mul4(a, r);
}

// ---- random numbers ----
int s_hmrnd() { return hmrnd(); }
int s_irnd() { return irnd(); }
float s_hmfrnd() { return hmfrnd(); }
float s_hmsrnd() { return hmsrnd(); }
float s_frnd() { return frnd(); }
float s_srnd() { return srnd(); }
float s_rndf(float a, float b) { return rndf(a, b); }
void s_set_rnd_seed(long long n) { set_rnd_seed(int64_t(n)); }
void s_randomize() { randomize_rnd_seed(); }
float s_wrap(float x) { return wrap(x); }

// ---- colours and directions ----
vec4f lerpcolor(Color c0, Color c1, float t) {
  const vec4f &a = c0.v, &b = c1.v;
  return vec4f(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z), a.w + t * (b.w - a.w));
}
vec4f mix3colors(Color c0, float w0, Color c1, float w1, Color c2, float w2) {
  return add4(add4(mul4(c0.v, w0), mul4(c1.v, w1)), mul4(c2.v, w2));
}
vec4f mix4colors(Color c0, float w0, Color c1, float w1, Color c2, float w2, Color c3, float w3) {
  return add4(add4(mul4(c0.v, w0), mul4(c1.v, w1)), add4(mul4(c2.v, w2), mul4(c3.v, w3)));
}
vec4f hsv2rgba(float h, float s, float v, float a) { return hsv_to_rgba(h, s, v, a); }
vec4f lch2rgba(float L, float c, float h, float a) { return lch_to_rgba(L, c, h, a); }
vec4f make_dir_2d(vec4f u, vec4f v, float t) {
  float c = std::cos(TWO_PI * t), s = std::sin(TWO_PI * t);
  return add4(mul4(u, c), mul4(v, s));
}
vec4f make_dir_xz(float t) { return vec4f(std::cos(TWO_PI * t), 0, std::sin(TWO_PI * t), 0); }
}  // namespace

vec4f hsv_to_rgba(float h, float s, float v, float a) {
  if (s == 0) return vec4f(v, v, v, a);
  h = std::fmod(h, 360.0f);
  if (h < 0) h += 360.0f;
  if (!(h < 360.0f)) h = 0;  // fmod of a value just below a turn, or NaN
  float hh = h / 60.0f;
  int i = int(hh);
  float f = hh - float(i);
  float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
    case 0: return vec4f(v, t, p, a);
    case 1: return vec4f(q, v, p, a);
    case 2: return vec4f(p, v, t, a);
    case 3: return vec4f(p, q, v, a);
    case 4: return vec4f(t, p, v, a);
    default: return vec4f(v, p, q, a);
  }
}

vec4f lch_to_rgba(float L, float chroma, float h, float a) {
  float hr = h * (TWO_PI / 360.0f);
  float as = chroma * std::cos(hr), bs = chroma * std::sin(hr);
  float fy = (L + 16.0f) / 116.0f, fx = fy + as / 500.0f, fz = fy - bs / 200.0f;
  auto finv = [](float f) {
    float f3 = f * f * f;
    return f3 > 0.008856f ? f3 : (f - 16.0f / 116.0f) / 7.787f;
  };
  float X = finv(fx) * 0.95047f, Y = finv(fy) * 1.0f, Z = finv(fz) * 1.08883f;
  float r = 3.2406f * X - 1.5372f * Y - 0.4986f * Z;
  float g = -0.9689f * X + 1.8758f * Y + 0.0415f * Z;
  float b = 0.0557f * X - 0.2040f * Y + 1.0570f * Z;
  auto gamma = [](float x) { return x > 0.0031308f ? 1.055f * std::pow(x, 1.0f / 2.4f) - 0.055f : 12.92f * x; };
  return vec4f(gamma(r), gamma(g), gamma(b), a);
}

void register_vec4f_and_helpers(HSQUIRRELVM vm) {
  using namespace sqbind;
  SqObject cls = create_class(vm, "vec4f", nullptr, type_tag<vec4f>());
  register_constructor<vec4f>(vm, cls, &vec_ctor);
  register_method(vm, cls, "_get", &vec_get);
  register_method(vm, cls, "_set", &vec_set);
  register_method(vm, cls, "_add", &vec_add);
  register_method(vm, cls, "_sub", &vec_sub);
  register_method(vm, cls, "_mul", &vec_mul);
  register_method(vm, cls, "_div", &vec_div);
  register_method(vm, cls, "_unm", &vec_unm);
  register_method(vm, cls, "_tostring", &vec_tostring);

  register_global(vm, "getx", &getx);
  register_global(vm, "gety", &gety);
  register_global(vm, "getz", &getz);
  register_global(vm, "make4f", &make4f);
  register_global(vm, "cross", &cross);
  register_global(vm, "dot3", &dot3);
  register_global(vm, "len3Sq", &len3Sq);
  register_global(vm, "len3", &len3);
  register_global(vm, "norm3", &norm3);
  register_global(vm, "norm3a", &norm3a);

  register_global(vm, "hmrnd", &s_hmrnd);
  register_global(vm, "irnd", &s_irnd);
  register_global(vm, "hmfrnd", &s_hmfrnd);
  register_global(vm, "hmsrnd", &s_hmsrnd);
  register_global(vm, "frnd", &s_frnd);
  register_global(vm, "srnd", &s_srnd);
  register_global(vm, "rndf", &s_rndf);
  register_global(vm, "set_rnd_seed", &s_set_rnd_seed);
  register_global(vm, "randomize_rnd_seed", &s_randomize);
  register_global(vm, "wrap", &s_wrap);

  register_global(vm, "lerpcolor", &lerpcolor);
  register_global(vm, "mix3colors", &mix3colors);
  register_global(vm, "mix4colors", &mix4colors);
  register_global(vm, "hsv2rgba", &hsv2rgba);
  register_global(vm, "lch2rgba", &lch2rgba);
  register_global(vm, "make_dir_2d", &make_dir_2d);
  register_global(vm, "make_dir_xz", &make_dir_xz);
}
