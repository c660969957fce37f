// The spell UI over a stand-in player: the bars' arithmetic, the Ctrl panel,
// putting spells into hands with either button, and developer mode.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/spell_ui.h"
#include "gui/behaviours.h"
#include "objects/game_objects.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/input.h"
#include "platform/vk_codes.h"
#include "tests/gui/fake_gui_renderer.h"

// The player and spell operations the UI calls, as the module would give them.
namespace {
CastleObject* player_castle = nullptr;
}
const char* Player::getName() { return "Player"; }
void Player::update(float) {}
void Player::onWorldGenerate() {}
vec4f Player::boundRect() { return vec4f(0, 0, 0, 0); }
void Player::move(float, float, const vec4f&, const Matrix44&, int) {}
Spell* Player::handSpell(int hand) { return hands[hand]; }
int Player::manaAmount() { return mana; }
float Player::stateFraction(int bar) { return bar == 0 ? health : cooldown; }
CastleObject* Player::castle() { return player_castle; }
void Player::selectSpell(bool second, Spell* spell) { hands[second ? 1 : 0] = spell; }
vec4f Player::eye() { return pos; }
void Player::placeAtCamera(const vec4f&) {}
bool Player::castHand(int) { return false; }
const char* Spell::getName() { return "Spell"; }
const char* Spell::spellName() { return ""; }
int Spell::manaCost() { return 0; }
const char* CastleObject::getName() { return "CastleObject"; }
vec4f CastleObject::boundRect() { return vec4f(0, 0, 0, 0); }
int CastleObject::castleLevel() { return level; }
float CastleObject::castleProgress() { return 0.25f; }
float CastleObject::castleHealth() { return 120.f; }
float CastleObject::castleHealthMax() { return 150.f; }

namespace {
struct NamedSpell : Spell {
  const char* name;
  int cost;
  NamedSpell(const char* n, int c) : name(n), cost(c) {}
  const char* spellName() override { return name; }
  int manaCost() override { return cost; }
};

bool ctrl_held = false;
void keys(KeyboardState& ks) {
  std::memset(&ks, 0, sizeof(ks));
  ks.held[VK_CONTROL] = ctrl_held;
}

struct SpellUiTest : ::testing::Test {
  FakeGuiRenderer r;
  NamedSpell hill{"Hill", 10}, fireball{"Fireball", 5}, meteor{"Meteor", 40};
  Player player;
  GuiScreen* screen = nullptr;

  void SetUp() override {
    set_keyboard_state_reader(keys);
    ctrl_held = false;
    dev_mode = false;
    d3d_wd = r.w, d3d_ht = r.h;
    clear_input_step();
    register_standard_gui_behaviours();
    // Places 0, 1 and 5 hold spells; the rest are empty.
    spell_grid[0][0] = &fireball;
    spell_grid[0][1] = &meteor;
    spell_grid[1][0] = &hill;
    player.hands[0] = &hill;
    player.hands[1] = &fireball;
    local_player = &player;
    create_spell_ui(&r);
    screen = spell_ui_screen();
    ASSERT_NE(screen, nullptr);
  }
  void TearDown() override {
    destroy_spell_ui();
    unregister_standard_gui_behaviours();
    for (auto& row : spell_grid)
      for (Spell*& s : row) s = nullptr;
    local_player = nullptr;
    player_castle = nullptr;
    set_keyboard_state_reader(nullptr);
    clear_input_step();
  }
  GuiElement* el(const char* name, int nth = 0) {
    // The nth element of that name in tree order.
    GuiElement* found[8] = {};
    int n = 0;
    collect(screen->root, name, found, n);
    return nth < n ? found[nth] : nullptr;
  }
  static void collect(GuiElement* e, const char* name, GuiElement** out, int& n) {
    if (std::strcmp(e->name, name) == 0 && n < 8) out[n++] = e;
    for (int i = 0; i < e->children.count; i++) collect(e->children[i], name, out, n);
  }
  // Width of an element as a share of its parent's content, in percent.
  static float pct(GuiElement* e) {
    float pw = e->parent->contentRect.width();
    return e->marginRect.width() * 100.f / pw;
  }
  GuiElement* place_button(int place) { return screen->root->findById(uint32_t(SPELL_UI_FIRST_COMMAND + place)); }
  void click(int place, int vk) {
    GuiElement* b = place_button(place);
    float x = (b->paddingRect.left + b->paddingRect.right) / 2, y = (b->paddingRect.top + b->paddingRect.bottom) / 2;
    int held = vk == VK_RBUTTON ? IF_RBUTTON : IF_LBUTTON;
    push_input_event(EV_MOUSE_MOVE, 0, 0, 0, x, y);
    push_input_event(EV_BUTTON_DOWN, vk, 0, held, x, y);
    push_input_event(EV_BUTTON_UP, vk, 0, 0, x, y);
    spell_ui_input();
  }
};
}  // namespace

