// The living world of the real module on a known landscape: wyverns spawn
// at the rim under the cap and the spawn switch, fly without passing below
// the land and turn no faster than their turn rate; gatherers send mana
// (faster near a stone) that reaches the player; the castle's levels, the
// portal and a fallen castle ask for the right next world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <squirrel.h>

#include "objects/game_objects.h"
#include "objects/game_view.h"
#include "objects/inst_render.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "objects/shell_exports.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/messages.h"
#include "world/heightmap.h"

void camera_set_angles(float, float) {}
extern uint64_t requested_world_seed;
extern int world_requests;

namespace {
using namespace HeightmapData;

// Rolling hills up to 24 high, with a ridge the wyverns must climb over.
float landscape(int x, int z) {
  float h = 8 + 6 * std::sin(float(x) * 0.09f) * std::cos(float(z) * 0.07f);
  if (z % 256 > 100 && z % 256 < 110) h += 10;
  return h;
}

float land_at(float x, float z) {
  int ix = int(std::floor(x)), iz = int(std::floor(z));
  float fx = x - float(ix), fz = z - float(iz);
  float a = hmap[cellIndex(ix, iz)], b = hmap[cellIndex(ix + 1, iz)];
  float c = hmap[cellIndex(ix, iz + 1)], d = hmap[cellIndex(ix + 1, iz + 1)];
  return (a + (b - a) * fx) * (1 - fz) + (c + (d - c) * fx) * fz;
}

void call(void* entry) {
  if (entry) reinterpret_cast<GameobjVoidFn>(entry)();
}

struct WorldHost : ::testing::Test {
  Player* player = nullptr;
  int step = 0;

  void SetUp() override {
    std::snprintf(app_path, sizeof(app_path), "%s/", GAMEOBJ_BIN_DIR);
    for (int z = 0; z < HMAP_SIZE; z++)
      for (int x = 0; x < HMAP_SIZE; x++) hmap[cellIndex(x, z)] = target_hmap[cellIndex(x, z)] = landscape(x, z);
    for (auto& row : water)
      for (Water& w : row) w = Water{};
    for (Surface& s : surface) {
      s = Surface{};
      s.setGroundType(GT_SOIL);
    }
    clear_visual_log();
    monster_spawn_enabled = true;
    total_spawned_monsters = 0;
    world_requests = 0;
    game_rnd_seed = 42;
    load_gameobj_module();
    call(gameobj_entry.init_gameobj);
    player = local_player;
    ASSERT_NE(player, nullptr);
  }
  void TearDown() override {
    call(gameobj_entry.close_gameobj);
    shutdown_gameobj_module();
    free_object_lists();
  }

  bool script(const char* text) {
    HSQUIRRELVM vm = sq_open(1024);
    reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, text, SQInteger(std::strlen(text)), "t", SQFalse));
    if (ok) {
      sq_pushroottable(vm);
      ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQFalse));
    }
    sq_close(vm);
    return ok;
  }
  // What world generation does around the world script.
  void generate(const char* world_script) {
    call(gameobj_entry.remove_all_gameobj);
    player->onWorldGenerate();
    ASSERT_TRUE(script(world_script));
    update();  // the world's objects, and the player above the castle
  }
  void update(int steps = 1) {
    auto fn = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
    for (int i = 0; i < steps; i++) fn(step++, 0.05f);
  }
  // The module's classes stay inside it: a wyvern is seen through its
  // ground rectangle and the head it queues for drawing, placed at its body.
  static GameObj* wyvern(int i) { return reinterpret_cast<GameObj*>(WyvernMonster_list[i]); }
  static vec4f where(GameObj* o) {
    vec4f r = o->boundRect();
    return vec4f((r.x + r.z) / 2, 0, (r.y + r.w) / 2, 1);
  }
  static float height_of(GameObj* w) {
    w->render(0);
    const InstBatchNode* head = wyvern_head_inst.first;
    SimpleInstRecord rec;
    std::memcpy(&rec, head->data + head->bytes - sizeof(rec), sizeof(rec));
    return rec.pos[1];
  }
  void cast(Spell* spell, const vec4f& at) {
    player->selectSpell(false, spell);
    player->handCooldown[0] = 0;
    vec4f eye = player->eye();
    vec4f fwd(at.x - eye.x, at.y - eye.y, at.z - eye.z, 0);
    float l = std::sqrt(fwd.x * fwd.x + fwd.y * fwd.y + fwd.z * fwd.z);
    cur_view_itm = Matrix44::identity();
    cur_view_itm.row[2] = vec4f(fwd.x / l, fwd.y / l, fwd.z / l, 0);
    cur_view_itm.row[3] = vec4f(eye.x, eye.y, eye.z, 1);
    player->castHand(0);
  }
};
}  // namespace

