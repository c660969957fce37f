// Saving and loading the world's objects: the player with his hands, then
// every object in the world's order with the fields its behaviour reads, and
// the proximity bins in their order, so that a loaded world runs on exactly
// as the saved one would have. Trails and particles are drawing only: a
// missile starts a new trail where it is, effects already shown are gone.
#include <algorithm>
#include <string>
#include <vector>

#include "casting.h"
#include "entry_points.h"
#include "object_registry.h"
#include "world_run.h"

namespace {
constexpr int NO_SPELL = -1;
constexpr int PORTAL_SPELL_PLACE = SPELL_GRID_NX * SPELL_GRID_NY;  // after the grid's places
constexpr uint32_t MAX_SAVED_OBJECTS = 1 << 20;

// One list of fields serves both ways: Out writes each, In reads each.
struct Out {
  ObjectSaveWriter& w;
  void operator()(vec4f& v) { w.putVec(v); }
  void operator()(float& v) { w.put(v); }
  void operator()(int& v) { w.put(int32_t(v)); }
  void operator()(bool& v) { w.put(uint8_t(v)); }
};
struct In {
  ObjectSaveReader& r;
  void operator()(vec4f& v) { v = r.getVec(); }
  void operator()(float& v) { v = r.getFloat(); }
  void operator()(int& v) { v = r.get<int32_t>(); }
  void operator()(bool& v) {
    uint8_t b = r.get<uint8_t>();
    if (b > 1) r.fail("a yes/no value in the object data is neither");
    v = b == 1;
  }
};

template <typename Io>
void fields(Io& io, Missile& m) {
  io(m.pos), io(m.vel), io(m.target), io(m.age);
}
template <typename Io>
void fields(Io& io, WaterSource& s) {
  io(s.pos), io(s.rate), io(s.timeLeft);
}
template <typename Io>
void fields(Io& io, WyvernMonster& w) {
  io(w.pos), io(w.vel), io(w.health), io(w.bank), io(w.flap), io(w.breathing), io(w.breathWait);
  io(w.provoked), io(w.chasing), io(w.attacking);
}
template <typename Io>
void fields(Io& io, WyvernCorpse& c) {
  io(c.pos), io(c.vel), io(c.spin);
}
template <typename Io>
void fields(Io& io, StaticObject& s) {
  io(s.pos);
}
template <typename Io>
void fields(Io& io, ManaGatherer& g) {
  io(g.pos), io(g.gathered), io(g.burning), io(g.sendWait), io(g.ruin);
}
template <typename Io>
void fields(Io& io, CastleObject& c) {
  io(c.pos), io(c.level);
}
template <typename Io>
void fields(Io& io, ManaBall& b) {
  io(b.pos), io(b.amount), io(b.vel), io(b.age);
}
template <typename Io>
void fields(Io& io, EffectObject& e) {
  io(e.pos), io(e.timeLeft);
}
template <typename Io>
void player_fields(Io& io, Player& p) {
  io(p.pos), io(p.vel), io(p.yaw), io(p.bank), io(p.parked), io(p.mana), io(p.health), io(p.cooldown);
  io(p.manaCheat), io(p.handCooldown[0]), io(p.handCooldown[1]);
}

// How each class is made into the lists it stands in, and its fields.
struct SavedClass {
  const char* name;
  GameObj* (*make)();
  void (*save)(Out&, GameObj*);
  void (*load)(In&, GameObj*);
  bool missile;  // leaves a trail
};

template <typename T>
GameObj* made_in(DynArray<T*>& list) {
  return spawn(list);
}
GameObj* made_in_world_only(GameObj* obj) {
  GameObj_list.push_back(obj);
  return obj;
}

#define SAVED_CLASS_AS(Name, Make, Missile)                                     \
  SavedClass {                                                                  \
    #Name, []() -> GameObj* { return Make; },                                   \
        [](Out& io, GameObj* o) { fields(io, *static_cast<Name*>(o)); },        \
        [](In& io, GameObj* o) { fields(io, *static_cast<Name*>(o)); }, Missile \
  }
#define SAVED_CLASS(Name, Make) SAVED_CLASS_AS(Name, Make, false)
#define SAVED_MISSILE(Name) SAVED_CLASS_AS(Name, made_in(Name##_list), true)

const SavedClass saved_classes[] = {
    SAVED_MISSILE(Fireball), SAVED_MISSILE(Waterball), SAVED_MISSILE(FaultMissile), SAVED_MISSILE(HouseMissile),
    SAVED_MISSILE(MeteorMissile), SAVED_MISSILE(HillMissile), SAVED_MISSILE(PitMissile),
    SAVED_MISSILE(WaterSourceMissile), SAVED_MISSILE(WaterSinkMissile), SAVED_MISSILE(CastleMissile),
    SAVED_CLASS(WaterSource, made_in(WaterSource_list)),
    SAVED_CLASS(WaterSink, (spawn_as<WaterSink>(WaterSource_list))),
    SAVED_CLASS(WyvernMonster, made_in(WyvernMonster_list)),
    SAVED_CLASS(WyvernCorpse, made_in_world_only(new WyvernCorpse())),
    SAVED_CLASS(Stone1StaticObject, made_in(Stone1StaticObject_list)),
    SAVED_CLASS(ManaGatherer, made_in(ManaGatherer_list)),
    SAVED_CLASS(CastleObject, made_in(CastleObject_list)),
    SAVED_CLASS(CastleTower, made_in_world_only(new CastleTower())),
    SAVED_CLASS(CastleWall, made_in_world_only(new CastleWall())),
    SAVED_CLASS(WorldPortal, made_in(WorldPortal_list)),
    SAVED_CLASS(ManaBall, made_in(ManaBall_list)),
    SAVED_CLASS(FireEffect, made_in_world_only(new FireEffect())),
    SAVED_CLASS(Explosion, made_in_world_only(new Explosion())),
    SAVED_CLASS(ShockWave, made_in_world_only(new ShockWave())),
    SAVED_CLASS(SpringSpray, made_in_world_only(new SpringSpray())),
    SAVED_CLASS(Puff, made_in_world_only(new Puff())),
    SAVED_CLASS(ScorchMark, made_in_world_only(new ScorchMark())),
    SAVED_CLASS(PortalGlow, made_in_world_only(new PortalGlow())),
};

const SavedClass* saved_class(const std::string& name) {
  for (const SavedClass& c : saved_classes)
    if (name == c.name) return &c;
  return nullptr;
}

int spell_place(Spell* s) {
  if (!s) return NO_SPELL;
  for (int i = 0; i < PORTAL_SPELL_PLACE; i++)
    if (spell_grid[i / SPELL_GRID_NX][i % SPELL_GRID_NX] == s) return i;
  return PORTAL_SPELL_PLACE;
}

Spell* spell_at(int place, ObjectSaveReader& r) {
  if (place == NO_SPELL) return nullptr;
  if (place == PORTAL_SPELL_PLACE) return portal_use_spell();
  if (place < 0 || place > PORTAL_SPELL_PLACE) {
    r.fail("a hand holds a spell that does not exist");
    return nullptr;
  }
  return spell_grid[place / SPELL_GRID_NX][place % SPELL_GRID_NX];
}

// Where the object stands in its proximity bin: the bins are kept in their
// order, as the wyverns' flocking walks them in it.
void put_bin_place(ObjectSaveWriter& w, GameObj* obj) {
  int32_t bin = obj->proximityBin, slot = -1;
  if (bin >= 0 && bin < PROX_BIN_COUNT) {
    const ProximityBin& b = proximity[bin];
    for (int i = 0; i < b.count; i++)
      if (b.data[i] == obj) slot = i;
  }
  if (slot < 0) bin = -1;
  w.put(bin), w.put(slot);
}

struct BinPlace {
  int32_t bin, slot;
  GameObj* obj;
};

BinPlace get_bin_place(ObjectSaveReader& r, GameObj* obj) {
  BinPlace p{r.get<int32_t>(), r.get<int32_t>(), obj};
  if (p.bin < -1 || p.bin >= PROX_BIN_COUNT) r.fail("an object stands in a proximity bin that does not exist");
  return p;
}

void restore_bins(std::vector<BinPlace>& places) {
  std::stable_sort(places.begin(), places.end(), [](const BinPlace& a, const BinPlace& b) {
    return a.bin != b.bin ? a.bin < b.bin : a.slot < b.slot;
  });
  for (const BinPlace& p : places) {
    if (p.bin < 0) continue;
    proximity[p.bin].push_back(p.obj);
    p.obj->proximityBin = p.bin;
  }
}

void restart_trail(Missile& m) {
  m.trail = add_trail_fx(m.pos, m.vel, side_of(m.vel), m.trailWidth(), D3dColor(m.trailColor()));
}

bool read_objects(ObjectSaveReader& r, Player& p, std::vector<BinPlace>& places) {
  In in{r};
  player_fields(in, p);
  p.hands[0] = spell_at(r.get<int32_t>(), r);
  p.hands[1] = spell_at(r.get<int32_t>(), r);
  places.push_back(get_bin_place(r, &p));
  uint32_t count = r.get<uint32_t>();
  if (count > MAX_SAVED_OBJECTS) r.fail("the object count is beyond reason");
  for (uint32_t i = 0; i < count && !r.failed; i++) {
    std::string name = r.getName();
    const SavedClass* c = saved_class(name);
    if (!c) {
      char why[120];
      std::snprintf(why, sizeof(why), "an object of unknown class '%.60s'", name.c_str());
      r.fail(why);
      break;
    }
    GameObj* obj = c->make();
    c->load(in, obj);
    places.push_back(get_bin_place(r, obj));
    if (c->missile && !r.failed) restart_trail(*static_cast<Missile*>(obj));
  }
  if (!r.failed && !r.done()) r.fail("the object data goes on after its last object");
  return !r.failed;
}
}  // namespace

