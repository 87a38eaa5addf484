// Tests of single-pixel access in every format, the edge policies, images without tiles, and the
// whole-image copy and resample.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "imagestore/image_copy.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "imagestore/tile_access.h"
#include "tests/imagestore/test_support.h"

using test_support::BindImage;
using test_support::FillLevel;
using test_support::FillLevel0;
using test_support::ResetFakeHost;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class PixelAccess : public testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(); }
  void TearDown() override { EXPECT_EQ(test_support::FakeHost()->outstanding, 0); }

  // A created image that frees itself; &image gives the record, as for a plain TiledMipImage.
  struct Image {
    TiledMipImage image;
    Image(int32_t w, int32_t h, uint32_t format) {
      BindImage(&image);
      EXPECT_TRUE(CreateImage(&image, w, h, format, 0));
    }
    ~Image() { FreeImageTiles(&image); }
    TiledMipImage *operator&() { return &image; }
    TiledMipImage *operator->() { return &image; }
  };
};

// Writes and reads back in every layout, across tile borders (x and y 511 and 512) and in the
// narrow last tile column, which catches a fixed row stride of 512.
TEST_F(PixelAccess, EveryLayoutRoundTripsAcrossTileBorders) {
  const int32_t points[][2] = {{0, 0}, {511, 0}, {512, 0}, {511, 511}, {512, 512}, {1099, 699}, {1030, 600}};
  Image gray(1100, 700, kFormatGray8), packed(1100, 700, kFormatPacked8), rgba16(1100, 700, kFormatRgba16),
      rgbaF(1100, 700, kFormatRgbaF32), slope(1100, 700, kFormatSlope16);
  int n = 1;
  for (auto [x, y] : points) {
    PutPixelGray8Checked(x, y, &gray, 0, n);
    PutPixelPacked8(x, y, &packed, 0, n, n + 1, n + 2, n + 3);
    PutPixelRgba16(x, y, &rgba16, 0, 1000 * n, 1000 * n + 1, 40000, 65535);
    PutPixelRgbaF32Checked(x, y, &rgbaF, 0, 0.5f * n, -1.0f, 1e9f, 0.0f);
    PutPixelRgb16Checked(x, y, &slope, 0, -n, 32767, -32768);
    ++n;
  }
  n = 1;
  for (auto [x, y] : points) {
    SCOPED_TRACE(testing::Message() << x << ", " << y);
    EXPECT_EQ(GetPixelGray8(x, y, &gray, 0), n);
    int32_t c[4];
    GetPixelPacked8(x, y, &packed, 0, &c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0] * 1000 + c[1] * 100 + c[2] * 10 + c[3], n * 1111 + 123);
    GetPixelRgba16(x, y, &rgba16, 0, &c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0], 1000 * n);
    EXPECT_EQ(c[1], 1000 * n + 1);
    EXPECT_EQ(c[2], 40000);
    EXPECT_EQ(c[3], 65535);
    uint32_t w[4];
    GetPixelRgba32(x, y, &rgbaF, 0, &w[0], &w[1], &w[2], &w[3]);
    EXPECT_EQ(std::bit_cast<float>(w[0]), 0.5f * n);
    EXPECT_EQ(std::bit_cast<float>(w[2]), 1e9f);
    GetPixelRgb16(x, y, &slope, 0, &c[0], &c[1], &c[2]);
    EXPECT_EQ(c[0], -n);
    EXPECT_EQ(c[1], 32767);
    EXPECT_EQ(c[2], -32768);
    ++n;
  }
  // The other pixels of the row did not change (fresh tiles are cleared).
  EXPECT_EQ(GetPixelGray8(510, 0, &gray, 0), 0);
}

