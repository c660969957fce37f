#pragma once
// Loading the game-object module, binding its entry points, re-pointing live
// objects at a rebuilt module's code, and the development-time rebuild.
// Everything runs on the main thread between frames.
#include <cstdint>

#include "objects/module_contract.h"

constexpr const char* GAMEOBJ_MODULE_FILE = "gameobj.so";
constexpr const char* GAMEOBJ_NEW_MODULE_FILE = "gameobj_new.so";
// The module that ran before the last swap, kept to fall back on.
constexpr const char* GAMEOBJ_PREV_MODULE_FILE = "gameobj_prev.so";
// Where a refused new module is set aside, so that it is not tried again.
constexpr const char* GAMEOBJ_REFUSED_MODULE_FILE = "gameobj_refused.so";
// Where a module that crashed is set aside when the previous one returns.
constexpr const char* GAMEOBJ_CRASHED_MODULE_FILE = "gameobj_crashed.so";
constexpr const char* GAMEOBJ_MAIN_SOURCE = "../compiler/main.cpp";
constexpr const char* GAMEOBJ_SOURCE_ROOT = "../compiler/";
constexpr const char* GAMEOBJ_REBUILD_SCRIPT = "../compiler/rebuild_dll.sh";

// The entry points; all null while no module is loaded.
struct GameobjEntryPoints {
#define GAMEOBJ_ENTRY_FIELD(name) void* name;
  GAMEOBJ_ENTRY_POINTS(GAMEOBJ_ENTRY_FIELD)
#undef GAMEOBJ_ENTRY_FIELD
};
extern GameobjEntryPoints gameobj_entry;
static_assert(sizeof(GameobjEntryPoints) == GAMEOBJ_ENTRY_COUNT * sizeof(void*));
extern const char* const gameobj_entry_names[GAMEOBJ_ENTRY_COUNT];

// The dispatch table of each module class, in the module's class order;
// entry 0 is never matched against an object.
extern void* gameobj_class_vtables[GAMEOBJ_CLASS_COUNT];

// Start-up load: unloads any module, forgets the watched sources, loads
// gameobj.so from the program directory, links it and watches its sources.
// A module that cannot be loaded or linked is fatal.
void load_gameobj_module();
// Binds the exports and entry points of `lib`, re-links live objects to its
// classes and takes its class table.
void link_gameobj_module(void* lib);
void unload_gameobj_module();
// Unloads and forgets the watched sources.
void shutdown_gameobj_module();
bool gameobj_module_loaded();
// Counts the links made; native functions handed out by an earlier module
// (script bindings) must be handed out again when it changes.
int gameobj_link_generation();

// Development: the module's sources are watched from ../compiler/main.cpp.
void scan_rebuild_sources(const char* path);
int rebuild_watch_count();
const char* rebuild_watch_path(int i);
void clear_rebuild_sources();
// True while a rebuild runs or has just been started.
bool poll_gameobj_rebuild();
// True when a rebuilt module was swapped in with both file steps done.
bool poll_gameobj_reload();

// Whether a line of compiler output names an error: the word "error" or
// "errors" in any case, with no letter, digit or underscore attached.
bool line_reports_error(const char* line);

// Why a new module may not replace the running one, or empty when it may.
struct ModuleCheck {
  char text[300] = {0};
  bool any() const { return text[0] != 0; }
};
// The full check of a module before it replaces the running one: both
// lookup exports, the class count and every dispatch table, every entry
// point, and a class layout table whose classes keep the running module's
// names, order and sizes. False, with the reason in `c`, when it may not.
bool check_gameobj_module(void* lib, ModuleCheck& c);
// Links `lib` (already checked) over the live objects and only then
// unloads the module that ran before.
void swap_in_gameobj_module(void* lib);
// After a crash in a freshly rebuilt module: gameobj.so is set aside as
// gameobj_crashed.so and gameobj_prev.so takes its place. False when there
// is no previous module or a file step failed (nothing changed then).
bool fall_back_to_previous_gameobj();
