#include "script/worldgen_script.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/globals.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "world/world_step.h"
#include "script/error_place.h"
#include "script/mask_paint.h"
#include "script/ramp_classes.h"
#include "script/vec_helpers.h"
#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/world_step.h"

using namespace HeightmapData;
using sqbind::Color;
using sqbind::New;
using sqbind::Nullable;
using sqbind::Pushed;
using sqbind::SqFunc;
using sqbind::SqObject;

WorldGenHooks world_gen_hooks;
SqReloadableVM world_gen_vm;

namespace {
SqFunc generate_world_func;
char world_gen_error[1024];
// The message on screen came from loading the scripts: it stays there until
// the next load, whatever generating with what did load does (that goes to
// the log), because the broken file is what the author has to fix.
bool load_error_shown = false;
int world_gen_ms = 0;
// The seed the world on screen was generated from, so that a reload can make
// the same world again with the edited script.
uint64_t shown_world_seed = 0;
int generations = 0;
bool has_shown_world = false;
// The sea level the script reported for the last world (set_sea_level).
float reported_sea_level = 0;
bool has_sea_level = false;

void s_set_sea_level(float h) {
  reported_sea_level = h;
  has_sea_level = true;
}

bool is_pow2(SQInteger t) { return t > 0 && (t & (t - 1)) == 0; }

// Script-visible error: raised in the script, reaches its try/catch and the
// owner's error report.
Pushed script_error(HSQUIRRELVM v, const char* text) { return Pushed{int(sq_throwerror(v, text))}; }

// ---- argument and result checks ----
// The world API refuses what would hang the game (huge radii, counts,
// octaves) or poison the world (non-finite numbers) with a script error that
// names the function and the allowed range.
constexpr int MAX_OCTAVES = 16;
constexpr int MAX_TILE = 256;
constexpr int MAX_NOISE_SCALE = 64;
constexpr float MAX_CRATER_RADIUS = 128.0f;
constexpr int MAX_DROPLETS = 250000;  // about 2 s of erosion, ten times the game's own

// The outcome of an argument check: it owns its message, so that checks
// evaluated together each keep their own. Reads as null when it passed.
struct Check {
  char text[256] = "";
  operator const char*() const { return text[0] ? text : nullptr; }
};

Check check_failed(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
Check check_failed(const char* fmt, ...) {
  Check c;
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(c.text, sizeof(c.text), fmt, args);
  va_end(args);
  return c;
}

// Passes when lo <= value <= hi (NaN never does).
Check out_of_range(const char* fn, const char* arg, double value, double lo, double hi) {
  if (value >= lo && value <= hi) return Check{};
  return check_failed("%s(): %s must be in %g..%g (got %g)", fn, arg, lo, hi, value);
}

Check not_finite(const char* fn, const char* arg, double value) {
  if (std::isfinite(value)) return Check{};
  return check_failed("%s(): %s must be a finite number (got %g)", fn, arg, value);
}

// Keeps the long-standing text for a tile that is no power of 2.
Check bad_tile(const char* fn, SQInteger tile) {
  if (!is_pow2(tile)) return check_failed("tile must be power of 2 in %s()", fn);
  return out_of_range(fn, "tile", double(tile), 1, MAX_TILE);
}

// The first failed check of a list, in the list's order; passes when all did.
Check first_error(std::initializer_list<Check> checks) {
  for (const Check& c : checks)
    if (c) return c;
  return Check{};
}

// Finds non-finite heights or water depths a call left in the world: they
// become zero (the world stays drawable) and the call fails naming itself.
Check non_finite_world(const char* fn) {
  int bad = -1;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float& d = water[i >> HMAP_SIZE_SHIFT][i & HMAP_MASK].depth;
    if (std::isfinite(hmap[i]) && std::isfinite(d)) continue;
    if (bad < 0) bad = i;
    if (!std::isfinite(hmap[i])) hmap[i] = 0.0f;
    if (!std::isfinite(d)) d = 0.0f;
  }
  if (bad < 0) return Check{};
  return check_failed("%s() made a non-finite height or water depth at cell (%d, %d)", fn, bad & HMAP_MASK,
                      bad >> HMAP_SIZE_SHIFT);
}

Check non_finite_result(const char* fn, float value, int x, int z) {
  return check_failed("%s(): the function returned %g for cell (%d, %d)", fn, value, x, z);
}

Check faults_args_error(const char* fn, int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale,
                              int octaves, float sharpness) {
  return first_error({bad_tile(fn, tile), out_of_range(fn, "noiseScale", noiseScale, 0, MAX_NOISE_SCALE),
                      out_of_range(fn, "octaves", octaves, 0, MAX_OCTAVES), not_finite(fn, "min_ht", min_ht),
                      not_finite(fn, "max_ht", max_ht), not_finite(fn, "noiseAmp", noiseAmp),
                      not_finite(fn, "sharpness", sharpness)});
}

// The world API's answer: a script error for a failed check, else n results.
Pushed checked(HSQUIRRELVM v, const char* err, int n = 0) { return err ? script_error(v, err) : Pushed{n}; }

// A function argument bound with the root table as its environment.
SqFunc root_func(HSQUIRRELVM v, const SqObject& fn) {
  SqObject root;
  sq_pushroottable(v);
  root.weakFromStack(v, -1);
  sq_poptop(v);
  SqFunc f;
  f.bind(v, root, fn);
  return f;
}

bool is_callable(const SqObject& o) {
  return o.type() == OT_CLOSURE || o.type() == OT_NATIVECLOSURE || o.type() == OT_INSTANCE ||
         o.type() == OT_TABLE;
}

// ---- HmapMask ----
HmapMask* new_mask() { return new HmapMask; }

void mask_ctor(HSQUIRRELVM v, SqObject init) {
  HmapMask* m = new_mask();
  sqbind::construct(v, m);  // owned from here on
  if (init.type() == OT_INTEGER || init.type() == OT_FLOAT) {
    float x = sq_objtofloat(&init.obj);
    if (Check err = not_finite("HmapMask", "the value", x)) throw sqbind::SquirrelError(err);
    for (float& c : m->v) c = x;
    return;
  }
  if (!is_callable(init)) throw sqbind::SquirrelError(sqbind::TYPE_ERROR);
  SqFunc f = root_func(v, init);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      float value = f.call<float>(x, z);
      if (!std::isfinite(value)) throw sqbind::SquirrelError(non_finite_result("HmapMask", value, x, z));
      m->v[cellIndex(x, z)] = value;
    }
}

