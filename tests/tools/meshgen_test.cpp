// The generated meshes: within the file limits, closed (every edge met by a
// face on each side, in opposite directions), facing outward for any corner
// heights, and the building pieces in the order of the house-tile table.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "objects/house_tiles.h"
#include "tools/meshgen/meshgen.h"

namespace {

using meshgen::GenMesh;

const std::vector<GenMesh>& meshes() {
  static const std::vector<GenMesh> all = meshgen::all_meshes();
  return all;
}

// Welded vertex ids: equal keys are one point.
std::vector<int> weld(const GenMesh& m) {
  std::map<std::vector<float>, int> ids;
  std::vector<int> out;
  for (const auto& k : m.keys) out.push_back(ids.emplace(k, int(ids.size())).first->second);
  return out;
}

float volume(const std::vector<std::array<float, 3>>& p, const std::vector<uint16_t>& idx) {
  double v = 0;
  for (size_t i = 0; i < idx.size(); i += 3) {
    const auto &a = p[idx[i]], &b = p[idx[i + 1]], &c = p[idx[i + 2]];
    v += a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  return float(v / 6);
}

TEST(GeneratedMeshes, FitTheFileLimitsAndEncodeConsistently) {
  ASSERT_EQ(meshes().size(), 25u);
  std::set<std::string> names;
  for (const GenMesh& m : meshes()) {
    SCOPED_TRACE(m.name);
    EXPECT_TRUE(names.insert(m.name).second);
    const auto& d = m.data;
    ASSERT_GT(d.stride, 0u);
    ASSERT_EQ(d.vertices.size() % d.stride, 0u);
    size_t nv = d.vertices.size() / d.stride;
    EXPECT_EQ(nv, m.keys.size());
    EXPECT_LE(nv, 65535u);
    EXPECT_EQ(d.indices.size() % 3, 0u);
    EXPECT_LT(d.indices.size() / 3, 65536u);
    for (uint16_t i : d.indices) ASSERT_LT(i, nv);
    for (const auto& e : d.elements) EXPECT_LE(e.offset + mesh_format::element_type_size(e.type), int(d.stride));
    EXPECT_FALSE(d.shaderLow.empty());
    EXPECT_EQ(d.shaderHigh, "dr_" + d.shaderLow);
    for (const auto& t : d.textures) EXPECT_LT(t.size(), 64u);
    EXPECT_LT(d.balls.size() / 4, 256u);
  }
}

TEST(GeneratedMeshes, AreClosedAndConsistentlyWound) {
  for (const GenMesh& m : meshes()) {
    SCOPED_TRACE(m.name);
    std::vector<int> id = weld(m);
    std::map<std::pair<int, int>, int> edges;
    const auto& ix = m.data.indices;
    for (size_t t = 0; t < ix.size(); t += 3) {
      int a = id[ix[t]], b = id[ix[t + 1]], c = id[ix[t + 2]];
      ASSERT_TRUE(a != b && b != c && a != c) << "degenerate triangle " << t / 3;
      edges[{a, b}]++;
      edges[{b, c}]++;
      edges[{c, a}]++;
    }
    int open = 0;
    for (const auto& [e, n] : edges) {
      auto it = edges.find({e.second, e.first});
      if (it == edges.end() || it->second != n) open++;
    }
    EXPECT_EQ(open, 0) << "edges without an opposite face";
  }
}

TEST(GeneratedMeshes, FaceOutwardWithAPositiveVolume) {
  for (const GenMesh& m : meshes()) {
    SCOPED_TRACE(m.name);
    EXPECT_GT(volume(m.samplePos, m.data.indices), 0.01f);
  }
}

// Pieces keep their solid shape whatever heights the cell's corners have:
// level, rising, falling, and an inner corner.
TEST(GeneratedMeshes, BuildingPiecesStaySolidForAnyCornerHeights) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> ht(-5.f, 9.f);
  std::vector<std::array<float, 4>> cases = {{3, 3, 3, 3}, {0, 0, 6, 6}, {4, 4, 4, 0}, {0, 6, 8, 8}, {8, 8, 8, 9}};
  for (int i = 0; i < 20; i++) cases.push_back({ht(rng), ht(rng), ht(rng), ht(rng)});
  for (const GenMesh& m : meshgen::building_pieces()) {
    SCOPED_TRACE(m.name);
    for (const auto& h : cases) {
      std::vector<std::array<float, 3>> p;
      float mn = std::min(std::min(h[0], h[1]), std::min(h[2], h[3]));
      for (size_t v = 0; v < m.keys.size(); v++) {
        const float* f = reinterpret_cast<const float*>(&m.data.vertices[v * meshgen::BUILDING_STRIDE]);
        float y = meshgen::building_height(f, h.data());
        ASSERT_GE(y, mn - 1.5f - 1e-4f);  // nothing below the bottom
        p.push_back({f[0], y, f[2]});
        ASSERT_GE(f[0], 0.f);
        ASSERT_LE(f[0], 1.f);  // nothing outside the cell
      }
      EXPECT_GT(volume(p, m.data.indices), 0.1f) << h[0] << " " << h[1] << " " << h[2] << " " << h[3];
    }
  }
}

// Where a piece meets the land, its top edge is the land's edge: on a cell
// border every piece's highest point over a level cell is the level itself
// or a feature standing on it, never below it.
TEST(GeneratedMeshes, BuildingPiecesMeetLevelLandAtTheirBorder) {
  const float h[4] = {2, 2, 2, 2};
  for (const GenMesh& m : meshgen::building_pieces()) {
    SCOPED_TRACE(m.name);
    std::map<std::pair<float, float>, float> top;
    for (size_t v = 0; v < m.keys.size(); v++) {
      const float* f = reinterpret_cast<const float*>(&m.data.vertices[v * meshgen::BUILDING_STRIDE]);
      bool border = f[0] == 0.f || f[0] == 1.f || f[2] == 0.f || f[2] == 1.f;
      if (!border) continue;
      float& t = top.try_emplace({f[0], f[2]}, -100.f).first->second;
      t = std::max(t, meshgen::building_height(f, h));
    }
    for (const auto& [p, y] : top) EXPECT_NEAR(y, 2.f, 1e-4f) << p.first << "," << p.second;
  }
}

TEST(GeneratedMeshes, BuildingPiecesFollowTheHouseTileTable) {
  std::vector<GenMesh> pieces = meshgen::building_pieces();
  ASSERT_EQ(int(pieces.size()), HeightmapRenderer::num_house_tiles);
  for (size_t i = 0; i < pieces.size(); i++)
    EXPECT_EQ(pieces[i].name + "_inst", HeightmapRenderer::house_tile_info[i].name);
}

}  // namespace
