#pragma once
// Shader sources the rendering tests draw with.

// Position from POSITION0 as given (clip space), colour from pixel register 0.
inline const char* SOLID_SH = R"(
#ifdef VSH
in vec4 POSITION0;
vec4 vsh() { return POSITION0; }
#endif
#ifdef PSH
vec4 psh() { return pc[0]; }
#endif
)";

// Position and a per-vertex colour.
inline const char* VCOLOR_SH = R"(
#ifdef VSH
in vec4 POSITION0;
in vec4 COLOR0;
out vec4 col;
vec4 vsh() { col = COLOR0; return POSITION0; }
#endif
#ifdef PSH
in vec4 col;
vec4 psh() { return col; }
#endif
)";

// Grid cells to clip space through vertex register 16 (scale xy, offset zw).
inline const char* POINTS_SH = R"(
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
)";

// A full-screen pass: clip space to texture space through vertex register 16.
inline const char* COPY_SH = R"(
#ifdef VSH
in vec3 POSITION0;
out vec2 uv;
vec4 vsh() {
  uv = POSITION0.xy * vc[16].xy + vc[16].zw;
  return vec4(POSITION0, 1.0);
}
#endif
#ifdef PSH
uniform sampler2D tex0;
in vec2 uv;
vec4 psh() { return texture(tex0, uv); }
#endif
)";

// Instanced quads: corner on stream 0, offset and colour per instance.
inline const char* INST_SH = R"(
#ifdef VSH
in vec2 POSITION0;
in vec2 POSITION1;
in vec4 COLOR0;
out vec4 col;
vec4 vsh() { col = COLOR0; return vec4(POSITION0 + POSITION1, 0.0, 1.0); }
#endif
#ifdef PSH
in vec4 col;
vec4 psh() { return col; }
#endif
)";

// Two targets at once.
inline const char* MRT_SH = R"(
#ifdef VSH
in vec3 POSITION0;
vec4 vsh() { return vec4(POSITION0, 1.0); }
#endif
#ifdef PSH
vec4 psh() { oC1 = pc[1]; return pc[0]; }
#endif
)";

// The pixel position as colour: red = x, green = y (top row 0).
inline const char* VPOS_SH = R"(
#ifdef VSH
in vec3 POSITION0;
vec4 vsh() { return vec4(POSITION0, 1.0); }
#endif
#ifdef PSH
vec4 psh() { vec2 p = vpos(); return vec4(p.x / 255.0, p.y / 255.0, 0.0, 1.0); }
#endif
)";
