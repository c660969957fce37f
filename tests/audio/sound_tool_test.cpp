// The sound generator: every event's file, usable, and the same bytes on
// every run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/sound_file.h"

namespace fs = std::filesystem;

namespace {
std::vector<char> bytes_of(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

TEST(SoundTool, WritesEveryEventAsTheSameUsableBytesEachRun) {
  fs::path a = fs::temp_directory_path() / ("tolvane_sounds_a_" + std::to_string(::getpid()));
  fs::path b = fs::temp_directory_path() / ("tolvane_sounds_b_" + std::to_string(::getpid()));
  for (const fs::path& d : {a, b}) {
    fs::remove_all(d);
    ASSERT_EQ(std::system(("'" MAKE_SOUNDS "' '" + d.string() + "'").c_str()), 0);
  }
  const char* events[] = {
      "fireball_cast", "fireball_burst", "waterball_cast", "waterball_splash", "fault_cast", "fault_rumble",
      "house_cast", "house_build", "meteor_cast", "meteor_whistle", "meteor_impact", "hill_cast", "hill_rumble",
      "pit_cast", "pit_rumble", "water_source_cast", "spring_loop", "water_sink_cast", "sink_loop", "castle_cast",
      "castle_levelup", "portal_hum_loop", "portal_passage", "use_portal_cast", "wyvern_wings_loop",
      "wyvern_screech", "wyvern_breath_loop", "wyvern_death", "gatherer_hum_loop", "gatherer_burning_loop",
      "gatherer_regrow", "mana_chime", "mana_pickup", "player_hurt", "player_fall", "wave_horn", "ui_hover",
      "ui_click", "ui_no_mana", "wind", "wind_high", "surf", "music_calm", "music_threat"};
  for (const char* e : events) {
    std::string name = std::string(e) + ".wav";
    std::vector<char> first = bytes_of(a / "sounds" / name), second = bytes_of(b / "sounds" / name);
    ASSERT_FALSE(first.empty()) << name;
    EXPECT_EQ(first, second) << name << " differs between two runs";
    PcmSound s = decode_wav(reinterpret_cast<const uint8_t*>(first.data()), first.size());
    ASSERT_TRUE(s.ok()) << name << ": " << s.error;
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.rate, 48000);
    int peak = 0;
    for (int16_t v : s.samples) peak = std::max(peak, std::abs(int(v)));
    EXPECT_GT(peak, 8000) << name << " is nearly silent";
    EXPECT_LT(peak, 32767) << name << " clips";
  }
  // Both music moods share one length, so that they stay on one beat.
  EXPECT_EQ(fs::file_size(a / "sounds" / "music_calm.wav"), fs::file_size(a / "sounds" / "music_threat.wav"));
  fs::remove_all(a);
  fs::remove_all(b);
}
}  // namespace
