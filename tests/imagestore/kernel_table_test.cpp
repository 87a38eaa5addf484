// Tests of the resampling kernel table against the independent computation of
// lanczos_weights.py (run at build time; its rows are in lanczos_expected.h).
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>

#include "foundation/exact_math.h"
#include "imagestore/kernel_table.h"
#include "lanczos_expected.h"

// The runtime's sine, replaced in this program so that a test can see who calls it. The
// replacement still answers correctly (through the exact routine), so other callers are unharmed.
static int gRuntimeSineCalls = 0;
extern "C" double sin(double x) {
  gRuntimeSineCalls++;
  return ExactSin(x);
}

namespace {

// Distance in units in the last place between two finite floats of the same sign (or zero).
int32_t UlpDistance(float a, float b) {
  int32_t ia = std::bit_cast<int32_t>(a), ib = std::bit_cast<int32_t>(b);
  if (ia < 0) ia = int32_t(0x80000000u) - ia;
  if (ib < 0) ib = int32_t(0x80000000u) - ib;
  return std::abs(ia - ib);
}

TEST(KernelTable, MatchesTheIndependentComputation) {
  ResampleKernelTable table;
  std::memset(&table, 0xAB, sizeof table);
  BuildDefaultKernelTable(&table);
  int32_t worst = 0;
  for (int k = 0; k < kKernelTaps; ++k) {
    for (int p = 0; p < kKernelPhases; ++p) {
      SCOPED_TRACE(testing::Message() << "tap " << k << ", phase " << p);
      ASSERT_EQ(table.weight2048[k][p], kExpected2048[k][p]);
      ASSERT_EQ(table.weight32768[k][p], kExpected32768[k][p]);
      const int32_t ulps = UlpDistance(table.weight[k][p], std::bit_cast<float>(kExpectedFloatBits[k][p]));
      ASSERT_LE(ulps, 1);
      worst = ulps > worst ? ulps : worst;
      ASSERT_EQ(std::bit_cast<uint32_t>(table.floatWeight[k][p]), std::bit_cast<uint32_t>(table.weight[k][p]));
    }
  }
  RecordProperty("worst_float_ulps", worst);
}

// The properties the samplers rely on: each integer form sums exactly to its scale, so a flat
// area samples exactly to its value; negative lobes truncate toward zero.
TEST(KernelTable, IntegerFormsSumExactly) {
  ResampleKernelTable table;
  BuildDefaultKernelTable(&table);
  for (int p = 0; p < kKernelPhases; ++p) {
    int32_t s2048 = 0, s32768 = 0;
    float s = 0.0f;
    for (int k = 0; k < kKernelTaps; ++k) {
      s2048 += table.weight2048[k][p];
      s32768 += table.weight32768[k][p];
      s += table.weight[k][p];
    }
    EXPECT_EQ(s2048, 2048) << p;
    EXPECT_EQ(s32768, 32768) << p;
    EXPECT_NEAR(s, 1.0f, 1e-6f) << p;
  }
  EXPECT_EQ(table.weight[0][0], 0.0f);
  EXPECT_EQ(table.weight2048[0][0], 0);
  EXPECT_EQ(table.weight32768[0][0], 0);
  EXPECT_NEAR(table.weight[1][0], -0.0465f, 0.0005f);
  EXPECT_EQ(table.weight2048[1][0], -95);  // -95.2 truncated, not floored to -96

  // Building again gives the same words; so does the shared table.
  ResampleKernelTable again;
  BuildLanczosKernelTable(&again);
  EXPECT_EQ(std::memcmp(&table, &again, sizeof table), 0);
  EXPECT_EQ(std::memcmp(&table, SharedDefaultKernelTable(), sizeof table), 0);
}

// The table is built from the project's exact sine, not the runtime's: the runtimes of the three
// builds round sin differently, and the table weights every texture sample of a picture.
TEST(KernelTable, BuiltWithoutTheRuntimeSine) {
  volatile double probe = 0.5;
  const int before = gRuntimeSineCalls;
  EXPECT_EQ(sin(probe), ExactSin(0.5));
  ASSERT_EQ(gRuntimeSineCalls, before + 1);   // the replacement is the one linked
  ResampleKernelTable table;
  BuildLanczosKernelTable(&table);
  EXPECT_EQ(gRuntimeSineCalls, before + 1);
  EXPECT_EQ(table.weight2048[1][0], -95);
}

// The words are computed once per process and copied after: the runtime's sine stays uncalled
// but for the probe above (a computation would call it 25,600 times), and a copy is whole.
TEST(KernelTable, LaterBuildsCopyTheFirst) {
  ResampleKernelTable first, later;
  BuildLanczosKernelTable(&first);
  std::memset(&later, 0x5A, sizeof later);
  BuildLanczosKernelTable(&later);
  EXPECT_EQ(std::memcmp(&first, &later, sizeof first), 0);
  EXPECT_EQ(later.weight32768[4][127], kExpected32768[4][127]);
  EXPECT_LT(gRuntimeSineCalls, 100);
}

}  // namespace
