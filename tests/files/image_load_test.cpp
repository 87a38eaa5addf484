// Tests of image loading and the built-in texture maps. The same program runs natively (the maps
// linked in as arrays) and in the Windows trees (the maps as RT_RCDATA resources of the test
// program itself, found through a null module instance).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "files/image_load.h"
#include "files/texture_maps.h"
#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "tests/imagestore/test_support.h"

namespace {

struct MapBytes {
  const uint8_t *bytes = nullptr;
  uint32_t count = 0;
};

MapBytes FindMap(int32_t id) {
  MapBytes m;
  EXPECT_TRUE(FindRawResource(id, &m.bytes, &m.count)) << "resource " << id;
  return m;
}

// Mean of the samples whose centre lies between two distances from the picture's centre
// (fractions of half the side).
double RingMean(const MapBytes &m, int32_t side, double from, double to, int *minimum = nullptr,
                int *maximum = nullptr) {
  const double half = side / 2.0;
  double sum = 0.0;
  int n = 0, lo = 255, hi = 0;
  for (int32_t y = 0; y < side; ++y) {
    for (int32_t x = 0; x < side; ++x) {
      const double r = std::hypot(x + 0.5 - half, y + 0.5 - half) / half;
      if (r < from || r >= to) continue;
      const int v = m.bytes[y * side + x];
      sum += v;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
      ++n;
    }
  }
  if (minimum) *minimum = lo;
  if (maximum) *maximum = hi;
  return n ? sum / n : 0.0;
}

class ImageLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::ResetFakeHost();
    test_support::BindImage(&image);
  }
  void TearDown() override {
    FreeImageTiles(&image);
    EXPECT_EQ(test_support::FakeHost()->outstanding, 0);
  }
  TiledMipImage image;
};

// ---- The maps themselves ----------------------------------------------------------------------

TEST(TextureMaps, EveryMapHasItsSize) {
  for (int32_t id : kCraterTextureResources) {
    EXPECT_EQ(FindMap(id).count, uint32_t(kCraterTextureSize * kCraterTextureSize)) << id;
  }
  EXPECT_EQ(FindMap(kLunarReliefResource).count, uint32_t(kLunarReliefSize * kLunarReliefSize));
  // There is no 147 among the maps, and nothing at an unknown id.
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(1);
  uint32_t count = 7;
  EXPECT_FALSE(FindRawResource(147, &bytes, &count));
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(FindRawResource(4242, &bytes, &count));
}

TEST(TextureMaps, CratersAreBowlsWithARaisedRimOnANeutralSquare) {
  const int32_t n = kCraterTextureSize;
  std::vector<std::vector<uint8_t>> seen;
  for (int32_t id : kCraterTextureResources) {
    const MapBytes m = FindMap(id);
    ASSERT_NE(m.bytes, nullptr);
    // The whole border, and everything outside the inscribed circle, is exactly "no change".
    for (int32_t k = 0; k < n; ++k) {
      ASSERT_EQ(m.bytes[k], kTextureNeutralValue) << id;                    // top row
      ASSERT_EQ(m.bytes[(n - 1) * n + k], kTextureNeutralValue) << id;      // bottom row
      ASSERT_EQ(m.bytes[k * n], kTextureNeutralValue) << id;                // left column
      ASSERT_EQ(m.bytes[k * n + n - 1], kTextureNeutralValue) << id;        // right column
    }
    int lo, hi;
    RingMean(m, n, 0.97, 2.0, &lo, &hi);
    EXPECT_EQ(lo, kTextureNeutralValue) << id;
    EXPECT_EQ(hi, kTextureNeutralValue) << id;
    // A bowl below 128 in the middle, a rim above 128 around it.
    const double bowl = RingMean(m, n, 0.0, 0.25);
    RingMean(m, n, 0.35, 0.75, nullptr, &hi);
    EXPECT_LT(bowl, kTextureNeutralValue - 30) << id;
    EXPECT_GT(hi, kTextureNeutralValue + 20) << id;
    // Smooth enough for mip sampling: neighbouring samples differ by little.
    int steepest = 0;
    for (int32_t y = 0; y < n; ++y) {
      for (int32_t x = 1; x < n; ++x) steepest = std::max(steepest, std::abs(m.bytes[y * n + x] - m.bytes[y * n + x - 1]));
    }
    EXPECT_LT(steepest, 24) << id;
    seen.emplace_back(m.bytes, m.bytes + m.count);
  }
  for (size_t a = 0; a < seen.size(); ++a) {
    for (size_t b = a + 1; b < seen.size(); ++b) EXPECT_NE(seen[a], seen[b]) << a << " " << b;
  }
}