TEST_F(PixelAccess, PackedChannelsSitInTheDocumentedBits) {
  Image packed(3, 3, kFormatPacked8);
  PutPixelPacked8Checked(1, 1, &packed, 0, 1, 2, 3, 4 + 256);  // each taken as its low 8 bits
  const uint8_t *p = tile_access::PixelAddress(&packed, 0, 1, 1, 4);
  uint32_t word;
  std::memcpy(&word, p, 4);
  EXPECT_EQ(word, 0x01020304u);
  float rgba[4];
  FetchPixelRGBA(1, 1, &packed, 0, rgba);
  EXPECT_FLOAT_EQ(rgba[0], 1.0f / 255.0f);
  EXPECT_FLOAT_EQ(rgba[3], 4.0f / 255.0f);
}

TEST_F(PixelAccess, OneChannelReads) {
  Image g16(40, 20, kFormatGray16), f32(40, 20, kFormatScalar32);
  const int32_t v16[4] = {54321, 0, 0, 0}, vf[4] = {std::bit_cast<int32_t>(-2.5f), 0, 0, 0};
  FillLevel(&g16, 0, v16);
  FillLevel(&f32, 0, vf);
  EXPECT_EQ(GetPixelU16(3, 3, &g16, 0), 54321);
  EXPECT_EQ(GetPixelF32(3, 3, &f32, 0), -2.5f);
  EXPECT_EQ(GetPixelI32(3, 3, &f32, 0), std::bit_cast<int32_t>(-2.5f));
  uint32_t word;
  GetPixelU32(3, 3, &f32, 0, &word);
  EXPECT_EQ(word, std::bit_cast<uint32_t>(-2.5f));
}

TEST_F(PixelAccess, CheckedPutsDropOutsidePointsAndClampedGetsAnswerTheEdge) {
  Image gray(10, 6, kFormatGray8);
  const int32_t zero[4] = {0, 0, 0, 0};
  FillLevel(&gray, 0, zero);
  for (int32_t x = 0; x < 10; ++x) PutPixelGray8Checked(x, 0, &gray, 0, 10 + x);
  PutPixelGray8Checked(10, 0, &gray, 0, 99);
  PutPixelGray8Checked(-1, 0, &gray, 0, 99);
  PutPixelGray8Checked(0, 6, &gray, 0, 99);
  PutPixelGray8Checked(0, -1, &gray, 0, 99);
  EXPECT_EQ(GetPixelGray8(-5, -5, &gray, 0), 10);
  EXPECT_EQ(GetPixelGray8(20, 0, &gray, 0), 19);
  EXPECT_EQ(GetPixelGray8(20, 100, &gray, 0), 0);
  for (int32_t y = 1; y < 6; ++y) EXPECT_EQ(GetPixelGray8(0, y, &gray, 0), 0);
}

// An image without tiles, a level that does not exist and a null image read as 0 and ignore
// writes, in every accessor.
TEST_F(PixelAccess, ImagesWithoutTilesReadZeroAndIgnoreWrites) {
  TiledMipImage none;
  BindImage(&none);
  Image made(8, 8, kFormatPacked8);
  const TiledMipImage *const cases[] = {&none, nullptr};
  for (const TiledMipImage *image : cases) {
    auto *writable = const_cast<TiledMipImage *>(image);
    PutPixelGray8Checked(0, 0, writable, 0, 1);
    PutPixelPacked8Checked(0, 0, writable, 0, 1, 2, 3, 4);
    PutPixelRgba16Checked(0, 0, writable, 0, 1, 2, 3, 4);
    PutPixelRgbaF32Checked(0, 0, writable, 0, 1, 2, 3, 4);
    PutPixelRgb16Checked(0, 0, writable, 0, 1, 2, 3);
    PutPixel4(0, 0, writable, 0, 1, 2, 3, 4);
    const float one[4] = {1, 1, 1, 1};
    PutPixel4Float(0, 0, writable, 0, one);
    EXPECT_EQ(GetPixelGray8(0, 0, image, 0), 0);
    EXPECT_EQ(GetPixelU16(0, 0, image, 0), 0);
    EXPECT_EQ(GetPixelI32(0, 0, image, 0), 0);
    EXPECT_EQ(GetPixelF32(0, 0, image, 0), 0.0f);
    EXPECT_EQ(GetPixel1(0, 0, image, 0), 0);
    uint32_t w[4] = {7, 7, 7, 7};
    GetPixelU32(0, 0, image, 0, &w[0]);
    EXPECT_EQ(w[0], 0u);
    GetPixelRgba32(0, 0, image, 0, &w[0], &w[1], &w[2], &w[3]);
    EXPECT_EQ(w[0] | w[1] | w[2] | w[3], 0u);
    int32_t c[4] = {7, 7, 7, 7};
    GetPixelPacked8(0, 0, image, 0, &c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0] | c[1] | c[2] | c[3], 0);
    c[0] = c[1] = c[2] = c[3] = 7;
    GetPixelRgba16(0, 0, image, 0, &c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0] | c[1] | c[2] | c[3], 0);
    GetPixelRgb16(0, 0, image, 0, &c[0], &c[1], &c[2]);
    EXPECT_EQ(c[0] | c[1] | c[2], 0);
    float rgba[4] = {7, 7, 7, 7};
    FetchPixelRGBA(0, 0, image, 0, rgba);
    EXPECT_EQ(rgba[0], 0.0f);
  }
  // Levels outside 0..coarsest.
  PutPixelPacked8Checked(0, 0, &made, made->coarsestLevel + 1, 1, 2, 3, 4);
  PutPixelPacked8Checked(0, 0, &made, -1, 1, 2, 3, 4);
  int32_t c[4];
  GetPixelPacked8(0, 0, &made, 40, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 0);
}

