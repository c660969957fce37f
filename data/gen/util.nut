// Small helpers shared by the world script files.

function minf(a, b) { return a < b ? a : b; }
function maxf(a, b) { return a > b ? a : b; }
function clampf(x, lo, hi) { return x < lo ? lo : (x > hi ? hi : x); }
function lerpf(a, b, t) { return a + (b - a) * t; }

// 0 below e0, 1 above e1, a smooth S-curve between.
function smoothstep(e0, e1, x) {
  local t = clampf((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

// The value below which the fraction `frac` of the mask lies, estimated
// from a regular sample of 64 x 64 cells.
function mask_quantile(mask, frac) {
  local samples = [];
  for (local z = 1; z < HMAP_SIZE; z += 4)
    for (local x = 1; x < HMAP_SIZE; x += 4)
      samples.append(mask.getraw(x, z));
  samples.sort();
  local i = (frac * (samples.len() - 1)).tointeger();
  return samples[clampf(i, 0, samples.len() - 1)];
}

// A random point on the map as [x, z].
function random_cell() { return [hmfrnd(), hmfrnd()]; }
