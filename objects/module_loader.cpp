// Loading and linking the game-object module, and moving live objects over
// to a newly linked module's classes.
#include <dlfcn.h>
#include <link.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/crash_report.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "platform/user_dirs.h"
#include "objects/module_host.h"
#include "audio/sound.h"
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
// The running module's class-table export: a "new" module that hands back
// this very function is the running one, loaded again.
GetGameobjVtables running_vtables_export = nullptr;

// The loaded module's class sizes, copied because its name strings go away
// with it.
struct KnownLayout {
  char name[48];
  int size;
};
KnownLayout known_layouts[GAMEOBJ_CLASS_COUNT];
int known_layout_count = 0;

void note_module_for_crash_report(void* lib);

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
  // The swapped-in code decides again what its objects sound like.
  stop_sound_loops(nullptr);
  std::memcpy(gameobj_class_vtables, vtables, sizeof(gameobj_class_vtables));
  std::memcpy(entry_slots(), bound, sizeof(bound));
  remember_layouts(lib);
  running_vtables_export = vtables_of;
  link_generation++;
  note_module_for_crash_report(lib);
}

void unload_gameobj_module() {
  if (!module_handle) return;
  std::memset(&gameobj_entry, 0, sizeof(gameobj_entry));
  free_library(module_handle);
  module_handle = nullptr;
  running_vtables_export = nullptr;
  crash_note_module(0, 0, -1, nullptr);
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

namespace {
bool refuse(ModuleCheck& c, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
bool refuse(ModuleCheck& c, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(c.text, sizeof(c.text), fmt, ap);
  va_end(ap);
  return false;
}

// Re-linking keeps each object's bytes where they are, so a new module is
// only safe while every class keeps its name, place and size.
bool same_class_layouts(void* new_lib, ModuleCheck& c) {
  int run_state_size = module_run_state_size(new_lib);
  if (run_state_size >= 0 && run_state_size != int(sizeof(RunState)))
    return refuse(c, "RunState (%d -> %d bytes) changed its data layout", int(sizeof(RunState)), run_state_size);
  int count = 0;
  const GameobjClassLayout* layouts = module_layouts(new_lib, count);
  if (!layouts) return refuse(c, "it has no class layout table");
  if (known_layout_count != GAMEOBJ_CLASS_COUNT)
    return refuse(c, "the running module gave no class layouts to compare with");
  if (count != known_layout_count)
    return refuse(c, "its layout table lists %d classes, the running module %d", count, known_layout_count);
  for (int i = 0; i < count; i++) {
    const char* name = layouts[i].name ? layouts[i].name : "?";
    // Objects are matched to classes by position, so a renamed or moved
    // class is as unsafe as a resized one.
    if (std::strcmp(name, known_layouts[i].name) != 0)
      return refuse(c, "gameobj class %.47s (class %d is now %.47s) changed its data layout", known_layouts[i].name,
                    i, name);
    if (layouts[i].size != known_layouts[i].size)
      return refuse(c, "gameobj class %.47s (%d -> %d bytes) changed its data layout", known_layouts[i].name,
                    known_layouts[i].size, layouts[i].size);
  }
  return true;
}

// The module's mapped address range, for the crash report.
struct RangeQuery {
  uintptr_t base;
  uintptr_t begin = 0, end = 0;
};
int find_range(dl_phdr_info* info, size_t, void* data) {
  auto* q = static_cast<RangeQuery*>(data);
  if (info->dlpi_addr != q->base) return 0;
  for (int i = 0; i < info->dlpi_phnum; i++) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t b = info->dlpi_addr + ph.p_vaddr, e = b + ph.p_memsz;
    if (!q->begin || b < q->begin) q->begin = b;
    if (e > q->end) q->end = e;
  }
  return q->end != 0;
}

void note_module_for_crash_report(void* lib) {
  link_map* map = nullptr;
  if (!lib || dlinfo(lib, RTLD_DI_LINKMAP, &map) != 0 || !map) return;
  RangeQuery q{uintptr_t(map->l_addr)};
  dl_iterate_phdr(find_range, &q);
  crash_note_module(q.begin, q.end, link_generation - 1, GAMEOBJ_MODULE_FILE);
}
}  // namespace

bool check_gameobj_module(void* lib, ModuleCheck& c) {
  c = ModuleCheck();
  auto by_name = reinterpret_cast<GetGameobjFuncByName>(get_library_proc(lib, GET_GAMEOBJ_FUNC_BY_NAME));
  auto vtables_of = reinterpret_cast<GetGameobjVtables>(get_library_proc(lib, GET_GAMEOBJ_VTABLES));
  if (!by_name || !vtables_of)
    return refuse(c, "it is not a game-object module (no %s)", by_name ? GET_GAMEOBJ_VTABLES : GET_GAMEOBJ_FUNC_BY_NAME);
  int count = 0;
  void* const* vtables = vtables_of(&count);
  if (count != GAMEOBJ_CLASS_COUNT || !vtables)
    return refuse(c, "it has %d classes where the game has %d: gameobj classes changed, restart the game to load it",
                  count, GAMEOBJ_CLASS_COUNT);
  for (int i = 0; i < count; i++)
    if (!vtables[i]) return refuse(c, "its class %d has no dispatch table", i);
  for (int i = 0; i < GAMEOBJ_ENTRY_COUNT; i++)
    if (!by_name(gameobj_entry_names[i])) return refuse(c, "no \"%s\" function in it", gameobj_entry_names[i]);
  if (vtables_of == running_vtables_export)
    return refuse(c, "it is the module already running");
  if (!same_class_layouts(lib, c)) {
    std::snprintf(c.text + std::strlen(c.text), sizeof(c.text) - std::strlen(c.text), ": restart the game to load it");
    return false;
  }
  return true;
}

void swap_in_gameobj_module(void* lib) {
  void* old = module_handle;
  module_handle = lib;
  link_gameobj_module(lib);
  // Nothing points into the old module any more.
  if (old) free_library(old);
}

bool fall_back_to_previous_gameobj() {
  TempString current = make_full_path(GAMEOBJ_MODULE_FILE);
  TempString previous = make_full_path(GAMEOBJ_PREV_MODULE_FILE);
  TempString crashed = make_full_path(GAMEOBJ_CRASHED_MODULE_FILE);
  if (get_file_time(previous.c_str()) == 0) return false;
  if (std::rename(current.c_str(), crashed.c_str()) != 0) return false;
  if (std::rename(previous.c_str(), current.c_str()) != 0) {
    std::rename(crashed.c_str(), current.c_str());
    return false;
  }
  return true;
}
