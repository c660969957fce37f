// The module's requests for a new world, carried out after its step.
#include "app/world_requests.h"

#include "platform/globals.h"
#include "platform/log.h"
#include "script/worldgen_script.h"

namespace {
bool requested = false;
uint64_t requested_seed = 0;
}  // namespace

void request_world_generation(uint64_t seed) {
  requested = true;
  requested_seed = seed;
}

void generate_requested_world() {
  if (!requested) return;
  requested = false;
  game_rnd_seed = requested_seed;
  generate_world();
}