TEST_F(WorldHost, WyvernsSpawnUnderTheCapNeverPassBelowTheLandAndTurnSmoothly) {
  generate("set_castle_site(128, 60)");
  ASSERT_EQ(CastleObject_list.count, 1);
  EXPECT_EQ(ManaGatherer_list.count, 3);
  EXPECT_GT(Stone1StaticObject_list.count, 0);
  player->health = 1e9f;  // the player outlives the whole flight
  const int cap = 4;       // 2 + 2 x world 1
  int most_alive = 0;
  float lowest_clearance = 1e9f, sharpest_turn = 0;
  // Per wyvern: its last place and heading, while the list keeps its order.
  vec4f last[8];
  float heading[8];
  int known = 0;
  // Waves of 1, 1, 2, 2 from 60 s on, every 45 s: the fourth fills the cap.
  for (int i = 0; i < 4400; i++) {
    int n = WyvernMonster_list.count;
    update();
    if (WyvernMonster_list.count != n) known = 0;  // one came or went: start over
    for (int k = 0; k < WyvernMonster_list.count && k < 8; k++) {
      vec4f p = where(wyvern(k));
      if (k < known) {
        float dx = std::remainder(p.x - last[k].x, 256.f), dz = std::remainder(p.z - last[k].z, 256.f);
        float h = std::atan2(dx, dz);
        if (k < known - 0 && i > 0 && heading[k] < 10)
          sharpest_turn = std::fmax(sharpest_turn, std::fabs(std::remainder(h - heading[k], 6.2831853f)));
        heading[k] = h;
      } else {
        heading[k] = 100;  // unknown until it has moved once
      }
      last[k] = p;
      lowest_clearance = std::fmin(lowest_clearance, height_of(wyvern(k)) - land_at(p.x, p.z));
    }
    known = std::min(WyvernMonster_list.count, 8);
    most_alive = std::max(most_alive, WyvernMonster_list.count);
  }
  EXPECT_EQ(most_alive, cap);
  EXPECT_GT(total_spawned_monsters, 0);
  EXPECT_GE(lowest_clearance, 1.0f) << "never through the land";
  EXPECT_GT(sharpest_turn, 0.01f) << "they do turn";
  EXPECT_LE(sharpest_turn, 1.5f * 0.05f + 1e-3f) << "turn rate limit";
}

bool logged(const char* text) {
  for (const VisualLogLine& l : get_visual_log())
    if (std::strstr(l.text, text)) return true;
  return false;
}

