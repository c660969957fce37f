// The game's effects, built from particles. Native code and the game-object
// module call these functions by name with three vectors and a number:
//   (pos, dir, extra, scale)
// where `pos` is where the effect happens, `dir` a velocity or direction,
// `extra` effect-specific (unused ones get zero) and `scale` its strength.
// Flight effects ("..._fx" of a moving missile) are called once a step;
// bursts ("..._explode_fx", "..._splash_fx", "..._impact_fx", "..._death_fx")
// once. Edit this file while the game runs: the next effect uses it.
//
// The effects by spell and event:
//   Fireball       fireball_fx (flight), fireball_explode_fx
//   Waterball      waterball_fx (flight), waterball_splash_fx
//   Fault          magic_missile_fx (flight), magic_hit_fx
//   House          house_fizzle_fx (no place to stand)
//   Meteor         meteor_fx (falling), meteor_impact_fx
//   Water source   water_source_fx (each step while it runs)
//   Water sink     water_sink_fx (each step while it runs)
//   Wyvern         wyvern_breath_fx (each step while breathing), wyvern_death_fx
//   Mana ball      mana_ball_fx (each step)
//   World portal   portal_fx (each step)
//   init_fx_data   builds the ramps again
//
// Bursts also say what they sound like: play_sound(name, pos, gain, pitch)
// plays sounds/<name>.ogg, else sounds/<name>.wav, at pos (gain 0..1, pitch 1
// as recorded) and returns whether it plays. Never call it from an effect
// that runs every step: that starts a new sound every step.
//
// Particle atlases (512 x 256 pixels), cells as [mapU, mapV, mapSize]:

// blendfx.dds: shading in rgb (the particle colour multiplies it), coverage in alpha
SMOKE <- [[0, 0, 64], [64, 0, 64], [128, 0, 64], [192, 0, 64]];
FLAME <- [256, 0, 64];
DROP <- [320, 0, 64];
SPRAY <- [384, 0, 64];
DISC <- [448, 0, 64];
FEATHER <- [[0, 64, 64], [64, 64, 64]];
RING <- [128, 64, 64];
CROWN <- [192, 64, 64];
CHIP <- [256, 64, 64];
SWIRL <- [320, 64, 64];
EMBER <- [384, 64, 64];
MIST <- [448, 64, 64];
BIG_SMOKE <- [0, 128, 128];
SPRAY_CLOUD <- [128, 128, 128];
BIG_FLAME <- [256, 128, 128];
SHOCK_RING <- [384, 128, 128];

// glowfx.dds: white light, intensity in alpha
G_GLOW <- [0, 64, 64];
G_SPARK <- [64, 64, 64];
G_STAR <- [128, 64, 64];
G_RING <- [192, 64, 64];
G_FLAME <- [256, 64, 64];
G_WISP <- [320, 64, 64];
G_STREAK <- [384, 64, 64];
G_BUBBLE <- [448, 64, 64];
G_BIG_GLOW <- [0, 128, 128];
G_SHOCK <- [128, 128, 128];
G_FLARE <- [256, 128, 128];
G_FIREBALL <- [384, 128, 128];

// ---- ramps (kept in globals: particles read them while they live) ----
// Built when the file runs and again by init_fx_data, which the game-object
// module calls when it sets up its effects.

// Colour stops [age, 0xAARRGGBB] joined linearly.
function stops_ramp(stops) {
  return ColorRamp(function(t) {
    local i = 0;
    while (i < stops.len() - 2 && t > stops[i + 1][0]) i++;
    local a = stops[i], b = stops[i + 1];
    local k = (t - a[0]) / (b[0] - a[0]);
    k = k < 0.0 ? 0.0 : (k > 1.0 ? 1.0 : k);
    return lerpcolor(a[1], b[1], k);
  });
}

