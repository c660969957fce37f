// Debug shapes: world positions through the view-projection registers 0-3,
// colour passed through.
#ifdef VSH
in vec3 POSITION0;
in vec4 COLOR0;
out vec4 col;
vec4 vsh() {
  col = COLOR0;
  vec4 p = vec4(POSITION0, 1.0);
  return p.x * vc[0] + p.y * vc[1] + p.z * vc[2] + vc[3];
}
#endif
#ifdef PSH
in vec4 col;
vec4 psh() { return col; }
#endif
