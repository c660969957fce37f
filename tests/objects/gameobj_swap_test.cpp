// The real module under a host: a copy of its sources is rebuilt by its own
// rebuild script while objects live, and the same objects then run the new
// code with their data kept. A broken source and a changed class layout
// both leave the old module running.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <squirrel.h>

#include "objects/game_objects.h"
#include "objects/shell_exports.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "objects/run_state.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "world/heightmap.h"

namespace fs = std::filesystem;

extern uint64_t requested_world_seed;
extern int world_requests;

// The shell's camera, as far as the module turns it.
float camera_yaw_set = -99, camera_pitch_set = -99;
void camera_set_angles(float yaw, float pitch) {
  camera_yaw_set = yaw;
  camera_pitch_set = pitch;
}

namespace {
std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool run_script(HSQUIRRELVM vm, const char* text);

struct SwapHost : ::testing::Test {
  fs::path dir, src, bin;
  std::string old_cwd;

  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-swap-XXXXXX";
    dir = mkdtemp(tmpl);
    src = dir / "compiler";
    bin = dir / "bin";
    fs::copy(GAMEOBJ_SOURCES, src, fs::copy_options::recursive);
    fs::create_directories(bin);
    fs::copy_file(fs::path(GAMEOBJ_BIN_DIR) / "gameobj.so", bin / "gameobj.so");
    fs::copy_file(fs::path(GAMEOBJ_BIN_DIR) / "gameobj_rebuild.cfg", bin / "gameobj_rebuild.cfg");
    std::snprintf(app_path, sizeof(app_path), "%s/", bin.c_str());
    old_cwd = fs::current_path();
    set_error_message(nullptr);
  }
  void TearDown() override {
    call(gameobj_entry.close_gameobj);
    shutdown_gameobj_module();
    free_object_lists();
    fs::current_path(old_cwd);
    fs::remove_all(dir);
  }
  static void call(void* entry) {
    if (entry) reinterpret_cast<GameobjVoidFn>(entry)();
  }
  // Replaces text in a module source. The watch compares whole seconds, so
  // an edit in the same second as the last one waits for the next second;
  // times stay real, so the build's own dependency check sees the edit too.
  void edit(const std::string& file, const std::string& from, const std::string& to) {
    fs::path p = src / file;
    std::string text = read_text(p);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    int64_t before = get_file_time(p.c_str());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
    for (int i = 0; i < 30 && get_file_time(p.c_str()) == before; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ASSERT_EQ(utime(p.c_str(), nullptr), 0);
    }
    ASSERT_NE(get_file_time(p.c_str()), before);
  }
  // Runs the once-a-second check until the rebuild has been judged;
  // returns what the reload step answered last.
  bool rebuild_and_reload() {
    bool started = false, reloaded = false;
    for (int i = 0; i < 1200; i++) {
      reloaded = poll_gameobj_reload();
      if (reloaded) return true;
      bool running = poll_gameobj_rebuild();
      started = started || running;
      if (started && !running) return poll_gameobj_reload();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return reloaded;
  }
};
}  // namespace

TEST(GameobjModule, CarriesNoUniqueSymbolsAndResolvesAgainstTheGame) {
  std::string module = std::string(GAMEOBJ_BIN_DIR) + "/gameobj.so";
  std::string syms = run("readelf -sW --dyn-syms '" + module + "'");
  ASSERT_FALSE(syms.empty());
  EXPECT_EQ(syms.find(" UNIQUE "), std::string::npos) << syms;
  // Only the three lookups leave the module.
  std::string exported = run("nm -D --defined-only '" + module + "' | awk '$2 ~ /[TDBVW]/ {print $3}' | sort");
  EXPECT_EQ(exported, "get_gameobj_class_layouts\nget_gameobj_func_by_name\nget_gameobj_vtables\n");
  // Every symbol it leaves open is defined by the game or by a library the
  // game itself loads (the C and C++ runtimes, sanitizers in such a build).
  std::string game = std::string(GAMEOBJ_BIN_DIR) + "/game";
  std::string missing = run("list=$(mktemp); { nm -D --defined-only '" + game + "'; for lib in $(ldd '" + game +
                            "' | awk '/=> \\//{print $3}'); do nm -D --defined-only \"$lib\"; done; } 2>/dev/null"
                            " | awk '{print $3}' | sed 's/@.*//' | sort -u > \"$list\"; nm -D --undefined-only '" +
                            module + "' | awk '{print $2}' | sed 's/@.*//' | grep -v '^_ITM\\|^__gmon' | sort -u" +
                            " | comm -23 - \"$list\"; rm -f \"$list\"");
  EXPECT_EQ(missing, "") << "exported by the module's headers but not by the game";
}