function build_ramps() {
  // Fire: white-hot, yellow, orange, a dark red that fades out.
  ::fire_colors <- stops_ramp([[0.0, 0x00ffffff], [0.06, 0xffffffd0], [0.25, 0xffffc040], [0.55, 0xd0ff6010],
                             [0.8, 0x60a02008], [1.0, 0x00400000]]);
  // Sparks stay bright longer and end red.
  ::spark_colors <- stops_ramp([[0.0, 0xffffffe0], [0.4, 0xffffd060], [0.8, 0xc0ff5010], [1.0, 0x00a01000]]);
  // Smoke fades in quickly and thins out slowly.
  ::smoke_colors <- ColorRamp.fadeInOut(0x00ffffff, 0xb0ffffff, 0x00ffffff, 0.12, 0.7);
  ::thin_smoke_colors <- ColorRamp.fadeInOut(0x00ffffff, 0x60ffffff, 0x00ffffff, 0.2, 0.6);
  // Water: bright white-blue spray that clears.
  ::water_colors <- ColorRamp.fadeInOut(0x00ffffff, 0xf0ffffff, 0x00ffffff, 0.05, 0.5);
  ::mist_colors <- ColorRamp.fadeInOut(0x00ffffff, 0x50ffffff, 0x00ffffff, 0.2, 0.7);
  // Magic: violet light shifting to cyan.
  ::magic_colors <- stops_ramp([[0.0, 0x00ffffff], [0.1, 0xffe0a0ff], [0.5, 0xc08060ff], [1.0, 0x0040e0ff]]);
  // A flash: full at once, gone soon after.
  ::flash_colors <- ColorRamp.fadeInOut(0xffffffff, 0xffffffff, 0x00000000, 0.0, 0.9);
  ::glow_pulse <- ColorRamp.fadeInOut(0x00ffffff, 0xffffffff, 0x00ffffff, 0.3, 0.7);
  // Feathers are seen to the end, then vanish.
  ::feather_colors <- ColorRamp.fadeInOut(0xffffffff, 0xffffffff, 0x00ffffff, 0.0, 0.25);

  ::grow_2 <- FloatRamp.linear(0.5, 2.0);
  ::grow_4 <- FloatRamp.linear(0.5, 4.0);
  ::grow_fast <- FloatRamp(function(t) { return 0.3 + 2.7 * sqrt(t); });
  ::shrink <- FloatRamp.linear(1.0, 0.1);
  ::puff <- FloatRamp.fadeInOut(0.3, 1.0, 1.3, 0.15, 0.85);
  ::spin <- FloatRamp.linear(0.0, 1.0);
}
build_ramps();

function init_fx_data(a, b, c, f) { build_ramps(); }

// ---- helpers ----

ZERO <- vec4f(0.0, 0.0, 0.0, 0.0);
GRAVITY <- vec4f(0.0, -9.8, 0.0, 0.0);
LIGHT_GRAVITY <- vec4f(0.0, -2.0, 0.0, 0.0);
RISE <- vec4f(0.0, 1.5, 0.0, 0.0);

// Particle parameters: the cell and a table of changes to the defaults. The
// changes table itself is returned, delegating every slot it does not set to
// the defaults of its cell (made once per cell), so a particle costs one
// small table and no copying.
cell_defaults <- {};
function params(cell, changes) {
  local d = cell in cell_defaults ? cell_defaults[cell] : null;
  if (d == null) {
    d = {
      accel = ZERO, life = 1.0, delay = 0.0, size = 1.0,
      mapU = cell[0], mapV = cell[1], mapSize = cell[2],
      startRoll = 0.0, rollScale = 0.0,
      colorAnim = null, sizeAnim = null, rollAnim = null,
      color = 0xffffffff
    };
    cell_defaults[cell] <- d;
  }
  changes.setdelegate(d);
  return changes;
}

// Vectors: the particles read w only from a velocity, as its drag, which
// drag_vel sets; everywhere else w is left as the arithmetic makes it.
function v4(x, y, z) { return vec4f(x, y, z, 0.0); }
// A random direction, uniform enough for bursts.
function rnd_dir() { return norm3(vec4f(srnd(), srnd(), srnd(), 0.0)); }
// Gives the velocity v (a vector made for this particle) the drag `drag`.
function drag_vel(v, drag) { v[3] = drag; return v; }
function scaled(v, s) { return v * s; }
function plus(a, b) { return a + b; }
function rnd_roll() { return frnd() * 2.0 * PI; }
function one_of(list) { return list[irnd() % list.len()]; }
function size_of(scale) { return scale > 0.0 ? scale : 1.0; }

