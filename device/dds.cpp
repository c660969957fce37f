// DDS header parsing.
#include "device/dds.h"

#include <cstring>

#include "device/d3d_texture.h"

namespace {
constexpr uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8,
                   DDSD_PIXELFORMAT = 0x1000, DDSD_LINEARSIZE = 0x80000;
constexpr uint32_t DDSCAPS_TEXTURE = 0x1000, DDSCAPS_MIPMAP = 0x400000;
constexpr uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40;

uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

int full_chain(int w, int h) {
  int n = 1;
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    n++;
  }
  return n;
}
}  // namespace

// In 64 bits: 65536 x 65536 pixels of 32 bits are 16 GiB, far past int.
size_t dds_level_size(uint32_t format, int width, int height) {
  uint64_t rows = is_compressed_format(format) ? uint64_t(height + 3) / 4 : uint64_t(height);
  return size_t(uint64_t(texture_row_pitch(format, width)) * rows);
}

DdsResult parse_dds(const uint8_t* data, size_t size, DdsInfo& info) {
  info = DdsInfo();
  if (!data || size < 128 || std::memcmp(data, "DDS ", 4) != 0) return DdsResult::not_dds;
  const uint8_t* h = data + 4;
  uint32_t hdr_size = rd32(h + 0), flags = rd32(h + 4);
  uint32_t height = rd32(h + 8), width = rd32(h + 12), mips = rd32(h + 24);
  uint32_t pf_size = rd32(h + 72), pf_flags = rd32(h + 76), fourcc = rd32(h + 80);
  uint32_t bits = rd32(h + 84), rmask = rd32(h + 88), gmask = rd32(h + 92), bmask = rd32(h + 96),
           amask = rd32(h + 100);
  uint32_t caps = rd32(h + 104), caps2 = rd32(h + 108);

  if (hdr_size != 124 || pf_size != 32) return DdsResult::not_dds;
  uint32_t need = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  if ((flags & need) != need) return DdsResult::not_dds;
  if ((flags & DDSD_PITCH) && (flags & DDSD_LINEARSIZE)) return DdsResult::not_dds;
  if (!(caps & DDSCAPS_TEXTURE) || caps2 != 0) return DdsResult::not_dds;
  if (width < 1 || height < 1 || width > 65536 || height > 65536) return DdsResult::not_dds;

  uint32_t format = 0;
  if (pf_flags & DDPF_FOURCC) {
    if (fourcc == FMT_DXT1 || fourcc == FMT_DXT3 || fourcc == FMT_DXT5) format = fourcc;
  } else if ((pf_flags & DDPF_RGB) && bits == 32 && rmask == 0x00FF0000 && gmask == 0x0000FF00 &&
             bmask == 0x000000FF) {
    if (!(pf_flags & DDPF_ALPHAPIXELS))
      format = FMT_X8R8G8B8;
    else if (amask == 0xFF000000)
      format = FMT_A8R8G8B8;
  }
  if (!format) return DdsResult::not_dds;

  int levels = (caps & DDSCAPS_MIPMAP) ? int(mips > 64 ? 64 : mips) : 1;
  if (levels < 1) levels = 1;  // a mip-map flag with no count holds the top level only
  info.width = int(width);
  info.height = int(height);
  info.levels = levels;
  info.format = format;
  info.dataOffset = 128;
  if (levels > full_chain(info.width, info.height)) return DdsResult::too_many_levels;

  size_t total = 0;
  int w = info.width, hh = info.height;
  for (int i = 0; i < levels; i++) {
    total += dds_level_size(format, w, hh);
    w = w > 1 ? w / 2 : 1;
    hh = hh > 1 ? hh / 2 : 1;
  }
  info.dataSize = total;
  if (size - 128 < total) return DdsResult::truncated;
  return DdsResult::ok;
}
