// Tests of the noise tables and the gradient noise.
//
// The noise is checked against a reference written straight from the definition (the fade in
// double precision, the floor through a double subtraction, one corner at a time), bit for bit,
// so the vectorised evaluation in the product cannot drift from it unnoticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "plugin/globals.h"
#include "plugin/parameters.h"
#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

// ---- The reference ---------------------------------------------------------------------------

// Truncation toward zero that is defined for every float: values outside the 32-bit range and
// NaN give INT32_MIN, as the processor's conversion does.
int32_t SafeTrunc(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return int32_t(v);
}

struct RefAxis {
  int32_t i, i1;
  float f, f1, s;
};

RefAxis RefSetup(float c) {
  RefAxis a;
  const float t = c + 4096.0f;
  a.i = SafeTrunc(t) & 255;
  a.i1 = (a.i + 1) & 255;
  const int32_t floorT = t >= 0.0f ? SafeTrunc(t) : SafeTrunc(double(t) - 1.0);
  a.f = t - float(floorT);
  a.f1 = float(double(a.f) - 1.0);
  const float ff = a.f * a.f;
  a.s = float((3.0 - 2.0 * double(a.f)) * double(ff));
  return a;
}

float RefDot(const float g[3], float x, float y, float z) { return g[0] * x + g[1] * y + g[2] * z; }
float RefLerp(float s, float a, float b) { return (b - a) * s + a; }

float ReferenceNoise(const NoiseTables &t, float x, float y, float z) {
  const RefAxis ax = RefSetup(x), ay = RefSetup(y), az = RefSetup(z);
  const int32_t p0 = t.P[ax.i], p1 = t.P[ax.i1];
  const int32_t h00 = t.P[ay.i + p0], h10 = t.P[ay.i + p1];
  const int32_t h01 = t.P[ay.i1 + p0], h11 = t.P[ay.i1 + p1];
  const float n000 = RefDot(t.G3[h00 + az.i], ax.f, ay.f, az.f);
  const float n100 = RefDot(t.G3[h10 + az.i], ax.f1, ay.f, az.f);
  const float n010 = RefDot(t.G3[h01 + az.i], ax.f, ay.f1, az.f);
  const float n110 = RefDot(t.G3[h11 + az.i], ax.f1, ay.f1, az.f);
  const float n001 = RefDot(t.G3[h00 + az.i1], ax.f, ay.f, az.f1);
  const float n101 = RefDot(t.G3[h10 + az.i1], ax.f1, ay.f, az.f1);
  const float n011 = RefDot(t.G3[h01 + az.i1], ax.f, ay.f1, az.f1);
  const float n111 = RefDot(t.G3[h11 + az.i1], ax.f1, ay.f1, az.f1);
  const float y0 = RefLerp(ay.s, RefLerp(ax.s, n000, n100), RefLerp(ax.s, n010, n110));
  const float y1 = RefLerp(ay.s, RefLerp(ax.s, n001, n101), RefLerp(ax.s, n011, n111));
  return RefLerp(az.s, y0, y1);
}

// ---- Helpers -----------------------------------------------------------------------------------

std::unique_ptr<NoiseTables> MakeTables(uint32_t seed) {
  auto tables = std::make_unique<NoiseTables>();
  std::memset(tables.get(), 0xA5, sizeof(NoiseTables));
  SeedNoiseTablesIn(tables.get(), seed);
  InitGradientTablesIn(tables.get(), seed);
  return tables;
}

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// A small deterministic generator for test points.
struct Lcg {
  uint32_t state;
  float Next(float lo, float hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * float(state >> 8) * (1.0f / 16777216.0f);
  }
};

// ---- Fixed data --------------------------------------------------------------------------------

