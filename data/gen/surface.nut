// What covers the ground: sand on beaches and the sea floor, rock on steep
// slopes, grass and meadows on soil, snow on the peaks. The ground colour
// that erosion left (deposits included) shows through wherever the cover
// is thin.

// Base ground colours before erosion, so that the droplets carry them.
function paint_ground(pal) {
  recolor_by_height(pal.height_ramp, null);
}

function paint_surface(w, pal, sea) {
  local height = HmapMask.fromHeight();
  local slope = HmapMask.fromSlope();
  local patches = HmapMask.fromSimplexNoise(1.0, 8, 3, pal.patch_shape, 0.5);
  local mm = height.calcMinMax();
  local snow_line = mask_quantile(height, 1.0 - w.snow_fraction);
  local top = mm[1];
  local beach = 0.5 + 0.6 * w.dryness;

  local sand = pal.sand, wet_sand = pal.wet_sand, seabed = pal.seabed;
  local rock = pal.rock, dark_rock = pal.dark_rock;
  local grass = pal.grass, meadow = pal.meadow, forest = pal.forest, snow = pal.snow;
  local dry = w.dryness;

  repaint_land(function(x, z, ground, cover) {
    local h = height.getraw(x, z);
    local s = slope.getraw(x, z);
    local n = patches.getraw(x, z);

    // Under water and on the shore: sand, darker with depth.
    if (h < sea + beach + n * 0.6 && s > 0.72) {
      if (h < sea) {
        local d = clampf((sea - h) / 10.0, 0.0, 1.0);
        return [lerpcolor(wet_sand, seabed, d), GT_SAND];
      }
      return [lerpcolor(wet_sand, sand, clampf((h - sea) / beach, 0.0, 1.0)), GT_SAND];
    }

    // Cliffs and steep slopes: bare rock, streaked by the eroded ground.
    if (s < 0.62 + n * 0.05) {
      local r = lerpcolor(dark_rock, rock, clampf((s - 0.3) / 0.3, 0.0, 1.0));
      return [lerpcolor(r, ground, 0.35), GT_ROCK];
    }

    // Peaks: snow, thicker on flatter ground and higher up.
    local sl = snow_line + n * 2.5;
    if (h > sl) {
      local k = clampf((h - sl) / 3.0, 0.0, 1.0) * smoothstep(0.6, 0.85, s);
      if (k > 0.05) {
        local c = lerpcolor([snow[0], snow[1], snow[2], 0.0], snow, 0.35 + 0.65 * k);
        return [lerpcolor(ground, rock, 0.5), GT_ROCK, c, ST_SNOW];
      }
      return [lerpcolor(ground, rock, 0.6), GT_ROCK];
    }

    // Soil with grass: lush in the lowlands, patchy and paler higher up,
    // woodland-dark in the hollows of the noise.
    local alt = clampf((h - sea) / (snow_line - sea + 0.001), 0.0, 1.0);
    local g = lerpcolor(grass, meadow, clampf(0.5 + n * 0.5, 0.0, 1.0));
    if (n < -0.35 && alt < 0.6) g = lerpcolor(g, forest, clampf((-0.35 - n) * 2.5, 0.0, 1.0));
    local density = clampf((s - 0.62) / 0.2, 0.0, 1.0) * (1.0 - smoothstep(0.55, 0.95, alt)) * (1.0 - 0.45 * dry);
    density = clampf(density * (0.8 + 0.4 * n), 0.0, 1.0);
    if (density < 0.12) return [ground, GT_SOIL];
    g[3] = 0.35 + 0.6 * density;
    return [ground, GT_SOIL, g, ST_GRASS];
  });
}
