// Loading and linking the game-object module, and moving live objects over
// to a newly linked module's classes.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/platform.h"
#include "platform/user_dirs.h"
#include "objects/module_host.h"
#include "objects/object_lists.h"
#include "objects/run_state.h"

GameobjEntryPoints gameobj_entry = {};
void* gameobj_class_vtables[GAMEOBJ_CLASS_COUNT] = {};

const char* const gameobj_entry_names[GAMEOBJ_ENTRY_COUNT] = {
#define GAMEOBJ_ENTRY_NAME(name) #name,
    GAMEOBJ_ENTRY_POINTS(GAMEOBJ_ENTRY_NAME)
#undef GAMEOBJ_ENTRY_NAME
};

namespace {
void* module_handle = nullptr;

// Rebuilding needs the module's sources and a build tree: an installed game
// has neither, and says so once instead of watching files that never come.
void watch_sources_when_present() {
  TempString main_source = make_full_path(GAMEOBJ_MAIN_SOURCE);
  if (program_dir_installed())
    debug("gameobj live rebuild off: installed game");
  else if (get_file_time(main_source.c_str()) == 0)
    debug("gameobj live rebuild off: no module sources at '%s'", main_source.c_str());
  else
    scan_rebuild_sources(GAMEOBJ_MAIN_SOURCE);
}
int link_generation = 0;

// The loaded module's class sizes, copied because its name strings go away
// with it.
struct KnownLayout {
  char name[48];
  int size;
};
KnownLayout known_layouts[GAMEOBJ_CLASS_COUNT];
int known_layout_count = 0;

void** entry_slots() { return reinterpret_cast<void**>(&gameobj_entry); }

int find_class(void* vtable) {
  for (int i = 1; i < GAMEOBJ_CLASS_COUNT; i++)
    if (gameobj_class_vtables[i] == vtable) return i;
  return -1;
}

// An object standing in several lists carries the relink mark after its
// first visit, so its dispatch pointer is replaced exactly once.
void relink_live_objects(void* const* new_vtables) {
  for (const ObjectListEntry& e : gameobj_lists)
    for (BaseObject* obj : *e.list) {
      if (obj->flags & OBJ_RELINKED) continue;
      obj->flags |= OBJ_RELINKED;
      void** vptr = reinterpret_cast<void**>(obj);
      int cls = find_class(*vptr);
      if (cls < 0) fatal("cannot find object vtable");
      *vptr = new_vtables[cls];
    }
  for (const ObjectListEntry& e : gameobj_lists)
    for (BaseObject* obj : *e.list) obj->flags &= ~OBJ_RELINKED;
}

const GameobjClassLayout* module_layouts(void* lib, int& count) {
  count = 0;
  auto fn = reinterpret_cast<GetGameobjClassLayouts>(get_library_proc(lib, GET_GAMEOBJ_CLASS_LAYOUTS));
  return fn ? fn(&count) : nullptr;
}

void remember_layouts(void* lib) {
  int count = 0;
  const GameobjClassLayout* layouts = module_layouts(lib, count);
  known_layout_count = 0;
  if (!layouts) return;
  for (int i = 0; i < count && i < GAMEOBJ_CLASS_COUNT; i++) {
    std::snprintf(known_layouts[i].name, sizeof(known_layouts[i].name), "%.47s", layouts[i].name ? layouts[i].name : "?");
    known_layouts[i].size = layouts[i].size;
  }
  known_layout_count = count < GAMEOBJ_CLASS_COUNT ? count : GAMEOBJ_CLASS_COUNT;
}

// The size of the run state the module was built with, or -1 when it does
// not say (modules that keep no run state).
int module_run_state_size(void* lib) {
  auto by_name = reinterpret_cast<GetGameobjFuncByName>(get_library_proc(lib, GET_GAMEOBJ_FUNC_BY_NAME));
  auto* layout = by_name ? static_cast<const GameobjClassLayout*>(by_name(GAMEOBJ_RUN_STATE_LAYOUT)) : nullptr;
  return layout ? layout->size : -1;
}
}  // namespace