// The calm start, the switch, and a wave announced before it comes in from
// the side it names.
TEST_F(WorldHost, ACalmStartThenWavesAnnouncedFromTheirSide) {
  generate("set_castle_site(128, 60)");
  call(gameobj_entry.toggle_monster_spawn);
  EXPECT_FALSE(monster_spawn_enabled);
  update(400);
  EXPECT_LT(game_view.nextWaveIn, 0) << "no wave clock while the waves are off";
  call(gameobj_entry.toggle_monster_spawn);
  // The wave clock ran only while spawning was on: 60 s of calm from here,
  // and the interface is told how long is left.
  update(20 * 54);
  EXPECT_NEAR(game_view.nextWaveIn, 6.f, 0.1f);
  EXPECT_FALSE(game_view.waveAnnounced);
  EXPECT_EQ(total_spawned_monsters, 0) << "nothing comes in the first minute of world 1";
  EXPECT_FALSE(logged("Wyverns from the"));
  update(20 * 2);
  EXPECT_EQ(total_spawned_monsters, 0);
  ASSERT_TRUE(logged("Wyverns from the")) << "the wave is announced five seconds ahead";
  EXPECT_TRUE(game_view.waveAnnounced);
  std::string side;
  for (const VisualLogLine& l : get_visual_log())
    if (const char* p = std::strstr(l.text, "Wyverns from the ")) side = std::string(p + 17, std::strcspn(p + 17, "!"));
  update(20 * 4 + 2);
  ASSERT_EQ(total_spawned_monsters, 1) << "the first wave is one wyvern";
  // It came in at the rim on the named side of the castle (north is +z, east +x).
  vec4f c = CastleObject_list[0]->pos, w = where(wyvern(0));
  float dx = std::remainder(w.x - c.x, 256.f), dz = std::remainder(w.z - c.z, 256.f);
  EXPECT_GT(std::sqrt(dx * dx + dz * dz), 80.f);
  const char* names[8] = {"north", "north-east", "east", "south-east", "south", "south-west", "west", "north-west"};
  int named = int(std::find(names, names + 8, side) - names);
  ASSERT_LT(named, 8) << side;
  // Within half a compass sector of the named side, and the wave's spread.
  float off = std::remainder(std::atan2(dx, dz) - float(named) * 0.785398f, 6.2831853f);
  EXPECT_LE(std::fabs(off), 0.3927f + 0.35f + 1e-3f) << side;
}

TEST_F(WorldHost, GatherersSendManaFasterNearAStoneAndItReachesThePlayer) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60); spawn_stone(120.5, 80.5); spawn_gatherer(125.5, 80.5); spawn_gatherer(160.5, 30.5)");
  ASSERT_EQ(ManaGatherer_list.count, 2);
  update(201);  // ten seconds: the first balls leave
  ASSERT_EQ(ManaBall_list.count, 2);
  // Each ball's mana arrives in one piece when it reaches the player.
  std::vector<int> gains;
  for (int i = 0; i < 150; i++) {
    int before = player->mana;
    update();
    if (player->mana != before) gains.push_back(player->mana - before);
  }
  std::sort(gains.begin(), gains.end());
  ASSERT_EQ(gains.size(), 2u) << "both balls were absorbed";
  EXPECT_EQ(gains[0], 5) << "1 mana every 2 s";
  EXPECT_EQ(gains[1], 10) << "twice as fast by a stone";
  EXPECT_EQ(ManaBall_list.count, 0);
}

