// The operations of the classes the game talks to; most do nothing until
// their class gets behaviour.
#include "object_registry.h"

const char* GameObj::getName() { return "GameObj"; }
void GameObj::update(float) {}
void GameObj::onWorldGenerate() {}
void GameObj::render(float) {}
void GameObj::renderShadow(float) {}
void GameObj::renderDebug(float) {}
vec4f GameObj::boundRect() { return vec4f(0, 0, 0, 0); }

const char* Spell::getName() { return "Spell"; }
const char* Spell::spellName() { return ""; }
int Spell::manaCost() { return 0; }

const char* CastleObject::getName() { return "CastleObject"; }
int CastleObject::castleLevel() { return level; }
vec4f CastleObject::boundRect() { return vec4f(pos.x - 9, pos.z - 9, pos.x + 9, pos.z + 9); }

namespace {
// A destroyed object leaves the lists and the bins at once; it is freed with
// the next update.
void leave_world(GameObj* obj) {
  remove_proximity_object(obj);
  unlist_everywhere(obj);
  if (local_player == obj) local_player = nullptr;
}
}  // namespace

void GameObj::onDestroy() { leave_world(this); }
