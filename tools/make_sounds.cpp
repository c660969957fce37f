// Generates every sound of the game into <output folder>/sounds/, one 16-bit
// mono WAV at 48 kHz per event, by synthesis only (filtered noise, sweeps,
// FM, envelopes). Names ending in "_loop", the ambience beds and the music
// are seamless loops. The same build writes the same bytes every time: the
// noise is seeded per sound and nothing reads the clock.
//
// usage: make_sounds <output folder>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/soundgen/voices.h"
#include "tools/tool_output.h"

using namespace synth;

namespace {

// Peak levels: one-shots a little under full scale, beds and loops lower so
// that they sit under the events.
constexpr float PEAK_EVENT = 0.89f;  // about -1 dBFS
constexpr float PEAK_LOOP = 0.6f;
constexpr float PEAK_UI = 0.5f;

Signal fireball_cast() {
  Signal s = noise_sweep(11, 0.7f, 300.f, 2600.f, 0.5f, 0.12f, 0.18f);
  Signal crackle = noise_sweep(12, 0.7f, 4000.f, 6000.f, 0.2f, 0.05f, 0.2f);
  mix_into(s, crackle, 0, 0.25f);
  return s;
}

Signal fireball_burst() {
  Signal s = rumble(21, 1.4f, 4000.f, 180.f, 0.004f, 0.22f);
  mix_into(s, tone_sweep(0.6f, 90.f, 38.f, 0.003f, 0.12f), 0, 0.9f);
  mix_into(s, noise_sweep(22, 0.9f, 3000.f, 1200.f, 0.3f, 0.01f, 0.1f), 0, 0.4f);
  return s;
}

// Bubbles: short rising sine chirps at seeded times.
Signal bubbles(uint32_t seed, float seconds, int count, float lo, float hi) {
  Noise n(seed);
  Signal s(samples(seconds));
  for (int b = 0; b < count; b++) {
    float at = (n.next() * 0.5f + 0.5f) * seconds * 0.8f;
    float hz = lo + (hi - lo) * (n.next() * 0.5f + 0.5f);
    mix_into(s, tone_sweep(0.06f, hz, hz * 1.8f, 0.002f, 0.015f), samples(at), 0.5f);
  }
  s.resize(samples(seconds));
  return s;
}

Signal waterball_cast() {
  Signal s = bubbles(31, 0.6f, 14, 500.f, 1400.f);
  mix_into(s, noise_sweep(32, 0.6f, 800.f, 1800.f, 0.6f, 0.1f, 0.2f), 0, 0.5f);
  return s;
}

Signal waterball_splash() {
  Signal s = noise_sweep(41, 1.3f, 2500.f, 500.f, 0.45f, 0.005f, 0.2f);
  mix_into(s, rumble(42, 0.5f, 600.f, 120.f, 0.003f, 0.1f), 0, 0.7f);
  mix_into(s, bubbles(43, 1.3f, 22, 400.f, 1200.f), samples(0.1f), 0.6f);
  return s;
}

// A spell leaving the hand: an FM sweep with a breath of noise.
Signal cast(float from, float to, float ratio, float index, uint32_t seed) {
  Signal s = fm_sweep(0.55f, from, to, ratio, index, index * 0.3f, 0.03f, 0.15f);
  mix_into(s, noise_sweep(seed, 0.55f, from * 2.f, to * 3.f, 0.6f, 0.05f, 0.12f), 0, 0.35f);
  return s;
}

// Ground moving: low noise with a slow tremble.
Signal earth_rumble(uint32_t seed, float seconds, float from, float to) {
  Signal s = rumble(seed, seconds, from, to, 0.25f, seconds * 0.35f);
  Osc lfo;
  for (size_t i = 0; i < s.size(); i++) s[i] *= 0.75f + 0.25f * lfo.sine(7.f);
  mix_into(s, tone_sweep(seconds, from * 0.35f, to * 0.35f, 0.3f, seconds * 0.3f), 0, 0.5f);
  return s;
}

Signal house_build() {
  Signal s(samples(1.6f));
  const float hits[] = {0.f, 0.22f, 0.41f, 0.63f, 0.8f};
  for (int i = 0; i < 5; i++) mix_into(s, knock(51 + uint32_t(i), 150.f - 12.f * float(i), 0.4f), samples(hits[i]), 1.f);
  mix_into(s, noise_sweep(57, 1.4f, 700.f, 300.f, 1.1f, 0.1f, 0.5f), 0, 0.25f);  // stone scraping
  return s;
}

Signal meteor_whistle() {
  Signal s = tone_sweep(2.3f, 2600.f, 500.f, 0.4f, 5.f);
  mix_into(s, noise_sweep(61, 2.3f, 3000.f, 700.f, 0.25f, 0.6f, 4.f), 0, 0.6f);
  soften_edges(s, 0.05f);
  return s;
}

Signal meteor_impact() {
  Signal s = rumble(71, 3.2f, 5000.f, 60.f, 0.003f, 0.55f);
  mix_into(s, tone_sweep(1.2f, 70.f, 28.f, 0.004f, 0.3f), 0, 1.f);
  mix_into(s, rumble(72, 3.f, 300.f, 80.f, 0.2f, 0.8f), samples(0.2f), 0.6f);  // debris settling
  return s;
}

// Water pouring: band-passed noise whose centre wobbles, with bubbles.
Signal spring_loop() {
  Noise n(81);
  Svf f;
  Osc lfo;
  Signal s(samples(3.2f));
  for (size_t i = 0; i < s.size(); i++) {
    f.step(n.next(), 900.f + 400.f * lfo.sine(3.3f), 0.5f);
    s[i] = f.band;
  }
  mix_into(s, bubbles(82, 3.2f, 30, 600.f, 1600.f), 0, 0.4f);
  make_loop(s, 0.2f);
  return s;
}

// Water draining: a low swirl whose brightness turns round and round.
Signal sink_loop() {
  Noise n(91);
  Svf f;
  Osc lfo;
  Signal s(samples(3.2f));
  for (size_t i = 0; i < s.size(); i++) {
    f.step(n.next(), 300.f + 220.f * lfo.sine(1.25f), 0.35f);
    s[i] = f.band;
  }
  mix_into(s, bubbles(92, 3.2f, 12, 200.f, 500.f), 0, 0.3f);
  make_loop(s, 0.2f);
  return s;
}

// The castle grows: a rising brass call and a held major chord.
Signal castle_levelup() {
  Signal s(samples(2.8f));
  const float call[] = {60, 64, 67};
  for (int i = 0; i < 3; i++) mix_into(s, saw_note(midi_hz(call[i]), 0.3f, 2200.f, 0.02f, 0.08f, 0.004f), samples(0.18f * float(i)), 0.6f);
  for (float note : {60.f, 64.f, 67.f, 72.f}) mix_into(s, saw_note(midi_hz(note), 2.2f, 2600.f, 0.04f, 0.8f, 0.005f), samples(0.56f), 0.4f);
  mix_into(s, bell(midi_hz(84), 1.8f, 3.5f, 2.f, 0.4f), samples(0.56f), 0.3f);
  return s;
}

// The portal: two low tones beating slowly, with a shimmer; 4 s, its beat
// period dividing the loop so that it repeats seamlessly.
Signal portal_hum() {
  Fm a, b;
  Osc shimmer, lfo;
  Signal s(samples(4.f));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), w = 0.5f + 0.5f * std::sin(TAU * 0.5f * t);
    s[i] = 0.5f * a.step(55.f, 2.f, 1.2f) + 0.4f * b.step(110.5f, 1.5f, 0.8f * w) +
           0.08f * shimmer.sine(1760.f) * lfo.sine(2.f);
  }
  return s;
}