function smoke_puff(pos, vel, life, size, color, delay) {
  add_blend_particle(pos, vel, params(one_of(SMOKE), {
    life = life, delay = delay, size = size, color = color, accel = RISE,
    startRoll = rnd_roll(), rollScale = srnd() * 1.5,
    colorAnim = smoke_colors, sizeAnim = grow_4, rollAnim = spin }));
}

function flame(pos, vel, life, size, delay) {
  add_glow_particle(pos, vel, params(frnd() < 0.5 ? G_FLAME : G_FIREBALL, {
    life = life, delay = delay, size = size, accel = v4(0.0, 3.0, 0.0),
    startRoll = srnd() * 0.4, colorAnim = fire_colors, sizeAnim = grow_2 }));
}

function sparks(pos, n, speed, s) {
  for (local i = 0; i < n; i++)
    add_glow_particle(pos, drag_vel(scaled(rnd_dir(), speed * (0.4 + frnd())), 1.2), params(G_SPARK, {
      life = 0.5 + frnd() * 0.8, size = 0.25 * s, accel = GRAVITY, delay = frnd() * 0.1,
      colorAnim = spark_colors, sizeAnim = shrink }));
}

function flash(pos, size, life, color) {
  add_glow_particle(pos, ZERO, params(G_FLARE, {
    life = life, size = size, color = color, startRoll = rnd_roll(),
    colorAnim = flash_colors, sizeAnim = grow_2 }));
}

// ---- fireball ----

// In flight, every step: flames licking off the ball and a thin smoke tail.
function fireball_fx(pos, vel, extra, scale) {
  local s = size_of(scale);
  local back = scaled(vel, -0.1);
  add_glow_particle(pos, ZERO, params(G_BIG_GLOW, {
    life = 0.15, size = 1.6 * s, color = 0xffff8020, colorAnim = glow_pulse }));
  for (local i = 0; i < 3; i++)
    flame(plus(pos, scaled(rnd_dir(), 0.3 * s)), drag_vel(plus(back, scaled(rnd_dir(), 1.5)), 2.0),
          0.35 + frnd() * 0.2, 0.7 * s, frnd() * 0.05);
  if (frnd() < 0.6)
    smoke_puff(pos, drag_vel(scaled(vel, -0.05), 1.0), 1.5, 0.6 * s, 0xff404040, 0.15);
}

// The explosion: a flash, a ball of flame, sparks and rising smoke.
function fireball_explode_fx(pos, normal, extra, scale) {
  play_sound("fireball_burst", pos, 1.0, 1.0);
  local s = size_of(scale);
  flash(pos, 6.0 * s, 0.35, 0xffffe0a0);
  add_glow_particle(pos, ZERO, params(G_SHOCK, {
    life = 0.4, size = 2.0 * s, color = 0xc0ffa040, colorAnim = flash_colors, sizeAnim = grow_4 }));
  for (local i = 0; i < 28; i++) {
    local d = rnd_dir();
    flame(plus(pos, scaled(d, 0.5 * s)), drag_vel(scaled(d, (4.0 + frnd() * 6.0) * s), 3.0),
          0.5 + frnd() * 0.5, (1.0 + frnd()) * s, frnd() * 0.08);
  }
  sparks(pos, 24, 12.0 * s, s);
  for (local i = 0; i < 12; i++) {
    local d = rnd_dir();
    smoke_puff(plus(pos, scaled(d, 1.0 * s)), drag_vel(plus(scaled(d, 2.0 * s), v4(0.0, 1.5, 0.0)), 1.0),
               2.0 + frnd() * 1.5, (1.0 + frnd() * 0.6) * s, 0xff303030, 0.15 + frnd() * 0.3);
  }
}

// ---- waterball ----

// In flight: droplets shed behind a wobbling globe and a glint of light.
function waterball_fx(pos, vel, extra, scale) {
  local s = size_of(scale);
  add_glow_particle(pos, ZERO, params(G_BUBBLE, {
    life = 0.12, size = 1.2 * s, color = 0xa080c0ff, startRoll = rnd_roll(), colorAnim = glow_pulse }));
  for (local i = 0; i < 3; i++)
    add_blend_particle(plus(pos, scaled(rnd_dir(), 0.5 * s)),
                       drag_vel(plus(scaled(vel, -0.05), scaled(rnd_dir(), 1.5)), 0.5), params(DROP, {
      life = 0.6 + frnd() * 0.3, size = 0.15 * s, color = 0xfff0f8ff, accel = GRAVITY, colorAnim = water_colors }));
  if (frnd() < 0.5)
    add_blend_particle(pos, drag_vel(scaled(vel, -0.02), 1.0), params(MIST, {
      life = 0.8, size = 0.8 * s, color = 0xffd0e8ff, startRoll = rnd_roll(),
      colorAnim = mist_colors, sizeAnim = grow_2 }));
}