TEST_F(SpellUiTest, UsesAndManaBarsShowWholeCastsInFifteenthsAndTheRest) {
  player.mana = 37;
  update_spell_ui(0.05f);
  GuiElement *uses = el(".usesbar"), *manabar = el(".manabar");
  EXPECT_STREQ(uses->parent->parent->text, "Hill");
  EXPECT_NEAR(pct(uses), 20, 0.01f);  // 3 of 15 casts
  EXPECT_NEAR(pct(manabar), 70, 0.01f);
  EXPECT_STREQ(el(".usesbar", 1)->parent->parent->text, "Fireball");
  EXPECT_NEAR(pct(el(".usesbar", 1)), 7 * 100.f / 15, 0.01f);
  EXPECT_NEAR(pct(el(".manabar", 1)), 40, 0.01f);

  player.mana = 150;  // exactly 15 casts, and beyond
  update_spell_ui(0.05f);
  EXPECT_NEAR(pct(uses), 100, 0.01f);
  EXPECT_NEAR(pct(manabar), 0, 0.01f);
  player.mana = 999;
  update_spell_ui(0.05f);
  EXPECT_NEAR(pct(el(".usesbar", 1)), 100, 0.01f);

  player.hands[1] = nullptr;  // an empty hand: no name, empty bars
  update_spell_ui(0.05f);
  EXPECT_STREQ(el(".usesbar", 1)->parent->parent->text, "");
  EXPECT_NEAR(pct(el(".usesbar", 1)), 0, 0.01f);
  EXPECT_NEAR(pct(el(".manabar", 1)), 0, 0.01f);
}

TEST_F(SpellUiTest, StateBarsAndTheCastleLineFollowThePlayer) {
  player.health = 0.5f;
  player.cooldown = 2.f;  // clamped
  update_spell_ui(0.05f);
  GuiElement* strip_bars = screen->root->children[2];
  GuiElement* health_fill = strip_bars->children[1]->children[0];
  GuiElement* cooldown_fill = strip_bars->children[2]->children[0];
  EXPECT_NEAR(pct(health_fill), 50, 0.01f);
  EXPECT_NEAR(pct(cooldown_fill), 100, 0.01f);
  GuiElement* castle_text = screen->root->children[1]->children[0];
  GuiElement* castle_track = screen->root->children[0]->children[1];
  EXPECT_STREQ(castle_text->text, "");
  EXPECT_TRUE(castle_track->isHidden());

  CastleObject castle;
  castle.level = 2;
  player_castle = &castle;
  update_spell_ui(0.05f);
  EXPECT_STREQ(castle_text->text, "Castle level 2");
  EXPECT_FALSE(castle_track->isHidden());
  EXPECT_NEAR(pct(castle_track->children[0]), 25, 0.01f);

  local_player = nullptr;
  update_spell_ui(0.05f);
  EXPECT_NEAR(pct(health_fill), 0, 0.01f);
  EXPECT_STREQ(el(".usesbar")->parent->parent->text, "");
}

