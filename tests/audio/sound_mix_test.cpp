// The sound layer as the game drives it, heard through the loopback device:
// placing, distance, voices and clipping, loops and their owners, volumes,
// missing and broken files, and files replaced while it runs.
#include <gtest/gtest.h>
#include <utime.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "audio/ambience.h"
#include "audio/sound.h"
#include "objects/base_object.h"
#include "platform/globals.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {
constexpr float STEP = 0.05f;
const vec4f EAR(100, 10, 100, 1);

struct Energy {
  double left = 0, right = 0;
  int peak = 0;
  double total() const { return left + right; }
};

class SoundMix : public ::testing::Test {
 protected:
  fs::path dir;

  void SetUp() override {
    dir = fs::temp_directory_path() / ("tolvane_sound_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sounds");
    // Copies, not links: a test replaces some of them.
    for (const auto& f : fs::directory_iterator(fs::path(BIN_DIR) / "sounds"))
      fs::copy_file(f.path(), dir / "sounds" / f.path().filename());
    std::snprintf(app_path, sizeof(app_path), "%s/", dir.c_str());
    set_sound_volumes(SoundVolumes{100, 100, 100, 100, true});
    AudioOutput out;
    out.loopback = true;
    ASSERT_TRUE(audio_start(out));
    set_sound_listener(EAR, vec4f(0, 0, 0, 0), vec4f(0, 0, 1, 0), vec4f(0, 1, 0, 0));
  }
  void TearDown() override {
    stop_ambience();
    audio_stop();
    fs::remove_all(dir);
  }

  // Runs steps for `seconds`, calling each_step before every step ends.
  Energy run(float seconds, const std::function<void(int)>& each_step = nullptr) {
    Energy e;
    int steps = int(std::lround(seconds / STEP));
    for (int s = 0; s < steps; s++) {
      if (each_step) each_step(s);
      audio_end_step(STEP, true);
      const std::vector<int16_t>& pcm = last_rendered_step();
      EXPECT_EQ(pcm.size(), size_t(SOUND_OUTPUT_RATE * STEP) * 2);
      for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        e.left += double(pcm[i]) * pcm[i];
        e.right += double(pcm[i + 1]) * pcm[i + 1];
        e.peak = std::max({e.peak, std::abs(int(pcm[i])), std::abs(int(pcm[i + 1]))});
      }
    }
    return e;
  }
};

TEST_F(SoundMix, ABurstIsHeardOnItsSideAndQuieterFarAway) {
  // The listener looks along +z; its right hand is +x.
  ASSERT_TRUE(play_sound("fireball_burst", vec4f(EAR.x - 15, EAR.y, EAR.z, 1), 1, 1));
  Energy left = run(1.5f);
  EXPECT_GT(left.left, 3 * left.right);
  ASSERT_TRUE(play_sound("fireball_burst", vec4f(EAR.x + 15, EAR.y, EAR.z, 1), 1, 1));
  Energy right = run(1.5f);
  EXPECT_GT(right.right, 3 * right.left);
  // Turned round, the same place is on the other side.
  set_sound_listener(EAR, vec4f(0, 0, 0, 0), vec4f(0, 0, -1, 0), vec4f(0, 1, 0, 0));
  ASSERT_TRUE(play_sound("fireball_burst", vec4f(EAR.x + 15, EAR.y, EAR.z, 1), 1, 1));
  Energy turned = run(1.5f);
  EXPECT_GT(turned.left, 3 * turned.right);

  set_sound_listener(EAR, vec4f(0, 0, 0, 0), vec4f(0, 0, 1, 0), vec4f(0, 1, 0, 0));
  ASSERT_TRUE(play_sound("fireball_burst", vec4f(EAR.x, EAR.y, EAR.z + 12, 1), 1, 1));
  Energy near = run(1.5f);
  ASSERT_TRUE(play_sound("fireball_burst", vec4f(EAR.x, EAR.y, EAR.z + 120, 1), 1, 1));
  Energy far = run(1.5f);
  EXPECT_GT(far.total(), 0);
  EXPECT_GT(near.total(), 20 * far.total());
  // Beyond hearing, a request takes no voice at all.
  EXPECT_FALSE(play_sound("fireball_burst", vec4f(EAR.x, EAR.y, EAR.z + 2000, 1), 0.2f, 1));
  EXPECT_EQ(active_voice_count(), 0);
}

TEST_F(SoundMix, OnTheWrappedWorldASoundComesFromTheNearWay) {
  set_sound_world_wrap(256);
  set_sound_listener(vec4f(2, 10, 100, 1), vec4f(0, 0, 0, 0), vec4f(0, 0, 1, 0), vec4f(0, 1, 0, 0));
  // x = 250 is 8 units to the left across the seam, not 248 to the right.
  ASSERT_TRUE(play_sound("fireball_burst", vec4f(250, 10, 100, 1), 1, 1));
  Energy e = run(1.5f);
  set_sound_world_wrap(0);
  EXPECT_GT(e.left, 3 * e.right);
  EXPECT_GT(e.total(), 1e9);
}

