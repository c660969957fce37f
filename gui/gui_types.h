#pragma once
// Lengths, rectangles and colours of GUI elements.
#include <cstdint>

// How a GuiLen is evaluated.
enum GuiLenMode : int32_t {
  GUI_AUTO = 0,     // the caller's automatic value
  GUI_PX = 1,       // pixels
  GUI_EM = 2,       // multiples of the screen's scaled glyph size
  GUI_PCT_W = 3,    // percent of the parent's content width
  GUI_PCT_H = 4,    // percent of the parent's content height
};

struct GuiLen {
  float value = 0;
  int32_t mode = GUI_EM;
};

inline GuiLen gui_auto() { return {0, GUI_AUTO}; }
inline GuiLen gui_px(float v) { return {v, GUI_PX}; }
inline GuiLen gui_em(float v) { return {v, GUI_EM}; }
inline GuiLen gui_pct_w(float v) { return {v, GUI_PCT_W}; }
inline GuiLen gui_pct_h(float v) { return {v, GUI_PCT_H}; }

// Four lengths, one per side, in the order the element stores them.
struct GuiSides {
  GuiLen top, left, right, bottom;
};

// Screen pixels, y growing downwards.
struct GuiRect {
  float top = 0, left = 0, right = 0, bottom = 0;
  float width() const { return right - left; }
  float height() const { return bottom - top; }
};

// Evaluates a length: `automatic` for auto, percentages against the parent's
// content size pw x ph, em against `em`. Any other mode is fatal.
float eval_gui_len(const GuiLen& len, float em, float pw, float ph, float automatic = 0);
