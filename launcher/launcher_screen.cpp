// The settings window: title, seven rows of boxes, footer and three buttons on
// a 40 x 32 glyph design, centred in the window.
#include "launcher/launcher_screen.h"

#include <string>

#include "gui/layout.h"
#include "platform/input.h"
#include "platform/vk_codes.h"

namespace {
constexpr uint32_t ROOT_BG = 0xFF222222, LABEL_COLOR = 0xFFCCCCCC, FOOTER_COLOR = 0xFF808080;
constexpr const char* FOOTER_TEXT = "Settings are saved for the game when you press Start or Quit";
constexpr const char* LAND_ROW = "row.landShadows";
constexpr const char* OBJECT_ROW = "row.objectShadows";
constexpr const char* FOOTER = "footer";

struct StateStyle {
  uint32_t background, text, light, dark;  // light: top and left border, dark: right and bottom
};
constexpr StateStyle PUSH_NORMAL = {0xFF323232, 0xFFC8C8C8, 0xFF505050, 0xFF1E1E1E};
constexpr StateStyle PUSH_OVER = {0xFF646464, 0xFFFFFFFF, 0xFF828282, 0xFF464646};
constexpr StateStyle BOX_NORMAL = {0, 0xFFC8C8C8, 0xFF221100, 0xFF221100};
constexpr StateStyle BOX_OVER = {0, 0xFFFFFFFF, 0xFF884411, 0xFF884411};
constexpr StateStyle BOX_PRESSED = {0, 0xFFFFFFFF, 0xFFEE8822, 0xFFEE8822};

// On and off colours of a box's .normal, .over and .pressed states.
constexpr uint32_t BOX_ON[3] = {0xFFAA4411, 0xFFEE8822, 0xFF221100};
constexpr uint32_t BOX_OFF[3] = {0xFF000000, 0xFF221100, 0xFFEE8822};

GuiSides sides(GuiLen t, GuiLen l, GuiLen r, GuiLen b) { return {t, l, r, b}; }
GuiLen A() { return gui_auto(); }

GuiElement* text_element(GuiElement* parent, const char* text, uint32_t color, int scale, GuiSides margin) {
  GuiElement* e = createElement(A(), A(), margin, {}, parent);
  e->setText(text);
  e->textColor = color;
  e->textScale = uint8_t(scale);
  return e;
}

// One state child: as big as the button, its one-pixel borders included.
void add_state(GuiElement* button, const char* name, float w_em, float h_em, float px_em, const StateStyle& st,
               const char* label, int scale, bool shifted) {
  GuiLen zero = gui_px(0);
  GuiElement* s = createElement(gui_em(w_em - 2 * px_em), gui_em(h_em - 2 * px_em), sides(zero, zero, zero, zero), {},
                                button);
  s->setName(name);
  s->border = sides(gui_em(px_em), gui_em(px_em), gui_em(px_em), gui_em(px_em));
  s->borderColors[0] = s->borderColors[1] = st.light;
  s->borderColors[2] = s->borderColors[3] = st.dark;
  s->background = st.background;
  s->setText(label);
  s->textColor = st.text;
  s->textScale = uint8_t(scale);
  if (shifted) s->x = gui_em(px_em), s->y = gui_em(px_em);
}

GuiElement* make_button(GuiElement* parent, uint32_t id, float w_em, float h_em, GuiSides margin, float px_em,
                        const StateStyle* styles, const bool* shifted, const char* label, int scale) {
  GuiElement* b = createElement(gui_em(w_em), gui_em(h_em), margin, {}, parent);
  b->id = id;
  const char* names[3] = {".normal", ".over", ".pressed"};
  for (int i = 0; i < 3; i++) add_state(b, names[i], w_em, h_em, px_em, styles[i], label, scale, shifted[i]);
  b->applyBehaviour("solidBox");
  b->applyBehaviour("button");
  return b;
}

GuiElement* push_button(GuiElement* parent, uint32_t id, float w_em, GuiSides margin, float px_em, const char* label,
                        int scale) {
  static const StateStyle styles[3] = {PUSH_NORMAL, PUSH_OVER, PUSH_OVER};
  static const bool shifted[3] = {false, false, true};
  return make_button(parent, id, w_em, 5, margin, px_em, styles, shifted, label, scale);
}

// A 2 x 2 box at the row's right edge moved `right_em` further right.
void box(GuiElement* row, uint32_t id, float right_em, float px_em, const char* label) {
  static const StateStyle styles[3] = {BOX_NORMAL, BOX_OVER, BOX_PRESSED};
  static const bool shifted[3] = {false, false, false};
  GuiLen mr = right_em == 0 ? gui_px(0) : gui_em(-right_em);
  make_button(row, id, 2, 2, sides(A(), A(), mr, A()), px_em, styles, shifted, label, 1);
}

GuiElement* row(GuiElement* root, float top_em, const char* label, const char* name = "") {
  GuiElement* r = createElement(gui_em(15), gui_em(3), sides(gui_em(top_em), A(), A(), A()), {}, root);
  r->setName(name);
  GuiElement* l = text_element(r, label, LABEL_COLOR, 1, sides(A(), gui_px(0), gui_px(0), A()));
  l->hAlign = -1;
  return r;
}

void show_box(GuiElement* root, uint32_t id, bool on) {
  GuiElement* b = root->findById(id);
  if (!b) return;
  const uint32_t* colors = on ? BOX_ON : BOX_OFF;
  const char* names[3] = {".normal", ".over", ".pressed"};
  for (int i = 0; i < 3; i++)
    if (GuiElement* s = b->findByName(names[i])) s->background = colors[i];
}
}  // namespace