// A writer of one layout aimed at an image of a narrower one (a packed word into a gray 8-bit
// export image) writes nothing instead of running past the tile. The 1 x 1 tile makes any
// overflow visible to ASan.
TEST_F(PixelAccess, WritersOfAnotherLayoutCannotOverflow) {
  Image gray(1, 1, kFormatGray8), g16(1, 1, kFormatGray16), slope(1, 1, kFormatSlope16);
  PutPixelGray8Checked(0, 0, &gray, 0, 77);
  PutPixelPacked8Checked(0, 0, &gray, 0, 1, 2, 3, 4);
  PutPixelRgba16Checked(0, 0, &gray, 0, 1, 2, 3, 4);
  PutPixelRgbaF32Checked(0, 0, &g16, 0, 1, 2, 3, 4);
  PutPixelRgba16Checked(0, 0, &slope, 0, 1, 2, 3, 4);
  EXPECT_EQ(GetPixelGray8(0, 0, &gray, 0), 77);
  int32_t c[4] = {9, 9, 9, 9};
  GetPixelRgba16(0, 0, &gray, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 0);
  EXPECT_EQ(GetPixelI32(0, 0, &g16, 0), 0);
}

TEST_F(PixelAccess, DispatchersByFormat) {
  Image slope(4, 4, kFormatSlope16), rgbaF(4, 4, kFormatRgbaF32), gray(4, 4, kFormatGray8);
  PutPixel4(1, 1, &slope, 0, -5, 6, -7, 8);
  int32_t c[4] = {0, 0, 0, 1234};
  GetPixel4(1, 1, &slope, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], -5);
  EXPECT_EQ(c[2], -7);
  EXPECT_EQ(c[3], 1234);  // left as it was
  PutPixel4(2, 2, &rgbaF, 0, std::bit_cast<int32_t>(0.25f), 0, 0, std::bit_cast<int32_t>(-1.0f));
  GetPixel4Fwd(2, 2, &rgbaF, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(std::bit_cast<float>(c[0]), 0.25f);
  EXPECT_EQ(std::bit_cast<float>(c[3]), -1.0f);
  // One-channel formats: the four-channel dispatchers do nothing.
  PutPixelGray8Checked(0, 0, &gray, 0, 42);
  PutPixel4(0, 0, &gray, 0, 1, 2, 3, 4);
  c[0] = 99;
  GetPixel4(0, 0, &gray, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 99);
  EXPECT_EQ(GetPixelGray8(0, 0, &gray, 0), 42);
}

