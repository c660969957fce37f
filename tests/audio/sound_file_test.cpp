// Sound files as a modder may drop them in: the WAV variants we accept, and
// files that are damaged or lie about themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/sound_file.h"

namespace {
struct Wav {
  std::vector<uint8_t> b;
  void tag(const char* t) { b.insert(b.end(), t, t + 4); }
  void put(uint32_t v, int n) {  // n bytes, little-endian; bytes past the fourth are zero
    for (int i = 0; i < n; i++) b.push_back(i < 4 ? uint8_t(v >> (8 * i)) : uint8_t(0));
  }
  void fmt(int tagv, int channels, int rate, int bits) {
    tag("fmt ");
    put(16, 4);
    put(uint32_t(tagv), 2);
    put(uint32_t(channels), 2);
    put(uint32_t(rate), 4);
    put(uint32_t(rate * channels * bits / 8), 4);
    put(uint32_t(channels * bits / 8), 2);
    put(uint32_t(bits), 2);
  }
  Wav() {
    tag("RIFF");
    put(0, 4);
    tag("WAVE");
  }
  PcmSound decode() const { return decode_wav(b.data(), b.size()); }
};

float as_float_bits(float f, Wav& w) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  w.put(u, 4);
  return f;
}

TEST(SoundFile, AcceptedVariantsBecomeSixteenBitSamples) {
  Wav eight;  // an odd-sized chunk before the format: padded to an even length
  eight.tag("LIST");
  eight.put(3, 4);
  eight.put(0xABCDEF, 3);
  eight.put(0, 1);
  eight.fmt(1, 2, 22050, 8);
  eight.tag("data");
  eight.put(4, 4);
  for (uint8_t v : {0, 255, 128, 64}) eight.put(v, 1);
  PcmSound s = eight.decode();
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.channels, 2);
  EXPECT_EQ(s.rate, 22050);
  EXPECT_EQ(s.samples, (std::vector<int16_t>{-32768, 32512, 0, -16384}));

  Wav flt;  // float data: clamped to full scale, NaN silenced
  flt.fmt(3, 1, 48000, 32);
  flt.tag("data");
  flt.put(16, 4);
  for (float f : {0.5f, 2.f, -7.f, NAN}) as_float_bits(f, flt);
  s = flt.decode();
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.samples, (std::vector<int16_t>{16383, 32767, -32767, 0}));

  Wav cut;  // a data chunk claiming more than the file holds: what is there plays
  cut.fmt(1, 1, 44100, 16);
  cut.tag("data");
  cut.put(0x7FFFFFF0, 4);
  cut.put(1000, 2);
  cut.put(uint32_t(-1000) & 0xFFFF, 2);
  cut.put(7, 1);  // half a sample: dropped
  s = cut.decode();
  ASSERT_TRUE(s.ok()) << s.error;
  EXPECT_EQ(s.samples, (std::vector<int16_t>{1000, -1000}));
}

TEST(SoundFile, DamagedOrUnsupportedFilesSayWhy) {
  auto why = [](const Wav& w) { return w.decode().error; };
  Wav none;
  EXPECT_EQ(why(none), "no format chunk");
  Wav early;
  early.tag("data");
  early.put(2, 4);
  early.put(0, 2);
  EXPECT_EQ(why(early), "data before the format chunk");
  Wav deep;
  deep.fmt(1, 1, 48000, 24);
  deep.tag("data");
  deep.put(3, 4);
  deep.put(0, 3);
  EXPECT_EQ(why(deep), "only 8- and 16-bit PCM is supported");
  Wav many;
  many.fmt(1, 6, 48000, 16);
  many.tag("data");
  many.put(12, 4);
  many.put(0, 12);
  EXPECT_EQ(why(many), "only mono and stereo are supported");
  Wav rate;
  rate.fmt(1, 1, 0, 16);
  rate.tag("data");
  rate.put(2, 4);
  rate.put(0, 2);
  EXPECT_EQ(why(rate), "sample rate out of range");
  Wav empty;
  empty.fmt(1, 1, 48000, 16);
  empty.tag("data");
  empty.put(0, 4);
  EXPECT_EQ(why(empty), "no samples");
  Wav shortfmt;
  shortfmt.tag("fmt ");
  shortfmt.put(4, 4);
  shortfmt.put(1, 4);
  EXPECT_EQ(why(shortfmt), "format chunk too short");
  const uint8_t junk[] = "OggS\0\0\0\0not a stream";
  EXPECT_FALSE(decode_ogg(junk, sizeof(junk)).ok());
  EXPECT_EQ(decode_wav(junk, 3).error, "not a WAV file");
}
}  // namespace
