// Sky and light colours for a sun elevation in degrees.
//
// get_sky_colors(elevation) returns ten [r, g, b] colours:
//   0 ambient light from the sky dome     1 direct sun light
//   2 haze extinction per channel         3 sky colour at the zenith
//   4 sky colour at the horizon (fog)     5 [fog density, horizon band width, 0]
//   6 sun disc colour                     7 glow colour around the sun
//   8 [glow exponent, glow strength, 0]   9 colour of deep water
// This file may run again while the game runs: it only defines functions.

function clamp01(x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }

// 0 below a, 1 above b, smooth in between.
function ramp(a, b, x) {
  local t = clamp01((x - a) / (b - a));
  return t * t * (3.0 - 2.0 * t);
}

function mix(a, b, t) {
  return [a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t];
}

function scale(a, s) { return [a[0] * s, a[1] * s, a[2] * s]; }

// Blends night, twilight and day values: day weight d, twilight weight w.
function phase(night, twilight, dayv, d, w) {
  return mix(mix(night, dayv, d), twilight, w);
}

function get_sky_colors(elevation) {
  local e = elevation;
  local day = ramp(-4.0, 14.0, e);                 // 0 at night, 1 in full day
  local dusk = ramp(-9.0, -1.0, e) * (1.0 - ramp(2.0, 16.0, e));  // red band around sunset
  local low = 1.0 - ramp(4.0, 35.0, e);            // a low sun's warmer light
  local up = ramp(-1.5, 2.5, e);                   // the disc above the horizon

  local ambient = phase([0.035, 0.045, 0.09], [0.34, 0.25, 0.27], [0.40, 0.46, 0.56], day, dusk * 0.8);
  local sun = scale(mix([1.05, 0.98, 0.88], [1.05, 0.52, 0.22], low), up * (0.55 + 0.45 * ramp(0.0, 30.0, e)));
  local haze = mix([0.06, 0.12, 0.30], [0.10, 0.30, 0.70], low);
  local zenith = phase([0.006, 0.010, 0.032], [0.16, 0.17, 0.34], [0.12, 0.30, 0.70], day, dusk * 0.7);
  local horizon = phase([0.022, 0.030, 0.065], [0.98, 0.45, 0.22], [0.64, 0.76, 0.92], day, dusk);
  local density = 0.30 + 0.25 * dusk + 0.2 * (1.0 - day);
  local band = 0.22 - 0.10 * dusk;
  local disc = scale(mix([1.7, 1.6, 1.45], [1.6, 0.75, 0.35], low), up);
  local glow = phase([0.0, 0.0, 0.0], [1.0, 0.38, 0.12], [0.45, 0.40, 0.30], day, dusk);
  local glow_exp = 6.0 + 18.0 * (1.0 - low);
  local deep = phase([0.01, 0.02, 0.04], [0.10, 0.12, 0.16], [0.05, 0.20, 0.26], day, dusk * 0.6);

  return [ambient, sun, haze, zenith, horizon, [density, band, 0.0], disc, glow,
          [glow_exp, 0.55 + 0.35 * dusk, 0.0], deep];
}
