#pragma once
// The spell places the spell UI lays out, and the monster-spawning state.
// The module fills and reads them; the game only owns them.
#include <cstdint>

struct Spell;

constexpr int SPELL_GRID_NX = 5, SPELL_GRID_NY = 2;
extern Spell* spell_grid[SPELL_GRID_NY][SPELL_GRID_NX];  // row-major, null = empty place
extern int32_t spell_grid_nx, spell_grid_ny;
// True while Ctrl is held in game mode: the mouse picks spells, it does not cast.
extern bool spells_ui_active;

extern bool monster_spawn_enabled;   // Ctrl+M toggles it
extern float monster_spawn_delay;    // seconds between spawns
extern int32_t total_spawned_monsters;
// The world number a run starts in (-world N); the module reads it at start-up.
extern int32_t start_world_number;
