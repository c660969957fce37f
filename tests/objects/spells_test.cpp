// The real module under a host, on a known world: spells go into a hand,
// are cast at a known point and their missiles fly and land; the land, the
// water and the surface are then checked where they hit and far away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <squirrel.h>

#include "objects/game_objects.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "objects/shell_exports.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/messages.h"
#include "world/heightmap.h"

void camera_set_angles(float, float) {}

namespace {
using namespace HeightmapData;

constexpr float GROUND = 10;
constexpr D3dColor GREY(0xFF808080u);

enum Place { FIREBALL, WATERBALL, FAULT, HOUSE, METEOR, HILL, PIT, SOURCE, SINK, CASTLE };

void call(void* entry) {
  if (entry) reinterpret_cast<GameobjVoidFn>(entry)();
}

double total_water() {
  double sum = 0;
  for (auto& row : water)
    for (Water& w : row) sum += w.depth;
  return sum;
}

struct SpellHost : ::testing::Test {
  Player* player = nullptr;
  int step = 0;

  void SetUp() override {
    std::snprintf(app_path, sizeof(app_path), "%s/", GAMEOBJ_BIN_DIR);
    std::fill(std::begin(hmap), std::end(hmap), GROUND);
    std::fill(std::begin(target_hmap), std::end(target_hmap), GROUND);
    for (auto& row : water)
      for (Water& w : row) w = Water{};
    for (Surface& s : surface) {
      s = Surface{};
      s.groundColor = GREY;
      s.setGroundType(GT_SOIL);
    }
    clear_visual_log();
    cur_frame_color = vec4f(0, 0, 0, 0);
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

  void update(int steps = 1) {
    auto fn = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
    for (int i = 0; i < steps; i++) fn(step++, 0.05f);
  }
  int missiles_in_flight() {
    return Fireball_list.count + Waterball_list.count + FaultMissile_list.count + HouseMissile_list.count +
           MeteorMissile_list.count + HillMissile_list.count + PitMissile_list.count +
           WaterSourceMissile_list.count + WaterSinkMissile_list.count + CastleMissile_list.count;
  }
  // Hovers 30 units south of and 30 above (x, z), looking at it.
  void aim_at(float x, float z) {
    player->placeAtCamera(vec4f(x, GROUND + 30, z - 30, 1));
    vec4f eye = player->eye();
    vec4f fwd(x - eye.x, GROUND - eye.y, z - eye.z, 0);
    float l = std::sqrt(fwd.x * fwd.x + fwd.y * fwd.y + fwd.z * fwd.z);
    cur_view_itm = Matrix44::identity();
    cur_view_itm.row[2] = vec4f(fwd.x / l, fwd.y / l, fwd.z / l, 0);
    cur_view_itm.row[3] = vec4f(eye.x, eye.y, eye.z, 1);
  }
  // Puts the spell of a place into the first hand and casts it at (x, z);
  // waits until its missile has landed.
  bool cast_at(Place place, float x, float z, int hand = 0) {
    player->selectSpell(hand == 1, spell_grid[place / 5][place % 5]);
    aim_at(x, z);
    bool cast = player->castHand(hand);
    for (int i = 0; i < 200 && missiles_in_flight() > 0; i++) update();
    return cast;
  }
  float target(int x, int z) { return target_hmap[cellIndex(x, z)]; }
};

bool logged(const char* text) {
  for (const VisualLogLine& l : get_visual_log())
    if (std::strstr(l.text, text)) return true;
  return false;
}
}  // namespace

TEST_F(SpellHost, TheGridHoldsTheTenSpellsWithTheirCosts) {
  const char* names[] = {"Fireball", "Waterball", "Fault", "House", "Meteor",
                         "Hill", "Pit", "Water source", "Water sink", "Castle"};
  const int costs[] = {5, 8, 20, 15, 40, 10, 10, 25, 25, 100};
  for (int i = 0; i < 10; i++) {
    Spell* s = spell_grid[i / 5][i % 5];
    ASSERT_NE(s, nullptr) << i;
    EXPECT_STREQ(s->spellName(), names[i]);
    EXPECT_EQ(s->manaCost(), costs[i]) << names[i];
  }
}

TEST_F(SpellHost, HillRaisesTheTargetLandThereAndNowhereFarPitLowersIt) {
  EXPECT_TRUE(cast_at(HILL, 100, 100));
  EXPECT_EQ(player->manaAmount(), 50);
  EXPECT_NEAR(target(100, 100), GROUND + 6, 0.6f);
  EXPECT_GT(target(104, 100), GROUND + 1);
  EXPECT_EQ(target(112, 100), GROUND);
  EXPECT_EQ(target(100, 85), GROUND);
  EXPECT_EQ(hmap[cellIndex(100, 100)], GROUND) << "the live land slides; it does not jump";

  update(8);  // the second cast waits for the cooldown
  EXPECT_TRUE(cast_at(PIT, 160, 60));
  EXPECT_NEAR(target(160, 60), GROUND - 6, 0.6f);
  EXPECT_EQ(target(100, 100), target(100, 100));
  EXPECT_EQ(target(170, 60), GROUND);
  EXPECT_EQ(missiles_in_flight(), 0);
}

TEST_F(SpellHost, ManaIsSpentRefusedWhenShortAndTheCheatSpendsNone) {
  player->selectSpell(false, spell_grid[0][0]);  // fireball, 5
  player->selectSpell(true, spell_grid[1][0]);   // hill, 10
  aim_at(80, 80);
  EXPECT_TRUE(player->castHand(0));
  EXPECT_EQ(player->manaAmount(), 55);
  // The same hand waits for its cooldown; the other one does not.
  EXPECT_FALSE(player->castHand(0));
  EXPECT_TRUE(player->castHand(1));
  EXPECT_EQ(player->manaAmount(), 45);
  EXPECT_GT(player->stateFraction(1), 0.9f);
  update(7);
  EXPECT_FALSE(player->castHand(0)) << "0.35 s is inside the cooldown";
  update(2);
  EXPECT_LT(player->stateFraction(1), 0.01f);
  EXPECT_TRUE(player->castHand(0));
  EXPECT_EQ(player->manaAmount(), 40);

  // Short of mana: nothing flies, nothing is spent, the player is told.
  update(200);
  player->mana = 9;
  EXPECT_FALSE(player->castHand(1));
  EXPECT_EQ(player->manaAmount(), 9);
  EXPECT_EQ(missiles_in_flight(), 0);
  EXPECT_TRUE(logged("Not enough mana"));

  call(gameobj_entry.toggle_mana_cheat);
  update(10);
  EXPECT_TRUE(player->castHand(1));
  EXPECT_EQ(player->manaAmount(), 9);
  call(gameobj_entry.toggle_mana_cheat);
  update(10);
  EXPECT_FALSE(player->castHand(1));

  // Mana never exceeds its cap.
  player->mana = 5000;
  update();
  EXPECT_EQ(player->manaAmount(), 999);
}

TEST_F(SpellHost, ASpringPoursOverItsLifeAndStopsASinkNeverLeavesNegativeWater) {
  player->mana = 999;
  EXPECT_TRUE(cast_at(SOURCE, 120, 120));
  ASSERT_EQ(WaterSource_list.count, 1);
  double after_one_minute = 0;
  for (int i = 0; i < 1300; i++) update();
  after_one_minute = total_water();
  EXPECT_EQ(WaterSource_list.count, 0);
  EXPECT_NEAR(after_one_minute, 600, 1);  // ten units a second for sixty seconds
  update(100);
  EXPECT_EQ(total_water(), after_one_minute) << "a spring that ran out pours no more";

  for (auto& row : water)
    for (Water& w : row) w.depth = 0.03f;
  update(10);
  EXPECT_TRUE(cast_at(SINK, 60, 60));
  ASSERT_EQ(WaterSource_list.count, 1);
  update(40);
  float lowest = 1;
  for (auto& row : water)
    for (Water& w : row) lowest = std::min(lowest, w.depth);
  EXPECT_EQ(lowest, 0);
  EXPECT_EQ(water[60][60].depth, 0);
  EXPECT_EQ(water[60][70].depth, 0.03f);
}

TEST_F(SpellHost, AWaterballPoursAGlobeWhereItLands) {
  EXPECT_TRUE(cast_at(WATERBALL, 90, 140));
  EXPECT_NEAR(total_water(), 300, 0.5);
  EXPECT_GT(water[140][90].depth, 5);
  EXPECT_EQ(water[140][96].depth, 0);
}

TEST_F(SpellHost, AFireballScorchesTheGroundAndBurnsGatherersNearIt) {
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  sq_close(vm);
  EXPECT_TRUE(cast_at(FIREBALL, 70, 170));
  uint32_t middle = surface[cellIndex(70, 170)].groundColor.u;
  EXPECT_LT(middle & 0xFF, 0x50u) << std::hex << middle;
  EXPECT_EQ(middle >> 24, 0xFFu);
  EXPECT_EQ(surface[cellIndex(80, 170)].groundColor.u, GREY.u);
  EXPECT_EQ(target(70, 170), GROUND) << "a fireball leaves the land's shape alone";
}

TEST_F(SpellHost, AMeteorLeavesACraterAndFlashes) {
  player->mana = 100;
  EXPECT_TRUE(cast_at(METEOR, 128, 128));
  EXPECT_EQ(player->manaAmount(), 60);
  EXPECT_LT(target(128, 128), GROUND - 3);
  EXPECT_LT(target(132, 128), GROUND - 1);
  EXPECT_EQ(target(128, 160), GROUND);
  EXPECT_GT(cur_frame_color.w, 0.3f);
}

TEST_F(SpellHost, AFaultRaisesOneSideOfTheCastLineAndLowersTheOther) {
  EXPECT_TRUE(cast_at(FAULT, 128, 100));  // cast northward: the cliff runs north-south
  float west = target(122, 100), east = target(134, 100);
  EXPECT_GT(std::fabs(west - east), 2.5f) << west << " " << east;
  EXPECT_EQ(target(128, 130), GROUND);
  EXPECT_EQ(target(100, 100), GROUND);
}

TEST_F(SpellHost, AHouseStandsOnlyOnDryEvenGround) {
  auto house_cells = [] {
    int n = 0;
    for (Surface& s : surface) n += s.groundType == GT_HOUSE;
    return n;
  };
  player->mana = 999;
  EXPECT_TRUE(cast_at(HOUSE, 50, 50));
  EXPECT_EQ(house_cells(), 16);
  EXPECT_GT(target(50, 50), GROUND + 2);
  // Not on water, not on a steep slope, not on another house.
  water[100][200].depth = 2;
  update(10);
  cast_at(HOUSE, 200, 100);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 150; x < 200; x++) target_hmap[cellIndex(x, z)] = hmap[cellIndex(x, z)] = GROUND + float(x - 150);
  update(10);
  cast_at(HOUSE, 170, 40);
  update(10);
  cast_at(HOUSE, 50, 50);
  EXPECT_EQ(house_cells(), 16);
  EXPECT_EQ(player->manaAmount(), 999 - 4 * 15) << "a fizzled house costs its mana too";
}

