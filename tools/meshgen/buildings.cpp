// Building pieces. Each piece is a closed solid over its unit cell: a top
// made of flat-shaded blocks (a grid of sub-rectangles, each with its own
// height rule), vertical faces wherever neighbouring blocks differ, skirts
// down the cell's sides and a bottom below the lowest corner. The heights
// come from the cell's four corner heights in the vertex shader, so one
// piece serves every house however high the land stamped it; the skirts
// meet the land's edge at the cell border, so no gap opens between them.
#include <cstring>
#include <functional>
#include <map>

#include "tools/meshgen/meshgen.h"

namespace meshgen {

namespace {

constexpr float SKIRT_DEPTH = 1.5f;  // bottom below the lowest corner

struct HExpr {
  float cw[4] = {0, 0, 0, 0};
  float mx = 0, mn = 0, fix = 0, feat = 0;
};
HExpr bil(float u, float w) {
  HExpr e;
  e.cw[0] = (1 - u) * (1 - w);
  e.cw[1] = u * (1 - w);
  e.cw[2] = (1 - u) * w;
  e.cw[3] = u * w;
  return e;
}
HExpr corner(int k) {
  HExpr e;
  e.cw[k] = 1;
  return e;
}
HExpr edge_w0(float u) { return bil(u, 0); }   // projected onto the w = 0 side
HExpr edge_w1(float u) { return bil(u, 1); }   // onto the w = 1 side
HExpr highest() {
  HExpr e;
  e.mx = 1;
  return e;
}
HExpr bottom() {
  HExpr e;
  e.mn = 1;
  e.fix = -SKIRT_DEPTH;
  return e;
}
HExpr feat(HExpr e, float f) {
  e.feat += f;
  return e;
}

enum Material { STONE = 0, ROOF = 1, PAVING = 2 };

// The rule of the block a vertex belongs to: given the block's centre
// (cu, cw) and the vertex position (u, w).
using TopRule = std::function<HExpr(float cu, float cw, float u, float w)>;
using MaterialRule = std::function<int(float cu, float cw)>;

struct PieceSpec {
  std::string name;
  std::vector<float> xs, zs;  // block edges from 0 to 1
  TopRule top;
  MaterialRule material;
};

struct Builder {
  GenMesh out;
  std::map<std::vector<float>, uint16_t> index;

  static std::vector<float> key_of(float u, float w, const HExpr& e) {
    return {u, w, e.cw[0], e.cw[1], e.cw[2], e.cw[3], e.mx, e.mn, e.fix, e.feat};
  }
  uint16_t vertex(float u, float w, const HExpr& e, int material) {
    std::vector<float> k = key_of(u, w, e);
    std::vector<float> full = k;
    full.push_back(float(material));
    auto it = index.find(full);
    if (it != index.end()) return it->second;
    // Position (u, fix, w), corner weights, (mx, mn, feat, material).
    const float vert[11] = {u, e.fix, w, e.cw[0], e.cw[1], e.cw[2], e.cw[3], e.mx, e.mn, e.feat, float(material)};
    std::vector<uint8_t>& vb = out.data.vertices;
    size_t at = vb.size();
    vb.resize(at + BUILDING_STRIDE);
    std::memcpy(&vb[at], vert, sizeof(vert));
    uint16_t id = uint16_t(out.keys.size());
    out.keys.push_back(k);
    index[full] = id;
    return id;
  }
  void tri(uint16_t a, uint16_t b, uint16_t c) {
    if (out.keys[a] == out.keys[b] || out.keys[b] == out.keys[c] || out.keys[a] == out.keys[c]) return;
    out.data.indices.insert(out.data.indices.end(), {a, b, c});
  }
};

// Each block has its own vertices; grid points and block edges meet through
// vertical faces. Blocks outside the cell stand for the bottom, so the cell's
// sides come out of the same rule as the faces between blocks.
struct Grid {
  const PieceSpec& spec;
  Builder& b;
  int nx, nz;