float mask_getraw(HSQUIRRELVM, HmapMask& m, int x, int z) { return m.v[cellIndex(x, z)]; }

float mask_get(HSQUIRRELVM, HmapMask& m, float x, float z) {
  int ix = world_round(x - 0.49999988f), iz = world_round(z - 0.49999988f);
  float fx = x - float(ix), fz = z - float(iz);
  float a = m.v[cellIndex(ix, iz)], b = m.v[cellIndex(ix + 1, iz)];
  float c = m.v[cellIndex(ix, iz + 1)], d = m.v[cellIndex(ix + 1, iz + 1)];
  float top = a + (b - a) * fx, bottom = c + (d - c) * fx;
  return top + (bottom - top) * fz;
}

void min_max(const float* p, float& lo, float& hi) {
  lo = hi = p[0];
  for (int i = 1; i < HMAP_CELLS; i++) {
    if (p[i] < lo)
      lo = p[i];
    else if (p[i] > hi)
      hi = p[i];
  }
}

Pushed mask_minmax(HSQUIRRELVM v, HmapMask& m) {
  float lo, hi;
  min_max(m.v, lo, hi);
  sq_newarray(v, 0);
  sq_pushfloat(v, lo);
  sq_arrayappend(v, -2);
  sq_pushfloat(v, hi);
  sq_arrayappend(v, -2);
  return Pushed{1};
}

New<HmapMask> mask_fast_noise(float amplitude, float persistence) {
  HmapMask* m = new_mask();
  makeFastNoise(m->v, amplitude, persistence);
  return {m};
}

New<HmapMask> mask_from_height() {
  HmapMask* m = new_mask();
  std::memcpy(m->v, hmap, sizeof(m->v));
  return {m};
}

New<HmapMask> mask_from_slope() {
  HmapMask* m = new_mask();
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      auto h = [x, z](int dx, int dz) { return hmap[cellIndex(x + dx, z + dz)]; };
      float nx = (h(-1, -1) + 2 * h(-1, 0) + h(-1, 1)) - (h(1, -1) + 2 * h(1, 0) + h(1, 1));
      float nz = (h(-1, -1) + 2 * h(0, -1) + h(1, -1)) - (h(-1, 1) + 2 * h(0, 1) + h(1, 1));
      m->v[cellIndex(x, z)] = 8.0f / std::sqrt(nx * nx + 64.0f + nz * nz);
    }
  return {m};
}

New<HmapMask> mask_from_water() {
  HmapMask* m = new_mask();
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) m->v[cellIndex(x, z)] = water[z][x].depth;
  return {m};
}

