// WAV and Ogg Vorbis decoding for the sound bank.
#include "audio/sound_file.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

namespace {
// Longest sound we accept: ten minutes of stereo at 48 kHz. A header that
// claims more is broken or hostile, not a sound.
constexpr size_t MAX_SAMPLES = size_t(48000) * 2 * 600;

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

PcmSound failure(const char* why) {
  PcmSound s;
  s.error = why;
  return s;
}

struct WavFormat {
  uint32_t tag = 0, channels = 0, rate = 0, bits = 0;
};

int16_t sample_from(const uint8_t* p, const WavFormat& f) {
  if (f.bits == 8) return int16_t((int(p[0]) - 128) * 256);
  if (f.bits == 16) return int16_t(le16(p));
  float v;
  uint32_t u = le32(p);
  std::memcpy(&v, &u, 4);
  if (!(v == v)) v = 0;  // NaN
  v = v < -1 ? -1 : v > 1 ? 1 : v;
  return int16_t(v * 32767.f);
}

const char* check_format(const WavFormat& f) {
  if (f.tag != 1 && f.tag != 3) return "not PCM or float WAV data";
  if (f.channels != 1 && f.channels != 2) return "only mono and stereo are supported";
  if (f.rate < 4000 || f.rate > 192000) return "sample rate out of range";
  if (f.tag == 1 && f.bits != 8 && f.bits != 16) return "only 8- and 16-bit PCM is supported";
  if (f.tag == 3 && f.bits != 32) return "float WAV data must be 32-bit";
  return nullptr;
}
}  // namespace

PcmSound decode_wav(const uint8_t* data, size_t size) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) || std::memcmp(data + 8, "WAVE", 4)) return failure("not a WAV file");
  WavFormat fmt;
  bool have_fmt = false;
  size_t pos = 12;
  while (pos + 8 <= size) {
    const uint8_t* chunk = data + pos;
    size_t len = le32(chunk + 4), body = pos + 8;
    if (len > size - body) len = size - body;  // a truncated last chunk: use what is there
    if (!std::memcmp(chunk, "fmt ", 4)) {
      if (len < 16) return failure("format chunk too short");
      fmt = {le16(data + body), le16(data + body + 2), le32(data + body + 4), le16(data + body + 14)};
      have_fmt = true;
    } else if (!std::memcmp(chunk, "data", 4)) {
      if (!have_fmt) return failure("data before the format chunk");
      if (const char* why = check_format(fmt)) return failure(why);
      size_t bytes = fmt.bits / 8, frames = len / (bytes * fmt.channels);
      if (frames == 0) return failure("no samples");
      if (frames * fmt.channels > MAX_SAMPLES) return failure("too long");
      PcmSound s;
      s.channels = int(fmt.channels);
      s.rate = int(fmt.rate);
      s.samples.resize(frames * fmt.channels);
      for (size_t i = 0; i < s.samples.size(); i++) s.samples[i] = sample_from(data + body + i * bytes, fmt);
      return s;
    }
    pos = body + len + (len & 1);
  }
  return failure(have_fmt ? "no data chunk" : "no format chunk");
}

PcmSound decode_ogg(const uint8_t* data, size_t size) {
  if (size > size_t(1) << 30) return failure("too long");
  int channels = 0, rate = 0;
  short* out = nullptr;
  int frames = stb_vorbis_decode_memory(data, int(size), &channels, &rate, &out);
  if (frames <= 0 || !out) {
    std::free(out);
    return failure("not a readable Ogg Vorbis file");
  }
  PcmSound s;
  if (channels != 1 && channels != 2) s.error = "only mono and stereo are supported";
  else if (size_t(frames) * size_t(channels) > MAX_SAMPLES) s.error = "too long";
  else {
    s.channels = channels;
    s.rate = rate;
    s.samples.assign(out, out + size_t(frames) * size_t(channels));
  }
  std::free(out);
  return s;
}

PcmSound load_sound_file(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return failure("can't open the file");
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) {
    bytes.insert(bytes.end(), buf, buf + n);
    if (bytes.size() > (size_t(1) << 30)) break;
  }
  std::fclose(f);
  size_t len = std::strlen(path);
  bool ogg = len > 4 && strcasecmp(path + len - 4, ".ogg") == 0;
  return ogg ? decode_ogg(bytes.data(), bytes.size()) : decode_wav(bytes.data(), bytes.size());
}
