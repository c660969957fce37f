// The module's classes beyond those the game itself talks to. Every class
// here is concrete and built with default member values only: the class
// table constructs one of each in scratch memory to read its dispatch table.
#pragma once
#include "objects/game_objects.h"
#include "tuning.h"

struct Monster;

// Gives a class its name query.
#define GAMEOBJ_NAMED(Name) \
  const char* getName() override { return #Name; }

// A thing flying toward a target point: it moves every step, leaves a
// ribbon trail and its flight effect, and acts where its path meets the
// land or the water surface (or at the target, whichever comes first).
struct Missile : GameObj {
  GAMEOBJ_NAMED(Missile)
  vec4f pos{0, 0, 0, 1};
  vec4f vel{0, 0, 0, 0};
  vec4f target{0, 0, 0, 1};
  float age = 0;
  int trail = -1;  // ribbon trail handle, -1 for none

  void update(float dt) override;
  void onDestroy() override;
  vec4f boundRect() override;
  // What the missile does where it lands.
  virtual void arrive(const vec4f&) {}
  // The effect script's flight effect, called once a step.
  virtual const char* flightFx() { return "magic_missile_fx"; }
  virtual uint32_t trailColor() { return 0x8099CCFFu; }
  virtual float trailWidth() { return 0.35f; }
  // Missiles that strike a monster they pass (the others fly through).
  virtual bool hitsMonsters() { return false; }
  // Whether its landing near a wyvern sets the wyvern on the caster.
  virtual bool provokes() { return true; }
  // A monster struck on the way, before the missile acts where it struck.
  virtual void struck(Monster*) {}
};
// Missiles whose arrival reshapes the land.
struct TerrainMissile : Missile {
  GAMEOBJ_NAMED(TerrainMissile)
};
// Missiles whose arrival adds or takes water.
struct WaterMissile : Missile {
  GAMEOBJ_NAMED(WaterMissile)
  const char* flightFx() override { return "waterball_fx"; }
  uint32_t trailColor() override { return 0x704488FFu; }
};

struct Fireball : Missile {
  GAMEOBJ_NAMED(Fireball)
  void arrive(const vec4f& at) override;
  const char* flightFx() override { return "fireball_fx"; }
  uint32_t trailColor() override { return 0xA0FF8822u; }
  bool hitsMonsters() override { return true; }
};
struct Waterball : WaterMissile {
  GAMEOBJ_NAMED(Waterball)
  void arrive(const vec4f& at) override;
  bool hitsMonsters() override { return true; }
  void struck(Monster* m) override;
};
struct FaultMissile : TerrainMissile {
  GAMEOBJ_NAMED(FaultMissile)
  void arrive(const vec4f& at) override;
};
struct HouseMissile : TerrainMissile {
  GAMEOBJ_NAMED(HouseMissile)
  void arrive(const vec4f& at) override;
  uint32_t trailColor() override { return 0x80DDCC99u; }
};
struct MeteorMissile : Missile {
  GAMEOBJ_NAMED(MeteorMissile)
  void arrive(const vec4f& at) override;
  const char* flightFx() override { return "meteor_fx"; }
  uint32_t trailColor() override { return 0x90554433u; }
  float trailWidth() override { return 1.2f; }
};
struct HillMissile : TerrainMissile {
  GAMEOBJ_NAMED(HillMissile)
  void arrive(const vec4f& at) override;
  uint32_t trailColor() override { return 0x8088DD66u; }
};
struct PitMissile : TerrainMissile {
  GAMEOBJ_NAMED(PitMissile)
  void arrive(const vec4f& at) override;
  uint32_t trailColor() override { return 0x80AA66DDu; }
};
struct WaterSourceMissile : WaterMissile {
  GAMEOBJ_NAMED(WaterSourceMissile)
  void arrive(const vec4f& at) override;
};
struct WaterSinkMissile : WaterMissile {
  GAMEOBJ_NAMED(WaterSinkMissile)
  void arrive(const vec4f& at) override;
  uint32_t trailColor() override { return 0x70223366u; }
};
struct CastleMissile : Missile {
  GAMEOBJ_NAMED(CastleMissile)
  bool provokes() override { return false; }
  void arrive(const vec4f& at) override;
  uint32_t trailColor() override { return 0x80FFEE88u; }
};

// A spring that adds water at its cell every step while it lasts.
struct WaterSource : GameObj {
  GAMEOBJ_NAMED(WaterSource)
  vec4f pos{0, 0, 0, 1};
  float rate = 0, timeLeft = 0;  // water units a second; seconds left
  void update(float dt) override;
  vec4f boundRect() override;
};
// The same, taking water away.
struct WaterSink : WaterSource {
  GAMEOBJ_NAMED(WaterSink)
  void update(float dt) override;
};

// The module's spells: each sends its missile from the player toward the
// aimed point. False when the spell cannot be cast there.
struct CastableSpell : Spell {
  virtual bool launch(const vec4f&, const vec4f&) { return false; }
  // Mana taken when the spell is cast (the castle takes its own later).
  virtual int castCost() { return manaCost(); }
};
#define GAMEOBJ_SPELL(Name, Label, Cost)                                 \
  struct Name : CastableSpell {                                          \
    GAMEOBJ_NAMED(Name)                                                  \
    const char* spellName() override { return Label; }                   \
    int manaCost() override { return Cost; }                             \
    bool launch(const vec4f& from, const vec4f& target) override;        \
  };
GAMEOBJ_SPELL(FireballSpell, "Fireball", tuning::COST_FIREBALL)
GAMEOBJ_SPELL(WaterballSpell, "Waterball", tuning::COST_WATERBALL)
GAMEOBJ_SPELL(FaultSpell, "Fault", tuning::COST_FAULT)
GAMEOBJ_SPELL(HouseSpell, "House", tuning::COST_HOUSE)
GAMEOBJ_SPELL(MeteorSpell, "Meteor", tuning::COST_METEOR)
GAMEOBJ_SPELL(HillSpell, "Hill", tuning::COST_HILL)
GAMEOBJ_SPELL(PitSpell, "Pit", tuning::COST_PIT)
GAMEOBJ_SPELL(WaterSourceSpell, "Water source", tuning::COST_SPRING)
GAMEOBJ_SPELL(WaterSinkSpell, "Water sink", tuning::COST_SINK)
GAMEOBJ_SPELL(UsePortalSpell, "Use portal", 0)
// The castle spell costs nothing to send: the castle takes the level's mana
// when the missile arrives. Its cost shows the next level's price.
struct CastleSpell : CastableSpell {
  GAMEOBJ_NAMED(CastleSpell)
  const char* spellName() override { return "Castle"; }
  int manaCost() override;
  int castCost() override { return 0; }
  bool launch(const vec4f& from, const vec4f& target) override;
};

struct Monster : GameObj {
  GAMEOBJ_NAMED(Monster)
  vec4f pos{0, 0, 0, 1};
  vec4f vel{0, 0, 0, 0};
  float health = 1;
};
struct WyvernMonster : Monster {
  GAMEOBJ_NAMED(WyvernMonster)
  float bank = 0;        // roll into the turn, radians
  float flap = 0;        // wing-beat phase
  float breathing = 0;   // seconds of fire breath left in this burst
  float breathWait = 0;  // seconds until the next burst
  float provoked = 0;    // seconds it stays set on the player after a spell near it
  bool chasing = false;  // it goes for the player this step
  bool attacking = false;  // it breathes fire on something this step
  vec4f boundRect() override;
  void update(float dt) override;
  void render(float t) override;
  void renderShadow(float t) override;
};
// A killed wyvern on its way down.
struct WyvernCorpse : GameObj {
  GAMEOBJ_NAMED(WyvernCorpse)
  vec4f pos{0, 0, 0, 1};
  vec4f vel{0, 0, 0, 0};
  float spin = 0;
  void update(float dt) override;
  void render(float t) override;
  vec4f boundRect() override;
};

// Things standing on the land.
struct StaticObject : GameObj {
  GAMEOBJ_NAMED(StaticObject)
  vec4f pos{0, 0, 0, 1};
  vec4f boundRect() override;
};
struct Stone1StaticObject : StaticObject {
  GAMEOBJ_NAMED(Stone1StaticObject)
  void render(float t) override;
  void renderShadow(float t) override;
};
struct ManaGatherer : StaticObject {
  GAMEOBJ_NAMED(ManaGatherer)
  float gathered = 0, burning = 0;
  float sendWait = 0;  // seconds until the gathered mana is sent
  float ruin = 0;      // while above 0: a glowing ruin, this many seconds from growing again
  bool standing() const { return ruin <= 0; }
  // Burned down or blasted: it leaves a ruin that grows a new gatherer.
  void fall();
  void update(float dt) override;
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
  void update(float dt) override;
};

struct ManaBall : GameObj {
  GAMEOBJ_NAMED(ManaBall)
  vec4f pos{0, 0, 0, 1};
  int amount = 0;
  vec4f vel{0, 0, 0, 0};
  float age = 0;
  void update(float dt) override;
  vec4f boundRect() override;
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