Pushed mask_from_simplex(HSQUIRRELVM v, float scale, int tile, int octaves, Nullable<const FloatRamp> ramp,
                         float gain) {
  if (Check err = first_error({bad_tile("fromSimplexNoise", tile),
                                     out_of_range("fromSimplexNoise", "octaves", octaves, 0, MAX_OCTAVES),
                                     not_finite("fromSimplexNoise", "scale", scale),
                                     not_finite("fromSimplexNoise", "gain", gain)}))
    return script_error(v, err);
  HmapMask* m = new_mask();
  float f = float(tile) / 256.0f;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++)
      m->v[cellIndex(x, z)] = tiled_fractal_noise2(float(x) * f, float(z) * f, tile, octaves, ramp, gain) * scale;
  sqbind::push_owned(v, m);
  return Pushed{1};
}

Pushed mask_from_hills(HSQUIRRELVM v, int tile, float min_ht, float max_ht, float radius) {
  if (Check err = first_error({bad_tile("fromVoronoiHills", tile),
                                     not_finite("fromVoronoiHills", "min_ht", min_ht),
                                     not_finite("fromVoronoiHills", "max_ht", max_ht),
                                     not_finite("fromVoronoiHills", "radius", radius)}))
    return script_error(v, err);
  HmapMask* m = new_mask();
  fillVoronoiHills(m->v, tile, min_ht, max_ht, radius);
  sqbind::push_owned(v, m);
  return Pushed{1};
}

Pushed mask_from_faults(HSQUIRRELVM v, int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale,
                        int octaves, float sharpness) {
  if (Check err = faults_args_error("fromVoronoiFaults", tile, min_ht, max_ht, noiseAmp, noiseScale, octaves,
                                          sharpness))
    return script_error(v, err);
  HmapMask* m = new_mask();
  fillVoronoiFaults(m->v, tile, min_ht, max_ht, noiseAmp, noiseScale, octaves, sharpness);
  sqbind::push_owned(v, m);
  return Pushed{1};
}

// ---- mask and paint functions ----
// Calls f for each cell; a non-finite answer stops with an error naming fn.
template <class Cell>
Pushed apply_mask(HSQUIRRELVM v, Nullable<HmapMask> mask, SqObject func, const char* fn, const char* err, Cell cell) {
  if (func.isNull()) {
    if (!mask) return script_error(v, err);
    for (int i = 0; i < HMAP_CELLS; i++) cell(i) += mask->v[i];
    return checked(v, non_finite_world(fn));
  }
  SqFunc f = root_func(v, func);
  for (int i = 0; i < HMAP_CELLS; i++) {
    float value = mask ? f.call<float>(cell(i), mask->v[i]) : f.call<float>(cell(i));
    if (!std::isfinite(value)) return script_error(v, non_finite_result(fn, value, i & HMAP_MASK, i >> HMAP_SIZE_SHIFT));
    cell(i) = value;
  }
  return Pushed{0};
}

Pushed apply_height_mask(HSQUIRRELVM v, Nullable<HmapMask> mask, SqObject func) {
  return apply_mask(v, mask, func, "apply_height_mask", "no mask and no func in apply_height_mask()",
                    [](int i) -> float& { return hmap[i]; });
}

Pushed apply_water_mask(HSQUIRRELVM v, Nullable<HmapMask> mask, SqObject func) {
  return apply_mask(v, mask, func, "apply_water_mask", "no mask and no func in apply_water_mask()",
                    [](int i) -> float& { return water[i >> HMAP_SIZE_SHIFT][i & HMAP_MASK].depth; });
}

void set_plain_soil(Surface& s, D3dColor ground) {
  s.groundColor = ground;
  s.coverColor = D3dColor(0);
  s.setGroundType(GT_SOIL);
  s.setSurfaceType(ST_NONE);
}

void recolor_by_height(const ColorRamp* ramp, Nullable<HmapMask> mask) {
  const float* src = mask ? mask->v : hmap;
  float lo, hi;
  min_max(src, lo, hi);
  float range = hi - lo;
  float inv = range > 0 ? 1.0f / range : 0.0f;  // a flat layer reads the ramp's start
  for (int i = 0; i < HMAP_CELLS; i++)
    set_plain_soil(surface[i], vec4f_to_color(ramp->get((src[i] - lo) * inv)));
}

