#pragma once
// Reading sound files into 16-bit PCM: RIFF WAV (8- or 16-bit integer,
// 32-bit float, mono or stereo) and Ogg Vorbis. A file that cannot be used
// gives a reason instead of samples, never a crash.
#include <cstdint>
#include <string>
#include <vector>

struct PcmSound {
  std::vector<int16_t> samples;  // interleaved when stereo
  int channels = 0;
  int rate = 0;
  std::string error;  // empty when the sound is usable
  bool ok() const { return error.empty(); }
};

// Decodes a WAV file held in memory.
PcmSound decode_wav(const uint8_t* data, size_t size);
// Decodes an Ogg Vorbis file held in memory.
PcmSound decode_ogg(const uint8_t* data, size_t size);
// Reads and decodes the file; the format follows the name's ending (".ogg" or else WAV).
PcmSound load_sound_file(const char* path);
