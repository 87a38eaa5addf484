// Tests of the 5 x 5 filtered samplers and the trilinear samplers.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "imagestore/image_copy.h"
#include "imagestore/kernel_table.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "imagestore/samplers.h"
#include "tests/imagestore/test_support.h"

using test_support::BindImage;
using test_support::FillLevel;
using test_support::FillLevel0;
using test_support::ResetFakeHost;
using test_support::TestKernelTable;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class Samplers : public testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(); }
  void TearDown() override {
    for (int i = 0; i < used_; ++i) FreeImageTiles(&images_[i]);
    EXPECT_EQ(test_support::FakeHost()->outstanding, 0);
  }
  TiledMipImage *Make(int32_t w, int32_t h, uint32_t format, int32_t wrap = 0) {
    TiledMipImage *image = &images_[used_++];
    BindImage(image);
    EXPECT_TRUE(CreateImage(image, w, h, format, wrap));
    return image;
  }

 private:
  TiledMipImage images_[8];
  int used_ = 0;
};

// Channel 0 of each filtered sampler, by the image's format.
float Filtered(const TiledMipImage *image, int32_t level, float x, float y) {
  float out[4] = {0, 0, 0, 0};
  switch (image->storageFormat) {
    case kFormatGray8:
      return SampleFilteredGray8(image, level, x, y);
    case kFormatPacked8:
      SampleFilteredRgba8(image, level, x, y, out);
      break;
    case kFormatRgba16:
      SampleFilteredRgba16(image, level, x, y, out);
      break;
    case kFormatRgbaF32:
      SampleFilteredRgbaF32(image, level, x, y, out);
      break;
  }
  return out[0];
}

// Stored units per unit of a painted value: the 16-bit sampler divides each row of the window
// by 32768 before weighting the rows, so its ramps need more than one stored unit per step.
float Unit(const TiledMipImage *image) { return image->storageFormat == kFormatRgba16 ? 512.0f : 1.0f; }

// Writes v(x, y) x Unit into channel 0 of level 0 (the other channels 0).
void Paint(TiledMipImage *image, float (*v)(int32_t, int32_t)) {
  for (int32_t y = 0; y < image->levelHeight[0]; ++y) {
    for (int32_t x = 0; x < image->levelWidth[0]; ++x) {
      const float value = v(x, y) * Unit(image);
      switch (image->storageFormat) {
        case kFormatGray8:
          PutPixelGray8Checked(x, y, image, 0, int32_t(value));
          break;
        case kFormatPacked8:
        case kFormatRgba16:
          PutPixel4(x, y, image, 0, int32_t(value), 0, 0, 0);
          break;
        case kFormatRgbaF32:
          PutPixelRgbaF32Checked(x, y, image, 0, value, 0, 0, 0);
          break;
      }
    }
  }
}

// The classic trap: the window's pixels take the table's taps in reverse order. A linear ramp
// then samples as a linear ramp, shifted right by about 0.05 pixel (the 1/21 spacing of the
// sub-positions); in the table's own order it zigzags (10.25 would give 9.70, 10.5 11.45).
TEST_F(Samplers, ALinearRampSamplesAsALinearRamp) {
  for (uint32_t format : {0u, 3u, 4u, 9u}) {
    SCOPED_TRACE(format);
    TiledMipImage *across = Make(40, 40, format), *down = Make(40, 40, format);
    Paint(across, [](int32_t x, int32_t) { return float(x); });
    Paint(down, [](int32_t, int32_t y) { return float(y); });
    float previousAcross = -1.0f, previousDown = -1.0f;
    for (int32_t i = 0; i <= 3 * 128; ++i) {
      const float t = 10.0f + float(i) / 128.0f;
      const float a = Filtered(across, 0, t, 20.0f) / Unit(across), d = Filtered(down, 0, 20.0f, t) / Unit(down);
      ASSERT_GT(a, previousAcross) << t;
      ASSERT_GT(d, previousDown) << t;
      ASSERT_NEAR(a - t, 0.048f, 0.012f) << t;
      ASSERT_NEAR(d - t, 0.048f, 0.012f) << t;
      previousAcross = a;
      previousDown = d;
    }
  }
}