void recolor_land4(Color c0, Color c1, Color c2, Color c3) {
  for (int i = 0; i < HMAP_CELLS; i++) {
    vec4f w = color_to_vec4f(surface[i].groundColor);
    float sum = w.x + w.y + w.z + w.w;
    if (!(sum > 0)) w = vec4f(1, 1, 1, 1), sum = 4;  // no weights: an even mix
    float k = 1.0f / sum;
    vec4f c;
    for (int ch = 0; ch < 4; ch++)
      c[ch] = (w.x * c0.v[ch] + w.y * c1.v[ch] + w.z * c2.v[ch] + w.w * c3.v[ch]) * k;
    set_plain_soil(surface[i], vec4f_to_color(c));
  }
}

// Pushes element i of the array at stack slot arr.
void push_element(HSQUIRRELVM v, SQInteger arr, SQInteger i) {
  sq_push(v, arr);
  sq_pushinteger(v, i);
  if (SQ_FAILED(sq_get(v, -2))) {
    sq_poptop(v);
    sqbind::throw_last_error(v);
  }
  sq_remove(v, -2);
}

vec4f element_color(HSQUIRRELVM v, SQInteger arr, SQInteger i) {
  push_element(v, arr, i);
  vec4f c;
  try {
    c = sqbind::get_color(v, -1);
  } catch (...) {
    sq_poptop(v);
    throw;
  }
  sq_poptop(v);
  return c;
}

int element_int(HSQUIRRELVM v, SQInteger arr, SQInteger i) {
  push_element(v, arr, i);
  SQInteger n = 0;
  bool ok = sq_gettype(v, -1) == OT_INTEGER && SQ_SUCCEEDED(sq_getinteger(v, -1, &n));
  sq_poptop(v);
  if (!ok) throw sqbind::SquirrelError(sqbind::TYPE_ERROR);
  return int(n);
}

Pushed repaint_land(HSQUIRRELVM v, SqObject func) {
  if (func.isNull()) return script_error(v, "null function in repaint_land()");
  SqFunc f = root_func(v, func);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      Surface& s = surface[cellIndex(x, z)];
      f.pushCall();
      sq_pushinteger(v, x);
      sq_pushinteger(v, z);
      sqbind::push_vec4f(v, color_to_vec4f(s.groundColor));
      sqbind::push_vec4f(v, color_to_vec4f(s.coverColor));
      f.doCall(4);
      struct Pop2 {
        HSQUIRRELVM v;
        ~Pop2() { sq_pop(v, 2); }
      } pop{v};
      SQInteger res = sq_gettop(v);
      SQInteger n = sq_gettype(v, res) == OT_ARRAY ? sq_getsize(v, res) : -1;
      if (n == 2) {
        vec4f g = element_color(v, res, 0);
        int gt = element_int(v, res, 1);
        s.groundColor = vec4f_to_color(g);
        s.coverColor = D3dColor(0);
        s.setGroundType(gt);
        s.setSurfaceType(ST_NONE);
      } else if (n == 4) {
        vec4f g = element_color(v, res, 0);
        int gt = element_int(v, res, 1);
        vec4f c = element_color(v, res, 2);
        int st = element_int(v, res, 3);
        s.groundColor = vec4f_to_color(g);
        s.setGroundType(gt);
        s.coverColor = vec4f_to_color(c);
        s.setSurfaceType(st);
      } else {
        throw sqbind::SquirrelError("repaint_land() function must return [color, groundType] or "
                                    "[groundColor, groundType, coverColor, surfaceType]");
      }
    }
  return Pushed{0};
}

// ---- terrain and noise functions ----
// The native generators treat broken preconditions as fatal; a script can
// be edited while the game runs, so its calls are checked here first and
// refused with a script error instead.
void s_place_house(int x, int z, int type) { placeHouse(x, z, type, hmap, false); }

Pushed s_add_fast_noise(HSQUIRRELVM v, float min_ht, float max_ht, Nullable<const ColorRamp> ramp, int groundType,
                        int alpha, float persistence) {
  if (!(min_ht <= max_ht)) return script_error(v, "min_ht<=max_ht failed in add_fast_noise()");
  if (!(min_ht >= 0)) return script_error(v, "min_ht>=0 failed in add_fast_noise()");
  if (Check err = first_error({not_finite("add_fast_noise", "max_ht", max_ht),
                                     not_finite("add_fast_noise", "persistence", persistence)}))
    return script_error(v, err);
  addFastNoise(min_ht, max_ht, ramp, groundType, alpha, persistence);
  return checked(v, non_finite_world("add_fast_noise"));
}