TEST(NoiseSeedTable, HasTheStatedValuesAndProperties) {
  const uint32_t first[16] = {1317, 807, 1939, 1586, 314, 127, 1935, 1264, 1847, 969, 1075, 1400, 1616, 1864, 282, 1750};
  const uint32_t last[8] = {846, 557, 4, 1845, 955, 26, 391, 1023};
  for (int k = 0; k < 16; ++k) EXPECT_EQ(NoiseSeedTable[k], first[k]) << k;
  for (int k = 0; k < 8; ++k) EXPECT_EQ(NoiseSeedTable[2040 + k], last[k]) << k;

  std::vector<int> counts(2048, 0);
  std::set<uint32_t> lowBytes;
  for (int k = 0; k < 2048; ++k) {
    ASSERT_LT(NoiseSeedTable[k], 2048u);
    counts[NoiseSeedTable[k]]++;
    lowBytes.insert(NoiseSeedTable[k] & 255);
  }
  int distinct = 0, most = 0;
  for (int c : counts) {
    distinct += c > 0;
    most = std::max(most, c);
  }
  EXPECT_EQ(distinct, 1345);
  EXPECT_EQ(most, 5);
  EXPECT_EQ(lowBytes.size(), 256u);
}

TEST(ImprovedNoisePermutation, IsThePublishedPermutation) {
  std::set<int32_t> values(kImprovedNoiseBasePermutation, kImprovedNoiseBasePermutation + 256);
  EXPECT_EQ(values.size(), 256u);
  EXPECT_EQ(*values.begin(), 0);
  EXPECT_EQ(*values.rbegin(), 255);
  const int32_t head[6] = {151, 160, 137, 91, 90, 15};
  const int32_t tail[4] = {215, 61, 156, 180};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(kImprovedNoiseBasePermutation[k], head[k]);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(kImprovedNoiseBasePermutation[252 + k], tail[k]);
}

// ---- Seeding -------------------------------------------------------------------------------------

TEST(SeedNoiseTables, SeedsTwoThousandFortyEightApartGiveTheSameTables) {
  for (uint32_t seed : {0u, 1u, 777u, 2047u, 0xFFFFF805u}) {
    auto a = MakeTables(seed);
    auto b = MakeTables(seed + 2048u);  // wraps for the last seed
    EXPECT_EQ(std::memcmp(a.get(), b.get(), sizeof(NoiseTables)), 0) << seed;
  }
  // ... and different seeds give different planets.
  auto a = MakeTables(5);
  auto b = MakeTables(6);
  EXPECT_NE(std::memcmp(a->A, b->A, sizeof a->A), 0);
  EXPECT_NE(std::memcmp(a->P, b->P, sizeof a->P), 0);
}

TEST(SeedNoiseTables, ValueTablesFollowTheSeedTable) {
  auto t = MakeTables(1234);
  for (int k = 0; k < 2048; ++k) {
    EXPECT_EQ(t->B[k], NoiseSeedTable[k]);
    ASSERT_LT(t->A[k], 256u);
    EXPECT_NEAR(t->F[k] * 255.0f, float(t->A[k]), 1e-4f);
  }
}

TEST(SeedNoiseTables, EachStepCarriesItsValueOnAndRestoresItsBase) {
  // The net effect of step k, as the tables are defined: A[j] takes the value A[k] held before
  // the step and A[k] returns to its base value (when j = k the exchange does nothing and the
  // reset still happens). Values carried to a later position travel on with the later steps.
  for (uint32_t seed : {0u, 17u, 1999u}) {
    std::vector<uint32_t> A(2048);
    for (int k = 0; k < 2048; ++k) A[k] = NoiseSeedTable[k] & 255;
    for (uint32_t k = 0; k < 2048; ++k) {
      const uint32_t j = NoiseSeedTable[(seed + k) & 2047];
      const uint32_t before = A[k];
      A[j] = before;
      A[k] = NoiseSeedTable[k] & 255;
    }
    auto t = MakeTables(seed);
    for (int k = 0; k < 2048; ++k) ASSERT_EQ(t->A[k], A[k]) << "seed " << seed << " entry " << k;
  }
}

// ---- Gradients and permutation -------------------------------------------------------------------

TEST(InitGradientTables, PermutationAndCopiedTails) {
  for (uint32_t seed : {0u, 3u, 1500u}) {
    auto t = MakeTables(seed);
    std::set<int32_t> values(t->P, t->P + 256);
    EXPECT_EQ(values.size(), 256u);
    EXPECT_EQ(*values.begin(), 0);
    EXPECT_EQ(*values.rbegin(), 255);
    for (int i = 0; i < 258; ++i) {
      EXPECT_EQ(t->P[256 + i], t->P[i]);
      EXPECT_EQ(t->G1[256 + i], t->G1[i]);
      EXPECT_EQ(std::memcmp(t->G2[256 + i], t->G2[i], sizeof t->G2[i]), 0);
      EXPECT_EQ(std::memcmp(t->G3[256 + i], t->G3[i], sizeof t->G3[i]), 0);
    }
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(t->IP[i], kImprovedNoiseBasePermutation[(seed + i) & 255]);
      EXPECT_EQ(t->IP[256 + i], t->IP[i]);
    }
  }
}

