#include "tools/worldgen/previews.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/log.h"
#include "world/heightmap.h"

using namespace HeightmapData;

namespace {
constexpr int N = HMAP_SIZE;

uint64_t fnv1a(const void* data, size_t n, uint64_t h) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; i++) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

float height_at(int x, int z) { return hmap[cellIndex(x, z)]; }

// Lambert shading of the terrain with light from the north-west, 0..1.
float relief(int x, int z) {
  float dx = (height_at(x + 1, z) - height_at(x - 1, z)) * 0.5f;
  float dz = (height_at(x, z + 1) - height_at(x, z - 1)) * 0.5f;
  float nx = -dx, ny = 1.0f, nz = -dz;
  float inv = 1.0f / std::sqrt(nx * nx + ny * ny + nz * nz);
  const float lx = -0.5f, ly = 0.7f, lz = -0.5f;
  const float linv = 1.0f / std::sqrt(lx * lx + ly * ly + lz * lz);
  float d = (nx * lx + ny * ly + nz * lz) * inv * linv;
  return std::clamp(d, 0.0f, 1.0f);
}

uint8_t to_byte(float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// Ground colour with the cover laid over it by the cover's alpha.
void land_color(int i, float rgb[3]) {
  uint32_t g = surface[i].groundColor.u, c = surface[i].coverColor.u;
  float a = float(c >> 24) / 255.0f;
  for (int ch = 0; ch < 3; ch++) {
    int shift = 16 - 8 * ch;
    float gv = float((g >> shift) & 255) / 255.0f, cv = float((c >> shift) & 255) / 255.0f;
    rgb[ch] = gv + (cv - gv) * a;
  }
}

bool save_rgb(const std::string& path, const std::vector<uint8_t>& rgb) {
  if (stbi_write_png(path.c_str(), N, N, 3, rgb.data(), N * 3)) return true;
  debug("can't write '%s'", path.c_str());
  return false;
}

void put_be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

void put_chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t n) {
  put_be32(out, uint32_t(n));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + n);
  put_be32(out, stbiw__crc32(out.data() + start, int(out.size() - start)));
}

// 16-bit greyscale PNG (stb writes 8-bit samples only).
bool save_gray16(const std::string& path, const std::vector<uint16_t>& px) {
  std::vector<uint8_t> raw;
  raw.reserve(size_t(N) * (1 + 2 * N));
  for (int y = 0; y < N; y++) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < N; x++) {
      uint16_t v = px[size_t(y) * N + x];
      raw.push_back(uint8_t(v >> 8));
      raw.push_back(uint8_t(v & 255));
    }
  }
  int zlen = 0;
  unsigned char* z = stbi_zlib_compress(raw.data(), int(raw.size()), &zlen, 8);
  if (!z) return false;
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  uint8_t ihdr[13] = {0, 0, uint8_t(N >> 8), uint8_t(N & 255), 0, 0, uint8_t(N >> 8), uint8_t(N & 255), 16, 0, 0, 0, 0};
  put_chunk(png, "IHDR", ihdr, sizeof(ihdr));
  put_chunk(png, "IDAT", z, size_t(zlen));
  STBIW_FREE(z);
  put_chunk(png, "IEND", nullptr, 0);
  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(png.data(), 1, png.size(), f) == png.size();
  if (f) ok = (std::fclose(f) == 0) && ok;
  if (!ok) debug("can't write '%s'", path.c_str());
  return ok;
}
}  // namespace

uint64_t world_hash() {
  uint64_t h = 1469598103934665603ull;
  h = fnv1a(hmap, sizeof(hmap), h);
  h = fnv1a(surface, sizeof(surface), h);
  h = fnv1a(water, sizeof(water), h);
  return h;
}

namespace {
std::string folder_prefix(const char* dir) {
  std::string base = dir && dir[0] ? std::string(dir) : std::string(".");
  if (base.back() != '/') base += '/';
  return base;
}

void height_range(float& lo, float& hi) {
  lo = hi = hmap[0];
  for (float h : hmap) lo = std::min(lo, h), hi = std::max(hi, h);
}
}  // namespace

