// The bot's plan is plain on purpose, a beginner's rules rather than a tuned
// strategy: keep Castle in the first hand and Fireball in the second; turn
// toward the nearest wyvern that threatens a gatherer, the castle or the bot
// itself and fireball it; put out a burning gatherer with a waterball (taken
// into the first hand for the shot, Castle back after); cast Castle whenever
// the mana pays for the next level; cast Use portal at the portal once it
// opens. It turns no faster than a hand on a mouse would, picks spells with
// Ctrl and a click on the panel, and never moves from where it starts.
//
// Its picks are made as a record stores them (the place and the hand), not
// by where its click lands: the pointer still goes to the cell and clicks, as
// a person's would, but a run without a window (where the panel has no size)
// picks the same, and its record replays the same at any size.
#include "app/bot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/camera.h"
#include "app/input_log.h"
#include "app/spell_ui.h"
#include "objects/game_objects.h"
#include "objects/game_view.h"
#include "objects/spell_grid.h"
#include "platform/globals.h"
#include "platform/vk_codes.h"

namespace {
constexpr float TURN_PER_STEP = 0.3f;      // radians a step: a quick but human flick of the mouse
constexpr float AIM_TOLERANCE = 0.03f;     // radians off its mark at which it lets fly
constexpr float MISSILE_SPEED = 40.f;      // what it has learned of its missiles' speed
constexpr float SHOT_RANGE = 60.f;         // it does not shoot at what is farther
constexpr float THREAT_TO_CASTLE = 34.f;   // a wyvern this close to the castle is a threat
constexpr float THREAT_TO_SELF = 22.f;     // or this close to the bot
constexpr int FIREBALL_COST = 5, WATERBALL_COST = 8;
constexpr int CASTLE_RECAST_STEPS = 40;    // waits this long for a castle missile to arrive
constexpr float REST_PITCH = -0.5f;        // looking down toward the castle while nothing happens

enum class PickStage { NONE, HOLD_CTRL, MOVE, PRESS, RELEASE, LET_GO };

struct BotState {
  PickStage stage = PickStage::NONE;
  int pickPlace = -1;
  bool pickSecond = false;
  float pickX = 0, pickY = 0;
  int buttonHeld = 0;  // VK of the cast button pressed last step, released this one
  int castleWait = 0;
  float mouseX = 0, mouseY = 0;
  std::vector<SpellPick> picks;  // the pick of this step, if it makes one
} bot;

int place_of(const char* name) {
  for (int r = 0; r < SPELL_GRID_NY; r++)
    for (int c = 0; c < SPELL_GRID_NX; c++)
      if (spell_grid[r][c] && std::strcmp(spell_grid[r][c]->spellName(), name) == 0) return r * SPELL_GRID_NX + c;
  return -1;
}
Spell* spell_at(int place) { return place < 0 ? nullptr : spell_grid[place / SPELL_GRID_NX][place % SPELL_GRID_NX]; }
bool holds(int hand, const char* name) {
  Spell* s = local_player ? local_player->hands[hand] : nullptr;
  return s && std::strcmp(s->spellName(), name) == 0;
}

vec4f near_copy(const vec4f& eye, const float* p) {
  return vec4f(eye.x + std::remainder(p[0] - eye.x, 256.f), p[1], eye.z + std::remainder(p[2] - eye.z, 256.f), 1);
}

// Yaw and pitch that look from the eye at a point.
void angles_to(const vec4f& eye, const vec4f& at, float& yaw, float& pitch) {
  vec4f d = at - eye;
  float flat = length_xz(d);
  yaw = std::atan2(-d.x, d.z);
  pitch = std::atan2(d.y, flat);
}

// Turns toward the wanted angles by at most a flick; true when on the mark.
bool turn_toward(float& yaw, float& pitch, float want_yaw, float want_pitch) {
  float dy = std::remainder(want_yaw - yaw, 6.2831853f), dp = want_pitch - pitch;
  yaw += std::clamp(dy, -TURN_PER_STEP, TURN_PER_STEP);
  pitch += std::clamp(dp, -TURN_PER_STEP, TURN_PER_STEP);
  return std::fabs(dy) < AIM_TOLERANCE && std::fabs(dp) < AIM_TOLERANCE;
}

// Where a fireball from the eye meets the wyvern, leading its flight.
vec4f lead(const vec4f& eye, const WyvernView& w) {
  vec4f p = near_copy(eye, w.pos), v(w.vel[0], w.vel[1], w.vel[2], 0);
  vec4f at = p;
  for (int k = 0; k < 3; k++) at = p + v * (length_xyz(at - eye) / MISSILE_SPEED);
  return at;
}

// The wyvern it should shoot first: the nearest to itself of those that
// burn, go for a gatherer, hunt it or come near the castle.
const WyvernView* worst_threat(const vec4f& eye, const vec4f& castle) {
  const WyvernView* best = nullptr;
  float best_d = SHOT_RANGE;
  for (int i = 0; i < game_view.wyverns; i++) {
    const WyvernView& w = game_view.wyvern[i];
    vec4f p = near_copy(eye, w.pos);
    float d = length_xyz(p - eye);
    bool threat = w.attacking || w.nearGatherer || w.chasingPlayer || d < THREAT_TO_SELF ||
                  length_xz(near_copy(castle, w.pos) - castle) < THREAT_TO_CASTLE;
    if (threat && d < best_d) best = &w, best_d = d;
  }
  return best;
}

const GathererView* burning_gatherer() {
  for (int i = 0; i < game_view.gatherers; i++)
    if (game_view.gatherer[i].standing && game_view.gatherer[i].burning) return &game_view.gatherer[i];
  return nullptr;
}

void start_pick(int place, bool second) {
  if (place < 0) return;
  // Without a laid-out panel the pointer just stays where it is.
  float x, y;
  if (!spell_ui_place_centre(place, x, y)) x = bot.mouseX, y = bot.mouseY;
  bot.stage = PickStage::HOLD_CTRL;
  bot.pickPlace = place, bot.pickSecond = second;
  bot.pickX = x, bot.pickY = y;
}

InputEvent event(int type, int key, int flags) {
  InputEvent ev{};
  ev.type = type, ev.key = key, ev.flags = flags;
  ev.x = bot.mouseX, ev.y = bot.mouseY;
  return ev;
}

// One stage of a pick a step: Ctrl down, the pointer to the cell, the button
// down and up on it, Ctrl up.
void continue_pick(StepInput& in) {
  int button = bot.pickSecond ? VK_RBUTTON : VK_LBUTTON;
  int button_flag = bot.pickSecond ? IF_RBUTTON : IF_LBUTTON;
  switch (bot.stage) {
    case PickStage::HOLD_CTRL:
      in.held.push_back(VK_CONTROL);
      in.events.push_back(event(EV_KEY_DOWN, VK_CONTROL, IF_CTRL));
      bot.stage = PickStage::MOVE;
      break;
    case PickStage::MOVE:
      in.held.push_back(VK_CONTROL);
      bot.mouseX = bot.pickX, bot.mouseY = bot.pickY;
      in.events.push_back(event(EV_MOUSE_MOVE, 0, IF_CTRL));
      bot.stage = PickStage::PRESS;
      break;
    case PickStage::PRESS:
      in.held.push_back(VK_CONTROL);
      in.held.push_back(button);
      in.events.push_back(event(EV_BUTTON_DOWN, button, IF_CTRL | button_flag));
      bot.picks.push_back({bot.pickPlace, bot.pickSecond ? 1 : 0});
      bot.stage = PickStage::RELEASE;
      break;
    case PickStage::RELEASE:
      in.held.push_back(VK_CONTROL);
      in.events.push_back(event(EV_BUTTON_UP, button, IF_CTRL));
      bot.stage = PickStage::LET_GO;
      break;
    case PickStage::LET_GO:
      in.events.push_back(event(EV_KEY_UP, VK_CONTROL, 0));
      bot.stage = PickStage::NONE;
      break;
    case PickStage::NONE:
      break;
  }
}

void press(StepInput& in, int button) {
  in.held.push_back(button);
  in.events.push_back(event(EV_BUTTON_DOWN, button, button == VK_LBUTTON ? IF_LBUTTON : IF_RBUTTON));
  bot.buttonHeld = button;
}

// What the bot does with its hands and eyes this step, when it is not
// busy picking a spell.
void decide(StepInput& in, float& yaw, float& pitch) {
  Player* p = local_player;
  CastleObject* castle = CastleObject_list.count ? CastleObject_list[0] : nullptr;
  if (!p || p->parked || p->health <= 0 || !castle) return;
  vec4f eye = cur_view_itm.row[3];
  eye.w = 1;
  int castle_place = place_of("Castle"), fire_place = place_of("Fireball"), water_place = place_of("Waterball");
  bool portal_in_hand = holds(0, "Use portal");
  const GathererView* burning = burning_gatherer();
  bool douse = burning && p->mana >= WATERBALL_COST && !portal_in_hand;
  // The hands it wants for what comes next.
  if (!portal_in_hand && douse && !holds(0, "Waterball")) return start_pick(water_place, false);
  if (!portal_in_hand && !douse && !holds(0, "Castle")) return start_pick(castle_place, false);
  if (!holds(1, "Fireball")) return start_pick(fire_place, true);

  float want_yaw = yaw, want_pitch = pitch;
  int fire = 0;
  if (portal_in_hand && game_view.portalOpen) {
    angles_to(eye, near_copy(eye, game_view.portal), want_yaw, want_pitch);
    fire = VK_LBUTTON;
  } else if (douse) {
    angles_to(eye, near_copy(eye, burning->pos), want_yaw, want_pitch);
    fire = VK_LBUTTON;
  } else if (const WyvernView* w = p->mana >= FIREBALL_COST ? worst_threat(eye, castle->pos) : nullptr) {
    angles_to(eye, lead(eye, *w), want_yaw, want_pitch);
    fire = VK_RBUTTON;
  } else {
    angles_to(eye, near_copy(eye, &castle->pos.x), want_yaw, want_pitch);
    want_pitch = std::fmin(want_pitch, REST_PITCH);
    // The castle missile flies to the castle wherever it is aimed.
    if (holds(0, "Castle") && spell_at(castle_place) && p->mana >= spell_at(castle_place)->manaCost() &&
        bot.castleWait == 0) {
      press(in, VK_LBUTTON);
      bot.castleWait = CASTLE_RECAST_STEPS;
    }
  }
  bool on_mark = turn_toward(yaw, pitch, want_yaw, want_pitch);
  int hand = fire == VK_LBUTTON ? 0 : 1;
  if (fire && on_mark && p->handCooldown[hand] <= 0) press(in, fire);
}
}  // namespace

void bot_play_step() {
  StepInput in;
  bot.picks.clear();
  set_replayed_spell_picks(&bot.picks);
  float yaw = camera.yaw, pitch = camera.pitch;
  bot.castleWait = std::max(0, bot.castleWait - 1);
  if (bot.buttonHeld) {
    // Last step's click ends.
    in.events.push_back(event(EV_BUTTON_UP, bot.buttonHeld, 0));
    bot.buttonHeld = 0;
  } else if (bot.stage != PickStage::NONE) {
    continue_pick(in);
  } else if (!dev_mode) {
    decide(in, yaw, pitch);
    if (bot.stage != PickStage::NONE) continue_pick(in);
  }
  in.yaw = yaw, in.pitch = std::clamp(pitch, -1.5f, 1.5f), in.roll = camera.roll;
  in.mouse_x = bot.mouseX, in.mouse_y = bot.mouseY;
  in.active = true;
  apply_step_input(in);
  camera.yaw = in.yaw, camera.pitch = in.pitch;
  app_active = true;
}
