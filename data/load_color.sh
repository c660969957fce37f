// Writes one colour per cell into a 256 x 256 target, as load_float.sh.
#ifdef VSH
in vec2 POSITION0;
in vec4 COLOR0;
out vec4 col;
vec4 vsh() {
  col = COLOR0;
  return vec4(POSITION0 * vc[16].xy + vc[16].zw, 0.5, 1.0);
}
#endif
#ifdef PSH
in vec4 col;
vec4 psh() { return col; }
#endif
