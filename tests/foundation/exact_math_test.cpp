// Tests of the single-precision exact logarithm: it rounds to the correctly rounded float value,
// and the logarithms taken many at a time are those taken one at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "foundation/exact_math.h"

namespace {

// Correctly rounded single-precision logarithms, computed to 200 bits and rounded once.
struct FloatLog {
  float x;
  float log;
};
const FloatLog kFloatLogs[] = {
    {0x1.0624dep-10f, -0x1.ba18aap+2f}, {0x1.65fd8ap-5f, -0x1.90b12ep+1f}, {0x1p-2f, -0x1.62e430p+0f},
    {0x1.555554p-2f, -0x1.193ea8p+0f},  {0x1p-1f, -0x1.62e430p-1f},        {0x1.6a09e6p-1f, -0x1.62e432p-2f},
    {0x1.ccccccp-1f, -0x1.af8e8ap-4f},  {0x1.fffffep-1f, -0x1p-24f},       {1.0f, 0.0f},
    {0x1.4484c0p-100f, -0x1.144f6ap+6f}, {0x1.ep+2f, 0x1.01e858p+1f},       {0x1.34a456p+10f, 0x1.c7951ep+2f},
};

TEST(ExactMath, SinglePrecisionLogarithmIsCorrectlyRounded) {
  constexpr int32_t n = int32_t(sizeof kFloatLogs / sizeof kFloatLogs[0]);
  float x[n], many[n];
  for (int32_t i = 0; i < n; i++) x[i] = kFloatLogs[i].x;
  ExactLogFMany(x, many, n);
  for (int32_t i = 0; i < n; i++) {
    EXPECT_EQ(ExactLogF(x[i]), kFloatLogs[i].log) << std::hexfloat << x[i];
    EXPECT_EQ(many[i], kFloatLogs[i].log) << std::hexfloat << x[i];
  }
  EXPECT_EQ(ExactLogF(0.0f), -HUGE_VALF);
  EXPECT_TRUE(std::isnan(ExactLogF(-0.5f)));
}

uint32_t FloatBits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// The packed form against the scalar one: every kind of float, in runs of every length around
// the pairs and chunks it works in, at every offset.
TEST(ExactMath, ManyLogarithmsGiveTheBitsOfOneAtATime) {
  std::mt19937 random(77);
  constexpr int32_t kLength = 200;
  float x[kLength], many[kLength];
  const float special[] = {0.0f, -0.0f, -1.0f, NAN, INFINITY, -INFINITY, 0x1p-149f, 0x1.fffffcp-127f, 0x1p-126f,
                           3.4028235e38f, 1.0f, 0x1.6a09e6p+0f, 0x1.6a09e8p+0f, 0x1.fffffep-1f};
  for (int round = 0; round < 400; round++) {
    for (int32_t i = 0; i < kLength; i++) {
      const uint32_t r = random();
      if (r % 17 == 0) {
        x[i] = special[r / 17 % (sizeof special / sizeof special[0])];
      } else if (r % 3 == 0) {
        // Depths of the globe: 0 to 1.
        x[i] = float(random() % 16777217u) / 16777216.0f;
      } else {
        const uint32_t b = random() & 0x7FFFFFFFu;
        std::memcpy(&x[i], &b, sizeof b);   // any positive float, NaNs included
      }
    }
    const int32_t offset = round % 5;
    const int32_t count = (round * 37) % (kLength - offset) + 1;
    ExactLogFMany(x + offset, many, count);
    for (int32_t i = 0; i < count; i++) {
      const float one = ExactLogF(x[offset + i]);
      if (std::isnan(one)) {
        ASSERT_TRUE(std::isnan(many[i])) << std::hexfloat << x[offset + i];
      } else {
        ASSERT_EQ(FloatBits(many[i]), FloatBits(one)) << std::hexfloat << x[offset + i] << " at " << i;
      }
    }
  }
}

// Rotation matrices made two at a time against one at a time: small turns as the clouds use
// them, half angles at the quadrants' edges (odd multiples of pi/4), turns of both signs, large
// and non-finite ones (taken by the scalar routine), about unnormalised axes, in runs of odd and
// even length. Column 3 of every matrix must keep what it held.
TEST(ExactMath, ManyRotationMatricesGiveTheBitsOfOneAtATime) {
  std::mt19937 random(2026);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  constexpr int32_t kLength = 41;
  const float special[] = {0.0f, -0.0f, NAN, INFINITY, -INFINITY, 2.0e6f, -2.1e6f, 1.999999e6f, 3.0e38f, 0x1p-140f};
  float angles[kLength];
  float many[16 * kLength], one[16 * kLength];
  for (int round = 0; round < 2000; round++) {
    const float axis[3] = {unit(random), unit(random), unit(random) * 3.0f};
    for (int32_t i = 0; i < kLength; i++) {
      const uint32_t r = random();
      if (r % 13 == 0) {
        angles[i] = special[r / 13 % (sizeof special / sizeof special[0])];
      } else if (r % 3 == 0) {
        // Half angles of (2j + 1) pi/4, nudged by a few ulps either way.
        const float edge = float(int32_t(r % 41) - 20) * 1.5707963267948966f + 1.5707963267948966f;
        const int32_t nudge = int32_t(random() % 9) - 4;
        angles[i] = std::nextafter(edge, nudge < 0 ? -INFINITY : INFINITY);
        for (int32_t n = 1; n < (nudge < 0 ? -nudge : nudge); n++) {
          angles[i] = std::nextafter(angles[i], nudge < 0 ? -INFINITY : INFINITY);
        }
      } else if (r % 3 == 1) {
        angles[i] = unit(random) * 0.05f;
      } else {
        angles[i] = unit(random) * float(1 << (r % 21));
      }
    }
    const int32_t count = round % kLength + 1;
    for (int32_t i = 0; i < 16 * kLength; i++) many[i] = one[i] = float(i);
    ExactRotationMatrixMany(axis, angles, many, count);
    for (int32_t i = 0; i < count; i++) ExactRotationMatrix(axis, angles[i], one + 16 * i);
    for (int32_t i = 0; i < 16 * kLength; i++) {
      ASSERT_EQ(FloatBits(many[i]), FloatBits(one[i])) << "matrix " << i / 16 << " element " << i % 16 << " angle "
                                                       << std::hexfloat << angles[i / 16];
    }
  }
}

}  // namespace
