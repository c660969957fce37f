// The Esc menu: one screen whose rows are rebuilt for each page, a window of
// them shown at a time (the controls page is longer than the screen).
#include "app/game_menu.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "app/game_options.h"
#include "app/game_start.h"
#include "app/save_game.h"
#include "gui/layout.h"
#include "gui/vantor_renderer.h"
#include "objects/run_state.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/key_bindings.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/vk_codes.h"

namespace {
constexpr uint32_t DIM_BG = 0x99000000, PANEL_BG = 0xE8161A22, ROW_BG = 0xC02C3440, ROW_SELECTED = 0xF0587CA8;
constexpr uint32_t TEXT = 0xFFFFFFFF, TEXT_OFF = 0xFF8A92A0, TEXT_WARN = 0xFFFF7A66, TITLE_TEXT = 0xFFFFE2A0;
constexpr float PANEL_W = 40, ROW_H = 1.5f, ROW_GAP = 0.25f, TOP = 2.5f;  // em
constexpr int VISIBLE_ROWS = 10;  // the panel (about 25 em with its lines below) fits the design height
constexpr int KEY_SCAN_FIRST = 1, KEY_SCAN_LAST = 255;

const GuiLen ZERO = gui_em(0);
const GuiSides NO_SIDES = {ZERO, ZERO, ZERO, ZERO};

enum class Page { MAIN, LOAD, OPTIONS, CONTROLS, QUIT };

// What a row does: picked (0) with Enter or a left click, or changed (-1, +1)
// with the arrows or the mouse buttons when it holds a value.
struct Row {
  std::string text;
  std::function<void(int)> act;
  bool enabled = true;
  bool warn = false;
  bool holdsValue = false;
};

struct Menu {
  VantorGuiRenderer ownRenderer;
  GuiScreen* screen = nullptr;
  GuiElement* title = nullptr;
  GuiElement* status = nullptr;
  GuiElement* hint = nullptr;
  GuiElement* rowEls[VISIBLE_ROWS] = {};
  bool open = false;
  Page page = Page::MAIN;
  std::vector<Row> rows;
  int selected = 0, first = 0;
  int capturing = -1;    // the action waiting for its new key
  int step = 0;          // steps the menu has been updated
  int captureStep = -1;  // the step the binding began: its own key or click is not the new key
  std::string statusText;
} menu;

void show_page(Page page, int select = 0);

GuiElement* child(GuiElement* parent, GuiLen w, GuiLen h, GuiLen x, GuiLen y) {
  GuiElement* el = createElement(w, h, NO_SIDES, NO_SIDES, nullptr);
  parent->insertChild(el, parent->children.count);
  el->x = x, el->y = y;
  return el;
}

// ---- what the rows do ----

std::string played_text(double seconds) {
  long s = long(seconds);
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof(text), "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof(text), "%ld:%02ld", s / 60, s % 60);
  return text;
}

std::string date_text(int64_t when) {
  std::time_t t = std::time_t(when);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &tm);
  return text;
}

void set_status(const std::string& text) { menu.statusText = text; }

void save_now() {
  std::string path = new_save_path(), why;
  if (save_game(path, why)) {
    note_run_saved();
    set_status("Saved world " + std::to_string(run_state.world_number) + " as " + path.substr(path.rfind('/') + 1));
  } else {
    set_status(why);
  }
}

void load_now(const std::string& path) {
  std::string why;
  if (!load_game(path, why)) {
    set_status(why);
    return;
  }
  note_run_saved();
  visual_log("Loaded world %d", run_state.world_number);
  close_game_menu();
}

std::vector<Row> main_rows() {
  return {{"Resume", [](int) { close_game_menu(); }},
          {"Save game", [](int) { save_now(); }},
          {"Load game", [](int) { show_page(Page::LOAD); }},
          {"Options", [](int) { show_page(Page::OPTIONS); }},
          {"Controls", [](int) { show_page(Page::CONTROLS); }},
          {"Quit", [](int) { show_page(Page::QUIT); }}};
}