Pushed s_add_simplex_noise(HSQUIRRELVM v, float min_ht, float max_ht, int tile, int octaves, float gain) {
  if (!(min_ht <= max_ht)) return script_error(v, "min_ht<=max_ht failed in add_simplex_noise()");
  if (!(min_ht >= 0)) return script_error(v, "min_ht>=0 failed in add_simplex_noise()");
  if (Check err = first_error({bad_tile("add_simplex_noise", tile),
                                     out_of_range("add_simplex_noise", "octaves", octaves, 0, MAX_OCTAVES),
                                     not_finite("add_simplex_noise", "max_ht", max_ht),
                                     not_finite("add_simplex_noise", "gain", gain)}))
    return script_error(v, err);
  addSimplexNoise(min_ht, max_ht, tile, octaves, gain);
  return checked(v, non_finite_world("add_simplex_noise"));
}

Pushed s_gen_fault(HSQUIRRELVM v, float x, float z, float dx, float dz, float height, float balance, float noiseAmp,
                   Nullable<const ColorRamp> ramp, int groundType) {
  const char* fn = "gen_fault";
  if (Check err = first_error({not_finite(fn, "x", x), not_finite(fn, "z", z), not_finite(fn, "dx", dx),
                                     not_finite(fn, "dz", dz), not_finite(fn, "height", height),
                                     not_finite(fn, "balance", balance), not_finite(fn, "noiseAmp", noiseAmp)}))
    return script_error(v, err);
  genFault(Point2{x, z}, Point2{dx, dz}, height, balance, noiseAmp, ramp, groundType, 255, hmap);
  return checked(v, non_finite_world(fn));
}

Pushed s_gen_crater(HSQUIRRELVM v, float x, float z, float radius, float steepness) {
  const char* fn = "gen_crater";
  if (Check err = first_error({not_finite(fn, "x", x), not_finite(fn, "z", z),
                                     out_of_range(fn, "radius", radius, 0, MAX_CRATER_RADIUS),
                                     not_finite(fn, "steepness", steepness)}))
    return script_error(v, err);
  genCrater(Point2{x, z}, radius, steepness, hmap);
  return checked(v, non_finite_world(fn));
}

// Every erosion constant must be a finite number.
Check erosion_params_error(const ErosionParams& p) {
  const char* fn = "gen_droplet_erosion";
  return first_error({not_finite(fn, "Kq", p.Kq), not_finite(fn, "Kw", p.Kw), not_finite(fn, "Kr", p.Kr),
                      not_finite(fn, "Kd", p.Kd), not_finite(fn, "Ki", p.Ki), not_finite(fn, "minSlope", p.minSlope),
                      not_finite(fn, "g", p.g), not_finite(fn, "depositBlend", p.depositBlend),
                      not_finite(fn, "reactionTime", p.reactionTime)});
}

// Reads a float slot of the table at stack slot t when present.
void table_float(HSQUIRRELVM v, SQInteger t, const char* key, float& out) {
  sq_pushstring(v, key, -1);
  if (SQ_FAILED(sq_rawget(v, t))) return;
  SQFloat f = 0;
  bool ok = SQ_SUCCEEDED(sq_getfloat(v, -1, &f));
  sq_poptop(v);
  if (!ok) throw sqbind::SquirrelError(sqbind::TYPE_ERROR);
  out = f;
}

Pushed s_gen_droplet_erosion(HSQUIRRELVM v, int numDroplets, SqObject params) {
  if (numDroplets < 0) return script_error(v, "numDroplets must not be negative in gen_droplet_erosion()");
  if (Check err = out_of_range("gen_droplet_erosion", "numDroplets", numDroplets, 0, MAX_DROPLETS))
    return script_error(v, err);
  ErosionParams p;
  if (!params.isNull()) {
    if (params.type() != OT_TABLE) throw sqbind::SquirrelError(sqbind::TYPE_ERROR);
    SQInteger top = sq_gettop(v);
    sq_pushobject(v, params.obj);
    SQInteger t = sq_gettop(v);
    try {
      table_float(v, t, "Kq", p.Kq);
      table_float(v, t, "Kw", p.Kw);
      table_float(v, t, "Kr", p.Kr);
      table_float(v, t, "Kd", p.Kd);
      table_float(v, t, "Ki", p.Ki);
      table_float(v, t, "minSlope", p.minSlope);
      table_float(v, t, "g", p.g);
      table_float(v, t, "depositBlend", p.depositBlend);
      table_float(v, t, "reactionTime", p.reactionTime);
      sq_pushstring(v, "reactions", -1);
      if (SQ_SUCCEEDED(sq_rawget(v, t))) {
        SQInteger arr = sq_gettop(v);
        if (sq_gettype(v, arr) != OT_ARRAY) throw sqbind::SquirrelError(sqbind::TYPE_ERROR);
        SQInteger n = sq_getsize(v, arr);
        for (SQInteger i = 0; i < n; i++) {
          push_element(v, arr, i);
          SQInteger r = sq_gettop(v);
          if (sq_gettype(v, r) != OT_ARRAY) throw sqbind::SquirrelError(sqbind::TYPE_ERROR);
          vec4f from = sqbind::get_vec4f(v, (push_element(v, r, 0), -1));
          sq_poptop(v);
          vec4f to = sqbind::get_vec4f(v, (push_element(v, r, 1), -1));
          sq_poptop(v);
          float k = sqbind::get_array_float(v, r, 2);
          p.reactions.push_back(make_erosion_reaction(from, to, k));
          sq_poptop(v);
        }
      }
    } catch (...) {
      sq_settop(v, top);
      throw;
    }
    sq_settop(v, top);
  }
  if (Check err = erosion_params_error(p)) return script_error(v, err);
  genDropletErosion(unsigned(numDroplets), p);
  return checked(v, non_finite_world("gen_droplet_erosion"));
}

