#pragma once
// Drawing the on-screen error band and the visual log with the font, in the
// text pass.
void draw_error_message();
void draw_visual_log();
