// Tests of the HSL conversions, the perceptual remap and the highlight roll-off.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "foundation/colour.h"
#include "foundation/fast_math.h"

namespace {

// An independent double-precision reference: the textbook hue, lightness and saturation.
void ReferenceHsl(double r, double g, double b, double *h, double *s, double *l) {
  double mx = std::fmax(r, std::fmax(g, b)), mn = std::fmin(r, std::fmin(g, b));
  *l = (mx + mn) / 2;
  *h = *s = 0;
  if (mx == mn) return;
  double d = mx - mn;
  *s = *l <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  double hh;
  if (mx == r)
    hh = (g - b) / d;
  else if (mx == g)
    hh = 2 + (b - r) / d;
  else
    hh = 4 + (r - g) / d;
  hh /= 6;
  *h = hh - std::floor(hh);
}

void ExpectRgb(float r, float g, float b, float wr, float wg, float wb, float tol, const char *what) {
  EXPECT_NEAR(r, wr, tol) << what;
  EXPECT_NEAR(g, wg, tol) << what;
  EXPECT_NEAR(b, wb, tol) << what;
}

TEST(RgbToHsl, WorkedExamples) {
  float h, s, l;
  RgbToHsl(1, 0, 0, &h, &s, &l);
  EXPECT_EQ(h, 1.0f);   // red is hue 6/6
  EXPECT_EQ(s, 1.0f);
  EXPECT_EQ(l, 0.5f);
  RgbToHsl(0, 0, 1, &h, &s, &l);
  EXPECT_NEAR(h, 2.0f / 3.0f, 1e-7f);
  RgbToHsl(1, 0.5f, 0, &h, &s, &l);
  EXPECT_NEAR(h, 1.0f / 12.0f, 1e-7f);
  RgbToHsl(0.5f, 0.5f, 0.5f, &h, &s, &l);
  EXPECT_EQ(h, 0.0f);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(l, 0.5f);
  RgbToHsl(0, 0, 0, &h, &s, &l);
  EXPECT_EQ(h, 0.0f);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(l, 0.0f);
}

TEST(RgbToHsl, AgreesWithTheReferenceOnAGrid) {
  for (int ri = 0; ri <= 10; ri++)
    for (int gi = 0; gi <= 10; gi++)
      for (int bi = 0; bi <= 10; bi++) {
        float r = ri / 10.0f, g = gi / 10.0f, b = bi / 10.0f;
        float h, s, l;
        double rh, rs, rl;
        RgbToHsl(r, g, b, &h, &s, &l);
        ReferenceHsl(r, g, b, &rh, &rs, &rl);
        double dh = std::fabs(h - rh);
        dh = std::fmin(dh, 1 - dh);   // red may come out as 1 or 0
        ASSERT_LT(dh, 1e-6) << r << "," << g << "," << b;
        ASSERT_NEAR(s, rs, 1e-6);
        ASSERT_NEAR(l, rl, 1e-6);
        // And back.
        float r2, g2, b2;
        HslToRgb(h, s, l, &r2, &g2, &b2);
        ASSERT_NEAR(r2, r, 2e-6f) << r << "," << g << "," << b;
        ASSERT_NEAR(g2, g, 2e-6f) << r << "," << g << "," << b;
        ASSERT_NEAR(b2, b, 2e-6f) << r << "," << g << "," << b;
      }
}

TEST(HslToRgb, WorkedExamples) {
  float r, g, b;
  HslToRgb(0, 1, 0.5f, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 0, 0, 0, "hue 0");
  HslToRgb(1, 1, 0.5f, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 0, 0, 0, "hue 1");
  HslToRgb(0.4f, 0.7f, 0, &r, &g, &b);
  ExpectRgb(r, g, b, 0, 0, 0, 0, "lightness 0");
  HslToRgb(0.5f, 0, 1, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 1, 1, 1e-6f, "white");
  // A negative or NaN hue has no sextant: black, never stale values.
  r = g = b = 0.7f;
  HslToRgb(-0.1f, 1, 0.5f, &r, &g, &b);
  ExpectRgb(r, g, b, 0, 0, 0, 0, "negative hue");
  HslToRgb(std::numeric_limits<float>::quiet_NaN(), 1, 0.5f, &r, &g, &b);
  ExpectRgb(r, g, b, 0, 0, 0, 0, "NaN hue");
  HslToRgb(1e30f, 1, 0.5f, &r, &g, &b);   // far out of range: defined, no overflow
}

TEST(HueLuminance, IsTheWeightedColourAtHalfLightness) {
  EXPECT_NEAR(HueLuminance(0, 1), 0.28f, 1e-7f);
  EXPECT_NEAR(HueLuminance(1.0f / 3.0f, 1), 0.52f, 1e-6f);
  EXPECT_NEAR(HueLuminance(2.0f / 3.0f, 1), 0.2f, 1e-6f);
  for (float h = 0; h <= 1; h += 0.125f) EXPECT_NEAR(HueLuminance(h, 0), 0.5f, 1e-7f) << h;
}

TEST(HslToRgbPerceptual, PutsTheHuesOwnLuminanceAtTheMiddle) {
  float r, g, b;
  HslToRgbPerceptual(0, 1, 0.28f, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 0, 0, 1e-6f, "red at its luminance");
  HslToRgbPerceptual(0, 1, 0.64f, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 0.5f, 0.5f, 1e-6f, "light red");
  HslToRgbPerceptual(0, 1, 0.14f, &r, &g, &b);
  ExpectRgb(r, g, b, 0.5f, 0, 0, 1e-6f, "dark red");
  HslToRgbPerceptual(2.0f / 3.0f, 1, 0.6f, &r, &g, &b);
  ExpectRgb(r, g, b, 0.5f, 0.5f, 1, 1e-6f, "light blue");
  HslToRgbPerceptual(0.3f, 0.8f, 0, &r, &g, &b);
  ExpectRgb(r, g, b, 0, 0, 0, 0, "black");
  HslToRgbPerceptual(0.3f, 0.8f, 1, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 1, 1, 1e-6f, "white");
  HslToRgbPerceptual(0.3f, 0.8f, 7, &r, &g, &b);
  ExpectRgb(r, g, b, 1, 1, 1, 1e-6f, "above white");
  // Lightness equal to the luminance gives what HslToRgb gives at 0.5.
  float c = HueLuminance(0.55f, 0.6f), r2, g2, b2;
  HslToRgbPerceptual(0.55f, 0.6f, c, &r, &g, &b);
  HslToRgb(0.55f, 0.6f, 0.5f, &r2, &g2, &b2);
  ExpectRgb(r, g, b, r2, g2, b2, 1e-6f, "luminance");
}

TEST(RollOffHighlights, ScalesAndBlendsTowardWhite) {
  float a[3] = {0.5f, 0.5f, 0.5f};
  RollOffHighlights(a);
  ExpectRgb(a[0], a[1], a[2], 0.5f, 0.5f, 0.5f, 0, "in range");
  float b[3] = {2, 1, 0};
  RollOffHighlights(b);
  ExpectRgb(b[0], b[1], b[2], 1, 0.8f, 0.6f, 1e-6f, "(2, 1, 0)");
  float c[3] = {-1, 0.2f, 0.3f};
  RollOffHighlights(c);
  ExpectRgb(c[0], c[1], c[2], 0, 0.2f, 0.3f, 0, "negative");
  float d[3] = {1.5f, 1.5f, 1.5f};
  RollOffHighlights(d);
  ExpectRgb(d[0], d[1], d[2], 1, 1, 1, 0, "bright grey");
  float e[3] = {1e30f, 0, 0};   // t caps at 1: white
  RollOffHighlights(e);
  ExpectRgb(e[0], e[1], e[2], 1, 1, 1, 0, "huge");
}

TEST(RollOffHighlights, ScaledIntegerChannels) {
  int32_t r = 65536, g = 32768, b = 0;
  RollOffHighlightsScaled(&r, &g, &b, 32768.0f, 1.0f / 32768.0f);
  EXPECT_EQ(r, 32768);
  EXPECT_EQ(g, 26214);
  EXPECT_EQ(b, 19660);
  r = 100, g = -5, b = 7;
  RollOffHighlightsScaled(&r, &g, &b, 1.0f, 1.0f / 255.0f);
  EXPECT_EQ(r, 0);   // (100 / 255) x 1, truncated
  EXPECT_EQ(g, 0);
  // Out-of-range scales give defined, saturated results.
  r = INT32_MAX, g = 1, b = 1;
  RollOffHighlightsScaled(&r, &g, &b, 1e20f, 1.0f);
  EXPECT_EQ(r, INT32_MAX);
  r = 5, g = 5, b = 5;
  RollOffHighlightsScaled(&r, &g, &b, std::numeric_limits<float>::quiet_NaN(), 1.0f);
  EXPECT_EQ(r, 0);
}

// The integer form against the float form it stands for (scale, roll off, scale back, truncate)
// over random channels, in range and beyond, at the 8-bit, 16-bit and float scales and at scales
// that overflow, flip the sign or are NaN.
TEST(RollOffHighlights, ScaledMatchesTheFloatFormBitForBit) {
  const float scales[][2] = {{255.0f, 1.0f / 255.0f}, {32768.0f, 1.0f / 32768.0f}, {65535.0f, 1.0f / 65535.0f},
                             {1e20f, 1.0f}, {-3e9f, 1.0f / 255.0f}, {255.0f, -1.0f / 255.0f},
                             {std::numeric_limits<float>::quiet_NaN(), 1.0f / 255.0f}};
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state;
  };
  for (const auto &scale : scales) {
    for (int i = 0; i < 20000; i++) {
      const int32_t limit = i % 4 == 0 ? 100000 : (std::fabs(scale[0]) <= 1e6f ? int32_t(1.2f * std::fabs(scale[0])) : 300);
      int32_t in[3];
      for (int32_t &v : in) v = int32_t(next() % uint32_t(limit + 1)) - (i % 8 == 1 ? limit / 2 : 0);
      float f[3] = {float(in[0]) * scale[1], float(in[1]) * scale[1], float(in[2]) * scale[1]};
      RollOffHighlights(f);
      int32_t r = in[0], g = in[1], b = in[2];
      RollOffHighlightsScaled(&r, &g, &b, scale[0], scale[1]);
      ASSERT_EQ(r, TruncateToInt32(f[0] * scale[0])) << in[0] << " " << scale[0];
      ASSERT_EQ(g, TruncateToInt32(f[1] * scale[0])) << in[1] << " " << scale[0];
      ASSERT_EQ(b, TruncateToInt32(f[2] * scale[0])) << in[2] << " " << scale[0];
    }
  }
}

}  // namespace
