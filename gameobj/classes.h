// The module's classes beyond those the game itself talks to. Every class
// here is concrete and built with default member values only: the class
// table constructs one of each in scratch memory to read its dispatch table.
#pragma once
#include "objects/game_objects.h"

// Gives a class its name query.
#define GAMEOBJ_NAMED(Name) \
  const char* getName() override { return #Name; }

// A thing flying toward a target point.
struct Missile : GameObj {
  GAMEOBJ_NAMED(Missile)
  vec4f pos{0, 0, 0, 1};
  vec4f vel{0, 0, 0, 0};
  vec4f target{0, 0, 0, 1};
  float age = 0;
};
// Missiles whose arrival reshapes the land.
struct TerrainMissile : Missile {
  GAMEOBJ_NAMED(TerrainMissile)
};
// Missiles whose arrival adds or takes water.
struct WaterMissile : Missile {
  GAMEOBJ_NAMED(WaterMissile)
};

struct Fireball : Missile {
  GAMEOBJ_NAMED(Fireball)
};
struct Waterball : WaterMissile {
  GAMEOBJ_NAMED(Waterball)
};
struct FaultMissile : TerrainMissile {
  GAMEOBJ_NAMED(FaultMissile)
};
struct HouseMissile : TerrainMissile {
  GAMEOBJ_NAMED(HouseMissile)
};
struct MeteorMissile : Missile {
  GAMEOBJ_NAMED(MeteorMissile)
};
struct HillMissile : TerrainMissile {
  GAMEOBJ_NAMED(HillMissile)
};
struct PitMissile : TerrainMissile {
  GAMEOBJ_NAMED(PitMissile)
};
struct WaterSourceMissile : WaterMissile {
  GAMEOBJ_NAMED(WaterSourceMissile)
};
struct WaterSinkMissile : WaterMissile {
  GAMEOBJ_NAMED(WaterSinkMissile)
};
struct CastleMissile : Missile {
  GAMEOBJ_NAMED(CastleMissile)
};

// A spring that adds water at its cell every step while it lasts.
struct WaterSource : GameObj {
  GAMEOBJ_NAMED(WaterSource)
  vec4f pos{0, 0, 0, 1};
  float rate = 0, timeLeft = 0;
};
// The same, taking water away.
struct WaterSink : WaterSource {
  GAMEOBJ_NAMED(WaterSink)
};

// Spells: a name and a cost per cast.
#define GAMEOBJ_SPELL(Name, Label, Cost)                 \
  struct Name : Spell {                                  \
    GAMEOBJ_NAMED(Name)                                  \
    const char* spellName() override { return Label; }   \
    int manaCost() override { return Cost; }             \
  };
GAMEOBJ_SPELL(FireballSpell, "Fireball", 5)
GAMEOBJ_SPELL(WaterballSpell, "Waterball", 8)
GAMEOBJ_SPELL(FaultSpell, "Fault", 20)
GAMEOBJ_SPELL(HouseSpell, "House", 15)
GAMEOBJ_SPELL(MeteorSpell, "Meteor", 40)
GAMEOBJ_SPELL(HillSpell, "Hill", 10)
GAMEOBJ_SPELL(PitSpell, "Pit", 10)
GAMEOBJ_SPELL(WaterSourceSpell, "Water source", 25)
GAMEOBJ_SPELL(WaterSinkSpell, "Water sink", 25)
GAMEOBJ_SPELL(CastleSpell, "Castle", 100)
GAMEOBJ_SPELL(UsePortalSpell, "Use portal", 0)

struct Monster : GameObj {
  GAMEOBJ_NAMED(Monster)
  vec4f pos{0, 0, 0, 1};
  vec4f vel{0, 0, 0, 0};
  float health = 1;
};
struct WyvernMonster : Monster {
  GAMEOBJ_NAMED(WyvernMonster)
  void update(float dt) override;
  void render(float t) override;
  void renderShadow(float t) override;
};
// A killed wyvern on its way down.
struct WyvernCorpse : GameObj {
  GAMEOBJ_NAMED(WyvernCorpse)
  vec4f pos{0, 0, 0, 1};
  vec4f vel{0, 0, 0, 0};
};

// Things standing on the land.
struct StaticObject : GameObj {
  GAMEOBJ_NAMED(StaticObject)
  vec4f pos{0, 0, 0, 1};
};
struct Stone1StaticObject : StaticObject {
  GAMEOBJ_NAMED(Stone1StaticObject)
  void render(float t) override;
  void renderShadow(float t) override;
};
struct ManaGatherer : StaticObject {
  GAMEOBJ_NAMED(ManaGatherer)
  float gathered = 0, burning = 0;
  void render(float t) override;
  void renderShadow(float t) override;
};
struct CastleTower : StaticObject {
  GAMEOBJ_NAMED(CastleTower)
};
struct CastleWall : StaticObject {
  GAMEOBJ_NAMED(CastleWall)
};
struct WorldPortal : StaticObject {
  GAMEOBJ_NAMED(WorldPortal)
};

struct ManaBall : GameObj {
  GAMEOBJ_NAMED(ManaBall)
  vec4f pos{0, 0, 0, 1};
  int amount = 0;
};

// Short-lived effects bound to a place.
struct EffectObject : GameObj {
  GAMEOBJ_NAMED(EffectObject)
  vec4f pos{0, 0, 0, 1};
  float timeLeft = 0;
};
struct FireEffect : EffectObject {
  GAMEOBJ_NAMED(FireEffect)
};
struct Explosion : EffectObject {
  GAMEOBJ_NAMED(Explosion)
};
struct ShockWave : EffectObject {
  GAMEOBJ_NAMED(ShockWave)
};
struct SpringSpray : EffectObject {
  GAMEOBJ_NAMED(SpringSpray)
};
struct Puff : EffectObject {
  GAMEOBJ_NAMED(Puff)
};
struct ScorchMark : EffectObject {
  GAMEOBJ_NAMED(ScorchMark)
};
struct PortalGlow : EffectObject {
  GAMEOBJ_NAMED(PortalGlow)
};