Pushed s_add_voronoi_hills(HSQUIRRELVM v, int tile, float min_ht, float max_ht, float radius) {
  if (Check err = first_error({bad_tile("add_voronoi_hills", tile),
                                     not_finite("add_voronoi_hills", "min_ht", min_ht),
                                     not_finite("add_voronoi_hills", "max_ht", max_ht),
                                     not_finite("add_voronoi_hills", "radius", radius)}))
    return script_error(v, err);
  addVoronoiHills(tile, min_ht, max_ht, radius);
  return checked(v, non_finite_world("add_voronoi_hills"));
}

Pushed s_gen_voronoi_faults(HSQUIRRELVM v, int tile, float min_ht, float max_ht, float noiseAmp, int noiseScale,
                            int octaves, float sharpness) {
  if (Check err = faults_args_error("gen_voronoi_faults", tile, min_ht, max_ht, noiseAmp, noiseScale, octaves,
                                          sharpness))
    return script_error(v, err);
  genVoronoiFaults(tile, min_ht, max_ht, noiseAmp, noiseScale, octaves, sharpness);
  return checked(v, non_finite_world("gen_voronoi_faults"));
}

float s_recenter_hmap() { return recenterHt(); }
void s_reseed_noise() { reseed_noise(); }
float s_noise1(float x) { return noise1(x); }
Pushed s_fractal_noise1(HSQUIRRELVM v, float x, int octaves, Nullable<const FloatRamp> ramp, float gain) {
  if (Check err = out_of_range("fractal_noise1", "octaves", octaves, 0, MAX_OCTAVES)) return script_error(v, err);
  sq_pushfloat(v, fractal_noise1(x, octaves, ramp, gain));
  return Pushed{1};
}
float s_tiled_noise2(float x, float y, int tile) { return tiled_noise2(x, y, tile); }
Pushed s_tiled_fractal_noise2(HSQUIRRELVM v, float x, float y, int tile, int octaves, Nullable<const FloatRamp> ramp,
                              float gain) {
  if (Check err = out_of_range("tiled_fractal_noise2", "octaves", octaves, 0, MAX_OCTAVES))
    return script_error(v, err);
  sq_pushfloat(v, tiled_fractal_noise2(x, y, tile, octaves, ramp, gain));
  return Pushed{1};
}
int s_get_noise_hash1(int i) { return get_noise_hash1(i); }
int s_get_noise_hash2(int x, int y) { return get_noise_hash2(x, y); }

void add_const(HSQUIRRELVM v, const char* name, SQInteger value) {
  sq_pushstring(v, name, -1);
  sq_pushinteger(v, value);
  sq_newslot(v, -3, SQFalse);
}

void register_masks_and_paint(HSQUIRRELVM vm) {
  using namespace sqbind;
  SqObject cls = create_class(vm, "HmapMask", nullptr, type_tag<HmapMask>());
  register_constructor<HmapMask>(vm, cls, &mask_ctor);
  register_method(vm, cls, "getraw", &mask_getraw);
  register_method(vm, cls, "get", &mask_get);
  register_method(vm, cls, "calcMinMax", &mask_minmax);
  register_class_function(vm, cls, "fastNoise", &mask_fast_noise);
  register_class_function(vm, cls, "fromHeight", &mask_from_height);
  register_class_function(vm, cls, "fromSlope", &mask_from_slope);
  register_class_function(vm, cls, "fromWater", &mask_from_water);
  register_class_function(vm, cls, "fromSimplexNoise", &mask_from_simplex);
  register_class_function(vm, cls, "fromVoronoiHills", &mask_from_hills);
  register_class_function(vm, cls, "fromVoronoiFaults", &mask_from_faults);
  register_mask_paint(vm, cls);

  register_global(vm, "apply_height_mask", &apply_height_mask);
  register_global(vm, "apply_water_mask", &apply_water_mask);
  register_global(vm, "recolor_by_height", &recolor_by_height);
  register_global(vm, "recolor_land4", &recolor_land4);
  register_global(vm, "repaint_land", &repaint_land);
}

