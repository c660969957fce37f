// Ambient aperture: how much of the sky a cell sees. For each of a number
// of directions the highest horizon angle along the height field is found
// by marching outward; the open fraction is averaged over the directions.
// QUALITY 0, 1 and 2 use more directions and steps, reaching farther.
#include "field_common.sh"
#ifndef QUALITY
#define QUALITY 2
#endif
#if QUALITY == 0
#define DIRS 4
#define STEPS 4
#elif QUALITY == 1
#define DIRS 8
#define STEPS 7
#else
#define DIRS 16
#define STEPS 10
#endif
#ifdef PSH
vec4 psh() {
  float h0 = ht(vec2(0.0));
  float open = 0.0;
  for (int k = 0; k < DIRS; k++) {
    // A quarter-step rotation between levels avoids sampling on the grid axes only.
    float ang = (float(k) + 0.25 * float(QUALITY)) * 6.2831853 / float(DIRS);
    vec2 dir = vec2(cos(ang), sin(ang));
    float best = 0.0;
    float dist = 1.0;
    for (int s = 0; s < STEPS; s++) {
      float t = (ht(dir * dist) - h0) / dist;
      best = max(best, t);
      dist *= 1.6;
    }
    open += 1.0 - best / sqrt(1.0 + best * best);
  }
  float a = open / float(DIRS);
  return vec4(a, a, a, 1.0);
}
#endif
