// Fuzz target of the TGA reader: the input is written to a file and read
// back; an accepted image holds exactly width x height x 4 bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <vector>

#include "platform/tga.h"

namespace {
std::string scratch_file() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && dir[0] ? dir : "/tmp") + "/tolvane_fuzz_tga_" + std::to_string(getpid()) + ".tga";
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::freopen("/dev/null", "w", stdout);  // the reader logs every refusal
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch_file();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  int w = 0, h = 0;
  std::vector<uint8_t> pixels;
  if (read_tga_file(path.c_str(), w, h, pixels) && int64_t(pixels.size()) != int64_t(w) * h * 4) std::abort();
  std::remove(path.c_str());
  return 0;
}