// The splash: a crown, droplets thrown up and out, a spreading spray cloud.
function waterball_splash_fx(pos, normal, extra, scale) {
  play_sound("waterball_splash", pos, 1.0, 1.0);
  local s = size_of(scale);
  add_blend_particle(plus(pos, v4(0.0, 1.0 * s, 0.0)), ZERO, params(CROWN, {
    life = 0.7, size = 2.5 * s, color = 0xffffffff, colorAnim = water_colors, sizeAnim = grow_2 }));
  for (local i = 0; i < 40; i++) {
    local a = frnd() * 2.0 * PI;
    local out = 2.0 + frnd() * 4.0;
    add_blend_particle(pos, drag_vel(v4(cos(a) * out * s, (6.0 + frnd() * 6.0) * s, sin(a) * out * s), 0.3),
                       params(frnd() < 0.7 ? DROP : SPRAY, {
      life = 1.0 + frnd() * 0.5, size = (0.12 + frnd() * 0.2) * s, color = 0xfff0f8ff, accel = GRAVITY,
      delay = frnd() * 0.1, startRoll = srnd() * 0.3, colorAnim = water_colors }));
  }
  for (local i = 0; i < 8; i++) {
    local a = i * PI / 4.0;
    add_blend_particle(plus(pos, v4(0.0, 0.5, 0.0)), drag_vel(v4(cos(a) * 4.0 * s, 0.5, sin(a) * 4.0 * s), 1.5),
                       params(SPRAY_CLOUD, {
      life = 1.6, size = 1.5 * s, color = 0xffe8f4ff, startRoll = rnd_roll(),
      colorAnim = mist_colors, sizeAnim = grow_2, delay = 0.05 }));
  }
}

// ---- magic missile (the fault spell) ----

function magic_missile_fx(pos, vel, extra, scale) {
  local s = size_of(scale);
  add_glow_particle(pos, ZERO, params(G_GLOW, {
    life = 0.12, size = 1.2 * s, color = 0xffc080ff, colorAnim = glow_pulse }));
  for (local i = 0; i < 3; i++)
    add_glow_particle(plus(pos, scaled(rnd_dir(), 0.4 * s)), drag_vel(scaled(rnd_dir(), 1.0), 1.0),
                      params(G_STAR, {
      life = 0.5 + frnd() * 0.4, size = 0.4 * s, startRoll = rnd_roll(), rollScale = srnd() * 4.0,
      colorAnim = magic_colors, sizeAnim = shrink, rollAnim = spin }));
  if (frnd() < 0.5)
    add_glow_particle(pos, drag_vel(scaled(vel, -0.05), 1.0), params(G_WISP, {
      life = 0.7, size = 0.9 * s, startRoll = rnd_roll(), rollScale = 2.0,
      colorAnim = magic_colors, sizeAnim = grow_2, rollAnim = spin }));
}

function magic_hit_fx(pos, normal, extra, scale) {
  local s = size_of(scale);
  flash(pos, 4.0 * s, 0.3, 0xffc090ff);
  for (local i = 0; i < 30; i++)
    add_glow_particle(pos, drag_vel(scaled(rnd_dir(), (3.0 + frnd() * 5.0) * s), 2.0), params(G_STAR, {
      life = 0.6 + frnd() * 0.6, size = 0.5 * s, startRoll = rnd_roll(), rollScale = srnd() * 6.0,
      colorAnim = magic_colors, sizeAnim = shrink, rollAnim = spin }));
}

// ---- water source and sink (every step while they run) ----

