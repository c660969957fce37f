// Lighting and fog shared by the land, water and horizon shaders.
//
// Sky table (pixel registers 1-12 = entries 0-11; the forward path also has
// them in vertex registers 31-42, the sun in vertex register 30):
//   0 ambient light from the sky dome     1 direct sun light
//   2 haze extinction per channel         3 sky colour at the zenith
//   4 sky colour at the horizon (fog)     5 x fog density, y horizon band width
//   6 sun disc colour                     7 glow colour around the sun
//   8 x glow exponent, y glow strength    9 colour of deep water
//  10 light through thick haze (far)     11 light through thin haze
// Pixel register 0: sun direction (toward the sun) and cos 20 degrees.
#ifdef VSH
// Fog amount toward the horizon for a world position (vertex register 5 x
// switches it on; entry 5 x is the density per 128 cells squared).
float fog_amount(vec3 wpos) {
  float d = length(wpos - vc[4].xyz) * (1.0 / 128.0);
  return vc[5].x * (1.0 - exp(-d * d * max(vc[36].x, 0.0)));
}
#endif
#ifdef PSH
// The sun's share of direct light fades as it sinks below the horizon.
float sun_visible() { return smoothstep(-0.04, 0.06, pc[0].y); }
// Light on a surface with normal n and sky openness aper (0 closed, 1 open).
// Steep faces also catch the sunlight the ground around them throws back.
vec3 ground_bounce(vec3 n) { return pc[2].rgb * sun_visible() * max(pc[0].y, 0.0) * 0.16 * (1.0 - n.y); }
vec3 surface_light(vec3 n, float aper) {
  float ndl = max(dot(n, pc[0].xyz), 0.0);
  vec3 amb = pc[1].rgb * aper * (0.55 + 0.45 * n.y);
  return amb + pc[2].rgb * ndl * sun_visible() * mix(0.6, 1.0, aper) + ground_bounce(n) * aper;
}
vec3 fog_colour() { return min(pc[5].rgb, vec3(1.5)); }
vec3 decode_normal(vec4 t) { return normalize(t.xyz * 2.0 - 1.0); }
#endif
