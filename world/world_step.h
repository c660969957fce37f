#pragma once
// The world's part of a simulation step and of the developer world keys.
// Subsystems that come later (the land renderer, the step clock) attach
// through the hooks; an unset hook is skipped.
#include "world/erosion.h"

namespace HeightmapData {

struct WorldHooks {
  // The land renderer's own step (its animation only: nothing of the world),
  // run before the terrain moves.
  void (*landStep)(float dt) = nullptr;
  // The heights changed as a whole: the land renderer refreshes all its data.
  void (*heightsChanged)() = nullptr;
  // Restarts the step clock so a long computation is not counted as step time.
  void (*restartClock)() = nullptr;
  // Progress of a long computation (world generation, erosion): a message and
  // a fraction 0..1, or -1 for none. The game shows it on the splash.
  void (*progress)(const char* message, float fraction) = nullptr;
};
extern WorldHooks world_hooks;

// Reports progress through world_hooks.progress when one is installed.
void report_progress(const char* message, float fraction);

constexpr unsigned ERODE_KEY_DROPLETS = 92160;
// The erosion parameters of the erode key.
void setErodeKeyParams(ErosionParams& p);

// Per step, in this order: the foam's drift, the land renderer's step,
// updateHmap, simWater.
void stepWorld(float dt);
// Add-water key: one unit of water on every cell.
void addWaterKey();
// Erode key: erodes the live hmap, then exchanges hmap and target_hmap so the
// land slides from its old shape into the eroded one, tells the land renderer
// and restarts the step clock.
void erodeKey();

}  // namespace HeightmapData