std::vector<Row> load_rows() {
  std::vector<Row> rows;
  for (const SaveListEntry& e : list_saves()) {
    Row r;
    if (e.readable) {
      char text[200];
      std::snprintf(text, sizeof(text), "World %d, castle %d, %s played, %s%s", e.summary.world_number,
                    e.summary.castle_level, played_text(e.summary.seconds_played).c_str(),
                    date_text(e.summary.saved_at).c_str(), e.name == AUTOSAVE_NAME ? " (automatic)" : "");
      r.text = text;
      std::string path = e.path;
      r.act = [path](int) { load_now(path); };
    } else {
      r.text = e.name + ": cannot be loaded";
      r.enabled = false;
      r.warn = true;
      std::string why = e.why;
      r.act = [why](int) { set_status(why); };
    }
    rows.push_back(r);
  }
  if (rows.empty()) rows.push_back({"No saved games yet", [](int) {}, false});
  rows.push_back({"Back", [](int) { show_page(Page::MAIN, 2); }});
  return rows;
}

std::vector<Row> option_rows() {
  std::vector<Row> rows;
  for (int o = 0; o < OPT_COUNT; o++) {
    Row r;
    r.text = option_text(o);
    r.holdsValue = true;
    r.act = [o](int dir) {
      if (!change_option(o, dir == 0 ? 1 : dir)) set_status("That cannot change at this graphics quality");
      show_page(Page::OPTIONS, menu.selected);
    };
    rows.push_back(r);
  }
  rows.push_back({"Back", [](int) { show_page(Page::MAIN, 3); }});
  return rows;
}

std::vector<Row> control_rows() {
  std::vector<Row> rows;
  for (int a = 0; a < KEY_ACTION_COUNT; a++) {
    char keys[64];
    key_binding_text(a, keys, sizeof(keys));
    Row r;
    r.text = std::string(key_action_info(a).label) + ": " + keys;
    if (menu.capturing == a) r.text = std::string(key_action_info(a).label) + ": press a key (Esc: keep)";
    int other = key_conflict(a);
    if (other >= 0) {
      r.text += std::string("  (also ") + key_action_info(other).label + ")";
      r.warn = true;
    }
    r.act = [a](int) {
      menu.capturing = a;
      menu.captureStep = menu.step;
      show_page(Page::CONTROLS, menu.selected);
    };
    rows.push_back(r);
  }
  rows.push_back({"Reset to defaults", [](int) {
                    reset_key_bindings();
                    save_key_bindings();
                    set_status("Keys reset to their defaults");
                    show_page(Page::CONTROLS, menu.selected);
                  }});
  rows.push_back({"Back", [](int) { show_page(Page::MAIN, 4); }});
  return rows;
}

std::vector<Row> quit_rows() {
  return {{"Quit (the world is kept for Continue)", [](int) { quit_requested = true; }},
          {"Cancel", [](int) { show_page(Page::MAIN, 5); }}};
}

const char* page_title(Page p) {
  switch (p) {
    case Page::MAIN: return "Tolvane";
    case Page::LOAD: return "Load game";
    case Page::OPTIONS: return "Options";
    case Page::CONTROLS: return "Controls";
    case Page::QUIT: return "Quit the game?";
  }
  return "";
}

const char* page_hint(Page p) {
  if (menu.capturing >= 0) return "Press the new key; Esc keeps the old one";
  if (p == Page::OPTIONS) return "Left, Right or the mouse buttons change a value; Esc goes back";
  if (p == Page::CONTROLS) return "Pick a row and press the new key; Esc goes back";
  return "Arrows and Enter, or the mouse; Esc goes back";
}

// ---- the screen ----

void refresh() {
  if (!menu.screen) return;
  int n = int(menu.rows.size());
  menu.selected = std::clamp(menu.selected, 0, std::max(0, n - 1));
  if (menu.selected < menu.first) menu.first = menu.selected;
  if (menu.selected >= menu.first + VISIBLE_ROWS) menu.first = menu.selected - VISIBLE_ROWS + 1;
  menu.first = std::clamp(menu.first, 0, std::max(0, n - VISIBLE_ROWS));
  menu.title->setText(page_title(menu.page));
  for (int i = 0; i < VISIBLE_ROWS; i++) {
    GuiElement* el = menu.rowEls[i];
    int index = menu.first + i;
    el->setHidden(index >= n);
    if (index >= n) continue;
    const Row& r = menu.rows[size_t(index)];
    el->setText(r.text.c_str());
    el->background = index == menu.selected ? ROW_SELECTED : ROW_BG;
    el->textColor = r.warn ? TEXT_WARN : r.enabled ? TEXT : TEXT_OFF;
  }
  menu.status->setText(menu.statusText.c_str());
  menu.hint->setText(page_hint(menu.page));
}

