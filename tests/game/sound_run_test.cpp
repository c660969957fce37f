// The game's sound as a whole program: -audio-out follows the simulation's
// steps and gives the same file for the same run, windowed or headless, the stored volumes are
// obeyed, and a machine without any audio device runs the game silent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/game/run_game.h"

namespace {
namespace fs = std::filesystem;

constexpr int STEPS = 60;
constexpr size_t FRAMES_PER_STEP = 2400;  // 48 kHz, 20 steps a second
// No backend can open: on a machine with a sound card too, the game must
// not reach one.
const std::string NO_DEVICE = "ALSOFT_DRIVERS=no-such-backend";

struct SoundRun : ::testing::Test {
  std::string cfg;
  void SetUp() override {
    char tmpl[] = "/tmp/tolvane-sound-XXXXXX";
    cfg = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(cfg); }

  std::string run(const std::string& args, int& code) {
    std::string out;
    code = run_game_process(cfg, "-gfx-low -seed 1 " + args, NO_DEVICE, out);
    return out;
  }
};

std::vector<char> bytes_of(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

// Mean square of the samples (both channels) from second a to second b.
double power(const std::vector<char>& wav, double a, double b) {
  const int16_t* s = reinterpret_cast<const int16_t*>(wav.data() + 44);
  size_t n = (wav.size() - 44) / 2;
  size_t from = std::min(n, size_t(a * 48000) * 2), to = std::min(n, size_t(b * 48000) * 2);
  double sum = 0;
  for (size_t i = from; i < to; i++) sum += double(s[i]) * s[i];
  return to > from ? sum / double(to - from) : 0;
}

int count(const std::string& s, const std::string& part) {
  int n = 0;
  for (size_t p = s.find(part); p != std::string::npos; p = s.find(part, p + 1)) n++;
  return n;
}

TEST_F(SoundRun, CaptureFollowsTheStepsAndTheSameRunGivesTheSameFile) {
  const std::string casts = " -mana-cheat -cast 10,0 -steps " + std::to_string(STEPS);
  int code = -1;
  std::string log = run("-audio-out " + cfg + "/a.wav" + casts, code);
  ASSERT_EQ(code, 0) << log;
  EXPECT_NE(log.find("sound: capturing the mix to"), std::string::npos) << log;
  // The same run headless: the sound follows the simulation, not the frames.
  log = run("-headless -audio-out " + cfg + "/b.wav" + casts, code);
  ASSERT_EQ(code, 0) << log;
  std::vector<char> a = bytes_of(cfg + "/a.wav"), b = bytes_of(cfg + "/b.wav");
  ASSERT_EQ(a.size(), 44 + STEPS * FRAMES_PER_STEP * 4);
  EXPECT_TRUE(a == b) << "the same input mixed different sound windowed and headless";
  // Wind and music from the start; the fireball's cast at 0.5 s is heard over them.
  double bed = power(a, 0.05, 0.45), cast = power(a, 0.55, 0.95);
  EXPECT_GT(bed, 1000) << "no ambience";
  EXPECT_GT(cast, 2 * bed);

  // The stored switch mutes the game; the capture keeps its length.
  fs::create_directories(cfg + "/Mirevast Games/Tolvane");
  std::ofstream(cfg + "/Mirevast Games/Tolvane/settings.reg") << "\"sound_enabled\"=dword:00000000\n";
  log = run("-audio-out " + cfg + "/muted.wav" + casts, code);
  ASSERT_EQ(code, 0) << log;
  std::vector<char> muted = bytes_of(cfg + "/muted.wav");
  ASSERT_EQ(muted.size(), a.size());
  EXPECT_EQ(power(muted, 0, 3), 0);
}

TEST_F(SoundRun, WithoutAnAudioDeviceTheGameRunsSilentAndSaysSoOnce) {
  int code = -1;
  std::string log = run("-steps 20", code);
  EXPECT_EQ(code, 0) << log;
  EXPECT_EQ(count(log, "sound: no audio device; the game runs silent"), 1) << log;
  EXPECT_NE(log.find("closed all systems"), std::string::npos);
}
}  // namespace
