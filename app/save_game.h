#pragma once
// Saved games: what a save holds (the seed and the random generator, the
// land, water and surface as the spells left them, the run state, the
// host's spawning state, the camera and every object through the module),
// saving and loading it, the automatic save and the list the load menu shows.
// Saves live in $XDG_DATA_HOME/Mirevast Games/Tolvane/saves/.
#include <string>
#include <vector>

#include "app/save_file.h"

constexpr const char* AUTOSAVE_NAME = "autosave.sav";

std::string saves_dir();
std::string autosave_path();
// A new file name for a save made now: save-YYYYMMDD-HHMMSS.sav (with a
// number added when one of that name exists).
std::string new_save_path();

// Saves the running game; logs "saved world N to 'FILE' (world hash: H)".
// False, with the reason in `why` and nothing else changed, when it failed.
bool save_game(const std::string& path, std::string& why);
// Reads and checks a save without touching the running game.
struct LoadedSave {
  std::string path;
  SaveSummary summary;
  std::string payload;
};
bool read_save(const std::string& path, LoadedSave& out, std::string& why);
// Replaces the running game by a save read with read_save; logs "loaded
// world N from 'FILE' (world hash: H)". A save whose content is refused
// leaves the running game as it was.
bool apply_save(const LoadedSave& save, std::string& why);
bool load_game(const std::string& path, std::string& why);

// The saves in the folder for the load menu: the automatic save first, then
// the newest first. A file that is not a readable save is listed with why.
struct SaveListEntry {
  std::string path, name;
  SaveSummary summary;
  bool readable = false;
  std::string why;
};
std::vector<SaveListEntry> list_saves();

// Seconds of play in this run (loaded saves included), counted per step.
void count_played_step(float dt);
double seconds_played();