TEST_F(SpellHost, TheCastleMissileFliesToTheCastle) {
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  const char* script = "set_castle_site(40, 200)";
  ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(vm, script, SQInteger(std::strlen(script)), "t", SQTrue)));
  sq_pushroottable(vm);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue)));
  sq_close(vm);
  player->mana = 150;
  player->selectSpell(false, spell_grid[1][4]);
  aim_at(200, 40);  // aimed elsewhere: it still goes to the castle
  EXPECT_TRUE(player->castHand(0));
  EXPECT_EQ(player->manaAmount(), 150) << "the castle takes its mana when it grows";
  ASSERT_EQ(CastleMissile_list.count, 1);
  update(200);
  EXPECT_EQ(CastleMissile_list.count, 0);
}

TEST_F(SpellHost, AMeteorTooCloseHurtsThePlayerAndFlashesRed) {
  player->mana = 100;
  player->placeAtCamera(vec4f(128, GROUND + 3, 128, 1));
  cur_view_itm = Matrix44::identity();
  cur_view_itm.row[2] = vec4f(0, -1, 0, 0);
  cur_view_itm.row[3] = player->eye();
  player->selectSpell(false, spell_grid[0][4]);
  ASSERT_TRUE(player->castHand(0));
  for (int i = 0; i < 200 && MeteorMissile_list.count; i++) update();
  EXPECT_LT(player->stateFraction(0), 0.9f);
  EXPECT_GT(player->stateFraction(0), 0.4f);
  EXPECT_GT(cur_frame_color.x, 0.5f);
  EXPECT_LT(cur_frame_color.y, 0.2f);
}

