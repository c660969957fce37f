// Water, forward shading, blended over the land. The land height of the
// same window vertex (stream 1) gives the depth: deep water darkens toward
// the deep-water colour, shallow water lets the ground show through and a
// bright rim marks the shoreline. HIGH: two flowing ripple phases from the
// foam texture (stage 4) blended by pixel register 12 x; otherwise static
// ripples from the detail texture. Opaque toward the edge of the land disc.
#include "land_common.sh"
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
in float POSITION2;
in float TEXCOORD1;
#ifdef HIGH
in vec4 TEXCOORD0;
out vec4 flow;
#endif
out vec3 wpos;
out vec3 eye;
out vec2 uvn;
out float depth;
out float foam;
out float fog;
vec4 vsh() {
  vec2 xz = POSITION0;
  float y = POSITION1;
  wpos = vec3(xz.x, y, xz.y);
  eye = vc[4].xyz;
  uvn = xz * vc[16].xy + vc[16].w;
  depth = y + 0.1 - POSITION2;
  foam = TEXCOORD1;
#ifdef HIGH
  flow = TEXCOORD0 * (1.0 / 12.0);
#endif
  fog = fog_amount(wpos);
  return xz.x * vc[0] + y * vc[1] + xz.y * vc[2] + vc[3];
}
#endif
#ifdef PSH
uniform sampler2D normal1;
uniform sampler2D tex4;  // foam.dds at high quality, detail.dds otherwise
in vec3 wpos;
in vec3 eye;
in vec2 uvn;
in float depth;
in float foam;
in float fog;
#ifdef HIGH
in vec4 flow;
#endif
vec4 psh() {
  vec3 n = decode_normal(texture(normal1, uvn));
#ifdef HIGH
  float w = clamp(pc[12].x, 0.0, 1.0);
  vec4 r = texture(tex4, flow.xy) * (1.0 - w) + texture(tex4, flow.zw) * w;
  vec2 ripple = (r.rg - 0.5) * 0.5;
  float pattern = r.a;
#else
  vec4 r = texture(tex4, wpos.xz * 0.11) + texture(tex4, wpos.zx * 0.053 + 0.37);
  vec2 ripple = (r.rg - 1.0) * 0.35;
  float pattern = r.a * 0.5;
#endif
  n = normalize(n + vec3(ripple.x, 0.0, ripple.y));
  vec3 v = normalize(eye - wpos);
  vec3 l = pc[0].xyz;
  float fres = 0.1 + 0.9 * pow(1.0 - max(dot(n, v), 0.0), 5.0);
  vec3 rd = reflect(-v, n);
  vec3 sky = mix(pc[5].rgb, pc[4].rgb, sqrt(clamp(rd.y, 0.0, 1.0)));
  float spec = pow(max(dot(rd, l), 0.0), 180.0) * 6.0 * sun_visible();
  vec3 light = surface_light(vec3(0.0, 1.0, 0.0), 1.0);
  float d = max(depth, 0.0);
  vec3 body = min(pc[10].rgb, vec3(1.0)) * light;
  vec3 col = mix(body, sky, fres) + pc[7].rgb * spec;
  float alpha = clamp(1.0 - exp(-d * 1.4), 0.0, 1.0) * 0.8 + fres * 0.2;
  // Toward the land disc's edge the water turns opaque: seen from above,
  // the ground under it there lies beyond the land window, and the horizon
  // ring that continues the water shows no ground through it either.
  alpha = mix(alpha, 1.0, smoothstep(96.0, 122.0, length(wpos.xz - eye.xz)));
  // Foam where the water is turbulent, broken up by the pattern.
  float f = clamp(foam * 1.6 * (0.4 + 1.2 * pattern) - 0.1, 0.0, 1.0);
  // A rim of light surf along the shoreline.
  float rim = (1.0 - smoothstep(0.0, 0.18, d)) * step(0.005, d) * (0.5 + 0.5 * pattern);
  float white = max(f, rim * 0.55);
  col = mix(col, light * 0.92, white);
  alpha = max(alpha, white) * smoothstep(0.0, 0.03, d);
  col = mix(col, fog_colour(), fog);
  return vec4(col, mix(alpha, 1.0, fog));
}
#endif
