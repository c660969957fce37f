// The spell UI screen: built once from spell_grid, refreshed every step from
// the local player, drawn in the text pass in game mode.
#include "app/spell_ui.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "audio/sound.h"
#include "gui/layout.h"
#include "gui/vantor_renderer.h"
#include "objects/game_objects.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/key_bindings.h"
#include "platform/vk_codes.h"

namespace {
constexpr uint32_t BOX_BG = 0x66777777, BOX_TEXT = 0x66000000;
constexpr uint32_t TRACK_BG = 0x33000000, TICK = 0x44000000;
constexpr uint32_t HEALTH_FILL = 0x66990000, LIGHT_FILL = 0xAABBBBBB;
constexpr uint32_t OVER_BG = 0xDDDDDDAA, OVER_TEXT = 0xFF000000;  // the cell under the pointer stands out
constexpr uint32_t STRONG_TEXT = 0xDD000000;                       // the numbers a player reads at a glance
constexpr uint32_t CASTLE_HEALTH_FILL = 0xCCB02418;
constexpr uint32_t HAND_BG = 0xAAC8A040;                           // a cell whose spell is in a hand
constexpr uint32_t DIM_BG = 0x33777777, DIM_TEXT = 0x44000000;    // a spell the mana cannot pay
constexpr uint32_t PRESSED_BG = 0xAA666666, PRESSED_TEXT = 0xAAFFFFFF;
constexpr float BOX_H = 3, TRACK_H = 0.75f, TRACK_GAP = 0.5f;  // em
constexpr int PLACES = SPELL_GRID_NX * SPELL_GRID_NY;

const GuiLen ZERO = gui_em(0);
const GuiSides NO_SIDES = {ZERO, ZERO, ZERO, ZERO};

struct SpellBox {
  GuiElement* label = nullptr;
  GuiElement* manaBar = nullptr;
  GuiElement* usesBar = nullptr;
};

// A spell panel cell's three state labels.
struct PanelCell {
  GuiElement* normal = nullptr;
  GuiElement* over = nullptr;
  GuiElement* pressed = nullptr;
};

struct SpellUi {
  VantorGuiRenderer ownRenderer;
  GuiScreen* screen = nullptr;
  GuiElement* panel = nullptr;
  GuiElement* strip[5] = {};  // the top boxes, which the panel covers while it shows
  GuiElement* stateFill[2] = {nullptr, nullptr};
  GuiElement* manaText = nullptr;
  GuiElement* castleText = nullptr;
  GuiElement* castleTrack = nullptr;
  GuiElement* castleFill = nullptr;
  GuiElement* castleHealthTrack = nullptr;
  GuiElement* castleHealthFill = nullptr;
  PanelCell cell[PLACES];
  SpellBox hand[2];
  Spell* placeSpell[PLACES] = {};  // as spell_grid was when the screen was built
  std::string help;
  void (*pickObserver)(const SpellPick&) = nullptr;
  const std::vector<SpellPick>* replayedPicks = nullptr;
} ui;

// Appends a new element after its parent's last child, so that children draw
// in the order they are made (createElement's -1 puts it before the last).
GuiElement* make_child(GuiLen width, GuiLen height, GuiSides margin, GuiSides padding, GuiElement* parent) {
  GuiElement* el = createElement(width, height, margin, padding, nullptr);
  if (parent) parent->insertChild(el, parent->children.count);
  return el;
}

GuiElement* box_at(GuiElement* parent, GuiLen width, GuiLen height, GuiLen left, GuiLen top, uint32_t bg) {
  GuiSides margin = {top, left, ZERO, ZERO};
  GuiElement* el = make_child(width, height, margin, NO_SIDES, parent);
  el->background = bg;
  return el;
}

// A box's label: fills it, its text centred at the top, a little past its
// right and bottom edges so neighbouring boxes meet without a seam.
GuiElement* label_in(GuiElement* parent, uint32_t bg, uint32_t text_color) {
  GuiSides pad = {ZERO, ZERO, gui_em(-0.125f), gui_em(-0.125f)};
  GuiElement* l = make_child(gui_pct_w(100), gui_pct_h(100), NO_SIDES, pad, parent);
  l->background = bg;
  l->textColor = text_color;
  l->hAlign = 0;
  l->vAlign = -1;
  return l;
}

// A dark track across 90 % of the parent, `top` em down, with a fill.
GuiElement* track_in(GuiElement* parent, float top, GuiElement** fill, uint32_t fill_color) {
  GuiElement* t = box_at(parent, gui_pct_w(90), gui_em(TRACK_H), gui_pct_w(5), gui_em(top), TRACK_BG);
  if (fill) *fill = box_at(t, gui_pct_w(0), gui_pct_h(100), ZERO, ZERO, fill_color);
  return t;
}

GuiElement* strip_box(GuiElement* root, int column) {
  return ui.strip[column] = box_at(root, gui_pct_w(20), gui_em(BOX_H), gui_pct_w(20.f * float(column)), ZERO, 0);
}

void build_spell_box(GuiElement* root, int column, SpellBox& box) {
  GuiElement* b = strip_box(root, column);
  box.label = label_in(b, BOX_BG, BOX_TEXT);
  GuiElement* t = track_in(box.label, BOX_H - TRACK_GAP - TRACK_H, nullptr, 0);
  box.manaBar = box_at(t, gui_pct_w(0), gui_pct_h(45), ZERO, gui_pct_h(5), LIGHT_FILL);
  box.manaBar->setName(".manabar");
  box.usesBar = box_at(t, gui_pct_w(0), gui_pct_h(45), ZERO, gui_pct_h(50), LIGHT_FILL);
  box.usesBar->setName(".usesbar");
  for (int k = 1; k < SPELL_UI_USES_SCALE; k++)
    box_at(t, gui_px(1), gui_pct_h(45), gui_pct_w(100.f * float(k) / SPELL_UI_USES_SCALE), gui_pct_h(50), TICK);
}

void build_strip(GuiElement* root) {
  GuiElement* progress = strip_box(root, 0);
  ui.manaText = label_in(progress, BOX_BG, STRONG_TEXT);
  ui.castleTrack = track_in(progress, BOX_H - TRACK_GAP - TRACK_H, &ui.castleFill, LIGHT_FILL);
  GuiElement* text = strip_box(root, 1);
  ui.castleText = label_in(text, BOX_BG, STRONG_TEXT);
  ui.castleHealthTrack = track_in(text, BOX_H - TRACK_GAP - TRACK_H, &ui.castleHealthFill, CASTLE_HEALTH_FILL);
  GuiElement* bars = strip_box(root, 2);
  label_in(bars, BOX_BG, BOX_TEXT);
  track_in(bars, TRACK_GAP, &ui.stateFill[0], HEALTH_FILL);
  track_in(bars, BOX_H - TRACK_GAP - TRACK_H, &ui.stateFill[1], LIGHT_FILL);
  build_spell_box(root, 3, ui.hand[0]);
  build_spell_box(root, 4, ui.hand[1]);
}

GuiElement* button_state(GuiElement* button, const char* name, uint32_t bg, uint32_t text_color, const char* text) {
  GuiElement* s = label_in(button, bg, text_color);
  s->setName(name);
  s->setText(text);
  return s;
}

void build_panel(GuiElement* root) {
  ui.panel = make_child(gui_pct_w(100), gui_auto(), NO_SIDES, NO_SIDES, root);
  ui.panel->setHidden(true);
  for (int place = 0; place < PLACES; place++) {
    int row = place / spell_grid_nx, col = place % spell_grid_nx;
    Spell* spell = spell_grid[row][col];
    ui.placeSpell[place] = spell;
    const char* name = spell ? spell->spellName() : "";
    GuiElement* b = box_at(ui.panel, gui_pct_w(20), gui_em(BOX_H), gui_pct_w(20.f * float(col)),
                           gui_em(BOX_H * float(row)), 0);
    b->id = uint32_t(SPELL_UI_FIRST_COMMAND + place);
    ui.cell[place].normal = button_state(b, ".normal", BOX_BG, BOX_TEXT, name);
    ui.cell[place].over = button_state(b, ".over", OVER_BG, OVER_TEXT, name);
    ui.cell[place].pressed = button_state(b, ".pressed", PRESSED_BG, PRESSED_TEXT, name);
    b->applyBehaviour("solidBox");
    b->applyBehaviour("button");
  }
}

constexpr float UI_CLICK_GAIN = 0.6f;
constexpr float UI_HOVER_GAIN = 0.35f;

// The spell button under the pointer (the element hovered or one of its
// ancestors), null when the pointer is over none.
GuiElement* hovered_spell_button() {
  for (GuiElement* e = ui.screen ? ui.screen->hovered : nullptr; e; e = e->parent)
    if (e->id >= uint32_t(SPELL_UI_FIRST_COMMAND) && e->id < uint32_t(SPELL_UI_FIRST_COMMAND + PLACES)) return e;
  return nullptr;
}

// A soft tick when the pointer comes onto another spell of the open panel.
void hover_sound(bool panel_open) {
  static GuiElement* last = nullptr;
  GuiElement* now = panel_open ? hovered_spell_button() : nullptr;
  if (now && now != last) play_ui_sound("ui_hover", UI_HOVER_GAIN);
  last = now;
}

// A click on a spell button puts that spell into a hand: the right button's
// into the second, the left button's into the first.
class SpellUiHandler final : public GuiEventHandler {
 public:
  SpellUiHandler() : GuiEventHandler(GUI_EV_COMMAND) {}
  int handle(GuiEvent& ev, GuiElement*, int) override {
    auto& cmd = static_cast<GuiCommandEvent&>(ev);
    if (cmd.id < uint32_t(SPELL_UI_FIRST_COMMAND)) return 1;
    make_spell_pick({int(cmd.id - SPELL_UI_FIRST_COMMAND), cmd.param == VK_RBUTTON ? 1 : 0});
    return 1;
  }
  void attach(GuiElement*) override {}
  void detach(GuiElement*) override {}
} spell_ui_handler;

// Sets a fill's width in percent of its track and lays it out at once.
void set_width_pct(GuiElement* el, float pct) {
  if (!(pct > 0)) pct = 0;  // NaN too
  pct = std::min(pct, 100.f);
  if (el->width.mode == GUI_PCT_W && el->width.value == pct) return;
  el->width = gui_pct_w(pct);
  layout(el, ui.screen);
}

void set_text(GuiElement* el, const char* text) {
  if (std::string(el->text) != text) el->setText(text);
}

void refresh_spell_box(SpellBox& box, Spell* spell, int mana) {
  if (!spell) {
    set_text(box.label, "");
    set_width_pct(box.usesBar, 0);
    set_width_pct(box.manaBar, 0);
    return;
  }
  set_text(box.label, spell->spellName());
  int cost = spell->manaCost();
  // Whole casts fill the uses bar in fifteenths; the mana toward the next
  // cast fills the mana bar. A spell that costs nothing is always castable.
  float casts = cost > 0 ? float(mana) / float(cost) : float(SPELL_UI_USES_SCALE);
  float whole = std::floor(casts);
  set_width_pct(box.usesBar, whole * 100.f / SPELL_UI_USES_SCALE);
  set_width_pct(box.manaBar, (casts - whole) * 100.f);
}

// A panel cell names its spell and its cost, marks the hand that holds it
// (L, R) and dims when the mana cannot pay for it.
void refresh_panel_cell(int place, const Player* p) {
  Spell* spell = ui.placeSpell[place];
  PanelCell& c = ui.cell[place];
  if (!spell || !c.normal) return;
  bool left = p && p->hands[0] == spell, right = p && p->hands[1] == spell;
  char text[96];
  std::snprintf(text, sizeof(text), "%s%s%s %d", left ? "[L] " : "", right ? "[R] " : "", spell->spellName(),
                spell->manaCost());
  for (GuiElement* e : {c.normal, c.over, c.pressed}) set_text(e, text);
  bool affordable = !p || p->manaCheat || p->mana >= spell->manaCost();
  c.normal->background = left || right ? HAND_BG : affordable ? BOX_BG : DIM_BG;
  c.normal->textColor = affordable ? STRONG_TEXT : DIM_TEXT;
}

void refresh_castle(Player* p) {
  CastleObject* castle = p ? p->castle() : nullptr;
  if (!castle) {
    set_text(ui.castleText, "");
    ui.castleTrack->setHidden(true);
    ui.castleHealthTrack->setHidden(true);
    return;
  }
  char text[64];
  std::snprintf(text, sizeof(text), "Castle level %d", castle->castleLevel());
  set_text(ui.castleText, text);
  ui.castleTrack->setHidden(false);
  set_width_pct(ui.castleFill, castle->castleProgress() * 100.f);
  ui.castleHealthTrack->setHidden(false);
  float most = castle->castleHealthMax();
  set_width_pct(ui.castleHealthFill, most > 0 ? castle->castleHealth() / most * 100.f : 0.f);
}

// The step's pointer events, or, in a replay that stores picks, the recorded
// picks (the events are then dropped: their pixels belong to another window).
void take_pointer_input() {
  if (!ui.replayedPicks) {
    ui.screen->processInput();
    return;
  }
  while (getEvent(nullptr)) {
  }
}

void build_help() {
  ui.help = "Spells (mana per cast):\n";
  for (int place = 0; place < PLACES; place++)
    if (Spell* s = ui.placeSpell[place]) {
      char line[80];
      std::snprintf(line, sizeof(line), "  %s: %d\n", s->spellName(), s->manaCost());
      ui.help += line;
    }
}
}  // namespace

