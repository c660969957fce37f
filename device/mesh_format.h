#pragma once
// The object mesh file: a version word, the body size, then the body with
// the two shader file names, texture names, shadow balls, the vertex
// elements (the device's 6-byte records, all in stream 0), the counts and
// the raw vertex and 16-bit index data. Little-endian throughout.
//
// Shared by the loader and by the tool that writes the game's meshes, so it
// depends on nothing but the standard library.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mesh_format {

constexpr uint32_t VERSION = 0x12040900u;
constexpr int HEADER_BYTES = 8;           // version and body size
constexpr int TEXTURE_NAME_SLOT = 64;     // bytes per stored texture name, NUL included
constexpr int MAX_VERTICES = 65535;       // 16-bit indices
constexpr int MAX_TRIANGLES = 65535;      // the renderers pack the count into 16 bits
constexpr int ELEMENT_BYTES = 6;
constexpr int BALL_BYTES = 16;

// Bytes of one element of a declaration type (0 for an unknown type).
inline int element_type_size(int type) {
  switch (type) {
    case 1: return 4;   // FLOAT1
    case 2: return 8;   // FLOAT2
    case 3: return 12;  // FLOAT3
    case 4: return 16;  // FLOAT4
    case 5: return 4;   // D3DCOLOR
    case 6: return 4;   // SHORT2
    case 7: return 8;   // SHORT4
    default: return 0;
  }
}

struct Element {
  uint16_t offset;
  uint8_t stream, type, usage, usageIndex;
};

// Everything a mesh file holds, for writers.
struct MeshData {
  std::string shaderLow, shaderHigh;
  std::vector<std::string> textures;
  std::vector<float> balls;  // x, y, z, radius per ball
  std::vector<Element> elements;
  uint32_t stride = 0;
  std::vector<uint8_t> vertices;  // vertex count = size / stride
  std::vector<uint16_t> indices;  // three per triangle
};

namespace detail {
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}
inline void put_name(std::vector<uint8_t>& out, const std::string& s) {
  out.push_back(uint8_t(s.size()));
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}
}  // namespace detail

// The file image of a mesh. Names longer than 255 bytes, or texture names
// that do not fit their slot, are the writer's mistake: check before.
inline std::vector<uint8_t> encode(const MeshData& m) {
  using namespace detail;
  std::vector<uint8_t> body;
  put_name(body, m.shaderLow);
  put_name(body, m.shaderHigh);
  body.push_back(uint8_t(m.textures.size()));
  for (const std::string& t : m.textures) put_name(body, t);
  body.push_back(uint8_t(m.balls.size() / 4));
  for (float f : m.balls) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(body, bits);
  }
  body.push_back(uint8_t(m.elements.size()));
  for (const Element& e : m.elements) {
    body.push_back(uint8_t(e.offset));
    body.push_back(uint8_t(e.offset >> 8));
    body.push_back(e.stream);
    body.push_back(e.type);
    body.push_back(e.usage);
    body.push_back(e.usageIndex);
  }
  uint32_t nv = m.stride ? uint32_t(m.vertices.size() / m.stride) : 0;
  put32(body, nv);
  put32(body, m.stride);
  put32(body, uint32_t(m.indices.size() / 3));
  body.insert(body.end(), m.vertices.begin(), m.vertices.end());
  for (uint16_t i : m.indices) {
    body.push_back(uint8_t(i));
    body.push_back(uint8_t(i >> 8));
  }
  std::vector<uint8_t> out;
  put32(out, VERSION);
  put32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace mesh_format
