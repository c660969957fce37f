// Sounds of casting and of the player's pain.
#include <cmath>
#include <cstring>

#include "classes.h"
#include "module_api.h"
#include "sounds.h"
#include "world_run.h"

namespace {
constexpr float CAST_GAIN = 0.9f;
// Pain is voiced at most once in this many steps (0.6 s), not every step of a burn.
constexpr int HURT_SOUND_INTERVAL_STEPS = 12;
// The horn sounds this far from the player, on the attackers' side.
constexpr float HORN_DISTANCE = 15.f;

struct CastSound {
  const char* spell;
  const char* sound;
};
// By the name the spell panel shows.
const CastSound CAST_SOUNDS[] = {
    {"Fireball", "fireball_cast"},   {"Waterball", "waterball_cast"},       {"Fault", "fault_cast"},
    {"House", "house_cast"},         {"Meteor", "meteor_cast"},             {"Hill", "hill_cast"},
    {"Pit", "pit_cast"},             {"Water source", "water_source_cast"}, {"Water sink", "water_sink_cast"},
    {"Castle", "castle_cast"},       {"Use portal", "use_portal_cast"},
};

int last_hurt_step = -1000;
}  // namespace

void cast_sound(Spell* spell, const vec4f& at) {
  if (!spell) return;
  const char* name = spell->spellName();
  for (const CastSound& c : CAST_SOUNDS)
    if (std::strcmp(c.spell, name) == 0) {
      play_sound(c.sound, at, CAST_GAIN, 1);
      return;
    }
}

void wave_horn_from(const vec4f& from) {
  Player* p = local_player;
  if (!p) return;
  float dx = std::remainder(from.x - p->pos.x, float(HMAP_SIZE)), dz = std::remainder(from.z - p->pos.z, float(HMAP_SIZE));
  float l = std::sqrt(dx * dx + dz * dz);
  if (!(l > 1e-3f)) return;
  vec4f at(p->pos.x + dx / l * HORN_DISTANCE, p->pos.y, p->pos.z + dz / l * HORN_DISTANCE, 1);
  play_sound_prio("wave_horn", at, 1, 1, SOUND_PRIO_SIGNAL);
}

void hurt_sound(const vec4f& at, float amount) {
  if (amount <= 0) return;
  if (module_step - last_hurt_step < HURT_SOUND_INTERVAL_STEPS && module_step >= last_hurt_step) return;
  last_hurt_step = module_step;
  play_sound("player_hurt", at, 0.8f, 1);
}