TEST(InitGradientTables, GradientsAreUnitVectorsFromTheDocumentedDraws) {
  auto t = MakeTables(2024);
  auto component = [&](uint32_t drawIndex) {
    const uint32_t a = t->A[drawIndex & 2047];
    return float(int32_t((a * 257u) % 512u) - 256) / 256.0f;
  };
  for (int i = 0; i < 514; ++i) {
    const float *g = t->G3[i];
    EXPECT_NEAR(std::sqrt(double(g[0]) * g[0] + double(g[1]) * g[1] + double(g[2]) * g[2]), 1.0, 1e-6) << i;
    EXPECT_NEAR(std::sqrt(double(t->G2[i][0]) * t->G2[i][0] + double(t->G2[i][1]) * t->G2[i][1]), 1.0, 1e-6) << i;
  }
  for (int i = 0; i < 256; ++i) {
    // Six draws per entry from index 39 on, two apart: G1 is the first, unnormalised.
    const uint32_t d = 39 + 12 * uint32_t(i);
    EXPECT_EQ(t->G1[i], component(d)) << i;
    EXPECT_NE(t->G1[i], 0.0f);
    // G3 points along its three raw components (d + 6, d + 8, d + 10), none of them 0.
    const float raw[3] = {component(d + 6), component(d + 8), component(d + 10)};
    const double length = std::sqrt(double(raw[0]) * raw[0] + double(raw[1]) * raw[1] + double(raw[2]) * raw[2]);
    for (int c = 0; c < 3; ++c) {
      EXPECT_NE(raw[c], 0.0f);
      EXPECT_NEAR(t->G3[i][c], raw[c] / length, 1e-6) << i << " " << c;
    }
  }
}

TEST(NormalizeVector, ScalesToUnitLength) {
  float v3[3] = {3.0f, -4.0f, 12.0f};
  NormalizeVector3f(v3);
  EXPECT_FLOAT_EQ(v3[0], 3.0f / 13.0f);
  EXPECT_FLOAT_EQ(v3[1], -4.0f / 13.0f);
  EXPECT_FLOAT_EQ(v3[2], 12.0f / 13.0f);
  float v2[2] = {-0.00390625f, 0.00390625f};  // the smallest gradient components
  NormalizeVector2f(v2);
  EXPECT_FLOAT_EQ(v2[0], -0.70710678f);
  EXPECT_FLOAT_EQ(v2[1], 0.70710678f);
}

// ---- The noise ---------------------------------------------------------------------------------

TEST(GradientNoise3, ZeroAtEveryLatticePoint) {
  auto t = MakeTables(42);
  for (int x = -4000; x <= 4000; x += 397) {
    for (int y = -300; y <= 300; y += 7) {
      for (int z : {-4095, -1, 0, 1, 255, 256, 1000, 100000}) {
        EXPECT_EQ(GradientNoise3Tables(t.get(), float(x), float(y), float(z)), 0.0f) << x << " " << y << " " << z;
      }
    }
  }
}

TEST(GradientNoise3, PeriodicWithTwoHundredFiftySix) {
  auto t = MakeTables(7);
  Lcg rng{11};
  for (int k = 0; k < 20000; ++k) {
    // Fractions on a 2^-10 grid, so that c + 4096 and c + 256 + 4096 hold the same fraction in
    // every binade involved.
    const float x = std::round(rng.Next(-3800.0f, 3500.0f) * 1024.0f) / 1024.0f;
    const float y = std::round(rng.Next(-50.0f, 50.0f) * 1024.0f) / 1024.0f;
    const float z = std::round(rng.Next(0.0f, 200.0f) * 1024.0f) / 1024.0f;
    const float v = GradientNoise3Tables(t.get(), x, y, z);
    EXPECT_EQ(Bits(v), Bits(GradientNoise3Tables(t.get(), x + 256.0f, y, z)));
    EXPECT_EQ(Bits(v), Bits(GradientNoise3Tables(t.get(), x, y + 256.0f, z)));
    EXPECT_EQ(Bits(v), Bits(GradientNoise3Tables(t.get(), x, y, z - 256.0f)));
  }
}

