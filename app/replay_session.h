#pragma once
// -record FILE and -replay FILE: each simulation step's input written out,
// or read back in place of the devices; a replay ends by logging the world
// hash and quitting.
#include <cstdint>

// After the settings and the seed are known: opens the record or loads the
// replay (whose start options replace the command line's). False, with the
// reason logged, when the file cannot be used.
bool start_input_session();
// Around every simulation step; `run_ends` when -steps ends the run after
// this one (a record then logs the world hash its replay must reach).
void input_session_before_step();
// True once a replay has run its last step (the run then ends as after -steps).
bool input_session_after_step(bool run_ends);
// Closes the record; logs when it could not be written completely.
void end_input_session();
bool replaying_input();
// Whether the record could not be written completely (the run then exits
// with a non-zero code).
bool input_session_failed();

// FNV-1a over the land heights, the surface, the water and every object's
// name and position.
uint64_t world_hash();