TEST(TextureMaps, LunarReliefIsAnUprightNearSideDisc) {
  const int32_t n = kLunarReliefSize;
  const MapBytes m = FindMap(kLunarReliefResource);
  ASSERT_NE(m.bytes, nullptr);
  int lo, hi;
  RingMean(m, n, 1.0 + 1.5 / 256.0, 2.0, &lo, &hi);  // wholly outside the disc
  EXPECT_EQ(lo, kTextureNeutralValue);
  EXPECT_EQ(hi, kTextureNeutralValue);
  // Inside: low maria and high highlands.
  RingMean(m, n, 0.0, 0.98, &lo, &hi);
  EXPECT_LT(lo, kTextureNeutralValue - 40);
  EXPECT_GT(hi, kTextureNeutralValue + 40);
  // The renderer reads row v at the sphere's y = 2v - 1, y growing upward, so the map's top rows
  // are the moon's south: the bright southern highlands must be there and the dark northern
  // maria at the bottom, or the moon would be drawn upside down.
  double top = 0.0, bottom = 0.0;
  int inside = 0;
  for (int32_t y = 0; y < n; ++y) {
    for (int32_t x = 0; x < n; ++x) {
      if (std::hypot(x + 0.5 - n / 2.0, y + 0.5 - n / 2.0) > 0.9 * n / 2.0) continue;
      (y < n / 2 ? top : bottom) += m.bytes[y * n + x];
      ++inside;
    }
  }
  EXPECT_GT(top - bottom, 0.02 * inside * kTextureNeutralValue / 2.0);
}

// ---- Loading -----------------------------------------------------------------------------------

TEST_F(ImageLoadTest, ResourceFillsAOneChannelImageWithAllLevels) {
  ASSERT_TRUE(LoadImageFromResource(&image, kLunarReliefResource, kLunarReliefSize, kLunarReliefSize, 1));
  EXPECT_EQ(image.storageFormat, uint32_t(kFormatGray8));
  EXPECT_EQ(image.baseWidth, 512);
  EXPECT_EQ(image.baseHeight, 512);
  EXPECT_EQ(image.levelState, 2u);
  const MapBytes m = FindMap(kLunarReliefResource);
  for (int32_t y = 0; y < 512; y += 7) {
    for (int32_t x = 0; x < 512; x += 5) {
      ASSERT_EQ(GetPixelGray8(x, y, &image, 0), m.bytes[y * 512 + x]) << x << " " << y;
    }
  }
  // The coarse levels were built (fresh host buffers hold other bytes): far outside the disc
  // they are neutral.
  EXPECT_EQ(GetPixelGray8(0, 0, &image, 3), kTextureNeutralValue);
  EXPECT_EQ(GetPixelGray8(image.levelWidth[5] - 1, 0, &image, 5), kTextureNeutralValue);

  // Loading again (every render does) replaces the image.
  ASSERT_TRUE(LoadImageFromResource(&image, kCraterTextureResources[2], kCraterTextureSize, kCraterTextureSize, 1));
  EXPECT_EQ(image.baseWidth, 384);
  EXPECT_EQ(GetPixelGray8(0, 0, &image, 0), kTextureNeutralValue);
}

