// The living world of the real module on a known landscape: wyverns spawn
// at the rim under the cap and the spawn switch, fly without passing below
// the land and turn no faster than their turn rate; gatherers send mana
// (faster near a stone) that reaches the player; the castle's levels, the
// portal and a fallen castle ask for the right next world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <squirrel.h>

#include "objects/game_objects.h"
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
  for (int i = 0; i < 2400; i++) {
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

TEST_F(WorldHost, SpawningStopsWithTheSwitchAndStartsAgain) {
  generate("set_castle_site(128, 60)");
  call(gameobj_entry.toggle_monster_spawn);
  EXPECT_FALSE(monster_spawn_enabled);
  update(400);
  EXPECT_EQ(total_spawned_monsters, 0);
  EXPECT_EQ(WyvernMonster_list.count, 0);
  call(gameobj_entry.toggle_monster_spawn);
  update(130);  // 6 s between spawns in the first world
  EXPECT_EQ(total_spawned_monsters, 1);
  // Where it came in: far from the player, at the rim.
  vec4f w = where(wyvern(0));
  vec4f d(std::remainder(w.x - player->pos.x, 256.f), 0, std::remainder(w.z - player->pos.z, 256.f), 0);
  EXPECT_GT(std::sqrt(d.x * d.x + d.z * d.z), 80.f);
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
