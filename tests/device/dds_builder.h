#pragma once
// Builds DDS files in memory for the loader tests.
#include <cstdint>
#include <cstring>
#include <vector>

struct DdsSpec {
  int width = 4, height = 4;
  int mips = 0;              // 0: no mip-map flag
  uint32_t fourcc = 0;       // set: FOURCC pixel format
  uint32_t bits = 32;
  uint32_t rmask = 0x00FF0000, gmask = 0x0000FF00, bmask = 0x000000FF, amask = 0xFF000000;
  bool alpha = true;         // ALPHAPIXELS
  uint32_t caps2 = 0;
  uint32_t headerSize = 124;
  uint32_t pfSize = 32;
  uint32_t extraFlags = 0;   // e.g. PITCH | LINEARSIZE
  bool dropCaps = false;     // leave CAPS out of the header flags
  bool luminance = false;    // luminance pixel format instead of RGB
};

inline void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; i++) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

inline constexpr uint32_t fourcc(const char* s) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// Header followed by `payload` (the level data).
inline std::vector<uint8_t> make_dds(const DdsSpec& s, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> v(128, 0);
  std::memcpy(v.data(), "DDS ", 4);
  uint32_t flags = 0x2 | 0x4 | 0x1000 | s.extraFlags;
  if (!s.dropCaps) flags |= 0x1;
  if (s.mips) flags |= 0x20000;
  put32(v, 4, s.headerSize);
  put32(v, 8, flags);
  put32(v, 12, uint32_t(s.height));
  put32(v, 16, uint32_t(s.width));
  put32(v, 28, uint32_t(s.mips));
  put32(v, 76, s.pfSize);
  if (s.fourcc) {
    put32(v, 80, 0x4);
    put32(v, 84, s.fourcc);
  } else {
    put32(v, 80, (s.luminance ? 0x20000u : 0x40u) | (s.alpha ? 0x1u : 0u));
    put32(v, 88, s.bits);
    put32(v, 92, s.rmask);
    put32(v, 96, s.gmask);
    put32(v, 100, s.bmask);
    put32(v, 104, s.amask);
  }
  put32(v, 108, 0x1000 | (s.mips ? 0x400008u : 0u));
  put32(v, 112, s.caps2);
  v.insert(v.end(), payload.begin(), payload.end());
  return v;
}

// Bytes of a full set of levels (the header's mip count, or 1 when it gives none).
inline size_t dds_payload_size(const DdsSpec& s) {
  int w = s.width, h = s.height, n = s.mips ? s.mips : 1;
  size_t total = 0;
  for (int i = 0; i < n; i++) {
    if (s.fourcc)
      total += size_t((w + 3) / 4) * ((h + 3) / 4) * (s.fourcc == fourcc("DXT1") ? 8 : 16);
    else
      total += size_t(w) * h * 4;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return total;
}
