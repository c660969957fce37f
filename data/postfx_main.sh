// Second colour pass: a soft glow around bright areas, a light vignette and
// the screen flash (pixel register 1). Vertex register 17 holds the pixel size.
#include "fullscreen.sh"
#ifdef PSH
uniform sampler2D tex0;
vec4 psh() {
  vec4 c = texture(tex0, uv);
  vec2 px = d3d_rt.xy;
  float glow = 0.0;
  for (int i = 0; i < 8; i++) {
    float ang = float(i) * 0.785398;
    vec2 d = vec2(cos(ang), sin(ang));
    glow += texture(tex0, uv + d * px * 3.0).a + texture(tex0, uv + d * px * 7.0).a * 0.6;
  }
  vec3 col = c.rgb + vec3(1.0, 0.93, 0.8) * glow * 0.035;
  vec2 q = uv - 0.5;
  col *= 1.0 - 0.28 * dot(q, q) * 2.0;  // vignette
  col = mix(col, pc[1].rgb, clamp(pc[1].a, 0.0, 1.0));
  return vec4(clamp(col, 0.0, 1.0), 1.0);
}
#endif
