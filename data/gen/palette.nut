// Colours of the land. Each world shifts the palette a little (warmer or
// cooler soil, greener or drier grass), so that no two look the same.
// Colours are [r, g, b, a] arrays or packed 0xAARRGGBB integers.

function make_palette(w) {
  local hue = w.palette_shift;  // degrees
  local dry = w.dryness;        // 0 lush .. 1 dry
  local p = {};
  // Bare ground: rich loam in the lowlands, paler clay higher up.
  p.loam <- lch2rgba(38, 22, 62 + hue, 1);
  p.clay <- lch2rgba(58, 26, 55 + hue, 1);
  p.rock <- lch2rgba(55, 5, 80 + hue * 0.5, 1);
  p.dark_rock <- lch2rgba(36, 6, 70 + hue * 0.5, 1);
  p.cliff <- lch2rgba(62, 14, 60 + hue, 1);
  p.sand <- lch2rgba(82, 22, 85, 1);
  p.wet_sand <- lch2rgba(64, 22, 75, 1);
  p.seabed <- lch2rgba(45, 14, 90, 1);
  p.ash <- lch2rgba(30, 3, 60, 1);
  // Cover colours (alpha is the strength of the cover over the ground).
  p.grass <- lch2rgba(lerpf(46, 56, dry), lerpf(30, 24, dry), lerpf(128, 100, dry) + hue * 0.3, 1);
  p.meadow <- lch2rgba(lerpf(56, 64, dry), lerpf(32, 26, dry), lerpf(112, 90, dry) + hue * 0.3, 1);
  p.forest <- lch2rgba(32, 24, 138 + hue * 0.3, 1);
  p.snow <- [0.93, 0.95, 1.0, 1.0];

  // Ground by relative height: loam, clay, rock.
  local loam = p.loam, clay = p.clay, rock = p.rock;
  p.height_ramp <- ColorRamp(function(t) {
    if (t < 0.45) return lerpcolor(loam, clay, t / 0.45);
    return lerpcolor(clay, rock, smoothstep(0.45, 0.9, t));
  });
  // Cliff faces of faults: blended in strongly in the middle of the face.
  local cliff = p.cliff, dark = p.dark_rock;
  p.cliff_ramp <- ColorRamp(function(t) {
    local c = lerpcolor(dark, cliff, t);
    c[3] = 0.85 * (1.0 - (2.0 * t - 1.0) * (2.0 * t - 1.0)) + 0.1;
    return c;
  });
  // Noise shaping of the grass: soft bumps instead of plain gradient noise.
  p.patch_shape <- FloatRamp(function(t) { return smoothstep(0.3, 0.7, t) * 2.0 - 1.0; });
  return p;
}