TEST(GradientNoise3, ContinuousAcrossCellFaces) {
  // Just below and at a face the values differ by about the gradient bound times the step
  // (2^-11 at these coordinates); a wrong corner pairing would jump by tenths.
  auto t = MakeTables(1000);
  Lcg rng{5};
  float worst = 0.0f;
  for (int k = 0; k < 20000; ++k) {
    const float face = std::floor(rng.Next(0.0f, 3000.0f));
    const float a = rng.Next(0.0f, 3000.0f);
    const float b = rng.Next(0.0f, 3000.0f);
    const float below = std::nextafter(face + 4096.0f, 0.0f) - 4096.0f;
    for (int axis = 0; axis < 3; ++axis) {
      float p[3] = {a, b, a + b}, q[3] = {a, b, a + b};
      p[axis] = face;
      q[axis] = below;
      const float d = std::fabs(GradientNoise3Tables(t.get(), p[0], p[1], p[2]) -
                                GradientNoise3Tables(t.get(), q[0], q[1], q[2]));
      worst = std::max(worst, d);
    }
  }
  EXPECT_LT(worst, 0.005f);
}

TEST(GradientNoise3, StaysWithinUnitRange) {
  auto t = MakeTables(321);
  Lcg rng{77};
  float lo = 0.0f, hi = 0.0f;
  double sum = 0.0;
  const int n = 200000;
  for (int k = 0; k < n; ++k) {
    const float v = GradientNoise3Tables(t.get(), rng.Next(-500.0f, 500.0f), rng.Next(-500.0f, 500.0f),
                                         rng.Next(-500.0f, 500.0f));
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    sum += v;
  }
  EXPECT_GT(lo, -1.0f);
  EXPECT_LT(hi, 1.0f);
  EXPECT_LT(hi - lo, 2.0f);
  EXPECT_GT(hi - lo, 0.8f);  // a real noise, not a constant
  EXPECT_NEAR(sum / n, 0.0, 0.02);
}

TEST(GradientNoise3, MatchesTheReferenceBitForBit) {
  auto t = MakeTables(2047);
  Lcg rng{1};
  struct Range {
    float lo, hi;
  };
  // The renderer's coordinates, the cloud octaves' large ones, and (not relied on, but defined)
  // coordinates below -4096 where index and floor disagree.
  const Range ranges[] = {{-2.0f, 2.0f}, {-4095.0f, 4095.0f}, {1.0e4f, 2.0e6f}, {-3.0e4f, -4096.0f}, {-4097.0f, -4095.0f}};
  uint64_t compared = 0;
  for (const Range &r : ranges) {
    for (int k = 0; k < 80000; ++k) {
      const float x = rng.Next(r.lo, r.hi), y = rng.Next(r.lo, r.hi), z = rng.Next(r.lo, r.hi);
      const float got = GradientNoise3Tables(t.get(), x, y, z);
      const float want = ReferenceNoise(*t, x, y, z);
      ASSERT_EQ(Bits(got), Bits(want)) << x << " " << y << " " << z;
      ++compared;
    }
  }
  // Points on and next to lattice planes, where signs of zero and f = 1 show.
  for (int k = 0; k < 30000; ++k) {
    float p[3];
    for (float &c : p) {
      const float base = std::floor(rng.Next(-4200.0f, 300.0f));
      const int pick = int(rng.Next(0.0f, 3.0f));
      c = pick == 0 ? base : pick == 1 ? std::nextafter(base, -1e9f) : std::nextafter(base, 1e9f);
    }
    ASSERT_EQ(Bits(GradientNoise3Tables(t.get(), p[0], p[1], p[2])), Bits(ReferenceNoise(*t, p[0], p[1], p[2])))
        << p[0] << " " << p[1] << " " << p[2];
    ++compared;
  }
  EXPECT_EQ(compared, 430000u);
}

