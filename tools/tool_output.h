#pragma once
// Writing generated data files: little-endian words into a byte buffer, and
// the buffer into its file through a temporary name, so that an interrupted
// build never leaves a half-written file that looks finished.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline void put32(std::vector<uint8_t>& f, uint32_t v) {
  for (int i = 0; i < 4; i++) f.push_back(uint8_t(v >> (8 * i)));
}

inline bool write_file_atomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string tmp = path + ".tmp";
  FILE* out = std::fopen(tmp.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  ok = std::fclose(out) == 0 && ok;
  return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}
