// Sound in the game: the listener rides the camera, the ambience hears the
// world around it, and every simulation step ends with the step's mix (which
// -audio-out writes to a file, so the same run gives the same file).
#include "app/sound_glue.h"

#include <algorithm>
#include <cmath>

#include "app/settings.h"
#include "audio/ambience.h"
#include "audio/sound.h"
#include "objects/game_objects.h"
#include "objects/shell_exports.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/vk_codes.h"
#include "world/heightmap.h"

namespace {
// Open water: cells deeper than this count as sea or lake, not puddles.
constexpr float OPEN_WATER_DEPTH = 0.5f;
// The surf listens to a square of this half-size around the listener,
// sampled every SURF_SAMPLE_STEP cells.
constexpr int SURF_RADIUS = 32;
constexpr int SURF_SAMPLE_STEP = 8;

vec4f last_listener{0, 0, 0, 1};
bool have_listener = false;

float wrapped_delta(float d) { return std::remainder(d, float(HMAP_SIZE)); }

float surface_height(float x, float z) {
  using namespace HeightmapData;
  int cx = int(std::floor(x)), cz = int(std::floor(z));
  const Water& w = water[cz & HMAP_MASK][cx & HMAP_MASK];
  return hmap[cellIndex(cx, cz)] + w.depth;
}

float open_water_near(float x, float z) {
  using namespace HeightmapData;
  int wet = 0, all = 0;
  for (int dz = -SURF_RADIUS; dz <= SURF_RADIUS; dz += SURF_SAMPLE_STEP)
    for (int dx = -SURF_RADIUS; dx <= SURF_RADIUS; dx += SURF_SAMPLE_STEP) {
      int cx = int(std::floor(x)) + dx, cz = int(std::floor(z)) + dz;
      wet += water[cz & HMAP_MASK][cx & HMAP_MASK].depth > OPEN_WATER_DEPTH;
      all++;
    }
  return float(wet) / float(all);
}

void change_volume(int& volume, int delta, const char* what) {
  volume = std::clamp(volume + delta, 0, 100);
  visual_log("%s volume %d", what, volume);
}

}  // namespace

void store_sound_volumes(const SoundVolumes& v) {
  set_sound_volumes(v);
  if (!save_sound_settings(v)) debug("sound: can't save the volumes to the settings file");
}

void sound_init() {
  set_sound_volumes(load_sound_settings());
  AudioOutput out;
  if (!automation.audio_out.empty()) {
    out.loopback = true;
    out.capture_file = automation.audio_out;
  }
  audio_start(out);
  set_sound_world_wrap(float(HMAP_SIZE));
  have_listener = false;
}

void sound_close() {
  stop_ambience();
  audio_stop();
}

void sound_begin_step(float dt) {
  const Matrix44& cam = cur_view_itm;
  vec4f pos = cam.row[3];
  vec4f vel(0, 0, 0, 0);
  if (have_listener && dt > 0)
    vel = vec4f(wrapped_delta(pos.x - last_listener.x) / dt, (pos.y - last_listener.y) / dt,
                wrapped_delta(pos.z - last_listener.z) / dt, 0);
  last_listener = pos;
  have_listener = true;
  set_sound_listener(pos, vel, cam.row[2], cam.row[1]);
}

void sound_end_step(float dt, bool world_ran) {
  const vec4f& p = cur_view_itm.row[3];
  AmbienceInput in;
  in.heightAboveGround = p.y - surface_height(p.x, p.z);
  in.openWater = open_water_near(p.x, p.z);
  in.threat = WyvernMonster_list.size() > 0 ? 1.f : 0.f;
  update_ambience(in, dt);
  audio_end_step(dt, world_ran);
}

void sound_reload_check() { audio_reload_check(); }

void sound_handle_keys() {
  bool f7 = keyDown(VK_F7), f8 = keyDown(VK_F8);
  SoundVolumes v = sound_volumes();
  if (f7 || f8) {
    int delta = f8 ? SOUND_VOLUME_STEP : -SOUND_VOLUME_STEP;
    if (keyDownModifiers(f8 ? VK_F8 : VK_F7) & IF_SHIFT)
      change_volume(v.music, delta, "Music");
    else
      change_volume(v.master, delta, "Sound");
    store_sound_volumes(v);
  }
  if (keyDown(VK_F10)) {
    v.enabled = !v.enabled;
    visual_log("Sound %s", v.enabled ? "on" : "off");
    store_sound_volumes(v);
  }
}