TEST(GradientNoise3, ExtremeCoordinatesAreDefined) {
  // Unchecked descriptor values can send anything here; the result is not relied on, but it must
  // be computed without undefined behaviour (the sanitizers watch this test).
  auto t = MakeTables(8);
  const float specials[] = {NAN, INFINITY, -INFINITY, 3.0e38f, -3.0e38f, 2147483648.0f, -2147483648.0f,
                            -2147487744.0f, 1.0e-40f, -4096.0f};
  for (float a : specials) {
    for (float b : {0.5f, a}) {
      const float got = GradientNoise3Tables(t.get(), a, b, 0.25f);
      const float want = ReferenceNoise(*t, a, b, 0.25f);
      if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got)) << a;
      } else {
        EXPECT_EQ(Bits(got), Bits(want)) << a;
      }
    }
  }
}

TEST(GradientNoise3Many, EqualsOnePointAtATime) {
  auto t = MakeTables(555);
  Lcg rng{9};
  std::vector<float> points(3 * 1003);
  for (float &c : points) c = rng.Next(-3000.0f, 3000.0f);
  points[0] = 12.0f;  // a lattice coordinate in the first lane
  points[10] = NAN;   // and a NaN in the fourth
  for (int count : {0, 1, 3, 4, 5, 8, 13, 1003}) {
    std::vector<float> out(size_t(count) + 1, 99.0f);
    GradientNoise3Many(t.get(), points.data(), out.data(), count);
    for (int k = 0; k < count; ++k) {
      const float one = GradientNoise3Tables(t.get(), points[3 * k], points[3 * k + 1], points[3 * k + 2]);
      if (std::isnan(one)) {
        EXPECT_TRUE(std::isnan(out[k]));
      } else {
        ASSERT_EQ(Bits(out[k]), Bits(one)) << count << " " << k;
      }
    }
    EXPECT_EQ(out[size_t(count)], 99.0f);  // nothing written past the end
  }
}

// The batch noise's processor paths this machine can run, by name.
using BatchNoise = void (*)(const NoiseTables *, const float *, float *, int32_t);
using BatchPath = std::pair<const char *, BatchNoise>;
std::vector<BatchPath> BatchPaths() {
  std::vector<BatchPath> paths = {{"sse2", GradientNoise3ManySse2}};
  if (ProcessorHasAvx2()) paths.push_back({"avx2", GradientNoise3ManyAvx2});
  return paths;
}

// How many of the points (x, y, z after one another) get other bits from one batch through
// `noise` than from the reference.
int32_t DifferingFromReference(const NoiseTables &t, BatchNoise noise, const std::vector<float> &points) {
  const int32_t total = int32_t(points.size() / 3);
  std::vector<float> got(static_cast<size_t>(total));
  noise(&t, points.data(), got.data(), total);
  int32_t differing = 0;
  for (int32_t k = 0; k < total; k++) {
    differing += Bits(got[size_t(k)]) != Bits(ReferenceNoise(t, points[3 * k], points[3 * k + 1], points[3 * k + 2]));
  }
  return differing;
}

// Both processor paths of the batch noise against the scalar reference, over every range of
// coordinates the reference test covers, lattice planes, and every remainder of a batch.
TEST(GradientNoise3Many, EveryProcessorPathEqualsTheReference) {
  auto t = MakeTables(1234);
  Lcg rng{77};
  std::vector<float> points;
  const float ranges[][2] = {{-2.0f, 2.0f}, {-4095.0f, 4095.0f}, {1.0e4f, 2.0e6f}, {-3.0e4f, -4096.0f}};
  for (const auto &r : ranges) {
    for (int k = 0; k < 3 * 40000; ++k) points.push_back(rng.Next(r[0], r[1]));
  }
  for (int k = 0; k < 3 * 20000; ++k) {
    const float base = std::floor(rng.Next(-4200.0f, 300.0f));
    const int pick = int(rng.Next(0.0f, 3.0f));
    points.push_back(pick == 0 ? base : pick == 1 ? std::nextafter(base, -1e9f) : std::nextafter(base, 1e9f));
  }
  const int32_t total = int32_t(points.size() / 3);
  std::vector<float> want(static_cast<size_t>(total));
  for (int32_t k = 0; k < total; ++k) want[size_t(k)] = ReferenceNoise(*t, points[3 * k], points[3 * k + 1], points[3 * k + 2]);

  const std::vector<BatchPath> paths = BatchPaths();
  if (paths.size() == 1) std::printf("this processor has no AVX2: only the SSE2 path is compared\n");
  for (const auto &path : paths) {
    // Batches of every size from 1 to 19 in turn, as the fractal sums make them.
    std::vector<float> got(size_t(total) + 1, 99.0f);
    int32_t done = 0, size = 1;
    while (done < total) {
      const int32_t count = std::min(size, total - done);
      path.second(t.get(), points.data() + 3 * done, got.data() + done, count);
      done += count;
      size = size % 19 + 1;
    }
    int32_t differing = 0;
    for (int32_t k = 0; k < total; ++k) differing += Bits(got[size_t(k)]) != Bits(want[size_t(k)]);
    EXPECT_EQ(differing, 0) << path.first;
    EXPECT_EQ(got[size_t(total)], 99.0f) << path.first;   // nothing written past the end
  }
}