TEST_F(SwapHost, LiveObjectsRunTheRebuiltCodeAndKeepTheirData) {
  load_gameobj_module();
  call(gameobj_entry.init_gameobj);
  ASSERT_NE(local_player, nullptr);
  Player* player = local_player;
  // A world made from seed 77 with its castle; the run is in its second
  // world, its castle hurt and a wyvern due soon.
  auto update = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
  monster_spawn_enabled = false;
  game_rnd_seed = 77;
  call(gameobj_entry.remove_all_gameobj);
  player->onWorldGenerate();
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  ASSERT_TRUE(run_script(vm, "set_castle_site(60, 70)"));
  sq_close(vm);
  for (int i = 0; i < 10; i++) update(i, 0.05f);
  run_state.world_number = 2;
  run_state.castle_health = 40;
  run_state.spawn_clock = 1.5f;
  game_rnd_seed = 1234;  // what the next generated world would take, unrelated to this one
  player->pos = vec4f(40, 80, 50, 1);
  player->mana = 77;
  EXPECT_EQ(player->manaAmount(), 77);
  EXPECT_GT(rebuild_watch_count(), 5);
  const RunState before = run_state;

  // A one-line change to an operation.
  edit("player.cpp", "int Player::manaAmount() { return mana; }", "int Player::manaAmount() { return mana + 1000; }");
  EXPECT_TRUE(rebuild_and_reload()) << get_error_message();
  EXPECT_FALSE(has_error_message()) << get_error_message();
  ASSERT_EQ(local_player, player);
  EXPECT_EQ(player->manaAmount(), 1077);
  EXPECT_EQ(player->pos.x, 40);
  EXPECT_EQ(player->pos.z, 50);
  EXPECT_STREQ(player->getName(), "Player");
  EXPECT_STREQ(player->handSpell(0)->spellName(), "Hill");
  // The run goes on where it was: same world, seed, castle and clocks.
  EXPECT_EQ(run_state.world_number, 2);
  EXPECT_EQ(run_state.world_seed, 77u);
  EXPECT_EQ(run_state.castle_health, before.castle_health);
  EXPECT_EQ(run_state.spawn_clock, before.spawn_clock);
  EXPECT_EQ(run_state.anim_clock, before.anim_clock);
  EXPECT_EQ(run_state.castle_fall_timer, -1.f);
  EXPECT_EQ(spell_grid[1][4]->manaCost(), 125) << "the second world's castle prices";
  // The castle falls under the new code: the same world is made again. The
  // old module's update is gone with it.
  update = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
  run_state.castle_health = 0;
  int requests = world_requests;
  for (int i = 0; i < 100 && world_requests == requests; i++) update(100 + i, 0.05f);
  ASSERT_EQ(world_requests, requests + 1);
  EXPECT_EQ(requested_world_seed, 77u);
  EXPECT_EQ(run_state.world_number, 2);

  // A compile error: shown, and the module that runs stays.
  void* update_before = gameobj_entry.update_gameobj;
  edit("player.cpp", "int Player::manaAmount() { return mana + 1000; }", "int Player::manaAmount() { return mana + }");
  EXPECT_FALSE(rebuild_and_reload());
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("player.cpp"), std::string::npos) << msg;
  EXPECT_NE(msg.find("error"), std::string::npos) << msg;
  EXPECT_NE(msg.find("gameobj rebuild failed!!!"), std::string::npos) << msg;
  // The on-screen font draws ASCII only.
  EXPECT_TRUE(std::all_of(msg.begin(), msg.end(), [](char c) { return (unsigned char)c < 0x80; })) << msg;
  EXPECT_EQ(gameobj_entry.update_gameobj, update_before);
  EXPECT_EQ(player->manaAmount(), 1077);

  // A class that grows a field: refused, the old objects untouched.
  edit("player.cpp", "int Player::manaAmount() { return mana + }", "int Player::manaAmount() { return mana + 2000; }");
  edit("classes.h", "struct ManaBall : GameObj {\n", "struct ManaBall : GameObj {\n  vec4f grownField;\n");
  EXPECT_FALSE(rebuild_and_reload());
  msg = get_error_message();
  EXPECT_NE(msg.find("ManaBall"), std::string::npos) << msg;
  EXPECT_NE(msg.find("restart"), std::string::npos) << msg;
  EXPECT_EQ(gameobj_entry.update_gameobj, update_before);
  EXPECT_EQ(player->manaAmount(), 1077);
  EXPECT_EQ(player->pos.x, 40);
}