TEST_F(SpellHost, WorldScriptsSpawnSpringsStonesAndGatherers) {
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  auto run = [vm](const char* text) {
    SQInteger top = sq_gettop(vm);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, text, SQInteger(std::strlen(text)), "t", SQFalse));
    if (ok) {
      sq_pushroottable(vm);
      ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQFalse));
    }
    sq_settop(vm, top);
    return ok;
  };
  EXPECT_TRUE(run("spawn_water_source(30, 40, 4.0, 2.0)"));
  EXPECT_TRUE(run("spawn_water_source(90, 40, -4.0, 2.0)"));
  EXPECT_TRUE(run("spawn_stone(50.5, 60)"));
  EXPECT_TRUE(run("spawn_gatherer(52, 61)"));
  EXPECT_FALSE(run("spawn_water_source(30, 40, 4.0)"));
  EXPECT_FALSE(run("spawn_water_source(30, 40, 4.0, 0)"));
  EXPECT_FALSE(run("spawn_stone(\"here\", 1)"));
  sq_close(vm);
  EXPECT_EQ(WaterSource_list.count, 2);
  EXPECT_EQ(Stone1StaticObject_list.count, 1);
  EXPECT_EQ(ManaGatherer_list.count, 1);
  update(60);
  EXPECT_NEAR(total_water(), 8, 0.01);  // the spring's two seconds; the sink had nothing to take
  EXPECT_EQ(WaterSource_list.count, 0);
}