// A fountain: a column of droplets arching out, mist where they fall.
function water_source_fx(pos, dir, extra, scale) {
  local s = size_of(scale);
  for (local i = 0; i < 4; i++) {
    local a = frnd() * 2.0 * PI;
    local out = 0.5 + frnd() * 1.5;
    add_blend_particle(pos, drag_vel(v4(cos(a) * out * s, (7.0 + frnd() * 3.0) * s, sin(a) * out * s), 0.2),
                       params(frnd() < 0.6 ? DROP : SPRAY, {
      life = 1.4 + frnd() * 0.4, size = (0.12 + frnd() * 0.15) * s, color = 0xfff0f8ff, accel = GRAVITY,
      delay = frnd() * 0.05, startRoll = srnd() * 0.3, colorAnim = water_colors }));
  }
  if (frnd() < 0.4)
    add_blend_particle(plus(pos, v4(srnd() * s, 0.3, srnd() * s)), drag_vel(v4(0.0, 0.4, 0.0), 1.0),
                       params(MIST, {
      life = 1.5, size = 1.2 * s, color = 0xffe0f0ff, startRoll = rnd_roll(),
      colorAnim = mist_colors, sizeAnim = grow_2 }));
}

// A swirl: spray drawn round and down into the hole, a turning vortex disc.
function water_sink_fx(pos, dir, extra, scale) {
  local s = size_of(scale);
  for (local i = 0; i < 5; i++) {
    local a = frnd() * 2.0 * PI;
    local r = (2.0 + frnd() * 1.5) * s;
    local p = plus(pos, v4(cos(a) * r, 0.3, sin(a) * r));
    // Tangential and inward: the drops spiral toward the centre.
    local v = v4((-sin(a) * 4.0 - cos(a) * 2.0) * s, -0.4, (cos(a) * 4.0 - sin(a) * 2.0) * s);
    add_blend_particle(p, drag_vel(v, 0.5), params(SPRAY, {
      life = 0.9, size = 0.5 * s, color = 0xffe8f4ff, startRoll = rnd_roll(), rollScale = 3.0,
      colorAnim = water_colors, sizeAnim = shrink, rollAnim = spin }));
  }
  if (frnd() < 0.3)
    add_blend_particle(plus(pos, v4(0.0, 0.2, 0.0)), ZERO, params(SWIRL, {
      life = 1.2, size = 2.5 * s, color = 0xffd0e8ff, startRoll = rnd_roll(), rollScale = -6.0,
      colorAnim = mist_colors, rollAnim = spin }));
}

// ---- meteor ----

// Falling: a burning rock trailing thick smoke.
function meteor_fx(pos, vel, extra, scale) {
  local s = size_of(scale);
  add_glow_particle(pos, ZERO, params(G_FIREBALL, {
    life = 0.12, size = 2.0 * s, startRoll = rnd_roll(), colorAnim = fire_colors }));
  for (local i = 0; i < 2; i++)
    flame(plus(pos, scaled(rnd_dir(), 0.6 * s)), drag_vel(plus(scaled(vel, -0.1), scaled(rnd_dir(), 2.0)), 2.0),
          0.4, 1.2 * s, frnd() * 0.05);
  for (local i = 0; i < 2; i++)
    smoke_puff(plus(pos, scaled(rnd_dir(), 0.8 * s)), drag_vel(scaled(rnd_dir(), 0.8), 0.8),
               3.0 + frnd(), (1.0 + frnd() * 0.5) * s, 0xff383430, 0.05);
}

// The impact: a white flash, a shock ring, rock thrown out, a smoke column.
function meteor_impact_fx(pos, normal, extra, scale) {
  play_sound("meteor_impact", pos, 1.0, 1.0);
  local s = size_of(scale);
  flash(pos, 14.0 * s, 0.5, 0xfffff0d0);
  add_blend_particle(plus(pos, v4(0.0, 0.5, 0.0)), ZERO, params(SHOCK_RING, {
    life = 0.8, size = 4.0 * s, color = 0xffd0c0b0, colorAnim = thin_smoke_colors, sizeAnim = grow_4 }));
  for (local i = 0; i < 24; i++) {
    local d = rnd_dir();
    flame(plus(pos, scaled(d, s)), drag_vel(plus(scaled(d, (6.0 + frnd() * 8.0) * s), v4(0.0, 4.0, 0.0)), 2.5),
          0.6 + frnd() * 0.6, (1.2 + frnd() * 1.2) * s, frnd() * 0.1);
  }
  for (local i = 0; i < 30; i++) {
    local a = frnd() * 2.0 * PI;
    local out = (4.0 + frnd() * 8.0) * s;
    add_blend_particle(pos, drag_vel(v4(cos(a) * out, (8.0 + frnd() * 10.0) * s, sin(a) * out), 0.1),
                       params(CHIP, {
      life = 1.5 + frnd(), size = (0.2 + frnd() * 0.3) * s, color = 0xff504030, accel = GRAVITY,
      startRoll = rnd_roll(), rollScale = srnd() * 10.0, rollAnim = spin, colorAnim = feather_colors }));
  }
  sparks(pos, 30, 16.0 * s, s);
  for (local i = 0; i < 24; i++) {
    local h = frnd();
    smoke_puff(plus(pos, v4(srnd() * 2.0 * s, h * 3.0 * s, srnd() * 2.0 * s)),
               drag_vel(v4(srnd() * 2.0 * s, (2.0 + h * 4.0) * s, srnd() * 2.0 * s), 0.6),
               3.0 + frnd() * 2.0, (2.0 + frnd()) * s, 0xff3a3632, 0.2 + frnd() * 0.5);
  }
}

