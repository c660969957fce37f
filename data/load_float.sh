// Writes one float per cell into a 256 x 256 target: each point lands on
// the texel of its cell (vertex register 16 maps cells to clip space).
#ifdef VSH
in vec2 POSITION0;
in float TEXCOORD0;
out float value;
vec4 vsh() {
  value = TEXCOORD0;
  return vec4(POSITION0 * vc[16].xy + vc[16].zw, 0.5, 1.0);
}
#endif
#ifdef PSH
in float value;
vec4 psh() { return vec4(value, 0.0, 0.0, 1.0); }
#endif