// Float writes: 1.0 is full intensity; values beyond the channel's range stay at its ends
// instead of wrapping (1.01 on an 8-bit channel would otherwise keep only the low 8 bits of 257
// and turn a bright pixel black).
TEST_F(PixelAccess, FloatWritesScaleAndClamp) {
  Image packed(2, 2, kFormatPacked8), rgba16(2, 2, kFormatRgba16), rgbaF(2, 2, kFormatRgbaF32);
  const float a[4] = {1.0f, 0.999f, 0.5f, 0.0f};
  PutPixel4Float(0, 0, &packed, 0, a);
  int32_t c[4];
  GetPixelPacked8(0, 0, &packed, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 255);
  EXPECT_EQ(c[1], 254);
  EXPECT_EQ(c[2], 127);
  EXPECT_EQ(c[3], 0);
  const float b[4] = {1.01f, -0.5f, kNaN, 1e30f};
  PutPixel4Float(0, 0, &packed, 0, b);
  GetPixelPacked8(0, 0, &packed, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 255);
  EXPECT_EQ(c[1], 0);
  EXPECT_EQ(c[2], 0);
  EXPECT_EQ(c[3], 255);
  PutPixel4Float(0, 0, &rgba16, 0, a);
  GetPixelRgba16(0, 0, &rgba16, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 32768);
  EXPECT_EQ(c[2], 16384);
  const float d[4] = {1.5f, 2.0f, 3.0f, -1.0f};
  PutPixel4Float(0, 0, &rgba16, 0, d);
  GetPixelRgba16(0, 0, &rgba16, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 49152);
  EXPECT_EQ(c[1], 65535);
  EXPECT_EQ(c[2], 65535);
  EXPECT_EQ(c[3], 0);
  PutPixel4Float(1, 1, &rgbaF, 0, b);
  float rgba[4];
  FetchPixelRGBA(1, 1, &rgbaF, 0, rgba);
  EXPECT_EQ(rgba[0], 1.01f);
  EXPECT_TRUE(std::isnan(rgba[2]));
  EXPECT_EQ(rgba[3], 1e30f);
}

// FetchPixelRGBA and GetPixel1 per format; GetPixel1 answers channel 0 of the addressed pixel in
// the multi-channel formats (not the element of the same index, which belongs to another pixel).
TEST_F(PixelAccess, FetchAndChannelZeroPerFormat) {
  Image gray(3, 3, kFormatGray8), g16(3, 3, kFormatGray16), f32(3, 3, kFormatScalar32),
      slope(3, 3, kFormatSlope16), packed(3, 3, kFormatPacked8), rgba16(3, 3, kFormatRgba16),
      rgbaF(3, 3, kFormatRgbaF32);
  const int32_t g[4] = {51, 0, 0, 0}, h[4] = {16384, 0, 0, 0}, f[4] = {std::bit_cast<int32_t>(0.75f), 0, 0, 0};
  FillLevel(&gray, 0, g);
  FillLevel(&g16, 0, h);
  FillLevel(&f32, 0, f);
  for (int32_t i = 0; i < 9; ++i) {
    PutPixel4(i % 3, i / 3, &slope, 0, -100 - i, i, 2 * i, 0);
    PutPixel4(i % 3, i / 3, &packed, 0, 10 + i, 20, 30, 40);
    PutPixel4(i % 3, i / 3, &rgba16, 0, 1000 + i, 2, 3, 4);
    const float v[4] = {float(i), 2, 3, 4};
    PutPixel4Float(i % 3, i / 3, &rgbaF, 0, v);
  }
  float rgba[4];
  FetchPixelRGBA(1, 1, &gray, 0, rgba);
  EXPECT_FLOAT_EQ(rgba[0], 51.0f / 255.0f);
  EXPECT_EQ(rgba[0], rgba[2]);
  EXPECT_EQ(rgba[3], 1.0f);
  FetchPixelRGBA(1, 1, &g16, 0, rgba);
  EXPECT_EQ(rgba[1], 0.5f);
  FetchPixelRGBA(1, 1, &f32, 0, rgba);
  EXPECT_EQ(rgba[0], 0.75f);
  EXPECT_EQ(rgba[3], 1.0f);
  FetchPixelRGBA(2, 1, &slope, 0, rgba);  // (g, g, g, 1) from channel 0 of pixel 5
  EXPECT_EQ(rgba[0], -105.0f);
  EXPECT_EQ(rgba[3], 1.0f);
  FetchPixelRGBA(2, 2, &rgba16, 0, rgba);
  EXPECT_EQ(rgba[0], 1008.0f / 32768.0f);

  EXPECT_EQ(GetPixel1(2, 1, &slope, 0), -105);
  EXPECT_EQ(GetPixel1(2, 1, &packed, 0), 15);
  EXPECT_EQ(GetPixel1(2, 1, &rgba16, 0), 1005);
  EXPECT_EQ(GetPixel1(2, 1, &rgbaF, 0), std::bit_cast<int32_t>(5.0f));
  EXPECT_EQ(GetPixel1(9, 9, &gray, 0), 51);
  EXPECT_EQ(GetPixel1(1, 1, &g16, 0), 16384);
}