TEST_F(WorldHost, CastleLevelsThePortalAndAFallenCastleAskForTheRightWorld) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60)");
  CastleObject* castle = CastleObject_list[0];
  Spell* castle_spell = spell_grid[1][4];
  EXPECT_EQ(castle_spell->manaCost(), 100);
  player->mana = 90;
  cast(castle_spell, castle->pos);
  update(60);
  EXPECT_EQ(castle->castleLevel(), 0) << "short of mana, the castle stays";
  EXPECT_EQ(player->mana, 90);
  player->mana = 700;
  for (int level = 1; level <= 3; level++) {
    cast(castle_spell, castle->pos);
    update(60);
    EXPECT_EQ(castle->castleLevel(), level);
  }
  EXPECT_LT(player->mana, 30) << "100 + 200 + 400 spent; a little came in from the gatherers";
  EXPECT_EQ(castle->castleProgress(), 1.f);
  EXPECT_TRUE(reinterpret_cast<bool (*)()>(gameobj_entry.is_world_complete)());
  ASSERT_EQ(WorldPortal_list.count, 1);
  ASSERT_EQ(UsePortalSpell_list.count, 1);
  Spell* portal_spell = reinterpret_cast<Spell*>(UsePortalSpell_list[0]);
  EXPECT_EQ(player->hands[0], portal_spell);

  // Aimed far from the portal it does nothing; aimed at it, the next world.
  cast(portal_spell, vec4f(castle->pos.x + 80, 0, castle->pos.z - 80, 1));
  EXPECT_EQ(world_requests, 0);
  cast(portal_spell, castle->pos);
  ASSERT_EQ(world_requests, 1);
  uint64_t next = requested_world_seed;
  EXPECT_NE(next, 42u);
  game_rnd_seed = next;
  generate("set_castle_site(100, 100)");
  EXPECT_EQ(spell_grid[1][4]->manaCost(), 125) << "the second world's levels cost a quarter more";
  EXPECT_NE(player->hands[0], portal_spell) << "the portal's spell stays behind";

  // The castle burns down: the same world (its seed) is asked for again.
  monster_spawn_enabled = true;
  for (int i = 0; i < 20000 && world_requests == 1; i++) update();
  ASSERT_EQ(world_requests, 2) << "the undefended castle fell";
  EXPECT_EQ(requested_world_seed, next);
}

namespace {
GathererView gatherer_seen(int i) { return game_view.gatherer[i]; }
int house_cells_outside_keep(const vec4f& keep) {
  int n = 0;
  int kx = int(std::floor(keep.x)), kz = int(std::floor(keep.z));
  for (int dz = -22; dz <= 22; dz++)
    for (int dx = -22; dx <= 22; dx++)
      if ((dx < -9 || dx > 8 || dz < -9 || dz > 8) && surface[cellIndex(kx + dx, kz + dz)].groundType == GT_HOUSE) n++;
  return n;
}
}  // namespace

// A wyvern minds its gatherer while the player keeps his distance; a spell
// landing near it sets it on the player, whom its breath then hurts.
TEST_F(WorldHost, AWyvernIgnoresADistantPlayerAndTurnsOnOneWhoProvokesIt) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60); spawn_gatherer(128.5, 110.5)");
  vec4f g(128.5f, 0, 110.5f, 1);
  player->placeAtCamera(vec4f(g.x + 20, land_at(g.x + 20, g.z) + 12, g.z, 1));
  reinterpret_cast<void (*)(const vec4f&)>(gameobj_entry.spawn_monster)(vec4f(g.x, land_at(g.x, g.z) + 14, g.z + 40, 1));
  for (int i = 0; i < 20 * 8; i++) {
    update();
    ASSERT_EQ(game_view.wyverns, 1);
    EXPECT_FALSE(game_view.wyvern[0].chasingPlayer) << "step " << i;
  }
  EXPECT_EQ(player->health, 1.f) << "a player 20 units off is left alone";
  EXPECT_TRUE(gatherer_seen(0).burning || !gatherer_seen(0).standing) << "it went for the gatherer";

  // A hill raised under it angers it.
  const float* w = game_view.wyvern[0].pos;
  cast(spell_grid[1][0], vec4f(w[0], land_at(w[0], w[2]), w[2], 1));
  bool chased = false;
  for (int i = 0; i < 20 * 6 && player->health == 1.f; i++) {
    update();
    chased = chased || game_view.wyvern[0].chasingPlayer;
  }
  EXPECT_TRUE(chased);
  EXPECT_LT(player->health, 1.f) << "its breath reached the player";
  EXPECT_GT(player->health, 0.9f) << "breath costs 6 % a second, not more";
}

