// Trails: ribbons and head caps cut from the glow atlas, added as light
// into accumulation image A like glow particles.
#ifdef VSH
in vec3 POSITION0;
in vec4 COLOR0;
in vec2 TEXCOORD0;
out vec2 tc;
out vec4 col;
vec4 vsh() {
  tc = TEXCOORD0;
  col = COLOR0;
  return POSITION0.x * vc[0] + POSITION0.y * vc[1] + POSITION0.z * vc[2] + vc[3];
}
#endif
#ifdef PSH
in vec2 tc;
in vec4 col;
uniform sampler2D tex0;
vec4 psh() {
  vec4 t = texture(tex0, tc) * col;
  oC1 = vec4(t.rgb * t.a, t.a);
  return vec4(0.0);
}
#endif