TEST_F(SoundMix, AHundredRequestsInOneStepKeepToTheVoicesAndNeverClip) {
  int started = 0;
  for (int i = 0; i < 100; i++) {
    float a = float(i) * 0.7f;
    vec4f at(EAR.x + std::cos(a) * float(3 + i % 7), EAR.y, EAR.z + std::sin(a) * float(3 + i % 7), 1);
    started += play_sound(i % 2 ? "meteor_impact" : "fireball_burst", at, 1, 0.8f + 0.01f * float(i % 40));
  }
  EXPECT_GE(started, MAX_VOICES);
  EXPECT_EQ(active_voice_count(), MAX_VOICES);
  Energy e = run(2.f, [](int) { EXPECT_LE(active_voice_count(), MAX_VOICES); });
  EXPECT_GT(e.peak, 3000);
  EXPECT_LT(e.peak, 32767) << "the mix reached full scale";
}

TEST_F(SoundMix, AQuietRequestNeverTakesALouderVoice) {
  for (int i = 0; i < MAX_VOICES; i++) ASSERT_TRUE(play_sound("meteor_impact", EAR, 1, 1));
  // Far away: quieter than every playing voice, so it gives way.
  EXPECT_FALSE(play_sound("fireball_burst", vec4f(EAR.x + 150, EAR.y, EAR.z, 1), 1, 1));
  // A loop ranks below the effects: it waits, however near.
  int owner = 0;
  keep_sound_loop(&owner, "wyvern_wings_loop", EAR, 1, 1);
  EXPECT_EQ(active_voice_count(), MAX_VOICES);
  EXPECT_FALSE(play_sound("meteor_impact", EAR, 0.5f, 1));
  // As loud as the quietest: the newer sound takes its voice.
  EXPECT_TRUE(play_sound("meteor_impact", EAR, 1, 1));
  EXPECT_TRUE(play_ui_sound("ui_click", 1));
  EXPECT_EQ(active_voice_count(), MAX_VOICES);
}

struct Thing : BaseObject {};

TEST_F(SoundMix, AnObjectsLoopPlaysWhileAskedForAndStopsWhenItDies) {
  Thing* t = new Thing();
  vec4f at(EAR.x + 5, EAR.y, EAR.z + 5, 1);
  Energy playing = run(1.f, [&](int) { keep_sound_loop(t, "wyvern_wings_loop", at, 1, 1); });
  EXPECT_GT(playing.total(), 1e9);
  EXPECT_EQ(active_voice_count(), 1);
  // Asked for again under the same name: still one voice.
  keep_sound_loop(t, "wyvern_wings_loop", at, 1, 1);
  EXPECT_EQ(active_voice_count(), 1);
  t->destroy();
  EXPECT_EQ(active_voice_count(), 0);
  run(STEP);  // the stop fades out within a step, so it does not click
  Energy after = run(0.5f);
  EXPECT_EQ(after.total(), 0);

  // A loop nobody asks for any more stops when the step ends; a paused
  // world keeps it.
  Thing other;
  keep_sound_loop(&other, "wyvern_wings_loop", at, 1, 1);
  audio_end_step(STEP, false);
  EXPECT_EQ(active_voice_count(), 1);
  audio_end_step(STEP, true);
  audio_end_step(STEP, true);
  EXPECT_EQ(active_voice_count(), 0);
  deleted_gameobjs.clear();
  delete t;
}

TEST_F(SoundMix, VolumesScaleTheirGroupsAndTheSwitchMutesAll) {
  auto burst_and_wind = [&](const SoundVolumes& v) {
    set_sound_volumes(v);
    play_sound("fireball_burst", vec4f(EAR.x, EAR.y, EAR.z + 5, 1), 1, 1);
    set_sound_bed(0, "wind", SOUND_AMBIENCE, 0.2f);
    Energy e = run(1.f);
    set_sound_bed(0, nullptr, SOUND_AMBIENCE, 0);
    run(0.5f);  // what still sounds fades before the next measure
    return e;
  };
  Energy full = burst_and_wind({100, 100, 100, 100, true});
  Energy no_effects = burst_and_wind({100, 0, 100, 100, true});
  Energy half_master = burst_and_wind({50, 100, 100, 100, true});
  Energy muted = burst_and_wind({100, 100, 100, 100, false});
  EXPECT_GT(no_effects.total(), 0);                 // the wind still blows
  EXPECT_GT(full.total(), 2 * no_effects.total());  // the burst was most of it
  EXPECT_NEAR(half_master.total() / full.total(), 0.25, 0.06);
  EXPECT_EQ(muted.total(), 0);
}