// ---- wyvern ----

// Fire breath, every step while breathing: a cone of flame along `dir`.
function wyvern_breath_fx(pos, dir, extra, scale) {
  local s = size_of(scale);
  local d = norm3(dir);
  for (local i = 0; i < 5; i++) {
    local v = plus(scaled(d, (12.0 + frnd() * 6.0) * s), scaled(rnd_dir(), 2.5 * s));
    add_glow_particle(pos, drag_vel(v, 1.5), params(frnd() < 0.5 ? G_FLAME : G_FIREBALL, {
      life = 0.6 + frnd() * 0.3, size = 0.5 * s, delay = frnd() * 0.05, startRoll = rnd_roll(),
      rollScale = srnd() * 2.0, accel = v4(0.0, 2.0, 0.0),
      colorAnim = fire_colors, sizeAnim = grow_fast, rollAnim = spin }));
  }
  if (frnd() < 0.3)
    smoke_puff(plus(pos, scaled(d, 6.0 * s)), drag_vel(scaled(d, 4.0 * s), 1.0), 1.5, 0.8 * s, 0xff303030, 0.3);
}

// Death: a burst of fire, feathers drifting down, a dark smoke cloud.
function wyvern_death_fx(pos, vel, extra, scale) {
  play_sound("wyvern_death", pos, 1.0, 1.0);
  local s = size_of(scale);
  flash(pos, 5.0 * s, 0.3, 0xffffc080);
  for (local i = 0; i < 20; i++) {
    local d = rnd_dir();
    flame(plus(pos, scaled(d, 0.5 * s)), drag_vel(scaled(d, (3.0 + frnd() * 5.0) * s), 2.5),
          0.5 + frnd() * 0.4, (0.8 + frnd()) * s, frnd() * 0.1);
  }
  for (local i = 0; i < 30; i++) {
    local d = rnd_dir();
    local shade = [0xffb08860, 0xff7a5a40, 0xffd0b090, 0xff906848][i % 4];
    add_blend_particle(plus(pos, scaled(d, 0.6 * s)), drag_vel(plus(scaled(d, (3.0 + frnd() * 4.0) * s),
                       scaled(vel, 0.3)), 1.8), params(one_of(FEATHER), {
      life = 2.5 + frnd() * 2.0, size = (0.5 + frnd() * 0.3) * s, color = shade, accel = LIGHT_GRAVITY,
      startRoll = rnd_roll(), rollScale = srnd() * 8.0, delay = frnd() * 0.1,
      colorAnim = feather_colors, rollAnim = spin }));
  }
  for (local i = 0; i < 10; i++) {
    local d = rnd_dir();
    smoke_puff(plus(pos, scaled(d, s)), drag_vel(scaled(d, 1.5 * s), 1.0), 2.0 + frnd(), (1.0 + frnd() * 0.5) * s,
               0xff282420, 0.1 + frnd() * 0.2);
  }
}

// ---- mana ball and portal (every step while they exist) ----

