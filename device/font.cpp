// Font start-up, glyph metrics, text quads and the style stack.
#include "device/font.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/globals.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "device/d3d_render.h"
#include "device/d3d_shaders.h"
#include "device/d3d_texture.h"
#include "device/dynVBWriter.h"
#include "device/screenshot.h"

namespace {
struct TextVertex {
  int16_t x, y;
  uint32_t color;
  int16_t u, v;
};
static_assert(sizeof(TextVertex) == 12, "12-byte text vertices");
constexpr int QUAD_BYTES = 6 * int(sizeof(TextVertex));

struct TextStyle {
  int line_spacing = 0, letter_spacing = 0, scale = 1;
};

FontMetrics metrics;
bool loaded = false;
Texture* font_tex = nullptr;
ShaderRecord* font_sh = nullptr;
VDecl* font_decl = nullptr;
float tex_w_inv = 0, tex_h_inv = 0;
TextStyle style;
constexpr int MAX_STYLES = 32;
TextStyle style_stack[MAX_STYLES];
int num_styles = 0;

int glyph_advance(unsigned char ch) {
  const Glyph& g = metrics.glyphs[ch];
  return style.letter_spacing + style.scale * (g.right1 - g.left + 1);
}

void put_quad(int x0, int y0, int x1, int y1, uint32_t color, int u0, int v0, int u1, int v1) {
  auto* v = reinterpret_cast<TextVertex*>(dynVBWriter.reserve(QUAD_BYTES));
  TextVertex a{int16_t(x0), int16_t(y0), color, int16_t(u0), int16_t(v0)};
  TextVertex b{int16_t(x1), int16_t(y0), color, int16_t(u1), int16_t(v0)};
  TextVertex c{int16_t(x1), int16_t(y1), color, int16_t(u1), int16_t(v1)};
  TextVertex d{int16_t(x0), int16_t(y1), color, int16_t(u0), int16_t(v1)};
  v[0] = a, v[1] = b, v[2] = c;
  v[3] = a, v[4] = c, v[5] = d;
  dynVBWriter.advance(QUAD_BYTES, 2);
}

int column_has_alpha(const uint8_t* px, int width, int x, int y0, int rows) {
  for (int y = y0; y < y0 + rows; y++)
    if (px[(size_t(y) * width + x) * 4 + 3]) return 1;
  return 0;
}
}  // namespace

void build_glyph_table(const uint8_t* px, int width, int height, FontMetrics& out) {
  out.cell = height / 16;
  out.cell_width = width / 16;
  int c = out.cell, cw = out.cell_width;
  for (int g = 0; g < 256; g++) {
    int col = g % 16, row = g / 16;
    int x0 = col * cw, y0 = (15 - row) * c;
    int left = -1, right = -1;
    for (int x = x0; x < x0 + cw; x++)
      if (column_has_alpha(px, width, x, y0, c)) {
        if (left < 0) left = x;
        right = x;
      }
    Glyph& gl = out.glyphs[g];
    gl.bottom = y0;
    gl.top = y0 + c;
    if (left < 0) {  // a blank half-cell wide
      gl.left = x0;
      gl.right1 = x0 + cw / 2 + 1;
    } else {
      gl.left = left;
      gl.right1 = right + 1;
    }
  }
}

int font_scale_for_height(int height, int cell) {
  int s = cell > 0 ? height / (cell * 30) : 1;
  return s < 1 ? 1 : s;
}

void init_font() {
  int w = 0, h = 0;
  DynArray<uint8_t> pixels;
  if (!read_tga(make_full_path("font.tga"), w, h, pixels)) fatal("can't load font.tga");
  if (w <= 0 || h <= 0 || w % 16 || h % 16) fatal("expected 16x16 font grid in font.tga, got %dx%d image", w, h);
  build_glyph_table(pixels.data, w, h, metrics);
  style = TextStyle();
  // The bitmap font draws at whole multiples: the player's scale rounds to one.
  int fit = font_scale_for_height(d3d_ht, metrics.cell);
  style.scale = std::max(1, int(std::lround(float(fit) * float(ui_scale_percent) / 100.f)));
  debug("font scale: %d", style.scale);
  font_tex = create_managed_texture(w, h);
  if (!font_tex) fatal("can't create font texture");
  int pitch = 0;
  auto* dst = static_cast<uint8_t*>(lock_texture(font_tex, pitch, true));
  if (!dst) fatal("can't create font texture");
  for (int y = 0; y < h; y++) std::memcpy(dst + size_t(y) * pitch, pixels.data + size_t(y) * w * 4, size_t(w) * 4);
  unlock_texture(font_tex);
  tex_w_inv = 1.f / float(w);
  tex_h_inv = 1.f / float(h);
  static const VertexElement decl[] = {
      {0, 0, VDECL_SHORT2, VDECL_POSITION, 0},
      {4, 0, VDECL_D3DCOLOR, VDECL_COLOR, 0},
      {8, 0, VDECL_SHORT2, VDECL_TEXCOORD, 0},
      VDECL_END,
  };
  font_decl = create_vdecl(decl);
  font_sh = load_shader("font.sh", nullptr);
  loaded = true;
}