// A trilinear sample of a ramp follows the ramp whatever the blend of the two levels: level 1
// holds the same ramp at half the resolution (lifted by the builder's 0.6 % and truncated).
TEST_F(Samplers, TrilinearRampsStayLinear) {
  TiledMipImage *ramp = Make(128, 16, kFormatGray8);
  Paint(ramp, [](int32_t x, int32_t) { return float(x); });
  RebuildAllLevels(ramp);
  for (float frac : {0.0f, 0.3f, 0.5f, 1.0f}) {
    float previous = -1.0f;
    for (int32_t i = 8; i < 120 * 4; ++i) {
      const float u = float(i) / (128.0f * 4.0f);
      const float s = SampleGrayTrilinear(ramp, 0.0f, frac, u, 0.5f);
      const float expected = u * 128.0f - 0.5f;
      ASSERT_GT(s, previous) << frac << " " << u;
      ASSERT_NEAR(s, expected, 1.1f + 0.007f * expected) << frac << " " << u;
      previous = s;
    }
  }
}

// A flat level samples exactly to its value, at the corners and across tile seams too: the
// integer weights sum exactly to their scale.
TEST_F(Samplers, FlatLevelsSampleExactly) {
  TiledMipImage *gray = Make(1030, 520, kFormatGray8), *packed = Make(1030, 520, kFormatPacked8),
                *rgba16 = Make(1030, 520, kFormatRgba16), *rgbaF = Make(1030, 520, kFormatRgbaF32);
  const int32_t g[4] = {100, 0, 0, 0}, p[4] = {10, 20, 255, 40}, h[4] = {1000, 2000, 32768, 0},
                f[4] = {std::bit_cast<int32_t>(0.25f), std::bit_cast<int32_t>(0.5f), 0, std::bit_cast<int32_t>(2.0f)};
  FillLevel(gray, 0, g);
  FillLevel(packed, 0, p);
  FillLevel(rgba16, 0, h);
  FillLevel(rgbaF, 0, f);
  const float xs[] = {-0.5f, 0.0f, 0.3f, 509.5f, 510.2f, 511.0f, 511.7f, 512.5f, 514.9f, 1023.5f, 1029.0f, 1029.6f};
  const float ys[] = {0.0f, 3.4f, 509.6f, 511.5f, 519.0f};
  for (float x : xs) {
    for (float y : ys) {
      SCOPED_TRACE(testing::Message() << x << ", " << y);
      ASSERT_EQ(SampleFilteredGray8(gray, 0, x, y), 100.0f);
      float out[4];
      SampleFilteredRgba8(packed, 0, x, y, out);
      ASSERT_EQ(out[0], 10.0f);
      ASSERT_EQ(out[2], 255.0f);
      ASSERT_EQ(out[3], 40.0f);
      SampleFilteredRgba16(rgba16, 0, x, y, out);
      ASSERT_EQ(out[0], 1000.0f);  // in stored units, 0..32768
      ASSERT_EQ(out[2], 32768.0f);
      SampleFilteredRgbaF32(rgbaF, 0, x, y, out);
      ASSERT_NEAR(out[0], 0.25f, 1e-6f);
      ASSERT_NEAR(out[3], 2.0f, 1e-6f);
    }
  }
  // u = v = 1 puts the window past the last pixel: every tap is the last column and row.
  PutPixelGray8Checked(1029, 519, gray, 0, 200);
  EXPECT_GT(SampleGrayTrilinear(gray, 0.0f, 0.0f, 1.0f, 1.0f), 100.0f);
}

