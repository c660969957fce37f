#include "app/threat_marks.h"

#include <algorithm>
#include <cmath>

#include "device/font.h"
#include "app/overlays.h"
#include "objects/game_view.h"
#include "platform/globals.h"

namespace {
constexpr float EDGE_INSET = 0.88f;       // arrows sit this far out toward the edge
constexpr float ARROW_ARM_ANGLE = 2.5f;   // radians between the direction and each arm
constexpr int ARROW_DOTS = 7;             // squares along each arm
constexpr int ARROW_DOT_DIVISOR = 180;    // half a square's side: the window's height over this
constexpr float BREATH_TINT_SECONDS = 0.4f;  // the tint lingers this long after the last breath
constexpr int TINT_LAYERS = 8;

vec4f wrapped_from(const vec4f& eye, const float* p) {
  return vec4f(eye.x + std::remainder(p[0] - eye.x, 256.f), p[1], eye.z + std::remainder(p[2] - eye.z, 256.f), 1);
}

// Screen pixel (text coordinates, y up) of a bearing pushed out to the edge.
void edge_point(const ScreenBearing& b, int& x, int& y) {
  float m = std::fmax(std::fabs(b.x), std::fabs(b.y));
  float k = m > 1e-6f ? EDGE_INSET / m : 0.f;
  x = int((b.x * k + 1.f) * 0.5f * float(d3d_wd));
  y = int((b.y * k + 1.f) * 0.5f * float(d3d_ht));
}

// A chevron of squares pointing along (dx, dy) with its tip at (x, y).
void draw_arrow(int x, int y, float dx, float dy, D3dColor color) {
  // Sized by the window, not by whatever text scale was set last: about
  // 40 pixels an arm at 720 lines, never under 21.
  int dot = std::max(2, d3d_ht / ARROW_DOT_DIVISOR), step = dot * 5 / 3;
  float a = std::atan2(dy, dx);
  // A dark rim half a square wide under the whole chevron first, so the
  // arrow reads over red roofs and fire too, then the squares.
  int rim = std::max(1, dot / 2);
  for (int pass = 0; pass < 2; pass++)
    for (int side = -1; side <= 1; side += 2) {
      float arm = a + float(side) * ARROW_ARM_ANGLE;
      for (int k = 0; k < ARROW_DOTS; k++) {
        int px = x + int(std::cos(arm) * float(k * step)), py = y + int(std::sin(arm) * float(k * step));
        if (pass == 0) fill_rect(px - dot - rim, py - dot - rim, px + dot + rim, py + dot + rim, D3dColor(0xA0000000u));
        else fill_rect(px - dot, py - dot, px + dot, py + dot, color);
      }
    }
}

void draw_wyvern_arrows(const vec4f& eye, const Matrix44& view_proj) {
  for (int i = 0; i < game_view.wyverns; i++) {
    const WyvernView& w = game_view.wyvern[i];
    vec4f p = wrapped_from(eye, w.pos);
    if (length_xyz(p - eye) > THREAT_ARROW_RANGE) continue;
    ScreenBearing b = screen_bearing(p, view_proj);
    if (b.onScreen) continue;
    int x, y;
    edge_point(b, x, y);
    draw_arrow(x, y, b.x, b.y, D3dColor(w.attacking ? 0xF0FF2010u : 0xE0FFC030u));
  }
}

// The time to the next wave, small under the strip's middle; it turns
// amber once the wave has been announced.
void draw_wave_clock() {
  if (!(game_view.nextWaveIn >= 0)) return;
  int secs = int(std::ceil(game_view.nextWaveIn));
  D3dColor color(game_view.waveAnnounced ? 0xF0FFC030u : 0xD0FFFFFFu);
  int y = d3d_ht - overlay_top_reserved() - get_text_scale() * get_font_cell_size();
  // A dark copy a pixel down and right keeps it legible over sky and snow.
  draw_text_fmt(d3d_wd / 2 + 1, y - 1, 0, 1, D3dColor(0xA0000000u), "Next wave in %d s", secs);
  draw_text_fmt(d3d_wd / 2, y, 0, 1, color, "Next wave in %d s", secs);
}

// Bands along one edge, strongest at the edge, none past a quarter of the screen.
void draw_breath_tint(const vec4f& eye, const Matrix44& view_proj) {
  if (!(game_view.sinceAttacked < BREATH_TINT_SECONDS)) return;
  float fade = 1.f - game_view.sinceAttacked / BREATH_TINT_SECONDS;
  ScreenBearing b = screen_bearing(wrapped_from(eye, game_view.attackerPos), view_proj);
  bool horizontal = std::fabs(b.x) >= std::fabs(b.y);
  int span = horizontal ? d3d_wd / 4 : d3d_ht / 4;
  int step = std::max(1, span / TINT_LAYERS);
  for (int i = 0; i < TINT_LAYERS; i++) {
    // Each layer lies over those outside it: the edge gets the sum of all.
    float alpha = BREATH_TINT_EDGE_ALPHA * fade / float(TINT_LAYERS);
    D3dColor c((uint32_t(std::lround(alpha * 255.f)) << 24) | 0x00FF6A10u);
    int in = (TINT_LAYERS - i) * step;
    if (horizontal && b.x > 0) fill_rect(d3d_wd - in, 0, d3d_wd, d3d_ht, c);
    if (horizontal && b.x <= 0) fill_rect(0, 0, in, d3d_ht, c);
    if (!horizontal && b.y > 0) fill_rect(0, d3d_ht - in, d3d_wd, d3d_ht, c);
    if (!horizontal && b.y <= 0) fill_rect(0, 0, d3d_wd, in, c);
  }
}
}  // namespace

ScreenBearing screen_bearing(const vec4f& p, const Matrix44& m) {
  float cx = p.x * m.at(0, 0) + p.y * m.at(1, 0) + p.z * m.at(2, 0) + m.at(3, 0);
  float cy = p.x * m.at(0, 1) + p.y * m.at(1, 1) + p.z * m.at(2, 1) + m.at(3, 1);
  float cw = p.x * m.at(0, 3) + p.y * m.at(1, 3) + p.z * m.at(2, 3) + m.at(3, 3);
  if (cw > 1e-5f) {
    float x = cx / cw, y = cy / cw;
    return {x, y, std::fabs(x) <= 1.f && std::fabs(y) <= 1.f};
  }
  // Behind the eye the division would mirror it: the clip-space x and y
  // themselves say which side of the view it lies on, the way to turn.
  float x = cx, y = cy;
  if (std::fabs(x) < 1e-6f && std::fabs(y) < 1e-6f) y = -1;
  return {x, y, false};
}

void draw_threat_marks(const vec4f& eye, const Matrix44& view_proj) {
  draw_breath_tint(eye, view_proj);
  draw_wyvern_arrows(eye, view_proj);
  draw_wave_clock();
}
