// The vertex stage of every full-screen pass: clip space to texture space
// through vertex register 16.
#ifdef VSH
in vec3 POSITION0;
out vec2 uv;
vec4 vsh() {
  uv = POSITION0.xy * vc[16].xy + vc[16].zw;
  return vec4(POSITION0.xy, 0.5, 1.0);
}
#endif
#ifdef PSH
in vec2 uv;
#endif
