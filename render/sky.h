#pragma once
// The sky: the sun direction and a table of twelve sky and lighting colours
// that the sky script computes from the sun's elevation. The table feeds the
// sky quad and, as shared shader registers, the land, water and light
// shaders. Colours and direction are kept as previous, new and current
// copies so that a sun moving once per simulation step blends smoothly from
// frame to frame.
#include "platform/math_types.h"

namespace Sky {

constexpr int SCRIPT_COLORS = 10;
constexpr int TABLE_ENTRIES = 12;
constexpr float SUN_DISC_COS = 0.93969262078590838f;  // cos 20 degrees

// The colours used when the script has no colour function or it fails.
void default_colors(vec4f out[SCRIPT_COLORS]);
// Entries 10 and 11 from entries 0-2.
void derive_entries(vec4f table[TABLE_ENTRIES]);
// Sun elevation in degrees of a direction (asin of its y).
float elevation_deg(const vec4f& dir);
// Unit vector of dir; the zero vector stays zero.
vec4f normalize_dir(const vec4f& dir);

// Where the colours come from. `evaluate` returns false with a message
// when the source failed; `bound` says whether a colour function exists.
struct ColorSource {
  virtual ~ColorSource() = default;
  virtual bool bound() = 0;
  virtual bool evaluate(float elevation_deg, vec4f out[SCRIPT_COLORS], char* err, int err_size) = 0;
  // Re-runs changed files and re-binds; returns whether anything changed.
  virtual bool reload_if_changed() = 0;
  // Why the last reload failed (with the file, line and column); "" when it
  // ran cleanly.
  virtual const char* reload_error() { return ""; }
};
// Replaces the colour source (null: defaults only). The sky owns its
// script source; tests install their own.
void set_color_source(ColorSource* src);

void init();
void close();
void set_sun_dir(const vec4f& dir, bool smooth);
void begin_update();
void update_frame(float t);
void check_reload();
void draw();

// Current state.
const vec4f* table();           // 12 entries
vec4f sun_dir();                // current (interpolated) direction
vec4f target_sun_dir();
vec4f sun_const();              // (current direction, cos 20 degrees)
const vec4f* previous_colors(); // 10 entries each
const vec4f* new_colors();

}  // namespace Sky
