#pragma once
// The script class "vec4f" with its operators and vector functions, and the
// random, colour and direction helpers shared by every scripted VM.
#include <squirrel.h>

#include "platform/math_types.h"

void register_vec4f_and_helpers(HSQUIRRELVM vm);

// The colour conversions behind the script helpers.
vec4f hsv_to_rgba(float h, float s, float v, float a);
vec4f lch_to_rgba(float L, float chroma, float h, float a);
