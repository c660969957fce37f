#pragma once
// The settings window's element tree, its command handler and refreshing.
#include "gui/gui_screen.h"
#include "launcher/launcher_settings.h"

// Command ids of the launcher's buttons and boxes.
enum LauncherCommand : uint32_t {
  CMD_START = 1,
  CMD_QUIT = 2,
  CMD_VISIT_SITE = 3,
  CMD_FULLSCREEN = 4,
  CMD_ANTIALIASING = 5,
  CMD_VSYNC = 6,
  CMD_OBJECT_SHADOWS = 7,
  CMD_LAND_SHADOWS_0 = 8,   // .. 10
  CMD_GFX_QUALITY_0 = 11,   // .. 12
  CMD_SOUND = 13,
  CMD_SOUND_LEVEL_1 = 14,   // .. 17: master volume 25, 50, 75, 100
};
constexpr int LAUNCHER_SOUND_LEVELS = 4;

constexpr const char* LAUNCHER_SITE_URL = "https://mirevast.games/tolvane";

// What Start, Quit and Visit site do; the program closes down and exits,
// tests record. openSite says whether a browser took the page.
struct LauncherActions {
  void (*startGame)() = nullptr;
  void (*closeAndExit)(int code) = nullptr;
  bool (*openSite)() = nullptr;
};

// The design size in glyphs.
constexpr int LAUNCHER_DESIGN_W = 40, LAUNCHER_DESIGN_H = 32;

// Builds the whole tree (root named "root"); the caller makes the screen.
GuiElement* build_launcher_tree(int glyph_size);

// Shows the settings: box colours and the rows that only apply to "high".
void refresh_launcher_screen(GuiElement* root, const LauncherSettings& s);

// Return starts the game and Esc quits, as the buttons do.
void launcher_keys(GuiElement* root);

class LauncherHandler final : public GuiEventHandler {
 public:
  LauncherHandler(LauncherSettings& s, const LauncherActions& a) : GuiEventHandler(GUI_EV_COMMAND), settings(s), actions(a) {}
  int handle(GuiEvent& ev, GuiElement* el, int mode) override;
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}

 private:
  LauncherSettings& settings;
  LauncherActions actions;
};
