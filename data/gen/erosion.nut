// Rain wears the land down: droplets carve valleys and drop their soil in
// the lowlands. The soil carries the colour of the ground it came from, and
// a pair of slow reactions turns fresh deposits into greener alluvium.

function erode_land(w) {
  local params = {
    Kq = 3.0,            // how much soil a droplet can carry
    Kr = 0.5,            // how fast it picks soil up
    Kd = 0.06,           // how fast it drops it again
    Ki = 0.35,           // inertia: higher values make wider valleys
    minSlope = 0.03,
    Kw = 0.006,          // evaporation
    g = 15.0,
    depositBlend = 1.5,
    reactionTime = 60.0,
    reactions = [
      // Red and green turn into each other until green : red is about
      // 1.1 : 1, so fresh brown deposits ripen into olive silt but never
      // past it, however often a cell is buried.
      [[1, 0, 0, 0], [0, 1, 0, 0], 0.0022],
      [[0, 1, 0, 0], [1, 0, 0, 0], 0.0020],
    ],
  };
  gen_droplet_erosion(w.droplets, params);
}