// A floating ball of mana: a pulsing blue core and sparkles circling it.
function mana_ball_fx(pos, vel, extra, scale) {
  local s = size_of(scale);
  add_glow_particle(pos, ZERO, params(G_BIG_GLOW, {
    life = 0.15, size = 1.4 * s, color = 0xff60a0ff, colorAnim = glow_pulse }));
  add_glow_particle(pos, ZERO, params(G_GLOW, {
    life = 0.15, size = 0.6 * s, color = 0xffe0f0ff, colorAnim = glow_pulse }));
  local a = frnd() * 2.0 * PI;
  local p = plus(pos, v4(cos(a) * 0.9 * s, srnd() * 0.5 * s, sin(a) * 0.9 * s));
  add_glow_particle(p, drag_vel(plus(v4(-sin(a) * 2.0, 0.6, cos(a) * 2.0), scaled(vel, 0.5)), 1.0), params(G_SPARK, {
    life = 0.7, size = 0.25 * s, color = 0xff80c0ff, colorAnim = glow_pulse, sizeAnim = shrink }));
}

// The world portal: a shimmering ring with light rising through it.
function portal_fx(pos, dir, extra, scale) {
  local s = size_of(scale);
  if (frnd() < 0.35)
    add_glow_particle(pos, ZERO, params(G_RING, {
      life = 0.6, size = 4.0 * s, color = 0x509070ff, startRoll = rnd_roll(), rollScale = 1.0,
      colorAnim = glow_pulse, sizeAnim = puff, rollAnim = spin }));
  for (local i = 0; i < 3; i++) {
    local a = frnd() * 2.0 * PI;
    local r = (2.5 + frnd() * 1.0) * s;
    add_glow_particle(plus(pos, v4(cos(a) * r, -2.0 * s, sin(a) * r)),
                      drag_vel(v4(-sin(a) * 1.5, 3.0 + frnd() * 2.0, cos(a) * 1.5), 0.5), params(G_STAR, {
      life = 1.2 + frnd() * 0.6, size = 0.35 * s, startRoll = rnd_roll(), rollScale = 4.0,
      colorAnim = magic_colors, sizeAnim = shrink, rollAnim = spin }));
  }
  if (frnd() < 0.2)
    add_glow_particle(plus(pos, v4(srnd() * s, srnd() * s, srnd() * s)), drag_vel(v4(0.0, 1.0, 0.0), 1.0),
                      params(G_WISP, {
      life = 1.5, size = 2.0 * s, color = 0x406060ff, startRoll = rnd_roll(), rollScale = 2.0,
      colorAnim = glow_pulse, sizeAnim = grow_2, rollAnim = spin }));
}

// A house missile that found no place to stand: a puff of dust.
function house_fizzle_fx(pos, dir, extra, scale) {
  local s = size_of(scale);
  for (local i = 0; i < 10; i++) {
    local d = rnd_dir();
    smoke_puff(plus(pos, scaled(d, 0.5 * s)), drag_vel(v4(getx(d) * 3.0 * s, 1.0 + frnd(), getz(d) * 3.0 * s), 1.5),
               1.5 + frnd(), 0.8 * s, 0xffa09070, 0.0);
  }
}

// ---- demonstration (developer key F) ----

// Each entry: the effect, and whether it runs every step (a flight or a
// lasting source) or bursts once a second.
DEMO_EFFECTS <- [
  ["fireball_fx", true], ["fireball_explode_fx", false],
  ["waterball_fx", true], ["waterball_splash_fx", false],
  ["magic_missile_fx", true], ["magic_hit_fx", false],
  ["water_source_fx", true], ["water_sink_fx", true],
  ["meteor_fx", true], ["meteor_impact_fx", false],
  ["wyvern_breath_fx", true], ["wyvern_death_fx", false],
  ["mana_ball_fx", true], ["portal_fx", true], ["house_fizzle_fx", false]
];

// Called every step for a few seconds: flights circle round `pos`, bursts
// repeat each second.
function demo_fx(pos, dir, index, time) {
  local e = DEMO_EFFECTS[getx(index).tointeger() % DEMO_EFFECTS.len()];
  local f = getroottable()[e[0]];
  if (e[1]) {
    local a = time * 2.0;
    local p = plus(pos, v4(cos(a) * 6.0, 0.0, sin(a) * 6.0));
    f(p, v4(-sin(a) * 12.0, 0.0, cos(a) * 12.0), ZERO, 1.0);
  } else {
    local step = (time * 20.0 + 0.5).tointeger();
    if (step % 20 == 0) f(pos, v4(0.0, 1.0, 0.0), ZERO, 1.0);
  }
}
