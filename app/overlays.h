#pragma once
// The help/statistics overlay and the sun elevation readout.
extern const char* const DEV_HELP_TEXT;
extern const char* const GAME_HELP_TEXT;

// Where the sun readout gets the interpolated sun direction's y; installed
// by the sky. Without it no readout is drawn.
using SunElevationQuery = bool (*)(float& sun_dir_y);
void set_sun_elevation_query(SunElevationQuery q);

void draw_overlays();
