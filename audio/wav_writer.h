#pragma once
// Writes 16-bit stereo PCM into a WAV file as it is produced; the sizes in
// the header are filled in when the file is closed.
#include <cstdint>
#include <cstdio>
#include <string>

class WavWriter {
 public:
  ~WavWriter() { close(); }
  bool open(const std::string& path, int rate, int channels);
  bool write(const int16_t* samples, size_t count);
  // Patches the header with the final sizes; false when any write failed.
  bool close();
  bool isOpen() const { return file_ != nullptr; }
  uint64_t framesWritten() const { return frames_; }

 private:
  FILE* file_ = nullptr;
  int rate_ = 0;
  int channels_ = 2;
  uint64_t frames_ = 0;
  bool failed_ = false;
};