TEST_F(ImageLoadTest, MissingResourceLeavesTheImageCreatedAndEmpty) {
  EXPECT_FALSE(LoadImageFromResource(&image, 147, 64, 48, 1));
  ASSERT_NE(image.tiles, nullptr);
  EXPECT_EQ(image.baseWidth, 64);
  EXPECT_EQ(image.baseHeight, 48);
  for (int32_t level = 0; level <= image.coarsestLevel; ++level) {
    for (int32_t y = 0; y < image.levelHeight[level]; ++y) {
      for (int32_t x = 0; x < image.levelWidth[level]; ++x) ASSERT_EQ(GetPixelGray8(x, y, &image, level), 0);
    }
  }
}

TEST_F(ImageLoadTest, ShortBufferIsRefusedNotOverread) {
  // A buffer one byte short of the picture: nothing is copied from it.
  std::vector<uint8_t> bytes(20 * 10 - 1, 200);
  EXPECT_FALSE(LoadImageFromRawBytes(&image, bytes.data(), uint32_t(bytes.size()), 20, 10, 1));
  EXPECT_EQ(GetPixelGray8(0, 0, &image, 0), 0);
  // Three planes need three bytes a sample.
  std::vector<uint8_t> rgb(20 * 10 * 3 - 1, 200);
  EXPECT_FALSE(LoadImageFromRawBytes(&image, rgb.data(), uint32_t(rgb.size()), 20, 10, 3));
  EXPECT_FALSE(LoadImageFromRawBytes(&image, nullptr, 0, 20, 10, 1));
  // A size the store cannot make fails before anything is read.
  EXPECT_FALSE(LoadImageFromRawBytes(&image, bytes.data(), uint32_t(bytes.size()), 0, 10, 1));
}

TEST_F(ImageLoadTest, RgbBufferGivesOpaquePackedPixels) {
  const int32_t w = 7, h = 5;
  std::vector<uint8_t> rgb(size_t(w * h * 3));
  for (size_t k = 0; k < rgb.size(); ++k) rgb[k] = uint8_t(k * 37 + 11);
  ASSERT_TRUE(LoadImageFromRawBytes(&image, rgb.data(), uint32_t(rgb.size()), w, h, 3));
  EXPECT_EQ(image.storageFormat, uint32_t(kFormatPacked8));
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      int32_t r, g, b, a;
      GetPixelPacked8(x, y, &image, 0, &r, &g, &b, &a);
      const uint8_t *px = &rgb[size_t((y * w + x) * 3)];
      EXPECT_EQ(r, px[0]);
      EXPECT_EQ(g, px[1]);
      EXPECT_EQ(b, px[2]);
      EXPECT_EQ(a, 255);
    }
  }
}

TEST_F(ImageLoadTest, CopyClampsToTheBufferAndSkipsOtherFormats) {
  // An image larger than the buffer's picture repeats the picture's last row and column.
  ASSERT_TRUE(CreateImage(&image, 6, 4, kFormatGray8, 0));
  const uint8_t bytes[3 * 2] = {1, 2, 3, 4, 5, 6};
  CopyRawBytesToImage(bytes, &image, 3, 2);
  const int32_t expected[4][6] = {{1, 2, 3, 3, 3, 3}, {4, 5, 6, 6, 6, 6}, {4, 5, 6, 6, 6, 6}, {4, 5, 6, 6, 6, 6}};
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(GetPixelGray8(x, y, &image, 0), expected[y][x]) << x << " " << y;
  }
  // A 16-bit image gets nothing from a raw 8-bit buffer.
  ASSERT_TRUE(CreateImage(&image, 2, 2, kFormatGray16, 0));
  std::memset(image.tiles[0].pixels, 0, size_t(image.tiles[0].width) * image.tiles[0].height * 2);
  CopyRawBytesToImage(bytes, &image, 2, 2);
  EXPECT_EQ(GetPixelU16(1, 1, &image, 0), 0);
}

}  // namespace
