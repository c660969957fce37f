#pragma once
// The run's state beyond the objects: which world this is, what it was made
// from, how the castle stands and the clocks the module keeps between steps.
// The game owns it, so a rebuilt module swapped in keeps the run going and a
// saved game stores it; the module reads and writes it as its own.
//
// Every field is listed once in RUN_STATE_FIELDS (type, name, starting
// value), which also gives saved games their field names: a new field is one
// more line there, and a save written before it existed loads with the
// starting value. Types: int, uint64_t, float, bool.
#include <cstdint>

#define RUN_STATE_FIELDS(X)                                                                        \
  X(int, world_number, 1)                     /* 1 for the first world, +1 per portal */             \
  X(uint64_t, world_seed, 0)                  /* the seed the current world was made from */         \
  X(float, castle_health, 100.f)              /* 0..100 */                                           \
  X(float, castle_fall_timer, -1.f)           /* seconds until the fallen world starts again; -1 standing */ \
  X(float, castle_burn_told_at, -100.f)       /* anim_clock when the burning castle was last reported */ \
  X(bool, world_objects_due, false)           /* the new world's objects are placed at the next step */ \
  X(float, player_down_timer, -1.f)           /* seconds until the fallen player starts again; -1 alive */ \
  X(float, spawn_clock, 0.f)                  /* seconds since the last wyvern came */               \
  X(float, anim_clock, 0.f)                   /* seconds of play, for animation and message pacing */ \
  X(float, cast_clock, 0.f)                   /* seconds of play as the hands count them */          \
  X(float, not_enough_mana_shown_at, -10.f)   /* cast_clock when "Not enough mana" last showed */

struct RunState {
#define RUN_STATE_MEMBER(type, name, start) type name = start;
  RUN_STATE_FIELDS(RUN_STATE_MEMBER)
#undef RUN_STATE_MEMBER
};

extern RunState run_state;

// A new run: every field back to its starting value.
void reset_run_state();

// The module reports the size it was built with, so that a rebuilt module
// that sees another RunState is never swapped in over this one.
constexpr const char* GAMEOBJ_RUN_STATE_LAYOUT = "run_state_layout";
