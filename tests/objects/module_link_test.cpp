// Loading, linking and reloading modules: the fatal paths of a wrong module,
// re-pointing live objects at a new module's classes, and refusing a
// rebuilt module whose classes changed size.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "objects/game_objects.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "platform/globals.h"
#include "platform/messages.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {
std::string fake(const char* variant) { return std::string(FAKE_MODULE_DIR) + "/fake_gameobj_" + variant + ".so"; }

std::string bytes_of(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct Probe : GameObj {};

// A live object that claims to be of module class `cls`; its real dispatch
// pointer comes back before it is freed.
struct PlantedObject {
  Probe* obj = new Probe();
  void* own_table = *reinterpret_cast<void**>(obj);
  void plant(void* table) { *reinterpret_cast<void**>(obj) = table; }
  void* table() const { return *reinterpret_cast<void**>(obj); }
  ~PlantedObject() {
    plant(own_table);
    delete obj;
  }
};

void* const* tables_of(void* lib) {
  auto fn = reinterpret_cast<GetGameobjVtables>(get_library_proc(lib, GET_GAMEOBJ_VTABLES));
  int n = 0;
  return fn(&n);
}

struct ModuleLink : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-gameobj-XXXXXX";
    dir = mkdtemp(tmpl);
    fs::create_directories(dir / "bin");
    std::snprintf(app_path, sizeof(app_path), "%s/", (dir / "bin").c_str());
    set_error_message(nullptr);
  }
  void TearDown() override {
    shutdown_gameobj_module();
    free_object_lists();
    fs::remove_all(dir);
  }
  void install(const char* variant, const char* as = GAMEOBJ_MODULE_FILE) {
    fs::copy_file(fake(variant), dir / "bin" / as, fs::copy_options::overwrite_existing);
  }
};
}  // namespace

TEST_F(ModuleLink, LoadBindsEveryEntryPointAndTheClassTable) {
  install("a");
  load_gameobj_module();
  ASSERT_TRUE(gameobj_module_loaded());
  void** entries = reinterpret_cast<void**>(&gameobj_entry);
  for (int i = 0; i < GAMEOBJ_ENTRY_COUNT; i++) EXPECT_NE(entries[i], nullptr) << gameobj_entry_names[i];
  for (void* t : gameobj_class_vtables) EXPECT_NE(t, nullptr);
  unload_gameobj_module();
  for (int i = 0; i < GAMEOBJ_ENTRY_COUNT; i++) EXPECT_EQ(entries[i], nullptr);
}

TEST_F(ModuleLink, SourcesAreWatchedOnlyInADevelopmentTree) {
  install("a");
  fs::create_directories(dir / "compiler");
  testing::internal::CaptureStdout();
  load_gameobj_module();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("gameobj live rebuild off: no module sources at '" +
                                                         (dir / "compiler" / "main.cpp").string() + "'"),
            std::string::npos);
  EXPECT_EQ(rebuild_watch_count(), 0);

  std::fclose(std::fopen((dir / "compiler" / "main.cpp").c_str(), "w"));
  load_gameobj_module();
  EXPECT_EQ(rebuild_watch_count(), 1);

  // An installed copy never rebuilds, whatever lies around it.
  std::fclose(std::fopen((dir / "bin" / "installed.txt").c_str(), "w"));
  testing::internal::CaptureStdout();
  load_gameobj_module();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("gameobj live rebuild off: installed game"), std::string::npos);
  EXPECT_EQ(rebuild_watch_count(), 0);
  EXPECT_FALSE(poll_gameobj_rebuild());
}

