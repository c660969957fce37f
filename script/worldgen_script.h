#pragma once
// World generation from a script: the world-generation VM with the native
// world API registered into it (constants, terrain and noise functions,
// random, colour and vector helpers, whole-map masks, paint functions), the
// generation sequence, and the reload that regenerates the world when the
// script files change.
#include <squirrel.h>

#include "script/sqVMReload.h"
#include "script/sqbind.h"
#include "world/heightmap.h"

// A whole-map float layer in the layout of hmap; script class "HmapMask".
struct HmapMask {
  alignas(16) float v[HMAP_CELLS];
};
SQBIND_DECLARE_CLASS(HmapMask, "HmapMask");

constexpr const char* WORLD_GEN_SCRIPT = "gen/main.nut";
constexpr const char* WORLD_GEN_ERROR = "Error in world gen script:\n%s";
// Watchdog of the world-generation VM: one run of a script file or of
// generate_world longer than this is stopped with "script ran for more than
// 10 s"; the world keeps what the script had made by then.
constexpr float WORLD_GEN_TIME_LIMIT_S = 10.0f;

// Seams for subsystems that join the sequence later; an unset one is skipped.
struct WorldGenHooks {
  void (*bindGameobj)(HSQUIRRELVM vm) = nullptr;  // the module adds its script functions
  void (*removeAllGameobj)() = nullptr;           // before the world is reset
  void (*playerWorldStart)() = nullptr;           // the local player's start-of-generation step
  void (*resetCommonFx)() = nullptr;              // particles and trails
};
extern WorldGenHooks world_gen_hooks;

extern SqReloadableVM world_gen_vm;

// Registers the world API into a VM (steps 2, 3, 5 and 6 of the set-up; the
// module's bindings in between come from world_gen_hooks).
void register_world_gen_api(HSQUIRRELVM vm);

// Creates the VM, registers the API, runs the main script (gen/main.nut
// unless another is named) and looks up generate_world. A VM that cannot be
// created is fatal; a script error becomes the on-screen error message and
// false.
bool create_world_gen_vm(const char* main_script = WORLD_GEN_SCRIPT);
// Makes a new world with the script's generate_world. False when the script
// failed (the message is on screen; the world keeps what was made).
bool generate_world();
// Once a second: when a script file changed, runs every file again and
// generates the world again from the seed of the world on screen (G makes a
// new one). True when it regenerated.
bool world_gen_reload_check();
void close_world_gen_vm();
// Shows "Error in world gen script:\n<place>: <text>" as the on-screen error
// message.
void show_world_gen_error(const sqbind::SquirrelError& e);
// The text of the last world-generation error ("" after a clean run).
const char* last_world_gen_error();
// How many times generate_world has run (a new world starts each time).
int world_generation_count();
// The seed the last generate_world started from.
uint64_t last_world_seed();
// A world that was loaded rather than generated: a script edit makes it
// again from `seed`, the seed it was first made from.
void note_loaded_world_seed(uint64_t seed);
// The sea level the script reported with set_sea_level during the last
// generate_world; false when it reported none.
bool last_world_sea_level(float& level);
// Milliseconds the last generate_world took.
int last_world_gen_ms();
