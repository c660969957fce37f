// The land's vertex stage shared by the forward and the geometry-pass land
// shaders. With INST: the instanced 4 x 4 patches of the centre block
// (patch position on stream 0, cell and corner heights per instance);
// otherwise the window grid (position and height).
#ifdef VSH
in vec2 POSITION0;
#ifdef INST
in vec2 POSITION1;
in vec4 POSITION2;
#else
in float POSITION1;
#endif
out vec3 wpos;
out vec4 uvs;  // xy cell colours, zw normals
// Sets wpos and uvs and returns the clip-space position.
vec4 land_vertex() {
#ifdef INST
  vec2 xz = POSITION1 + POSITION0;
  vec4 h = POSITION2;
  float y = mix(mix(h.x, h.y, POSITION0.x), mix(h.z, h.w, POSITION0.x), POSITION0.y);
#else
  vec2 xz = POSITION0;
  float y = POSITION1;
#endif
  wpos = vec3(xz.x, y, xz.y);
  uvs = vec4(xz * vc[16].xy + vc[16].z, xz * vc[16].xy + vc[16].w);
  return xz.x * vc[0] + y * vc[1] + xz.y * vc[2] + vc[3];
}
#endif