Signal portal_passage() {
  Signal s = fm_sweep(2.4f, 80.f, 1200.f, 1.41f, 4.f, 0.5f, 0.6f, 0.9f);
  mix_into(s, noise_sweep(101, 2.4f, 200.f, 5000.f, 0.4f, 0.8f, 0.7f), 0, 0.6f);
  mix_into(s, bell(midi_hz(88), 1.6f, 2.76f, 3.f, 0.4f), samples(0.8f), 0.4f);
  return s;
}

// Wings: four heavy down-strokes of low-passed air in a 1.8 s loop.
Signal wyvern_wings_loop() {
  Signal s(samples(1.8f));
  for (int i = 0; i < 4; i++) {
    Signal flap = rumble(111 + uint32_t(i), 0.35f, 900.f, 250.f, 0.08f, 0.07f);
    mix_wrapped(s, flap, samples(0.45f * float(i)), 1.f);
  }
  return s;
}

Signal wyvern_screech() {
  Fm fm;
  Osc vib;
  Noise n(121);
  Svf f;
  Signal s(samples(1.f));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i);
    float hz = (t < 0.25f ? 900.f + 2000.f * t : 1400.f - 600.f * (t - 0.25f)) * (1.f + 0.03f * vib.sine(28.f));
    f.step(n.next(), hz * 2.f, 0.3f);
    s[i] = (fm.step(hz, 1.5f, 2.5f) + 0.5f * f.band) * env_ad(t, 0.03f, 0.25f);
  }
  return s;
}