TEST_F(SpellUiTest, CtrlShowsThePanelAndClicksPutSpellsIntoHands) {
  GuiElement* panel = place_button(0)->parent;
  EXPECT_STREQ(place_button(1)->findByName(".normal")->text, "Meteor");
  EXPECT_STREQ(place_button(5)->findByName(".pressed")->text, "Hill");
  EXPECT_STREQ(place_button(2)->findByName(".over")->text, "");
  EXPECT_FALSE(spell_ui_input());
  EXPECT_TRUE(panel->isHidden());
  EXPECT_FALSE(spells_ui_active);
  EXPECT_TRUE(hide_cursor);

  ctrl_held = true;
  EXPECT_TRUE(spell_ui_input());
  EXPECT_FALSE(panel->isHidden());
  EXPECT_TRUE(spells_ui_active);
  EXPECT_FALSE(hide_cursor) << "the pointer shows while it picks spells";
  EXPECT_TRUE(screen->root->children[0]->isHidden()) << "the panel covers the strip";
  click(1, VK_LBUTTON);
  EXPECT_EQ(player.hands[0], &meteor);
  EXPECT_EQ(player.hands[1], &fireball);
  click(5, VK_RBUTTON);
  EXPECT_EQ(player.hands[1], &hill);
  EXPECT_EQ(player.hands[0], &meteor);
  // An empty place changes nothing, with either button.
  click(2, VK_LBUTTON);
  click(2, VK_RBUTTON);
  EXPECT_EQ(player.hands[0], &meteor);
  EXPECT_EQ(player.hands[1], &hill);
}

TEST_F(SpellUiTest, ReleasingCtrlHidesThePanelResetsAPressAndSendsNothing) {
  ctrl_held = true;
  spell_ui_input();
  GuiElement* b = place_button(1);
  float x = (b->paddingRect.left + b->paddingRect.right) / 2, y = (b->paddingRect.top + b->paddingRect.bottom) / 2;
  push_input_event(EV_MOUSE_MOVE, 0, 0, 0, x, y);
  push_input_event(EV_BUTTON_DOWN, VK_LBUTTON, 0, IF_LBUTTON, x, y);
  spell_ui_input();
  EXPECT_FALSE(b->findByName(".pressed")->isHidden());

  ctrl_held = false;
  spell_ui_input();
  EXPECT_TRUE(b->parent->isHidden());
  EXPECT_FALSE(screen->root->children[4]->isHidden());
  EXPECT_FALSE(b->findByName(".normal")->isHidden());
  EXPECT_TRUE(b->findByName(".pressed")->isHidden());
  push_input_event(EV_BUTTON_UP, VK_LBUTTON, 0, 0, x, y);
  spell_ui_input();
  EXPECT_EQ(player.hands[0], &hill) << "no command after Ctrl was let go";
}

TEST_F(SpellUiTest, InDeveloperModeNothingRuns) {
  player.mana = 37;
  dev_mode = true;
  ctrl_held = true;
  spells_ui_active = false;
  EXPECT_FALSE(spell_ui_input());
  EXPECT_FALSE(spells_ui_active);
  EXPECT_TRUE(place_button(0)->parent->isHidden());
  update_spell_ui(0.05f);
  EXPECT_NEAR(pct(el(".usesbar")), 0, 0.01f);
  int fills = r.fills;
  draw_spell_ui();
  EXPECT_EQ(r.fills, fills);
  dev_mode = false;
  draw_spell_ui();
  EXPECT_GT(r.fills, fills);
}

TEST_F(SpellUiTest, HelpListsEverySpellOfTheGridWithItsCost) {
  std::string help = spell_help_text();
  EXPECT_NE(help.find("Fireball: 5"), std::string::npos) << help;
  EXPECT_NE(help.find("Meteor: 40"), std::string::npos) << help;
  EXPECT_NE(help.find("Hill: 10"), std::string::npos) << help;
}
