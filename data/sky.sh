// The sky behind everything: a gradient from the horizon colour to the
// zenith colour, haze in a band along the horizon, a glow around the sun and
// the sun disc. Pixel register 0: sun direction, cos 20 degrees (the glow's
// inner halo); registers 1-12: the sky table (see land_common.sh).
#ifdef VSH
in vec3 POSITION0;
out vec3 dir;
vec4 vsh() {
  dir = POSITION0 - vc[4].xyz;
  vec4 p = vec4(POSITION0, 1.0);
  return p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
}
#endif
#ifdef PSH
in vec3 dir;
vec4 psh() {
  vec3 d = normalize(dir);
  vec3 l = pc[0].xyz;
  float up = max(d.y, 0.0);
  float band = max(pc[6].y, 0.02);
  vec3 col = mix(pc[5].rgb, pc[4].rgb, 1.0 - exp(-up / band));
  // Below the horizon the haze hides the far land: the horizon colour, as
  // the fog of the land shaders.
  float c = dot(d, l);
  float glow = pow(max(c, 0.0), max(pc[9].x, 1.0)) * pc[9].y;
  float halo = smoothstep(pc[0].w, 1.0, c);
  col += pc[8].rgb * (glow + halo * halo * 0.35);
  // The disc (about 1.6 degrees across) fades out as it sets.
  float disc = smoothstep(0.99975, 0.9999, c) * smoothstep(-0.03, 0.0, d.y);
  col = mix(col, pc[7].rgb, disc);
  return vec4(col, 1.0);
}
#endif