void register_terrain_and_constants(HSQUIRRELVM vm) {
  using namespace sqbind;
  register_global(vm, "place_house", &s_place_house);
  register_global(vm, "set_sea_level", &s_set_sea_level);
  register_global(vm, "add_fast_noise", &s_add_fast_noise);
  register_global(vm, "add_simplex_noise", &s_add_simplex_noise);
  register_global(vm, "gen_fault", &s_gen_fault);
  register_global(vm, "gen_crater", &s_gen_crater);
  register_global(vm, "gen_droplet_erosion", &s_gen_droplet_erosion);
  register_global(vm, "add_voronoi_hills", &s_add_voronoi_hills);
  register_global(vm, "gen_voronoi_faults", &s_gen_voronoi_faults);
  register_global(vm, "recenter_hmap", &s_recenter_hmap);
  register_global(vm, "reseed_noise", &s_reseed_noise);
  register_global(vm, "noise1", &s_noise1);
  register_global(vm, "fractal_noise1", &s_fractal_noise1);
  register_global(vm, "tiled_noise2", &s_tiled_noise2);
  register_global(vm, "tiled_fractal_noise2", &s_tiled_fractal_noise2);
  register_global(vm, "get_noise_hash1", &s_get_noise_hash1);
  register_global(vm, "get_noise_hash2", &s_get_noise_hash2);

  sq_pushconsttable(vm);
  add_const(vm, "HMAP_SIZE", HMAP_SIZE);
  add_const(vm, "HMAP_SIZE_SHIFT", HMAP_SIZE_SHIFT);
  add_const(vm, "GT_NONE", GT_NONE);
  add_const(vm, "GT_HOUSE", GT_HOUSE);
  add_const(vm, "GT_ROCK", GT_ROCK);
  add_const(vm, "GT_SAND", GT_SAND);
  add_const(vm, "GT_SOIL", GT_SOIL);
  add_const(vm, "ST_OPEN", ST_OPEN);
  add_const(vm, "ST_NONE", ST_NONE);
  add_const(vm, "ST_GRASS", ST_GRASS);
  add_const(vm, "ST_ASH", ST_ASH);
  add_const(vm, "ST_SNOW", ST_SNOW);
  add_const(vm, "ST_ROAD", ST_ROAD);
  sq_poptop(vm);
}

void lookup_generate_world() { generate_world_func.bind(world_gen_vm.vm, "generate_world"); }

// Why the main script did not load: a missing file says so, anything else
// is the VM's last error.
sqbind::SquirrelError load_error(const char* main_script) {
  TempString full = make_full_path(main_script);
  FILE* f = std::fopen(full.c_str(), "rb");
  if (!f) {
    char shown[260], buf[512];
    std::snprintf(buf, sizeof(buf), "can't open script file '%s'",
                  sqbind::display_script_path(full.c_str(), shown, sizeof(shown)));
    return sqbind::SquirrelError(buf);
  }
  std::fclose(f);
  return sqbind::last_error(world_gen_vm.vm);
}

int64_t ref_ms_since(int64_t start) { return get_time_msec(get_ref_time() - start); }
}  // namespace

void show_world_gen_error(const sqbind::SquirrelError& e) {
  // With its place in the script, on screen, and in the log unless the VM's
  // handler has already written it there.
  sqbind::script_error_message(world_gen_error, sizeof(world_gen_error), "%s", e);
  char msg[1400];
  std::snprintf(msg, sizeof(msg), WORLD_GEN_ERROR, world_gen_error);
  set_error_message(msg);
  sqbind::log_script_error("Error in world gen script", e);
}

const char* last_world_gen_error() { return world_gen_error; }
int world_generation_count() { return generations; }
uint64_t last_world_seed() { return shown_world_seed; }
void note_loaded_world_seed(uint64_t seed) {
  shown_world_seed = seed;
  has_shown_world = true;
}
bool last_world_sea_level(float& level) {
  level = reported_sea_level;
  return has_sea_level;
}
int last_world_gen_ms() { return world_gen_ms; }

