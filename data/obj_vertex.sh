// Instanced objects: a mesh placed by its instance record.
//
// Mesh:  POSITION0, NORMAL0, TEXCOORD0, COLOR0 (MORPH adds the second shape
//        in POSITION1, NORMAL1; SPLINE meshes are a unit tube along z 0..1)
// Simple and morph records: POSITION11..13 the object's x, y, z axes (rgb,
//        0.5 = 0), POSITION11 a scale / 8, POSITION12 a glow; POSITION10
//        position; COLOR10 tint; morph: POSITION15 x the blend weight.
// Spline records: POSITION10..13 the body's curve (cubic, through the first
//        and last point), NORMAL10/11 the up direction at its ends (rgb) and
//        radius / 4 (a), COLOR10/11 the tint at its ends.
#ifdef VSH
in vec3 POSITION0;
in vec3 NORMAL0;
in vec2 TEXCOORD0;
in vec4 COLOR0;
#ifdef MORPH
in vec3 POSITION1;
in vec3 NORMAL1;
in vec4 POSITION15;
#endif
#ifdef SPLINE
in vec3 POSITION10;
in vec3 POSITION11;
in vec3 POSITION12;
in vec3 POSITION13;
in vec4 NORMAL10;
in vec4 NORMAL11;
in vec4 COLOR10;
in vec4 COLOR11;
#else
in vec4 POSITION11;
in vec4 POSITION12;
in vec4 POSITION13;
in vec3 POSITION10;
in vec4 COLOR10;
#endif
out vec3 wpos;
out vec3 wnorm;
out vec2 uv;
out vec4 vcol;
out float glow;

#ifdef SPLINE
vec4 obj_vertex() {
  float t = POSITION0.z;
  float s = 1.0 - t;
  vec3 p = s * s * s * POSITION10 + 3.0 * s * s * t * POSITION11 + 3.0 * s * t * t * POSITION12 + t * t * t * POSITION13;
  vec3 d = 3.0 * s * s * (POSITION11 - POSITION10) + 6.0 * s * t * (POSITION12 - POSITION11) +
           3.0 * t * t * (POSITION13 - POSITION12);
  vec3 fwd = length(d) > 1e-5 ? normalize(d) : vec3(0, 0, 1);
  vec3 up0 = mix(NORMAL10.rgb, NORMAL11.rgb, t) * 2.0 - 1.0;
  vec3 side = cross(up0, fwd);
  side = length(side) > 1e-5 ? normalize(side) : vec3(1, 0, 0);
  vec3 up = cross(fwd, side);
  float r = mix(NORMAL10.a, NORMAL11.a, t) * 4.0;
  wpos = p + r * (POSITION0.x * side + POSITION0.y * up);
  wnorm = normalize(NORMAL0.x * side + NORMAL0.y * up + NORMAL0.z * fwd);
  uv = TEXCOORD0;
  vcol = COLOR0 * mix(COLOR10, COLOR11, t);
  glow = 0.0;
  return wpos.x * vc[0] + wpos.y * vc[1] + wpos.z * vc[2] + vc[3];
}
#else
vec4 obj_vertex() {
  vec3 p = POSITION0;
  vec3 n = NORMAL0;
#ifdef MORPH
  p = mix(p, POSITION1, POSITION15.x);
  n = mix(n, NORMAL1, POSITION15.x);
#endif
  vec3 ax = POSITION11.rgb * 2.0 - 1.0, ay = POSITION12.rgb * 2.0 - 1.0, az = POSITION13.rgb * 2.0 - 1.0;
  float scale = POSITION11.a * 8.0;
  wpos = POSITION10 + scale * (p.x * ax + p.y * ay + p.z * az);
  wnorm = normalize(n.x * ax + n.y * ay + n.z * az);
  uv = TEXCOORD0;
  vcol = COLOR0 * COLOR10;
  glow = POSITION12.a;
  return wpos.x * vc[0] + wpos.y * vc[1] + wpos.z * vc[2] + vc[3];
}
#endif
#endif
#ifdef PSH
uniform sampler2D hide0;
in vec3 wpos;
in vec3 wnorm;
in vec2 uv;
in vec4 vcol;
in float glow;
vec3 obj_albedo() {
  vec4 t = texture(hide0, uv * vec2(3.0, 2.0));
  return clamp(vcol.rgb * (0.55 + 0.45 * t.r * 2.0 * t.g * 2.0) * (0.85 + 0.3 * t.a), 0.0, 1.0);
}
#endif