void create_spell_ui(IGuiRenderer* renderer) {
  if (ui.screen) return;
  GuiElement* root = createElement(gui_pct_w(100), gui_pct_h(100), NO_SIDES, NO_SIDES, nullptr);
  root->setName("root");
  build_strip(root);
  build_panel(root);
  root->addHandler(&spell_ui_handler, -1);
  ui.screen = new GuiScreen(renderer ? renderer : &ui.ownRenderer, root, SPELL_UI_DESIGN_W, SPELL_UI_DESIGN_H);
  build_help();
}

namespace {
// Ctrl shows the panel over the strip (both are half transparent: the
// strip's labels would show through the panel's and mix with them).
bool sync_panel_with_ctrl() {
  bool ctrl = action_held(KEY_SPELL_PANEL);
  spells_ui_active = ctrl;
  if (ui.panel->isHidden() == ctrl) {
    ui.panel->setHidden(!ctrl);
    for (GuiElement* box : ui.strip) box->setHidden(ctrl);
  }
  return ctrl;
}
}  // namespace

bool spell_ui_input() {
  if (!ui.screen || dev_mode) return false;
  bool ctrl = sync_panel_with_ctrl();
  take_pointer_input();
  if (ui.replayedPicks)
    for (const SpellPick& p : *ui.replayedPicks) make_spell_pick(p);
  hover_sound(ctrl);
  hide_cursor = !ctrl;  // the pointer shows only while it picks spells
  return ctrl;
}

