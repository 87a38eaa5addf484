// Tests of the wrapMode edge rules, derivative correction, level selection, the bilinear
// samplers and the 2x magnifiers.
#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "imagestore/edge_modes.h"
#include "imagestore/pixel_access.h"
#include "tests/imagestore/test_support.h"

using test_support::BindImage;
using test_support::FillLevel;
using test_support::ResetFakeHost;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class EdgeModes : public testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(); }
  void TearDown() override {
    for (int i = 0; i < used_; ++i) FreeImageTiles(&images_[i]);
    EXPECT_EQ(test_support::FakeHost()->outstanding, 0);
  }
  TiledMipImage *Make(int32_t w, int32_t h, uint32_t format) {
    TiledMipImage *image = &images_[used_++];
    BindImage(image);
    EXPECT_TRUE(CreateImage(image, w, h, format, 0));
    return image;
  }

 private:
  TiledMipImage images_[6];
  int used_ = 0;
};

struct Wrapped {
  int32_t empty;
  float u, v, level;
};

Wrapped Apply(float u, float v, float level, uint32_t mode, const TiledMipImage *image) {
  Wrapped w = {0, 0, 0, level};
  w.empty = ApplyWrapMode(u, v, &w.level, mode, image, &w.u, &w.v);
  return w;
}

TEST_F(EdgeModes, WrapModesMovePositionsOutsideTheImage) {
  TiledMipImage *image = Make(256, 256, kFormatPacked8);  // coarsest level 8
  Wrapped w = Apply(1.2f, -0.1f, 0.0f, 3, image);
  EXPECT_EQ(w.u, 1.0f);
  EXPECT_EQ(w.v, 0.0f);
  w = Apply(1.25f, -0.25f, 0.0f, 5, image);
  EXPECT_EQ(w.u, 0.25f);
  EXPECT_EQ(w.v, 0.75f);
  w = Apply(0.125f, 1.25f, 0.0f, 7, image);  // over the pole: v 0.75, u 0.5 - 0.125
  EXPECT_EQ(w.v, 0.75f);
  EXPECT_EQ(w.u, 0.375f);
  w = Apply(0.375f, -0.25f, 0.0f, 7, image);  // over the other pole
  EXPECT_EQ(w.v, 0.25f);
  EXPECT_EQ(w.u, 0.125f);
  w = Apply(0.625f, 2.25f, 0.0f, 7, image);  // two turns: no pole crossed
  EXPECT_EQ(w.v, 0.25f);
  EXPECT_EQ(w.u, 0.625f);
  w = Apply(1.5f, 0.5f, 0.0f, 2, image);
  EXPECT_EQ(w.level, 4.0f);
  EXPECT_EQ(w.u, 1.0f);
  w = Apply(9.0f, 0.5f, 2.0f, 2, image);  // the overshoot counts at most 1
  EXPECT_EQ(w.level, 8.0f);
  w = Apply(-1.5f, 0.5f, 0.0f, 4, image);
  EXPECT_EQ(w.u, 0.5f);
  w = Apply(-1.5f, 1.5f, 0.0f, 4, image);
  EXPECT_EQ(w.v, 1.0f);
  EXPECT_EQ(Apply(1.5f, 0.5f, 0.0f, 1, image).empty, 1);
  // Inside, every mode uses the position as it is; v = 1 is already outside.
  for (uint32_t mode = 1; mode <= 7; ++mode) {
    w = Apply(1.0f, 0.999f, 3.0f, mode, image);
    EXPECT_EQ(w.empty, 0);
    EXPECT_EQ(w.u, 1.0f);
    EXPECT_EQ(w.level, 3.0f);
  }
  EXPECT_EQ(Apply(0.5f, 1.0f, 0.0f, 1, image).empty, 1);
  // NaN and huge positions end inside 0..1.
  for (uint32_t mode = 2; mode <= 9; ++mode) {
    for (float t : {kNaN, 1e30f, -1e30f, std::numeric_limits<float>::infinity()}) {
      w = Apply(t, t, 1.0f, mode, image);
      EXPECT_TRUE(w.u >= 0.0f && w.u <= 1.0f && w.v >= 0.0f && w.v <= 1.0f) << mode << " " << t;
    }
  }
}

