#pragma once
// Reusable sound shapes built from the synth blocks: filtered noise that
// sweeps, tone sweeps, FM bells, knocks and thuds, and periodic events
// written around the end of a loop so that it repeats seamlessly.
#include <cmath>

#include "tools/soundgen/synth.h"

namespace synth {

inline float midi_hz(float note) { return 440.f * std::exp2((note - 69.f) / 12.f); }

// Noise through a band-pass whose centre moves from `from` to `to` Hz
// (exponentially), shaped by an attack/decay envelope.
inline Signal noise_sweep(uint32_t seed, float seconds, float from, float to, float q, float attack,
                          float half_life) {
  Noise n(seed);
  Svf f;
  Signal s(samples(seconds));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), k = t / seconds;
    f.step(n.next(), from * std::pow(to / from, k), q);
    s[i] = f.band * env_ad(t, attack, half_life);
  }
  return s;
}

// Noise through a low-pass whose cutoff moves from `from` to `to` Hz.
inline Signal rumble(uint32_t seed, float seconds, float from, float to, float attack, float half_life) {
  Noise n(seed);
  Svf f;
  Signal s(samples(seconds));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), k = t / seconds;
    f.step(n.next(), from * std::pow(to / from, k), 0.7f);
    s[i] = f.low * env_ad(t, attack, half_life);
  }
  return s;
}

// A sine gliding from `from` to `to` Hz.
inline Signal tone_sweep(float seconds, float from, float to, float attack, float half_life) {
  Osc o;
  Signal s(samples(seconds));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), k = t / seconds;
    s[i] = o.sine(from * std::pow(to / from, k)) * env_ad(t, attack, half_life);
  }
  return s;
}

// An FM bell: inharmonic ratio, the brightness falling faster than the level.
inline Signal bell(float hz, float seconds, float ratio, float index, float half_life) {
  Fm fm;
  Signal s(samples(seconds));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), e = env_ad(t, 0.004f, half_life);
    s[i] = fm.step(hz, ratio, index * e * e) * e;
  }
  return s;
}

// A sweeping FM tone, the index moving from i0 to i1: the magic of casts.
inline Signal fm_sweep(float seconds, float from, float to, float ratio, float i0, float i1, float attack,
                       float half_life) {
  Fm fm;
  Signal s(samples(seconds));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), k = t / seconds;
    s[i] = fm.step(from * std::pow(to / from, k), ratio, i0 + (i1 - i0) * k) * env_ad(t, attack, half_life);
  }
  return s;
}

// A dull knock: a falling sine thump plus a click of noise.
inline Signal knock(uint32_t seed, float hz, float seconds) {
  Signal s = tone_sweep(seconds, hz, hz * 0.5f, 0.002f, seconds * 0.18f);
  Signal c = noise_sweep(seed, 0.05f, 2500.f, 800.f, 0.8f, 0.001f, 0.008f);
  mix_into(s, c, 0, 0.6f);
  return s;
}

// A band-limited sawtooth note with a soft low-pass: pads, brass and strings.
inline Signal saw_note(float hz, float seconds, float cutoff, float attack, float release, float detune) {
  Osc a, b;
  Svf f;
  Signal s(samples(seconds));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i);
    float v = 0.5f * (a.saw(hz) + b.saw(hz * (1.f + detune)));
    f.step(v, cutoff, 0.9f);
    s[i] = f.low * env_trapezoid(t, attack, release, seconds);
  }
  return s;
}

// Mixes src into a loop of dst.size() samples, wrapping what passes the end
// to the start, so that a note that rings over the seam goes on seamlessly.
inline void mix_wrapped(Signal& loop, const Signal& src, size_t at, float gain) {
  size_t n = loop.size();
  for (size_t i = 0; i < src.size(); i++) loop[(at + i) % n] += src[i] * gain;
}

}  // namespace synth
