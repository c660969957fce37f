#pragma once
// The red tint along the screen's edges that tells a player, without
// looking at the bars, that the player's health is running low.

// Opacity of the tint (0..1) for a health fraction: nothing above 40 %,
// growing to full at 0. Non-finite fractions count as full health.
float low_health_edge_strength(float health_fraction);
// Draws the tint in the text pass for this health fraction; nothing when the
// strength is 0.
void draw_low_health_edge(float health_fraction);
