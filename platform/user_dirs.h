#pragma once
// Where the programs write their files.
//
// A program folder the user can write (a build tree, an unpacked copy)
// keeps screenshots, the shader cache and records beside the program. An
// installed game's folder belongs to the system: its files go to the user's
// folders instead, following the XDG base directory rules:
//   data:  $XDG_DATA_HOME/Mirevast Games/Tolvane/   (~/.local/share/... when unset)
//   cache: $XDG_CACHE_HOME/Mirevast Games/Tolvane/  (~/.cache/...)
// An install marks its program folder with INSTALL_MARKER_FILE, so that even
// a user who can write there (root) keeps the system's folder clean.
//
// Paths are std::string: they come from the environment and may be longer
// than a TempString holds.
#include <string>

constexpr const char* INSTALL_MARKER_FILE = "installed.txt";

enum class WriteArea {
  Data,   // screenshots, records, saves, reports: what the player keeps
  Cache,  // files the game can make again (the shader cache)
};

// The user's folders for this game, each ending with '/'. Not created here.
std::string user_data_dir();
std::string user_cache_dir();

// Whether this is an installed copy (the marker lies in the program folder).
bool program_dir_installed();
// Whether files are written beside the program: its folder is not an
// installed copy and the user can write it.
bool program_dir_writable();

// The full path for writing `rel`, a name relative to the program folder
// ("shots/a.png", "cache/land.sh.cache"): in the program folder when
// program_dir_writable(), else under the user's folder of `area`. An
// absolute name is returned as it is.
std::string writable_path(WriteArea area, const char* rel);

// writable_path(), and when the file lies in the user's folders (which a
// fresh account does not have yet) the folders above it are made. False when
// one cannot be made, with "folder: reason" in `why`; `full` is set either way.
bool prepare_writable_path(WriteArea area, const char* rel, std::string& full, std::string* why = nullptr);

// Creates every missing folder above the file `path` (mode 0755). False when
// one cannot be made, with "folder: reason" in `why`.
bool make_parent_dirs(const std::string& path, std::string* why = nullptr);