// Fire breath: a roar of band-passed noise with crackling.
Signal wyvern_breath_loop() {
  Noise n(131), c(132);
  Svf f;
  Osc lfo;
  Signal s(samples(2.2f));
  for (size_t i = 0; i < s.size(); i++) {
    f.step(n.next(), 700.f + 250.f * lfo.sine(2.7f), 0.6f);
    float crack = c.next();
    s[i] = f.band + (crack > 0.995f ? crack * 1.5f : 0.f);
  }
  make_loop(s, 0.2f);
  return s;
}

Signal wyvern_death() {
  Signal s = fm_sweep(1.1f, 1200.f, 200.f, 1.5f, 3.f, 1.f, 0.01f, 0.35f);
  mix_into(s, rumble(141, 1.f, 2500.f, 150.f, 0.003f, 0.2f), samples(0.7f), 0.9f);  // the burst
  return s;
}

// The gatherer breathes: a soft low FM tone swelling twice over 3 s.
Signal gatherer_hum_loop() {
  Fm fm;
  Osc lfo;
  Signal s(samples(3.f));
  for (size_t i = 0; i < s.size(); i++) {
    float breathe = 0.7f + 0.3f * lfo.sine(2.f / 3.f);
    s[i] = fm.step(120.f, 2.f, 0.6f + 0.5f * breathe) * breathe;
  }
  return s;
}

Signal gatherer_burning_loop() {
  Signal s = rumble(151, 2.4f, 500.f, 500.f, 0.001f, 100.f);
  Noise n(152);
  for (int i = 0; i < 40; i++) {
    float at = (n.next() * 0.5f + 0.5f) * 2.4f;
    mix_wrapped(s, noise_sweep(153 + uint32_t(i), 0.03f, 3000.f, 2000.f, 0.5f, 0.001f, 0.005f), samples(at), 1.2f);
  }
  make_loop(s, 0.15f);
  return s;
}

Signal gatherer_regrow() {
  Signal s(samples(1.8f));
  const float notes[] = {67, 71, 74, 79, 83};
  for (int i = 0; i < 5; i++) mix_into(s, bell(midi_hz(notes[i]), 1.f, 2.f, 1.5f, 0.25f), samples(0.12f * float(i)), 0.5f);
  mix_into(s, noise_sweep(161, 1.2f, 1000.f, 6000.f, 0.5f, 0.3f, 0.3f), 0, 0.15f);
  return s;
}

Signal mana_pickup() {
  Signal s = bell(midi_hz(81), 0.8f, 3.f, 1.2f, 0.12f);
  mix_into(s, bell(midi_hz(88), 0.8f, 3.f, 1.2f, 0.15f), samples(0.08f), 0.8f);
  return s;
}

Signal player_hurt() {
  Signal s = fm_sweep(0.35f, 220.f, 140.f, 1.02f, 3.f, 1.f, 0.005f, 0.08f);
  mix_into(s, rumble(171, 0.3f, 1500.f, 400.f, 0.002f, 0.05f), 0, 0.6f);
  return s;
}

Signal player_fall() {
  Signal s = tone_sweep(2.2f, 700.f, 70.f, 0.02f, 0.9f);
  mix_into(s, noise_sweep(181, 2.2f, 1500.f, 300.f, 0.5f, 0.2f, 0.9f), 0, 0.6f);
  return s;
}

// The wave's horn: a long low brass note with a fifth, swelling in.
Signal wave_horn() {
  Signal s = saw_note(98.f, 3.f, 900.f, 0.5f, 0.8f, 0.006f);
  mix_into(s, saw_note(147.f, 3.f, 800.f, 0.7f, 0.8f, 0.004f), 0, 0.6f);
  Osc vib;
  for (size_t i = 0; i < s.size(); i++) s[i] *= 1.f + 0.08f * vib.sine(5.f);
  return s;
}

Signal ui_no_mana() {
  Signal s(samples(0.45f));
  mix_into(s, fm_sweep(0.18f, 330.f, 320.f, 1.f, 1.5f, 1.5f, 0.005f, 0.1f), 0, 1.f);
  mix_into(s, fm_sweep(0.22f, 247.f, 240.f, 1.f, 1.5f, 1.5f, 0.005f, 0.1f), samples(0.2f), 1.f);
  return s;
}