// Formats 3, 4 and 9 copy exactly through floats, every 8-bit value included.
TEST_F(PixelAccess, CopyImagePlaneIsExact) {
  for (uint32_t format : {3u, 4u, 9u}) {
    SCOPED_TRACE(format);
    Image a(256, 3, format), b(256, 3, format);
    FillLevel0(&a, 11);
    for (int32_t x = 0; x < 256; ++x) PutPixel4(x, 0, &a, 0, x, x, x, x);
    CopyImagePlane(&a, &b, 0, 0);
    EXPECT_EQ(test_support::LevelChecksum(&a, 0), test_support::LevelChecksum(&b, 0));
  }
  // Different formats: nothing is copied. A smaller destination takes the overlap.
  Image a(20, 20, kFormatPacked8), b(20, 20, kFormatRgba16), small(5, 4, kFormatPacked8);
  const int32_t one[4] = {1, 1, 1, 1};
  FillLevel(&b, 0, one);
  FillLevel0(&a, 3);
  CopyImagePlane(&a, &b, 0, 0);
  int32_t c[4];
  GetPixelRgba16(7, 7, &b, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 1);
  CopyImagePlane(&a, &small, 0, 0);
  EXPECT_EQ(test_support::LevelChecksum(&small, 0), [&] {
    Image expect(5, 4, kFormatPacked8);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 5; ++x) {
        int32_t d[4];
        GetPixel4(x, y, &a, 0, &d[0], &d[1], &d[2], &d[3]);
        PutPixel4(x, y, &expect, 0, d[0], d[1], d[2], d[3]);
      }
    return test_support::LevelChecksum(&expect, 0);
  }());
}

TEST_F(PixelAccess, CopyOrResampleAtEqualSizeCopiesAndBuildsLevels) {
  Image a(33, 17, kFormatRgba16), b(33, 17, kFormatRgba16);
  FillLevel0(&a, 5);
  RebuildAllLevels(&a);
  CopyOrResampleImage(&a, &b);
  EXPECT_EQ(test_support::PyramidChecksum(&a), test_support::PyramidChecksum(&b));
  EXPECT_EQ(b->levelState, 2u);
}