bool spell_ui_wants_pointer() { return ui.screen && !dev_mode && getKeyState(VK_CONTROL); }

void set_spell_pick_observer(void (*observer)(const SpellPick&)) { ui.pickObserver = observer; }
void set_replayed_spell_picks(const std::vector<SpellPick>* picks) { ui.replayedPicks = picks; }

void make_spell_pick(const SpellPick& pick) {
  Spell* spell = pick.place >= 0 && pick.place < PLACES ? ui.placeSpell[pick.place] : nullptr;
  if (!spell || !local_player) return;
  local_player->selectSpell(pick.hand == 1, spell);
  play_ui_sound("ui_click", UI_CLICK_GAIN);
  if (ui.pickObserver) ui.pickObserver(pick);
}

void update_spell_ui(float) {
  if (!ui.screen || dev_mode) return;
  Player* p = local_player;
  int mana = p ? p->manaAmount() : 0;
  for (int h = 0; h < 2; h++) refresh_spell_box(ui.hand[h], p ? p->handSpell(h) : nullptr, mana);
  for (int b = 0; b < 2; b++) set_width_pct(ui.stateFill[b], p ? p->stateFraction(b) * 100.f : 0.f);
  refresh_castle(p);
  char mana_text[32];
  if (p && p->manaCheat)
    std::snprintf(mana_text, sizeof(mana_text), "Mana %d (cheat)", mana);
  else
    std::snprintf(mana_text, sizeof(mana_text), "Mana %d", mana);
  set_text(ui.manaText, mana_text);
  for (int place = 0; place < PLACES; place++) refresh_panel_cell(place, p);
  // The step's own Ctrl decides what its clicks land on, however many
  // frames were drawn since the last step.
  sync_panel_with_ctrl();
  take_pointer_input();
}

