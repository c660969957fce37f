#include "world/vecmath.h"

#include "world/simd4.h"

namespace {
struct ByteTable {
  float v[256];
  constexpr ByteTable() : v() {
    for (int i = 0; i < 256; i++) v[i] = float(i) / 255.0f;
  }
};
constexpr ByteTable table;
}  // namespace

const float byte_to_unit[256] = {
#define R4(i) table.v[i], table.v[i + 1], table.v[i + 2], table.v[i + 3]
#define R16(i) R4(i), R4(i + 4), R4(i + 8), R4(i + 12)
#define R64(i) R16(i), R16(i + 16), R16(i + 32), R16(i + 48)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R16
#undef R4
};
