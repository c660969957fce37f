#pragma once
// The game-object classes both sides talk through. The game calls the
// operations declared here by name; their order is the dispatch-slot order
// the game relies on, so new operations go after the last one of a class,
// never between. The module defines every operation and adds its own classes.
// Counting slots as BaseObject's four followed by these: GameObj adds 4-9,
// Player adds 10-18 (move is 10, eye 16, placeAtCamera 17, castHand 18).
#include "containers/dyn_array.h"
#include "platform/math_types.h"
#include "objects/base_object.h"

struct Spell;
struct CastleObject;

// Everything that lives in the world. The first own field is the proximity
// bin index (-1 while the object stands in no bin).
struct GameObj : BaseObject {
  int proximityBin = -1;

  const char* getName() override;
  // Leaves every list and its proximity bin.
  void onDestroy() override;
  virtual void update(float dt);
  // The world is about to be generated anew (called on the local player).
  virtual void onWorldGenerate();
  virtual void render(float t);
  virtual void renderShadow(float t);
  virtual void renderDebug(float t);
  // Ground rectangle covered: min x, min z, max x, max z.
  virtual vec4f boundRect();
};

// The local player as the camera and the spell UI see it.
struct Player : GameObj {
  vec4f pos{128, 40, 128, 1};
  vec4f vel{0, 0, 0, 0};
  float yaw = 0, bank = 0;
  bool parked = false;  // waiting for the world script to place the castle
  Spell* hands[2] = {nullptr, nullptr};
  int mana = 60;
  float health = 1, cooldown = 0;
  bool manaCheat = false;
  float handCooldown[2] = {0, 0};  // seconds until each hand may cast again

  const char* getName() override;
  void update(float dt) override;
  void onWorldGenerate() override;
  vec4f boundRect() override;

  // Moves by the velocity the camera asks for (world units per step).
  virtual void move(float dt, float speed, const vec4f& velocity, const Matrix44& cam, int dash);
  virtual Spell* handSpell(int hand);
  virtual int manaAmount();
  // The two state bars, each 0..1.
  virtual float stateFraction(int bar);
  virtual CastleObject* castle();
  // Puts a spell into the second hand when `second`, else into the first.
  virtual void selectSpell(bool second, Spell* spell);
  virtual vec4f eye();
  // Puts the player where the free-fly camera was.
  virtual void placeAtCamera(const vec4f& camPos);
  // Casts the hand's spell toward the point under the screen centre; false
  // when the hand is empty, cooling down or short of mana.
  virtual bool castHand(int hand);
};

// A spell the player can hold in a hand and cast.
struct Spell : GameObj {
  const char* getName() override;
  virtual const char* spellName();
  virtual int manaCost();
};

// The player's castle; its level grows with the castle spell.
struct CastleObject : GameObj {
  vec4f pos{0, 0, 0, 1};
  int level = 0;

  const char* getName() override;
  vec4f boundRect() override;
  virtual int castleLevel();
  // Progress toward the next level, 0..1.
  virtual float castleProgress();
  // Health now and at most (the most grows with the level).
  virtual float castleHealth();
  virtual float castleHealthMax();
};

// The module's other list classes; only the module sees their definitions.
struct WaterSource;
struct Fireball;
struct Waterball;
struct FaultMissile;
struct HouseMissile;
struct MeteorMissile;
struct HillMissile;
struct PitMissile;
struct WaterSourceMissile;
struct WaterSinkMissile;
struct FireballSpell;
struct WaterballSpell;
struct FaultSpell;
struct HouseSpell;
struct MeteorSpell;
struct HillSpell;
struct PitSpell;
struct WaterSourceSpell;
struct WaterSinkSpell;
struct WyvernMonster;
struct Stone1StaticObject;
struct ManaGatherer;
struct CastleMissile;
struct CastleSpell;
struct ManaBall;
struct WorldPortal;
struct UsePortalSpell;

// The object lists, in the order the game walks them when re-linking. The
// module fills and empties them; one object may stand in several.
extern DynArray<GameObj*> GameObj_list;
extern DynArray<Player*> Player_list;
extern DynArray<WaterSource*> WaterSource_list;
extern DynArray<Fireball*> Fireball_list;
extern DynArray<Waterball*> Waterball_list;
extern DynArray<FaultMissile*> FaultMissile_list;
extern DynArray<HouseMissile*> HouseMissile_list;
extern DynArray<MeteorMissile*> MeteorMissile_list;
extern DynArray<HillMissile*> HillMissile_list;
extern DynArray<PitMissile*> PitMissile_list;
extern DynArray<WaterSourceMissile*> WaterSourceMissile_list;
extern DynArray<WaterSinkMissile*> WaterSinkMissile_list;
extern DynArray<Spell*> Spell_list;
extern DynArray<FireballSpell*> FireballSpell_list;
extern DynArray<WaterballSpell*> WaterballSpell_list;
extern DynArray<FaultSpell*> FaultSpell_list;
extern DynArray<HouseSpell*> HouseSpell_list;
extern DynArray<MeteorSpell*> MeteorSpell_list;
extern DynArray<HillSpell*> HillSpell_list;
extern DynArray<PitSpell*> PitSpell_list;
extern DynArray<WaterSourceSpell*> WaterSourceSpell_list;
extern DynArray<WaterSinkSpell*> WaterSinkSpell_list;
extern DynArray<WyvernMonster*> WyvernMonster_list;
extern DynArray<Stone1StaticObject*> Stone1StaticObject_list;
extern DynArray<ManaGatherer*> ManaGatherer_list;
extern DynArray<CastleObject*> CastleObject_list;
extern DynArray<CastleMissile*> CastleMissile_list;
extern DynArray<CastleSpell*> CastleSpell_list;
extern DynArray<ManaBall*> ManaBall_list;
extern DynArray<WorldPortal*> WorldPortal_list;
extern DynArray<UsePortalSpell*> UsePortalSpell_list;

// The player the camera follows and the spell UI shows; set by the module.
extern Player* local_player;