// The wind: noise through a slowly moving band. `bright` raises the band
// and narrows it to a whistle (the bed for high up).
Signal wind(uint32_t seed, float centre, float q, float seconds) {
  Noise n(seed);
  Svf f;
  Osc slow, slower;
  Signal s(samples(seconds + 1.f));
  for (size_t i = 0; i < s.size(); i++) {
    float gust = 0.6f + 0.25f * slow.sine(0.23f) + 0.15f * slower.sine(0.61f);
    f.step(n.next(), centre * (0.7f + 0.6f * gust), q);
    s[i] = f.band * gust;
  }
  make_loop(s, 1.f);
  return s;
}

// Surf: low-passed noise swelling as waves break, about one every 4 s.
Signal surf() {
  Noise n(191);
  Svf f;
  Signal s(samples(9.f));
  for (size_t i = 0; i < s.size(); i++) {
    float t = time_of(i), phase = std::fmod(t, 4.f) / 4.f;
    float swell = phase < 0.3f ? phase / 0.3f : std::exp(-(phase - 0.3f) * 4.f);
    f.step(n.next(), 400.f + 1800.f * swell, 0.8f);
    s[i] = f.low * (0.25f + 0.75f * swell);
  }
  make_loop(s, 1.f);
  return s;
}

// The two music beds share one length and one bar grid, so that they play
// together and the game only cross-fades their gains.
constexpr float MUSIC_SECONDS = 16.f;

// Calm: A minor, F, C, G as soft pads, four seconds each, and a bell
// arpeggio over them.
Signal music_calm() {
  Signal s(samples(MUSIC_SECONDS));
  const float chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};
  for (int c = 0; c < 4; c++) {
    for (float note : chords[c])
      mix_wrapped(s, saw_note(midi_hz(note), 4.6f, 900.f, 1.2f, 1.2f, 0.006f), samples(4.f * float(c)), 0.25f);
    mix_wrapped(s, saw_note(midi_hz(chords[c][0] - 12.f), 4.4f, 300.f, 0.8f, 1.f, 0.003f), samples(4.f * float(c)), 0.3f);
    for (int k = 0; k < 8; k++) {
      float note = chords[c][k % 3] + 12.f * float(1 + (k / 3) % 2);
      mix_wrapped(s, bell(midi_hz(note), 1.5f, 2.f, 1.f, 0.35f), samples(4.f * float(c) + 0.5f * float(k)), 0.12f);
    }
  }
  return s;
}

// Waves in the air: a D minor drone, drums on every beat at 120 per
// minute, and a low string ostinato pressing on the semitone.
Signal music_threat() {
  Signal s(samples(MUSIC_SECONDS));
  mix_wrapped(s, saw_note(midi_hz(38), MUSIC_SECONDS, 400.f, 0.01f, 0.01f, 0.004f), 0, 0.25f);
  for (int beat = 0; beat < 32; beat++) {
    float at = 0.5f * float(beat);
    mix_wrapped(s, tone_sweep(0.5f, 95.f, 45.f, 0.002f, 0.09f), samples(at), beat % 4 == 0 ? 0.9f : 0.55f);
    mix_wrapped(s, rumble(200 + uint32_t(beat), 0.2f, 1800.f, 400.f, 0.001f, 0.03f), samples(at), 0.25f);
  }
  const float ostinato[8] = {50, 50, 51, 50, 50, 50, 53, 51};
  for (int i = 0; i < 64; i++)
    mix_wrapped(s, saw_note(midi_hz(ostinato[i % 8]), 0.24f, 1400.f, 0.01f, 0.06f, 0.003f), samples(0.25f * float(i)), 0.3f);
  return s;
}

struct Entry {
  const char* name;
  std::function<Signal()> make;
  float peak;
  bool loop;
};