TEST(WrapDerivatives, CorrectAndScale) {
  WrapDerivativeRecord r = {2.0f, 100.0f, 50.0f, 5, 0.9f, -0.7f, 0.25f, 0.1f, 1};
  WrapDerivatives(&r);
  EXPECT_FLOAT_EQ(r.dudx, -0.1f * 200.0f);
  EXPECT_FLOAT_EQ(r.dvdx, 0.3f * 100.0f);
  EXPECT_FLOAT_EQ(r.dudy, 50.0f);
  EXPECT_EQ(r.discontinuity, 0);
  r = {1.0f, 10.0f, 10.0f, 4, 0.9f, 0.6f, 0.0f, 0.0f, 0};
  WrapDerivatives(&r);
  EXPECT_FLOAT_EQ(r.dudx, -1.0f);
  EXPECT_FLOAT_EQ(r.dvdx, 6.0f);
  EXPECT_EQ(r.discontinuity, 1);
  r = {1.0f, 10.0f, 10.0f, 3, 0.0f, 0.0f, -0.6f, 0.0f, 0};
  WrapDerivatives(&r);
  EXPECT_FLOAT_EQ(r.dudy, -6.0f);
  EXPECT_EQ(r.discontinuity, 1);
  r = {1.0f, 10.0f, 10.0f, 6, 0.9f, 0.9f, 0.9f, 0.9f, 0};
  WrapDerivatives(&r);
  EXPECT_FLOAT_EQ(r.dvdy, 9.0f);
  EXPECT_EQ(r.discontinuity, 0);
}

TEST_F(EdgeModes, LevelSelectionFromTheFootprint) {
  TiledMipImage *image = Make(1024, 512, kFormatGray8);  // coarsest 10, minus 3: 7
  MipLevelChoice choice = {0.0f, 0};
  // One neighbour 8 pixels away across, the other 2 down: footprint (8 + 2) / 2 = 5, exponent 2.
  EXPECT_EQ(SelectMipLevel(0.5f + 8.0f / 1024, 0.5f, 0.5f, 0.5f + 2.0f / 512, 0.5f, 0.5f, image, 0.0f, &choice), 2);
  EXPECT_EQ(choice.level, 2.0f);
  EXPECT_EQ(SelectMipLevel(0.52f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, image, 0.0f, &choice), 3);  // (20.48 + 0) / 2
  EXPECT_EQ(SelectMipLevel(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, image, 0.0f, &choice), 0);
  // The shorter way round: 0.99 and 0.01 are 0.02 apart.
  EXPECT_EQ(SelectMipLevel(0.99f, 0.5f, 0.99f, 0.5f, 0.01f, 0.5f, image, 0.0f, &choice), 4);  // 20.48
  EXPECT_EQ(SelectMipLevel(0.99f, 0.5f, 0.99f, 0.5f, 0.01f, 0.5f, image, 1.0f, &choice), 3);  // x 0.5
  EXPECT_EQ(SelectMipLevel(0.5f, 0.0f, 0.5f, 0.0f, 0.5f, 0.5f, image, 0.0f, &choice), 7);  // limited
  choice.hold = 1;
  EXPECT_EQ(SelectMipLevel(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, image, 0.0f, &choice), 7);
  choice = {5.0f, 0};
  EXPECT_EQ(SelectMipLevel(-1.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, image, 0.0f, &choice), 5);

  EXPECT_EQ(SelectMipLevelF(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, image), 0.0f);
  EXPECT_NEAR(SelectMipLevelF(0.5f + 8.0f / 1024, 0.5f, 0.5f + 8.0f / 1024, 0.5f, 0.5f, 0.5f, image), 3.0f, 1e-5f);
  EXPECT_NEAR(SelectMipLevelFromFootprints(12.0f, 1.0f, 0.0f, 12.0f, image), 3.585f, 0.02f);
  EXPECT_EQ(SelectMipLevelFromFootprints(1e30f, 1.0f, 1e30f, 1.0f, image), 10.0f);
}

