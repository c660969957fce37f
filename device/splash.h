#pragma once
// The start-up and progress splash, drawn and presented at once. Long
// operations (world generation, erosion) report progress through it;
// progress < 0 shows no bar.
void show_splash(const char* message, float progress);
// Draws the current splash into the back buffer without presenting.
void draw_splash_screen();