  bool real(int i, int j) const { return i >= 0 && j >= 0 && i < nx && j < nz; }
  // Vertex of block (i, j) at grid point (gi, gj); material of the block or
  // `mat` when given.
  uint16_t at(int i, int j, int gi, int gj, int mat = -1) {
    float u = spec.xs[size_t(gi)], w = spec.zs[size_t(gj)];
    if (!real(i, j)) return b.vertex(u, w, bottom(), mat < 0 ? STONE : mat);
    float cu = 0.5f * (spec.xs[size_t(i)] + spec.xs[size_t(i + 1)]);
    float cw = 0.5f * (spec.zs[size_t(j)] + spec.zs[size_t(j + 1)]);
    return b.vertex(u, w, spec.top(cu, cw, u, w), mat < 0 ? spec.material(cu, cw) : mat);
  }
  void tops() {
    for (int j = 0; j < nz; j++)
      for (int i = 0; i < nx; i++) {
        uint16_t p00 = at(i, j, i, j), p10 = at(i, j, i + 1, j);
        uint16_t p01 = at(i, j, i, j + 1), p11 = at(i, j, i + 1, j + 1);
        b.tri(p00, p01, p11);
        b.tri(p00, p11, p10);
        // The bottom, facing down.
        uint16_t q00 = at(-1, -1, i, j), q10 = at(-1, -1, i + 1, j);
        uint16_t q01 = at(-1, -1, i, j + 1), q11 = at(-1, -1, i + 1, j + 1);
        b.tri(q00, q11, q01);
        b.tri(q00, q10, q11);
      }
  }
  // Faces between block (i, j) and its +u neighbour, along u = xs[i + 1].
  void faces_u() {
    for (int j = 0; j < nz; j++)
      for (int i = -1; i < nx; i++) {
        if (!real(i, j) && !real(i + 1, j)) continue;
        uint16_t a0 = at(i, j, i + 1, j, STONE), a1 = at(i, j, i + 1, j + 1, STONE);
        uint16_t b0 = at(i + 1, j, i + 1, j, STONE), b1 = at(i + 1, j, i + 1, j + 1, STONE);
        b.tri(a0, a1, b1);
        b.tri(a0, b1, b0);
      }
  }
  // Faces between block (i, j) and its +w neighbour, along w = zs[j + 1].
  void faces_w() {
    for (int j = -1; j < nz; j++)
      for (int i = 0; i < nx; i++) {
        if (!real(i, j) && !real(i, j + 1)) continue;
        uint16_t a0 = at(i, j, i, j + 1, STONE), a1 = at(i, j, i + 1, j + 1, STONE);
        uint16_t b0 = at(i, j + 1, i, j + 1, STONE), b1 = at(i, j + 1, i + 1, j + 1, STONE);
        b.tri(a1, a0, b0);
        b.tri(a1, b0, b1);
      }
  }
  // Where four blocks meet, the faces leave a vertical sliver open; close it.
  void corners() {
    for (int gj = 0; gj <= nz; gj++)
      for (int gi = 0; gi <= nx; gi++) {
        uint16_t a = at(gi - 1, gj - 1, gi, gj, STONE), bb = at(gi, gj - 1, gi, gj, STONE);
        uint16_t c = at(gi - 1, gj, gi, gj, STONE), d = at(gi, gj, gi, gj, STONE);
        // Open cycle a -> b -> d -> c; drop repeated points.
        std::vector<uint16_t> cyc;
        for (uint16_t v : {a, bb, d, c})
          if (cyc.empty() || b.out.keys[cyc.back()] != b.out.keys[v]) cyc.push_back(v);
        while (cyc.size() > 1 && b.out.keys[cyc.front()] == b.out.keys[cyc.back()]) cyc.pop_back();
        if (cyc.size() == 3) {
          b.tri(cyc[0], cyc[2], cyc[1]);
        } else if (cyc.size() == 4 && b.out.keys[cyc[0]] != b.out.keys[cyc[2]] &&
                   b.out.keys[cyc[1]] != b.out.keys[cyc[3]]) {
          b.tri(cyc[0], cyc[3], cyc[2]);
          b.tri(cyc[0], cyc[2], cyc[1]);
        }
      }
  }
};

GenMesh build_piece(const PieceSpec& spec) {
  Builder b;
  b.out.name = spec.name;
  Grid g{spec, b, int(spec.xs.size()) - 1, int(spec.zs.size()) - 1};
  g.tops();
  g.faces_u();
  g.faces_w();
  g.corners();
  auto& d = b.out.data;
  d.shaderLow = "building.sh";
  d.shaderHigh = "dr_building.sh";
  d.textures = {"castle.dds"};
  d.elements = {{0, 0, 3, 0, 0}, {12, 0, 4, 3, 0}, {28, 0, 4, 3, 1}};  // FLOAT3 POSITION0, FLOAT4 TEXCOORD0/1
  d.stride = BUILDING_STRIDE;
  // Sample placement: a cell rising toward its (1,1) corner.
  const float h[4] = {1.0f, 2.5f, 4.0f, 7.0f};
  for (size_t v = 0; v < b.out.keys.size(); v++) {
    const float* f = reinterpret_cast<const float*>(&d.vertices[v * BUILDING_STRIDE]);
    b.out.samplePos.push_back({f[0], building_height(f, h), f[2]});
  }
  return b.out;
}

const std::vector<float> FIFTHS = {0, 0.2f, 0.4f, 0.6f, 0.8f, 1};
const std::vector<float> WHOLE = {0, 1};
const std::vector<float> HALVES = {0, 0.5f, 1};

bool near(float a, float b) { return a > b - 1e-4f && a < b + 1e-4f; }
// Index of the fifth a coordinate lies in (even: merlon, odd: crenel).
int fifth(float c) { return int(c * 5); }

// Tower wall: a parapet of merlons and crenels along the low (outer) side,
// the walkway behind it at the height of the high side. `pinnacle` raises
// the middle merlon.
PieceSpec tower_wall(const std::string& name, float pinnacle) {
  PieceSpec s;
  s.name = name;
  s.xs = FIFTHS;
  s.zs = {0, 0.2f, 1};
  s.top = [pinnacle](float cu, float cw, float u, float) {
    HExpr top = edge_w1(u);
    if (cw > 0.2f) return top;
    int k = fifth(cu);
    float f = (k % 2) ? 0.45f : (k == 2 ? pinnacle : 1.0f);
    return feat(top, f);
  };
  s.material = [](float, float cw) { return cw > 0.2f ? PAVING : STONE; };
  return s;
}

// Tower corner: the parapet runs around the two low sides; the top is level
// with the highest corner (on an inner corner, where the piece does not rise
// toward (1,1), the parapet vanishes and the piece is a level walkway).
PieceSpec tower_corner() {
  PieceSpec s;
  s.name = "tower_corner";
  s.xs = FIFTHS;
  s.zs = FIFTHS;
  s.top = [](float cu, float cw, float, float) {
    HExpr top = highest();
    if (cu > 0.2f && cw > 0.2f) return top;
    float along = cu < 0.2f ? cw : cu;
    if (cu < 0.2f && cw < 0.2f) along = 0.1f;
    return feat(top, fifth(along) % 2 ? 0.45f : 1.0f);
  };
  s.material = [](float cu, float cw) { return cu > 0.2f && cw > 0.2f ? PAVING : STONE; };
  return s;
}

// Castle wall: a plinth and a sloping batter at the foot of the low side,
// then the sheer face up to the walkway at the height of the high side. A
// buttress in the middle on the variants that have one.
PieceSpec castle_wall(const std::string& name, bool buttress) {
  PieceSpec s;
  s.name = name;
  s.xs = buttress ? std::vector<float>{0, 0.4f, 0.6f, 1} : WHOLE;
  s.zs = {0, 0.12f, 0.3f, 1};
  s.top = [buttress](float cu, float cw, float u, float w) {
    if (cw > 0.3f || (buttress && cu > 0.4f && cu < 0.6f)) return edge_w1(u);
    if (cw < 0.12f) return feat(edge_w0(u), 0.8f);
    return feat(edge_w0(u), near(w, 0.12f) ? 0.8f : 2.0f);
  };
  s.material = [](float, float cw) { return cw > 0.3f ? PAVING : STONE; };
  return s;
}

// Blocks level with their nearest corner: steps between walkway, merlons
// and tower tops.
PieceSpec quadrants(const std::string& name) {
  PieceSpec s;
  s.name = name;
  s.xs = HALVES;
  s.zs = HALVES;
  s.top = [](float cu, float cw, float, float) { return corner((cu > 0.5f ? 1 : 0) + (cw > 0.5f ? 2 : 0)); };
  s.material = [](float, float) { return STONE; };
  return s;
}

// Merlon side: walkway on the low half, merlon on the high half.
PieceSpec merlon_wall(const std::string& name, bool notch) {
  PieceSpec s;
  s.name = name;
  s.xs = notch ? std::vector<float>{0, 0.42f, 0.58f, 1} : WHOLE;
  s.zs = HALVES;
  s.top = [notch](float cu, float cw, float u, float) {
    if (cw < 0.5f) return edge_w0(u);
    if (notch && cu > 0.42f && cu < 0.58f) return feat(edge_w1(u), -0.5f);
    return edge_w1(u);
  };
  s.material = [](float, float cw) { return cw < 0.5f ? PAVING : STONE; };
  return s;
}

// A flat top that follows the cell's corners.
PieceSpec level(const std::string& name, int material) {
  PieceSpec s;
  s.name = name;
  s.xs = WHOLE;
  s.zs = WHOLE;
  s.top = [](float, float, float u, float w) { return bil(u, w); };
  s.material = [material](float, float) { return material; };
  return s;
}

// A quarter of a pyramid roof whose apex stands over the (1,1) corner.
PieceSpec roof_corner() {
  PieceSpec s;
  s.name = "roof_corner";
  s.xs = WHOLE;
  s.zs = WHOLE;
  s.top = [](float, float, float u, float w) {
    if (u > 0.5f && w > 0.5f) return feat(corner(3), 3.5f);
    return bil(u, w);
  };
  s.material = [](float, float) { return ROOF; };
  return s;
}

}  // namespace

float building_height(const float* v, const float h[4]) {
  float mx = h[0], mn = h[0];
  for (int i = 1; i < 4; i++) {
    mx = h[i] > mx ? h[i] : mx;
    mn = h[i] < mn ? h[i] : mn;
  }
  float rise = h[3] - h[0];
  rise = rise < 0 ? 0 : rise > 1 ? 1 : rise;
  return v[3] * h[0] + v[4] * h[1] + v[5] * h[2] + v[6] * h[3] + v[7] * mx + v[8] * mn + v[1] + v[9] * rise;
}

std::vector<GenMesh> building_pieces() {
  std::vector<PieceSpec> specs = {
      roof_corner(),
      tower_corner(),
      tower_wall("tower_wall1", 1.0f),
      tower_wall("tower_wall2", 1.6f),
      level("castle_walk", PAVING),
      level("merlon_top", STONE),
      quadrants("merlon_corner"),
      merlon_wall("merlon_wall1", false),
      merlon_wall("merlon_wall2", true),
      castle_wall("castle_wall1", false),
      castle_wall("castle_wall2", true),
      castle_wall("castle_wall3", false),
      castle_wall("castle_wall4", true),
      castle_wall("castle_slant1", false),
      castle_wall("castle_slant2", false),
      castle_wall("castle_slant3", true),
      castle_wall("castle_slant4", true),
      tower_wall("castle_corner1", 1.0f),
      quadrants("castle_corner2"),
  };
  std::vector<GenMesh> out;
  for (const PieceSpec& s : specs) out.push_back(build_piece(s));
  return out;
}

}  // namespace meshgen
