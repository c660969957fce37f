#pragma once
// The game's object meshes, generated: the building pieces that fill house
// cells, the standing stone and the creatures' parts. make_meshes writes them
// as mesh files; the tests check that every one is a closed solid.
#include <array>
#include <string>
#include <vector>

#include "device/mesh_format.h"

namespace meshgen {

struct GenMesh {
  std::string name;  // file stem, "castle_wall1" for meshes/castle_wall1.mesh
  mesh_format::MeshData data;
  // One key per vertex: vertices with equal keys are the same point of the
  // surface (they differ only in normal, texture coordinate or material).
  std::vector<std::vector<float>> keys;
  // Where each vertex lands for a sample placement (building pieces: on a
  // sample set of corner heights), for the winding checks.
  std::vector<std::array<float, 3>> samplePos;
};

// Building pieces: vertex layout (stride 44)
//   POSITION0 FLOAT3   u, fixed height offset, w (u, w: 0..1 across the cell,
//                      before the cell's orientation is applied)
//   TEXCOORD0 FLOAT4   weights of the cell's corner heights (u,w) = (0,0),
//                      (1,0), (0,1), (1,1)
//   TEXCOORD1 FLOAT4   x weight of the highest corner, y weight of the lowest,
//                      z feature height (scaled by clamp(h11 - h00, 0, 1), so
//                      parapets and roofs rise only where the piece steps up
//                      toward its (1,1) corner), w material (0 stone, 1 roof,
//                      2 paving)
// Height = dot(weights, h) + x max(h) + y min(h) + fixed + z clamp(h11-h00,0,1).
constexpr int BUILDING_STRIDE = 44;
std::vector<GenMesh> building_pieces();
// Height of a building vertex for corner heights h (the rule above).
float building_height(const float* vertex, const float h[4]);

// Object meshes: POSITION0 FLOAT3, NORMAL0 FLOAT3, TEXCOORD0 FLOAT2 (stride
// 32); the morph body adds POSITION1 FLOAT3 and NORMAL1 FLOAT3 (stride 56);
// the spline body is a unit tube along z = 0..1 of radius 1.
std::vector<GenMesh> object_meshes();

std::vector<GenMesh> all_meshes();

}  // namespace meshgen