namespace {
// Runs a line of script in a VM the module has bound its functions into.
bool run_script(HSQUIRRELVM vm, const char* text) {
  SQInteger top = sq_gettop(vm);
  bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, text, SQInteger(std::strlen(text)), "test", SQTrue));
  if (ok) {
    sq_pushroottable(vm);
    ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  }
  sq_settop(vm, top);
  return ok;
}
}  // namespace

TEST_F(SwapHost, ThePlayerFliesClearOfTheLandAndStartsEachWorldAboveTheCastle) {
  using namespace HeightmapData;
  for (float& h : hmap) h = 10;
  load_gameobj_module();
  call(gameobj_entry.init_gameobj);
  ASSERT_NE(local_player, nullptr);
  Player* p = local_player;
  EXPECT_STREQ(p->handSpell(0)->spellName(), "Hill");
  EXPECT_STREQ(p->handSpell(1)->spellName(), "Fireball");
  EXPECT_EQ(p->manaAmount(), 60);

  Matrix44 cam = Matrix44::identity();
  p->placeAtCamera(vec4f(100, 30, 100, 1));
  p->move(0.05f, 0.4f, vec4f(0, -100, 0, 0), cam, 0);
  EXPECT_FLOAT_EQ(p->eye().y, 12);  // two units above the land
  water[100][100].depth = water[100][101].depth = water[101][100].depth = water[101][101].depth = 5;
  p->move(0.05f, 0.4f, vec4f(0, -1, 0, 0), cam, 0);
  EXPECT_FLOAT_EQ(p->eye().y, 17);  // and above the water
  p->move(0.05f, 0.4f, vec4f(200, 1000, 0, 0), cam, 0);
  EXPECT_FLOAT_EQ(p->eye().x, 44);  // the world wraps
  EXPECT_LE(p->eye().y, 200);

  // A new world: the player waits, then hovers near the castle the world
  // script placed, and the camera turns toward it.
  auto update = reinterpret_cast<GameobjUpdateFn>(gameobj_entry.update_gameobj);
  call(gameobj_entry.remove_all_gameobj);
  p->onWorldGenerate();
  vec4f parked_at = p->eye();
  p->move(0.05f, 0.4f, vec4f(5, 0, 0, 0), cam, 0);
  EXPECT_EQ(p->eye().x, parked_at.x);
  HSQUIRRELVM vm = sq_open(1024);
  reinterpret_cast<GameobjBindFn>(gameobj_entry.bind_gameobj)(vm);
  EXPECT_TRUE(run_script(vm, "set_castle_site(60, 70)"));
  EXPECT_FALSE(run_script(vm, "set_castle_site(\"here\")"));
  update(0, 0.05f);
  ASSERT_EQ(CastleObject_list.count, 1);
  EXPECT_EQ(p->castle(), CastleObject_list[0]);
  EXPECT_NEAR(p->eye().x, 60.5f, 0.01f);
  EXPECT_LT(p->eye().z, 70.5f);
  EXPECT_GT(p->eye().y, 20);
  EXPECT_LT(camera_pitch_set, -0.3f);
  EXPECT_GE(p->proximityBin, 0);
  // Generating again removes the old castle but keeps the player.
  call(gameobj_entry.remove_all_gameobj);
  EXPECT_EQ(CastleObject_list.count, 0);
  EXPECT_EQ(local_player, p);
  sq_close(vm);
  for (float& h : hmap) h = 0;
  for (auto& row : water)
    for (Water& w : row) w.depth = 0;
}
