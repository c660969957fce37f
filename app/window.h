#pragma once
// The game's single window over SDL: creation, the window procedure and
// full-screen switching.
union SDL_Event;
struct SDL_Window;

extern const char* const WINDOW_TITLE;

// Creates the window as the stored settings and command line ask; fails
// with a log line when no window can be made.
bool create_main_window();
void destroy_main_window();
SDL_Window* main_window();

// Handles one window message; returns true when it was consumed.
void handle_window_message(const SDL_Event& e);
// Removes and handles every pending message, then updates mouse-over.
void drain_message_queue();
void toggle_fullscreen();
// Alt+F4 was pressed: the game quits, or asks first when the run is unsaved.
extern bool quit_asked;
