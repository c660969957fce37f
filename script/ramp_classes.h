#pragma once
// Colour and float ramps for native code, scripts and the game-object
// module: the builders, the text dump, the script classes "ColorRamp" and
// "FloatRamp", and the ready-made ramps the game exports.
#include <squirrel.h>

#include "script/sqbind.h"
#include "world/ramps.h"

// Builders; entry i stands for age u = i/256.
void const_ramp(ColorRamp& r, const vec4f& c);
void const_ramp(FloatRamp& r, float c);
void linear_ramp(ColorRamp& r, const vec4f& a, const vec4f& b);
void linear_ramp(FloatRamp& r, float a, float b);
// a rises to b over [0, fadeIn) and falls to c over (1 - fadeOut, 1], both
// with a smoothstep.
void fade_in_out_ramp(ColorRamp& r, const vec4f& a, const vec4f& b, const vec4f& c, float fadeIn, float fadeOut);
void fade_in_out_ramp(FloatRamp& r, float a, float b, float c, float fadeIn, float fadeOut);

// Writes the ramp to the debug log as the source of a static initialiser.
void dump_ramp(const ColorRamp& r, const char* name);
void dump_ramp(const FloatRamp& r, const char* name);

// Creates the script classes "ColorRamp" and "FloatRamp" in the VM.
void register_ramp_classes(HSQUIRRELVM vm);

// Exported ramps, filled before the program's entry point runs.
extern ColorRamp blend_std_fade_anim;
extern ColorRamp blend_rev_fade_anim;
extern ColorRamp blend_end_fade_anim;
extern ColorRamp glow_std_fade_anim;
extern FloatRamp size_05_2_anim;
extern FloatRamp size_05_4_anim;
extern FloatRamp std_roll_anim;

SQBIND_DECLARE_CLASS(ColorRamp, "ColorRamp");
SQBIND_DECLARE_CLASS(FloatRamp, "FloatRamp");
