#pragma once
// Particles, trails and the effect script in the game: start-up and
// shutdown, the per-step update, the once-a-second reload check and the
// developer key that fires the script's demonstration effects.
void effects_init();
void effects_close();
void effects_step(float dt);
void effects_reload_check();