// A burned gatherer leaves a ruin that grows a new one after 30 s; the ruin
// sends no mana and no wyvern goes for it.
TEST_F(WorldHost, ABurnedGathererRegrowsFromItsRuin) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60); spawn_gatherer(140.5, 80.5)");
  reinterpret_cast<void (*)(const vec4f&, float)>(gameobj_entry.apply_fireball)(vec4f(140.5f, 10, 80.5f, 1), 4);
  update(2);
  EXPECT_TRUE(gatherer_seen(0).burning);
  update(20 * 3);
  ASSERT_EQ(ManaGatherer_list.count, 1) << "the ruin stays in the world";
  EXPECT_FALSE(gatherer_seen(0).standing);
  int mana = player->mana;
  update(20 * 28);
  EXPECT_FALSE(gatherer_seen(0).standing);
  EXPECT_EQ(player->mana, mana) << "a ruin gathers nothing";
  update(20 * 3);
  EXPECT_TRUE(gatherer_seen(0).standing) << "grown again after 30 s";
  EXPECT_FALSE(gatherer_seen(0).burning);
  EXPECT_TRUE(logged("grown again"));
}

// Each level stamps new building outside the keep and its walls, and adds
// 50 to the castle's health and its maximum.
TEST_F(WorldHost, EachCastleLevelBuildsOutsideTheKeepAndRaisesItsHealth) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60)");
  CastleObject* castle = CastleObject_list[0];
  EXPECT_EQ(castle->castleHealthMax(), 100.f);
  int cells = house_cells_outside_keep(castle->pos);
  player->mana = 700;
  for (int level = 1; level <= 3; level++) {
    cast(spell_grid[1][4], castle->pos);
    update(60);
    ASSERT_EQ(castle->castleLevel(), level);
    int now = house_cells_outside_keep(castle->pos);
    EXPECT_GT(now, cells) << "level " << level << " is seen outside the keep";
    cells = now;
    EXPECT_EQ(castle->castleHealthMax(), 100.f + 50.f * float(level));
    EXPECT_EQ(castle->castleHealth(), castle->castleHealthMax());
  }
}

// The player's own meteor near the keep costs the castle 30 health, and a
// gatherer in its blast becomes a ruin rather than vanishing.
TEST_F(WorldHost, APlayersMeteorNearTheKeepCostsTheCastle) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60); spawn_gatherer(133.5, 64.5)");
  CastleObject* castle = CastleObject_list[0];
  player->mana = 100;
  cast(spell_grid[0][4], vec4f(castle->pos.x + 4, land_at(castle->pos.x + 4, castle->pos.z), castle->pos.z, 1));
  for (int i = 0; i < 100 && castle->castleHealth() >= 100.f; i++) update();
  EXPECT_NEAR(castle->castleHealth(), 70.f, 0.2f);
  EXPECT_TRUE(logged("Your meteor struck the castle!"));
  ASSERT_EQ(ManaGatherer_list.count, 1);
  EXPECT_FALSE(gatherer_seen(0).standing);
}

// The fallen player comes back above the castle with three quarters of his
// mana and three seconds in which nothing hurts him.
TEST_F(WorldHost, TheRespawnedPlayerKeepsMostManaAndIsProtectedForThreeSeconds) {
  monster_spawn_enabled = false;
  generate("set_castle_site(128, 60)");
  player->mana = 100;
  player->health = 0;
  update(20 * 3 + 2);
  ASSERT_FALSE(player->parked);
  EXPECT_EQ(player->health, 1.f);
  EXPECT_EQ(player->mana, 75);
  // A wyvern right beside him breathes at once.
  vec4f p = player->pos;
  reinterpret_cast<void (*)(const vec4f&)>(gameobj_entry.spawn_monster)(vec4f(p.x + 3, p.y, p.z, 1));
  update(20 * 3 - 8);
  EXPECT_EQ(player->health, 1.f) << "protected";
  update(20 * 3);
  EXPECT_LT(player->health, 1.f) << "and then not any more";
}