void register_world_gen_api(HSQUIRRELVM vm) {
  register_ramp_classes(vm);
  register_masks_and_paint(vm);
  if (world_gen_hooks.bindGameobj) world_gen_hooks.bindGameobj(vm);
  register_vec4f_and_helpers(vm);
  register_terrain_and_constants(vm);
}

bool create_world_gen_vm(const char* main_script) {
  world_gen_error[0] = 0;
  world_gen_vm.call_time_limit = WORLD_GEN_TIME_LIMIT_S;
  load_error_shown = false;
  if (!world_gen_vm.open(1024)) fatal("error creating world gen script VM");
  register_world_gen_api(world_gen_vm.vm);
  sqbind::mark_errors(world_gen_vm.vm);
  // A VM made again keeps its file list, where include would find the main
  // script listed and skip it: then every listed file runs again instead.
  bool loaded = world_gen_vm.files.empty() ? world_gen_vm.include(main_script) : world_gen_vm.reload(true);
  if (!loaded) {
    show_world_gen_error(load_error(main_script));
    load_error_shown = true;
    return false;
  }
  lookup_generate_world();
  // The main script ran, but a file it included may have failed.
  if (const sqbind::SquirrelError* swallowed = sqbind::first_error_since_mark(world_gen_vm.vm)) {
    show_world_gen_error(*swallowed);
    load_error_shown = true;
    return false;
  }
  return true;
}

bool generate_world() {
  report_progress("Generating new world...", -1);
  int64_t start = get_ref_time();
  if (world_gen_hooks.removeAllGameobj) world_gen_hooks.removeAllGameobj();
  if (world_gen_hooks.playerWorldStart) world_gen_hooks.playerWorldStart();
  reset();
  debug("game_rnd_seed=%llu;", (unsigned long long)game_rnd_seed);
  shown_world_seed = game_rnd_seed;
  has_shown_world = true;
  generations++;
  has_sea_level = false;

  bool ok = true;
  HSQUIRRELVM vm = world_gen_vm.vm;
  SQInteger top = vm ? sq_gettop(vm) : 0;
  // A script that failed to load already shows why it has no function:
  // keep that message (with its line) instead of replacing it.
  bool load_failed = generate_world_func.isNull() && load_error_shown;
  if (load_failed) ok = false;
  if (!load_failed) try {
    if (generate_world_func.isNull()) throw sqbind::SquirrelError("No 'generate_world' function in script");
    generate_world_func.call();
    sq_collectgarbage(vm);
    if (!load_error_shown) world_gen_error[0] = 0;
  } catch (const sqbind::SquirrelError& e) {
    if (vm) sq_settop(vm, top);
    if (load_error_shown) {
      // The load error stays on screen; this one goes to the log.
      sqbind::log_script_error("Error in world gen script", e);
    } else {
      show_world_gen_error(e);
    }
    ok = false;
  }

  std::memcpy(target_hmap, hmap, sizeof(target_hmap));
  std::memcpy(tmpw, water, sizeof(tmpw));
  if (world_gen_hooks.resetCommonFx) world_gen_hooks.resetCommonFx();
  if (world_hooks.heightsChanged) world_hooks.heightsChanged();
  if (world_hooks.restartClock) world_hooks.restartClock();
  world_gen_ms = int(ref_ms_since(start));
  debug("generated world in %d ms", world_gen_ms);
  return ok;
}

bool world_gen_reload_check() {
  if (!world_gen_vm.vm || !world_gen_vm.isChanged()) return false;
  set_error_message(nullptr);
  world_gen_error[0] = 0;
  load_error_shown = false;
  sqbind::mark_errors(world_gen_vm.vm);
  try {
    if (!world_gen_vm.reload(true)) sqbind::throw_last_error(world_gen_vm.vm);
    lookup_generate_world();
    // A file the edit newly includes may have failed while the rest ran.
    if (const sqbind::SquirrelError* swallowed = sqbind::first_error_since_mark(world_gen_vm.vm)) throw *swallowed;
  } catch (const sqbind::SquirrelError& e) {
    show_world_gen_error(e);
    load_error_shown = true;
  }
  // The edited script makes the world on screen again, not the next one, so
  // that its author sees what the edit changed.
  if (has_shown_world) game_rnd_seed = shown_world_seed;
  generate_world();
  return true;
}

// The owner is done with the VM for good: the file list goes with it, so a
// later create starts from the main script again.
void close_world_gen_vm() {
  generate_world_func.release();
  world_gen_vm.close();
  world_gen_vm.files.clear();
}
