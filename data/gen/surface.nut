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
  local snow_line = mask_quantile(height, 1.0 - w.snow_fraction);
  local beach = 0.5 + 0.6 * w.dryness;
  local dry = w.dryness;
  local smooth = FloatRamp(function(t) { return smoothstep(0.0, 1.0, t); });
  local fade = FloatRamp(function(t) { return 1.0 - smoothstep(0.0, 1.0, t); });

  // Every cell lies in one zone, tested in this order: shore, cliff, peak,
  // soil. Zone masks are 1 inside and 0 outside.
  local shore = height.sub(patches.mul(0.6)).less(sea + beach).mul(slope.greater(0.72));
  local rest = shore.mul(-1.0).add(1.0);
  local cliff = slope.less(patches.mul(0.05).add(0.62)).mul(rest);
  rest = rest.sub(cliff);
  local snow_level = patches.mul(2.5).add(snow_line);
  local peak = height.greater(snow_level).mul(rest);
  local soil = rest.sub(peak);

  // Under water and on the shore: sand, darker with depth.
  paint_ground_layer(shore, ColorRamp.linear(pal.wet_sand, pal.sand), height.remap(sea, sea + beach, null), 1.0,
                     GT_SAND);
  paint_ground_layer(shore.mul(height.less(sea)), ColorRamp.linear(pal.wet_sand, pal.seabed),
                     height.remap(sea, sea - 10.0, null), 1.0, GT_SAND);

  // Cliffs and steep slopes: bare rock, streaked by the eroded ground.
  paint_ground_layer(cliff, ColorRamp.linear(pal.dark_rock, pal.rock), slope.remap(0.3, 0.6, null), 0.65, GT_ROCK);

  // Peaks: snow, thicker on flatter ground and higher up.
  local rock = ColorRamp.constRamp(pal.rock);
  local depth = height.sub(snow_level).remap(0.0, 3.0, null).mul(slope.remap(0.6, 0.85, smooth));
  local snowy = peak.mul(depth.greater(0.05));
  paint_ground_layer(peak.sub(snowy), rock, 0.0, 0.6, GT_ROCK);
  paint_ground_layer(snowy, rock, 0.0, 0.5, GT_ROCK);
  local snow = pal.snow;
  paint_cover_layer(snowy, ColorRamp.constRamp(snow), 0.0, 1.0, depth.mul(0.65 * snow[3]).add(0.35 * snow[3]),
                    ST_SNOW);

  // Soil with grass: lush in the lowlands, patchy and paler higher up,
  // woodland-dark in the hollows of the noise.
  paint_ground_layer(soil, rock, 0.0, 0.0, GT_SOIL);
  local alt = height.remap(sea, snow_line + 0.001, null);
  local density = slope.remap(0.62, 0.82, null).mul(alt.remap(0.55, 0.95, fade)).mul(1.0 - 0.45 * dry)
                       .mul(patches.mul(0.4).add(0.8)).remap(0.0, 1.0, null);
  local grassy = soil.mul(density.greater(0.12));
  paint_cover_layer(grassy, ColorRamp.linear(pal.grass, pal.meadow), patches.remap(-1.0, 1.0, null), 1.0,
                    density.mul(0.6).add(0.35), ST_GRASS);
  paint_cover_layer(grassy.mul(alt.less(0.6)), ColorRamp.constRamp(pal.forest), 0.0,
                    patches.remap(-0.35, -0.75, null), null, ST_GRASS);
}