void show_page(Page page, int select) {
  if (page != menu.page) menu.statusText.clear();
  if (page != Page::CONTROLS) menu.capturing = -1;
  menu.page = page;
  switch (page) {
    case Page::MAIN: menu.rows = main_rows(); break;
    case Page::LOAD: menu.rows = load_rows(); break;
    case Page::OPTIONS: menu.rows = option_rows(); break;
    case Page::CONTROLS: menu.rows = control_rows(); break;
    case Page::QUIT: menu.rows = quit_rows(); break;
  }
  menu.selected = select;
  refresh();
}

void activate(int index, int direction) {
  if (index < 0 || index >= int(menu.rows.size())) return;
  Row r = menu.rows[size_t(index)];  // the action may rebuild the rows
  menu.selected = index;
  if (direction != 0 && !r.holdsValue) return;
  r.act(direction);
  if (menu.open) refresh();
}

void go_back() {
  if (menu.capturing >= 0) {
    menu.capturing = -1;
    show_page(Page::CONTROLS, menu.selected);
  } else if (menu.page == Page::MAIN) {
    close_game_menu();
  } else {
    show_page(Page::MAIN);
  }
}

// The mouse: hovering selects a row, the left button picks it (or steps its
// value up), the right button steps a value down, the wheel scrolls.
class MenuRowHandler final : public GuiEventHandler {
 public:
  MenuRowHandler() : GuiEventHandler(GUI_EV_MOUSE_ENTER | GUI_EV_BUTTON_UP | GUI_EV_WHEEL) {}
  int handle(GuiEvent& ev, GuiElement* el, int) override {
    if (!menu.open || menu.capturing >= 0 || el->id == 0) return 1;
    int index = menu.first + int(el->id) - 1;
    auto& input = static_cast<GuiInputEvent&>(ev).input;
    if (ev.type == GUI_EV_MOUSE_ENTER) {
      menu.selected = index;
    } else if (ev.type == GUI_EV_WHEEL) {
      menu.selected = std::clamp(menu.selected - input.wheel, 0, int(menu.rows.size()) - 1);
    } else if (input.key == VK_LBUTTON) {
      activate(index, index < int(menu.rows.size()) && menu.rows[size_t(index)].holdsValue ? 1 : 0);
    } else if (input.key == VK_RBUTTON) {
      activate(index, -1);
    }
    if (menu.open) refresh();
    return 1;
  }
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
} row_handler;

// A new key for the action being bound: the first key or button pressed.
void take_bound_key() {
  if (menu.step == menu.captureStep) return;
  for (int vk = KEY_SCAN_FIRST; vk <= KEY_SCAN_LAST; vk++) {
    if (!keyDown(vk)) continue;
    int action = menu.capturing;
    menu.capturing = -1;
    if (vk != VK_ESCAPE) {
      if (bind_key(action, vk)) {
        save_key_bindings();
        debug("menu: %s bound to %s", key_action_info(action).label, getKeyName(vk));
        set_status(std::string(key_action_info(action).label) + " is now " + getKeyName(vk));
      } else {
        set_status(std::string(getKeyName(vk)) + " cannot be bound to " + key_action_info(action).label);
      }
    }
    show_page(Page::CONTROLS, menu.selected);
    return;
  }
}

void menu_keys() {
  int n = int(menu.rows.size());
  if (keyDown(VK_UP)) menu.selected = (menu.selected + n - 1) % std::max(1, n);
  if (keyDown(VK_DOWN)) menu.selected = (menu.selected + 1) % std::max(1, n);
  if (keyDown(VK_LEFT)) activate(menu.selected, -1);
  if (keyDown(VK_RIGHT)) activate(menu.selected, 1);
  if (menu.open && keyDown(VK_RETURN)) activate(menu.selected, 0);
  if (menu.open && keyDown(VK_ESCAPE)) go_back();
}