void link_gameobj_module(void* lib) {
  auto by_name = reinterpret_cast<GetGameobjFuncByName>(get_library_proc(lib, GET_GAMEOBJ_FUNC_BY_NAME));
  auto vtables_of = reinterpret_cast<GetGameobjVtables>(get_library_proc(lib, GET_GAMEOBJ_VTABLES));
  if (!by_name || !vtables_of) fatal("invalid gameobj.so");
  int count = 0;
  void* const* vtables = vtables_of(&count);
  if (count != GAMEOBJ_CLASS_COUNT || !vtables) fatal("gameobj classes changed, need restart");
  int run_state_size = module_run_state_size(lib);
  if (run_state_size >= 0 && run_state_size != int(sizeof(RunState)))
    fatal("gameobj.so was built for a run state of %d bytes, the game has %d: rebuild both", run_state_size,
          int(sizeof(RunState)));
  // Bound only once everything checked out, so that a failure on the way
  // never leaves the shutdown calling into a half-linked module.
  void* bound[GAMEOBJ_ENTRY_COUNT];
  for (int i = 0; i < GAMEOBJ_ENTRY_COUNT; i++) {
    bound[i] = by_name(gameobj_entry_names[i]);
    if (!bound[i]) fatal("no \"%s\" function in gameobj.so", gameobj_entry_names[i]);
  }
  relink_live_objects(vtables);
  std::memcpy(gameobj_class_vtables, vtables, sizeof(gameobj_class_vtables));
  std::memcpy(entry_slots(), bound, sizeof(bound));
  remember_layouts(lib);
  link_generation++;
}

void unload_gameobj_module() {
  if (!module_handle) return;
  std::memset(&gameobj_entry, 0, sizeof(gameobj_entry));
  free_library(module_handle);
  module_handle = nullptr;
}

bool gameobj_module_loaded() { return module_handle != nullptr; }
int gameobj_link_generation() { return link_generation; }

void load_gameobj_module() {
  unload_gameobj_module();
  clear_rebuild_sources();
  TempString path = make_full_path(GAMEOBJ_MODULE_FILE);
  module_handle = load_library(path.c_str());
  if (!module_handle) {
    // The loader's reason (a missing file, an unresolved export) goes to the log.
    const char* why = dlerror();
    debug("%s: %s", path.c_str(), why ? why : "not loaded");
    fatal("can't load gameobj.so");
  }
  link_gameobj_module(module_handle);
  debug("loaded %s", path.c_str());
  watch_sources_when_present();
}

// The run ends with the module: a later load starts a new one.
void shutdown_gameobj_module() {
  unload_gameobj_module();
  clear_rebuild_sources();
  reset_run_state();
}

// Re-linking keeps each object's bytes where they are, so a rebuilt module is
// only safe while every class keeps its size.
LayoutMismatch compare_class_layouts(void* new_lib) {
  LayoutMismatch m;
  int run_state_size = module_run_state_size(new_lib);
  if (run_state_size >= 0 && run_state_size != int(sizeof(RunState))) {
    std::snprintf(m.text, sizeof(m.text), "RunState (%d -> %d bytes)", int(sizeof(RunState)), run_state_size);
    return m;
  }
  int count = 0;
  const GameobjClassLayout* layouts = module_layouts(new_lib, count);
  if (!layouts || count != known_layout_count) return m;
  for (int i = 0; i < count; i++) {
    // Objects are matched to classes by position, so a renamed or moved
    // class is as unsafe as a resized one.
    if (std::strcmp(layouts[i].name ? layouts[i].name : "?", known_layouts[i].name) != 0) {
      std::snprintf(m.text, sizeof(m.text), "%.47s (class %d is now %.47s)", known_layouts[i].name, i,
                    layouts[i].name ? layouts[i].name : "?");
      break;
    }
    if (layouts[i].size != known_layouts[i].size) {
      std::snprintf(m.text, sizeof(m.text), "%.47s (%d -> %d bytes)", known_layouts[i].name, known_layouts[i].size,
                    layouts[i].size);
      break;
    }
  }
  return m;
}

// Used by the reload step, which loads the rebuilt module itself.
void adopt_gameobj_module(void* lib) {
  module_handle = lib;
  link_gameobj_module(lib);
}
