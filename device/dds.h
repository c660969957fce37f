#pragma once
// DDS header parsing: the accepted variants are 32-bit RGB with or without
// alpha and the DXT1, DXT3 and DXT5 compressed formats, 2-D textures only.
#include <cstddef>
#include <cstdint>

struct DdsInfo {
  int width = 0, height = 0;
  int levels = 0;
  uint32_t format = 0;      // texture format (A8R8G8B8, X8R8G8B8, DXT1/3/5)
  size_t dataOffset = 0;    // first byte of level 0
  size_t dataSize = 0;      // bytes of all levels together
};

enum class DdsResult {
  ok,
  not_dds,    // not an accepted DDS variant
  too_many_levels,  // more mip levels than the size allows
  truncated,        // an accepted header whose level data run past the end of the file
};

DdsResult parse_dds(const uint8_t* data, size_t size, DdsInfo& info);

// Byte size of one level of a DDS format, without overflow for any size the
// header allows.
size_t dds_level_size(uint32_t format, int width, int height);