// Coordinates far outside the renderer's, through both batch paths in every lane and around the
// ends of a run: negative t whose floor is trunc(t) - 1 as an integer (which a float floor gets
// wrong at whole numbers, and float(trunc(t)) - 1 only matches by rounding the same integer),
// t at and beyond -2^31 where the conversion gives INT32_MIN and the floor must stay there,
// infinities and NaNs of either sign. Each value against the one-point form bit for bit (a NaN
// only as a NaN) and against the reference where that is a number.
TEST(GradientNoise3Many, HostileCoordinatesInEveryLaneEqualTheOnePointForm) {
  auto t = MakeTables(99);
  Lcg rng{31};
  std::vector<float> hostile = {NAN, -NAN, INFINITY, -INFINITY, 3.0e38f, -3.0e38f, 2147483648.0f, -2147483648.0f,
                                -2147483648.0f - 4096.0f, -2147483904.0f, -2147483520.0f, -1.0e9f, -4097.0f, -4098.0f,
                                -4096.5f, std::nextafter(-4096.0f, -1e9f), -8192.0f, -33558528.0f, -33558532.0f,
                                -16781314.0f, -16781313.0f, -12587009.5f, 1.0e-40f, -1.0e-40f};
  for (int k = 0; k < 64; ++k) {
    // Negative floats from 2^12 to 2^40 in magnitude, with every low mantissa pattern.
    const uint32_t bits = 0x80000000u | uint32_t(127 + 12 + k % 29) << 23 | (uint32_t(rng.Next(0.0f, 8388608.0f)) & 0x7FFFFFu);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    hostile.push_back(v);
  }
  std::vector<float> points;
  for (size_t k = 0; k < 3 * 2000; ++k) {
    const bool pick = rng.Next(0.0f, 1.0f) < 0.4f;
    points.push_back(pick ? hostile[size_t(rng.Next(0.0f, float(hostile.size()))) % hostile.size()] : rng.Next(-300.0f, 300.0f));
  }
  const int32_t total = int32_t(points.size() / 3);
  const std::vector<BatchPath> paths = BatchPaths();
  for (const auto &path : paths) {
    // Batches that end inside and at the edges of a run, and a short tail after whole groups.
    int32_t done = 0, step = 0;
    const int32_t sizes[] = {1, 7, 8, 9, 63, 64, 65, 71, 72, 127, 128, 129, 200};
    std::vector<float> got(static_cast<size_t>(total));
    while (done < total) {
      const int32_t count = std::min(sizes[step++ % 13], total - done);
      path.second(t.get(), points.data() + 3 * done, got.data() + done, count);
      done += count;
    }
    int32_t differing = 0, checked = 0;
    for (int32_t k = 0; k < total; ++k) {
      const float x = points[3 * k], y = points[3 * k + 1], z = points[3 * k + 2];
      const float one = GradientNoise3Tables(t.get(), x, y, z);
      const float want = ReferenceNoise(*t, x, y, z);
      const float g = got[size_t(k)];
      const bool same = std::isnan(one) ? std::isnan(g) : Bits(g) == Bits(one);
      differing += !same || (!std::isnan(want) && Bits(g) != Bits(want));
      checked += !std::isnan(want);
    }
    EXPECT_EQ(differing, 0) << path.first;
    EXPECT_GT(checked, total / 2) << path.first;
  }
}

