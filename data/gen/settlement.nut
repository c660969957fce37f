// House sites: the castle on the flattest, roomiest dry ground, towers
// around it and walls between them. Every house flattens its footprint, so
// the sites are chosen on gentle ground above the sea.

// Unevenness of the square of half size r around (x, z) plus a penalty for
// low ground, from a sparse sample. Lower is better.
function site_cost(height, x, z, r, sea) {
  local lo = 1.0e9, hi = -1.0e9, sum = 0.0, n = 0;
  for (local dz = -r; dz <= r; dz += 3)
    for (local dx = -r; dx <= r; dx += 3) {
      local h = height.getraw(x + dx, z + dz);
      if (h < lo) lo = h;
      if (h > hi) hi = h;
      sum += h;
      n++;
    }
  if (lo < sea + 1.5) return 1.0e9;  // wet or too close to the shore
  local mean = sum / n;
  return (hi - lo) + 0.08 * (mean - sea);
}

// The best site on a grid of candidates, or null when none is dry.
function best_site(height, r, sea, step, x0, z0, span) {
  local best = null, cost = 1.0e8;
  for (local z = z0 - span; z <= z0 + span; z += step)
    for (local x = x0 - span; x <= x0 + span; x += step) {
      local c = site_cost(height, x, z, r, sea);
      if (c < cost) {
        cost = c;
        best = [x & (HMAP_SIZE - 1), z & (HMAP_SIZE - 1)];
      }
    }
  return best;
}

function found_settlement(w, sea) {
  local height = HmapMask.fromHeight();
  local castle = best_site(height, 9, sea, 8, 128, 128, 124);
  if (castle == null) return;
  place_house(castle[0], castle[1], -1);
  w.castle <- castle;
  // The game-object module, when present, puts the player's castle here.
  if ("set_castle_site" in getroottable()) set_castle_site(castle[0], castle[1]);

  // Towers on dry, even ground around the castle, each joined to it by a
  // wall along x and one along z.
  height = HmapMask.fromHeight();
  local towers = 2 + (hmrnd() % 3);
  for (local i = 0; i < towers; i++) {
    local d = make_dir_xz(i.tofloat() / towers + frnd() * 0.15);
    local dist = rndf(30.0, 48.0);
    local tx = (castle[0] + getx(d) * dist).tointeger();
    local tz = (castle[1] + getz(d) * dist).tointeger();
    local site = best_site(height, 3, sea, 3, tx, tz, 9);
    if (site == null) continue;
    place_house(site[0], site[1], 0);
    local wall_x = ((castle[0] + site[0]) / 2).tointeger();
    local wall_z = ((castle[1] + site[1]) / 2).tointeger();
    if (site_cost(height, wall_x, site[1], 5, sea) < 4.0) place_house(wall_x, site[1], 2);
    if (site_cost(height, site[0], wall_z, 5, sea) < 4.0) place_house(site[0], wall_z, 1);
    height = HmapMask.fromHeight();
  }
}

// Fills everything below the sea level with water: a flat sea at rest.
function flood_sea(sea) {
  local height = HmapMask.fromHeight();
  apply_water_mask(height, function(d, h) { return h < sea ? sea - h : 0.0; });
}