// The sampling level: a 512-wide source into 128 columns with bias 0.5 samples level 1.5 (half
// way between levels 1 and 2); a 2:1 reduction samples level 0.5; an enlargement level 0.
TEST_F(PixelAccess, ResampleChoosesTheLevelFromTheWidths) {
  Image source(512, 512, kFormatPacked8);
  const int32_t values[][4] = {{40, 40, 40, 9}, {100, 100, 100, 9}, {200, 200, 200, 9}};
  for (int l = 0; l < 3; ++l) FillLevel(&source, l, values[l]);
  auto centre = [](Image &image) {
    int32_t c[4];
    GetPixelPacked8(image->levelWidth[0] / 2, image->levelHeight[0] / 2, &image, 0, &c[0], &c[1], &c[2], &c[3]);
    return std::array<int32_t, 4>{c[0], c[1], c[2], c[3]};
  };
  Image quarter(128, 128, kFormatPacked8), half(256, 256, kFormatPacked8), double_(1024, 40, kFormatPacked8);
  Rect16 from, to;
  GetLevelRect(&source, 0, &from);
  GetLevelRect(&quarter, 0, &to);
  ResampleImageInto(&source, &quarter, &from, &to, 0.5f);
  EXPECT_EQ(centre(quarter), (std::array<int32_t, 4>{150, 150, 150, 255}));
  EXPECT_EQ(quarter->levelState, 2u);
  CopyOrResampleImage(&source, &half);
  EXPECT_EQ(centre(half), (std::array<int32_t, 4>{70, 70, 70, 255}));
  CopyOrResampleImage(&source, &double_);
  EXPECT_EQ(centre(double_), (std::array<int32_t, 4>{40, 40, 40, 255}));
}

// A flat colour resamples to itself at level 0 (equal widths), alpha 255, into a rectangle that
// partly lies outside the destination.
TEST_F(PixelAccess, ResampleIntoARectangle) {
  Image source(50, 30, kFormatRgba16), dest(64, 64, kFormatPacked8);
  const int32_t flat[4] = {16384, 32768, 0, 100};
  FillLevel(&source, 0, flat);
  RebuildAllLevels(&source);
  const int32_t zero[4] = {0, 0, 0, 0};
  FillLevel(&dest, 0, zero);
  Rect16 from, to = {-10, 40, 20, 90};  // top, left, bottom, right
  GetLevelRect(&source, 0, &from);
  ResampleImageInto(&source, &dest, &from, &to, 0.0f);
  int32_t c[4];
  GetPixelPacked8(50, 5, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 127);
  EXPECT_EQ(c[1], 255);
  EXPECT_EQ(c[2], 0);
  EXPECT_EQ(c[3], 255);
  GetPixelPacked8(39, 5, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[3], 0);
  GetPixelPacked8(63, 19, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[3], 255);
  GetPixelPacked8(63, 20, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[3], 0);
}

// What the resample must refuse: a destination that is not packed 8-bit (its tiles are narrower
// than the words it would write), images without tiles, empty rectangles.
TEST_F(PixelAccess, ResampleRefusals) {
  Image source(64, 64, kFormatPacked8), gray(32, 32, kFormatGray8), dest(32, 32, kFormatPacked8);
  FillLevel0(&source, 1);
  const int32_t seven[4] = {7, 7, 7, 7};
  FillLevel(&gray, 0, seven);
  FillLevel(&dest, 0, seven);
  Rect16 from = {0, 0, 64, 64}, to = {0, 0, 32, 32};
  ResampleImageInto(&source, &gray, &from, &to, 0.5f);
  EXPECT_EQ(GetPixelGray8(0, 0, &gray, 0), 7);
  CopyOrResampleImage(&source, &gray);
  EXPECT_EQ(GetPixelGray8(31, 31, &gray, 0), 7);

  TiledMipImage none;
  BindImage(&none);
  ResampleImageInto(&none, &dest, &from, &to, 0.5f);
  ResampleImageInto(&source, &none, &from, &to, 0.5f);
  CopyOrResampleImage(&none, &dest);
  CopyOrResampleImage(&source, &none);
  CopyOrResampleImage(nullptr, &dest);
  EXPECT_EQ(GetPixelGray8(0, 0, &gray, 0), 7);
  int32_t c[4];
  GetPixelPacked8(5, 5, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 7);

  // An empty destination rectangle divides nothing by zero and only rebuilds the levels; an
  // empty source rectangle samples level 0.
  Rect16 empty = {0, 5, 10, 5};
  ResampleImageInto(&source, &dest, &from, &empty, 0.5f);
  EXPECT_EQ(dest->levelState, 2u);
  GetPixelPacked8(5, 5, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 7);
  ResampleImageInto(&source, &dest, &empty, &to, 0.5f);
  GetPixelPacked8(5, 5, &dest, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[3], 255);
}

}  // namespace