// A sample straight from one tile and a sample of taps looked up one by one must agree: checked
// against a plain weighted sum over clamped reads, around the tile borders of a random image.
TEST_F(Samplers, WindowsAcrossTileBordersMatchAPlainSum) {
  TiledMipImage *gray = Make(1100, 700, kFormatGray8), *rgba16 = Make(1100, 700, kFormatRgba16);
  FillLevel0(gray, 21);
  FillLevel0(rgba16, 22);
  const ResampleKernelTable *t = TestKernelTable();
  for (float x = 505.0f; x < 518.0f; x += 0.37f) {
    for (float y = 505.0f; y < 518.0f; y += 0.61f) {
      const float xf = float(double(x) + 0.5), yf = float(double(y) + 0.5);
      const int32_t ix = int32_t(std::floor(xf)), iy = int32_t(std::floor(yf));
      const int32_t px = int32_t((xf - float(ix)) * 128.0f), py = int32_t((yf - float(iy)) * 128.0f);
      int64_t total = 0, total16 = 0;
      for (int j = 0; j < 5; ++j) {
        int64_t row = 0, row16 = 0;
        for (int k = 0; k < 5; ++k) {
          row += int64_t(t->weight2048[4 - k][px]) * GetPixelGray8(ix - 2 + k, iy - 2 + j, gray, 0);
          int32_t c[4];
          GetPixelRgba16(ix - 2 + k, iy - 2 + j, rgba16, 0, &c[0], &c[1], &c[2], &c[3]);
          row16 += int64_t(t->weight32768[4 - k][px]) * c[1];
        }
        total += t->weight2048[4 - j][py] * row;
        total16 += t->weight32768[4 - j][py] * (row16 / 32768);
      }
      ASSERT_EQ(SampleFilteredGray8(gray, 0, x, y), float(total) / 4194304.0f) << x << ", " << y;
      float out[4];
      SampleFilteredRgba16(rgba16, 0, x, y, out);
      ASSERT_EQ(out[1], float(total16) / 32768.0f) << x << ", " << y;
    }
  }
}

// The largest sums a grey window can make: for every pair of phases, 255 wherever the weight
// product is positive and 0 elsewhere (then the reverse, for the most negative sum), against a
// plain sum in 64 bits. A sampler whose narrower lanes or partial sums overflowed would be off.
TEST_F(Samplers, ExtremeGreyWindowsMatchAPlainSum) {
  TiledMipImage *gray = Make(9, 9, kFormatGray8);
  const ResampleKernelTable *t = TestKernelTable();
  for (int32_t px = 0; px < kKernelPhases; ++px) {
    for (int32_t py = 0; py < kKernelPhases; ++py) {
      for (int sign : {1, -1}) {
        int64_t total = 0;
        for (int j = 0; j < 5; ++j) {
          for (int k = 0; k < 5; ++k) {
            const int64_t w = int64_t(t->weight2048[4 - j][py]) * t->weight2048[4 - k][px];
            const int32_t v = w * sign > 0 ? 255 : 0;
            PutPixelGray8Checked(2 + k, 2 + j, gray, 0, v);
            total += w * v;
          }
        }
        const float x = 3.5f + float(px) / 128.0f, y = 3.5f + float(py) / 128.0f;
        ASSERT_EQ(SampleFilteredGray8(gray, 0, x, y), float(total) / 4194304.0f) << px << ", " << py << ", " << sign;
      }
    }
  }
}

// The trilinear grey sampler places its two windows together; it must sample as the blend of two
// filtered samples at u x size - 0.5 of each level: over random and hostile positions, levels
// and fractions, on a pyramid whose first level has tile seams, in every wrapping mode.
TEST_F(Samplers, TrilinearGreyIsTheBlendOfTwoFilteredSamples) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> near(-0.2f, 1.2f), levels(-1.0f, 12.0f), fracs(-0.2f, 1.2f);
  const float hostile[] = {kNaN, kInf, -kInf, 3e9f, -3e9f, 1e-30f, -0.0f, 0.99999994f, 1.0f};
  for (int32_t wrap : {0, 1, 2}) {
    TiledMipImage *gray = Make(1100, 700, kFormatGray8, wrap);
    FillLevel0(gray, 40 + wrap);
    RebuildAllLevels(gray);
    for (int i = 0; i < 20000; ++i) {
      const float u = i % 17 == 0 ? hostile[i / 17 % 9] : near(random);
      const float v = i % 13 == 0 ? hostile[i / 13 % 9] : near(random);
      const float level = i % 101 == 0 ? kNaN : levels(random);
      const float frac = i % 7 == 0 ? 0.0f : fracs(random);
      const int32_t top = gray->coarsestLevel - 1;
      const int32_t l = !(level > 0.0f) ? 0 : level >= float(top) ? top : int32_t(level);
      auto at = [&](int32_t m) {
        return SampleFilteredGray8(gray, m, float(double(u * float(gray->levelSampleWidth[m])) - 0.5),
                                   float(double(v * float(gray->levelSampleHeight[m])) - 0.5));
      };
      const float a = at(l), expected = frac == 0.0f ? a : a + (at(l + 1) - a) * frac;
      ASSERT_EQ(std::bit_cast<uint32_t>(SampleGrayTrilinear(gray, level, frac, u, v)), std::bit_cast<uint32_t>(expected))
          << wrap << ": " << level << " " << frac << " " << u << ", " << v;
    }
  }
}