// The batch paths read a cell's wrapped neighbour (cell 255 next to cell 0) as the next table
// entry, relying on the copied tails of P and G3. Points in the last cell of one, two or all
// three axes, at the edges of that cell, in every lane of a batch, against the reference.
TEST(GradientNoise3Many, WrappedCellsEqualTheReference) {
  auto t = MakeTables(321);
  Lcg rng{5};
  // Coordinates whose cell index is 255: t = c + 4096 in [255, 256) modulo 256.
  const float lastCell[] = {-3841.0f, -3840.5f, std::nextafter(-3840.0f, -5000.0f), 255.0f, 255.75f, -1.0f,
                            -0.25f, std::nextafter(0.0f, -1.0f), 511.5f};
  std::vector<float> points;
  for (int k = 0; k < 9 * 64; k++) {
    const int mask = 1 + k % 7;   // which axes sit in the last cell
    for (int axis = 0; axis < 3; axis++) {
      const bool wrapped = (mask >> axis) & 1;
      points.push_back(wrapped ? lastCell[(k / 7 + axis) % 9] : rng.Next(-300.0f, 300.0f));
    }
  }
  const int32_t total = int32_t(points.size() / 3);
  const std::vector<BatchPath> paths = BatchPaths();
  int32_t wrappedSeen = 0;
  for (int32_t k = 0; k < total; k++) {
    const float tx = points[3 * k] + 4096.0f;
    wrappedSeen += (int32_t(tx) & 255) == 255;
  }
  EXPECT_GT(wrappedSeen, total / 3);
  for (const auto &path : paths) {
    std::vector<float> got(static_cast<size_t>(total));
    path.second(t.get(), points.data(), got.data(), total);
    for (int32_t k = 0; k < total; k++) {
      const float want = ReferenceNoise(*t, points[3 * k], points[3 * k + 1], points[3 * k + 2]);
      ASSERT_EQ(Bits(got[size_t(k)]), Bits(want))
          << path.first << " " << points[3 * k] << " " << points[3 * k + 1] << " " << points[3 * k + 2];
    }
  }
}

// The batch paths take the four corner hashes of a lattice column from a table made from P with
// the gradients. A point in every column (ix, iy), on both sides of zero, through both paths,
// against the reference that hashes through P itself; then the same tables seeded again, so a
// column table left over from the first seed would show.
TEST(GradientNoise3Many, EveryLatticeColumnEqualsTheReference) {
  auto t = MakeTables(7);
  const std::vector<BatchPath> paths = BatchPaths();
  for (uint32_t seed : {7u, 2000u}) {
    SeedNoiseTablesIn(t.get(), seed);
    InitGradientTablesIn(t.get(), seed);
    Lcg rng{seed};
    std::vector<float> points;
    for (int32_t ix = 0; ix < 256; ix++) {
      for (int32_t iy = 0; iy < 256; iy++) {
        const float below = (ix + iy) % 3 == 0 ? -256.0f : 0.0f;   // the same cells, 256 lower
        points.push_back(float(ix) + below + rng.Next(0.0f, 0.99f));
        points.push_back(float(iy) + below + rng.Next(0.0f, 0.99f));
        points.push_back(rng.Next(-300.0f, 300.0f));
      }
    }
    for (const auto &path : paths) {
      EXPECT_EQ(DifferingFromReference(*t, path.second, points), 0) << path.first << " seed " << seed;
    }
  }
}

// The batch paths read each corner pair's gradients from a row made for them, one row for every
// corner hash plus z cell, 0..510; the last rows pair gradients across the copied tail of G3.
// Column ix = 0 has every hash 0..255 at some iy, so all iy and iz there read every row, each at
// corners (dx, dy) = 00 and in lanes that shift with iy, through both paths.
TEST(GradientNoise3Many, EveryGradientPairRowEqualsTheReference) {
  auto t = MakeTables(4242);
  const std::vector<BatchPath> paths = BatchPaths();
  Lcg rng{11};
  std::vector<float> points;
  std::vector<bool> rowSeen(511, false);
  for (int32_t iz = 0; iz < 256; iz++) {
    for (int32_t iy = 0; iy < 256; iy++) {
      rowSeen[size_t(t->P[iy + t->P[0]] + iz)] = true;
      points.push_back(rng.Next(0.0f, 0.99f));
      points.push_back(float(iy) + rng.Next(0.0f, 0.99f));
      points.push_back(float(iz) - 256.0f + rng.Next(0.0f, 0.99f));
    }
  }
  EXPECT_EQ(std::count(rowSeen.begin(), rowSeen.end(), true), 511);
  for (const auto &path : paths) {
    EXPECT_EQ(DifferingFromReference(*t, path.second, points), 0) << path.first;
  }
}

