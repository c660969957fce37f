#pragma once
// Particles, trails and the effect script in the game: start-up and
// shutdown, the per-step update, the once-a-second reload check and the
// developer key that fires the script's demonstration effects.
// With the device: the particle and trail pools and what draws them; without
// (headless): the pools and the effect script only.
void effects_init(bool with_device = true);
void effects_close();
void effects_step(float dt);
void effects_reload_check();