// The pair sampler gives each point exactly what SampleGrayTrilinear gives it: points close
// together (as a pixel's two decal points are) and far apart, inside, at the edges and beyond,
// on levels of several tiles and of one, under every wrap rule, with hostile levels and
// fractions. A second point that took the first's level, phase or tile would fail here.
TEST_F(Samplers, PairedGreySamplesAreTheSingleSamples) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> near(-0.2f, 1.2f), step(-0.004f, 0.004f), levels(-1.0f, 12.0f),
      fracs(-0.2f, 1.2f);
  const float hostile[] = {kNaN, kInf, -kInf, 3e9f, -1e-30f, 0.99999994f, 1.0f};
  for (int32_t wrap : {0, 1, 2}) {
    for (int32_t side : {1100, 300}) {
      TiledMipImage *gray = Make(side, side * 7 / 11, kFormatGray8, wrap);
      FillLevel0(gray, 60 + wrap + side);
      RebuildAllLevels(gray);
      for (int i = 0; i < 20000; ++i) {
        const float u0 = i % 17 == 0 ? hostile[i / 17 % 7] : near(random), v0 = near(random);
        const float u1 = i % 5 == 0 ? near(random) : u0 + step(random);
        const float v1 = i % 13 == 0 ? hostile[i / 13 % 7] : i % 5 == 0 ? near(random) : v0 + step(random);
        const float level = i % 101 == 0 ? kNaN : levels(random);
        const float frac = i % 7 == 0 ? 0.0f : i % 211 == 0 ? kNaN : fracs(random);
        float pair[2] = {-1.0f, -1.0f};
        SampleGrayTrilinearPair(gray, level, frac, u0, v0, u1, v1, pair);
        ASSERT_EQ(std::bit_cast<uint32_t>(pair[0]), std::bit_cast<uint32_t>(SampleGrayTrilinear(gray, level, frac, u0, v0)))
            << wrap << " " << side << ": " << level << " " << frac << " " << u0 << ", " << v0;
        ASSERT_EQ(std::bit_cast<uint32_t>(pair[1]), std::bit_cast<uint32_t>(SampleGrayTrilinear(gray, level, frac, u1, v1)))
            << wrap << " " << side << ": " << level << " " << frac << " " << u1 << ", " << v1;
      }
    }
  }
  // An image without tiles and one of another format sample as the single sampler says.
  TiledMipImage *packed = Make(8, 8, kFormatPacked8);
  TiledMipImage bare = *packed;
  bare.tiles = nullptr;
  for (const TiledMipImage *image : {static_cast<const TiledMipImage *>(packed), static_cast<const TiledMipImage *>(&bare)}) {
    for (float frac : {0.0f, 0.5f, kNaN}) {
      float pair[2] = {-1.0f, -1.0f};
      SampleGrayTrilinearPair(image, 0.0f, frac, 0.5f, 0.5f, 0.2f, 0.2f, pair);
      const float single = SampleGrayTrilinear(image, 0.0f, frac, 0.5f, 0.5f);
      EXPECT_EQ(std::bit_cast<uint32_t>(pair[0]), std::bit_cast<uint32_t>(single));
      EXPECT_EQ(std::bit_cast<uint32_t>(pair[1]), std::bit_cast<uint32_t>(single));
    }
  }
}

// A grey filtered sample as the header defines it, without wrapping: the position plus a half,
// clamped to 3 pixels outside the level, its floor and phase; each of the 25 taps clamped into
// the level on its own; the weighted sum in 64 bits.
float PlainGreySample(const TiledMipImage *image, int32_t level, float x, float y) {
  const ResampleKernelTable *t = TestKernelTable();
  const int32_t width = image->levelWidth[level], height = image->levelHeight[level];
  auto place = [](float p, int32_t size, int32_t *whole, int32_t *phase) {
    const float f = std::fmin(std::fmax(float(double(p) + 0.5), -3.0f), float(size) + 3.0f);
    *whole = int32_t(std::floor(f));
    *phase = std::min(int32_t((f - float(*whole)) * 128.0f), 127);
  };
  int32_t ix, iy, px, py;
  place(x, width, &ix, &px);
  place(y, height, &iy, &py);
  int64_t total = 0;
  for (int j = 0; j < 5; ++j) {
    int64_t row = 0;
    for (int k = 0; k < 5; ++k) {
      const int32_t cx = std::clamp(ix - 2 + k, 0, width - 1), cy = std::clamp(iy - 2 + j, 0, height - 1);
      row += int64_t(t->weight2048[4 - k][px]) * GetPixelGray8(cx, cy, image, level);
    }
    total += t->weight2048[4 - j][py] * row;
  }
  return float(total) / 4194304.0f;
}

