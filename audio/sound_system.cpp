// The OpenAL device and context, the listener, the volumes and the capture
// of the mix through the loopback device.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>

#include "audio/sound.h"
#include "audio/output_limiter.h"
#include "audio/sound_bank.h"
#include "audio/voice_pool.h"
#include "audio/wav_writer.h"
#include "platform/log.h"
#include "platform/sim_step.h"

namespace {
ALCdevice* device = nullptr;
ALCcontext* context = nullptr;
bool on_loopback = false;
bool mix_each_step = true;
SoundVolumes volumes;
vec4f listener_pos{0, 0, 0, 1};
float wrap_period = 0;

// On a wrap-around world a sound is heard where it is nearest the listener.
vec4f near_listener(const vec4f& p) {
  if (wrap_period <= 0) return p;
  auto near = [](float v, float l) {
    float d = std::remainder(v - l, wrap_period);
    return std::isfinite(d) ? l + d : v;
  };
  return vec4f(near(p.x, listener_pos.x), p.y, near(p.z, listener_pos.z), 1);
}

// The loopback mix: each step renders as many frames as the step lasts,
// carrying the fraction over, so that a run of N steps gives N / 20 s.
LPALCRENDERSAMPLESSOFT render_samples = nullptr;
double frames_owed = 0;
std::vector<float> mix;
std::vector<int16_t> step_pcm;
WavWriter capture;
OutputLimiter limiter;

// The master volume scales the whole mix below full scale, so that a crowd
// of loud voices meets the device's limiter as seldom as possible.
constexpr float MASTER_HEADROOM = 0.7f;

void apply_master() {
  float g = volumes.enabled ? float(std::clamp(volumes.master, 0, 100)) / 100.f * MASTER_HEADROOM : 0.f;
  alListenerf(AL_GAIN, g);
}

ALCdevice* open_loopback() {
  auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  render_samples = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  if (!open || !render_samples) return nullptr;
  return open(nullptr);
}

bool make_context(bool loopback) {
  // Plain stereo panning (no HRTF) and the output limiter, so that many
  // loud voices together never clip.
  ALCint loop_attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                         ALC_FREQUENCY, SOUND_OUTPUT_RATE, ALC_HRTF_SOFT, ALC_FALSE,
                         ALC_OUTPUT_LIMITER_SOFT, ALC_TRUE, 0};
  ALCint device_attrs[] = {ALC_OUTPUT_LIMITER_SOFT, ALC_TRUE, 0};
  context = alcCreateContext(device, loopback ? loop_attrs : device_attrs);
  if (!context) return false;
  if (!alcMakeContextCurrent(context)) {
    alcDestroyContext(context);
    context = nullptr;
    return false;
  }
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  alDopplerFactor(1.f);
  alSpeedOfSound(343.3f);  // one world unit is about a metre
  return true;
}

void give_up(const char* why) {
  debug("sound: %s; the game runs silent", why);
  if (context) {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    context = nullptr;
  }
  if (device) alcCloseDevice(device);
  device = nullptr;
}

// Float mix to 16-bit; the limiter keeps it under full scale, the clamp
// only guards against rounding.
void to_pcm(const std::vector<float>& in, std::vector<int16_t>& out) {
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); i++) {
    float v = std::clamp(in[i], -1.f, 1.f);
    out[i] = int16_t(std::lrint(v * 32767.f));
  }
}

void render_step(float seconds) {
  frames_owed += double(seconds) * SOUND_OUTPUT_RATE;
  int frames = int(frames_owed);
  frames_owed -= frames;
  mix.assign(size_t(frames) * 2, 0.f);
  if (frames > 0) render_samples(device, mix.data(), frames);
  limiter.process(mix.data(), size_t(frames), SOUND_OUTPUT_RATE);
  to_pcm(mix, step_pcm);
  if (capture.isOpen() && !capture.write(step_pcm.data(), step_pcm.size())) {
    debug("sound: can't write the capture file; capture stopped");
    capture.close();
  }
}
}  // namespace

