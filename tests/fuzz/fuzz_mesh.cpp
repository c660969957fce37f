// Fuzz target of the mesh file parser: any bytes are either a checked mesh
// or one InputStream::Exception, never a read past the input.
#include <cstdint>
#include <cstdio>

#include "device/mesh.h"
#include "platform/file_stream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::freopen("/dev/null", "w", stdout);  // the loader logs what it refuses
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 30)) return 0;
  try {
    check_mesh_image(data, int(size));
  } catch (const InputStream::Exception&) {
  }
  return 0;
}