// The trilinear grey samplers, single and paired, against the plain sums on both levels: windows
// around every tile seam and edge of a level, where the last tile column and row are narrow and a
// window's rows run on into the tile's next row, and anywhere at random. A window read past its
// five columns or rows, or taken straight from a tile it straddles, comes out different.
TEST_F(Samplers, TrilinearGreyMatchesPlainSumsAtSeamsAndEdges) {
  TiledMipImage *gray = Make(1100, 700, kFormatGray8);
  FillLevel0(gray, 33);
  RebuildAllLevels(gray);
  std::mt19937 random(5);
  std::uniform_real_distribution<float> jitter(-5.0f, 5.0f), anywhere(-0.01f, 1.01f), fracs(0.0f, 1.0f);
  for (int i = 0; i < 30000; ++i) {
    const int32_t l = i % 3;
    // Seams and edges of level l in its own pixels: 0, 512, 1024 and the far edge.
    auto spot = [&](int32_t size) {
      const int32_t marks[] = {0, 512, 1024, size};
      const int32_t m = marks[random() % 4];
      const float at = random() % 4 == 0 ? anywhere(random) * float(size) : float(std::min(m, size)) + jitter(random);
      return (at + 0.5f) / float(size);
    };
    const float u0 = spot(gray->levelSampleWidth[l]), v0 = spot(gray->levelSampleHeight[l]);
    const float u1 = spot(gray->levelSampleWidth[l]), v1 = spot(gray->levelSampleHeight[l]);
    const float frac = i % 5 == 0 ? 0.0f : fracs(random);
    auto plain = [&](float u, float v) {
      auto at = [&](int32_t m) {
        return PlainGreySample(gray, m, float(double(u * float(gray->levelSampleWidth[m])) - 0.5),
                               float(double(v * float(gray->levelSampleHeight[m])) - 0.5));
      };
      const float a = at(l);
      return frac == 0.0f ? a : a + (at(l + 1) - a) * frac;
    };
    const float want0 = plain(u0, v0), want1 = plain(u1, v1);
    ASSERT_EQ(std::bit_cast<uint32_t>(SampleGrayTrilinear(gray, float(l), frac, u0, v0)), std::bit_cast<uint32_t>(want0))
        << l << " " << frac << " " << u0 << ", " << v0;
    float pair[2] = {-1.0f, -1.0f};
    SampleGrayTrilinearPair(gray, float(l), frac, u0, v0, u1, v1, pair);
    ASSERT_EQ(std::bit_cast<uint32_t>(pair[0]), std::bit_cast<uint32_t>(want0)) << l << " " << u0 << ", " << v0;
    ASSERT_EQ(std::bit_cast<uint32_t>(pair[1]), std::bit_cast<uint32_t>(want1)) << l << " " << u1 << ", " << v1;
  }
}

// frac 0 reads level L only; frac 1 gives level L + 1's sample; the level is clamped into
// 0 .. coarsest - 1 (a negative or NaN level samples levels 0 and 1); frac is not clamped.
TEST_F(Samplers, TrilinearLevelsAndFractions) {
  TiledMipImage *gray = Make(64, 64, kFormatGray8);  // levels 0..6 (64 .. 1)
  for (int32_t l = 0; l <= gray->coarsestLevel; ++l) {
    const int32_t v[4] = {10 + 20 * l, 0, 0, 0};
    FillLevel(gray, l, v);
  }
  EXPECT_EQ(SampleGrayTrilinear(gray, 1.0f, 0.0f, 0.3f, 0.6f), 30.0f);
  EXPECT_EQ(SampleGrayTrilinear(gray, 1.0f, 1.0f, 0.3f, 0.6f), 50.0f);
  EXPECT_EQ(SampleGrayTrilinear(gray, 1.0f, 0.25f, 0.3f, 0.6f), 35.0f);
  EXPECT_EQ(SampleGrayTrilinear(gray, 40.0f, 0.5f, 0.3f, 0.6f), 120.0f);  // levels 5 and 6
  EXPECT_EQ(SampleGrayTrilinear(gray, 1e30f, 0.0f, 0.3f, 0.6f), 110.0f);
  EXPECT_EQ(SampleGrayTrilinear(gray, -3.0f, 0.5f, 0.3f, 0.6f), 20.0f);
  EXPECT_EQ(SampleGrayTrilinear(gray, kNaN, 0.5f, 0.3f, 0.6f), 20.0f);
  EXPECT_EQ(SampleGrayTrilinear(gray, 0.0f, -0.5f, 0.3f, 0.6f), 0.0f);  // extrapolated
  const int32_t garbage[4] = {255, 0, 0, 0};
  FillLevel(gray, 3, garbage);
  EXPECT_EQ(SampleGrayTrilinear(gray, 2.0f, 0.0f, 0.9f, 0.1f), 50.0f);
}

