// The vertex stage of every full-screen pass: clip space to texture space
// through vertex register 16.
// A pass that also wants the world-space ray through each pixel defines
// FULLSCREEN_RAY before including this file and gets `ray` (far distance
// 512, from vertex registers 17-19).
#ifdef VSH
in vec3 POSITION0;
out vec2 uv;
#ifdef FULLSCREEN_RAY
out vec3 ray;
#endif
vec4 vsh() {
  uv = POSITION0.xy * vc[16].xy + vc[16].zw;
#ifdef FULLSCREEN_RAY
  ray = POSITION0.x * vc[17].xyz + POSITION0.y * vc[18].xyz + vc[19].xyz;
#endif
  return vec4(POSITION0.xy, 0.5, 1.0);
}
#endif
#ifdef PSH
in vec2 uv;
#endif