TEST_F(SpellHost, ACastAtTheSkyFliesOnAndChangesNothing) {
  player->selectSpell(false, spell_grid[1][0]);
  player->placeAtCamera(vec4f(128, GROUND + 30, 128, 1));
  cur_view_itm = Matrix44::identity();
  cur_view_itm.row[2] = vec4f(0, 0.6f, 0.8f, 0);
  cur_view_itm.row[3] = player->eye();
  EXPECT_TRUE(player->castHand(0));
  update(400);
  EXPECT_EQ(missiles_in_flight(), 0) << "it burns out";
  for (float h : target_hmap) ASSERT_EQ(h, GROUND);
}

TEST_F(SpellHost, FireballsAndWaterballsStrikeAWyvernOnTheirWay) {
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  const char* script = "place_test_objects(100, 100)";  // a wyvern 7 up at (100, 106), flying +x
  ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(vm, script, SQInteger(std::strlen(script)), "t", SQTrue)));
  sq_pushroottable(vm);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue)));
  sq_close(vm);
  ASSERT_EQ(WyvernMonster_list.count, 1);
  // From behind it, at its height, toward the ground far ahead: the path
  // passes the wyvern long before the ground.
  auto shoot = [this](Place place) {
    player->selectSpell(false, spell_grid[place / 5][place % 5]);
    player->placeAtCamera(vec4f(80, GROUND + 7.5f, 106, 1));
    cur_view_itm = Matrix44::identity();
    vec4f fwd(150, -7.5f, 0, 0);
    float l = std::sqrt(fwd.x * fwd.x + fwd.y * fwd.y);
    cur_view_itm.row[2] = vec4f(fwd.x / l, fwd.y / l, 0, 0);
    cur_view_itm.row[3] = player->eye();
    player->handCooldown[0] = 0;
    EXPECT_TRUE(player->castHand(0));
    for (int i = 0; i < 200 && missiles_in_flight(); i++) update();
  };
  shoot(FIREBALL);
  EXPECT_EQ(WyvernMonster_list.count, 0);
  EXPECT_EQ(surface[cellIndex(230, 106)].groundColor.u, GREY.u) << "it burst at the wyvern, not on the ground";

  vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(vm, script, SQInteger(std::strlen(script)), "t", SQTrue)));
  sq_pushroottable(vm);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue)));
  sq_close(vm);
  update();
  ASSERT_EQ(WyvernMonster_list.count, 1);
  shoot(WATERBALL);
  EXPECT_EQ(WyvernMonster_list.count, 0) << "a direct hit drowns it";
  EXPECT_NEAR(total_water(), 300, 0.5);
}
