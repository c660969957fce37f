#pragma once
// The game's icon on a window: the same picture for the game and the
// launcher, drawn at build time into the program folder.
struct SDL_Window;

constexpr const char* WINDOW_ICON_FILE = "icons/tolvane-128.png";

// Sets the icon from WINDOW_ICON_FILE; a missing or unreadable file is said
// in the log and the window keeps the system's default. True when set.
bool set_window_icon(SDL_Window* window);
