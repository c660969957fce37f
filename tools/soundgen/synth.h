#pragma once
// Building blocks of the sound generator: a mono float signal at a fixed
// rate, a seeded noise source, simple filters, oscillators, envelopes and
// the finishing steps (seamless loop, normalising, 16-bit WAV). Everything
// is plain arithmetic in a fixed order, so a build gives the same bytes
// every time.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace synth {

constexpr int RATE = 48000;  // samples per second of every generated file
constexpr float TAU = 6.28318530718f;

using Signal = std::vector<float>;

inline size_t samples(float seconds) { return size_t(seconds * float(RATE)); }
inline float time_of(size_t i) { return float(i) / float(RATE); }

// Seeded white noise in -1..1 (a 32-bit xorshift; one seed per sound).
struct Noise {
  uint32_t s;
  explicit Noise(uint32_t seed) : s(seed ? seed : 0x9E3779B9u) {}
  float next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return float(s) / 2147483648.f - 1.f;
  }
};

// Chamberlin state-variable filter; cutoff in Hz, q the damping (0.1 sharp .. 1.4 soft).
struct Svf {
  float low = 0, band = 0;
  void step(float in, float cutoff, float q) {
    float f = 2.f * std::sin(3.14159265f * std::fmin(cutoff, float(RATE) / 6.f) / float(RATE));
    low += f * band;
    float high = in - low - q * band;
    band += f * high;
  }
};

// One-pole low-pass, cutoff in Hz.
struct OnePole {
  float y = 0;
  float step(float in, float cutoff) {
    float a = 1.f - std::exp(-TAU * cutoff / float(RATE));
    y += a * (in - y);
    return y;
  }
};

// Attack, then exponential decay toward silence with the given half-life.
inline float env_ad(float t, float attack, float half_life) {
  if (t < attack) return t / attack;
  return std::exp2(-(t - attack) / half_life);
}

// Linear rise over `in`, flat, linear fall over `out`, over `length` seconds.
inline float env_trapezoid(float t, float in, float out, float length) {
  if (t < in) return t / in;
  if (t > length - out) return std::fmax(0.f, (length - t) / out);
  return 1.f;
}

// A sine whose phase integrates a changing frequency.
struct Osc {
  float phase = 0;
  float sine(float hz) {
    phase += hz / float(RATE);
    phase -= std::floor(phase);
    return std::sin(TAU * phase);
  }
  float saw(float hz) {
    phase += hz / float(RATE);
    phase -= std::floor(phase);
    return 2.f * phase - 1.f;
  }
};

// Two-operator FM: a carrier at hz modulated at hz * ratio with the given index.
struct Fm {
  Osc carrier, modulator;
  float step(float hz, float ratio, float index) {
    float m = modulator.sine(hz * ratio) * index;
    carrier.phase += hz / float(RATE);
    carrier.phase -= std::floor(carrier.phase);
    return std::sin(TAU * carrier.phase + m);
  }
};

inline void mix_into(Signal& dst, const Signal& src, size_t at, float gain) {
  if (dst.size() < at + src.size()) dst.resize(at + src.size(), 0.f);
  for (size_t i = 0; i < src.size(); i++) dst[at + i] += src[i] * gain;
}

// Makes a loop seamless: the last `fade` seconds are cross-faded into the
// start and cut off, so playing the result over and over has no click.
inline void make_loop(Signal& s, float fade) {
  size_t n = samples(fade);
  if (s.size() <= 2 * n) return;
  size_t keep = s.size() - n;
  for (size_t i = 0; i < n; i++) {
    float k = float(i) / float(n);
    s[i] = s[i] * k + s[keep + i] * (1.f - k);
  }
  s.resize(keep);
}

// Scales the signal so that its peak is `peak` (0..1 of full scale).
inline void normalise(Signal& s, float peak) {
  float m = 0;
  for (float v : s) m = std::fmax(m, std::fabs(v));
  if (m <= 0) return;
  float g = peak / m;
  for (float& v : s) v *= g;
}

// A short linear fade at both ends so that one-shots start and stop without a click.
inline void soften_edges(Signal& s, float seconds) {
  size_t n = std::min(samples(seconds), s.size() / 2);
  for (size_t i = 0; i < n; i++) {
    float k = float(i) / float(n);
    s[i] *= k;
    s[s.size() - 1 - i] *= k;
  }
}

// A linear fade over the last `seconds`, so that a sound cut while still
// loud ends without a click.
inline void fade_tail(Signal& s, float seconds) {
  size_t n = std::min(samples(seconds), s.size());
  for (size_t i = 0; i < n; i++) s[s.size() - 1 - i] *= float(i) / float(n);
}

// 16-bit mono PCM WAV bytes.
inline std::vector<uint8_t> wav_bytes(const Signal& s) {
  std::vector<uint8_t> f;
  f.reserve(44 + s.size() * 2);
  auto put = [&](uint32_t v, int n) {
    for (int i = 0; i < n; i++) f.push_back(uint8_t(v >> (8 * i)));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; i++) f.push_back(uint8_t(t[i]));
  };
  uint32_t data = uint32_t(s.size() * 2);
  tag("RIFF");
  put(36 + data, 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(RATE, 4);
  put(RATE * 2, 4);
  put(2, 2);
  put(16, 2);
  tag("data");
  put(data, 4);
  for (float v : s) {
    float c = std::fmax(-1.f, std::fmin(1.f, v));
    put(uint32_t(uint16_t(int16_t(std::lrint(c * 32767.f)))), 2);
  }
  return f;
}

}  // namespace synth