void close_font() {
  if (font_sh) release_shader(font_sh);
  if (font_tex) release_texture(font_tex);
  font_sh = nullptr;
  font_tex = nullptr;
  loaded = false;
}

void font_after_resize() {
  if (!loaded) return;
  style.scale = font_scale_for_height(d3d_ht, metrics.cell);
  debug("font scale: %d", style.scale);
}

bool font_loaded() { return loaded; }
int get_font_cell_size() { return metrics.cell; }
int get_text_scale() { return style.scale; }
void set_text_scale(int s) { style.scale = s < 1 ? 1 : s; }
void set_line_spacing(int px) { style.line_spacing = px; }
void set_letter_spacing(int px) { style.letter_spacing = px; }
const FontMetrics& get_font_metrics() { return metrics; }

void push_text_style() {
  G_ASSERT(num_styles < MAX_STYLES);
  style_stack[num_styles++] = style;
}

void pop_text_style() {
  int num = num_styles;
  G_ASSERT(num>0);
  style = style_stack[--num_styles];
}

void measure_text(const char* text, int length, int& width, int& height) {
  if (!text) text = "";
  if (length < 0) length = int(std::strlen(text));
  int line_w = 0, line_chars = 0;
  width = height = 0;
  int line_h = style.scale * metrics.cell;
  for (int i = 0; i < length; i++) {
    unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\n') {
      height += line_h + style.line_spacing;
      line_w = line_chars = 0;
      continue;
    }
    line_w += glyph_advance(ch);
    line_chars++;
    if (line_w > width) width = line_w;
  }
  if (line_chars > 0) height += line_h;
}

void begin_text() {
  set_vdecl(font_decl);
  set_vb(0, dynVBWriter.vb, 0, int(sizeof(TextVertex)));
  set_shaders(font_sh);
  set_texture(0, font_tex);
  set_texture_filter(0, false);
  float w = float(d3d_wd), h = float(d3d_ht);
  set_vs_const(16, vec4f(2.f / w, 2.f / h, -1.f - 0.5f / w, 0.5f / h - 1.f));
  set_vs_const(17, vec4f(tex_w_inv, tex_h_inv, 0, 0));
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_blend_alpha();
  set_atest(1);
  dynVBWriter.begin(dyn_vb_draw_prims, PRIM_TRIANGLELIST);
}

void end_text() {
  dynVBWriter.flush(true);
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
  set_atest(0);
  set_texture_filter(0, true);
}

void draw_text(const char* text, int length, int x, int y, int halign, int valign, D3dColor color) {
  if (!text) text = "";
  if (length < 0) length = int(std::strlen(text));
  int width, height;
  measure_text(text, length, width, height);
  int s = style.scale, c = metrics.cell;
  int x0 = x - (halign + 1) * width / 2;
  int bottom = y + style.line_spacing + height - height * (valign + 1) / 2 - s * c;
  uint32_t shadow = (color.u >> 1 & 0xFF000000u);
  int px = x0;
  for (int i = 0; i < length; i++) {
    unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\n') {
      bottom -= s * c + style.line_spacing;
      px = x0;
      continue;
    }
    if (ch != 0 && ch != ' ') {
      const Glyph& g = metrics.glyphs[ch];
      int w = s * (g.right1 - g.left), h = s * (g.top - g.bottom);
      put_quad(px + 1, bottom - 1, px + 1 + w, bottom - 1 + h, shadow, g.left, g.bottom, g.right1, g.top);
      put_quad(px, bottom, px + w, bottom + h, color.u, g.left, g.bottom, g.right1, g.top);
    }
    px += glyph_advance(ch);
  }
}

void fill_rect(int x0, int y0, int x1, int y1, D3dColor color) { put_quad(x0, y0, x1, y1, color.u, -1, -1, -1, -1); }

void draw_textured_rect(int x0, int y0, int x1, int y1, D3dColor color, int u0, int v0, int u1, int v1) {
  put_quad(x0, y0, x1, y1, color.u, u0, v0, u1, v1);
}

void draw_text_fmt(int x, int y, int halign, int valign, D3dColor color, const char* fmt, ...) {
  char buf[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof(buf), fmt, args);
  va_end(args);
  draw_text(buf, -1, x, y, halign, valign, color);
}
