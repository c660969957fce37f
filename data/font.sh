// Text quads: pixel positions through vertex register 16, texel coordinates
// through register 17. A texel coordinate of (-1, -1) draws solid colour.
#ifdef VSH
in vec2 POSITION0;
in vec4 COLOR0;
in vec2 TEXCOORD0;
out vec4 col;
out vec2 uv;
vec4 vsh() {
  col = COLOR0;
  uv = TEXCOORD0.x < 0.0 ? vec2(-1.0) : TEXCOORD0 * vc[17].xy;
  return vec4(POSITION0 * vc[16].xy + vc[16].zw, 0.5, 1.0);
}
#endif
#ifdef PSH
uniform sampler2D tex0;
in vec4 col;
in vec2 uv;
vec4 psh() {
  if (uv.x < 0.0) return col;
  return col * texture(tex0, uv);
}
#endif