// Positions below 0, above 1, huge, infinite or NaN stay inside the table and the tiles
// (ASan and UBSan watch), and answer as the nearest edge does. Inside the level nothing moves.
TEST_F(Samplers, HostilePositionsAnswerAsTheEdge) {
  for (uint32_t format : {0u, 3u, 4u, 9u}) {
    SCOPED_TRACE(format);
    TiledMipImage *image = Make(37, 23, format);
    FillLevel0(image, format);
    RebuildAllLevels(image);
    const float far[] = {-1e30f, -kInf, -100.0f, -3.6f};
    for (float x : far) ASSERT_EQ(Filtered(image, 0, x, 5.0f), Filtered(image, 0, -50.0f, 5.0f)) << x;
    for (float y : {1e30f, kInf, 1e9f}) ASSERT_EQ(Filtered(image, 0, 5.0f, y), Filtered(image, 0, 5.0f, 60.0f)) << y;
    ASSERT_EQ(Filtered(image, 0, kNaN, kNaN), Filtered(image, 0, 0.0f, 0.0f));
    ASSERT_TRUE(std::isfinite(Filtered(image, 0, -0.7f, -1.2f)));
    for (float u : {-1e30f, -2.0f, -0.01f, 1.01f, 7.0f, 1e30f, kInf, -kInf, kNaN}) {
      for (float level : {-5.0f, 0.0f, 3.0f, 1e9f, kNaN, -kInf}) {
        float out[4];
        SampleTrilinearRGBA(image, level, 0.5f, u, 1.0f - u, out);
        ASSERT_TRUE(std::isfinite(out[0])) << u << " " << level;
      }
    }
  }
}

TEST_F(Samplers, DispatchByFormatAndScaling) {
  TiledMipImage *packed = Make(8, 8, kFormatPacked8), *gray = Make(8, 8, kFormatGray8),
                *g16 = Make(8, 8, kFormatGray16), *f32 = Make(8, 8, kFormatScalar32), *rgba16 = Make(8, 8, kFormatRgba16);
  const int32_t p[4] = {255, 128, 0, 255}, g[4] = {51, 0, 0, 0}, h[4] = {16384, 32768, 0, 8192};
  for (int32_t l = 0; l <= 3; ++l) {
    FillLevel(packed, l, p);
    FillLevel(gray, l, g);
    FillLevel(g16, l, g);
    FillLevel(f32, l, g);
    FillLevel(rgba16, l, h);
  }
  float out[4];
  SampleTrilinearRGBAScaled(packed, 0.0f, 0.5f, 0.5f, 0.5f, out);
  EXPECT_FLOAT_EQ(out[0], 1.0f);
  EXPECT_NEAR(out[1], 0.50196f, 1e-5f);
  EXPECT_EQ(out[2], 0.0f);
  EXPECT_FLOAT_EQ(out[3], 1.0f);
  SampleTrilinearRGBA(gray, 0.0f, 0.0f, 0.5f, 0.5f, out);
  EXPECT_EQ(out[0], 51.0f);
  EXPECT_EQ(out[2], 51.0f);
  EXPECT_EQ(out[3], 255.0f);
  SampleTrilinearRGBAScaled(gray, 0.0f, 0.0f, 0.5f, 0.5f, out);
  EXPECT_FLOAT_EQ(out[0], 0.2f);
  EXPECT_FLOAT_EQ(out[3], 1.0f);
  SampleTrilinearRGBAScaled(rgba16, 1.0f, 0.0f, 0.5f, 0.5f, out);
  EXPECT_EQ(out[0], 0.5f);
  EXPECT_EQ(out[1], 1.0f);
  EXPECT_EQ(out[3], 0.25f);
  for (TiledMipImage *zero : {g16, f32}) {
    SampleTrilinearRGBA(zero, 0.0f, 0.0f, 0.5f, 0.5f, out);
    EXPECT_EQ(out[0] + out[1] + out[2] + out[3], 0.0f);
  }
  // A sampler of another layout, an image without tiles, a missing level: zeros.
  EXPECT_EQ(SampleFilteredGray8(packed, 0, 3, 3), 0.0f);
  SampleFilteredRgba8(gray, 0, 3, 3, out);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(SampleFilteredGray8(gray, 9, 0, 0), 0.0f);
  EXPECT_EQ(SampleFilteredGray8(gray, -1, 0, 0), 0.0f);
  TiledMipImage none;
  BindImage(&none);
  EXPECT_EQ(SampleGrayTrilinear(&none, 0.0f, 0.5f, 0.5f, 0.5f), 0.0f);
  EXPECT_EQ(SampleGrayTrilinear(nullptr, 0.0f, 0.5f, 0.5f, 0.5f), 0.0f);
  SampleTrilinearRGBAScaled(&none, 0.0f, 0.5f, 0.5f, 0.5f, out);
  EXPECT_EQ(out[3], 0.0f);
  SampleTrilinearRGBA(nullptr, 0.0f, 0.5f, 0.5f, 0.5f, out);
  EXPECT_EQ(out[0], 0.0f);
}

