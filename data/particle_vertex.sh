// The vertex stage of both particle pools: one camera-facing quad per
// instance, rolled and sized, cut from the particle atlas.
//   stream 0: POSITION10 = quad corner (-1 or 1 on each axis)
//   stream 1: POSITION0 = centre, POSITION1 = (half size, roll),
//             COLOR0, TEXCOORD0 = (atlas centre u, v, half extent u, -v)
//   vc[0..3] = view x projection, vc[16], vc[17] = camera right and up.
#ifdef VSH
in vec2 POSITION10;
in vec3 POSITION0;
in vec2 POSITION1;
in vec4 COLOR0;
in vec4 TEXCOORD0;
out vec2 tc;
out vec4 col;
vec4 vsh() {
  float s = sin(POSITION1.y), c = cos(POSITION1.y);
  vec2 k = vec2(POSITION10.x * c - POSITION10.y * s, POSITION10.x * s + POSITION10.y * c) * POSITION1.x;
  vec3 p = POSITION0 + k.x * vc[16].xyz + k.y * vc[17].xyz;
  // The corner, not the rolled offset, picks the texel: the picture rolls
  // with the quad.
  tc = TEXCOORD0.xy + POSITION10 * TEXCOORD0.zw;
  col = COLOR0;
  return p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
}
#endif
#ifdef PSH
in vec2 tc;
in vec4 col;
uniform sampler2D tex0;
#endif
