// The capture file of -audio-out.
#include "audio/wav_writer.h"

#include <cstring>

namespace {
void put(uint8_t*& p, uint32_t v, int n) {
  for (int i = 0; i < n; i++) *p++ = uint8_t(v >> (8 * i));
}

void fill_header(uint8_t* h, int rate, int channels, uint32_t data_bytes) {
  uint8_t* p = h;
  std::memcpy(p, "RIFF", 4), p += 4;
  put(p, 36 + data_bytes, 4);
  std::memcpy(p, "WAVEfmt ", 8), p += 8;
  put(p, 16, 4);
  put(p, 1, 2);
  put(p, uint32_t(channels), 2);
  put(p, uint32_t(rate), 4);
  put(p, uint32_t(rate * channels * 2), 4);
  put(p, uint32_t(channels * 2), 2);
  put(p, 16, 2);
  std::memcpy(p, "data", 4), p += 4;
  put(p, data_bytes, 4);
}
}  // namespace

bool WavWriter::open(const std::string& path, int rate, int channels) {
  close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  channels_ = channels;
  rate_ = rate;
  frames_ = 0;
  failed_ = false;
  uint8_t h[44];
  fill_header(h, rate, channels, 0);
  failed_ = std::fwrite(h, 1, 44, file_) != 44;
  return !failed_;
}

bool WavWriter::write(const int16_t* samples, size_t count) {
  if (!file_) return false;
  // WAV is little-endian, as is every machine this runs on.
  if (std::fwrite(samples, 2, count, file_) != count) failed_ = true;
  frames_ += count / size_t(channels_);
  return !failed_;
}

bool WavWriter::close() {
  if (!file_) return false;
  uint64_t bytes = frames_ * uint64_t(channels_) * 2;
  uint8_t h[44];
  fill_header(h, rate_, channels_, bytes > 0xFFFFFFD0u ? 0xFFFFFFD0u : uint32_t(bytes));
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, 44, file_) != 44) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}