TEST_F(ModuleLink, LiveObjectsArePointedAtTheNewModuleOnceEach) {
  install("a");
  load_gameobj_module();
  PlantedObject both, single;
  both.plant(gameobj_class_vtables[5]);
  single.plant(gameobj_class_vtables[48]);
  GameObj_list.push_back(both.obj);
  Fireball_list.push_back(reinterpret_cast<Fireball*>(both.obj));
  UsePortalSpell_list.push_back(reinterpret_cast<UsePortalSpell*>(both.obj));
  Player_list.push_back(reinterpret_cast<Player*>(single.obj));

  void* lib_b = load_library(fake("b").c_str());
  ASSERT_NE(lib_b, nullptr);
  void* const* b = tables_of(lib_b);
  link_gameobj_module(lib_b);
  EXPECT_EQ(both.table(), b[5]);
  EXPECT_EQ(single.table(), b[48]);
  EXPECT_EQ(both.obj->flags, 0u);
  EXPECT_EQ(single.obj->flags, 0u);
  EXPECT_EQ(gameobj_class_vtables[5], b[5]);
  free_object_lists();
  free_library(lib_b);
}

TEST_F(ModuleLink, AHandPlacedNewModuleIsSwappedInAndRelinks) {
  install("a");
  load_gameobj_module();
  PlantedObject live;
  live.plant(gameobj_class_vtables[7]);
  GameObj_list.push_back(live.obj);
  void* old_table = live.table();
  install("b", GAMEOBJ_NEW_MODULE_FILE);
  EXPECT_TRUE(poll_gameobj_reload());
  EXPECT_NE(live.table(), old_table);
  EXPECT_EQ(live.table(), gameobj_class_vtables[7]);
  EXPECT_FALSE(fs::exists(dir / "bin" / GAMEOBJ_NEW_MODULE_FILE));
  EXPECT_TRUE(fs::exists(dir / "bin" / GAMEOBJ_MODULE_FILE));
  EXPECT_FALSE(poll_gameobj_reload());  // nothing new
  free_object_lists();
}

TEST_F(ModuleLink, ASwapKeepsThePreviousFileAndLoadsEachRebuildFresh) {
  install("a");
  load_gameobj_module();
  PlantedObject live;
  live.plant(gameobj_class_vtables[7]);
  GameObj_list.push_back(live.obj);
  // Something else holding the running module does not keep its code.
  void* pin = load_library((dir / "bin" / GAMEOBJ_MODULE_FILE).c_str());
  std::string a_bytes = bytes_of(dir / "bin" / GAMEOBJ_MODULE_FILE);
  install("b", GAMEOBJ_NEW_MODULE_FILE);
  EXPECT_TRUE(poll_gameobj_reload());
  void* b_table = live.table();
  EXPECT_EQ(b_table, gameobj_class_vtables[7]);
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_PREV_MODULE_FILE), a_bytes);
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_MODULE_FILE), bytes_of(fake("b")));
  // The next rebuild arrives under the name the running module was loaded
  // by: it must be loaded itself, not handed back as the running one.
  install("a", GAMEOBJ_NEW_MODULE_FILE);
  EXPECT_TRUE(poll_gameobj_reload()) << get_error_message();
  EXPECT_NE(live.table(), b_table);
  EXPECT_EQ(live.table(), gameobj_class_vtables[7]);
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_PREV_MODULE_FILE), bytes_of(fake("b")));
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_MODULE_FILE), a_bytes);
  for (const auto& e : fs::directory_iterator(dir / "bin"))
    EXPECT_EQ(e.path().filename().string().find("gameobj_load_"), std::string::npos) << "alias left behind";
  free_object_lists();
  free_library(pin);
}