// A grey image is opaque whatever it holds: without its tiles it samples as opaque black,
// where the other formats answer four zeros.
TEST_F(Samplers, AGreyImageWithoutTilesIsOpaqueBlack) {
  TiledMipImage *gray = Make(8, 8, kFormatGray8), *packed = Make(8, 8, kFormatPacked8);
  FreeImageTiles(gray);
  FreeImageTiles(packed);
  float out[4] = {7.0f, 7.0f, 7.0f, 7.0f};
  SampleTrilinearRGBA(gray, 0.0f, 0.5f, 0.5f, 0.5f, out);
  EXPECT_EQ(out[0] + out[1] + out[2], 0.0f);
  EXPECT_EQ(out[3], 255.0f);
  SampleTrilinearRGBAScaled(gray, 0.0f, 0.0f, 0.5f, 0.5f, out);
  EXPECT_FLOAT_EQ(out[3], 1.0f) << "255 x 1/255: the scale outlives the tiles";
  SampleTrilinearRGBA(packed, 0.0f, 0.5f, 0.5f, 0.5f, out);
  EXPECT_EQ(out[0] + out[1] + out[2] + out[3], 0.0f);
}

// An image bound without a kernel table samples with a table of the same contents.
TEST_F(Samplers, ImagesWithoutATableUseTheSharedOne) {
  TiledMipImage *bound = Make(50, 50, kFormatGray8);
  FillLevel0(bound, 9);
  TiledMipImage copy = *bound;
  copy.kernelTable = nullptr;
  for (float x = 0.0f; x < 50.0f; x += 3.3f) {
    ASSERT_EQ(SampleFilteredGray8(&copy, 0, x, 20.5f), SampleFilteredGray8(bound, 0, x, 20.5f));
  }
}

// A wrapping image samples across its edges as a shifted copy samples inside: wrapSetting 1
// wraps both ways, wrapSetting 2 across only.
TEST_F(Samplers, WrappingImagesReachAcrossTheEdges) {
  for (int32_t wrap : {1, 2}) {
    SCOPED_TRACE(wrap);
    TiledMipImage *wrapped = Make(30, 20, kFormatGray8, wrap), *shifted = Make(30, 20, kFormatGray8);
    FillLevel0(wrapped, 4);
    const int32_t dy = wrap == 2 ? 0 : 10;
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 30; ++x)
        PutPixelGray8Checked((x + 10) % 30, (y + dy) % 20, shifted, 0, GetPixelGray8(x, y, wrapped, 0));
    for (float x : {-0.4f, 0.0f, 0.7f, 1.5f, 27.6f, 28.5f, 29.2f}) {
      for (float y : {0.0f, 1.1f, 18.4f, 19.3f}) {
        const float sy = wrap == 2 ? y : float(std::fmod(y + 10.0f, 20.0f));
        ASSERT_EQ(SampleFilteredGray8(wrapped, 0, x, y), SampleFilteredGray8(shifted, 0, std::fmod(x + 10.0f, 30.0f), sy))
            << x << ", " << y;
      }
    }
  }
}