GuiElement* build_launcher_tree(int glyph_size) {
  float px = 1.f / float(glyph_size > 0 ? glyph_size : 8);  // one scaled pixel in em
  GuiElement* root = createElement(gui_em(LAUNCHER_DESIGN_W), gui_em(LAUNCHER_DESIGN_H), sides(A(), A(), A(), A()), {}, nullptr);
  root->setName("root");
  root->background = ROOT_BG;
  text_element(root, "Tolvane", 0xFFFFFFFF, 4, sides(gui_em(1), A(), A(), A()));
  text_element(root, "Version 0.09 DEMO", 0xFFFFFFFF, 1, sides(gui_em(5), A(), A(), A()));

  box(row(root, 6.5f, "Fullscreen"), CMD_FULLSCREEN, 0, px, "");
  box(row(root, 9, "VSync"), CMD_VSYNC, 0, px, "");
  GuiElement* quality = row(root, 11.5f, "Graphics quality");
  box(quality, CMD_GFX_QUALITY_0, 0, px, "lo");
  box(quality, CMD_GFX_QUALITY_0 + 1, 2.5f, px, "hi");
  box(row(root, 14, "Anti-aliasing"), CMD_ANTIALIASING, 0, px, "");
  GuiElement* land = row(root, 16.5f, "Land shadows", LAND_ROW);
  box(land, CMD_LAND_SHADOWS_0, 0, px, "0");
  box(land, CMD_LAND_SHADOWS_0 + 1, 2.5f, px, "1");
  box(land, CMD_LAND_SHADOWS_0 + 2, 5, px, "2");
  box(row(root, 19, "Object shadows", OBJECT_ROW), CMD_OBJECT_SHADOWS, 0, px, "");
  GuiElement* sound = row(root, 21.5f, "Sound");
  box(sound, CMD_SOUND, 0, px, "");
  const char* levels[LAUNCHER_SOUND_LEVELS] = {"1", "2", "3", "4"};
  for (int i = 0; i < LAUNCHER_SOUND_LEVELS; i++) box(sound, CMD_SOUND_LEVEL_1 + uint32_t(i), 2.5f * float(i + 1), px, levels[i]);

  text_element(root, FOOTER_TEXT, FOOTER_COLOR, 1, sides(A(), A(), A(), gui_em(0.5f)))->setName(FOOTER);
  push_button(root, CMD_QUIT, 11, sides(A(), gui_em(1), A(), gui_em(2)), px, "Quit", 3);
  push_button(root, CMD_VISIT_SITE, 13, sides(A(), A(), A(), gui_em(2)), px, "Visit site", 2);
  push_button(root, CMD_START, 11, sides(A(), A(), gui_em(1), gui_em(2)), px, "Start", 3);
  return root;
}