bool write_height_scale(const char* dir, const float* sea_level, uint64_t seed) {
  std::string path = folder_prefix(dir) + "height16.json";
  float lo, hi;
  height_range(lo, hi);
  char sea[32] = "null";
  if (sea_level) std::snprintf(sea, sizeof(sea), "%.9g", double(*sea_level));
  // The seed as a string: 64-bit values do not survive a double.
  char text[512];
  int n = std::snprintf(text, sizeof(text),
                        "{\n  \"height_min\": %.9g,\n  \"height_max\": %.9g,\n  \"sea_level\": %s,\n"
                        "  \"seed\": \"%llu\",\n  \"world_hash\": \"%016llx\"\n}\n",
                        double(lo), double(hi), sea, (unsigned long long)seed, (unsigned long long)world_hash());
  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(text, 1, size_t(n), f) == size_t(n);
  if (f) ok = (std::fclose(f) == 0) && ok;
  if (!ok) debug("can't write '%s'", path.c_str());
  return ok;
}

bool write_world_previews(const char* dir) {
  std::string base = folder_prefix(dir);
  float lo, hi;
  height_range(lo, hi);
  float range = hi > lo ? hi - lo : 1.0f;
  float maxDepth = 0;
  for (int z = 0; z < N; z++)
    for (int x = 0; x < N; x++) maxDepth = std::max(maxDepth, water[z][x].depth);

  std::vector<uint8_t> height(size_t(N) * N * 3), color(height.size()), wat(height.size()), preview(height.size());
  std::vector<uint16_t> h16(size_t(N) * N);
  // Image row 0 is the largest z, so north is up when z grows northward.
  for (int row = 0; row < N; row++)
    for (int x = 0; x < N; x++) {
      int z = N - 1 - row;
      int i = cellIndex(x, z);
      size_t o = (size_t(row) * N + x) * 3;
      float t = (hmap[i] - lo) / range;
      float shade = relief(x, z);
      float grey = 0.25f + 0.75f * shade * (0.55f + 0.45f * t);
      for (int ch = 0; ch < 3; ch++) height[o + ch] = to_byte(grey);

      float rgb[3];
      land_color(i, rgb);
      for (int ch = 0; ch < 3; ch++) color[o + ch] = to_byte(rgb[ch]);

      float d = water[z][x].depth;
      float wd = maxDepth > 0 ? std::sqrt(std::max(d, 0.0f) / maxDepth) : 0.0f;
      wat[o] = to_byte(d > 0.01f ? 0.05f : 0.0f);
      wat[o + 1] = to_byte(d > 0.01f ? 0.2f + 0.3f * (1 - wd) : 0.0f);
      wat[o + 2] = to_byte(d > 0.01f ? 0.35f + 0.65f * wd : 0.0f);

      float lit = 0.35f + 0.8f * shade;
      float p[3] = {rgb[0] * lit, rgb[1] * lit, rgb[2] * lit};
      if (d > 0.05f) {
        float k = 1.0f - std::exp(-d * 0.35f);
        const float deep[3] = {0.04f, 0.16f, 0.30f}, shallow[3] = {0.18f, 0.45f, 0.55f};
        for (int ch = 0; ch < 3; ch++) {
          float wc = shallow[ch] + (deep[ch] - shallow[ch]) * k;
          p[ch] = p[ch] + (wc - p[ch]) * std::min(1.0f, 0.55f + k);
        }
      }
      for (int ch = 0; ch < 3; ch++) preview[o + ch] = to_byte(p[ch]);
      h16[size_t(row) * N + x] = uint16_t(std::lround(t * 65535.0f));
    }
  bool ok = save_rgb(base + "height.png", height);
  ok = save_rgb(base + "color.png", color) && ok;
  ok = save_rgb(base + "water.png", wat) && ok;
  ok = save_gray16(base + "height16.png", h16) && ok;
  ok = save_rgb(base + "preview.png", preview) && ok;
  return ok;
}