TEST_F(EdgeModes, BilinearSamplesOfARamp) {
  TiledMipImage *packed = Make(16, 16, kFormatPacked8), *f32 = Make(16, 16, kFormatScalar32),
                *rgbaF = Make(16, 16, kFormatRgbaF32);
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 16; ++x) {
      PutPixel4(x, y, packed, 0, 10 * x, 10 * y, 0, 255);
      const float v[4] = {float(x), float(y), 0.0f, 1.0f};
      PutPixel4Float(x, y, rgbaF, 0, v);
    }
  }
  for (int32_t l = 0; l <= 1; ++l) {
    const int32_t two[4] = {std::bit_cast<int32_t>(2.0f + l), 0, 0, 0};
    FillLevel(f32, l, two);
  }
  float out[4];
  SampleBilinear4(packed, 0, 3.25f, 7.5f, out);
  EXPECT_FLOAT_EQ(out[0], 32.5f);
  EXPECT_FLOAT_EQ(out[1], 75.0f);
  EXPECT_EQ(out[3], 255.0f);
  SampleBilinear4(rgbaF, 0, 3.25f, 7.5f, out);
  EXPECT_FLOAT_EQ(out[0], 3.25f);
  SampleBilinear4(packed, 0, -4.0f, 40.0f, out);  // clamped to the corner pixel (0, 15)
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 150.0f);
  SampleBilinear4(packed, 0, kNaN, -1e30f, out);
  EXPECT_EQ(out[0] + out[1], 0.0f);
  EXPECT_EQ(SampleBilinearF32(f32, 0, 5.5f, 5.5f), 2.0f);
  EXPECT_EQ(SampleBilinearF32(packed, 0, 5.5f, 5.5f), 0.0f);

  int32_t fixed[4];
  SampleBilinearFixed(packed, 0, 3 * 32768 + 8192, 7 * 32768 + 16384, fixed);
  EXPECT_EQ(fixed[0], 32);  // 30 x 0.75 + 40 x 0.25, each product truncated: 22 + 10
  EXPECT_EQ(fixed[1], 74);  // rows 70 x (0.75 + 0.25) -> 52 + 17 = 69 and 80; 34 + 40
  SampleBilinearFixed(rgbaF, 0, 0, 0, fixed);
  EXPECT_EQ(fixed[0], 0);

  SampleBilinearAt(packed, 0, 0.5f, 0.5f, out);  // pixel centre 7.5, 7.5
  EXPECT_FLOAT_EQ(out[0], 75.0f);
  const int32_t grey[4] = {60, 60, 60, 255};
  FillLevel(packed, 1, grey);
  SampleBilinearTrilinear(packed, 0.0f, 0.5f, 0.5f, 0.5f, out);
  EXPECT_FLOAT_EQ(out[0], 67.5f);
  SampleBilinearTrilinear(packed, kNaN, 0.0f, 0.5f, 0.5f, out);
  EXPECT_FLOAT_EQ(out[0], 75.0f);
}

TEST_F(EdgeModes, TwoTimesMagnifiers) {
  TiledMipImage *packed = Make(4, 4, kFormatPacked8), *gray = Make(4, 4, kFormatGray8);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      PutPixel4(x, y, packed, 0, 10 * x, 100 + 10 * y, 0, 255);
      PutPixelGray8Checked(x, y, gray, 0, 10 * x + 40 * y);
    }
  }
  EXPECT_EQ(Magnify2xPacked8(packed, 0, 2, 4, false), (10u << 24) | (120u << 16) | 255u);
  EXPECT_EQ(Magnify2xPacked8(packed, 0, 3, 4, false) >> 24, 15u);             // with the right neighbour
  EXPECT_EQ((Magnify2xPacked8(packed, 0, 3, 5, false) >> 16) & 255, 125u);    // and the lower one
  EXPECT_EQ(Magnify2xPacked8(packed, 0, 7, 0, false) >> 24, 30u);             // clamped: (30 + 30) / 2
  EXPECT_EQ(Magnify2xPacked8(packed, 0, 7, 0, true) >> 24, 15u);              // wrapped: (30 + 0) / 2
  EXPECT_EQ(Magnify2xGray(gray, 0, 3, 3, false), (50 + 60 + 90 + 100) / 4);
  EXPECT_EQ(Magnify2xGray(gray, 0, 7, 7, true), (150 + 120 + 30 + 0) / 4);
  // Smooth: even coordinates weight (1, 4, 1), odd ones (3, 3); sums over 36.
  EXPECT_EQ(Magnify2xSmoothGray(gray, 0, 2, 2), 50);  // a linear picture keeps its values
  EXPECT_EQ(Magnify2xSmoothGray(gray, 0, 3, 2), 55);
  EXPECT_EQ(Magnify2xSmoothPacked8(packed, 0, 2, 2) >> 24, 10u);
  EXPECT_EQ(Magnify2xSmoothPacked8(packed, 0, 0, 0) >> 24, 1u);  // (0 x 5 + 10) x 6 / 36
  EXPECT_EQ(Magnify2xGray(nullptr, 0, 0, 0, false), 0);
  EXPECT_EQ(Magnify2xSmoothPacked8(packed, 9, 0, 0), 0u);
}

}  // namespace