// A foreign library, a module lacking an entry point or its layout table,
// one with a class more and one with a resized class: each is refused
// before anything of the running module is touched.
TEST_F(ModuleLink, NewModulesThatDoNotFitAreRefusedAndNothingChanges) {
  install("a");
  load_gameobj_module();
  PlantedObject live;
  live.plant(gameobj_class_vtables[7]);
  GameObj_list.push_back(live.obj);
  Dl_info libm{};
  ASSERT_TRUE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&::cos)), &libm));
  struct Case {
    std::string file, reason;
  } cases[] = {
      {libm.dli_fname, "not a game-object module"},
      {fake("no_spawn_monster"), "no \"spawn_monster\" function"},
      {fake("no_layouts"), "no class layout table"},
      {fake("50"), "50 classes where the game has 49: gameobj classes changed"},
      {fake("resized"), "ClassNb (344 -> 352 bytes) changed its data layout: restart the game"},
  };
  const fs::path bin = dir / "bin";
  std::string module_bytes = bytes_of(bin / GAMEOBJ_MODULE_FILE);
  void* before[GAMEOBJ_CLASS_COUNT];
  std::memcpy(before, gameobj_class_vtables, sizeof(before));
  GameobjEntryPoints entries_before = gameobj_entry;
  void* table_before = live.table();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    set_error_message(nullptr);
    fs::copy_file(c.file, bin / GAMEOBJ_NEW_MODULE_FILE, fs::copy_options::overwrite_existing);
    EXPECT_FALSE(poll_gameobj_reload());
    std::string msg = get_error_message();
    EXPECT_NE(msg.find(c.reason), std::string::npos) << msg;
    EXPECT_TRUE(gameobj_module_loaded());
    EXPECT_EQ(std::memcmp(before, gameobj_class_vtables, sizeof(before)), 0);
    EXPECT_EQ(std::memcmp(&entries_before, &gameobj_entry, sizeof(entries_before)), 0);
    EXPECT_EQ(live.table(), table_before);
    EXPECT_EQ(bytes_of(bin / GAMEOBJ_MODULE_FILE), module_bytes);
    EXPECT_FALSE(fs::exists(bin / GAMEOBJ_PREV_MODULE_FILE));
    // Set aside, so that it is not tried again every second.
    EXPECT_FALSE(fs::exists(bin / GAMEOBJ_NEW_MODULE_FILE));
    EXPECT_FALSE(poll_gameobj_reload());
  }
  free_object_lists();
}

TEST_F(ModuleLink, AfterACrashInARebuildThePreviousModuleReturns) {
  install("a");
  EXPECT_FALSE(fall_back_to_previous_gameobj());  // none kept yet
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_MODULE_FILE), bytes_of(fake("a")));
  install("b", GAMEOBJ_PREV_MODULE_FILE);
  EXPECT_TRUE(fall_back_to_previous_gameobj());
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_MODULE_FILE), bytes_of(fake("b")));
  EXPECT_EQ(bytes_of(dir / "bin" / GAMEOBJ_CRASHED_MODULE_FILE), bytes_of(fake("a")));
  EXPECT_FALSE(fs::exists(dir / "bin" / GAMEOBJ_PREV_MODULE_FILE));
}

using ModuleLinkDeath = ModuleLink;

TEST_F(ModuleLinkDeath, WrongClassCountsAndMissingPartsAreFatal) {
  install("48");
  EXPECT_EXIT(load_gameobj_module(), ::testing::ExitedWithCode(100), "gameobj classes changed, need restart");
  install("50");
  EXPECT_EXIT(load_gameobj_module(), ::testing::ExitedWithCode(100), "gameobj classes changed, need restart");
  install("no_spawn_monster");
  EXPECT_EXIT(load_gameobj_module(), ::testing::ExitedWithCode(100), "no \"spawn_monster\" function in gameobj.so");
  fs::remove(dir / "bin" / GAMEOBJ_MODULE_FILE);
  EXPECT_EXIT(load_gameobj_module(), ::testing::ExitedWithCode(100), "can't load gameobj.so");
  void* not_a_module = load_library("libm.so.6");
  ASSERT_NE(not_a_module, nullptr);
  EXPECT_EXIT(link_gameobj_module(not_a_module), ::testing::ExitedWithCode(100), "invalid gameobj.so");
}

TEST_F(ModuleLinkDeath, ALiveObjectOfAnUnknownClassIsFatal) {
  install("a");
  load_gameobj_module();
  PlantedObject stray;
  static void* not_a_class_table[4];
  stray.plant(not_a_class_table);
  WorldPortal_list.push_back(reinterpret_cast<WorldPortal*>(stray.obj));
  void* lib_b = load_library(fake("b").c_str());
  EXPECT_EXIT(link_gameobj_module(lib_b), ::testing::ExitedWithCode(100), "cannot find object vtable");
  // Entry 0 is never matched either.
  stray.plant(gameobj_class_vtables[0]);
  EXPECT_EXIT(link_gameobj_module(lib_b), ::testing::ExitedWithCode(100), "cannot find object vtable");
  free_object_lists();
}