void save_gameobj(ObjectSaveWriter& w) {
  Player* p = local_player;
  Player nobody;
  Out out{w};
  player_fields(out, p ? *p : nobody);
  w.put(int32_t(spell_place(p ? p->hands[0] : nullptr)));
  w.put(int32_t(spell_place(p ? p->hands[1] : nullptr)));
  put_bin_place(w, p ? p : &nobody);
  uint32_t count = 0;
  for (GameObj* obj : GameObj_list)
    if (obj != p && !(obj->flags & OBJ_DESTROYED) && saved_class(obj->getName())) count++;
  w.put(count);
  for (GameObj* obj : GameObj_list) {
    if (obj == p || (obj->flags & OBJ_DESTROYED)) continue;
    const SavedClass* c = saved_class(obj->getName());
    if (!c) continue;
    w.putName(c->name);
    c->save(out, obj);
    put_bin_place(w, obj);
  }
}

bool load_gameobj(ObjectSaveReader& r) {
  remove_all_gameobj();
  Player* p = local_player;
  if (!p) {
    r.fail("there is no player to load into");
    return false;
  }
  remove_proximity_object(p);
  std::vector<BinPlace> places;
  if (!read_objects(r, *p, places)) {
    remove_all_gameobj();
    remove_proximity_object(p);
    return false;
  }
  restore_bins(places);
  return true;
}