// Grey samples of every level of a small pyramid (each level one tile, like every crater texture
// level), inside, across and up to 4.5 pixels beyond the edges, and trilinear blends of two
// levels, against a plain weighted sum over clamped reads.
TEST_F(Samplers, GreyLevelsOfOneTileMatchAPlainSum) {
  TiledMipImage *gray = Make(96, 72, kFormatGray8);
  FillLevel0(gray, 31);
  RebuildAllLevels(gray);
  const ResampleKernelTable *t = TestKernelTable();
  auto plain = [&](int32_t l, float x, float y) {
    const float xf = float(double(x) + 0.5), yf = float(double(y) + 0.5);
    const int32_t ix = int32_t(std::floor(xf)), iy = int32_t(std::floor(yf));
    const int32_t px = int32_t((xf - float(ix)) * 128.0f), py = int32_t((yf - float(iy)) * 128.0f);
    int64_t total = 0;
    for (int j = 0; j < 5; ++j) {
      int64_t row = 0;
      for (int k = 0; k < 5; ++k) row += int64_t(t->weight2048[4 - k][px]) * GetPixelGray8(ix - 2 + k, iy - 2 + j, gray, l);
      total += t->weight2048[4 - j][py] * row;
    }
    return float(total) / 4194304.0f;
  };
  for (int32_t l = 0; l <= gray->coarsestLevel; ++l) {
    const float w = float(gray->levelWidth[l]), h = float(gray->levelHeight[l]);
    for (float x = -4.5f; x < w + 4.5f; x += (x < 4.0f || x > w - 4.0f) ? 0.5f : 1.37f) {
      for (float y = -4.3f; y < h + 4.5f; y += (y < 4.0f || y > h - 4.0f) ? 0.6f : 1.71f)
        ASSERT_EQ(SampleFilteredGray8(gray, l, x, y), plain(l, x, y)) << l << ": " << x << ", " << y;
    }
  }
  auto at = [](float c, int32_t n) { return float(double(c * float(n)) - 0.5); };
  for (float u = -0.04f; u < 1.05f; u += 0.037f) {
    const int32_t l = u < 0.5f ? 0 : 3, m = l + 1;
    const float a = plain(l, at(u, gray->levelSampleWidth[l]), at(1.0f - u, gray->levelSampleHeight[l]));
    const float b = plain(m, at(u, gray->levelSampleWidth[m]), at(1.0f - u, gray->levelSampleHeight[m]));
    ASSERT_EQ(SampleGrayTrilinear(gray, float(l), 0.3f, u, 1.0f - u), a + (b - a) * 0.3f) << u;
  }
}

// The kernel table (float rows included) and resampled images, committed as checksums like the
// levels, so that each build checks it computes the same bits: the table's sines and the
// resample's logarithm come from each platform's runtime library.
TEST_F(Samplers, TableAndResamplesAreTheSameInEveryBuild) {
  uint64_t h = 0xcbf29ce484222325ull;
  const auto *bytes = reinterpret_cast<const uint8_t *>(TestKernelTable());
  for (size_t i = 0; i < sizeof(ResampleKernelTable); ++i) h = (h ^ bytes[i]) * 0x100000001b3ull;
  EXPECT_EQ(h, 0x35a3109bbddf4f1eull) << std::hex << h;

  TiledMipImage *source = Make(640, 480, kFormatPacked8), *small = Make(128, 96, kFormatPacked8),
                *odd = Make(300, 211, kFormatPacked8);
  FillLevel0(source, 77);
  RebuildAllLevels(source);
  CopyOrResampleImage(source, small);
  CopyOrResampleImage(source, odd);
  EXPECT_EQ(test_support::PyramidChecksum(small), 0x1e48195710847caull) << std::hex << test_support::PyramidChecksum(small);
  EXPECT_EQ(test_support::PyramidChecksum(odd), 0x3d666b43ad78c510ull) << std::hex << test_support::PyramidChecksum(odd);
}

}  // namespace
