// Tests of the cell coverage: the worked cases, the first-row corners, and the area itself
// checked against a direct measurement for corners that lie on a plane.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "render/coverage.h"

namespace {

struct Cell {
  float a, b, c, d;
};

float Coverage(const Cell &cell, float threshold, int32_t *code = nullptr) {
  int32_t ignored;
  return CellCoverage(cell.a, cell.b, cell.c, cell.d, threshold, code ? code : &ignored);
}

TEST(CellCoverage, WorkedCases) {
  int32_t code = -1;
  EXPECT_EQ(CellCoverage(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, &code), 0.0f);  // at the threshold is not above
  EXPECT_EQ(code, 0);
  EXPECT_FLOAT_EQ(CellCoverage(1, 0, 0, 0, 0.5f, &code), 0.125f);
  EXPECT_EQ(code, 1);
  EXPECT_FLOAT_EQ(CellCoverage(1, 1, 0, 0, 0.5f, &code), 0.5f);
  EXPECT_EQ(code, 3);
  EXPECT_FLOAT_EQ(CellCoverage(1, 0, 0, 1, 0.5f, &code), 0.25f);  // a saddle: two corners, never a band
  EXPECT_EQ(code, 9);
  EXPECT_FLOAT_EQ(CellCoverage(0, 1, 1, 0, 0.5f, &code), 0.25f);
  EXPECT_EQ(code, 6);
  EXPECT_EQ(CellCoverage(2, 3, 4, 5, 0.5f, &code), 1.0f);
  EXPECT_EQ(code, 15);
  EXPECT_FLOAT_EQ(CellCoverageFraction(0, 1, 1, 1, 0.5f), 1.0f - 0.125f);
}

TEST(CellCoverage, FirstRowCornersStandInForTheBottomRight) {
  int32_t code = -1;
  // The previous row's corners a and b are missing: with c and d above, the cell is full.
  EXPECT_EQ(CellCoverage(kMissingCorner, kMissingCorner, 0.8f, 0.9f, 0.5f, &code), 1.0f);
  EXPECT_EQ(code, 15);
  // With only d above, a and b follow d: case 11 (c below), 1 - the triangle below at c.
  const float c = CellCoverage(kMissingCorner, kMissingCorner, 0.1f, 0.9f, 0.5f, &code);
  EXPECT_EQ(code, 11);
  const float d = 0.9f - 0.5f, cc = 0.1f - 0.5f, a = float(double(0.9f) + 0.00001) - 0.5f;
  const float up = a / (a - cc);      // edge a-c, measured from a
  const float across = d / (d - cc);  // edge c-d, measured from d
  EXPECT_FLOAT_EQ(c, 1.0f - (1.0f - up) * (1.0f - across) / 2.0f);
  // d below: every corner follows it, nothing is covered.
  EXPECT_EQ(CellCoverage(kMissingCorner, kMissingCorner, kMissingCorner, 0.2f, 0.5f, &code), 0.0f);
  EXPECT_EQ(code, 0);
  // Only an exact -2.0 is a missing mark; d itself is never replaced.
  EXPECT_EQ(CellCoverage(-2.0001f, -2.0001f, -2.0001f, kMissingCorner, -3.0f, &code), 1.0f);
  EXPECT_EQ(code, 15);
}

TEST(CellCoverage, MatchesTheMeasuredAreaOfAPlane) {
  // For corner values taken from a plane v = p + qx + ry, the boundary is a straight line that
  // crosses each edge exactly where the edge interpolation puts it, so every case but the
  // saddles (which a plane cannot make) must give the true area above the threshold.
  uint32_t state = 12345;
  auto next = [&]() {
    state = state * 1664525u + 1013904223u;
    return float(state >> 8) / 16777216.0f * 2.0f - 1.0f;
  };
  int seen[16] = {};
  for (int trial = 0; trial < 1000; ++trial) {
    const double p = next(), q = next() * 2.0, r = next() * 2.0;
    const Cell cell = {float(p), float(p + q), float(p + r), float(p + q + r)};
    int32_t code;
    const float got = Coverage(cell, 0.0f, &code);
    seen[code]++;
    const int n = 128;
    int inside = 0;
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const double x = (i + 0.5) / n, y = (j + 0.5) / n;
        inside += (p + q * x + r * y) > 0.0;
      }
    }
    ASSERT_NEAR(got, double(inside) / (n * n), 0.01) << "case " << code << " trial " << trial;
  }
  for (int code = 0; code < 16; ++code) {
    if (code != 6 && code != 9) {
      EXPECT_GT(seen[code], 0) << "case " << code << " never drawn";
    }
  }
}

