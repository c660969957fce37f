#pragma once
// The bitmap font: a 16 x 16 grid of glyph cells trimmed to their visible
// columns, text queued as quads into the shared dynamic buffer inside a text
// pass, and the splash. Text coordinates are pixels with the origin at the
// bottom-left corner of the back buffer, y up.
#include <cstdint>

#include "platform/math_types.h"

struct Glyph {
  int left;     // first texel column with any alpha
  int bottom;   // bottom texel row of the cell
  int right1;   // one past the last such column
  int top;      // bottom + cell height
};

struct FontMetrics {
  Glyph glyphs[256];
  int cell;        // cell height in texels (image height / 16)
  int cell_width;  // image width / 16
};

// Builds the glyph table from B, G, R, A pixels in the image reader's row
// order (bottom row first).
void build_glyph_table(const uint8_t* pixels, int width, int height, FontMetrics& out);
// The text scale for a back-buffer height: about 30 lines fit the screen.
int font_scale_for_height(int height, int cell);

void init_font();
void close_font();
void font_after_resize();
bool font_loaded();

int get_font_cell_size();
int get_text_scale();
void set_text_scale(int s);
void set_line_spacing(int px);
void set_letter_spacing(int px);
void push_text_style();
void pop_text_style();

void measure_text(const char* text, int length, int& width, int& height);
void begin_text();
void end_text();
void draw_text(const char* text, int length, int x, int y, int halign, int valign, D3dColor color);
void fill_rect(int x0, int y0, int x1, int y1, D3dColor color);
void draw_textured_rect(int x0, int y0, int x1, int y1, D3dColor color, int u0, int v0, int u1, int v1);
// printf-style convenience over draw_text.
void draw_text_fmt(int x, int y, int halign, int valign, D3dColor color, const char* fmt, ...)
    __attribute__((format(printf, 6, 7)));

// Metrics of the loaded font (tests and the GUI read them).
const FontMetrics& get_font_metrics();
