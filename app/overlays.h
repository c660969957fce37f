#pragma once
// The help/statistics overlay and the sun elevation readout.
extern const char* const DEV_HELP_TEXT;
extern const char* const GAME_HELP_TEXT;

// Where the sun readout gets the interpolated sun direction's y; installed
// by the sky. Without it no readout is drawn.
using SunElevationQuery = bool (*)(float& sun_dir_y);
void set_sun_elevation_query(SunElevationQuery q);

// Lines added to the game-mode help (the spells and their costs); installed
// by the spell UI. Without it the help shows the controls only.
using HelpTextQuery = const char* (*)();
void set_game_help_extra(HelpTextQuery q);

void draw_overlays();
// A small cross at the screen centre, where casts aim (game mode).
void draw_crosshair();
// Pixels at the top of the screen the overlays leave to the spell UI's strip.
int overlay_top_reserved();
