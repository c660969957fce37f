#pragma once
// What the module tells the game about its world once a step, beyond the
// classes the game talks to: where the wyverns are and what they do, how
// the gatherers stand, the portal, the waves. The interface draws its
// arrows and warnings from it; the balance bot decides from it.
#include <cstdint>

constexpr int GAME_VIEW_MAX_WYVERNS = 32;
constexpr int GAME_VIEW_MAX_GATHERERS = 16;

struct WyvernView {
  float pos[3];
  float vel[3];        // units a second
  bool attacking;      // breathing fire this step
  bool chasingPlayer;  // going for the player
  bool nearGatherer;   // within breath range of a standing gatherer
};
struct GathererView {
  float pos[3];
  bool standing;  // false while it is a ruin
  bool burning;
};

struct GameView {
  int32_t wyverns = 0;
  WyvernView wyvern[GAME_VIEW_MAX_WYVERNS] = {};
  int32_t gatherers = 0;
  GathererView gatherer[GAME_VIEW_MAX_GATHERERS] = {};
  bool portalOpen = false;
  float portal[3] = {0, 0, 0};
  int32_t worldNumber = 1;
  // The last wyvern breathing on the player and how long ago (seconds; a
  // large value when none did lately).
  float attackerPos[3] = {0, 0, 0};
  float sinceAttacked = 1e9f;
  bool playerProtected = false;
  // Seconds until the next wave comes; negative when none will (the waves
  // are off, or the world is won).
  float nextWaveIn = -1;
  bool waveAnnounced = false;  // the next wave has been announced
};
extern GameView game_view;