std::vector<Entry> catalogue() {
  return {
      {"fireball_cast", fireball_cast, PEAK_EVENT, false},
      {"fireball_burst", fireball_burst, PEAK_EVENT, false},
      {"waterball_cast", waterball_cast, PEAK_EVENT, false},
      {"waterball_splash", waterball_splash, PEAK_EVENT, false},
      {"fault_cast", [] { return cast(180.f, 90.f, 1.5f, 3.f, 201); }, PEAK_EVENT, false},
      {"fault_rumble", [] { return earth_rumble(211, 3.f, 120.f, 260.f); }, PEAK_EVENT, false},
      {"house_cast", [] { return cast(330.f, 440.f, 2.f, 1.5f, 202); }, PEAK_EVENT, false},
      {"house_build", house_build, PEAK_EVENT, false},
      {"meteor_cast", [] { return cast(200.f, 700.f, 1.41f, 4.f, 203); }, PEAK_EVENT, false},
      {"meteor_whistle", meteor_whistle, PEAK_EVENT, false},
      {"meteor_impact", meteor_impact, PEAK_EVENT, false},
      {"hill_cast", [] { return cast(150.f, 260.f, 1.f, 2.f, 204); }, PEAK_EVENT, false},
      {"hill_rumble", [] { return earth_rumble(221, 2.f, 90.f, 240.f); }, PEAK_EVENT, false},
      {"pit_cast", [] { return cast(260.f, 150.f, 1.f, 2.f, 205); }, PEAK_EVENT, false},
      {"pit_rumble", [] { return earth_rumble(231, 2.f, 240.f, 70.f); }, PEAK_EVENT, false},
      {"water_source_cast", [] { return cast(400.f, 800.f, 3.f, 1.f, 206); }, PEAK_EVENT, false},
      {"spring_loop", spring_loop, PEAK_LOOP, true},
      {"water_sink_cast", [] { return cast(800.f, 300.f, 3.f, 1.f, 207); }, PEAK_EVENT, false},
      {"sink_loop", sink_loop, PEAK_LOOP, true},
      {"castle_cast", [] { return cast(523.f, 1046.f, 2.f, 2.5f, 208); }, PEAK_EVENT, false},
      {"castle_levelup", castle_levelup, PEAK_EVENT, false},
      {"portal_hum_loop", portal_hum, PEAK_LOOP, true},
      {"portal_passage", portal_passage, PEAK_EVENT, false},
      {"use_portal_cast", [] { return cast(440.f, 1760.f, 1.5f, 3.f, 209); }, PEAK_EVENT, false},
      {"wyvern_wings_loop", wyvern_wings_loop, PEAK_LOOP, true},
      {"wyvern_screech", wyvern_screech, PEAK_EVENT, false},
      {"wyvern_breath_loop", wyvern_breath_loop, PEAK_LOOP, true},
      {"wyvern_death", wyvern_death, PEAK_EVENT, false},
      {"gatherer_hum_loop", gatherer_hum_loop, PEAK_LOOP, true},
      {"gatherer_burning_loop", gatherer_burning_loop, PEAK_LOOP, true},
      {"gatherer_regrow", gatherer_regrow, PEAK_EVENT, false},
      {"mana_chime", [] { return bell(midi_hz(88), 1.4f, 3.5f, 2.f, 0.3f); }, PEAK_EVENT, false},
      {"mana_pickup", mana_pickup, PEAK_EVENT, false},
      {"player_hurt", player_hurt, PEAK_EVENT, false},
      {"player_fall", player_fall, PEAK_EVENT, false},
      {"wave_horn", wave_horn, PEAK_EVENT, false},
      {"ui_hover", [] { return tone_sweep(0.04f, 2200.f, 2000.f, 0.002f, 0.008f); }, PEAK_UI, false},
      {"ui_click", [] { return knock(241, 900.f, 0.08f); }, PEAK_UI, false},
      {"ui_no_mana", ui_no_mana, PEAK_UI, false},
      {"wind", [] { return wind(251, 500.f, 1.2f, 10.f); }, PEAK_LOOP, true},
      {"wind_high", [] { return wind(252, 1800.f, 0.25f, 10.f); }, PEAK_LOOP, true},
      {"surf", surf, PEAK_LOOP, true},
      {"music_calm", music_calm, PEAK_LOOP, true},
      {"music_threat", music_threat, PEAK_LOOP, true},
  };
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sounds <output folder>\n");
    return 2;
  }
  std::string dir = std::string(argv[1]) + "/sounds";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "make_sounds: can't create '%s'\n", dir.c_str());
    return 1;
  }
  for (const Entry& e : catalogue()) {
    Signal s = e.make();
    if (!e.loop) {
      soften_edges(s, 0.003f);
      fade_tail(s, 0.06f);
    }
    normalise(s, e.peak);
    std::string path = dir + "/" + e.name + ".wav";
    if (!write_file_atomically(path, wav_bytes(s))) {
      std::fprintf(stderr, "make_sounds: can't write '%s'\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