TEST(CellCoverage, SymmetricUnderMirrorsAndComplement) {
  uint32_t state = 99;
  auto next = [&]() {
    state = state * 1664525u + 1013904223u;
    return float(state >> 8) / 16777216.0f * 2.0f - 1.0f;
  };
  for (int trial = 0; trial < 20000; ++trial) {
    const Cell v = {next(), next(), next(), next()};
    int32_t code;
    const float base = Coverage(v, 0.0f, &code);
    ASSERT_GE(base, 0.0f);
    ASSERT_LE(base, 1.0f);
    // Left-right and top-bottom mirrors and the transpose describe the same square.
    EXPECT_NEAR(Coverage({v.b, v.a, v.d, v.c}, 0.0f), base, 1e-6f);
    EXPECT_NEAR(Coverage({v.c, v.d, v.a, v.b}, 0.0f), base, 1e-6f);
    EXPECT_NEAR(Coverage({v.a, v.c, v.b, v.d}, 0.0f), base, 1e-6f);
    // Negating every corner swaps the two sides, except in the saddles, where the middle band
    // belongs to neither side.
    if (code != 6 && code != 9) {
      EXPECT_NEAR(Coverage({-v.a, -v.b, -v.c, -v.d}, 0.0f) + base, 1.0f, 1e-5f);
    }
  }
}

TEST(CellCoverage, HostileValuesGiveAFraction) {
  EXPECT_EQ(CellCoverageFraction(NAN, 0, 0, 0, 0.5f), 0.0f);
  EXPECT_EQ(CellCoverageFraction(INFINITY, 0, 0, 0, 0.5f), 0.0f);  // inf / inf
  const float f = CellCoverageFraction(3.0e38f, -3.0e38f, 0, 0, 0.0f);
  EXPECT_GE(f, 0.0f);
  EXPECT_LE(f, 1.0f);
  EXPECT_EQ(CellCoverageFraction(1, 1, 1, 1, NAN), 0.0f);  // nothing is above a NaN
}

// The inline form with its quick whole-cell answers against the general form, bit for bit, over
// corners drawn around the threshold: on it, a step either side, just under it (where a missing
// corner's stand-in rises above), the missing mark itself, far values, infinities and NaN.
TEST(CellCoverage, QuickFormMatchesTheGeneralForm) {
  const float t = 0.25f;
  const float just = std::nextafter(t, 1.0f), under = std::nextafter(t, 0.0f);
  const float values[] = {t, just, under, t - 0.000005f, kMissingCorner, -1.0f, 3.0f, -INFINITY, INFINITY, NAN,
                          0.2f, 0.3f};
  constexpr int kCount = sizeof values / sizeof values[0];
  int32_t checked = 0;
  for (int ia = 0; ia < kCount; ia++) {
    for (int ib = 0; ib < kCount; ib++) {
      for (int ic = 0; ic < kCount; ic++) {
        for (int id = 0; id < kCount; id++) {
          const float a = values[ia], b = values[ib], c = values[ic], d = values[id];
          if (d == kMissingCorner) continue;  // the pixel's own corner is always real
          const float quick = CellCoverageQuick(a, b, c, d, t), general = CellCoverageFraction(a, b, c, d, t);
          uint32_t q, g;
          std::memcpy(&q, &quick, sizeof q);
          std::memcpy(&g, &general, sizeof g);
          ASSERT_EQ(q, g) << a << " " << b << " " << c << " " << d;
          checked++;
        }
      }
    }
  }
  EXPECT_GT(checked, 10000);
  // The first row over a pixel just under the threshold: the stand-ins lie above it.
  EXPECT_GT(CellCoverageQuick(kMissingCorner, kMissingCorner, kMissingCorner, t - 0.000005f, t), 0.5f);
}

TEST(ClampCoverage, AboveOneIsFullNotEmpty) {
  EXPECT_EQ(ClampCoverage(1.5f), 1.0f);
  EXPECT_EQ(ClampCoverage(INFINITY), 1.0f);
  EXPECT_EQ(ClampCoverage(1.0f), 1.0f);
  EXPECT_EQ(ClampCoverage(0.25f), 0.25f);
  EXPECT_EQ(ClampCoverage(-0.1f), 0.0f);
  EXPECT_EQ(ClampCoverage(NAN), 0.0f);
}

}  // namespace