void refresh_launcher_screen(GuiElement* root, const LauncherSettings& s) {
  show_box(root, CMD_FULLSCREEN, s.fullscreen);
  show_box(root, CMD_ANTIALIASING, s.antialiasing);
  show_box(root, CMD_VSYNC, s.vsync);
  show_box(root, CMD_OBJECT_SHADOWS, s.objectShadows);
  for (int i = 0; i < 3; i++) show_box(root, CMD_LAND_SHADOWS_0 + i, s.landShadows == i);
  for (int i = 0; i < 2; i++) show_box(root, CMD_GFX_QUALITY_0 + i, s.gfxQuality == i);
  show_box(root, CMD_SOUND, s.sound.enabled);
  for (int i = 0; i < LAUNCHER_SOUND_LEVELS; i++) show_box(root, CMD_SOUND_LEVEL_1 + i, launcher_sound_level(s) == i + 1);
  bool high = s.gfxQuality != 0;
  if (GuiElement* r = root->findByName(LAND_ROW)) r->setHidden(!high);
  if (GuiElement* r = root->findByName(OBJECT_ROW)) r->setHidden(!high);
}

void launcher_keys(GuiElement* root) {
  uint32_t id = keyDown(VK_RETURN) ? uint32_t(CMD_START) : keyDown(VK_ESCAPE) ? uint32_t(CMD_QUIT) : 0u;
  if (!id || !root) return;
  GuiCommandEvent ev(id, 0, root);
  root->dispatch(ev, GUI_DIRECT);
}

int LauncherHandler::handle(GuiEvent& ev, GuiElement* el, int) {
  uint32_t id = static_cast<GuiCommandEvent&>(ev).id;
  switch (id) {
    case CMD_START:
      save_launcher_settings(settings);
      if (actions.startGame) actions.startGame();
      if (actions.closeAndExit) actions.closeAndExit(0);
      return 1;
    case CMD_QUIT:
      save_launcher_settings(settings);
      if (actions.closeAndExit) actions.closeAndExit(0);
      return 1;
    case CMD_VISIT_SITE:
      if (actions.openSite) {
        bool opened = actions.openSite();
        std::string text = opened ? std::string("Opened ") + LAUNCHER_SITE_URL + " in the browser"
                                  : std::string("No browser could be opened: visit ") + LAUNCHER_SITE_URL;
        GuiElement* root = el;
        while (root->parent) root = root->parent;
        // Centred on the footer's place whatever its length.
        if (GuiElement* footer = root->findByName(FOOTER)) footer->setText(text.c_str());
      }
      return 1;
    case CMD_FULLSCREEN: settings.fullscreen = !settings.fullscreen; break;
    case CMD_ANTIALIASING: settings.antialiasing = !settings.antialiasing; break;
    case CMD_VSYNC: settings.vsync = !settings.vsync; break;
    case CMD_OBJECT_SHADOWS: settings.objectShadows = !settings.objectShadows; break;
    case CMD_LAND_SHADOWS_0:
    case CMD_LAND_SHADOWS_0 + 1:
    case CMD_LAND_SHADOWS_0 + 2: settings.landShadows = int(id - CMD_LAND_SHADOWS_0); break;
    case CMD_GFX_QUALITY_0:
    case CMD_GFX_QUALITY_0 + 1: settings.gfxQuality = int(id - CMD_GFX_QUALITY_0); break;
    case CMD_SOUND: settings.sound.enabled = !settings.sound.enabled; break;
    case CMD_SOUND_LEVEL_1:
    case CMD_SOUND_LEVEL_1 + 1:
    case CMD_SOUND_LEVEL_1 + 2:
    case CMD_SOUND_LEVEL_1 + 3: settings.sound.master = int(id - CMD_SOUND_LEVEL_1 + 1) * 25; break;
    default: return 1;
  }
  GuiElement* root = el;
  while (root->parent) root = root->parent;
  refresh_launcher_screen(root, settings);
  return 1;
}