void draw_spell_ui() {
  if (ui.screen && !dev_mode) ui.screen->draw();
}

void relayout_spell_ui() {
  if (ui.screen) ui.screen->relayout();
}

void destroy_spell_ui() {
  if (!ui.screen) return;
  delete ui.screen;
  ui.screen = nullptr;
  ui.panel = ui.castleText = ui.castleTrack = ui.castleFill = nullptr;
  ui.manaText = ui.castleHealthTrack = ui.castleHealthFill = nullptr;
  std::fill(std::begin(ui.cell), std::end(ui.cell), PanelCell{});
  ui.stateFill[0] = ui.stateFill[1] = nullptr;
  std::fill(std::begin(ui.strip), std::end(ui.strip), nullptr);
  ui.hand[0] = ui.hand[1] = SpellBox{};
  std::fill(std::begin(ui.placeSpell), std::end(ui.placeSpell), nullptr);
  spells_ui_active = false;
}

GuiScreen* spell_ui_screen() { return ui.screen; }

bool spell_ui_place_centre(int place, float& x, float& y) {
  if (!ui.screen || place < 0 || place >= PLACES || !ui.cell[place].normal) return false;
  const GuiRect& r = ui.cell[place].normal->parent->paddingRect;
  x = (r.left + r.right) * 0.5f, y = (r.top + r.bottom) * 0.5f;
  return r.right > r.left;
}
const char* spell_help_text() { return ui.help.c_str(); }