bool audio_start(const AudioOutput& out) {
  audio_stop();
  on_loopback = out.loopback;
  mix_each_step = out.mixEachStep;
  device = out.loopback ? open_loopback() : alcOpenDevice(nullptr);
  if (!device) {
    give_up(out.loopback ? "no loopback device" : "no audio device");
    return false;
  }
  if (!make_context(out.loopback)) {
    give_up("can't set up the audio device");
    return false;
  }
  frames_owed = 0;
  limiter = OutputLimiter();
  if (!out.capture_file.empty()) {
    if (capture.open(out.capture_file, SOUND_OUTPUT_RATE, 2))
      debug("sound: capturing the mix to '%s'", out.capture_file.c_str());
    else
      debug("sound: can't create the capture file '%s'", out.capture_file.c_str());
  }
  voice_pool::create();
  apply_master();
  debug("sound: %s", out.loopback ? "loopback device" : alcGetString(device, ALC_DEVICE_SPECIFIER));
  return true;
}

void audio_stop() {
  if (!device) return;
  voice_pool::destroy();
  sound_bank::clear();
  if (capture.isOpen() && !capture.close()) debug("sound: the capture file is incomplete (write failed)");
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(context);
  context = nullptr;
  alcCloseDevice(device);
  device = nullptr;
  step_pcm.clear();
}

bool audio_running() { return device != nullptr; }

void set_sound_world_wrap(float period) { wrap_period = period; }

void set_sound_volumes(const SoundVolumes& v) {
  volumes = v;
  if (!device) return;
  apply_master();
  voice_pool::applyGroupGains();
}

const SoundVolumes& sound_volumes() { return volumes; }

void set_sound_listener(const vec4f& pos, const vec4f& vel, const vec4f& forward, const vec4f& up) {
  listener_pos = pos;
  if (!device) return;
  ALfloat p[3], v[3], o[6];
  voice_pool::to_al(pos, p);
  voice_pool::to_al(vel, v);
  voice_pool::to_al(forward, o);
  voice_pool::to_al(up, o + 3);
  alListenerfv(AL_POSITION, p);
  alListenerfv(AL_VELOCITY, v);
  alListenerfv(AL_ORIENTATION, o);
  voice_pool::setListenerPos(pos);
}

bool play_sound_prio(const char* name, const vec4f& pos, float gain, float pitch, SoundPriority prio) {
  if (!device) return false;
  return voice_pool::start(sound_bank::buffer(name), near_listener(pos), false, gain, pitch, prio, nullptr, nullptr);
}

bool play_sound(const char* name, const vec4f& pos, float gain, float pitch) {
  return play_sound_prio(name, pos, gain, pitch, SOUND_PRIO_EFFECT);
}

bool play_ui_sound(const char* name, float gain) {
  if (!device) return false;
  return voice_pool::start(sound_bank::buffer(name), listener_pos, true, gain, 1.f, SOUND_PRIO_SIGNAL, nullptr,
                           nullptr);
}

void keep_sound_loop(const void* owner, const char* name, const vec4f& pos, float gain, float pitch) {
  if (!device || !owner || !name) return;
  vec4f p = near_listener(pos);
  if (voice_pool::keepLoop(owner, name, p, gain, pitch, SIM_STEP_SECONDS)) return;
  voice_pool::start(sound_bank::buffer(name), p, false, gain, pitch, SOUND_PRIO_LOOP, owner, name);
}

void stop_sound_loops(const void* owner) {
  if (device) voice_pool::stopOwner(owner);
}

void set_sound_bed(int slot, const char* name, SoundGroup group, float gain) {
  if (!device) return;
  voice_pool::setBed(slot, name && *name ? sound_bank::buffer(name) : 0, group, gain);
}

void audio_end_step(float seconds, bool world_ran) {
  if (!device) return;
  if (world_ran) voice_pool::endStep();
  if (mix_each_step) audio_mix(seconds);
}

void audio_mix(float seconds) {
  if (device && on_loopback) render_step(seconds);
}

const std::vector<int16_t>& last_rendered_step() { return step_pcm; }

void audio_reload_check() {
  if (device) sound_bank::reloadChanged(voice_pool::stopBuffer);
}

int active_voice_count() { return device ? voice_pool::activeCount() : 0; }

int failed_sound_count() { return sound_bank::failedCount(); }