void build_screen(IGuiRenderer* renderer) {
  GuiElement* root = createElement(gui_pct_w(100), gui_pct_h(100), NO_SIDES, NO_SIDES, nullptr);
  root->background = DIM_BG;
  float panel_h = TOP + float(VISIBLE_ROWS) * (ROW_H + ROW_GAP) + 4.f;
  GuiSides centred = {gui_auto(), gui_auto(), gui_auto(), gui_auto()};
  GuiSides pad = {gui_em(0.5f), gui_em(1), gui_em(1), gui_em(0.5f)};
  GuiElement* panel = createElement(gui_em(PANEL_W), gui_em(panel_h), centred, pad, nullptr);
  root->insertChild(panel, root->children.count);
  panel->background = PANEL_BG;
  menu.title = child(panel, gui_pct_w(100), gui_em(1.5f), ZERO, ZERO);
  menu.title->textColor = TITLE_TEXT;
  menu.title->textScale = 2;
  for (int i = 0; i < VISIBLE_ROWS; i++) {
    GuiElement* row = child(panel, gui_pct_w(100), gui_em(ROW_H), ZERO, gui_em(TOP + float(i) * (ROW_H + ROW_GAP)));
    row->padding.left = gui_em(0.5f);
    row->hAlign = -1;
    row->id = uint32_t(i + 1);
    row->applyBehaviour("solidBox");
    row->addHandler(&row_handler, -1);
    menu.rowEls[i] = row;
  }
  float below = TOP + float(VISIBLE_ROWS) * (ROW_H + ROW_GAP);
  menu.status = child(panel, gui_pct_w(100), gui_em(1.5f), ZERO, gui_em(below + 0.25f));
  menu.status->textColor = TITLE_TEXT;
  menu.status->hAlign = -1;
  menu.hint = child(panel, gui_pct_w(100), gui_em(1.5f), ZERO, gui_em(below + 1.75f));
  menu.hint->textColor = TEXT_OFF;
  menu.hint->hAlign = -1;
  menu.screen = new GuiScreen(renderer ? renderer : &menu.ownRenderer, root, GAME_MENU_DESIGN_W, GAME_MENU_DESIGN_H);
}
}  // namespace

void create_game_menu(IGuiRenderer* renderer) {
  if (!menu.screen) build_screen(renderer);
}

void destroy_game_menu() {
  delete menu.screen;
  menu.screen = nullptr;
  menu.title = menu.status = menu.hint = nullptr;
  std::fill(std::begin(menu.rowEls), std::end(menu.rowEls), nullptr);
  menu.open = false;
  menu.rows.clear();
}

bool game_menu_open() { return menu.open; }

void open_game_menu() {
  if (!menu.screen) return;
  menu.open = true;
  menu.statusText.clear();
  show_page(Page::MAIN);
  debug("menu: opened");
}

void open_quit_question() {
  if (!menu.screen) {
    quit_requested = true;
    return;
  }
  menu.open = true;
  show_page(Page::QUIT);
}

void close_game_menu() {
  if (menu.open) debug("menu: closed");
  menu.open = false;
  menu.capturing = -1;
}

void update_game_menu() {
  if (!menu.open || !menu.screen) return;
  menu.step++;
  menu.screen->processInput();
  if (!menu.open) return;
  if (menu.capturing >= 0) take_bound_key();
  else menu_keys();
  if (menu.open) refresh();
}

void draw_game_menu() {
  if (menu.open && menu.screen) menu.screen->draw();
}

void relayout_game_menu() {
  if (menu.screen) menu.screen->relayout();
}

GuiScreen* game_menu_screen() { return menu.screen; }
int game_menu_row_count() { return menu.open ? int(menu.rows.size()) : 0; }
const char* game_menu_row_text(int row) {
  return row >= 0 && row < game_menu_row_count() ? menu.rows[size_t(row)].text.c_str() : "";
}
int game_menu_selected_row() { return menu.selected; }
const char* game_menu_status() { return menu.statusText.c_str(); }
