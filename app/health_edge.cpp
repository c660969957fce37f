#include "app/health_edge.h"

#include <cmath>
#include <cstdint>

#include "platform/globals.h"
#include "device/font.h"

namespace {
constexpr float TINT_BELOW = 0.4f;  // health fraction where the tint begins
constexpr int LAYERS = 8;           // soft edge: nested bands, each fainter inward
}  // namespace

float low_health_edge_strength(float health_fraction) {
  if (!std::isfinite(health_fraction) || health_fraction >= TINT_BELOW) return 0.f;
  float f = health_fraction < 0.f ? 0.f : health_fraction;
  return 1.f - f / TINT_BELOW;
}

void draw_low_health_edge(float health_fraction) {
  float strength = low_health_edge_strength(health_fraction);
  if (strength <= 0.f) return;
  int band = (d3d_ht < d3d_wd ? d3d_ht : d3d_wd) / 10;
  int step = band / LAYERS > 0 ? band / LAYERS : 1;
  for (int i = 0; i < LAYERS; i++) {
    // Every layer covers the ones outside it, so the edge itself gets the sum.
    uint32_t a = uint32_t(std::lround(strength * 40.f * float(LAYERS - i) / LAYERS));
    D3dColor red((a << 24) | 0x00C01010u);
    int in = (i + 1) * step;
    fill_rect(0, d3d_ht - in, d3d_wd, d3d_ht, red);  // top (text y grows upward)
    fill_rect(0, 0, d3d_wd, in, red);                // bottom
    fill_rect(0, in, in, d3d_ht - in, red);          // left
    fill_rect(d3d_wd - in, in, d3d_wd, d3d_ht - in, red);
  }
}
