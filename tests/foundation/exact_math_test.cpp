// Tests of the exact logarithm and arctangent: the series coefficients as constants give the
// bits of the series whose coefficients are divided out at run time, the single-precision
// logarithm rounds to the correctly rounded float value, and the logarithms taken many at a
// time are those taken one at a time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "foundation/exact_math.h"

namespace {

// The denominators come through a volatile, so the divisions happen at run time.
volatile int gSeriesLength = 11;

// log x for normal finite x > 0, each coefficient 1/(2n + 1) divided at run time.
double SeriesLog(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  int32_t k = int32_t((bits >> 52) & 0x7FF) - 1023;
  bits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
  double m;
  std::memcpy(&m, &bits, sizeof m);
  if (m > 1.4142135623730951) {
    m *= 0.5;
    k += 1;
  }
  const double f = m - 1.0;
  const double s = f / (2.0 + f);
  const double z = s * s;
  const int top = gSeriesLength + 1;
  double p = 1.0 / double(2 * top + 1);
  for (int n = top - 1; n >= 1; n--) p = p * z + 1.0 / double(2 * n + 1);
  const double logM = 2.0 * s + 2.0 * s * z * p;
  const double kd = double(k);
  return kd * 0.6931471803691238 + (logM + kd * 1.9082149292705877e-10);
}

// atan t for 0 <= t <= tan(pi/8), the same way.
double SeriesAtanSmall(double t) {
  const double z = t * t;
  double p = 0.0;
  for (int n = 30 + (gSeriesLength - 11); n >= 1; n--) p = p * z + ((n & 1) ? -1.0 : 1.0) / double(2 * n + 1);
  return t + t * z * p;
}

uint64_t Bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST(ExactMath, ConstantCoefficientsGiveTheBitsOfRunTimeDivision) {
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 200000; i++) {
    // Positive normal doubles over the whole exponent range, and many near 1 where the series
    // carries the whole result.
    double x;
    if (i % 2 == 0) {
      uint64_t b = (random() & 0x000FFFFFFFFFFFFFull) | (uint64_t(1 + random() % 2046) << 52);
      std::memcpy(&x, &b, sizeof x);
    } else {
      x = 0.5 + unit(random);
    }
    ASSERT_EQ(Bits(ExactLog(x)), Bits(SeriesLog(x))) << std::hexfloat << x;
  }
  // Every float of the depths the shader takes logarithms of, in a stride through 0..1.
  for (uint32_t b = 0x00800000u; b <= 0x3F800000u; b += 997) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    ASSERT_EQ(Bits(ExactLog(double(f))), Bits(SeriesLog(double(f)))) << std::hexfloat << f;
  }
  // Below tan(pi/8) ExactAtan is the series itself.
  for (int i = 0; i < 100000; i++) {
    const double t = unit(random) * 0.41421356237309503;
    ASSERT_EQ(Bits(ExactAtan(t)), Bits(SeriesAtanSmall(t))) << std::hexfloat << t;
  }
}

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

}  // namespace
