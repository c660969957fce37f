// Binning of shadow balls into screen tiles and the instance split.
#include <gtest/gtest.h>

#include <cmath>

#include "render/shadows.h"


namespace {
// A camera at the origin looking down +z with a 90-degree view.
Matrix44 view_proj() {
  Matrix44 m = Matrix44::identity();
  float zf = 512, zn = 0.1f;
  m.at(2, 2) = zf / (zf - zn);
  m.at(2, 3) = 1;
  m.at(3, 2) = -zn * zf / (zf - zn);
  m.at(3, 3) = 0;
  return m;
}
vec4f extent(const Matrix44& m) {
  vec4f e;
  for (int c = 0; c < 4; c++) e[c] = std::fabs(m.at(0, c)) + std::fabs(m.at(1, c)) + std::fabs(m.at(2, c));
  return e;
}
int binned_tiles(const ShadowBins& b) {
  int n = 0;
  for (int r = 0; r < SHADOW_TILES_Y; r++)
    for (int c = 0; c < SHADOW_TILES_X; c++) n += b.sphereCount(c, r) > 0;
  return n;
}
const vec4f up_sun(0, 1, 0, 0);
}  // namespace

TEST(ShadowBins, CullsBallsBehindAndOutsideTheView) {
  ShadowBins b;
  b.clear();
  Matrix44 m = view_proj();
  b.bin(vec4f(0, 0, -20, 1), up_sun, m, extent(m));   // behind the camera
  b.bin(vec4f(500, 0, 20, 1), up_sun, m, extent(m));  // far to the right
  EXPECT_EQ(binned_tiles(b), 0);
  b.bin(vec4f(0, 0, 20, 1), up_sun, m, extent(m));  // straight ahead
  EXPECT_GT(binned_tiles(b), 0);
  EXPECT_LT(binned_tiles(b), 144);
  EXPECT_GT(b.sphereCount(8, 4) + b.sphereCount(7, 4), 0) << "the centre tiles";
}

TEST(ShadowBins, ThirteenSpheresSplitIntoEightFourAndOne) {
  ShadowBins b;
  b.clear();
  Matrix44 m = view_proj();
  // Tiny balls far ahead all land in the same centre tile.
  for (int i = 0; i < 13; i++) b.bin(vec4f(0.01f, 0.01f, 400, 0.001f), up_sun, m, extent(m));
  ASSERT_EQ(binned_tiles(b), 1);
  ShadowPassCounts n = count_shadow_instances(b);
  EXPECT_EQ(n.n8, 1);
  EXPECT_EQ(n.n4, 1);
  EXPECT_EQ(n.n2, 0);
  EXPECT_EQ(n.n1, 1);
  for (int i = 0; i < 3; i++) b.bin(vec4f(0.01f, 0.01f, 400, 0.001f), up_sun, m, extent(m));
  n = count_shadow_instances(b);
  EXPECT_EQ(n.n8, 2) << "16 spheres are two full blocks";
  EXPECT_EQ(n.n4 + n.n2 + n.n1, 0);
}

TEST(ShadowBins, AScreenCoveringBallLandsInEveryTileAndClearEmpties) {
  ShadowBins b;
  b.clear();
  Matrix44 m = view_proj();
  b.bin(vec4f(0, 0, 3, 2), up_sun, m, extent(m));
  EXPECT_EQ(binned_tiles(b), 144);
  b.clear();
  EXPECT_EQ(binned_tiles(b), 0);
  ShadowPassCounts n = count_shadow_instances(b);
  EXPECT_EQ(n.n8 + n.n4 + n.n2 + n.n1, 0);
}

TEST(ShadowBins, ShadowCentreMovesAwayFromTheSun) {
  ShadowBins b;
  b.clear();
  Matrix44 m = view_proj();
  // Sun to the right: the shadow falls to the left of a ball ahead.
  b.bin(vec4f(0, 0, 100, 5), vec4f(1, 0, 0, 0), m, extent(m));
  int left = 0, right = 0;
  for (int r = 0; r < SHADOW_TILES_Y; r++)
    for (int c = 0; c < SHADOW_TILES_X; c++) (c < 8 ? left : right) += b.sphereCount(c, r);
  EXPECT_GT(left, right);
}