void SetEnvironment(const char *name, const char *value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

// KIVAGLOBE_SIMD forces a path; AVX2 only where the processor has it.
TEST(NoisePaths, TheEnvironmentSwitchForcesAPath) {
  const NoisePath before = ActiveNoisePath();
  SetEnvironment("KIVAGLOBE_SIMD", "sse2");
  ChooseNoisePathFromEnvironment();
  EXPECT_EQ(ActiveNoisePath(), kNoisePathSse2);
  SetEnvironment("KIVAGLOBE_SIMD", "avx2");
  ChooseNoisePathFromEnvironment();
  EXPECT_EQ(ActiveNoisePath(), ProcessorHasAvx2() ? kNoisePathAvx2 : kNoisePathSse2);
  EXPECT_EQ(SelectNoisePath(kNoisePathAvx2), ProcessorHasAvx2());
  EXPECT_TRUE(SelectNoisePath(kNoisePathSse2));
  EXPECT_EQ(ActiveNoisePath(), kNoisePathSse2);
  std::printf("noise path when not forced: %s\n", NoisePathName(before));
  SelectNoisePath(before);
}

TEST(GradientNoise3, SameBitsInEveryBuild) {
  // A digest of the tables and of noise values over the renderer's range of coordinates. The
  // native build, both deliverables' compilers and the emulated 32-bit runs must all agree: a
  // preset has to show the same planet in each of them.
  uint64_t digest = 1469598103934665603ull;
  auto mix = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      digest ^= (v >> (8 * i)) & 255;
      digest *= 1099511628211ull;
    }
  };
  for (uint32_t seed : {0u, 1234u, 2047u}) {
    auto t = MakeTables(seed);
    for (int i = 0; i < 514; ++i) {
      mix(uint32_t(t->P[i]));
      for (float g : t->G3[i]) mix(Bits(g));
    }
    Lcg rng{seed + 1};
    for (int k = 0; k < 4096; ++k) {
      const float scale = k < 2048 ? 3.0f : 3.0e5f;
      mix(Bits(GradientNoise3Tables(t.get(), rng.Next(-scale, scale), rng.Next(-scale, scale), rng.Next(-scale, scale))));
    }
  }
  EXPECT_EQ(digest, 0x980301e8712ac201ull) << std::hex << digest;
}

// ---- Through the globals -------------------------------------------------------------------------

struct GlobalsFixture {
  ParameterBlock block{};
  char *master = nullptr;
  FilterRecord record{};
  std::unique_ptr<RunState> runState = std::make_unique<RunState>();
  PluginGlobals globals{};

  explicit GlobalsFixture(uint32_t seed) {
    block.randomSeed = seed;
    master = reinterpret_cast<char *>(&block);
    record.parameters = &master;
    globals.filterRecord = &record;
    globals.runState = runState.get();
  }
};

TEST(NoiseThroughGlobals, UsesTheRunStateAndTheBlockSeed) {
  GlobalsFixture f(300);
  SeedNoiseTables(&f.globals, 300);
  InitGradientTables(&f.globals);
  auto expected = MakeTables(300);
  EXPECT_EQ(std::memcmp(&f.runState->noiseTables, expected.get(), sizeof(NoiseTables)), 0);

  // The improved permutation follows the block's seed, not the one seeding was called with.
  f.block.randomSeed = 301;
  InitImprovedNoisePermutation(&f.globals);
  EXPECT_EQ(f.runState->noiseTables.IP[0], kImprovedNoiseBasePermutation[301 & 255]);

  const float point[3] = {1.25f, -7.5f, 30.125f};
  EXPECT_EQ(Bits(GradientNoise3(&f.globals, point)), Bits(GradientNoise3Tables(expected.get(), 1.25f, -7.5f, 30.125f)));

  // Without a run there is nothing to read or fill.
  f.globals.runState = nullptr;
  EXPECT_EQ(GradientNoise3(&f.globals, point), 0.0f);
  SeedNoiseTables(&f.globals, 1);
  InitGradientTables(&f.globals);
  InitImprovedNoisePermutation(&f.globals);
  SeedNoiseTables(nullptr, 1);
  InitGradientTables(nullptr);
}

}  // namespace