TEST_F(SoundMix, MissingOrBrokenFilesAreNamedAndPlayNothing) {
  std::ofstream(dir / "sounds" / "broken.wav") << "RIFF\x10\0\0\0WAVEjunkjunk";
  std::ofstream(dir / "sounds" / "garbled.ogg") << "OggS but not really";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(play_sound("no_such_sound", EAR, 1, 1));
  EXPECT_FALSE(play_sound("broken", EAR, 1, 1));
  EXPECT_FALSE(play_sound("garbled", EAR, 1, 1));
  EXPECT_FALSE(play_sound("../sounds/ui_click", EAR, 1, 1));
  EXPECT_FALSE(play_sound("no_such_sound", EAR, 1, 1));  // logged once only
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("sound 'no_such_sound': sounds/no_such_sound.wav"), std::string::npos) << log;
  EXPECT_NE(log.find("sound 'broken': sounds/broken.wav: not a WAV file"), std::string::npos) << log;
  EXPECT_NE(log.find("sound 'garbled': sounds/garbled.ogg"), std::string::npos) << log;
  EXPECT_NE(log.find("not a sound name"), std::string::npos) << log;
  size_t first = log.find("sound 'no_such_sound'");
  EXPECT_EQ(log.find("sound 'no_such_sound'", first + 1), std::string::npos) << log;
  EXPECT_EQ(failed_sound_count(), 4);
  EXPECT_EQ(run(0.5f).total(), 0);
  EXPECT_TRUE(play_sound("ui_click", EAR, 1, 1));  // the good ones still play
}

TEST_F(SoundMix, AReplacedFileIsHeardAfterTheReloadCheck) {
  fs::path chime = dir / "sounds" / "mana_chime.wav";
  ASSERT_TRUE(play_sound("mana_chime", EAR, 1, 1));
  Energy before = run(0.5f);
  // The same name now holds the short click; its time moves on so that the
  // check sees the change.
  fs::copy_file(dir / "sounds" / "ui_click.wav", chime, fs::copy_options::overwrite_existing);
  struct utimbuf later = {0, 0};
  later.actime = later.modtime = time(nullptr) + 10;
  ASSERT_EQ(utime(chime.c_str(), &later), 0);
  ASSERT_TRUE(play_sound("mana_chime", EAR, 1, 1));
  audio_reload_check();  // stops the old sound's voices before its buffer goes
  EXPECT_EQ(active_voice_count(), 0);
  ASSERT_TRUE(play_sound("mana_chime", EAR, 1, 1));
  Energy after = run(0.5f);
  EXPECT_GT(after.total(), 0);
  EXPECT_LT(after.total(), 0.2 * before.total());
  // A broken edit is named, plays nothing and does not take the game down.
  std::ofstream(chime, std::ios::trunc) << "nothing";
  later.actime = later.modtime += 10;
  ASSERT_EQ(utime(chime.c_str(), &later), 0);
  testing::internal::CaptureStdout();
  audio_reload_check();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("sound 'mana_chime'"), std::string::npos);
  EXPECT_FALSE(play_sound("mana_chime", EAR, 1, 1));
}

TEST_F(SoundMix, TheWindGrowsWithHeightAndTheMusicFollowsTheThreat) {
  AmbienceGains low = ambience_targets({2, 0, 0});
  AmbienceGains high = ambience_targets({150, 0, 0});
  EXPECT_GT(high.gain[BED_WIND] + high.gain[BED_WIND_HIGH], 2 * (low.gain[BED_WIND] + low.gain[BED_WIND_HIGH]));
  EXPECT_GT(high.gain[BED_WIND_HIGH], 0.3f);
  EXPECT_EQ(low.gain[BED_WIND_HIGH], 0);
  EXPECT_GT(ambience_targets({5, 1, 0}).gain[BED_SURF], 0.5f);
  EXPECT_EQ(ambience_targets({5, 0, 0}).gain[BED_SURF], 0);
  // Heard: calm music alone, then the threat's mood fading in.
  Energy calm = run(2.f, [](int) { update_ambience({5, 0, 0}, STEP); });
  EXPECT_GT(calm.total(), 0);
  run(6.f, [](int) { update_ambience({5, 0, 1}, STEP); });
  AmbienceGains nonsense = ambience_targets({NAN, INFINITY, -3});
  for (float g : nonsense.gain) EXPECT_TRUE(std::isfinite(g));
}

TEST(SoundWithoutDevice, EveryCallIsHarmless) {
  audio_stop();
  EXPECT_FALSE(audio_running());
  EXPECT_FALSE(play_sound("fireball_burst", EAR, 1, 1));
  keep_sound_loop(&EAR, "wind", EAR, 1, 1);
  set_sound_bed(0, "wind", SOUND_AMBIENCE, 1);
  audio_end_step(STEP, true);
  audio_reload_check();
  EXPECT_EQ(active_voice_count(), 0);
  EXPECT_TRUE(last_rendered_step().empty());
}
}  // namespace
