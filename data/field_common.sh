// The vertex stage of the passes that compute per-cell fields from the
// height texture: vertex register 16 places the region in clip space,
// register 17 maps clip space to height-texture coordinates. Pixel
// register 0 xy is one height texel.
#ifdef VSH
in vec3 POSITION0;
out vec2 uv;
vec4 vsh() {
  vec2 clip = POSITION0.xy * vc[16].xy + vc[16].zw;
  uv = clip * vc[17].xy + vc[17].zw;
  return vec4(clip, 0.5, 1.0);
}
#endif
#ifdef PSH
in vec2 uv;
uniform sampler2D height0;
float ht(vec2 o) { return texture(height0, uv + o * pc[0].xy).r; }
#endif
