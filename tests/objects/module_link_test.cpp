// Loading, linking and reloading modules: the fatal paths of a wrong module,
// re-pointing live objects at a new module's classes, and refusing a
// rebuilt module whose classes changed size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
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

TEST_F(ModuleLink, AModuleThatCannotBeUnloadedIsNotReportedAsReplaced) {
  install("a");
  load_gameobj_module();
  PlantedObject live;
  live.plant(gameobj_class_vtables[7]);
  GameObj_list.push_back(live.obj);
  void* old_table = live.table();
  void* pin = load_library((dir / "bin" / GAMEOBJ_MODULE_FILE).c_str());
  install("b", GAMEOBJ_NEW_MODULE_FILE);
  EXPECT_FALSE(poll_gameobj_reload());
  EXPECT_TRUE(gameobj_module_loaded());
  EXPECT_NE(gameobj_entry.update_gameobj, nullptr);
  EXPECT_EQ(live.table(), old_table);
  EXPECT_NE(std::string(get_error_message()).find("restart"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "bin" / GAMEOBJ_NEW_MODULE_FILE));
  free_object_lists();
  free_library(pin);
}

TEST_F(ModuleLink, ARebuiltModuleWithResizedClassIsRefusedAndTheOldKeepsRunning) {
  install("a");
  load_gameobj_module();
  void* before[GAMEOBJ_CLASS_COUNT];
  std::memcpy(before, gameobj_class_vtables, sizeof(before));
  void* update_before = gameobj_entry.update_gameobj;
  install("resized", GAMEOBJ_NEW_MODULE_FILE);
  EXPECT_FALSE(poll_gameobj_reload());
  EXPECT_EQ(std::memcmp(before, gameobj_class_vtables, sizeof(before)), 0);
  EXPECT_EQ(gameobj_entry.update_gameobj, update_before);
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("ClassNb"), std::string::npos) << msg;  // class 39 of the fake
  EXPECT_NE(msg.find("restart"), std::string::npos) << msg;
  // Set aside, so that it is not tried again every second.
  EXPECT_FALSE(fs::exists(dir / "bin" / GAMEOBJ_NEW_MODULE_FILE));
  EXPECT_FALSE(poll_gameobj_reload());
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

TEST_F(ModuleLinkDeath, AReloadWithAnotherClassCountIsFatal) {
  install("a");
  load_gameobj_module();
  install("50", GAMEOBJ_NEW_MODULE_FILE);
  EXPECT_EXIT(poll_gameobj_reload(), ::testing::ExitedWithCode(100), "gameobj classes changed, need restart");
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
