// Tolvane world script. generate_world() builds a new world from the
// current seed; the game calls it at start-up, on the generate key and
// whenever this file or one it includes changes. Every file is run again on
// a change, so they only define functions.
//
//   landforms.nut   continents, hills, plateaus, faults, craters, sea level
//   erosion.nut     rain erosion and the colour of its deposits
//   surface.nut     ground colours, sand, rock, grass and snow
//   settlement.nut  the castle, towers and walls, and the sea
//   palette.nut     the colours and ramps used by all of the above
include("gen/util.nut");
include("gen/palette.nut");
include("gen/landforms.nut");
include("gen/erosion.nut");
include("gen/surface.nut");
include("gen/settlement.nut");

function generate_world() {
  reseed_noise();
  local w = roll_world();
  local pal = make_palette(w);

  shape_landforms(w);
  add_features(w, pal);
  local sea = settle_sea_level(w);

  paint_ground(pal);
  erode_land(w);
  paint_surface(w, pal, sea);

  found_settlement(w, sea);
  flood_sea(sea);
  set_sea_level(sea);  // for worldgen's height16.json
}
