// Fuzz target of the DDS header parser: any bytes must give a result, and
// an accepted file must hold every byte its levels claim.
#include <cstdint>
#include <cstdlib>

#include "device/dds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DdsInfo info;
  if (parse_dds(data, size, info) != DdsResult::ok) return 0;
  if (info.dataOffset + info.dataSize > size) std::abort();
  // Reading the claimed levels stays inside the input.
  volatile uint8_t sum = 0;
  if (info.dataSize) sum = sum + data[info.dataOffset + info.dataSize - 1];
  return 0;
}
