// The shape of the land: continents and islands, rolling hills, rocky
// plateaus, fault cliffs and craters. Heights are in cell units; the sea
// level is chosen afterwards (see settle_sea_level).

// The character of this world, drawn from the seed. Everything random
// about the world starts here, so a seed always makes the same world.
function roll_world() {
  local w = {};
  w.water_fraction <- rndf(0.28, 0.5);     // share of the map under the sea
  w.relief <- rndf(24.0, 36.0);            // height from the deepest sea to the peaks
  w.hilliness <- rndf(0.35, 0.8);
  w.plateaus <- rndf(0.3, 1.0);            // strength of the rocky Voronoi mesas
  w.plateau_tile <- [4, 8, 8, 16][hmrnd() & 3];
  w.faults <- 1 + (hmrnd() % 3);
  w.craters <- hmrnd() % 4;
  w.palette_shift <- rndf(-14.0, 14.0);
  w.dryness <- frnd();
  w.snow_fraction <- rndf(0.03, 0.08);     // share of the map above the snow line
  w.droplets <- 24000 + (hmrnd() * 32);
  return w;
}

function shape_landforms(w) {
  // Continents: very large, soft subdivision noise, lifted toward a ring of
  // land or a scatter of islands depending on the seed.
  add_fast_noise(0.0, 30.0, null, GT_NONE, 255, 0.52);
  local continents = HmapMask.fromSimplexNoise(14.0, 2, 3, null, 0.45);
  apply_height_mask(continents, null);

  // Rolling hills over the whole map.
  add_simplex_noise(0.0, 9.0 * w.hilliness, 8, 5, 0.5);
  add_voronoi_hills(16, 0.0, 4.0 * w.hilliness, 0.9);

  // Rocky plateaus: Voronoi cells with noisy borders, only where the land
  // stands high, so the coasts stay soft.
  local mesas = HmapMask.fromVoronoiFaults(w.plateau_tile, 0.0, 10.0 * w.plateaus, 0.35, 2, 3, 0.6);
  local lo = mask_quantile(HmapMask.fromHeight(), 0.45);
  local hi = mask_quantile(HmapMask.fromHeight(), 0.85);
  apply_height_mask(mesas, function(h, m) { return h + m * smoothstep(lo, hi, h); });
}

// Fault cliffs and craters come after the broad shapes so that their sharp
// edges survive; erosion then softens them a little.
function add_features(w, pal) {
  for (local i = 0; i < w.faults; i++) {
    local c = random_cell();
    local dir = make_dir_xz(frnd());
    gen_fault(c[0], c[1], getx(dir), getz(dir), rndf(6.0, 12.0), rndf(0.3, 0.8), rndf(3.0, 8.0),
              pal.cliff_ramp, GT_ROCK);
  }
  for (local i = 0; i < w.craters; i++) {
    local c = random_cell();
    gen_crater(c[0], c[1], rndf(6.0, 16.0), rndf(0.45, 0.9));
  }
}

// Scales the land to the world's relief with the given share under water.
// Returns the sea level (0 after the shift).
function settle_sea_level(w) {
  local half = recenter_hmap();
  local k = half > 0 ? w.relief / (2.0 * half) : 1.0;
  local sea = mask_quantile(HmapMask.fromHeight(), w.water_fraction) * k;
  // Gentle lowlands, sharper highlands: a soft power curve above the sea.
  apply_height_mask(null, function(h) {
    local y = h * k - sea;
    if (y > 0) return y * (0.55 + 0.45 * smoothstep(0.0, 20.0, y)) ;
    return y * 0.8;
  });
  return 0.0;
}
