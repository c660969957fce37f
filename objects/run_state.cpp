// The one run state of the process; see run_state.h.
#include "objects/run_state.h"

RunState run_state;

void reset_run_state() { run_state = RunState{}; }
