// Continue, -load and -new, and the automatic save.
#include "app/game_start.h"

#include <sys/stat.h>

#include "app/save_game.h"
#include "app/settings.h"
#include "objects/run_state.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "script/worldgen_script.h"

namespace {
LoadedSave start_save;
bool has_start_save = false;
std::string start_label;  // how the log names where the run continues from
int saved_generation = -1;  // the world the automatic save last saw start
bool unsaved = false;
bool failed_start = false;

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool continues_by_default() {
  return automation.load_file.empty() && !automation.new_game && !automation.has_seed &&
         automation.record_file.empty() && automation.replay_file.empty();
}

// The automatic save, else its backup; a damaged one is reported and left.
void prepare_continue() {
  std::string path = autosave_path();
  for (const std::string& candidate : {path, path + SAVE_BACKUP_SUFFIX}) {
    if (!exists(candidate)) continue;
    std::string why;
    if (read_save(candidate, start_save, why)) {
      has_start_save = true;
      start_label = candidate == path ? "the autosave" : "the autosave's backup";
      return;
    }
    debug("%s", why.c_str());
  }
}

void autosave(const char* when) {
  if (!automation.replay_file.empty()) return;
  std::string why;
  if (save_game(autosave_path(), why)) {
    unsaved = false;
  } else {
    debug("automatic save %s failed: %s", when, why.c_str());
    visual_log("The game could not be saved");
  }
}
}  // namespace

bool prepare_game_start(std::string& why) {
  if (!automation.load_file.empty()) {
    if (!read_save(automation.load_file, start_save, why)) return false;
    has_start_save = true;
    start_label = "'" + automation.load_file + "'";
    return true;
  }
  if (continues_by_default()) prepare_continue();
  return true;
}

bool start_first_world() {
  bool ok = true;
  if (has_start_save) {
    std::string why;
    if (apply_save(start_save, why)) {
      debug("continuing world %d (castle level %d) from %s", run_state.world_number, start_save.summary.castle_level,
            start_label.c_str());
      saved_generation = world_generation_count();
      start_save = LoadedSave{};
      return true;
    }
    debug("%s; starting a new game", why.c_str());
    set_error_message(why.c_str());
    ok = automation.load_file.empty();
    failed_start = !ok;
  }
  start_save = LoadedSave{};
  generate_world();
  return ok;
}

void autosave_after_world_start() {
  int g = world_generation_count();
  if (g == saved_generation || run_state.world_objects_due) return;
  saved_generation = g;
  autosave("at the world's start");
}

void autosave_on_quit() { autosave("on quitting"); }

bool start_failed() { return failed_start; }
bool run_unsaved() { return unsaved; }
void note_run_saved() { unsaved = false; }
void note_step_played() { unsaved = true; }
