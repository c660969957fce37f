// Building pieces: one instance per house cell. The piece's vertices are
// given across a unit cell before the cell's orientation; their heights are
// rules over the cell's four corner heights (the same heights the land
// around the cell uses, so the piece meets the land's edge exactly).
//
// Mesh:      POSITION0 (u, fixed offset, w), TEXCOORD0 corner weights,
//            TEXCOORD1 (weight of the highest corner, of the lowest, feature
//            height, material)
// Instance:  POSITION10 cell x, z; POSITION11 corner heights at (x, z),
//            (x+1, z), (x, z+1), (x+1, z+1); POSITION12 b orientation 0..7,
//            g tone variation
// Orientation bits: 2 mirrors w, 4 mirrors u, then 1 swaps u and w.
#ifdef VSH
in vec3 POSITION0;
in vec4 TEXCOORD0;
in vec4 TEXCOORD1;
in vec2 POSITION10;
in vec4 POSITION11;
in vec4 POSITION12;
out vec3 wpos;
out vec3 eyev;
flat out float material;
flat out float tone;

vec2 orient_cell(vec2 c, int o) {
  c = c * 2.0 - 1.0;
  if ((o & 2) != 0) c.y = -c.y;
  if ((o & 4) != 0) c.x = -c.x;
  if ((o & 1) != 0) c = c.yx;
  return c * 0.5 + 0.5;
}
float corner_height(vec2 canon, int o) {
  vec2 w = orient_cell(canon, o);
  int k = (w.x > 0.5 ? 1 : 0) + (w.y > 0.5 ? 2 : 0);
  return POSITION11[k];
}
vec4 building_vertex() {
  int o = int(POSITION12.b * 255.0 + 0.5) & 7;
  vec4 h = vec4(corner_height(vec2(0, 0), o), corner_height(vec2(1, 0), o), corner_height(vec2(0, 1), o),
                corner_height(vec2(1, 1), o));
  float hmax = max(max(h.x, h.y), max(h.z, h.w));
  float hmin = min(min(h.x, h.y), min(h.z, h.w));
  float rise = clamp(h.w - h.x, 0.0, 1.0);
  float y = dot(TEXCOORD0, h) + TEXCOORD1.x * hmax + TEXCOORD1.y * hmin + POSITION0.y + TEXCOORD1.z * rise;
  vec2 xz = POSITION10 + orient_cell(POSITION0.xz, o);
  wpos = vec3(xz.x, y, xz.y);
  eyev = vc[4].xyz - wpos;
  material = TEXCOORD1.w;
  tone = POSITION12.g;
  return wpos.x * vc[0] + wpos.y * vc[1] + wpos.z * vc[2] + vc[3];
}
#endif
#ifdef PSH
uniform sampler2D castle0;
in vec3 wpos;
in vec3 eyev;
flat in float material;
flat in float tone;
// Flat faces: the normal of the triangle, turned toward the eye.
vec3 building_normal() {
  vec3 n = normalize(cross(dFdx(wpos), dFdy(wpos)));
  return dot(n, eyev) < 0.0 ? -n : n;
}
// Stone, roof tiles or paving from the building texture, projected along
// the face's main axis.
vec3 building_albedo(vec3 n) {
  vec2 uv = abs(n.y) > 0.7 ? wpos.xz : (abs(n.x) > abs(n.z) ? vec2(wpos.z, -wpos.y) : vec2(wpos.x, -wpos.y));
  vec4 t = texture(castle0, uv * 0.5);
  float mottle = 0.85 + 0.3 * t.a;
  vec3 c;
  if (material < 0.5)
    c = vec3(0.72, 0.68, 0.6) * t.r * 2.0;
  else if (material < 1.5)
    c = vec3(0.5, 0.2, 0.13) * t.g * 2.0;
  else
    c = vec3(0.46, 0.43, 0.38) * t.b * 2.0;
  return clamp(c * mottle * (0.9 + 0.2 * tone), 0.0, 1.0);
}
// Open sky above level tops, less on walls.
float building_aperture(vec3 n) { return 0.9 + 0.1 * max(n.y, 0.0); }
#endif
