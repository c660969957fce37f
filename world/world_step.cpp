#include "world/world_step.h"

#include <utility>

#include "world/heightmap.h"

namespace HeightmapData {

WorldHooks world_hooks;

void setErodeKeyParams(ErosionParams& p) {
  p.Kq = 0.1f;
  p.Kw = 0.001f;
  p.Kr = 0.9f;
  p.Kd = 0.9f;
  p.Ki = 0.1f;
  p.minSlope = 0.05f;
  p.g = 20.0f;
  p.depositBlend = 2.0f;
  p.reactionTime = 100.0f;
  p.reactions.clear();
}

void report_progress(const char* message, float fraction) {
  if (world_hooks.progress) world_hooks.progress(message, fraction);
}

void stepWorld(float dt) {
  advectFoam(dt);
  if (world_hooks.landStep) world_hooks.landStep(dt);
  updateHmap(dt);
  simWater(dt);
}

void addWaterKey() { addWater(1.0f); }

void erodeKey() {
  ErosionParams p;
  setErodeKeyParams(p);
  genDropletErosion(ERODE_KEY_DROPLETS, p);
  for (int i = 0; i < HMAP_CELLS; i++) std::swap(hmap[i], target_hmap[i]);
  if (world_hooks.heightsChanged) world_hooks.heightsChanged();
  if (world_hooks.restartClock) world_hooks.restartClock();
}

}  // namespace HeightmapData
